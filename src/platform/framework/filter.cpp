#include "filter.h"

#include <cstring>

namespace {
// Any failure of a type check that does not say more becomes "type not accepted".
HRESULT TypeRefusal(HRESULT hr) {
    if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) return VFW_E_TYPE_NOT_ACCEPTED;
    return hr;
}

// What both enumerators' Next share: the checks, and filling `items` from
// `take` until it holds `count` or `take` has nothing more to give.
template <class Item, class Take>
HRESULT FetchItems(Item** items, ULONG count, ULONG* pcFetched, bool outOfSync, Take take) {
    if (!items) return E_POINTER;
    if (pcFetched) *pcFetched = 0;
    if (outOfSync) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG fetched = 0;
    while (fetched < count && take(items[fetched])) ++fetched;
    if (pcFetched) *pcFetched = fetched;
    return fetched == count ? S_OK : S_FALSE;
}
}  // namespace

// ================================================================ CBaseFilter

CBaseFilter::CBaseFilter(const char* pName, IUnknown* pUnk, CCritSec* pLock, REFCLSID clsid,
                         HRESULT*)
    : CUnknown(pName, pUnk), m_clsid(clsid), m_pLock(pLock) {}

CBaseFilter::~CBaseFilter() {
    if (m_pClock) m_pClock->Release();
}

HRESULT CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IBaseFilter) return GetInterfaceAs<IBaseFilter>(this, ppv);
    if (riid == IID_IMediaFilter) return GetInterfaceAs<IMediaFilter>(this, ppv);
    if (riid == IID_IPersist) return GetInterfaceAs<IPersist>(this, ppv);
    if (riid == IID_IAMFilterMiscFlags) return GetInterfaceAs<IAMFilterMiscFlags>(this, ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseFilter::GetClassID(CLSID* pClsID) {
    if (!pClsID) return E_POINTER;
    *pClsID = m_clsid;
    return S_OK;
}

HRESULT CBaseFilter::Stop() {
    CAutoLock lock(m_pLock);
    HRESULT hr = S_OK;
    if (m_State != State_Stopped) {
        for (int i = 0, n = GetPinCount(); i < n; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hrTmp = pin->Inactive();
                if (FAILED(hrTmp) && SUCCEEDED(hr)) hr = hrTmp;
            }
        }
    }
    m_State = State_Stopped;
    return hr;
}

HRESULT CBaseFilter::Pause() {
    CAutoLock lock(m_pLock);
    if (m_State == State_Stopped) {
        for (int i = 0, n = GetPinCount(); i < n; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Active();
                if (FAILED(hr)) return hr;
            }
        }
    }
    m_State = State_Paused;
    return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME tStart) {
    CAutoLock lock(m_pLock);
    m_tStart = tStart;
    if (m_State == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    if (m_State != State_Running) {
        for (int i = 0, n = GetPinCount(); i < n; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Run(tStart);
                if (FAILED(hr)) return hr;
            }
        }
    }
    m_State = State_Running;
    return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE* State) {
    if (!State) return E_POINTER;
    *State = m_State;
    return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* pClock) {
    CAutoLock lock(m_pLock);
    if (pClock) pClock->AddRef();
    if (m_pClock) m_pClock->Release();
    m_pClock = pClock;
    return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** pClock) {
    if (!pClock) return E_POINTER;
    CAutoLock lock(m_pLock);
    *pClock = m_pClock;
    if (m_pClock) m_pClock->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::EnumPins(IEnumPins** ppEnum) {
    if (!ppEnum) return E_POINTER;
    auto* e = new CEnumPins(this);
    return e->NonDelegatingQueryInterface(IID_IEnumPins, reinterpret_cast<void**>(ppEnum));
}

HRESULT CBaseFilter::FindPin(const char* Id, IPin** ppPin) {
    if (!Id || !ppPin) return E_POINTER;
    *ppPin = nullptr;
    CAutoLock lock(m_pLock);
    for (int i = 0, n = GetPinCount(); i < n; ++i) {
        CBasePin* pin = GetPin(i);
        if (!pin) continue;
        std::string id;
        if (SUCCEEDED(pin->QueryId(&id)) && id == Id) {
            *ppPin = pin;
            pin->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* pInfo) {
    if (!pInfo) return E_POINTER;
    pInfo->achName = m_pName;
    pInfo->pGraph = m_pGraph;
    if (m_pGraph) m_pGraph->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* pGraph, const char* pName) {
    CAutoLock lock(m_pLock);
    std::lock_guard<std::mutex> sinkLock(m_sinkLock);
    m_pGraph = pGraph;
    m_pSink = nullptr;
    if (pGraph) {
        // The graph owns us: keep its event sink without a reference.
        IMediaEventSink* sink = nullptr;
        if (SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink))) &&
            sink) {
            m_pSink = sink;
            sink->Release();
        }
        m_pName = pName ? pName : "";
    } else {
        m_pName.clear();
    }
    return S_OK;
}

