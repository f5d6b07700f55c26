#include "graph.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "asyncreader.h"
#include "refclock.h"
#include "sample.h"
#include "sync.h"

// ================================================================ registry

namespace {

struct RegistryEntry {
    RegisteredFilter info;
    FilterFactory factory;
};

struct Registry {
    std::mutex mutex;
    std::map<CLSID, RegistryEntry> entries;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

bool TypeMatches(const REGPINTYPES& rt, const CMediaType& mt) {
    return (rt.clsMajorType == GUID_NULL || rt.clsMajorType == mt.majortype) &&
           (rt.clsMinorType == GUID_NULL || rt.clsMinorType == mt.subtype);
}

}  // namespace

HRESULT RegisterFilter(REFCLSID clsid, const char* name, DWORD merit, FilterFactory factory,
                       std::vector<REGPINTYPES> inputTypes) {
    if (!factory) return E_POINTER;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lk(r.mutex);
    RegistryEntry& e = r.entries[clsid];
    e.info.clsid = clsid;
    e.info.name = name ? name : "";
    e.info.merit = merit;
    e.info.inputTypes = std::move(inputTypes);
    e.factory = std::move(factory);
    return S_OK;
}

HRESULT UnregisterFilter(REFCLSID clsid) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lk(r.mutex);
    return r.entries.erase(clsid) ? S_OK : S_FALSE;
}

std::vector<RegisteredFilter> RegisteredFilters() {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lk(r.mutex);
    std::vector<RegisteredFilter> out;
    for (auto& [id, e] : r.entries) out.push_back(e.info);
    std::stable_sort(out.begin(), out.end(),
                     [](const RegisteredFilter& a, const RegisteredFilter& b) { return a.merit > b.merit; });
    return out;
}

namespace {
CUnknown* CreateGraphInstance(IUnknown* pUnk, HRESULT* phr);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    FilterFactory factory;
    if (rclsid == CLSID_FilterGraph) {
        factory = CreateGraphInstance;
    } else if (rclsid == CLSID_SystemClock) {
        factory = CSystemClock::CreateInstance;
    } else if (rclsid == CLSID_MemoryAllocator) {
        factory = CMemAllocator::CreateInstance;
    } else if (rclsid == CLSID_AsyncReader) {
        factory = CFileSource::CreateInstance;
    } else {
        Registry& r = TheRegistry();
        std::lock_guard<std::mutex> lk(r.mutex);
        auto it = r.entries.find(rclsid);
        if (it == r.entries.end()) return REGDB_E_CLASSNOTREG;
        factory = it->second.factory;
    }
    // An aggregated object hands its inner unknown to the outer one only.
    if (pUnkOuter && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    HRESULT hr = S_OK;
    CUnknown* obj = factory(pUnkOuter, &hr);
    if (!obj) return FAILED(hr) ? hr : E_OUTOFMEMORY;
    obj->NonDelegatingAddRef();
    if (SUCCEEDED(hr)) hr = obj->NonDelegatingQueryInterface(riid, ppv);
    obj->NonDelegatingRelease();  // frees the object when it failed
    return hr;
}

// ================================================================ pin helpers

std::vector<ComPtr<IPin>> GetPins(IBaseFilter* pFilter) {
    std::vector<ComPtr<IPin>> pins;
    if (!pFilter) return pins;
    for (int attempt = 0; attempt < 3; ++attempt) {
        pins.clear();
        ComPtr<IEnumPins> e;
        if (FAILED(pFilter->EnumPins(e.ReleaseAndGetAddressOf())) || !e) return pins;
        HRESULT hr = S_OK;
        for (;;) {
            IPin* p = nullptr;
            ULONG got = 0;
            hr = e->Next(1, &p, &got);
            if (hr != S_OK || got != 1) break;
            ComPtr<IPin> pin;
            pin.Attach(p);
            pins.push_back(pin);
        }
        if (hr != VFW_E_ENUM_OUT_OF_SYNC) break;  // the pins changed meanwhile: read again
    }
    return pins;
}

ComPtr<IPin> FindPin(IBaseFilter* pFilter, PIN_DIRECTION dir, int n) {
    if (!pFilter || n < 0) return nullptr;
    int seen = 0;
    for (ComPtr<IPin>& pin : GetPins(pFilter)) {
        PIN_DIRECTION d;
        if (FAILED(pin->QueryDirection(&d)) || d != dir) continue;
        if (seen++ == n) return pin;
    }
    return nullptr;
}

ComPtr<IBaseFilter> GetPinFilter(IPin* pPin) {
    if (!pPin) return nullptr;
    PIN_INFO info;
    if (FAILED(pPin->QueryPinInfo(&info)) || !info.pFilter) return nullptr;
    ComPtr<IBaseFilter> f;
    f.Attach(info.pFilter);
    return f;
}

std::string GetFilterName(IBaseFilter* pFilter) {
    if (!pFilter) return {};
    FILTER_INFO info;
    if (FAILED(pFilter->QueryFilterInfo(&info))) return {};
    if (info.pGraph) info.pGraph->Release();
    return info.achName;
}

// ================================================================ the graph

namespace {

IUnknown* Identity(IUnknown* p) {
    if (!p) return nullptr;
    IUnknown* id = nullptr;
    if (FAILED(p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&id))) || !id) return p;
    id->Release();  // identity only; the object is held elsewhere
    return id;
}

class CEnumFiltersImpl : public CUnknown, public IEnumFilters {
public:
    explicit CEnumFiltersImpl(std::vector<ComPtr<IBaseFilter>> filters, size_t pos = 0)
        : CUnknown("CEnumFilters"), filters_(std::move(filters)), pos_(pos) {}
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IEnumFilters) return GetInterfaceAs<IEnumFilters>(this, ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT Next(ULONG c, IBaseFilter** pp, ULONG* fetched) override {
        if (!pp) return E_POINTER;
        ULONG n = 0;
        while (n < c && pos_ < filters_.size()) {
            pp[n] = filters_[pos_++].Get();
            pp[n]->AddRef();
            ++n;
        }
        if (fetched) *fetched = n;
        return n == c ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG c) override {
        pos_ = std::min(filters_.size(), pos_ + c);
        return pos_ < filters_.size() ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        pos_ = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumFilters** pp) override {
        if (!pp) return E_POINTER;
        auto* e = new CEnumFiltersImpl(filters_, pos_);
        return e->NonDelegatingQueryInterface(IID_IEnumFilters, reinterpret_cast<void**>(pp));
    }

private:
    std::vector<ComPtr<IBaseFilter>> filters_;
    size_t pos_;
};

