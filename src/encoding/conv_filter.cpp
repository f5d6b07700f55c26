#include "encoding/conv_filter.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {
// Counts the pictures offered to the preview while it is on; every fifth goes.
std::atomic<unsigned long> g_previewCalls{0};
}  // namespace

// ---------------------------------------------------------------- filter

CConvFilter::CConvFilter() : CBaseFilter("", nullptr, &m_csFilter, CLSID_ConvFilter) {}

CConvFilter* CConvFilter::Create(HRESULT* phr) {
    auto fail = [phr](CConvFilter* made) -> CConvFilter* {
        delete made;
        if (phr) *phr = E_OUTOFMEMORY;
        return nullptr;
    };
    CConvFilter* f = new (std::nothrow) CConvFilter();
    if (!f) return fail(nullptr);
    HRESULT hr = S_OK;
    f->m_pAudioPin = new (std::nothrow) CAudioInPin(f, &hr);
    if (!f->m_pAudioPin || FAILED(hr)) return fail(f);
    f->m_pVideoPin = new (std::nothrow) CVideoInPin(f, &hr);
    if (!f->m_pVideoPin || FAILED(hr)) return fail(f);
    f->m_pPreviewPin = new (std::nothrow) CVideoPrePin(f, &hr);
    if (!f->m_pPreviewPin || FAILED(hr)) return fail(f);
    f->m_nPins = 3;
    if (phr) *phr = S_OK;
    return f;
}

CConvFilter::~CConvFilter() {
    delete m_pPosition;
    delete m_pPreviewPin;
    delete m_pVideoPin;
    delete m_pAudioPin;
}