HRESULT CBaseFilter::QueryVendorInfo(std::string*) { return E_NOTIMPL; }

void CBaseFilter::IncrementPinVersion() {
    CAutoLock lock(m_pLock);
    ++m_PinVersion;
}

HRESULT CBaseFilter::NotifyEvent(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) {
    std::lock_guard<std::mutex> sinkLock(m_sinkLock);
    if (!m_pSink) return E_NOTIMPL;
    if (EventCode == EC_COMPLETE && EventParam2 == 0)
        EventParam2 = LONG_PTR(static_cast<IBaseFilter*>(this));
    return m_pSink->Notify(EventCode, EventParam1, EventParam2);
}

HRESULT CBaseFilter::ReconnectPin(IPin* pPin, const AM_MEDIA_TYPE*) {
    if (!m_pGraph) return VFW_E_NOT_IN_GRAPH;
    return m_pGraph->Reconnect(pPin);
}

BOOL CBaseFilter::IsActive() const { return m_State != State_Stopped; }
BOOL CBaseFilter::IsStopped() const { return m_State == State_Stopped; }

HRESULT CBaseFilter::StreamTime(CRefTime& rtStream) {
    if (!m_pClock) return VFW_E_NO_CLOCK;
    REFERENCE_TIME now = 0;
    HRESULT hr = m_pClock->GetTime(&now);
    if (FAILED(hr)) return hr;
    rtStream = now - m_tStart.m_time;
    return S_OK;
}

// ================================================================ CBasePin

CBasePin::CBasePin(const char* pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT*,
                   const char* pName, PIN_DIRECTION dir)
    : CUnknown(pObjectName, nullptr),
      m_pName(pName ? pName : ""),
      m_dir(dir),
      m_pLock(pLock),
      m_pFilter(pFilter) {}

CBasePin::~CBasePin() {
    if (m_Connected) m_Connected->Release();
}

HRESULT CBasePin::QueryInterface(REFIID riid, void** ppv) { return NonDelegatingQueryInterface(riid, ppv); }
ULONG CBasePin::AddRef() { return m_pFilter->AddRef(); }
ULONG CBasePin::Release() { return m_pFilter->Release(); }
ULONG CBasePin::NonDelegatingAddRef() { return m_pFilter->AddRef(); }
ULONG CBasePin::NonDelegatingRelease() { return m_pFilter->Release(); }

HRESULT CBasePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IPin) return GetInterfaceAs<IPin>(this, ppv);
    if (riid == IID_IQualityControl) return GetInterfaceAs<IQualityControl>(this, ppv);
    if (riid == IID_IUnknown) return GetInterfaceAs<IPin>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT CBasePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
    if (!pReceivePin) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_bCanReconnectWhenActive) return VFW_E_NOT_STOPPED;
    return AgreeMediaType(pReceivePin, pmt);
}