class CFilterGraph : public CUnknown,
                     public IGraphBuilder,
                     public IMediaControl,
                     public IMediaEventEx,
                     public IMediaEventSink,
                     public IMediaSeeking,
                     public IMediaPosition,
                     public IMediaFilter {
public:
    CFilterGraph() : CUnknown("Filter graph") {}
    ~CFilterGraph() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IFilterGraph
    HRESULT AddFilter(IBaseFilter* pFilter, const char* pName) override;
    HRESULT RemoveFilter(IBaseFilter* pFilter) override;
    HRESULT EnumFilters(IEnumFilters** ppEnum) override;
    HRESULT FindFilterByName(const char* pName, IBaseFilter** ppFilter) override;
    HRESULT ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
    HRESULT Reconnect(IPin* ppin) override;
    HRESULT Disconnect(IPin* ppin) override;
    HRESULT SetDefaultSyncSource() override;
    // IGraphBuilder
    HRESULT Connect(IPin* ppinOut, IPin* ppinIn) override;
    HRESULT Render(IPin* ppinOut) override;
    HRESULT RenderFile(const char*, const char*) override { return E_NOTIMPL; }
    HRESULT AddSourceFilter(const char* lpcwstrFileName, const char* lpcwstrFilterName,
                            IBaseFilter** ppFilter) override;
    HRESULT SetLogFile(DWORD_PTR) override { return S_OK; }
    HRESULT Abort() override { return S_OK; }
    HRESULT ShouldOperationContinue() override { return S_OK; }

    // IMediaControl
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(LONG msTimeout, OAFilterState* pfs) override;
    HRESULT RenderFile(const char*) override { return E_NOTIMPL; }
    HRESULT StopWhenReady() override;

    // IMediaEventSink
    HRESULT Notify(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;

    // IMediaEvent(Ex)
    HRESULT GetEventHandle(OAEVENT*) override { return E_NOTIMPL; }
    HRESULT GetEvent(long* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, long msTimeout) override;
    HRESULT WaitForCompletion(long msTimeout, long* pEvCode) override;
    HRESULT CancelDefaultHandling(long lEvCode) override;
    HRESULT RestoreDefaultHandling(long lEvCode) override;
    HRESULT FreeEventParams(long, LONG_PTR, LONG_PTR) override { return S_OK; }
    HRESULT SetNotifyWindow(HWND hwnd, long lMsg, LONG_PTR lInstanceData) override;
    HRESULT SetNotifyFlags(long lNoNotifyFlags) override;
    HRESULT GetNotifyFlags(long* lplNoNotifyFlags) override;

    // IMediaSeeking
    DECLARE_IMEDIASEEKING

    // IMediaPosition
    DECLARE_IMEDIAPOSITION

    // IMediaFilter (IPersist): the graph's own clock choice
    HRESULT GetClassID(CLSID* pClassID) override {
        if (!pClassID) return E_POINTER;
        *pClassID = CLSID_FilterGraph;
        return S_OK;
    }
    HRESULT Run(REFERENCE_TIME) override { return Run(); }
    HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
    HRESULT SetSyncSource(IReferenceClock* pClock) override;
    HRESULT GetSyncSource(IReferenceClock** pClock) override;

private:
    struct Entry {
        ComPtr<IBaseFilter> filter;
        IUnknown* identity;
        std::string name;
    };
    struct Event {
        long code;
        LONG_PTR p1, p2;
    };

    std::vector<Entry>::iterator FindEntry(IBaseFilter* f);
    bool InGraph(IPin* pin);
    std::vector<ComPtr<IBaseFilter>> Snapshot();
    // Filters ordered so that each comes before the filters feeding it.
    std::vector<ComPtr<IBaseFilter>> DownstreamFirst();
    bool IsRenderer(IBaseFilter* f);
    std::vector<ComPtr<IMediaSeeking>> Seekers();
    HRESULT ChooseClockLocked();
    void DistributeClockLocked();
    REFERENCE_TIME ClockNow();
    HRESULT PauseLocked(bool notifyPaused);
    HRESULT RunLocked();
    HRESULT StopLocked();
    void StartPauseWatcher();
    void StopPauseWatcher();
    void ResetCompletion(int renderers);
    void QueueEvent(long code, LONG_PTR p1, LONG_PTR p2);
    void DisconnectFilterPins(IBaseFilter* f);
    HRESULT ConnectVia(IPin* out, IPin* in, int depth);
    HRESULT RenderPin(IPin* out, int depth);
    // Registered filters whose inputs take one of the pin's types, best first.
    std::vector<RegisteredFilter> Candidates(IPin* out);
    ComPtr<IBaseFilter> CreateAndAdd(const RegisteredFilter& rf);
    // Puts each candidate for `out` in the graph in turn, joined to `out`, and
    // keeps the first one from which `onward` succeeds; the others leave again.
    HRESULT TryCandidates(IPin* out, HRESULT none, const std::function<HRESULT(IBaseFilter*)>& onward);

    CCritSec m_lock;  // filters, connections, state, clock, positions
    std::vector<Entry> m_filters;
    FILTER_STATE m_state = State_Stopped;
    ComPtr<IReferenceClock> m_clock;
    bool m_clockChosen = false;  // chosen for the current set of filters
    bool m_userClock = false;    // set through SetSyncSource: kept
    REFERENCE_TIME m_tStart = 0;            // clock time of stream time 0 while running
    REFERENCE_TIME m_pausedStreamTime = 0;  // stream time while paused
    REFERENCE_TIME m_posBase = 0;           // position at stream time 0 (last seek)

    std::thread m_watcher;
    std::atomic<bool> m_watcherCancel{false};

    std::mutex m_evMutex;
    std::condition_variable m_evCv;
    std::deque<Event> m_events;
    HWND m_notifyWnd = nullptr;
    long m_notifyMsg = 0;
    LONG_PTR m_notifyInstance = 0;
    long m_notifyFlags = 0;
    std::set<long> m_cancelled;
    int m_renderers = 0;
    std::set<LONG_PTR> m_completed;
    bool m_completeSent = false;
    long m_completionCode = 0;
    LONG_PTR m_anonymousSender = 0;
};

CUnknown* CreateGraphInstance(IUnknown*, HRESULT*) { return new CFilterGraph(); }

CFilterGraph::~CFilterGraph() {
    StopPauseWatcher();
    CAutoLock lock(&m_lock);
    StopLocked();
    for (Entry& e : m_filters) DisconnectFilterPins(e.filter.Get());
    // Filters hold the clock, and the clock may be one of them: let go of it
    // everywhere first, or neither would ever be freed.
    for (Entry& e : m_filters) e.filter->SetSyncSource(nullptr);
    for (Entry& e : m_filters) e.filter->JoinFilterGraph(nullptr, nullptr);
    m_clock = nullptr;
    m_filters.clear();
}

HRESULT CFilterGraph::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IGraphBuilder) return GetInterfaceAs<IGraphBuilder>(this, ppv);
    if (riid == IID_IFilterGraph) return GetInterfaceAs<IGraphBuilder>(this, ppv);
    if (riid == IID_IMediaControl) return GetInterfaceAs<IMediaControl>(this, ppv);
    if (riid == IID_IMediaEventEx) return GetInterfaceAs<IMediaEventEx>(this, ppv);
    if (riid == IID_IMediaEvent) return GetInterfaceAs<IMediaEventEx>(this, ppv);
    if (riid == IID_IMediaEventSink) return GetInterfaceAs<IMediaEventSink>(this, ppv);
    if (riid == IID_IMediaSeeking) return GetInterfaceAs<IMediaSeeking>(this, ppv);
    if (riid == IID_IMediaPosition) return GetInterfaceAs<IMediaPosition>(this, ppv);
    if (riid == IID_IMediaFilter) return GetInterfaceAs<IMediaFilter>(this, ppv);
    if (riid == IID_IPersist) return GetInterfaceAs<IMediaFilter>(this, ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

// ---------------------------------------------------------------- filters

std::vector<CFilterGraph::Entry>::iterator CFilterGraph::FindEntry(IBaseFilter* f) {
    IUnknown* id = Identity(f);
    return std::find_if(m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.identity == id; });
}

