#pragma once
// Small filters for driving the processing filters in tests: a source whose
// output pin pushes the test's buffers with times (the test thread plays the
// upstream streaming thread), and a sink that records what reaches it.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/framework/filter.h"

namespace testfilters {

inline const GUID CLSID_TestSource = MakeGuid("{0E5E7A11-0000-4000-8000-000000000001}");
inline const GUID CLSID_TestSink = MakeGuid("{0E5E7A11-0000-4000-8000-000000000002}");

// ---------------------------------------------------------------- media types

inline CMediaType VideoType(LONG w, LONG h, const GUID& format = FORMAT_VideoInfo,
                            const GUID& subtype = MEDIASUBTYPE_YV12) {
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&format);
    BITMAPINFOHEADER* bih = nullptr;
    if (format == FORMAT_VideoInfo2) {
        auto* v =
            reinterpret_cast<VIDEOINFOHEADER2*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
        v->rcSource = RECT{0, 0, w, h};
        v->rcTarget = RECT{0, 0, w, h};
        v->AvgTimePerFrame = 400000;
        v->dwPictAspectRatioX = 4;
        v->dwPictAspectRatioY = 3;
        bih = &v->bmiHeader;
    } else {
        auto* v = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
        v->rcSource = RECT{0, 0, w, h};
        v->rcTarget = RECT{0, 0, w, h};
        v->AvgTimePerFrame = 400000;
        bih = &v->bmiHeader;
    }
    bih->biSize = sizeof(BITMAPINFOHEADER);
    bih->biWidth = w;
    bih->biHeight = h;
    bih->biPlanes = 1;
    bih->biBitCount = 12;
    bih->biCompression = MakeFourCC('Y', 'V', '1', '2');
    bih->biSizeImage = DIBSIZE(*bih);
    mt.SetSampleSize(bih->biSizeImage);
    return mt;
}

inline CMediaType AudioType(WORD channels, DWORD rate, WORD bits = 16,
                            const GUID& subtype = MEDIASUBTYPE_PCM) {
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Audio);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    auto* wfx = reinterpret_cast<WAVEFORMATEX*>(mt.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    wfx->wFormatTag = WAVE_FORMAT_PCM;
    wfx->nChannels = channels;
    wfx->nSamplesPerSec = rate;
    wfx->wBitsPerSample = bits;
    wfx->nBlockAlign = WORD(channels * bits / 8);
    wfx->nAvgBytesPerSec = wfx->nBlockAlign * rate;
    return mt;
}

// ---------------------------------------------------------------- source

class TestSource;

class TestSourcePin : public CBaseOutputPin {
  public:
    TestSourcePin(CBaseFilter* f, CCritSec* lock, HRESULT* phr, CMediaType type, long bufferSize,
                  long buffers)
        : CBaseOutputPin("TestSourcePin", f, lock, phr, "Out"),
          m_type(std::move(type)),
          m_size(bufferSize),
          m_count(buffers) {}
    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return pmt && *pmt == m_type ? S_OK : S_FALSE;
    }
    HRESULT GetMediaType(int i, CMediaType* pmt) override {
        if (i < 0) return E_INVALIDARG;
        if (i > 0) return VFW_S_NO_MORE_ITEMS;
        *pmt = m_type;
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* prop) override {
        prop->cBuffers = std::max(prop->cBuffers, m_count);
        prop->cbBuffer = std::max(prop->cbBuffer, m_size);
        if (prop->cbAlign <= 0) prop->cbAlign = 1;
        ALLOCATOR_PROPERTIES actual;
        return alloc->SetProperties(prop, &actual);
    }

  private:
    CMediaType m_type;
    long m_size, m_count;
};

class TestSource : public CBaseFilter {
  public:
    TestSource(const CMediaType& type, long bufferSize, long buffers = 4)
        : CBaseFilter("TestSource", nullptr, &m_lock, CLSID_TestSource) {
        HRESULT hr = S_OK;
        m_pin = new TestSourcePin(this, &m_lock, &hr, type, bufferSize, buffers);
    }
    ~TestSource() override { delete m_pin; }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pin : nullptr; }
    TestSourcePin* Pin() const { return m_pin; }

    // Delivers one buffer with times (none when start is null).
    HRESULT Push(const void* data, long length, REFERENCE_TIME* start = nullptr,
                 REFERENCE_TIME* stop = nullptr) {
        IMediaSample* s = nullptr;
        HRESULT hr = m_pin->GetDeliveryBuffer(&s, nullptr, nullptr, 0);
        if (FAILED(hr)) return hr;
        BYTE* p = nullptr;
        s->GetPointer(&p);
        std::memcpy(p, data, std::size_t(length));
        s->SetActualDataLength(length);
        s->SetTime(start, stop);
        hr = m_pin->Deliver(s);
        s->Release();
        return hr;
    }
    HRESULT PushTimed(const void* data, long length, REFERENCE_TIME start, REFERENCE_TIME stop) {
        return Push(data, length, &start, &stop);
    }
    HRESULT EndOfStream() { return m_pin->DeliverEndOfStream(); }

  private:
    CCritSec m_lock;
    TestSourcePin* m_pin = nullptr;
};

// ---------------------------------------------------------------- sink