HRESULT CConvFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IMediaPosition || riid == IID_IMediaSeeking) {
        CAutoLock lock(&m_csFilter);
        if (!m_pPosition) {
            HRESULT hr = S_OK;
            m_pPosition =
                new (std::nothrow) CPosPassThru("Conv position", GetOwner(), &hr, m_pAudioPin);
            if (!m_pPosition) return E_OUTOFMEMORY;
            if (FAILED(hr)) {
                delete m_pPosition;
                m_pPosition = nullptr;
                *ppv = nullptr;
                return E_NOINTERFACE;
            }
        }
        return m_pPosition->NonDelegatingQueryInterface(riid, ppv);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* CConvFilter::GetPin(int n) {
    switch (n < m_nPins ? n : -1) {
        case 0:
            return m_pAudioPin;
        case 1:
            return m_pVideoPin;
        case 2:
            return m_pPreviewPin;
        default:
            return nullptr;
    }
}

void CConvFilter::SetWriter(CMediaWriter* writer) {
    CAutoLock lock(&m_csFilter);
    m_pWriter = writer;
}

void CConvFilter::SetWindow(REFERENCE_TIME start, REFERENCE_TIME stop) {
    CAutoLock lock(&m_csFilter);
    m_windowStart = start;
    m_windowStop = stop;
}

double CConvFilter::FrameDurationFor(int frameRate) {
    if (frameRate <= 0) return 0;
    return (1000000.0 / double(frameRate)) * 10000.0;
}

void CConvFilter::ResetPreviewCounter() {
    g_previewCalls = 0;
}

HRESULT CConvFilter::Stop() {
    HRESULT hr = CBaseFilter::Stop();
    WakeWaiters();
    return hr;
}

HRESULT CConvFilter::Pause() {
    HRESULT hr = CBaseFilter::Pause();
    WakeWaiters();
    return hr;
}

HRESULT CConvFilter::Run(REFERENCE_TIME tStart) {
    HRESULT hr = CBaseFilter::Run(tStart);
    WakeWaiters();
    return hr;
}

void CConvFilter::WakeWaiters() {
    { std::lock_guard<std::mutex> lock(m_gateMutex); }
    m_gateCv.notify_all();
}

bool CConvFilter::WaitWhilePaused(const CConvInPin* pin) {
    if (State() != State_Paused) return true;  // every sample of a running graph: no lock
    std::unique_lock<std::mutex> lock(m_gateMutex);
    if (State() != State_Paused) return true;
    m_gateCv.wait(lock, [&] { return State() != State_Paused || pin->IsFlushing(); });
    return State() == State_Running && !pin->IsFlushing();
}

HRESULT CConvFilter::ReceiveVideo(IMediaSample* pSample) {
    if (!pSample) return E_POINTER;
    if (!m_pWriter || !m_pWriter->HasVideoStream()) return S_OK;

    REFERENCE_TIME start = 0, stop = 0;
    const HRESULT timeResult = pSample->GetTime(&start, &stop);
    if (FAILED(timeResult)) {
        // No times: the picture is taken to follow the previous one.
        start = m_lastVideoStop;
        stop = start + REFERENCE_TIME(m_frameDuration);
    } else if (timeResult == VFW_S_NO_STOP_TIME) {
        stop = start + REFERENCE_TIME(m_frameDuration);
    }
    m_lastVideoStop = stop;
    if (stop < m_windowStart || start > m_windowStop) return S_OK;
    start -= m_windowStart;
    stop -= m_windowStart;

    BYTE* data = nullptr;
    if (FAILED(pSample->GetPointer(&data)) || !data) return S_OK;
    const long length = pSample->GetActualDataLength();

    PreviewCopy(data, length);

    CAutoLock lock(&m_csFilter);
    if (m_frameDuration <= 0) {
        // Without a frame rate there is no output clock to fill: one picture each.
        m_pWriter->WriteVideoFrame(data, std::size_t(std::max(length, 0L)));
        return S_OK;
    }
    while (m_videoPosition < stop) {
        if (m_pWriter->WriteVideoFrame(data, std::size_t(std::max(length, 0L))) != 0) break;
        m_videoPosition = REFERENCE_TIME(double(m_videoPosition) + m_frameDuration);
    }
    return S_OK;
}

HRESULT CConvFilter::ReceiveAudio(IMediaSample* pSample) {
    if (!pSample) return E_POINTER;
    if (!m_pWriter || !m_pWriter->HasAudioStream()) return S_OK;
    REFERENCE_TIME start = 0, stop = 0;
    // Sound without times is written where it falls in the stream.
    if (SUCCEEDED(pSample->GetTime(&start, &stop))) {
        if (stop < m_windowStart || start > m_windowStop) return S_OK;
    } else {
        start = m_audioPosition;
    }
    BYTE* data = nullptr;
    if (FAILED(pSample->GetPointer(&data)) || !data) return S_OK;
    const long length = pSample->GetActualDataLength();
    CAutoLock lock(&m_csFilter);
    m_audioPosition = start;
    m_pWriter->WriteAudioSamples(data, std::size_t(std::max(length, 0L)));
    return S_OK;
}

void CConvFilter::CheckComplete() {
    CAutoLock lock(&m_csFilter);
    if (m_pAudioPin->IsConnected() && !m_pAudioPin->AtEndOfStream()) return;
    if (m_pVideoPin->IsConnected() && !m_pVideoPin->AtEndOfStream()) return;
    // Once: a repeated end of stream must not make the job finish an item twice.
    if (m_completeSent) return;
    m_completeSent = true;
    NotifyEvent(EC_COMPLETE, S_OK, LONG_PTR(static_cast<IBaseFilter*>(this)));
}

void CConvFilter::PreviewCopy(const BYTE* data, long length) {
    if (!m_previewOn) return;
    if (g_previewCalls.fetch_add(1) % 5 != 0) return;

    const LONG w = m_videoHeader.biWidth, h = m_videoHeader.biHeight;
    const LONG stride = m_pPreviewPin->RendererStride();
    if (w <= 0 || h <= 0 || stride < w) return;
    if (length < long(w) * h * 3 / 2) return;

    IMediaSample* sample = nullptr;
    // Never wait for the renderer: a preview without a free buffer is skipped.
    if (FAILED(m_pPreviewPin->GetDeliveryBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT)) ||
        !sample)
        return;
    BYTE* out = nullptr;
    const long needed = long(stride) * h + 2 * long(stride / 2) * (h / 2);
    if (FAILED(sample->GetPointer(&out)) || !out || sample->GetSize() < needed) {
        sample->Release();
        return;
    }
    const BYTE* src = data;
    BYTE* dst = out;
    for (LONG r = 0; r < h; ++r, src += w, dst += stride) std::memcpy(dst, src, std::size_t(w));
    for (int plane = 0; plane < 2; ++plane)
        for (LONG r = 0; r < h / 2; ++r, src += w / 2, dst += stride / 2)
            std::memcpy(dst, src, std::size_t(w / 2));
    sample->SetActualDataLength(std::min(long(w) * h * 3 / 2, sample->GetSize()));
    sample->SetTime(nullptr, nullptr);
    m_pPreviewPin->Queue(sample);
}

// ---------------------------------------------------------------- inputs

CConvInPin::CConvInPin(const char* objectName, CConvFilter* pFilter, HRESULT* phr,
                       const char* pName)
    : CBaseInputPin(objectName, pFilter, &pFilter->m_csFilter, phr, pName), m_pConv(pFilter) {}