bool CFilterGraph::InGraph(IPin* pin) {
    ComPtr<IBaseFilter> f = GetPinFilter(pin);
    return f && FindEntry(f.Get()) != m_filters.end();
}

std::vector<ComPtr<IBaseFilter>> CFilterGraph::Snapshot() {
    std::vector<ComPtr<IBaseFilter>> out;
    for (Entry& e : m_filters) out.push_back(e.filter);
    return out;
}

HRESULT CFilterGraph::AddFilter(IBaseFilter* pFilter, const char* pName) {
    if (!pFilter) return E_POINTER;
    // Hold it first: a filter fresh from new has no reference yet, and the
    // identity query below would otherwise free it.
    ComPtr<IBaseFilter> hold(pFilter);
    CAutoLock lock(&m_lock);
    if (FindEntry(pFilter) != m_filters.end()) return E_INVALIDARG;
    std::string base = pName && *pName ? pName : "Filter";
    std::string name = base;
    HRESULT result = S_OK;
    auto taken = [&](const std::string& n) {
        return std::any_of(m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.name == n; });
    };
    if (taken(name) || !(pName && *pName)) {
        for (int i = 1; i < 10000 && taken(name); ++i) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, " %04d", i);
            name = base + suffix;
        }
        if (pName && *pName) result = VFW_S_DUPLICATE_NAME;
    }
    HRESULT hr = pFilter->JoinFilterGraph(static_cast<IGraphBuilder*>(this), name.c_str());
    if (FAILED(hr)) return hr;
    m_filters.push_back(Entry{hold, Identity(pFilter), name});
    if (m_clock) pFilter->SetSyncSource(m_clock.Get());
    if (!m_userClock) m_clockChosen = false;
    return result;
}

void CFilterGraph::DisconnectFilterPins(IBaseFilter* f) {
    for (ComPtr<IPin>& pin : GetPins(f)) {
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) && peer) peer->Disconnect();
        pin->Disconnect();
    }
}

HRESULT CFilterGraph::RemoveFilter(IBaseFilter* pFilter) {
    if (!pFilter) return E_POINTER;
    CAutoLock lock(&m_lock);
    auto it = FindEntry(pFilter);
    if (it == m_filters.end()) return VFW_E_NOT_FOUND;
    ComPtr<IBaseFilter> f = it->filter;
    if (m_state != State_Stopped) f->Stop();
    DisconnectFilterPins(f.Get());
    // A clock that belongs to the leaving filter leaves with it.
    if (m_clock && Identity(m_clock.Get()) == it->identity) {
        for (Entry& e : m_filters) e.filter->SetSyncSource(nullptr);
        m_clock = nullptr;
        m_clockChosen = false;
        m_userClock = false;
    }
    f->SetSyncSource(nullptr);
    f->JoinFilterGraph(nullptr, nullptr);
    m_filters.erase(it);
    if (!m_userClock) m_clockChosen = false;
    return S_OK;
}

HRESULT CFilterGraph::EnumFilters(IEnumFilters** ppEnum) {
    if (!ppEnum) return E_POINTER;
    CAutoLock lock(&m_lock);
    auto* e = new CEnumFiltersImpl(Snapshot());
    return e->NonDelegatingQueryInterface(IID_IEnumFilters, reinterpret_cast<void**>(ppEnum));
}

