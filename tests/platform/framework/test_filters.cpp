#include "test_filters.h"

#include <chrono>
#include <cstring>

namespace fwtest {

CMediaType VideoType(const GUID& subtype, ULONG size, LONG w, LONG h) {
    CMediaType mt;
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = subtype;
    mt.formattype = FORMAT_VideoInfo;
    mt.SetSampleSize(size);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = w;
    vih->bmiHeader.biHeight = h;
    vih->bmiHeader.biBitCount = 8;
    vih->bmiHeader.biSizeImage = size;
    return mt;
}

// ================================================================ source

namespace {
class CTestSeeking : public CSourceSeeking {
public:
    CTestSeeking(IUnknown* outer, CCritSec* lock, CTestSourcePin* pin, REFERENCE_TIME duration)
        : CSourceSeeking("Test seeking", outer, nullptr, lock), m_pin(pin) {
        m_rtDuration = duration;
        m_rtStop = duration;
    }
    ~CTestSeeking() override = default;

protected:
    HRESULT ChangeStart() override { return m_pin->SeekTo(m_rtStart); }
    HRESULT ChangeStop() override { return S_OK; }
    HRESULT ChangeRate() override { return S_OK; }

private:
    CTestSourcePin* m_pin;
};
}  // namespace

CTestSourcePin::CTestSourcePin(CTestSource* filter, HRESULT* phr)
    : CBaseOutputPin("Test source pin", filter, &filter->m_lock, phr, "Out"), m_source(filter) {
    m_seeking = new CTestSeeking(GetOwner(), &m_seekLock, this, filter->frames * filter->frameDuration);
    m_flushDone.Set();
}

CTestSourcePin::~CTestSourcePin() { delete static_cast<CTestSeeking*>(m_seeking); }

HRESULT CTestSourcePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IMediaSeeking) return m_seeking->NonDelegatingQueryInterface(riid, ppv);
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CTestSourcePin::CheckMediaType(const CMediaType* pmt) {
    return *pmt == m_source->mt ? S_OK : S_FALSE;
}

HRESULT CTestSourcePin::GetMediaType(int iPosition, CMediaType* pmt) {
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
    *pmt = m_source->mt;
    return S_OK;
}

HRESULT CTestSourcePin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) {
    pProp->cBuffers = m_source->buffers;
    pProp->cbBuffer = long(m_source->mt.GetSampleSize());
    asked = *pProp;
    HRESULT hr = pAlloc->SetProperties(pProp, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < asked.cBuffers || actual.cbBuffer < asked.cbBuffer) return E_FAIL;
    return S_OK;
}

HRESULT CTestSourcePin::Active() {
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    m_frame = m_seekFrame.load();
    m_segmentFrame = m_seekFrame.load();
    Create();
    return S_OK;
}

HRESULT CTestSourcePin::Inactive() {
    // Decommit first: a thread waiting for a buffer gives up.
    HRESULT hr = CBaseOutputPin::Inactive();
    if (ThreadExists()) {
        CallWorker(CMD_EXIT);
        Close();
    }
    return hr;
}

HRESULT CTestSourcePin::SeekTo(REFERENCE_TIME t) {
    int frame = int(t / m_source->frameDuration);
    if (!ThreadExists()) {
        m_seekFrame = frame;
        return S_OK;
    }
    m_flushDone.Reset();
    DeliverBeginFlush();
    m_seekFrame = frame;
    CallWorker(CMD_SEEK);
    DeliverEndFlush();
    m_flushDone.Set();
    return S_OK;
}

