#include "renderer.h"

#include <algorithm>

// ================================================================ CRendererInputPin

CRendererInputPin::CRendererInputPin(CBaseRenderer* pRenderer, HRESULT* phr, const char* Name)
    : CBaseInputPin("Renderer pin", pRenderer, &pRenderer->m_InterfaceLock, phr, Name),
      m_pRenderer(pRenderer) {}

HRESULT CRendererInputPin::BreakConnect() {
    HRESULT hr = m_pRenderer->BreakConnect();
    if (FAILED(hr)) return hr;
    return CBaseInputPin::BreakConnect();
}

HRESULT CRendererInputPin::CompleteConnect(IPin* pReceivePin) {
    HRESULT hr = m_pRenderer->CompleteConnect(pReceivePin);
    if (FAILED(hr)) return hr;
    return CBaseInputPin::CompleteConnect(pReceivePin);
}

HRESULT CRendererInputPin::SetMediaType(const CMediaType* pmt) {
    HRESULT hr = CBaseInputPin::SetMediaType(pmt);
    if (FAILED(hr)) return hr;
    return m_pRenderer->SetMediaType(pmt);
}

HRESULT CRendererInputPin::CheckMediaType(const CMediaType* pmt) {
    if (!pmt) return E_POINTER;
    return m_pRenderer->CheckMediaType(pmt);
}

HRESULT CRendererInputPin::Active() { return S_OK; }
HRESULT CRendererInputPin::Inactive() { return CBaseInputPin::Inactive(); }

HRESULT CRendererInputPin::QueryId(std::string* Id) {
    if (!Id) return E_POINTER;
    *Id = "In";
    return S_OK;
}

HRESULT CRendererInputPin::EndOfStream() {
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    return m_pRenderer->EndOfStream();
}

HRESULT CRendererInputPin::BeginFlush() {
    CAutoLock lock(&m_pRenderer->m_InterfaceLock);
    CBaseInputPin::BeginFlush();
    return m_pRenderer->BeginFlush();
}

HRESULT CRendererInputPin::EndFlush() {
    CAutoLock lock(&m_pRenderer->m_InterfaceLock);
    HRESULT hr = m_pRenderer->EndFlush();
    if (FAILED(hr)) return hr;
    return CBaseInputPin::EndFlush();
}

HRESULT CRendererInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    CBasePin::NewSegment(tStart, tStop, dRate);
    return m_pRenderer->NewSegment(tStart, tStop, dRate);
}

HRESULT CRendererInputPin::Receive(IMediaSample* pMediaSample) {
    HRESULT hr = CBaseInputPin::Receive(pMediaSample);
    if (hr != S_OK) return hr;
    return m_pRenderer->Receive(pMediaSample);
}

// ================================================================ CBaseRenderer

CBaseRenderer::CBaseRenderer(REFCLSID RenderClass, const char* pName, IUnknown* pUnk, HRESULT* phr)
    : CBaseFilter(pName, pUnk, &m_InterfaceLock, RenderClass, phr) {
    m_evComplete.Set();  // stopped counts as a completed state
}

CBaseRenderer::~CBaseRenderer() {
    delete m_pPosition;
    delete m_pInputPin;
}

