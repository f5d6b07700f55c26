#include "demux/base_splitter.h"

#include <algorithm>

#include "platform/win/messages.h"

namespace {
constexpr int kMinPackets = 100;
constexpr int kMinPacketBytes = 262144;
constexpr int kMaxPackets = 3000;
constexpr int kMaxPacketBytes = 2097152;
}  // namespace

// ---------------------------------------------------------------- input pin

CBaseSplitterInputPin::CBaseSplitterInputPin(const char* pName, CBaseSplitterFilter* pFilter,
                                             CCritSec* pLock, HRESULT* phr)
    : CBasePin("CBaseSplitterInputPin", pFilter, pLock, phr, pName, PINDIR_INPUT) {}

HRESULT CBaseSplitterInputPin::GetAsyncReader(IAsyncReader** ppAsyncReader) {
    if (!ppAsyncReader) return E_POINTER;
    *ppAsyncReader = nullptr;
    if (!m_pAsyncReader) return VFW_E_NOT_CONNECTED;
    *ppAsyncReader = m_pAsyncReader.Get();
    (*ppAsyncReader)->AddRef();
    return S_OK;
}

HRESULT CBaseSplitterInputPin::CheckMediaType(const CMediaType*) { return S_OK; }

HRESULT CBaseSplitterInputPin::CheckConnect(IPin* pPin) {
    ComPtr<IAsyncReader> reader;
    if (!pPin || FAILED(pPin->QueryInterface(IID_IAsyncReader, reinterpret_cast<void**>(reader.ReleaseAndGetAddressOf()))) || !reader)
        return E_NOINTERFACE;
    return CBasePin::CheckConnect(pPin);
}

HRESULT CBaseSplitterInputPin::BreakConnect() {
    HRESULT hr = static_cast<CBaseSplitterFilter*>(m_pFilter)->BreakInputConnect();
    if (FAILED(hr)) return hr;
    m_pAsyncReader = nullptr;
    return CBasePin::BreakConnect();
}

HRESULT CBaseSplitterInputPin::CompleteConnect(IPin* pPin) {
    HRESULT hr = CBasePin::CompleteConnect(pPin);
    if (FAILED(hr)) return hr;
    ComPtr<IAsyncReader> reader;
    hr = pPin->QueryInterface(IID_IAsyncReader, reinterpret_cast<void**>(reader.ReleaseAndGetAddressOf()));
    if (FAILED(hr) || !reader) return E_NOINTERFACE;
    hr = static_cast<CBaseSplitterFilter*>(m_pFilter)->CompleteInputConnect(reader.Get());
    if (FAILED(hr)) return hr;
    m_pAsyncReader = reader;
    return S_OK;
}

// ---------------------------------------------------------------- filter

CBaseSplitterFilter::CBaseSplitterFilter(const char* pName, IUnknown* pUnk, HRESULT* phr,
                                         const CLSID& clsid)
    : CBaseFilter(pName, pUnk, &m_csFilter, clsid, phr) {
    HRESULT hr = S_OK;
    m_pInput = std::make_unique<CBaseSplitterInputPin>("Input", this, &m_csFilter, &hr);
    if (phr && FAILED(hr)) *phr = hr;
}

CBaseSplitterFilter::~CBaseSplitterFilter() {
    {
        CAutoLock lock(&m_csFilter);
        m_fAbort = true;
    }
    if (ThreadExists()) {
        CallWorker(CMD_EXIT);
        Close();
    }
}

