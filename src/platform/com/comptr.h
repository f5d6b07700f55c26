#pragma once
// Owning, counted reference to an interface: AddRef on copy, Release on
// destruction. Adopting a raw pointer takes a new reference, like the
// framework's smart pointers do.
#include <cstddef>
#include <utility>

#include "unknown.h"

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.Get())) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& o) {
        if (this != &o) {
            T* old = p_;
            p_ = o.p_;
            if (p_) p_->AddRef();
            if (old) old->Release();
        }
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            Reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    ComPtr& operator=(T* p) { return *this = ComPtr(p); }
    ComPtr& operator=(std::nullptr_t) {
        Reset();
        return *this;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    bool operator==(const ComPtr& o) const { return p_ == o.p_; }
    bool operator==(std::nullptr_t) const { return p_ == nullptr; }

    void Reset() {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    // Takes over a reference the caller already owns.
    void Attach(T* p) {
        Reset();
        p_ = p;
    }
    // Gives up the reference without releasing it.
    T* Detach() { return std::exchange(p_, nullptr); }
    // For out-parameters: releases what is held, then lets the callee fill it.
    T** ReleaseAndGetAddressOf() {
        Reset();
        return &p_;
    }
    void** ReleaseAndGetVoidAddress() { return reinterpret_cast<void**>(ReleaseAndGetAddressOf()); }

    template <class U>
    HRESULT As(ComPtr<U>* out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(IidOf<U>(), out->ReleaseAndGetVoidAddress());
    }
    template <class U>
    ComPtr<U> As() const {
        ComPtr<U> out;
        As(&out);
        return out;
    }

private:
    T* p_ = nullptr;
};