HRESULT CBaseRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IMediaSeeking || riid == IID_IMediaPosition) {
        CAutoLock lock(&m_InterfaceLock);
        if (!m_pPosition) {
            HRESULT hr = S_OK;
            m_pPosition = new CRendererPosPassThru("Renderer CPosPassThru", GetOwner(), &hr, GetPin(0));
            if (FAILED(hr)) {
                delete m_pPosition;
                m_pPosition = nullptr;
                return hr;
            }
        }
        return m_pPosition->NonDelegatingQueryInterface(riid, ppv);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int CBaseRenderer::GetPinCount() {
    GetPin(0);
    return m_pInputPin ? 1 : 0;
}

CBasePin* CBaseRenderer::GetPin(int n) {
    if (!m_pInputPin) {
        CAutoLock lock(&m_InterfaceLock);
        if (!m_pInputPin) {
            HRESULT hr = S_OK;
            m_pInputPin = new CRendererInputPin(this, &hr, "In");
        }
    }
    return n == 0 ? m_pInputPin : nullptr;
}

HRESULT CBaseRenderer::FindPin(const char* Id, IPin** ppPin) {
    if (!Id || !ppPin) return E_POINTER;
    *ppPin = nullptr;
    if (std::string(Id) != "In") return VFW_E_NOT_FOUND;
    CBasePin* pin = GetPin(0);
    *ppPin = pin;
    pin->AddRef();
    return S_OK;
}

HRESULT CBaseRenderer::Stop() {
    CAutoLock lock(&m_InterfaceLock);
    if (m_State == State_Stopped) return S_OK;
    GetPin(0);
    // Decommits the input's allocator: an upstream thread waiting for a
    // buffer gives up.
    CBaseFilter::Stop();
    bool wasStreaming = false;
    {
        std::unique_lock<std::mutex> lk(m_RendererLock);
        m_streamState = State_Stopped;
        m_bAbort = TRUE;
        m_cv.notify_all();
        m_cv.wait(lk, [this] { return !m_bInReceive; });
        m_bEOS = FALSE;
        m_bEOSDelivered = FALSE;
        wasStreaming = m_bStreaming;
        m_bStreaming = FALSE;
    }
    if (m_pPosition) m_pPosition->ResetMediaTime();
    Ready();
    if (wasStreaming) OnStopStreaming();
    return S_OK;
}

HRESULT CBaseRenderer::Pause() {
    CAutoLock lock(&m_InterfaceLock);
    FILTER_STATE old = m_State;
    if (old == State_Paused) return CheckReady() ? S_OK : S_FALSE;
    GetPin(0);
    if (!m_pInputPin->IsConnected()) {
        // Nothing will come: the pause is complete at once.
        m_State = State_Paused;
        std::lock_guard<std::mutex> lk(m_RendererLock);
        m_streamState = State_Paused;
        Ready();
        return S_OK;
    }
    HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr)) return hr;
    bool ready = false, wasStreaming = false;
    {
        std::lock_guard<std::mutex> lk(m_RendererLock);
        if (old == State_Stopped) {
            m_bAbort = FALSE;
            m_bEOS = FALSE;
            m_bEOSDelivered = FALSE;
            m_cRendered = 0;
        }
        m_streamState = State_Paused;
        wasStreaming = m_bStreaming;
        m_bStreaming = FALSE;
        // Cued once a sample (or the end) is here.
        ready = m_pMediaSample != nullptr || m_bEOS;
        if (ready)
            Ready();
        else
            NotReady();
        m_cv.notify_all();
    }
    if (wasStreaming) OnStopStreaming();
    return ready ? S_OK : S_FALSE;
}

HRESULT CBaseRenderer::Run(REFERENCE_TIME StartTime) {
    CAutoLock lock(&m_InterfaceLock);
    if (m_State == State_Running) return S_OK;
    GetPin(0);
    if (!m_pInputPin->IsConnected()) {
        // An unconnected renderer has nothing to play: it is done at once.
        m_tStart = StartTime;
        m_State = State_Running;
        {
            std::lock_guard<std::mutex> lk(m_RendererLock);
            m_streamState = State_Running;
        }
        Ready();
        NotifyEvent(EC_COMPLETE, S_OK, LONG_PTR(static_cast<IBaseFilter*>(this)));
        return S_OK;
    }
    HRESULT hr = CBaseFilter::Run(StartTime);  // pauses first when stopped
    if (FAILED(hr)) return hr;
    {
        std::lock_guard<std::mutex> lk(m_RendererLock);
        m_rtRunStart = StartTime;
        m_streamState = State_Running;
        m_bStreaming = TRUE;
        m_cv.notify_all();
    }
    Ready();
    OnStartStreaming();
    // An end of stream that arrived while paused completes now.
    SendEndOfStream();
    return S_OK;
}

HRESULT CBaseRenderer::GetState(DWORD dwMSecs, FILTER_STATE* State) {
    if (!State) return E_POINTER;
    *State = m_State;
    if (*State == State_Paused && !m_evComplete.Wait(dwMSecs)) return VFW_S_STATE_INTERMEDIATE;
    *State = m_State;
    return S_OK;
}

HRESULT CBaseRenderer::GetSampleTimes(IMediaSample* pMediaSample, REFERENCE_TIME* pStartTime,
                                      REFERENCE_TIME* pEndTime) {
    HRESULT hr = pMediaSample->GetTime(pStartTime, pEndTime);
    if (FAILED(hr)) return S_FALSE;  // untimed: render at once
    if (ShouldDrawSampleNow(pMediaSample, pStartTime, pEndTime) == S_OK) return S_FALSE;
    if (!m_pClock) return S_FALSE;
    return S_OK;
}

