#pragma once
// Reference counting and interface lookup shared by every object: a class
// derives from CUnknown and its interfaces, puts DECLARE_IUNKNOWN in its body
// and answers NonDelegatingQueryInterface for the interfaces it adds. An outer
// object may aggregate it (seeking pass-through on a pin does).
#include <atomic>
#include <string>

#include "unknown.h"

struct INonDelegatingUnknown {
    virtual HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG NonDelegatingAddRef() = 0;
    virtual ULONG NonDelegatingRelease() = 0;

protected:
    virtual ~INonDelegatingUnknown() = default;
};

class CUnknown : public INonDelegatingUnknown {
public:
    explicit CUnknown(const char* name = nullptr, IUnknown* outer = nullptr);
    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG NonDelegatingAddRef() override;
    ULONG NonDelegatingRelease() override;

    // The identity that QueryInterface, AddRef and Release go through.
    IUnknown* GetOwner() const { return outer_ ? outer_ : const_cast<Inner*>(&inner_); }
    const std::string& ObjectName() const { return name_; }
    long RefCount() const { return ref_.load(); }

    // Objects alive in the process; tests use it to show that a graph freed all.
    static long LiveObjects();

protected:
    ~CUnknown() override;

private:
    struct Inner final : IUnknown {
        CUnknown* self;
        explicit Inner(CUnknown* s) : self(s) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override {
            return self->NonDelegatingQueryInterface(riid, ppv);
        }
        ULONG AddRef() override { return self->NonDelegatingAddRef(); }
        ULONG Release() override { return self->NonDelegatingRelease(); }
    };
    Inner inner_{this};
    std::atomic<long> ref_{0};
    IUnknown* outer_;
    std::string name_;
};

// Hands out an interface pointer with a new reference.
HRESULT GetInterface(IUnknown* p, void** ppv);

template <class I, class T>
HRESULT GetInterfaceAs(T* self, void** ppv) {
    return GetInterface(static_cast<IUnknown*>(static_cast<I*>(self)), ppv);
}

#define DECLARE_IUNKNOWN                                                                    \
    HRESULT QueryInterface(REFIID riid, void** ppv) override {                              \
        return GetOwner()->QueryInterface(riid, ppv);                                       \
    }                                                                                       \
    ULONG AddRef() override { return GetOwner()->AddRef(); }                                \
    ULONG Release() override { return GetOwner()->Release(); }