struct SinkEvent {
    enum Kind { Sample, EndOfStream, BeginFlush, EndFlush, NewSegment };
    explicit SinkEvent(Kind k = Sample) : kind(k) {}
    Kind kind;
    std::vector<BYTE> data;
    const BYTE* pointer = nullptr;  // the sample's buffer, to show it was not copied
    HRESULT timeResult = S_OK;
    REFERENCE_TIME start = 0, stop = 0;
    std::thread::id thread;
};

class TestSink;

class TestSinkPin : public CBaseInputPin {
  public:
    TestSinkPin(TestSink* f, CCritSec* lock, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return pmt && (m_accept.majortype == GUID_NULL || *pmt == m_accept) ? S_OK : S_FALSE;
    }
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    CMediaType m_accept;  // empty: anything

  private:
    TestSink* m_sink;
};

class TestSink : public CBaseFilter {
  public:
    TestSink() : CBaseFilter("TestSink", nullptr, &m_lock, CLSID_TestSink) {
        HRESULT hr = S_OK;
        m_pin = new TestSinkPin(this, &m_lock, &hr);
    }
    ~TestSink() override { delete m_pin; }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pin : nullptr; }
    TestSinkPin* Pin() const { return m_pin; }

    void Record(SinkEvent e) {
        if (m_delay.count()) std::this_thread::sleep_for(m_delay);
        std::lock_guard<std::mutex> l(m_mutex);
        e.thread = std::this_thread::get_id();
        m_events.push_back(std::move(e));
        m_cv.notify_all();
    }
    // Waits until `count` events of `kind` have arrived.
    bool WaitFor(SinkEvent::Kind kind, std::size_t count,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> l(m_mutex);
        return m_cv.wait_for(l, timeout, [&] { return CountLocked(kind) >= count; });
    }
    std::size_t Count(SinkEvent::Kind kind) {
        std::lock_guard<std::mutex> l(m_mutex);
        return CountLocked(kind);
    }
    std::vector<SinkEvent> Events() {
        std::lock_guard<std::mutex> l(m_mutex);
        return m_events;
    }
    std::vector<SinkEvent> Samples() {
        std::vector<SinkEvent> out;
        for (auto& e : Events())
            if (e.kind == SinkEvent::Sample) out.push_back(e);
        return out;
    }
    // Slows every delivery down (a busy renderer).
    std::chrono::milliseconds m_delay{0};

  private:
    std::size_t CountLocked(SinkEvent::Kind kind) const {
        std::size_t n = 0;
        for (const auto& e : m_events) n += e.kind == kind;
        return n;
    }
    CCritSec m_lock;
    TestSinkPin* m_pin = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<SinkEvent> m_events;
};

inline TestSinkPin::TestSinkPin(TestSink* f, CCritSec* lock, HRESULT* phr)
    : CBaseInputPin("TestSinkPin", f, lock, phr, "In"), m_sink(f) {}

inline HRESULT TestSinkPin::Receive(IMediaSample* pSample) {
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) return hr;
    SinkEvent e{SinkEvent::Sample};
    BYTE* p = nullptr;
    pSample->GetPointer(&p);
    e.pointer = p;
    e.data.assign(p, p + pSample->GetActualDataLength());
    e.timeResult = pSample->GetTime(&e.start, &e.stop);
    m_sink->Record(std::move(e));
    return S_OK;
}
inline HRESULT TestSinkPin::EndOfStream() {
    m_sink->Record(SinkEvent{SinkEvent::EndOfStream});
    return S_OK;
}
inline HRESULT TestSinkPin::BeginFlush() {
    m_sink->Record(SinkEvent{SinkEvent::BeginFlush});
    return CBaseInputPin::BeginFlush();
}
inline HRESULT TestSinkPin::EndFlush() {
    m_sink->Record(SinkEvent{SinkEvent::EndFlush});
    return CBaseInputPin::EndFlush();
}
inline HRESULT TestSinkPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    m_sink->Record(SinkEvent{SinkEvent::NewSegment});
    return CBaseInputPin::NewSegment(tStart, tStop, dRate);
}

// Connects an output pin to an input pin directly (no graph needed).
inline HRESULT Connect(CBasePin* out, CBasePin* in, const CMediaType* mt = nullptr) {
    return out->Connect(in, mt);
}

}  // namespace testfilters

namespace testfilters {

// A few filters wired pin to pin without a graph manager. Filters are added
// upstream first; state changes go downstream first, as a graph does them.
struct Chain {
    std::vector<ComPtr<IBaseFilter>> filters;
    std::vector<std::pair<CBasePin*, CBasePin*>> links;

    template <class F>
    F* Add(F* f) {
        filters.emplace_back(static_cast<IBaseFilter*>(f));
        return f;
    }
    HRESULT Link(CBasePin* out, CBasePin* in, const CMediaType* mt = nullptr) {
        HRESULT hr = out->Connect(in, mt);
        if (SUCCEEDED(hr)) links.emplace_back(out, in);
        return hr;
    }
    HRESULT Pause() {
        for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
            HRESULT hr = (*it)->Pause();
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }
    HRESULT Run() {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
        for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
            hr = (*it)->Run(0);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }
    void Stop() {
        for (auto it = filters.rbegin(); it != filters.rend(); ++it) (*it)->Stop();
    }
    ~Chain() {
        Stop();
        for (auto& [out, in] : links) {
            out->Disconnect();
            in->Disconnect();
        }
    }
};

}  // namespace testfilters
