#pragma once
// The filter graph manager and the filter registry.
//
// The graph holds its filters (the filters do not hold the graph), changes
// their states downstream first, gives them a reference clock (a filter's own
// IReferenceClock if one offers it, renderers first, else a system clock),
// queues their events for IMediaEventEx, and builds connections: ConnectDirect,
// intelligent Connect and Render over the registered filter factories.
#include <functional>
#include <string>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/com/cunknown.h"
#include "interfaces.h"

// Creates a graph with one reference.
HRESULT CreateFilterGraph(IGraphBuilder** ppGraph);

// ---------------------------------------------------------------- registry

// A media type a registered filter's input accepts; GUID_NULL subtype: any.
struct REGPINTYPES {
    GUID clsMajorType{};
    GUID clsMinorType{};
};

// Makes a new object (reference count 0) like a class factory does; sets *phr
// on failure and may return null.
using FilterFactory = std::function<CUnknown*(IUnknown* pUnkOuter, HRESULT* phr)>;

// Registers (or replaces) a class. Filters with a merit above MERIT_DO_NOT_USE
// take part in Connect and Render, highest merit first. The class can always be
// made with CoCreateInstance.
HRESULT RegisterFilter(REFCLSID clsid, const char* name, DWORD merit, FilterFactory factory,
                       std::vector<REGPINTYPES> inputTypes);
HRESULT UnregisterFilter(REFCLSID clsid);

// What the registry knows of one class.
struct RegisteredFilter {
    CLSID clsid{};
    std::string name;
    DWORD merit = 0;
    std::vector<REGPINTYPES> inputTypes;
};
std::vector<RegisteredFilter> RegisteredFilters();

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC = 0x3;
constexpr DWORD CLSCTX_ALL = 0x17;
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHr(0x80040154);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHr(0x80040110);

// Creates a registered class (CLSID_FilterGraph, CLSID_SystemClock,
// CLSID_MemoryAllocator and CLSID_AsyncReader are built in) and queries riid.
// REGDB_E_CLASSNOTREG for an unknown class.
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv);
template <class T>
HRESULT CoCreateInstance(REFCLSID rclsid, ComPtr<T>* out) {
    return CoCreateInstance(rclsid, nullptr, CLSCTX_INPROC_SERVER, IidOf<T>(),
                            out->ReleaseAndGetVoidAddress());
}

// ---------------------------------------------------------------- pin helpers

// The n-th (0-based) pin of the given direction in enumeration order, with a
// reference; null when there is none or the filter is null.
ComPtr<IPin> FindPin(IBaseFilter* pFilter, PIN_DIRECTION dir, int n);
// The filter a pin belongs to (referenced), or null.
ComPtr<IBaseFilter> GetPinFilter(IPin* pPin);
// Every pin of a filter in enumeration order.
std::vector<ComPtr<IPin>> GetPins(IBaseFilter* pFilter);
// Name given to the filter in its graph (empty outside one).
std::string GetFilterName(IBaseFilter* pFilter);
