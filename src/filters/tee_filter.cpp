#include "filters/tee_filter.h"

// ---------------------------------------------------------------- filter

CMyTeeFilter::CMyTeeFilter(IUnknown* pUnk, HRESULT* phr)
    : CBaseFilter("", pUnk, this, CLSID_MyTeeFilter, phr) {
    HRESULT hr = S_OK;
    m_pInput = new CMyTeeInputPin(this, &hr);
    m_pOutput0 = new CMyTeeOutputPin(this, &hr, "Output0");
    m_pOutput1 = new CMyTeeOutputPin(this, &hr, "Output1");
    if (phr) *phr = hr;
}

CMyTeeFilter::~CMyTeeFilter() {
    delete m_pOutput1;
    delete m_pOutput0;
    delete m_pInput;
}

CUnknown* CMyTeeFilter::CreateInstance(IUnknown* pUnk, HRESULT* phr) {
    return new CMyTeeFilter(pUnk, phr);
}

CBasePin* CMyTeeFilter::GetPin(int n) {
    switch (n) {
        case 0:
            return m_pInput;
        case 1:
            return m_pOutput0;
        case 2:
            return m_pOutput1;
        default:
            return nullptr;
    }
}

// ---------------------------------------------------------------- input

CMyTeeInputPin::CMyTeeInputPin(CMyTeeFilter* pFilter, HRESULT* phr)
    : CBaseInputPin("CMyTeeInputPin", pFilter, pFilter, phr, "Input"), m_pTee(pFilter) {}

HRESULT CMyTeeInputPin::CheckMediaType(const CMediaType* pmt) {
    if (!pmt) return E_POINTER;
    if (*pmt->Type() != MEDIATYPE_Video || *pmt->Subtype() != MEDIASUBTYPE_YV12 ||
        *pmt->FormatType() != FORMAT_VideoInfo)
        return S_FALSE;
    const BITMAPINFOHEADER* bih = GetBitmapInfoHeader(pmt);
    return bih && bih->biHeight > 0 ? S_OK : S_FALSE;
}

HRESULT CMyTeeInputPin::SetMediaType(const CMediaType* pmt) {
    CAutoLock lock(m_pTee);
    HRESULT hr = CBaseInputPin::SetMediaType(pmt);
    if (SUCCEEDED(hr)) m_pTee->m_mt = *pmt;
    return hr;
}

HRESULT CMyTeeInputPin::Receive(IMediaSample* pSample) {
    for (CMyTeeOutputPin* out : {m_pTee->m_pOutput0, m_pTee->m_pOutput1})
        if (out->IsConnected()) out->Deliver(pSample);
    return S_OK;
}

HRESULT CMyTeeInputPin::EndOfStream() {
    m_pTee->m_pOutput0->DeliverEndOfStream();
    m_pTee->m_pOutput1->DeliverEndOfStream();
    return S_OK;
}

HRESULT CMyTeeInputPin::BeginFlush() {
    m_pTee->m_pOutput0->DeliverBeginFlush();
    m_pTee->m_pOutput1->DeliverBeginFlush();
    return CBaseInputPin::BeginFlush();
}

HRESULT CMyTeeInputPin::EndFlush() {
    m_pTee->m_pOutput0->DeliverEndFlush();
    m_pTee->m_pOutput1->DeliverEndFlush();
    return CBaseInputPin::EndFlush();
}

HRESULT CMyTeeInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    m_pTee->m_pOutput0->DeliverNewSegment(tStart, tStop, dRate);
    m_pTee->m_pOutput1->DeliverNewSegment(tStart, tStop, dRate);
    return CBaseInputPin::NewSegment(tStart, tStop, dRate);
}

// ---------------------------------------------------------------- outputs

CMyTeeOutputPin::CMyTeeOutputPin(CMyTeeFilter* pFilter, HRESULT* phr, const char* pName)
    : CBaseOutputPin("CMyTeeOutputPin", pFilter, pFilter, phr, pName), m_pTee(pFilter) {}

CMyTeeOutputPin::~CMyTeeOutputPin() {
    delete m_pOutputQueue;
}

HRESULT CMyTeeOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IMediaPosition || riid == IID_IMediaSeeking) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CMyTeeOutputPin::CheckMediaType(const CMediaType* pmt) {
    if (!pmt) return E_POINTER;
    return *pmt == m_pTee->m_mt ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CMyTeeOutputPin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (!pMediaType) return E_POINTER;
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
    *pMediaType = m_pTee->m_mt;
    return S_OK;
}

HRESULT CMyTeeOutputPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) {
    if (!pAlloc || !pProp) return E_POINTER;
    const BITMAPINFOHEADER* bih = GetBitmapInfoHeader(&m_mt);
    long size = bih ? long(bih->biSizeImage) : 0;
    if (size == 0 && bih) size = long(DIBSIZE(*bih));
    ALLOCATOR_PROPERTIES request = *pProp;  // alignment and prefix as downstream asked
    request.cBuffers = 5;
    request.cbBuffer = size;
    if (request.cbAlign <= 0) request.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = pAlloc->SetProperties(&request, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cbBuffer < request.cbBuffer) return E_FAIL;
    return S_OK;
}

HRESULT CMyTeeOutputPin::Active() {
    CAutoLock lock(m_pTee);
    CAutoLock queueLock(&m_queueLock);
    if (IsConnected() && !m_pOutputQueue) {
        HRESULT hr = S_OK;
        m_pOutputQueue = new (std::nothrow)
            COutputQueue(GetConnected(), &hr, FALSE, TRUE, 5, FALSE, 5, THREAD_PRIORITY_NORMAL);
        if (!m_pOutputQueue) return E_OUTOFMEMORY;
        if (FAILED(hr)) {
            delete m_pOutputQueue;
            m_pOutputQueue = nullptr;
            return hr;
        }
    }
    return CBaseOutputPin::Active();
}

HRESULT CMyTeeOutputPin::Inactive() {
    CAutoLock lock(m_pTee);
    {
        CAutoLock queueLock(&m_queueLock);
        delete m_pOutputQueue;
        m_pOutputQueue = nullptr;
    }
    return CBaseOutputPin::Inactive();
}

HRESULT CMyTeeOutputPin::Deliver(IMediaSample* pSample) {
    if (!pSample) return E_POINTER;
    CAutoLock queueLock(&m_queueLock);
    if (!m_pOutputQueue) return S_OK;
    pSample->AddRef();
    return m_pOutputQueue->Receive(pSample);
}

HRESULT CMyTeeOutputPin::DeliverEndOfStream() {
    CAutoLock queueLock(&m_queueLock);
    if (m_pOutputQueue) m_pOutputQueue->EOS();
    return S_OK;
}

HRESULT CMyTeeOutputPin::DeliverBeginFlush() {
    CAutoLock queueLock(&m_queueLock);
    if (m_pOutputQueue) m_pOutputQueue->BeginFlush();
    return S_OK;
}

HRESULT CMyTeeOutputPin::DeliverEndFlush() {
    CAutoLock queueLock(&m_queueLock);
    if (m_pOutputQueue) m_pOutputQueue->EndFlush();
    return S_OK;
}

HRESULT CMyTeeOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                           double dRate) {
    CAutoLock queueLock(&m_queueLock);
    if (m_pOutputQueue) m_pOutputQueue->NewSegment(tStart, tStop, dRate);
    return S_OK;
}

HRESULT CMyTeeOutputPin::Notify(IBaseFilter*, Quality) {
    return S_OK;
}