HRESULT CBaseRenderer::Receive(IMediaSample* pMediaSample) {
    if (!pMediaSample) return E_POINTER;
    bool paused = false;
    {
        std::lock_guard<std::mutex> lk(m_RendererLock);
        if (m_streamState == State_Stopped) return VFW_E_WRONG_STATE;
        if (m_bAbort || m_pInputPin->IsFlushing()) return S_FALSE;
        if (m_bEOS) return VFW_E_SAMPLE_REJECTED_EOS;
        if (m_bInReceive) return VFW_E_WRONG_STATE;
        m_bInReceive = TRUE;
        m_pMediaSample = pMediaSample;
        m_pMediaSample->AddRef();
        paused = m_streamState == State_Paused;
    }
    // The still is shown before the pause counts as complete.
    if (paused) OnReceiveFirstSample(pMediaSample);
    Ready();  // a held sample completes a pause

    REFERENCE_TIME tStart = 0, tEnd = 0;
    HRESULT hrTimes = GetSampleTimes(pMediaSample, &tStart, &tEnd);
    bool render = SUCCEEDED(hrTimes);  // a failure drops the sample

    std::unique_lock<std::mutex> lk(m_RendererLock);
    while (render) {
        if (m_bAbort || m_streamState == State_Stopped) {
            render = false;
            break;
        }
        if (m_streamState == State_Paused) {
            // Cued: hold the sample until Run, a flush or Stop.
            m_cv.wait(lk);
            continue;
        }
        if (hrTimes != S_OK) break;  // running, untimed
        REFERENCE_TIME due = m_rtRunStart + tStart;
        lk.unlock();
        REFERENCE_TIME now = 0;
        HRESULT hrClock = m_pClock ? m_pClock->GetTime(&now) : E_FAIL;
        lk.lock();
        if (FAILED(hrClock)) break;
        if (m_bAbort || m_streamState != State_Running) continue;
        if (now >= due) break;
        // Short steps: the clock may be an audio device's and not run at
        // the system clock's pace.
        REFERENCE_TIME wait = std::min<REFERENCE_TIME>(due - now, 20 * MILLISECONDS);
        m_cv.wait_for(lk, std::chrono::microseconds(wait / 10 + 1));
    }
    lk.unlock();

    if (render) {
        OnRenderStart(pMediaSample);
        DoRenderSample(pMediaSample);
        OnRenderEnd(pMediaSample);
        ++m_cRendered;
        if (m_pPosition) {
            // The position is the segment's start plus the sample's time.
            REFERENCE_TIME s = 0, e = 0;
            LONGLONG ms = 0, me = 0;
            if (pMediaSample->GetMediaTime(&ms, &me) == S_OK)
                m_pPosition->RegisterMediaTime(ms, me);
            else if (SUCCEEDED(pMediaSample->GetTime(&s, &e))) {
                REFERENCE_TIME seg = m_pInputPin->CurrentStartTime();
                m_pPosition->RegisterMediaTime(seg + s, seg + e);
            }
        }
    }

    IMediaSample* done = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_RendererLock);
        done = m_pMediaSample;
        m_pMediaSample = nullptr;
        m_bInReceive = FALSE;
        m_cv.notify_all();
    }
    if (done) done->Release();
    // An end of stream that came in from another thread meanwhile.
    SendEndOfStream();
    return S_OK;
}

HRESULT CBaseRenderer::EndOfStream() {
    {
        std::lock_guard<std::mutex> lk(m_RendererLock);
        if (m_streamState == State_Stopped || m_bEOS) return S_OK;
        m_bEOS = TRUE;
    }
    Ready();  // the end completes a pause too
    return SendEndOfStream();
}

HRESULT CBaseRenderer::SendEndOfStream() {
    {
        std::lock_guard<std::mutex> lk(m_RendererLock);
        if (!m_bEOS || m_bEOSDelivered || m_pMediaSample || m_bAbort || m_streamState != State_Running)
            return S_OK;
        m_bEOSDelivered = TRUE;
    }
    return NotifyEvent(EC_COMPLETE, S_OK, LONG_PTR(static_cast<IBaseFilter*>(this)));
}

HRESULT CBaseRenderer::BeginFlush() {
    {
        std::unique_lock<std::mutex> lk(m_RendererLock);
        m_bAbort = TRUE;
        m_cv.notify_all();
        m_cv.wait(lk, [this] { return !m_bInReceive; });
        m_bEOS = FALSE;
        m_bEOSDelivered = FALSE;
        // A paused renderer needs a new sample before it is cued again.
        if (m_streamState == State_Paused) NotReady();
    }
    if (m_pPosition) m_pPosition->ResetMediaTime();
    return S_OK;
}

HRESULT CBaseRenderer::EndFlush() {
    std::lock_guard<std::mutex> lk(m_RendererLock);
    m_bAbort = m_streamState == State_Stopped ? TRUE : FALSE;
    return S_OK;
}