HRESULT CBaseSplitterFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IFileSourceFilter && m_pInput) return E_NOINTERFACE;
    if (riid == IID_IFileSourceFilter) return GetInterfaceAs<IFileSourceFilter>(this, ppv);
    if (riid == IID_IMediaSeeking) return GetInterfaceAs<IMediaSeeking>(this, ppv);
    if (riid == IID_IKeyFrameInfo) return GetInterfaceAs<IKeyFrameInfo>(this, ppv);
    if (riid == IID_IBufferInfo) return GetInterfaceAs<IBufferInfo>(this, ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int CBaseSplitterFilter::GetPinCount() {
    CAutoLock lock(&m_csFilter);
    return int(m_outputs.size()) + (m_pInput ? 1 : 0);
}

CBasePin* CBaseSplitterFilter::GetPin(int n) {
    CAutoLock lock(&m_csFilter);
    if (n >= 0 && n < int(m_outputs.size())) return m_outputs[size_t(n)];
    if (n == int(m_outputs.size()) && m_pInput) return m_pInput.get();
    return nullptr;
}

CBaseSplitterOutputPin* CBaseSplitterFilter::GetOutputPin(DWORD TrackNum) {
    CAutoLock lock(&m_csPinMap);
    auto it = m_pinMap.find(TrackNum);
    return it == m_pinMap.end() ? nullptr : it->second;
}

HRESULT CBaseSplitterFilter::RenameOutputPin(DWORD TrackNumSrc, DWORD TrackNumDst, const CMediaType* pmt) {
    CAutoLock lock(&m_csPinMap);
    auto it = m_pinMap.find(TrackNumSrc);
    if (it == m_pinMap.end()) return E_FAIL;
    CBaseSplitterOutputPin* pin = it->second;
    if (pin->IsConnected() && pmt && pin->GetConnected()->QueryAccept(pmt) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;
    m_pinMap.erase(it);
    m_pinMap[TrackNumDst] = pin;
    // An unconnected pin has no sample to carry the new type: its next
    // connection must be offered the new stream's type, not the old one's.
    if (pmt && !pin->IsConnected()) pin->SetOfferedType(*pmt);
    if (pmt) {
        CAutoLock lock2(&m_csmtnew);
        m_mtnew[TrackNumDst] = *pmt;
    }
    return S_OK;
}

HRESULT CBaseSplitterFilter::AddOutputPin(DWORD TrackNum, std::unique_ptr<CBaseSplitterOutputPin> pPin) {
    if (!pPin) return E_INVALIDARG;
    CAutoLock lock(&m_csPinMap);
    m_pinMap[TrackNum] = pPin.get();
    m_outputs.push_back(pPin.get());
    m_ownedOutputs.push_back(std::move(pPin));
    IncrementPinVersion();
    return S_OK;
}

HRESULT CBaseSplitterFilter::DeleteOutputs() {
    m_rtDuration = 0;
    m_retiredOutputs.clear();

    CAutoLock lock(&m_csFilter);
    if (m_State != State_Stopped) return VFW_E_NOT_STOPPED;

    for (CBaseSplitterOutputPin* pin : m_outputs) {
        if (IPin* peer = pin->GetConnected()) {
            ComPtr<IPin> hold(peer);
            peer->Disconnect();
            pin->Disconnect();
        }
    }
    {
        CAutoLock lock2(&m_csPinMap);
        for (auto& owned : m_ownedOutputs) m_retiredOutputs.push_back(std::move(owned));
        m_ownedOutputs.clear();
        m_outputs.clear();
        m_pinMap.clear();
    }
    {
        CAutoLock lock3(&m_csmtnew);
        m_mtnew.clear();
    }
    m_pSyncReader = nullptr;
    IncrementPinVersion();
    return S_OK;
}

HRESULT CBaseSplitterFilter::BreakInputConnect() {
    return DeleteOutputs();
}

HRESULT CBaseSplitterFilter::CompleteInputConnect(IAsyncReader* pReader) {
    if (!pReader) return E_NOINTERFACE;
    HRESULT hr = DeleteOutputs();
    if (FAILED(hr)) return hr;
    hr = CreateOutputs(pReader);
    if (FAILED(hr)) {
        DeleteOutputs();
        return hr;
    }
    m_pSyncReader = pReader;
    return S_OK;
}

// ---------------------------------------------------------------- state

HRESULT CBaseSplitterFilter::Stop() {
    CAutoLock lock(&m_csFilter);
    OutputDebugString("Stop\n");
    DeliverBeginFlush();
    if (ThreadExists()) {
        CallWorker(CMD_EXIT);
        Close();
    }
    DeliverEndFlush();
    return CBaseFilter::Stop();
}

HRESULT CBaseSplitterFilter::Pause() {
    CAutoLock lock(&m_csFilter);
    OutputDebugString("Pause\n");
    FILTER_STATE fs = m_State;
    HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr)) return hr;
    if (fs == State_Stopped) {
        OutputDebugString("Pause State_Stopped Create\n");
        Create();
    }
    return hr;
}

