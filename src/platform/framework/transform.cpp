#include "transform.h"

// ================================================================ CTransformInputPin

CTransformInputPin::CTransformInputPin(const char* pObjectName, CTransformFilter* pTransformFilter,
                                       HRESULT* phr, const char* pName)
    : CBaseInputPin(pObjectName, pTransformFilter, &pTransformFilter->m_csFilter, phr, pName),
      m_pTransformFilter(pTransformFilter) {}

HRESULT CTransformInputPin::CheckConnect(IPin* pPin) {
    HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_INPUT, pPin);
    if (FAILED(hr)) return hr;
    return CBaseInputPin::CheckConnect(pPin);
}

HRESULT CTransformInputPin::BreakConnect() {
    m_pTransformFilter->BreakConnect(PINDIR_INPUT);
    return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin* pReceivePin) {
    HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_INPUT, pReceivePin);
    if (FAILED(hr)) return hr;
    return CBaseInputPin::CompleteConnect(pReceivePin);
}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* mtIn) {
    if (!mtIn) return E_POINTER;
    HRESULT hr = m_pTransformFilter->CheckInputType(mtIn);
    if (hr != S_OK) return hr;
    // With the output connected, the new input must still fit its type.
    CTransformOutputPin* out = m_pTransformFilter->m_pOutput;
    if (out && out->IsConnected())
        return m_pTransformFilter->CheckTransform(mtIn, &out->CurrentMediaType());
    return S_OK;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* mt) {
    HRESULT hr = CBasePin::SetMediaType(mt);
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_INPUT, mt);
}

HRESULT CTransformInputPin::Receive(IMediaSample* pSample) {
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr == S_OK) hr = m_pTransformFilter->Receive(pSample);
    return hr;
}

HRESULT CTransformInputPin::EndOfStream() {
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CheckStreaming();
    if (hr == S_OK) hr = m_pTransformFilter->EndOfStream();
    return hr;
}

HRESULT CTransformInputPin::BeginFlush() {
    CAutoLock lock(&m_pTransformFilter->m_csFilter);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput->IsConnected()) return VFW_E_NOT_CONNECTED;
    HRESULT hr = CBaseInputPin::BeginFlush();
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->BeginFlush();
}

HRESULT CTransformInputPin::EndFlush() {
    CAutoLock lock(&m_pTransformFilter->m_csFilter);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput->IsConnected()) return VFW_E_NOT_CONNECTED;
    HRESULT hr = m_pTransformFilter->EndFlush();
    if (FAILED(hr)) return hr;
    return CBaseInputPin::EndFlush();
}

HRESULT CTransformInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    CBasePin::NewSegment(tStart, tStop, dRate);
    return m_pTransformFilter->NewSegment(tStart, tStop, dRate);
}

HRESULT CTransformInputPin::QueryId(std::string* Id) {
    if (!Id) return E_POINTER;
    *Id = "In";
    return S_OK;
}

// ================================================================ CTransformOutputPin

CTransformOutputPin::CTransformOutputPin(const char* pObjectName, CTransformFilter* pTransformFilter,
                                         HRESULT* phr, const char* pName)
    : CBaseOutputPin(pObjectName, pTransformFilter, &pTransformFilter->m_csFilter, phr, pName),
      m_pTransformFilter(pTransformFilter) {}

CTransformOutputPin::~CTransformOutputPin() { delete m_pPosition; }

HRESULT CTransformOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IMediaSeeking || riid == IID_IMediaPosition) {
        CAutoLock lock(m_pLock);
        if (!m_pPosition) {
            HRESULT hr = S_OK;
            m_pPosition = new CPosPassThru("Pass Through", GetOwner(), &hr, m_pTransformFilter->GetPin(0));
            if (FAILED(hr)) {
                delete m_pPosition;
                m_pPosition = nullptr;
                return hr;
            }
        }
        return m_pPosition->NonDelegatingQueryInterface(riid, ppv);
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pPin) {
    CTransformInputPin* in = m_pTransformFilter->m_pInput;
    if (!in || !in->IsConnected()) return E_UNEXPECTED;
    HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_OUTPUT, pPin);
    if (FAILED(hr)) return hr;
    return CBaseOutputPin::CheckConnect(pPin);
}