HRESULT CConvInPin::CheckMediaType(const CMediaType* pmt) {
    if (!pmt) return E_POINTER;
    m_proposed = *pmt;
    return S_OK;
}

HRESULT CConvInPin::BeginFlush() {
    HRESULT hr = CBaseInputPin::BeginFlush();
    m_pConv->WakeWaiters();
    return hr;
}

HRESULT CConvInPin::EndFlush() { return CBaseInputPin::EndFlush(); }

HRESULT CConvInPin::EndOfStream() {
    CAutoLock lock(&m_pConv->m_csFilter);
    m_bEndOfStream = true;
    m_pConv->CheckComplete();
    return S_OK;
}

CAudioInPin::CAudioInPin(CConvFilter* pFilter, HRESULT* phr)
    : CConvInPin("CAudioInPin", pFilter, phr, "Audio In") {}

HRESULT CAudioInPin::Receive(IMediaSample* pSample) {
    if (!m_pConv->WaitWhilePaused(this)) return S_OK;
    m_pConv->ReceiveAudio(pSample);
    return S_OK;
}

CVideoInPin::CVideoInPin(CConvFilter* pFilter, HRESULT* phr)
    : CConvInPin("CVideoInPin", pFilter, phr, "Video In") {}

HRESULT CVideoInPin::CompleteConnect(IPin* pReceivePin) {
    if (const BITMAPINFOHEADER* bih = GetBitmapInfoHeader(&m_proposed))
        m_pConv->m_videoHeader = *bih;
    m_pConv->m_pPreviewPin->SetOfferedType(m_proposed);
    return CConvInPin::CompleteConnect(pReceivePin);
}

HRESULT CVideoInPin::Receive(IMediaSample* pSample) {
    if (!m_pConv->WaitWhilePaused(this)) return S_OK;
    m_pConv->ReceiveVideo(pSample);
    return S_OK;
}

// ---------------------------------------------------------------- preview output

CVideoPrePin::CVideoPrePin(CConvFilter* pFilter, HRESULT* phr)
    : CBaseOutputPin("CVideoPrePin", pFilter, &pFilter->m_csFilter, phr, "Video Pre"),
      m_pConv(pFilter) {}

CVideoPrePin::~CVideoPrePin() {
    delete m_pOutputQueue;
}

void CVideoPrePin::SetOfferedType(const CMediaType& mt) {
    m_offered = mt;
}

HRESULT CVideoPrePin::CheckMediaType(const CMediaType* pmt) {
    if (!pmt) return E_POINTER;
    if (const BITMAPINFOHEADER* bih = GetBitmapInfoHeader(pmt)) m_rendererStride = bih->biWidth;
    return S_OK;
}

HRESULT CVideoPrePin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (!pMediaType) return E_POINTER;
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
    if (const BITMAPINFOHEADER* bih = GetBitmapInfoHeader(&m_offered)) m_header = *bih;
    *pMediaType = m_offered;
    return S_OK;
}

HRESULT CVideoPrePin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) {
    if (!pAlloc || !pProp) return E_POINTER;
    const BITMAPINFOHEADER* bih = GetBitmapInfoHeader(&m_mt);
    const BITMAPINFOHEADER& h = bih ? *bih : m_header;
    long size = long(h.biSizeImage);
    if (size == 0) size = h.biWidth * h.biHeight * 4;
    pProp->cBuffers = 5;
    pProp->cbBuffer = size;
    pProp->cbAlign = 1;
    pProp->cbPrefix = 0;
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = pAlloc->SetProperties(pProp, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < 5 || actual.cbBuffer < pProp->cbBuffer) return E_FAIL;
    return S_OK;
}

HRESULT CVideoPrePin::Active() {
    {
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
    }
    return CBaseOutputPin::Active();
}

HRESULT CVideoPrePin::Inactive() {
    {
        CAutoLock queueLock(&m_queueLock);
        delete m_pOutputQueue;
        m_pOutputQueue = nullptr;
    }
    return CBaseOutputPin::Inactive();
}

HRESULT CVideoPrePin::Queue(IMediaSample* pSample) {
    CAutoLock queueLock(&m_queueLock);
    if (!m_pOutputQueue) {
        pSample->Release();
        return S_OK;
    }
    return m_pOutputQueue->Receive(pSample);
}

HRESULT CVideoPrePin::DeliverEndOfStream() {
    CAutoLock queueLock(&m_queueLock);
    if (m_pOutputQueue) m_pOutputQueue->EOS();
    return S_OK;
}

HRESULT CVideoPrePin::Notify(IBaseFilter*, Quality) {
    return S_OK;
}