HRESULT CBasePin::AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt) {
    if (pmt && !pmt->IsPartiallySpecified()) return AttemptConnection(pReceivePin, pmt);
    HRESULT hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int i = 0; i < 2; ++i) {
        bool mine = (i == 0) == (m_bTryMyTypesFirst != FALSE);
        IEnumMediaTypes* pEnum = nullptr;
        HRESULT hr = mine ? EnumMediaTypes(&pEnum) : pReceivePin->EnumMediaTypes(&pEnum);
        if (SUCCEEDED(hr) && pEnum) {
            hr = TryMediaTypes(pReceivePin, pmt, pEnum);
            pEnum->Release();
            if (SUCCEEDED(hr)) return S_OK;
            // Keep a reason more telling than "no type fitted".
            if (hr != VFW_E_NO_ACCEPTABLE_TYPES && hr != VFW_E_TYPE_NOT_ACCEPTED && hr != E_FAIL &&
                hr != E_INVALIDARG)
                hrFailure = hr;
        }
    }
    return hrFailure;
}

HRESULT CBasePin::TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum) {
    HRESULT hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
    if (FAILED(pEnum->Reset())) return VFW_E_NO_ACCEPTABLE_TYPES;
    for (;;) {
        AM_MEDIA_TYPE* mt = nullptr;
        ULONG fetched = 0;
        if (pEnum->Next(1, &mt, &fetched) != S_OK || fetched != 1) break;
        if (!pmt || mt->MatchesPartial(pmt)) {
            HRESULT hr = AttemptConnection(pReceivePin, mt);
            if (SUCCEEDED(hr)) {
                DeleteMediaType(mt);
                return hr;
            }
            if (hr != VFW_E_TYPE_NOT_ACCEPTED && hr != E_FAIL && hr != E_INVALIDARG) hrFailure = hr;
        }
        DeleteMediaType(mt);
    }
    return hrFailure;
}

HRESULT CBasePin::AttemptConnection(IPin* pReceivePin, const CMediaType* pmt) {
    HRESULT hr = CheckConnect(pReceivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(pmt);
    if (hr == S_OK) {
        m_Connected = pReceivePin;
        m_Connected->AddRef();
        hr = SetMediaType(pmt);
        if (SUCCEEDED(hr)) {
            hr = pReceivePin->ReceiveConnection(static_cast<IPin*>(this), pmt);
            if (SUCCEEDED(hr)) {
                hr = CompleteConnect(pReceivePin);
                if (SUCCEEDED(hr)) return hr;
                pReceivePin->Disconnect();
            }
        }
    } else {
        hr = TypeRefusal(hr);
    }
    BreakConnect();
    if (m_Connected) {
        m_Connected->Release();
        m_Connected = nullptr;
    }
    return hr;
}

HRESULT CBasePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
    if (!pConnector || !pmt) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_bCanReconnectWhenActive) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(pConnector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(pmt);
    if (hr != S_OK) {
        BreakConnect();
        return TypeRefusal(hr);
    }
    m_Connected = pConnector;
    m_Connected->AddRef();
    hr = SetMediaType(pmt);
    if (SUCCEEDED(hr)) {
        hr = CompleteConnect(pConnector);
        if (SUCCEEDED(hr)) return S_OK;
    }
    m_Connected->Release();
    m_Connected = nullptr;
    BreakConnect();
    return hr;
}

HRESULT CBasePin::Disconnect() {
    CAutoLock lock(m_pLock);
    if (!IsStopped() && !m_bCanReconnectWhenActive) return VFW_E_NOT_STOPPED;
    return DisconnectInternal();
}