HRESULT CBaseSplitterFilter::Run(REFERENCE_TIME tStart) {
    CAutoLock lock(&m_csFilter);
    return CBaseFilter::Run(tStart);
}

void CBaseSplitterFilter::DeliverBeginFlush() {
    // The worker waits on this before it starts the next pass, so that the
    // new segment goes out only once every pin has finished flushing.
    m_eEndFlush.Reset();
    m_fFlushing = true;
    for (CBaseSplitterOutputPin* pin : m_outputs) pin->DeliverBeginFlush();
}

void CBaseSplitterFilter::DeliverEndFlush() {
    for (CBaseSplitterOutputPin* pin : m_outputs) pin->DeliverEndFlush();
    m_fFlushing = false;
    m_eEndFlush.Set();
}

// ---------------------------------------------------------------- worker

DWORD CBaseSplitterFilter::ThreadProc() {
    if (!DemuxInit()) {
        for (;;) {
            DWORD cmd = GetRequest();
            Reply(S_OK);
            if (cmd == CMD_EXIT) return 0;
        }
    }

    m_eEndFlush.Set();
    m_fFlushing = false;

    for (DWORD cmd = DWORD(-1);; cmd = GetRequest()) {
        if (cmd == CMD_EXIT) {
            Reply(S_OK);
            return 0;
        }
        SetPriority(THREAD_PRIORITY_NORMAL);
        m_rtStart = m_rtNewStart;
        m_rtStop = m_rtNewStop;
        DemuxSeek(m_rtStart);
        if (cmd != DWORD(-1)) Reply(S_OK);

        // A stop or another seek may begin a new flush before this one is
        // seen to end: its command must not wait behind the event.
        bool commandPending = false;
        while (!m_eEndFlush.Wait(10)) {
            if (CheckRequest(nullptr)) {
                commandPending = true;
                break;
            }
        }
        if (commandPending) continue;

        m_activePins.clear();
        for (CBaseSplitterOutputPin* pin : m_outputs) {
            if (!pin->IsConnected()) continue;
            if (!m_fFlushing) pin->DeliverNewSegment(m_rtStart, m_rtStop, m_dRate);
            pin->m_rtLastQueued = Packet::INVALID_TIME;
            m_activePins.push_back(pin);
        }
        m_discontinuitySent.clear();

        while (!DemuxLoop()) {
        }

        for (CBaseSplitterOutputPin* pin : m_activePins) {
            if (CheckRequest(&cmd)) break;
            pin->QueueEndOfStream();
        }
    }
}

HRESULT CBaseSplitterFilter::DeliverPacket(std::unique_ptr<Packet> p) {
    DWORD key = p->TrackNumber;
    CBaseSplitterOutputPin* pin = GetOutputPin(key);
    if (!pin || !pin->IsConnected() ||
        std::find(m_activePins.begin(), m_activePins.end(), pin) == m_activePins.end())
        return S_FALSE;

    if (p->rtStart != Packet::INVALID_TIME) {
        m_rtCurrent = p->rtStart;
        pin->m_rtLastQueued = p->rtStart;
        p->rtStart -= m_rtStart;
        p->rtStop -= m_rtStart;
    }
    {
        CAutoLock lock(&m_csmtnew);
        auto it = m_mtnew.find(key);
        if (it != m_mtnew.end()) {
            p->pmt = std::make_unique<CMediaType>(it->second);
            m_mtnew.erase(it);
        }
    }
    if (!m_discontinuitySent.count(key)) p->bDiscontinuity = TRUE;
    BOOL discontinuity = p->bDiscontinuity;

    HRESULT hr = pin->QueuePacket(std::move(p));
    if (hr != S_OK) {
        m_activePins.erase(std::find(m_activePins.begin(), m_activePins.end(), pin));
        if (!m_activePins.empty()) hr = S_OK;
    } else if (discontinuity) {
        m_discontinuitySent.insert(key);
    }
    return hr;
}

