// A pull source over bytes (memory or a file) and a recording sink, so the
// splitter can be driven through real pins, allocators and threads without a
// filter graph.
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/framework/filter.h"

namespace testfilters {

class CByteSourceFilter;

class CByteSourcePin : public CBasePin, public IAsyncReader {
public:
    CByteSourcePin(CBaseFilter* filter, CCritSec* lock, HRESULT* phr)
        : CBasePin("CByteSourcePin", filter, lock, phr, "Output", PINDIR_OUTPUT) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return CBasePin::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return CBasePin::AddRef(); }
    ULONG Release() override { return CBasePin::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IAsyncReader) return GetInterfaceAs<IAsyncReader>(this, ppv);
        return CBasePin::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return pmt->majortype == MEDIATYPE_Stream ? S_OK : E_INVALIDARG;
    }
    HRESULT GetMediaType(int i, CMediaType* pmt) override {
        if (i < 0) return E_INVALIDARG;
        if (i > 0) return VFW_S_NO_MORE_ITEMS;
        *pmt = CMediaType();
        pmt->majortype = MEDIATYPE_Stream;
        pmt->subtype = MEDIASUBTYPE_MPEG2_PROGRAM;
        return S_OK;
    }
    HRESULT BeginFlush() override { return S_OK; }
    HRESULT EndFlush() override { return S_OK; }
    HRESULT RequestAllocator(IMemAllocator*, ALLOCATOR_PROPERTIES*, IMemAllocator**) override { return E_NOTIMPL; }
    HRESULT Request(IMediaSample*, DWORD_PTR) override { return E_NOTIMPL; }
    HRESULT WaitForNext(DWORD, IMediaSample**, DWORD_PTR*) override { return E_NOTIMPL; }
    HRESULT SyncReadAligned(IMediaSample*) override { return E_NOTIMPL; }
    HRESULT SyncRead(LONGLONG pos, LONG len, BYTE* buffer) override;
    HRESULT Length(LONGLONG* total, LONGLONG* available) override;
};

class CByteSourceFilter : public CBaseFilter {
public:
    // Bytes in memory.
    explicit CByteSourceFilter(std::vector<BYTE> bytes)
        : CBaseFilter("CByteSourceFilter", nullptr, &m_lock, GUID_NULL), m_bytes(std::move(bytes)) {
        m_pin = std::make_unique<CByteSourcePin>(this, &m_lock, nullptr);
    }
    // A file read where it lies.
    explicit CByteSourceFilter(const std::string& path)
        : CBaseFilter("CByteSourceFilter", nullptr, &m_lock, GUID_NULL) {
        m_fd = ::open(path.c_str(), O_RDONLY);
        if (m_fd >= 0) m_size = ::lseek(m_fd, 0, SEEK_END);
        m_pin = std::make_unique<CByteSourcePin>(this, &m_lock, nullptr);
    }
    ~CByteSourceFilter() override {
        if (m_fd >= 0) ::close(m_fd);
    }
    DECLARE_IUNKNOWN
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pin.get() : nullptr; }
    CByteSourcePin* Pin() { return m_pin.get(); }
    bool Ok() const { return m_fd >= 0 || m_fd == -2; }

    LONGLONG Size() const { return m_fd >= 0 ? m_size : LONGLONG(m_bytes.size()); }
    HRESULT Read(LONGLONG pos, LONG len, BYTE* buffer) {
        if (pos < 0 || len < 0) return E_INVALIDARG;
        LONGLONG n = std::max<LONGLONG>(0, std::min<LONGLONG>(len, Size() - pos));
        if (m_fd >= 0) {
            LONGLONG done = 0;
            while (done < n) {
                ssize_t r = ::pread(m_fd, buffer + done, size_t(n - done), off_t(pos + done));
                if (r <= 0) return E_FAIL;
                done += r;
            }
        } else if (n > 0) {
            std::memcpy(buffer, m_bytes.data() + pos, size_t(n));
        }
        bytesRead += n;
        return n == len ? S_OK : S_FALSE;
    }
    std::atomic<LONGLONG> bytesRead{0};

private:
    CCritSec m_lock;
    std::vector<BYTE> m_bytes;
    int m_fd = -2;
    LONGLONG m_size = 0;
    std::unique_ptr<CByteSourcePin> m_pin;
};

inline HRESULT CByteSourcePin::SyncRead(LONGLONG pos, LONG len, BYTE* buffer) {
    return static_cast<CByteSourceFilter*>(m_pFilter)->Read(pos, len, buffer);
}
inline HRESULT CByteSourcePin::Length(LONGLONG* total, LONGLONG* available) {
    LONGLONG n = static_cast<CByteSourceFilter*>(m_pFilter)->Size();
    if (total) *total = n;
    if (available) *available = n;
    return S_OK;
}

// What a sink received, in order.
struct SampleRecord {
    size_t offset = 0, size = 0;  // into the sink's byte log
    bool timed = false;
    REFERENCE_TIME start = 0, stop = 0;
    bool discontinuity = false, syncPoint = false, preroll = false;
    bool hasType = false;
    CMediaType type;
    int flushes = 0;  // flushes seen before this sample
};