HRESULT CBasePin::DisconnectInternal() {
    if (!m_Connected) {
        BreakConnect();
        return S_FALSE;
    }
    HRESULT hr = BreakConnect();
    if (FAILED(hr)) return hr;
    m_Connected->Release();
    m_Connected = nullptr;
    return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pPin) {
    if (!pPin) return E_POINTER;
    IPin* p = m_Connected;
    *pPin = p;
    if (!p) return VFW_E_NOT_CONNECTED;
    p->AddRef();
    return S_OK;
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!IsConnected()) {
        pmt->InitMediaType();
        return VFW_E_NOT_CONNECTED;
    }
    *pmt = m_mt;
    return S_OK;
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* pInfo) {
    if (!pInfo) return E_POINTER;
    pInfo->pFilter = m_pFilter;
    if (m_pFilter) m_pFilter->AddRef();
    pInfo->dir = m_dir;
    pInfo->achName = m_pName;
    return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* pPinDir) {
    if (!pPinDir) return E_POINTER;
    *pPinDir = m_dir;
    return S_OK;
}

HRESULT CBasePin::QueryId(std::string* Id) {
    if (!Id) return E_POINTER;
    *Id = m_pName;
    return S_OK;
}

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    HRESULT hr = CheckMediaType(pmt);
    return hr == S_OK ? S_OK : S_FALSE;
}

HRESULT CBasePin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
    if (!ppEnum) return E_POINTER;
    auto* e = new CEnumMediaTypes(this);
    return e->NonDelegatingQueryInterface(IID_IEnumMediaTypes, reinterpret_cast<void**>(ppEnum));
}

HRESULT CBasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }
HRESULT CBasePin::EndOfStream() { return S_OK; }

HRESULT CBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    m_tStart = tStart;
    m_tStop = tStop;
    m_dRate = dRate;
    return S_OK;
}

HRESULT CBasePin::Notify(IBaseFilter*, Quality) { return E_NOTIMPL; }

HRESULT CBasePin::SetSink(IQualityControl* piqc) {
    CAutoLock lock(m_pLock);
    m_pQSink = piqc;
    return S_OK;
}

HRESULT CBasePin::SetMediaType(const CMediaType* pmt) {
    if (!pmt) return E_POINTER;
    m_mt = *pmt;
    return S_OK;
}

HRESULT CBasePin::CheckConnect(IPin* pPin) {
    if (!pPin) return E_POINTER;
    PIN_DIRECTION pd;
    HRESULT hr = pPin->QueryDirection(&pd);
    if (FAILED(hr)) return hr;
    if (pd == m_dir) return VFW_E_INVALID_DIRECTION;
    return S_OK;
}

HRESULT CBasePin::BreakConnect() { return S_OK; }
HRESULT CBasePin::CompleteConnect(IPin*) { return S_OK; }

HRESULT CBasePin::GetMediaType(int iPosition, CMediaType*) {
    return iPosition < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

void CBasePin::IncrementTypeVersion() { ++m_TypeVersion; }

// ================================================================ CEnumPins

CEnumPins::CEnumPins(CBaseFilter* pFilter, const CEnumPins* pEnumPins)
    : CUnknown("CEnumPins", nullptr), m_pFilter(pFilter) {
    m_pFilter->AddRef();
    if (pEnumPins) {
        m_Position = pEnumPins->m_Position;
        m_PinCount = pEnumPins->m_PinCount;
        m_Version = pEnumPins->m_Version;
    } else {
        m_PinCount = m_pFilter->GetPinCount();
        m_Version = m_pFilter->GetPinVersion();
    }
}

CEnumPins::~CEnumPins() { m_pFilter->Release(); }

HRESULT CEnumPins::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IEnumPins) return GetInterfaceAs<IEnumPins>(this, ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

BOOL CEnumPins::AreWeOutOfSync() const { return m_pFilter->GetPinVersion() != m_Version; }

HRESULT CEnumPins::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) {
    return FetchItems(ppPins, cPins, pcFetched, AreWeOutOfSync(), [this](IPin*& slot) {
        if (m_Position >= m_PinCount) return false;
        CBasePin* pin = m_pFilter->GetPin(m_Position++);
        if (!pin) return false;
        slot = pin;
        pin->AddRef();
        return true;
    });
}