REFERENCE_TIME CBaseSplitterFilter::SlowestActivePosition() {
    REFERENCE_TIME slowest = LLONG_MAX;
    for (CBaseSplitterOutputPin* pin : m_activePins)
        if (!pin->IsDiscontinuous()) slowest = std::min(slowest, pin->m_rtLastQueued);
    return slowest == LLONG_MAX ? REFERENCE_TIME(m_rtCurrent) : slowest;
}

bool CBaseSplitterFilter::IsAnyPinDrying() {
    int totalCount = 0, totalSize = 0;
    for (CBaseSplitterOutputPin* pin : m_activePins) {
        int count = pin->QueueCount(), size = pin->QueueSize();
        if (!pin->IsDiscontinuous() && (count < kMinPackets || size < kMinPacketBytes)) {
            if (m_priority != THREAD_PRIORITY_BELOW_NORMAL &&
                (count < kMinPackets / 3 || size < kMinPacketBytes / 3)) {
                for (CBaseSplitterOutputPin* p : m_outputs) p->SetPriority(THREAD_PRIORITY_BELOW_NORMAL);
                m_priority = THREAD_PRIORITY_BELOW_NORMAL;
            }
            return true;
        }
        totalCount += count;
        totalSize += size;
    }
    if (m_priority != THREAD_PRIORITY_NORMAL &&
        (totalCount > kMaxPackets * 2 / 3 || totalSize > kMaxPacketBytes * 2 / 3)) {
        for (CBaseSplitterOutputPin* p : m_outputs) p->SetPriority(THREAD_PRIORITY_NORMAL);
        m_priority = THREAD_PRIORITY_NORMAL;
    }
    return totalCount < kMaxPackets && totalSize < kMaxPacketBytes;
}

// ---------------------------------------------------------------- IMediaSeeking

HRESULT CBaseSplitterFilter::GetCapabilities(DWORD* pCapabilities) {
    if (!pCapabilities) return E_POINTER;
    *pCapabilities = AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration | AM_SEEKING_CanSeekAbsolute |
                     AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards;
    return S_OK;
}

HRESULT CBaseSplitterFilter::CheckCapabilities(DWORD* pCapabilities) {
    if (!pCapabilities) return E_POINTER;
    if (*pCapabilities == 0) return S_OK;
    DWORD caps = 0;
    GetCapabilities(&caps);
    DWORD asked = *pCapabilities;
    *pCapabilities &= caps;
    if (*pCapabilities == 0) return E_FAIL;
    return *pCapabilities == asked ? S_OK : S_FALSE;
}

HRESULT CBaseSplitterFilter::IsFormatSupported(const GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}
HRESULT CBaseSplitterFilter::QueryPreferredFormat(GUID* pFormat) { return GetTimeFormat(pFormat); }
HRESULT CBaseSplitterFilter::GetTimeFormat(GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    *pFormat = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}
HRESULT CBaseSplitterFilter::IsUsingTimeFormat(const GUID* pFormat) { return IsFormatSupported(pFormat); }
HRESULT CBaseSplitterFilter::SetTimeFormat(const GUID* pFormat) {
    return S_OK == IsFormatSupported(pFormat) ? S_OK : E_INVALIDARG;
}
HRESULT CBaseSplitterFilter::GetDuration(LONGLONG* pDuration) {
    if (!pDuration) return E_POINTER;
    *pDuration = m_rtDuration;
    return S_OK;
}
HRESULT CBaseSplitterFilter::GetStopPosition(LONGLONG* pStop) { return GetDuration(pStop); }
HRESULT CBaseSplitterFilter::GetCurrentPosition(LONGLONG* pCurrent) {
    if (!pCurrent) return E_POINTER;
    *pCurrent = m_rtCurrent;
    return S_OK;
}
HRESULT CBaseSplitterFilter::ConvertTimeFormat(LONGLONG*, const GUID*, LONGLONG, const GUID*) {
    return E_NOTIMPL;
}
HRESULT CBaseSplitterFilter::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                          DWORD dwStopFlags) {
    return SetPositionsInternal(this, pCurrent, dwCurrentFlags, pStop, dwStopFlags);
}
HRESULT CBaseSplitterFilter::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) {
    if (pCurrent) *pCurrent = m_rtCurrent;
    if (pStop) *pStop = m_rtStop;
    return S_OK;
}
HRESULT CBaseSplitterFilter::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) {
    if (pEarliest) *pEarliest = 0;
    return pLatest ? GetDuration(pLatest) : S_OK;
}
HRESULT CBaseSplitterFilter::SetRate(double dRate) {
    if (dRate <= 0) return E_INVALIDARG;
    m_dRate = dRate;
    return S_OK;
}
HRESULT CBaseSplitterFilter::GetRate(double* pdRate) {
    if (!pdRate) return E_POINTER;
    *pdRate = m_dRate;
    return S_OK;
}
HRESULT CBaseSplitterFilter::GetPreroll(LONGLONG* pllPreroll) {
    if (!pllPreroll) return E_POINTER;
    *pllPreroll = 0;
    return S_OK;
}

