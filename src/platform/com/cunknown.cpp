#include "cunknown.h"

#include <cstdlib>

namespace {
std::atomic<long> g_liveObjects{0};
}

CUnknown::CUnknown(const char* name, IUnknown* outer) : outer_(outer), name_(name ? name : "") {
    ++g_liveObjects;
}

CUnknown::~CUnknown() { --g_liveObjects; }

long CUnknown::LiveObjects() { return g_liveObjects.load(); }

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown) return GetInterface(&inner_, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef() { return ULONG(++ref_); }

ULONG CUnknown::NonDelegatingRelease() {
    long left = --ref_;
    if (left == 0) {
        // Guard against a destructor that briefly takes and drops a reference.
        ref_ = 1;
        delete this;
        return 0;
    }
    return ULONG(left < 0 ? 0 : left);
}

HRESULT GetInterface(IUnknown* p, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = p;
    if (p) p->AddRef();
    return S_OK;
}

void* CoTaskMemAlloc(std::size_t bytes) { return std::malloc(bytes ? bytes : 1); }
void CoTaskMemFree(void* p) { std::free(p); }