HRESULT CEnumPins::Skip(ULONG cPins) {
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    if (ULONG(m_PinCount - m_Position) < cPins) return S_FALSE;
    m_Position += int(cPins);
    return S_OK;
}

HRESULT CEnumPins::Reset() {
    m_Version = m_pFilter->GetPinVersion();
    m_PinCount = m_pFilter->GetPinCount();
    m_Position = 0;
    return S_OK;
}

HRESULT CEnumPins::Clone(IEnumPins** ppEnum) {
    if (!ppEnum) return E_POINTER;
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    auto* e = new CEnumPins(m_pFilter, this);
    return e->NonDelegatingQueryInterface(IID_IEnumPins, reinterpret_cast<void**>(ppEnum));
}

// ================================================================ CEnumMediaTypes

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pPin, const CEnumMediaTypes* pEnumMediaTypes)
    : CUnknown("CEnumMediaTypes", nullptr), m_pPin(pPin) {
    m_pPin->AddRef();
    if (pEnumMediaTypes) {
        m_Position = pEnumMediaTypes->m_Position;
        m_Version = pEnumMediaTypes->m_Version;
    } else {
        m_Version = m_pPin->GetMediaTypeVersion();
    }
}

CEnumMediaTypes::~CEnumMediaTypes() { m_pPin->Release(); }

HRESULT CEnumMediaTypes::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IEnumMediaTypes) return GetInterfaceAs<IEnumMediaTypes>(this, ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

BOOL CEnumMediaTypes::AreWeOutOfSync() const { return m_pPin->GetMediaTypeVersion() != m_Version; }

HRESULT CEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) {
    return FetchItems(ppMediaTypes, cMediaTypes, pcFetched, AreWeOutOfSync(),
                      [this](AM_MEDIA_TYPE*& slot) {
                          CMediaType mt;
                          if (m_pPin->GetMediaType(m_Position, &mt) != S_OK) return false;
                          ++m_Position;
                          slot = CreateMediaType(&mt);
                          return true;
                      });
}

HRESULT CEnumMediaTypes::Skip(ULONG cMediaTypes) {
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    while (cMediaTypes > 0) {
        CMediaType mt;
        if (m_pPin->GetMediaType(m_Position, &mt) != S_OK) return S_FALSE;
        ++m_Position;
        --cMediaTypes;
    }
    return S_OK;
}

HRESULT CEnumMediaTypes::Reset() {
    m_Position = 0;
    m_Version = m_pPin->GetMediaTypeVersion();
    return S_OK;
}

HRESULT CEnumMediaTypes::Clone(IEnumMediaTypes** ppEnum) {
    if (!ppEnum) return E_POINTER;
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    auto* e = new CEnumMediaTypes(m_pPin, this);
    return e->NonDelegatingQueryInterface(IID_IEnumMediaTypes, reinterpret_cast<void**>(ppEnum));
}

// ================================================================ CBaseInputPin

CBaseInputPin::CBaseInputPin(const char* pObjectName, CBaseFilter* pFilter, CCritSec* pLock,
                             HRESULT* phr, const char* pName)
    : CBasePin(pObjectName, pFilter, pLock, phr, pName, PINDIR_INPUT) {}

CBaseInputPin::~CBaseInputPin() {
    if (m_pAllocator) m_pAllocator->Release();
}

HRESULT CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IMemInputPin) return GetInterfaceAs<IMemInputPin>(this, ppv);
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseInputPin::GetAllocator(IMemAllocator** ppAllocator) {
    if (!ppAllocator) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_pAllocator) {
        HRESULT hr = CreateMemoryAllocator(&m_pAllocator);
        if (FAILED(hr)) return hr;
    }
    *ppAllocator = m_pAllocator;
    m_pAllocator->AddRef();
    return S_OK;
}