HRESULT CFilterGraph::FindFilterByName(const char* pName, IBaseFilter** ppFilter) {
    if (!pName || !ppFilter) return E_POINTER;
    *ppFilter = nullptr;
    CAutoLock lock(&m_lock);
    for (Entry& e : m_filters) {
        if (e.name == pName) {
            *ppFilter = e.filter.Get();
            (*ppFilter)->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT CFilterGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) {
    if (!ppinOut || !ppinIn) return E_POINTER;
    CAutoLock lock(&m_lock);
    if (!InGraph(ppinOut) || !InGraph(ppinIn)) return VFW_E_NOT_IN_GRAPH;
    PIN_DIRECTION dOut, dIn;
    if (FAILED(ppinOut->QueryDirection(&dOut)) || FAILED(ppinIn->QueryDirection(&dIn))) return E_FAIL;
    if (dOut != PINDIR_OUTPUT || dIn != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
    return ppinOut->Connect(ppinIn, pmt);
}

HRESULT CFilterGraph::Reconnect(IPin* ppin) {
    if (!ppin) return E_POINTER;
    CAutoLock lock(&m_lock);
    ComPtr<IPin> peer;
    if (FAILED(ppin->ConnectedTo(peer.ReleaseAndGetAddressOf())) || !peer) return VFW_E_NOT_CONNECTED;
    PIN_DIRECTION d;
    ppin->QueryDirection(&d);
    IPin* out = d == PINDIR_OUTPUT ? ppin : peer.Get();
    IPin* in = d == PINDIR_OUTPUT ? peer.Get() : ppin;
    out->Disconnect();
    in->Disconnect();
    return out->Connect(in, nullptr);
}

HRESULT CFilterGraph::Disconnect(IPin* ppin) {
    if (!ppin) return E_POINTER;
    CAutoLock lock(&m_lock);
    return ppin->Disconnect();
}

// ---------------------------------------------------------------- clock

HRESULT CFilterGraph::ChooseClockLocked() {
    ComPtr<IReferenceClock> chosen;
    // A renderer's clock first (the sound device paces playback), then any
    // filter's, then the system clock.
    for (int pass = 0; pass < 2 && !chosen; ++pass) {
        for (Entry& e : m_filters) {
            if (pass == 0 && !IsRenderer(e.filter.Get())) continue;
            ComPtr<IReferenceClock> c = e.filter.As<IReferenceClock>();
            if (c) {
                chosen = c;
                break;
            }
        }
    }
    if (!chosen) {
        if (m_clock && !m_filters.empty()) {
            // Keep a system clock we already made unless it belonged to a filter.
            bool own = std::none_of(m_filters.begin(), m_filters.end(), [&](const Entry& e) {
                return e.identity == Identity(m_clock.Get());
            });
            if (own) chosen = m_clock;
        }
        if (!chosen) {
            HRESULT hr = CoCreateInstance(CLSID_SystemClock, &chosen);
            if (FAILED(hr)) return hr;
        }
    }
    m_clock = chosen;
    m_clockChosen = true;
    DistributeClockLocked();
    return S_OK;
}

void CFilterGraph::DistributeClockLocked() {
    for (Entry& e : m_filters) e.filter->SetSyncSource(m_clock.Get());
}

HRESULT CFilterGraph::SetDefaultSyncSource() {
    CAutoLock lock(&m_lock);
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    m_userClock = false;
    return ChooseClockLocked();
}

HRESULT CFilterGraph::SetSyncSource(IReferenceClock* pClock) {
    CAutoLock lock(&m_lock);
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    m_clock = pClock;
    m_userClock = true;
    m_clockChosen = true;
    DistributeClockLocked();
    return S_OK;
}

HRESULT CFilterGraph::GetSyncSource(IReferenceClock** pClock) {
    if (!pClock) return E_POINTER;
    CAutoLock lock(&m_lock);
    *pClock = m_clock.Get();
    if (*pClock) (*pClock)->AddRef();
    return S_OK;
}

REFERENCE_TIME CFilterGraph::ClockNow() {
    REFERENCE_TIME t = 0;
    if (m_clock && SUCCEEDED(m_clock->GetTime(&t))) return t;
    return SystemTimeNow();
}

// ---------------------------------------------------------------- state

bool CFilterGraph::IsRenderer(IBaseFilter* f) {
    if (ComPtr<IAMFilterMiscFlags> flags = ComPtr<IBaseFilter>(f).As<IAMFilterMiscFlags>()) {
        if (flags->GetMiscFlags() & AM_FILTER_MISC_FLAGS_IS_RENDERER) return true;
    }
    // Otherwise a filter that takes a stream in and passes nothing on.
    bool connectedIn = false;
    for (ComPtr<IPin>& pin : GetPins(f)) {
        PIN_DIRECTION d;
        pin->QueryDirection(&d);
        ComPtr<IPin> peer;
        bool connected = SUCCEEDED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) && peer;
        if (d == PINDIR_OUTPUT && connected) return false;
        if (d == PINDIR_INPUT && connected) connectedIn = true;
    }
    return connectedIn;
}

std::vector<ComPtr<IBaseFilter>> CFilterGraph::DownstreamFirst() {
    struct Node {
        ComPtr<IBaseFilter> filter;
        std::set<IUnknown*> downstream;
    };
    std::vector<Node> nodes;
    for (Entry& e : m_filters) {
        Node n{e.filter, {}};
        for (ComPtr<IPin>& pin : GetPins(e.filter.Get())) {
            PIN_DIRECTION d;
            pin->QueryDirection(&d);
            if (d != PINDIR_OUTPUT) continue;
            ComPtr<IPin> peer;
            if (FAILED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) || !peer) continue;
            if (ComPtr<IBaseFilter> df = GetPinFilter(peer.Get())) n.downstream.insert(Identity(df.Get()));
        }
        nodes.push_back(std::move(n));
    }
    std::vector<ComPtr<IBaseFilter>> order;
    std::set<IUnknown*> done;
    std::vector<bool> placed(nodes.size(), false);
    std::set<IUnknown*> inGraph;
    for (Entry& e : m_filters) inGraph.insert(e.identity);
    while (order.size() < nodes.size()) {
        bool progress = false;
        for (size_t i = 0; i < nodes.size(); ++i) {
            if (placed[i]) continue;
            bool ready = std::all_of(nodes[i].downstream.begin(), nodes[i].downstream.end(),
                                     [&](IUnknown* d) { return done.count(d) || !inGraph.count(d); });
            if (!ready) continue;
            placed[i] = true;
            done.insert(Identity(nodes[i].filter.Get()));
            order.push_back(nodes[i].filter);
            progress = true;
        }
        if (!progress) {  // a loop: take the rest in order
            for (size_t i = 0; i < nodes.size(); ++i)
                if (!placed[i]) {
                    placed[i] = true;
                    order.push_back(nodes[i].filter);
                }
        }
    }
    return order;
}

void CFilterGraph::ResetCompletion(int renderers) {
    std::lock_guard<std::mutex> lk(m_evMutex);
    if (renderers >= 0) m_renderers = renderers;
    m_completed.clear();
    m_completeSent = false;
    m_completionCode = 0;
}

HRESULT CFilterGraph::PauseLocked(bool notifyPaused) {
    if (m_state == State_Paused) return S_OK;
    if (m_state == State_Stopped) {
        if (!m_clockChosen) {
            HRESULT hr = ChooseClockLocked();
            if (FAILED(hr)) return hr;
        }
        int renderers = 0;
        for (Entry& e : m_filters)
            if (IsRenderer(e.filter.Get())) ++renderers;
        ResetCompletion(renderers);
        m_pausedStreamTime = 0;
    } else {
        m_pausedStreamTime = ClockNow() - m_tStart;
    }
    FILTER_STATE old = m_state;
    HRESULT result = S_OK;
    for (ComPtr<IBaseFilter>& f : DownstreamFirst()) {
        HRESULT hr = f->Pause();
        if (FAILED(hr)) {
            result = hr;
            break;
        }
    }
    m_state = State_Paused;
    if (FAILED(result)) {
        if (old == State_Stopped) StopLocked();
        return result;
    }
    if (notifyPaused) StartPauseWatcher();
    return S_OK;
}

HRESULT CFilterGraph::RunLocked() {
    if (m_state == State_Running) return S_OK;
    if (m_state == State_Stopped) {
        HRESULT hr = PauseLocked(false);
        if (FAILED(hr)) return hr;
    }
    StopPauseWatcher();
    // A small lead so the first samples are not already late.
    m_tStart = ClockNow() - m_pausedStreamTime + 10 * MILLISECONDS;
    {
        std::lock_guard<std::mutex> lk(m_evMutex);
        m_completionCode = 0;
    }
    HRESULT result = S_OK;
    for (ComPtr<IBaseFilter>& f : DownstreamFirst()) {
        HRESULT hr = f->Run(m_tStart);
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    m_state = State_Running;
    return result;
}

HRESULT CFilterGraph::StopLocked() {
    if (m_state == State_Stopped) return S_OK;
    HRESULT result = S_OK;
    // Downstream first: a renderer that stops releases the thread feeding it,
    // and a decommitted allocator releases a thread waiting for a buffer.
    for (ComPtr<IBaseFilter>& f : DownstreamFirst()) {
        HRESULT hr = f->Stop();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    m_state = State_Stopped;
    m_pausedStreamTime = 0;
    return result;
}

HRESULT CFilterGraph::Run() {
    CAutoLock lock(&m_lock);
    return RunLocked();
}

HRESULT CFilterGraph::Pause() {
    StopPauseWatcher();
    CAutoLock lock(&m_lock);
    return PauseLocked(true);
}

HRESULT CFilterGraph::Stop() {
    StopPauseWatcher();
    CAutoLock lock(&m_lock);
    return StopLocked();
}

HRESULT CFilterGraph::StopWhenReady() {
    CAutoLock lock(&m_lock);
    HRESULT hr = PauseLocked(false);
    if (FAILED(hr)) return hr;
    OAFilterState fs;
    GetState(INFINITE, &fs);
    return StopLocked();
}

void CFilterGraph::StartPauseWatcher() {
    StopPauseWatcher();
    m_watcherCancel = false;
    std::vector<ComPtr<IBaseFilter>> filters = Snapshot();
    m_watcher = std::thread([this, filters] {
        // EC_PAUSED once every filter has completed the pause.
        while (!m_watcherCancel) {
            bool complete = true;
            for (const ComPtr<IBaseFilter>& f : filters) {
                FILTER_STATE fs;
                HRESULT hr = f->GetState(20, &fs);
                if (hr == VFW_S_STATE_INTERMEDIATE) {
                    complete = false;
                    break;
                }
            }
            if (complete) {
                if (!m_watcherCancel) QueueEvent(EC_PAUSED, S_OK, 0);
                return;
            }
        }
    });
}

void CFilterGraph::StopPauseWatcher() {
    m_watcherCancel = true;
    if (m_watcher.joinable()) m_watcher.join();
}

HRESULT CFilterGraph::GetState(LONG msTimeout, OAFilterState* pfs) {
    if (!pfs) return E_POINTER;
    FILTER_STATE fs = State_Stopped;
    HRESULT hr = GetState(DWORD(msTimeout), &fs);
    *pfs = OAFilterState(fs);
    return hr;
}

HRESULT CFilterGraph::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) {
    if (!State) return E_POINTER;
    std::vector<ComPtr<IBaseFilter>> filters;
    {
        CAutoLock lock(&m_lock);
        *State = m_state;
        if (m_state == State_Stopped) return S_OK;
        filters = Snapshot();
    }
    using clock = std::chrono::steady_clock;
    auto deadline = dwMilliSecsTimeout == INFINITE
                        ? clock::time_point::max()
                        : clock::now() + std::chrono::milliseconds(dwMilliSecsTimeout);
    bool intermediate = false, cantCue = false;
    for (ComPtr<IBaseFilter>& f : filters) {
        DWORD left = INFINITE;
        if (dwMilliSecsTimeout != INFINITE) {
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
            left = DWORD(ms > 0 ? ms : 0);
        }
        FILTER_STATE fs;
        HRESULT hr = f->GetState(left, &fs);
        if (FAILED(hr)) return hr;
        if (hr == VFW_S_STATE_INTERMEDIATE) intermediate = true;
        if (hr == VFW_S_CANT_CUE) cantCue = true;
    }
    if (intermediate) return VFW_S_STATE_INTERMEDIATE;
    return cantCue ? VFW_S_CANT_CUE : S_OK;
}

// ---------------------------------------------------------------- events

void CFilterGraph::QueueEvent(long code, LONG_PTR p1, LONG_PTR p2) {
    std::lock_guard<std::mutex> lk(m_evMutex);
    m_events.push_back(Event{code, p1, p2});
    if (code == EC_COMPLETE || code == EC_ERRORABORT || code == EC_USERABORT) m_completionCode = code;
    m_evCv.notify_all();
    if (m_notifyWnd && !(m_notifyFlags & AM_MEDIAEVENT_NONOTIFY))
        ::PostMessage(m_notifyWnd, UINT(m_notifyMsg), 0, m_notifyInstance);
}

HRESULT CFilterGraph::Notify(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) {
    if (EventCode == EC_COMPLETE) {
        std::unique_lock<std::mutex> lk(m_evMutex);
        if (!m_cancelled.count(EC_COMPLETE)) {
            // One EC_COMPLETE for the graph, once every renderer has finished.
            if (m_completeSent) return S_OK;
            LONG_PTR sender = EventParam2 ? EventParam2 : --m_anonymousSender;
            m_completed.insert(sender);
            if (long(m_completed.size()) < std::max(1, m_renderers)) return S_OK;
            m_completeSent = true;
            lk.unlock();
            QueueEvent(EC_COMPLETE, S_OK, 0);
            return S_OK;
        }
    }
    QueueEvent(EventCode, EventParam1, EventParam2);
    return S_OK;
}

HRESULT CFilterGraph::GetEvent(long* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, long msTimeout) {
    if (!lEventCode || !lParam1 || !lParam2) return E_POINTER;
    std::unique_lock<std::mutex> lk(m_evMutex);
    auto ready = [this] { return !m_events.empty(); };
    if (msTimeout < 0)
        m_evCv.wait(lk, ready);
    else if (msTimeout > 0)
        m_evCv.wait_for(lk, std::chrono::milliseconds(msTimeout), ready);
    if (m_events.empty()) {
        *lEventCode = 0;
        *lParam1 = *lParam2 = 0;
        return E_ABORT;
    }
    Event e = m_events.front();
    m_events.pop_front();
    *lEventCode = e.code;
    *lParam1 = e.p1;
    *lParam2 = e.p2;
    return S_OK;
}

HRESULT CFilterGraph::WaitForCompletion(long msTimeout, long* pEvCode) {
    if (!pEvCode) return E_POINTER;
    *pEvCode = 0;
    std::unique_lock<std::mutex> lk(m_evMutex);
    auto ready = [this] { return m_completionCode != 0; };
    if (msTimeout < 0)
        m_evCv.wait(lk, ready);
    else
        m_evCv.wait_for(lk, std::chrono::milliseconds(msTimeout), ready);
    if (!m_completionCode) return E_ABORT;
    *pEvCode = m_completionCode;
    return S_OK;
}

HRESULT CFilterGraph::CancelDefaultHandling(long lEvCode) {
    std::lock_guard<std::mutex> lk(m_evMutex);
    m_cancelled.insert(lEvCode);
    return S_OK;
}

HRESULT CFilterGraph::RestoreDefaultHandling(long lEvCode) {
    std::lock_guard<std::mutex> lk(m_evMutex);
    m_cancelled.erase(lEvCode);
    return S_OK;
}

HRESULT CFilterGraph::SetNotifyWindow(HWND hwnd, long lMsg, LONG_PTR lInstanceData) {
    std::lock_guard<std::mutex> lk(m_evMutex);
    m_notifyWnd = hwnd;
    m_notifyMsg = lMsg;
    m_notifyInstance = lInstanceData;
    // Events that waited for a window are announced now.
    if (m_notifyWnd && !m_events.empty() && !(m_notifyFlags & AM_MEDIAEVENT_NONOTIFY))
        ::PostMessage(m_notifyWnd, UINT(m_notifyMsg), 0, m_notifyInstance);
    return S_OK;
}

HRESULT CFilterGraph::SetNotifyFlags(long lNoNotifyFlags) {
    if (lNoNotifyFlags & ~AM_MEDIAEVENT_NONOTIFY) return E_INVALIDARG;
    std::lock_guard<std::mutex> lk(m_evMutex);
    m_notifyFlags = lNoNotifyFlags;
    return S_OK;
}

HRESULT CFilterGraph::GetNotifyFlags(long* lplNoNotifyFlags) {
    if (!lplNoNotifyFlags) return E_POINTER;
    std::lock_guard<std::mutex> lk(m_evMutex);
    *lplNoNotifyFlags = m_notifyFlags;
    return S_OK;
}

// ---------------------------------------------------------------- building

std::vector<RegisteredFilter> CFilterGraph::Candidates(IPin* out) {
    std::vector<CMediaType> types;
    ComPtr<IEnumMediaTypes> e;
    if (SUCCEEDED(out->EnumMediaTypes(e.ReleaseAndGetAddressOf())) && e) {
        for (;;) {
            AM_MEDIA_TYPE* mt = nullptr;
            ULONG got = 0;
            if (e->Next(1, &mt, &got) != S_OK || got != 1) break;
            types.push_back(*mt);
            DeleteMediaType(mt);
        }
    }
    std::vector<RegisteredFilter> out_;
    for (RegisteredFilter& rf : RegisteredFilters()) {
        if (rf.merit <= MERIT_DO_NOT_USE) continue;
        bool fits = types.empty();  // a pin that names no type may fit anything
        for (const CMediaType& mt : types)
            for (const REGPINTYPES& rt : rf.inputTypes)
                if (TypeMatches(rt, mt)) fits = true;
        if (fits) out_.push_back(rf);
    }
    return out_;
}

ComPtr<IBaseFilter> CFilterGraph::CreateAndAdd(const RegisteredFilter& rf) {
    ComPtr<IBaseFilter> f;
    if (FAILED(CoCreateInstance(rf.clsid, &f)) || !f) return nullptr;
    if (FAILED(AddFilter(f.Get(), rf.name.c_str()))) return nullptr;
    return f;
}

HRESULT CFilterGraph::TryCandidates(IPin* out, HRESULT none,
                                    const std::function<HRESULT(IBaseFilter*)>& onward) {
    for (const RegisteredFilter& rf : Candidates(out)) {
        ComPtr<IBaseFilter> f = CreateAndAdd(rf);
        if (!f) continue;
        bool joined = false;
        for (ComPtr<IPin>& pin : GetPins(f.Get())) {
            PIN_DIRECTION d;
            pin->QueryDirection(&d);
            ComPtr<IPin> peer;
            if (d != PINDIR_INPUT || SUCCEEDED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf()))) continue;
            if (SUCCEEDED(out->Connect(pin.Get(), nullptr))) {
                joined = true;
                break;
            }
        }
        if (joined) {
            HRESULT hr = onward(f.Get());
            if (SUCCEEDED(hr)) return hr;
        }
        RemoveFilter(f.Get());
    }
    return none;
}