class CRecordingSink;

class CRecordingPin : public CBaseInputPin {
public:
    CRecordingPin(CRecordingSink* sink, CCritSec* lock, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

private:
    CRecordingSink* m_sink;
};

class CRecordingSink : public CBaseFilter {
public:
    // keepBytes: log the payload (off for benchmarks, which only count it).
    explicit CRecordingSink(bool keepBytes = true)
        : CBaseFilter("CRecordingSink", nullptr, &m_lock, GUID_NULL), m_keepBytes(keepBytes) {
        m_pin = std::make_unique<CRecordingPin>(this, &m_lock, nullptr);
    }
    DECLARE_IUNKNOWN
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pin.get() : nullptr; }
    CRecordingPin* Pin() { return m_pin.get(); }

    // Receive answers this failure instead of taking samples (S_OK: takes them).
    HRESULT failReceive = S_OK;
    // Types the sink takes; all when unset.
    std::function<bool(const CMediaType&)> accept;

    // While closed, Receive waits (until a flush releases it).
    void SetGate(bool open) {
        std::lock_guard<std::mutex> l(m);
        gateOpen = open;
        cv.notify_all();
    }
    bool WaitForEos(int ms) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, std::chrono::milliseconds(ms), [&] { return eos > 0; });
    }
    bool WaitFor(std::function<bool()> pred, int ms) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, std::chrono::milliseconds(ms), pred);
    }

    std::mutex m;
    std::condition_variable cv;
    bool m_keepBytes;
    bool gateOpen = true;
    bool flushing = false;
    std::vector<BYTE> bytes;
    std::uint64_t byteCount = 0;
    std::vector<SampleRecord> samples;
    int eos = 0, beginFlushes = 0, endFlushes = 0;
    int eosAfterFlush = 0;
    std::vector<REFERENCE_TIME> segmentStarts;

private:
    CCritSec m_lock;
    std::unique_ptr<CRecordingPin> m_pin;
};

inline CRecordingPin::CRecordingPin(CRecordingSink* sink, CCritSec* lock, HRESULT* phr)
    : CBaseInputPin("CRecordingPin", sink, lock, phr, "In"), m_sink(sink) {}

inline HRESULT CRecordingPin::CheckMediaType(const CMediaType* pmt) {
    return !m_sink->accept || m_sink->accept(*pmt) ? S_OK : E_INVALIDARG;
}

inline HRESULT CRecordingPin::Receive(IMediaSample* s) {
    HRESULT hr = CBaseInputPin::Receive(s);
    if (hr != S_OK) return hr;
    if (m_sink->failReceive != S_OK) return m_sink->failReceive;
    std::unique_lock<std::mutex> l(m_sink->m);
    m_sink->cv.wait(l, [&] { return m_sink->gateOpen || m_sink->flushing; });
    if (m_sink->flushing) return S_FALSE;
    SampleRecord r;
    BYTE* p = nullptr;
    s->GetPointer(&p);
    r.size = size_t(s->GetActualDataLength());
    r.offset = m_sink->byteCount;
    if (m_sink->m_keepBytes) m_sink->bytes.insert(m_sink->bytes.end(), p, p + r.size);
    m_sink->byteCount += r.size;
    r.timed = SUCCEEDED(s->GetTime(&r.start, &r.stop));
    r.discontinuity = s->IsDiscontinuity() == S_OK;
    r.syncPoint = s->IsSyncPoint() == S_OK;
    r.preroll = s->IsPreroll() == S_OK;
    AM_MEDIA_TYPE* pmt = nullptr;
    if (s->GetMediaType(&pmt) == S_OK && pmt) {
        r.hasType = true;
        r.type = *pmt;
        DeleteMediaType(pmt);
    }
    r.flushes = m_sink->endFlushes;
    if (m_sink->m_keepBytes || m_sink->samples.size() < 100000) m_sink->samples.push_back(r);
    m_sink->cv.notify_all();
    return S_OK;
}

inline HRESULT CRecordingPin::EndOfStream() {
    std::lock_guard<std::mutex> l(m_sink->m);
    ++m_sink->eos;
    if (m_sink->endFlushes > 0) ++m_sink->eosAfterFlush;
    m_sink->cv.notify_all();
    return S_OK;
}

inline HRESULT CRecordingPin::BeginFlush() {
    CBaseInputPin::BeginFlush();
    std::lock_guard<std::mutex> l(m_sink->m);
    m_sink->flushing = true;
    ++m_sink->beginFlushes;
    m_sink->cv.notify_all();
    return S_OK;
}

inline HRESULT CRecordingPin::EndFlush() {
    std::lock_guard<std::mutex> l(m_sink->m);
    m_sink->flushing = false;
    ++m_sink->endFlushes;
    m_sink->cv.notify_all();
    return CBaseInputPin::EndFlush();
}

inline HRESULT CRecordingPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    std::lock_guard<std::mutex> l(m_sink->m);
    m_sink->segmentStarts.push_back(tStart);
    return CBaseInputPin::NewSegment(tStart, tStop, dRate);
}

}  // namespace testfilters