HRESULT CBaseInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) {
    if (!pAllocator) return E_POINTER;
    CAutoLock lock(m_pLock);
    pAllocator->AddRef();
    if (m_pAllocator) m_pAllocator->Release();
    m_pAllocator = pAllocator;
    m_bReadOnly = bReadOnly;
    return S_OK;
}

HRESULT CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT CBaseInputPin::Receive(IMediaSample* pSample) {
    if (!pSample) return E_POINTER;
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    AM_MEDIA_TYPE* pmt = nullptr;
    if (pSample->GetMediaType(&pmt) == S_OK && pmt) {
        hr = CheckMediaType(pmt);
        DeleteMediaType(pmt);
        if (hr != S_OK) {
            // A type we cannot take mid-stream ends this stream with an error.
            m_bRunTimeError = true;
            m_pFilter->NotifyEvent(EC_ERRORABORT, LONG_PTR(VFW_E_TYPE_NOT_ACCEPTED), 0);
            return VFW_E_INVALIDMEDIATYPE;
        }
    }
    return S_OK;
}

HRESULT CBaseInputPin::ReceiveMultiple(IMediaSample** pSamples, long nSamples, long* nSamplesProcessed) {
    if (!pSamples) return E_POINTER;
    HRESULT hr = S_OK;
    long done = 0;
    while (done < nSamples) {
        hr = Receive(pSamples[done]);
        if (hr != S_OK) break;
        ++done;
    }
    if (nSamplesProcessed) *nSamplesProcessed = done;
    return hr;
}

HRESULT CBaseInputPin::ReceiveCanBlock() {
    int outputs = 0;
    for (int i = 0, n = m_pFilter->GetPinCount(); i < n; ++i) {
        CBasePin* pin = m_pFilter->GetPin(i);
        if (!pin) continue;
        PIN_DIRECTION dir;
        pin->QueryDirection(&dir);
        if (dir != PINDIR_OUTPUT) continue;
        IPin* connected = pin->GetConnected();
        if (!connected) continue;
        ++outputs;
        ComPtr<IMemInputPin> mip;
        if (SUCCEEDED(connected->QueryInterface(IID_IMemInputPin, mip.ReleaseAndGetVoidAddress())) &&
            mip && mip->ReceiveCanBlock() != S_FALSE)
            return S_OK;
    }
    return outputs == 0 ? S_OK : S_FALSE;
}

HRESULT CBaseInputPin::BeginFlush() {
    CAutoLock lock(m_pLock);
    m_bFlushing = true;
    return S_OK;
}

HRESULT CBaseInputPin::EndFlush() {
    CAutoLock lock(m_pLock);
    m_bFlushing = false;
    m_bRunTimeError = false;
    return S_OK;
}

HRESULT CBaseInputPin::BreakConnect() {
    if (m_pAllocator) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
    m_bRunTimeError = false;
    m_bFlushing = false;
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Decommit();
}

HRESULT CBaseInputPin::CheckStreaming() {
    if (!IsConnected()) return VFW_E_NOT_CONNECTED;
    if (IsStopped()) return VFW_E_WRONG_STATE;
    if (m_bFlushing) return S_FALSE;
    if (m_bRunTimeError) return VFW_E_RUNTIME_ERROR;
    return S_OK;
}

HRESULT CBaseInputPin::PassNotify(Quality& q) {
    if (m_pQSink) return m_pQSink->Notify(m_pFilter, q);
    IPin* connected = m_Connected;
    if (!connected) return VFW_E_NOT_FOUND;
    ComPtr<IQualityControl> qc;
    if (FAILED(connected->QueryInterface(IID_IQualityControl, qc.ReleaseAndGetVoidAddress())) || !qc)
        return VFW_E_NOT_FOUND;
    return qc->Notify(m_pFilter, q);
}

HRESULT CBaseInputPin::Notify(IBaseFilter*, Quality) { return S_OK; }

// ================================================================ CBaseOutputPin