HRESULT CFilterGraph::ConnectVia(IPin* out, IPin* in, int depth) {
    if (depth > 4) return VFW_E_CANNOT_CONNECT;
    return TryCandidates(out, VFW_E_CANNOT_CONNECT, [&](IBaseFilter* f) {
        for (ComPtr<IPin>& pin : GetPins(f)) {
            PIN_DIRECTION d;
            pin->QueryDirection(&d);
            if (d != PINDIR_OUTPUT) continue;
            if (SUCCEEDED(pin->Connect(in, nullptr)) || SUCCEEDED(ConnectVia(pin.Get(), in, depth + 1)))
                return S_OK;
        }
        return VFW_E_CANNOT_CONNECT;
    });
}

HRESULT CFilterGraph::Connect(IPin* ppinOut, IPin* ppinIn) {
    if (!ppinOut || !ppinIn) return E_POINTER;
    CAutoLock lock(&m_lock);
    HRESULT hr = ConnectDirect(ppinOut, ppinIn, nullptr);
    if (SUCCEEDED(hr)) return hr;
    if (hr == VFW_E_NOT_IN_GRAPH || hr == VFW_E_INVALID_DIRECTION || hr == VFW_E_ALREADY_CONNECTED ||
        hr == VFW_E_NOT_STOPPED)
        return hr;
    hr = ConnectVia(ppinOut, ppinIn, 0);
    return SUCCEEDED(hr) ? S_OK : VFW_E_CANNOT_CONNECT;
}