HRESULT CBaseSplitterFilter::SetPositionsInternal(const void* seeker, LONGLONG* pCurrent,
                                                  DWORD dwCurrentFlags, LONGLONG* pStop,
                                                  DWORD dwStopFlags) {
    return SetPositionsRequest(seeker, pCurrent, dwCurrentFlags, pStop, dwStopFlags);
}

HRESULT CBaseSplitterFilter::SetPositionsRequest(const void* seeker, LONGLONG* pCurrent,
                                                 DWORD dwCurrentFlags, LONGLONG* pStop,
                                                 DWORD dwStopFlags) {
    CAutoLock lock(&m_csFilter);

    DWORD curMode = dwCurrentFlags & AM_SEEKING_PositioningBitsMask;
    DWORD stopMode = dwStopFlags & AM_SEEKING_PositioningBitsMask;
    if ((!pCurrent && !pStop) ||
        (curMode == AM_SEEKING_NoPositioning && stopMode == AM_SEEKING_NoPositioning))
        return S_OK;

    REFERENCE_TIME rtCurrent = m_rtCurrent, rtStop = m_rtStop;
    if (pCurrent) {
        switch (curMode) {
        case AM_SEEKING_AbsolutePositioning: rtCurrent = *pCurrent; break;
        case AM_SEEKING_RelativePositioning:
        case AM_SEEKING_IncrementalPositioning: rtCurrent = rtCurrent + *pCurrent; break;
        default: break;
        }
    }
    if (pStop) {
        switch (stopMode) {
        case AM_SEEKING_AbsolutePositioning: rtStop = *pStop; break;
        case AM_SEEKING_RelativePositioning: rtStop += *pStop; break;
        case AM_SEEKING_IncrementalPositioning: rtStop = rtCurrent + *pStop; break;
        default: break;
        }
    }

    if (m_rtCurrent == rtCurrent && m_rtStop == rtStop) return S_OK;

    if (m_rtLastStart == rtCurrent && m_rtLastStop == rtStop &&
        std::find(m_lastSeekers.begin(), m_lastSeekers.end(), seeker) == m_lastSeekers.end()) {
        m_lastSeekers.push_back(seeker);
        return S_OK;
    }

    m_rtLastStart = rtCurrent;
    m_rtLastStop = rtStop;
    m_lastSeekers.clear();
    m_lastSeekers.push_back(seeker);

    m_rtNewStart = m_rtCurrent = rtCurrent;
    m_rtNewStop = rtStop;

    if (ThreadExists()) {
        DeliverBeginFlush();
        CallWorker(CMD_SEEK);
        DeliverEndFlush();
    }
    return S_OK;
}

// ---------------------------------------------------------------- IBufferInfo

int CBaseSplitterFilter::GetCount() {
    CAutoLock lock(&m_csFilter);
    return int(m_outputs.size());
}

HRESULT CBaseSplitterFilter::GetStatus(int i, int& samples, int& size) {
    CAutoLock lock(&m_csFilter);
    if (i < 0 || i >= int(m_outputs.size())) return E_INVALIDARG;
    CBaseSplitterOutputPin* pin = m_outputs[size_t(i)];
    samples = pin->QueueCount();
    size = pin->QueueSize();
    return pin->IsConnected() ? S_OK : S_FALSE;
}

DWORD CBaseSplitterFilter::GetPriority() { return DWORD(m_priority); }