HRESULT CTransformOutputPin::BreakConnect() {
    m_pTransformFilter->BreakConnect(PINDIR_OUTPUT);
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* pReceivePin) {
    HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_OUTPUT, pReceivePin);
    if (FAILED(hr)) return hr;
    return CBaseOutputPin::CompleteConnect(pReceivePin);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* mtOut) {
    if (!mtOut) return E_POINTER;
    CTransformInputPin* in = m_pTransformFilter->m_pInput;
    if (!in || !in->IsConnected()) return E_INVALIDARG;
    return m_pTransformFilter->CheckTransform(&in->CurrentMediaType(), mtOut);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* pmt) {
    HRESULT hr = CBasePin::SetMediaType(pmt);
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_OUTPUT, pmt);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) {
    return m_pTransformFilter->DecideBufferSize(pAlloc, pProp);
}

HRESULT CTransformOutputPin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    CTransformInputPin* in = m_pTransformFilter->m_pInput;
    if (!in || !in->IsConnected()) return VFW_S_NO_MORE_ITEMS;
    return m_pTransformFilter->GetMediaType(iPosition, pMediaType);
}

HRESULT CTransformOutputPin::Notify(IBaseFilter*, Quality q) {
    HRESULT hr = m_pTransformFilter->AlterQuality(q);
    if (hr != S_FALSE) return hr;
    return m_pTransformFilter->m_pInput->PassNotify(q);
}

HRESULT CTransformOutputPin::QueryId(std::string* Id) {
    if (!Id) return E_POINTER;
    *Id = "Out";
    return S_OK;
}

// ================================================================ CTransformFilter

CTransformFilter::CTransformFilter(const char* pName, IUnknown* pUnk, REFCLSID clsid)
    : CBaseFilter(pName, pUnk, &m_csFilter, clsid) {}

CTransformFilter::~CTransformFilter() {
    delete m_pInput;
    delete m_pOutput;
}

int CTransformFilter::GetPinCount() { return 2; }

CBasePin* CTransformFilter::GetPin(int n) {
    if (!m_pInput) {
        CAutoLock lock(&m_csFilter);
        if (!m_pInput) {
            HRESULT hr = S_OK;
            m_pOutput = new CTransformOutputPin("Transform output pin", this, &hr, "XForm Out");
            m_pInput = new CTransformInputPin("Transform input pin", this, &hr, "XForm In");
        }
    }
    if (n == 0) return m_pInput;
    if (n == 1) return m_pOutput;
    return nullptr;
}

HRESULT CTransformFilter::FindPin(const char* Id, IPin** ppPin) {
    if (!Id || !ppPin) return E_POINTER;
    *ppPin = nullptr;
    std::string id(Id);
    CBasePin* pin = id == "In" ? GetPin(0) : id == "Out" ? GetPin(1) : nullptr;
    if (!pin) return VFW_E_NOT_FOUND;
    *ppPin = pin;
    pin->AddRef();
    return S_OK;
}

HRESULT CTransformFilter::Stop() {
    CAutoLock lock(&m_csFilter);
    if (m_State == State_Stopped) return S_OK;
    GetPin(0);
    if (!m_pInput->IsConnected() || !m_pOutput->IsConnected()) {
        m_State = State_Stopped;
        m_bEOSDelivered = FALSE;
        return S_OK;
    }
    // Decommitting the input's allocator stops new samples from upstream;
    // then wait for a Receive in progress to finish before the output goes.
    m_pInput->Inactive();
    CAutoLock receive(&m_csReceive);
    m_pOutput->Inactive();
    HRESULT hr = StopStreaming();
    if (SUCCEEDED(hr)) {
        m_State = State_Stopped;
        m_bEOSDelivered = FALSE;
    }
    return hr;
}