HRESULT CFilterGraph::RenderPin(IPin* out, int depth) {
    if (depth > 5) return VFW_E_CANNOT_RENDER;
    return TryCandidates(out, VFW_E_CANNOT_RENDER, [&](IBaseFilter* f) {
        int outputs = 0, rendered = 0;
        for (ComPtr<IPin>& pin : GetPins(f)) {
            PIN_DIRECTION d;
            pin->QueryDirection(&d);
            if (d != PINDIR_OUTPUT) continue;
            ++outputs;
            if (SUCCEEDED(RenderPin(pin.Get(), depth + 1))) ++rendered;
        }
        if (outputs == 0) return S_OK;  // a renderer ends the chain
        if (rendered == outputs) return S_OK;
        if (rendered > 0) return VFW_S_PARTIAL_RENDER;
        return VFW_E_CANNOT_RENDER;
    });
}

HRESULT CFilterGraph::Render(IPin* ppinOut) {
    if (!ppinOut) return E_POINTER;
    CAutoLock lock(&m_lock);
    if (!InGraph(ppinOut)) return VFW_E_NOT_IN_GRAPH;
    PIN_DIRECTION d;
    if (FAILED(ppinOut->QueryDirection(&d)) || d != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    ComPtr<IPin> peer;
    if (SUCCEEDED(ppinOut->ConnectedTo(peer.ReleaseAndGetAddressOf())) && peer) return VFW_E_ALREADY_CONNECTED;
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    return RenderPin(ppinOut, 0);
}

HRESULT CFilterGraph::AddSourceFilter(const char* lpcwstrFileName, const char* lpcwstrFilterName,
                                      IBaseFilter** ppFilter) {
    if (!lpcwstrFileName || !ppFilter) return E_POINTER;
    *ppFilter = nullptr;
    ComPtr<IBaseFilter> f;
    HRESULT hr = CoCreateInstance(CLSID_AsyncReader, &f);
    if (FAILED(hr)) return hr;
    ComPtr<IFileSourceFilter> fs = f.As<IFileSourceFilter>();
    if (!fs) return E_NOINTERFACE;
    hr = fs->Load(lpcwstrFileName, nullptr);
    if (FAILED(hr)) return hr;
    hr = AddFilter(f.Get(), lpcwstrFilterName ? lpcwstrFilterName : lpcwstrFileName);
    if (FAILED(hr)) return hr;
    *ppFilter = f.Detach();
    return S_OK;
}

// ---------------------------------------------------------------- seeking

std::vector<ComPtr<IMediaSeeking>> CFilterGraph::Seekers() {
    std::vector<ComPtr<IMediaSeeking>> out;
    for (Entry& e : m_filters)
        if (IsRenderer(e.filter.Get()))
            if (ComPtr<IMediaSeeking> s = e.filter.As<IMediaSeeking>()) out.push_back(s);
    return out;
}

HRESULT CFilterGraph::GetCapabilities(DWORD* pCapabilities) {
    if (!pCapabilities) return E_POINTER;
    CAutoLock lock(&m_lock);
    auto seekers = Seekers();
    if (seekers.empty()) return E_NOTIMPL;
    DWORD caps = ~DWORD(0);
    bool any = false;
    for (auto& s : seekers) {
        DWORD c = 0;
        if (SUCCEEDED(s->GetCapabilities(&c))) {
            caps &= c;
            any = true;
        }
    }
    *pCapabilities = any ? caps | AM_SEEKING_CanGetCurrentPos : 0;
    return any ? S_OK : E_NOTIMPL;
}

HRESULT CFilterGraph::CheckCapabilities(DWORD* pCapabilities) {
    if (!pCapabilities) return E_POINTER;
    DWORD have = 0;
    HRESULT hr = GetCapabilities(&have);
    if (FAILED(hr)) return hr;
    DWORD asked = *pCapabilities;
    *pCapabilities &= have;
    if (*pCapabilities == asked) return S_OK;
    return *pCapabilities ? S_FALSE : E_FAIL;
}

HRESULT CFilterGraph::IsFormatSupported(const GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}
HRESULT CFilterGraph::QueryPreferredFormat(GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    *pFormat = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}
HRESULT CFilterGraph::GetTimeFormat(GUID* pFormat) { return QueryPreferredFormat(pFormat); }
HRESULT CFilterGraph::IsUsingTimeFormat(const GUID* pFormat) { return IsFormatSupported(pFormat); }
HRESULT CFilterGraph::SetTimeFormat(const GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}

HRESULT CFilterGraph::GetDuration(LONGLONG* pDuration) {
    if (!pDuration) return E_POINTER;
    CAutoLock lock(&m_lock);
    HRESULT result = E_NOTIMPL;
    LONGLONG best = 0;
    for (auto& s : Seekers()) {
        LONGLONG d = 0;
        if (SUCCEEDED(s->GetDuration(&d))) {
            best = SUCCEEDED(result) ? std::max(best, d) : d;
            result = S_OK;
        }
    }
    if (SUCCEEDED(result)) *pDuration = best;
    return result;
}

HRESULT CFilterGraph::GetStopPosition(LONGLONG* pStop) {
    if (!pStop) return E_POINTER;
    CAutoLock lock(&m_lock);
    for (auto& s : Seekers())
        if (SUCCEEDED(s->GetStopPosition(pStop))) return S_OK;
    return E_NOTIMPL;
}

HRESULT CFilterGraph::GetCurrentPosition(LONGLONG* pCurrent) {
    if (!pCurrent) return E_POINTER;
    CAutoLock lock(&m_lock);
    // The position is where the last seek landed plus the stream time since.
    REFERENCE_TIME streamTime = 0;
    if (m_state == State_Running)
        streamTime = ClockNow() - m_tStart;
    else if (m_state == State_Paused)
        streamTime = m_pausedStreamTime;
    REFERENCE_TIME pos = m_posBase + std::max<REFERENCE_TIME>(streamTime, 0);
    LONGLONG stop = 0;
    bool haveStop = false;
    for (auto& s : Seekers())
        if (SUCCEEDED(s->GetStopPosition(&stop))) {
            haveStop = true;
            break;
        }
    if (haveStop && stop > 0 && pos > stop) pos = stop;
    *pCurrent = pos;
    return S_OK;
}

HRESULT CFilterGraph::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                                        const GUID* pSourceFormat) {
    if (!pTarget) return E_POINTER;
    auto media = [](const GUID* f) { return !f || *f == TIME_FORMAT_MEDIA_TIME; };
    if (!media(pTargetFormat) || !media(pSourceFormat)) return E_INVALIDARG;
    *pTarget = Source;
    return S_OK;
}