CBaseOutputPin::CBaseOutputPin(const char* pObjectName, CBaseFilter* pFilter, CCritSec* pLock,
                               HRESULT* phr, const char* pName)
    : CBasePin(pObjectName, pFilter, pLock, phr, pName, PINDIR_OUTPUT) {}

CBaseOutputPin::~CBaseOutputPin() {
    if (m_pAllocator) m_pAllocator->Release();
    if (m_pInputPin) m_pInputPin->Release();
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*) {
    if (!m_pInputPin) return E_UNEXPECTED;
    return DecideAllocator(m_pInputPin, &m_pAllocator);
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pPin) {
    HRESULT hr = CBasePin::CheckConnect(pPin);
    if (FAILED(hr)) return hr;
    IMemInputPin* mip = nullptr;
    hr = pPin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&mip));
    if (FAILED(hr) || !mip) return E_NOINTERFACE;
    if (m_pInputPin) m_pInputPin->Release();
    m_pInputPin = mip;
    return S_OK;
}

HRESULT CBaseOutputPin::BreakConnect() {
    if (m_pAllocator) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    if (m_pInputPin) {
        m_pInputPin->Release();
        m_pInputPin = nullptr;
    }
    return S_OK;
}

HRESULT CBaseOutputPin::Active() {
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
    m_bRunTimeError = false;
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Decommit();
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc) {
    if (!pPin || !ppAlloc) return E_POINTER;
    if (*ppAlloc) {
        (*ppAlloc)->Release();
        *ppAlloc = nullptr;
    }
    ALLOCATOR_PROPERTIES req{};
    pPin->GetAllocatorRequirements(&req);
    if (req.cbAlign == 0) req.cbAlign = 1;

    // The input pin's own allocator first, then one of ours.
    HRESULT hr = pPin->GetAllocator(ppAlloc);
    if (SUCCEEDED(hr) && *ppAlloc) {
        ALLOCATOR_PROPERTIES prop = req;
        hr = DecideBufferSize(*ppAlloc, &prop);
        if (SUCCEEDED(hr)) {
            hr = pPin->NotifyAllocator(*ppAlloc, FALSE);
            if (SUCCEEDED(hr)) return S_OK;
        }
    }
    if (*ppAlloc) {
        (*ppAlloc)->Release();
        *ppAlloc = nullptr;
    }
    hr = InitAllocator(ppAlloc);
    if (SUCCEEDED(hr) && *ppAlloc) {
        ALLOCATOR_PROPERTIES prop = req;
        hr = DecideBufferSize(*ppAlloc, &prop);
        if (SUCCEEDED(hr)) {
            hr = pPin->NotifyAllocator(*ppAlloc, FALSE);
            if (SUCCEEDED(hr)) return S_OK;
        }
    }
    if (*ppAlloc) {
        (*ppAlloc)->Release();
        *ppAlloc = nullptr;
    }
    return FAILED(hr) ? hr : E_FAIL;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** ppAlloc) { return CreateMemoryAllocator(ppAlloc); }

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                          REFERENCE_TIME* pEndTime, DWORD dwFlags) {
    if (!ppSample) return E_POINTER;
    *ppSample = nullptr;
    IMemAllocator* alloc = m_pAllocator;
    if (!alloc) return E_NOINTERFACE;
    return alloc->GetBuffer(ppSample, pStartTime, pEndTime, dwFlags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* pSample) {
    IMemInputPin* pin = m_pInputPin;
    if (!pin) return VFW_E_NOT_CONNECTED;
    return pin->Receive(pSample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
    IPin* pin = m_Connected;
    if (!pin) return VFW_E_NOT_CONNECTED;
    return pin->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
    IPin* pin = m_Connected;
    if (!pin) return VFW_E_NOT_CONNECTED;
    return pin->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
    IPin* pin = m_Connected;
    if (!pin) return VFW_E_NOT_CONNECTED;
    return pin->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    IPin* pin = m_Connected;
    if (!pin) return VFW_E_NOT_CONNECTED;
    return pin->NewSegment(tStart, tStop, dRate);
}
