#pragma once
// Small filters for the framework tests: a push source with its own thread
// (seekable), a transform, a renderer that records what it renders, and a
// push sink that records every call in order.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/framework/framework.h"

namespace fwtest {

inline constexpr GUID SUBTYPE_A = MakeGuid("{0A0A0A0A-1111-4A4A-8888-000000000001}");
inline constexpr GUID SUBTYPE_B = MakeGuid("{0B0B0B0B-2222-4B4B-8888-000000000002}");
inline constexpr CLSID CLSID_TestSource = MakeGuid("{5E5E0001-0000-4000-8000-000000000001}");
inline constexpr CLSID CLSID_TestTransform = MakeGuid("{5E5E0002-0000-4000-8000-000000000002}");
inline constexpr CLSID CLSID_TestRenderer = MakeGuid("{5E5E0003-0000-4000-8000-000000000003}");
inline constexpr CLSID CLSID_TestSink = MakeGuid("{5E5E0004-0000-4000-8000-000000000004}");

// A video type with the given subtype, fixed samples of `size` bytes and a
// VIDEOINFOHEADER of w x h.
CMediaType VideoType(const GUID& subtype, ULONG size = 64, LONG w = 8, LONG h = 8);

class CTestSource;

class CTestSourcePin : public CBaseOutputPin, public CAMThread {
public:
    CTestSourcePin(CTestSource* filter, HRESULT* phr);
    ~CTestSourcePin() override;
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    // Flushes downstream and restarts the stream at frame `frame`.
    HRESULT SeekTo(REFERENCE_TIME t);

    ALLOCATOR_PROPERTIES asked{};   // what DecideBufferSize asked for
    ALLOCATOR_PROPERTIES actual{};  // what the allocator said it gives

protected:
    DWORD ThreadProc() override;

private:
    enum : DWORD { CMD_EXIT = 1, CMD_SEEK = 2 };
    CTestSource* m_source;
    CCritSec m_seekLock;
    CUnknown* m_seeking = nullptr;  // aggregated CSourceSeeking
    std::atomic<int> m_frame{0};
    std::atomic<int> m_seekFrame{0};
    std::atomic<int> m_segmentFrame{0};
    CAMEvent m_flushDone{TRUE};
};

// Push source: `frames` samples of `frameDuration`, then end of stream.
// Byte i of frame n is (n + i) & 0xFF; media times are frame numbers.
class CTestSource : public CBaseFilter {
public:
    CTestSource(const CMediaType& mt, int frames, REFERENCE_TIME frameDuration, long buffers = 2);
    ~CTestSource() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pin : nullptr; }

    CMediaType mt;
    int frames;
    REFERENCE_TIME frameDuration;
    long buffers;
    CAMEvent gate{TRUE};  // delivery waits while reset
    std::atomic<int> delivered{0};
    CTestSourcePin* m_pin = nullptr;
    CCritSec m_lock;
};

// Accepts SUBTYPE_A (or `accept`), offers `outSubtype`, asks for 3 buffers of
// twice the input sample size, and adds 1 to every byte.
class CTestTransform : public CTransformFilter {
public:
    explicit CTestTransform(GUID accept = SUBTYPE_A, GUID outSubtype = SUBTYPE_A);
    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut) override;
    HRESULT StartStreaming() override {
        ++starts;
        return S_OK;
    }
    HRESULT StopStreaming() override {
        ++stops;
        return S_OK;
    }
    static CUnknown* CreateInstance(IUnknown*, HRESULT*) { return new CTestTransform(SUBTYPE_A, SUBTYPE_B); }

    GUID accept, outSubtype;
    ALLOCATOR_PROPERTIES actual{};
    std::atomic<int> starts{0}, stops{0};
};

struct Rendered {
    REFERENCE_TIME start = 0, stop = 0;
    bool hasTime = false;
    REFERENCE_TIME streamTime = 0;  // stream time when rendered
    LONGLONG mediaStart = -1;
    BYTE first = 0;
    long length = 0;
    bool discontinuity = false;
    bool preroll = false;
    bool syncPoint = false;
};

class CTestRenderer : public CBaseRenderer {
public:
    explicit CTestRenderer(GUID accept = SUBTYPE_A);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT DoRenderSample(IMediaSample* pSample) override;
    void OnReceiveFirstSample(IMediaSample*) override { ++firstSamples; }
    static CUnknown* CreateInstance(IUnknown*, HRESULT*) { return new CTestRenderer(SUBTYPE_B); }
    std::vector<Rendered> Samples();
    size_t Count();

    GUID accept;
    std::atomic<int> firstSamples{0};

private:
    std::mutex m_mutex;
    std::vector<Rendered> m_samples;
};

// Records "S<media start>", "EOS", "BF", "EF", "NS<start>" in arrival order.
// With `block` set, Receive waits until `release` is set or a flush begins.
class CTestSink : public CBaseFilter {
public:
    CTestSink();
    ~CTestSink() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    std::vector<std::string> Log();
    void Record(const std::string& s);
    bool WaitFor(size_t entries, int ms);

    std::atomic<bool> block{false};
    CAMEvent release{TRUE};
    std::atomic<bool> flushing{false};
    std::atomic<bool> inReceive{false};
    CCritSec m_lock;

private:
    class Pin;
    Pin* m_pin = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_log;
};

// An input pin that pulls: it connects only to an IAsyncReader.
class CPullSink : public CBaseFilter {
public:
    CPullSink();
    ~CPullSink() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    ComPtr<IAsyncReader> reader;
    CCritSec m_lock;

private:
    class Pin;
    Pin* m_pin = nullptr;
};

// Releases the pins' connections of a filter set (filters outside a graph
// keep each other alive while connected).
void DisconnectAll(std::initializer_list<IBaseFilter*> filters);

}  // namespace fwtest