HRESULT CFilterGraph::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                   DWORD dwStopFlags) {
    DWORD startBits = dwCurrentFlags & AM_SEEKING_PositioningBitsMask;
    DWORD stopBits = dwStopFlags & AM_SEEKING_PositioningBitsMask;
    if (startBits && !pCurrent) return E_POINTER;
    if (stopBits && !pStop) return E_POINTER;
    StopPauseWatcher();
    CAutoLock lock(&m_lock);
    auto seekers = Seekers();
    if (seekers.empty()) return E_NOTIMPL;
    LONGLONG current = 0;
    if (startBits) GetCurrentPosition(&current);
    bool wasRunning = m_state == State_Running;
    if (wasRunning) PauseLocked(false);
    HRESULT result = E_NOTIMPL;
    LONGLONG newStart = 0, newStop = 0;
    for (auto& s : seekers) {
        // Every renderer is told; the source sees the same request from each
        // of its streams and acts once.
        LONGLONG c = pCurrent ? *pCurrent : 0, st = pStop ? *pStop : 0;
        HRESULT hr = s->SetPositions(startBits ? &c : nullptr, dwCurrentFlags, stopBits ? &st : nullptr,
                                     dwStopFlags);
        if (SUCCEEDED(hr) && FAILED(result)) {
            result = hr;
            newStart = c;
            newStop = st;
        }
    }
    if (SUCCEEDED(result)) {
        if (startBits == AM_SEEKING_AbsolutePositioning)
            m_posBase = *pCurrent;
        else if (startBits)
            m_posBase = current + *pCurrent;
        if (startBits) {
            // Stream time starts again at the new position.
            m_pausedStreamTime = 0;
            ResetCompletion(-1);
        }
        if (startBits && (dwCurrentFlags & AM_SEEKING_ReturnTime)) *pCurrent = newStart;
        if (stopBits && (dwStopFlags & AM_SEEKING_ReturnTime)) *pStop = newStop;
    }
    if (wasRunning) RunLocked();
    return result;
}

