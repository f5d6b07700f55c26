#pragma once
// The root interface of every object the pipelines hand around, and the way an
// interface type names its id (IidOf<IFoo>()).
#include "guid.h"
#include "hresult.h"
#include "types.h"

// Every interface names its id with DISCREEL_DECLARE_IID right after its
// declaration (in any namespace); IidOf<T>() finds it by argument lookup.
template <class T>
constexpr const IID& IidOf() {
    return DiscreelIidOf(static_cast<T*>(nullptr));
}

#define DISCREEL_DECLARE_IID(Interface, text)                  \
    inline constexpr IID IID_##Interface = MakeGuid(text);    \
    constexpr const IID& DiscreelIidOf(Interface*) { return IID_##Interface; }

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};
DISCREEL_DECLARE_IID(IUnknown, "{00000000-0000-0000-C000-000000000046}");

// Task memory, for strings and blocks handed across interfaces.
void* CoTaskMemAlloc(std::size_t bytes);
void CoTaskMemFree(void* p);