DWORD CTestSourcePin::ThreadProc() {
    bool eosSent = false;
    for (;;) {
        int seg = m_segmentFrame;
        DeliverNewSegment(REFERENCE_TIME(seg) * m_source->frameDuration,
                          REFERENCE_TIME(m_source->frames) * m_source->frameDuration, 1.0);
        bool first = true;
        DWORD cmd = 0;
        while (m_frame < m_source->frames) {
            if (CheckRequest(&cmd)) break;
            if (!m_source->gate.Wait(10)) continue;
            IMediaSample* s = nullptr;
            if (FAILED(GetDeliveryBuffer(&s, nullptr, nullptr, 0))) break;  // decommitted
            BYTE* p = nullptr;
            s->GetPointer(&p);
            long n = s->GetSize();
            int f = m_frame;
            for (long i = 0; i < n; ++i) p[i] = BYTE((f + i) & 0xFF);
            s->SetActualDataLength(n);
            REFERENCE_TIME start = REFERENCE_TIME(f - seg) * m_source->frameDuration;
            REFERENCE_TIME stop = start + m_source->frameDuration;
            s->SetTime(&start, &stop);
            LONGLONG ms = f, me = f + 1;
            s->SetMediaTime(&ms, &me);
            s->SetSyncPoint(f % 2 == 0);
            s->SetPreroll(first);
            s->SetDiscontinuity(first);
            first = false;
            HRESULT hr = Deliver(s);
            s->Release();
            ++m_frame;
            ++m_source->delivered;
            if (FAILED(hr)) break;
        }
        if (m_frame >= m_source->frames && !eosSent && !CheckRequest(&cmd)) {
            DeliverEndOfStream();
            eosSent = true;
        }
        cmd = GetRequest();
        if (cmd == CMD_EXIT) {
            Reply(S_OK);
            return 0;
        }
        m_frame = m_seekFrame.load();
        m_segmentFrame = m_seekFrame.load();
        eosSent = false;
        Reply(S_OK);
        // The flush ends downstream before the new segment starts.
        m_flushDone.Wait();
    }
}

CTestSource::CTestSource(const CMediaType& type, int n, REFERENCE_TIME d, long b)
    : CBaseFilter("Test source", nullptr, &m_lock, CLSID_TestSource),
      mt(type),
      frames(n),
      frameDuration(d),
      buffers(b) {
    gate.Set();
    HRESULT hr = S_OK;
    m_pin = new CTestSourcePin(this, &hr);
}

CTestSource::~CTestSource() { delete m_pin; }

// ================================================================ transform

CTestTransform::CTestTransform(GUID a, GUID o)
    : CTransformFilter("Test transform", nullptr, CLSID_TestTransform), accept(a), outSubtype(o) {}

HRESULT CTestTransform::CheckInputType(const CMediaType* mtIn) {
    if (mtIn->majortype != MEDIATYPE_Video || mtIn->subtype != accept) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CTestTransform::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) {
    if (mtOut->majortype != mtIn->majortype || mtOut->subtype != outSubtype) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CTestTransform::GetMediaType(int iPosition, CMediaType* pmt) {
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
    *pmt = InputPin()->CurrentMediaType();
    pmt->subtype = outSubtype;
    pmt->SetSampleSize(InputPin()->CurrentMediaType().GetSampleSize() * 2);
    return S_OK;
}

HRESULT CTestTransform::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) {
    pProp->cBuffers = 3;
    pProp->cbBuffer = long(InputPin()->CurrentMediaType().GetSampleSize() * 2);
    HRESULT hr = pAlloc->SetProperties(pProp, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < pProp->cBuffers || actual.cbBuffer < pProp->cbBuffer) return E_FAIL;
    return S_OK;
}

HRESULT CTestTransform::Transform(IMediaSample* pIn, IMediaSample* pOut) {
    BYTE *src = nullptr, *dst = nullptr;
    if (FAILED(pIn->GetPointer(&src)) || FAILED(pOut->GetPointer(&dst))) return E_FAIL;
    long n = pIn->GetActualDataLength();
    if (n > pOut->GetSize()) return E_FAIL;
    for (long i = 0; i < n; ++i) dst[i] = BYTE(src[i] + 1);
    return pOut->SetActualDataLength(n);
}

// ================================================================ renderer

CTestRenderer::CTestRenderer(GUID a) : CBaseRenderer(CLSID_TestRenderer, "Test renderer", nullptr, nullptr), accept(a) {}

HRESULT CTestRenderer::CheckMediaType(const CMediaType* pmt) {
    return pmt->majortype == MEDIATYPE_Video && pmt->subtype == accept ? S_OK : S_FALSE;
}

HRESULT CTestRenderer::DoRenderSample(IMediaSample* pSample) {
    Rendered r;
    r.hasTime = SUCCEEDED(pSample->GetTime(&r.start, &r.stop));
    CRefTime st;
    if (SUCCEEDED(StreamTime(st))) r.streamTime = st;
    LONGLONG me = 0;
    if (pSample->GetMediaTime(&r.mediaStart, &me) != S_OK) r.mediaStart = -1;
    BYTE* p = nullptr;
    pSample->GetPointer(&p);
    r.length = pSample->GetActualDataLength();
    r.first = r.length > 0 ? p[0] : 0;
    r.discontinuity = pSample->IsDiscontinuity() == S_OK;
    r.preroll = pSample->IsPreroll() == S_OK;
    r.syncPoint = pSample->IsSyncPoint() == S_OK;
    std::lock_guard<std::mutex> lk(m_mutex);
    m_samples.push_back(r);
    return S_OK;
}