HRESULT CFilterGraph::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) {
    HRESULT hr = S_OK;
    if (pCurrent) hr = GetCurrentPosition(pCurrent);
    if (SUCCEEDED(hr) && pStop) hr = GetStopPosition(pStop);
    return hr;
}

HRESULT CFilterGraph::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) {
    if (pEarliest) *pEarliest = 0;
    if (pLatest) return GetDuration(pLatest);
    return S_OK;
}

HRESULT CFilterGraph::SetRate(double dRate) {
    if (dRate <= 0) return E_INVALIDARG;
    CAutoLock lock(&m_lock);
    HRESULT result = E_NOTIMPL;
    for (auto& s : Seekers())
        if (SUCCEEDED(s->SetRate(dRate))) result = S_OK;
    return result;
}

HRESULT CFilterGraph::GetRate(double* pdRate) {
    if (!pdRate) return E_POINTER;
    CAutoLock lock(&m_lock);
    for (auto& s : Seekers())
        if (SUCCEEDED(s->GetRate(pdRate))) return S_OK;
    *pdRate = 1.0;
    return S_OK;
}

HRESULT CFilterGraph::GetPreroll(LONGLONG* pllPreroll) {
    if (!pllPreroll) return E_POINTER;
    *pllPreroll = 0;
    return S_OK;
}

namespace seconds {
inline REFERENCE_TIME ToTime(REFTIME s) { return REFERENCE_TIME(s * double(UNITS)); }
inline REFTIME FromTime(REFERENCE_TIME t) { return double(t) / double(UNITS); }
}  // namespace seconds

HRESULT CFilterGraph::get_Duration(REFTIME* plength) {
    if (!plength) return E_POINTER;
    LONGLONG d = 0;
    HRESULT hr = GetDuration(&d);
    if (SUCCEEDED(hr)) *plength = seconds::FromTime(d);
    return hr;
}
HRESULT CFilterGraph::put_CurrentPosition(REFTIME llTime) {
    LONGLONG t = seconds::ToTime(llTime);
    return SetPositions(&t, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}
HRESULT CFilterGraph::get_CurrentPosition(REFTIME* pllTime) {
    if (!pllTime) return E_POINTER;
    LONGLONG t = 0;
    HRESULT hr = GetCurrentPosition(&t);
    if (SUCCEEDED(hr)) *pllTime = seconds::FromTime(t);
    return hr;
}
HRESULT CFilterGraph::get_StopTime(REFTIME* pllTime) {
    if (!pllTime) return E_POINTER;
    LONGLONG t = 0;
    HRESULT hr = GetStopPosition(&t);
    if (SUCCEEDED(hr)) *pllTime = seconds::FromTime(t);
    return hr;
}
HRESULT CFilterGraph::put_StopTime(REFTIME llTime) {
    LONGLONG t = seconds::ToTime(llTime);
    return SetPositions(nullptr, AM_SEEKING_NoPositioning, &t, AM_SEEKING_AbsolutePositioning);
}
HRESULT CFilterGraph::get_PrerollTime(REFTIME* pllTime) {
    if (!pllTime) return E_POINTER;
    *pllTime = 0;
    return S_OK;
}
HRESULT CFilterGraph::put_PrerollTime(REFTIME) { return E_NOTIMPL; }
HRESULT CFilterGraph::put_Rate(double dRate) { return SetRate(dRate); }
HRESULT CFilterGraph::get_Rate(double* pdRate) { return GetRate(pdRate); }
HRESULT CFilterGraph::CanSeekForward(LONG* p) {
    if (!p) return E_POINTER;
    DWORD caps = AM_SEEKING_CanSeekForwards;
    *p = CheckCapabilities(&caps) == S_OK ? -1 : 0;
    return S_OK;
}
HRESULT CFilterGraph::CanSeekBackward(LONG* p) {
    if (!p) return E_POINTER;
    DWORD caps = AM_SEEKING_CanSeekBackwards;
    *p = CheckCapabilities(&caps) == S_OK ? -1 : 0;
    return S_OK;
}

}  // namespace

HRESULT CreateFilterGraph(IGraphBuilder** ppGraph) {
    if (!ppGraph) return E_POINTER;
    return CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                            reinterpret_cast<void**>(ppGraph));
}