HRESULT CTransformFilter::Pause() {
    CAutoLock lock(&m_csFilter);
    GetPin(0);
    HRESULT hr = S_OK;
    if (m_State == State_Paused) {
        // nothing to do
    } else if (!m_pInput->IsConnected()) {
        // Nothing will ever arrive: tell downstream so it does not wait.
        if (m_pOutput->IsConnected() && !m_bEOSDelivered) {
            m_pOutput->DeliverEndOfStream();
            m_bEOSDelivered = TRUE;
        }
        m_State = State_Paused;
    } else if (!m_pOutput->IsConnected()) {
        m_State = State_Paused;
    } else {
        if (m_State == State_Stopped) {
            CAutoLock receive(&m_csReceive);
            hr = StartStreaming();
        }
        if (SUCCEEDED(hr)) hr = CBaseFilter::Pause();
    }
    m_bSampleSkipped = FALSE;
    m_bQualityChanged = FALSE;
    return hr;
}

HRESULT CTransformFilter::Transform(IMediaSample*, IMediaSample*) { return E_UNEXPECTED; }

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* pSample, IMediaSample** ppOutSample) {
    if (!pSample || !ppOutSample) return E_POINTER;
    *ppOutSample = nullptr;
    DWORD dwFlags = m_bSampleSkipped ? AM_GBF_PREVFRAMESKIPPED : 0;
    if (pSample->IsSyncPoint() != S_OK) dwFlags |= AM_GBF_NOTASYNCPOINT;
    REFERENCE_TIME tStart = 0, tStop = 0;
    HRESULT hrTime = pSample->GetTime(&tStart, &tStop);

    IMediaSample* out = nullptr;
    HRESULT hr = m_pOutput->GetDeliveryBuffer(&out, SUCCEEDED(hrTime) ? &tStart : nullptr,
                                              hrTime == S_OK ? &tStop : nullptr, dwFlags);
    if (FAILED(hr)) return hr;
    if (!out) return E_UNEXPECTED;

    if (hrTime == S_OK)
        out->SetTime(&tStart, &tStop);
    else if (hrTime == VFW_S_NO_STOP_TIME)
        out->SetTime(&tStart, nullptr);
    else
        out->SetTime(nullptr, nullptr);
    out->SetSyncPoint(pSample->IsSyncPoint() == S_OK);
    out->SetDiscontinuity(pSample->IsDiscontinuity() == S_OK);
    out->SetPreroll(pSample->IsPreroll() == S_OK);
    LONGLONG mStart = 0, mStop = 0;
    if (pSample->GetMediaTime(&mStart, &mStop) == S_OK)
        out->SetMediaTime(&mStart, &mStop);
    else
        out->SetMediaTime(nullptr, nullptr);
    *ppOutSample = out;
    return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* pSample) {
    IMediaSample* out = nullptr;
    HRESULT hr = InitializeOutputSample(pSample, &out);
    if (FAILED(hr)) return hr;
    hr = Transform(pSample, out);
    if (FAILED(hr)) {
        out->Release();
        return hr;
    }
    if (hr == S_OK) {
        hr = m_pOutput->Deliver(out);
        m_bSampleSkipped = FALSE;
    } else if (hr == S_FALSE) {
        // The transform chose to drop this one; downstream hears of it once.
        out->Release();
        m_bSampleSkipped = TRUE;
        if (!m_bQualityChanged) {
            NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
            m_bQualityChanged = TRUE;
        }
        return S_OK;
    }
    out->Release();
    return hr;
}

HRESULT CTransformFilter::EndOfStream() {
    if (!m_pOutput) return S_OK;
    return m_pOutput->DeliverEndOfStream();
}

HRESULT CTransformFilter::BeginFlush() {
    if (!m_pOutput) return S_OK;
    return m_pOutput->DeliverBeginFlush();
}

HRESULT CTransformFilter::EndFlush() {
    if (!m_pOutput) return S_OK;
    return m_pOutput->DeliverEndFlush();
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    if (!m_pOutput) return S_OK;
    return m_pOutput->DeliverNewSegment(tStart, tStop, dRate);
}