std::vector<Rendered> CTestRenderer::Samples() {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_samples;
}

size_t CTestRenderer::Count() {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_samples.size();
}

// ================================================================ push sink

class CTestSink::Pin : public CBaseInputPin {
public:
    Pin(CTestSink* sink, HRESULT* phr) : CBaseInputPin("Test sink pin", sink, &sink->m_lock, phr, "In"), m_sink(sink) {}
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    HRESULT Receive(IMediaSample* pSample) override {
        if (m_sink->flushing) return S_FALSE;
        m_sink->inReceive = true;
        if (m_sink->block) {
            while (!m_sink->release.Wait(5) && !m_sink->flushing) {
            }
        }
        m_sink->inReceive = false;
        if (m_sink->flushing) return S_FALSE;
        LONGLONG ms = -1, me = -1;
        pSample->GetMediaTime(&ms, &me);
        m_sink->Record("S" + std::to_string(ms));
        return S_OK;
    }
    HRESULT ReceiveCanBlock() override { return S_OK; }
    HRESULT EndOfStream() override {
        m_sink->Record("EOS");
        return S_OK;
    }
    HRESULT BeginFlush() override {
        m_sink->flushing = true;
        m_sink->Record("BF");
        return CBaseInputPin::BeginFlush();
    }
    HRESULT EndFlush() override {
        m_sink->flushing = false;
        m_sink->Record("EF");
        return CBaseInputPin::EndFlush();
    }
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override {
        m_sink->Record("NS" + std::to_string(tStart));
        return CBaseInputPin::NewSegment(tStart, tStop, dRate);
    }

private:
    CTestSink* m_sink;
};

CTestSink::CTestSink() : CBaseFilter("Test sink", nullptr, &m_lock, CLSID_TestSink) {
    HRESULT hr = S_OK;
    m_pin = new Pin(this, &hr);
}

CTestSink::~CTestSink() { delete m_pin; }

CBasePin* CTestSink::GetPin(int n) { return n == 0 ? m_pin : nullptr; }

void CTestSink::Record(const std::string& s) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_log.push_back(s);
    m_cv.notify_all();
}

std::vector<std::string> CTestSink::Log() {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_log;
}

bool CTestSink::WaitFor(size_t entries, int ms) {
    std::unique_lock<std::mutex> lk(m_mutex);
    return m_cv.wait_for(lk, std::chrono::milliseconds(ms), [&] { return m_log.size() >= entries; });
}

// ================================================================ pull sink

class CPullSink::Pin : public CBasePin {
public:
    Pin(CPullSink* sink, HRESULT* phr) : CBasePin("Pull pin", sink, &sink->m_lock, phr, "Input", PINDIR_INPUT), m_sink(sink) {}
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    HRESULT CheckConnect(IPin* pPin) override {
        HRESULT hr = CBasePin::CheckConnect(pPin);
        if (FAILED(hr)) return hr;
        m_sink->reader = ComPtr<IPin>(pPin).As<IAsyncReader>();
        return m_sink->reader ? S_OK : E_NOINTERFACE;
    }
    HRESULT BreakConnect() override {
        m_sink->reader = nullptr;
        return S_OK;
    }
    HRESULT BeginFlush() override { return E_UNEXPECTED; }
    HRESULT EndFlush() override { return E_UNEXPECTED; }

private:
    CPullSink* m_sink;
};

CPullSink::CPullSink() : CBaseFilter("Pull sink", nullptr, &m_lock, CLSID_TestSink) {
    HRESULT hr = S_OK;
    m_pin = new Pin(this, &hr);
}

CPullSink::~CPullSink() {
    reader = nullptr;
    delete m_pin;
}

CBasePin* CPullSink::GetPin(int n) { return n == 0 ? m_pin : nullptr; }

void DisconnectAll(std::initializer_list<IBaseFilter*> filters) {
    for (IBaseFilter* f : filters)
        for (ComPtr<IPin>& pin : GetPins(f)) pin->Disconnect();
}

}  // namespace fwtest
