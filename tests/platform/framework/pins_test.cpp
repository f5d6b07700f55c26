// Pin connection and type negotiation, allocator negotiation, sample flow
// through a transform, the output queue and the asynchronous reader.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "platform/framework/framework.h"
#include "test_filters.h"

using namespace std::chrono_literals;
using namespace fwtest;

namespace {
constexpr REFERENCE_TIME kFrame = 20 * MILLISECONDS;

IPin* In(CBaseFilter* f, int n = 0) { return FindPin(f, PINDIR_INPUT, n).Get(); }
IPin* Out(CBaseFilter* f, int n = 0) { return FindPin(f, PINDIR_OUTPUT, n).Get(); }

bool WaitUntil(const std::function<bool()>& cond, std::chrono::milliseconds limit = 5000ms) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}
}  // namespace

TEST(Pins, FindPinCountsByDirection) {
    ComPtr<IBaseFilter> t(new CTestTransform());
    EXPECT_EQ(GetPinFilter(FindPin(t.Get(), PINDIR_INPUT, 0).Get()).Get(), t.Get());
    PIN_INFO info;
    ASSERT_EQ(FindPin(t.Get(), PINDIR_OUTPUT, 0)->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    EXPECT_EQ(info.achName, "XForm Out");
    info.pFilter->Release();
    EXPECT_FALSE(FindPin(t.Get(), PINDIR_OUTPUT, 1));
    EXPECT_FALSE(FindPin(t.Get(), PINDIR_INPUT, -1));
    EXPECT_FALSE(FindPin(nullptr, PINDIR_INPUT, 0));
    IPin* byId = nullptr;
    ASSERT_EQ(t->FindPin("Out", &byId), S_OK);
    EXPECT_EQ(byId, FindPin(t.Get(), PINDIR_OUTPUT, 0).Get());
    byId->Release();
    EXPECT_EQ(t->FindPin("Nothing", &byId), VFW_E_NOT_FOUND);
}

TEST(Pins, NegotiationAcceptsAndRefuses) {
    long before = CUnknown::LiveObjects();
    {
        auto* src = new CTestSource(VideoType(SUBTYPE_A), 5, kFrame);
        auto* xf = new CTestTransform(SUBTYPE_A, SUBTYPE_A);
        auto* picky = new CTestTransform(SUBTYPE_B, SUBTYPE_B);
        auto* rendB = new CTestRenderer(SUBTYPE_B);
        ComPtr<IBaseFilter> hold[] = {src, xf, picky, rendB};

        // Refusals leave both pins unconnected.
        EXPECT_EQ(Out(src)->Connect(In(picky), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
        CMediaType full = src->mt;
        EXPECT_EQ(Out(src)->Connect(In(picky), &full), VFW_E_TYPE_NOT_ACCEPTED);
        // A renderer answering S_FALSE refuses as well.
        EXPECT_EQ(Out(src)->Connect(In(rendB), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
        EXPECT_EQ(In(rendB)->QueryAccept(&full), S_FALSE);
        IPin* peer = nullptr;
        EXPECT_EQ(Out(src)->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
        EXPECT_EQ(In(picky)->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
        // Wrong directions.
        EXPECT_EQ(Out(src)->Connect(Out(xf), nullptr), VFW_E_INVALID_DIRECTION);
        // An output whose input is not connected has nothing to offer yet.
        EXPECT_EQ(Out(xf)->Connect(In(rendB), &full), E_UNEXPECTED);

        ASSERT_EQ(Out(src)->Connect(In(xf), nullptr), S_OK);
        ASSERT_EQ(In(xf)->ConnectedTo(&peer), S_OK);
        EXPECT_EQ(peer, Out(src));
        peer->Release();
        CMediaType mt;
        ASSERT_EQ(In(xf)->ConnectionMediaType(&mt), S_OK);
        EXPECT_EQ(mt, src->mt);
        EXPECT_EQ(Out(src)->Connect(In(xf), nullptr), VFW_E_ALREADY_CONNECTED);

        // Changing state forbids disconnecting.
        ASSERT_EQ(xf->Pause(), S_OK);
        EXPECT_EQ(In(xf)->Disconnect(), VFW_E_NOT_STOPPED);
        ASSERT_EQ(xf->Stop(), S_OK);
        EXPECT_EQ(In(xf)->Disconnect(), S_OK);
        EXPECT_EQ(In(xf)->Disconnect(), S_FALSE);
        EXPECT_EQ(Out(src)->Disconnect(), S_OK);
    }
    EXPECT_EQ(CUnknown::LiveObjects(), before);
}

TEST(Pins, AllocatorSizesAreNegotiatedAndShared) {
    auto* src = new CTestSource(VideoType(SUBTYPE_A, 100), 5, kFrame, 2);
    auto* xf = new CTestTransform(SUBTYPE_A, SUBTYPE_B);
    auto* rend = new CTestRenderer(SUBTYPE_B);
    ComPtr<IBaseFilter> hold[] = {src, xf, rend};
    ASSERT_EQ(Out(src)->Connect(In(xf), nullptr), S_OK);
    ASSERT_EQ(Out(xf)->Connect(In(rend), nullptr), S_OK);

    EXPECT_EQ(src->m_pin->asked.cBuffers, 2);
    EXPECT_EQ(src->m_pin->actual.cBuffers, 2);
    EXPECT_EQ(src->m_pin->actual.cbBuffer, 100);
    EXPECT_EQ(xf->actual.cBuffers, 3);
    EXPECT_EQ(xf->actual.cbBuffer, 200);

    // The output pin and the downstream input pin use the same allocator.
    auto* out = static_cast<CBaseOutputPin*>(xf->GetPin(1));
    ComPtr<IMemInputPin> mip = FindPin(rend, PINDIR_INPUT, 0).As<IMemInputPin>();
    ComPtr<IMemAllocator> inputAlloc;
    ASSERT_EQ(mip->GetAllocator(inputAlloc.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(inputAlloc.Get(), out->Allocator());
    ALLOCATOR_PROPERTIES props;
    inputAlloc->GetProperties(&props);
    EXPECT_EQ(props.cbBuffer, 200);

    CMediaType outType;
    In(rend)->ConnectionMediaType(&outType);
    EXPECT_EQ(outType.subtype, SUBTYPE_B);
    EXPECT_EQ(outType.GetSampleSize(), 200u);
    DisconnectAll({src, xf, rend});
}

TEST(Pins, SamplesCarryTimesAndFlagsThroughATransform) {
    constexpr int kFrames = 6;
    auto* src = new CTestSource(VideoType(SUBTYPE_A, 64), kFrames, kFrame);
    auto* xf = new CTestTransform(SUBTYPE_A, SUBTYPE_B);
    auto* rend = new CTestRenderer(SUBTYPE_B);
    ComPtr<IBaseFilter> hold[] = {src, xf, rend};
    ASSERT_EQ(Out(src)->Connect(In(xf), nullptr), S_OK);
    ASSERT_EQ(Out(xf)->Connect(In(rend), nullptr), S_OK);

    // No clock: the renderer renders as soon as it runs.
    for (IBaseFilter* f : {static_cast<IBaseFilter*>(rend), static_cast<IBaseFilter*>(xf),
                           static_cast<IBaseFilter*>(src)})
        ASSERT_TRUE(SUCCEEDED(f->Run(0)));
    ASSERT_TRUE(WaitUntil([&] { return rend->IsEndOfStream(); }));
    EXPECT_EQ(xf->starts.load(), 1);

    std::vector<Rendered> got = rend->Samples();
    ASSERT_EQ(got.size(), size_t(kFrames));
    for (int i = 0; i < kFrames; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(got[i].hasTime);
        EXPECT_EQ(got[i].start, i * kFrame);
        EXPECT_EQ(got[i].stop, (i + 1) * kFrame);
        EXPECT_EQ(got[i].mediaStart, i);
        EXPECT_EQ(got[i].first, BYTE(i + 1));  // the transform added one
        EXPECT_EQ(got[i].length, 64);
        EXPECT_EQ(got[i].discontinuity, i == 0);
        EXPECT_EQ(got[i].preroll, i == 0);
        EXPECT_EQ(got[i].syncPoint, i % 2 == 0);
    }
    for (IBaseFilter* f : {static_cast<IBaseFilter*>(rend), static_cast<IBaseFilter*>(xf),
                           static_cast<IBaseFilter*>(src)})
        f->Stop();
    EXPECT_EQ(xf->stops.load(), 1);
    DisconnectAll({src, xf, rend});
}

// ---------------------------------------------------------------- output queue

namespace {
struct QueueFixture {
    CTestSink* sink = new CTestSink();
    ComPtr<IBaseFilter> holdSink{sink};
    CMemAllocator* alloc = new CMemAllocator("test", nullptr, nullptr);
    ComPtr<IMemAllocator> holdAlloc{alloc};

    QueueFixture() {
        ALLOCATOR_PROPERTIES req{16, 8, 1, 0}, act{};
        alloc->SetProperties(&req, &act);
        alloc->Commit();
    }
    IMediaSample* Sample(LONGLONG media) {
        IMediaSample* s = nullptr;
        alloc->GetBuffer(&s, nullptr, nullptr, 0);
        LONGLONG end = media + 1;
        s->SetMediaTime(&media, &end);
        return s;
    }
    IPin* Pin() { return FindPin(sink, PINDIR_INPUT, 0).Get(); }
};
}  // namespace

TEST(OutputQueue, DeliversSamplesSegmentsAndEndOfStreamInOrder) {
    QueueFixture fx;
    HRESULT hr = S_OK;
    {
        COutputQueue q(fx.Pin(), &hr, FALSE, TRUE, 2, FALSE);
        ASSERT_EQ(hr, S_OK);
        EXPECT_TRUE(q.IsQueued());
        q.NewSegment(0, 1000, 1.0);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(q.Receive(fx.Sample(i)), S_OK);
        q.EOS();
        ASSERT_TRUE(fx.sink->WaitFor(7, 5000));
        EXPECT_EQ(fx.sink->Log(), (std::vector<std::string>{"NS0", "S0", "S1", "S2", "S3", "S4", "EOS"}));
        ASSERT_TRUE(WaitUntil([&] { return q.IsIdle(); }));
    }
    EXPECT_EQ(fx.alloc->OutstandingBuffers(), 0);
}

TEST(OutputQueue, FlushDropsQueuedSamplesAndReleasesABlockedReceiver) {
    QueueFixture fx;
    HRESULT hr = S_OK;
    COutputQueue q(fx.Pin(), &hr, FALSE, TRUE, 1, FALSE);
    fx.sink->block = true;
    fx.sink->release.Reset();
    for (int i = 10; i < 15; ++i) q.Receive(fx.Sample(i));
    ASSERT_TRUE(WaitUntil([&] { return fx.sink->inReceive.load(); }));
    EXPECT_GT(fx.alloc->OutstandingBuffers(), 1);

    q.BeginFlush();  // must not wait for the blocked Receive
    EXPECT_EQ(q.Receive(fx.Sample(99)), S_FALSE);  // refused while flushing
    q.EndFlush();
    fx.sink->block = false;
    q.NewSegment(100, 1000, 1.0);
    q.Receive(fx.Sample(20));
    q.EOS();
    ASSERT_TRUE(fx.sink->WaitFor(5, 5000));
    EXPECT_EQ(fx.sink->Log(), (std::vector<std::string>{"BF", "EF", "NS100", "S20", "EOS"}));
    ASSERT_TRUE(WaitUntil([&] { return q.IsIdle(); }));
    EXPECT_EQ(fx.alloc->OutstandingBuffers(), 0);
}

TEST(OutputQueue, ExactBatchesWaitUntilFullOrSentAnyway) {
    QueueFixture fx;
    HRESULT hr = S_OK;
    COutputQueue q(fx.Pin(), &hr, FALSE, TRUE, 3, TRUE);
    q.Receive(fx.Sample(1));
    q.Receive(fx.Sample(2));
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(fx.sink->Log().empty());
    q.Receive(fx.Sample(3));
    ASSERT_TRUE(fx.sink->WaitFor(3, 5000));
    q.Receive(fx.Sample(4));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(fx.sink->Log().size(), 3u);
    q.SendAnyway();
    ASSERT_TRUE(fx.sink->WaitFor(4, 5000));
    // End of stream pushes out a partial batch ahead of itself.
    q.Receive(fx.Sample(5));
    q.EOS();
    ASSERT_TRUE(fx.sink->WaitFor(6, 5000));
    EXPECT_EQ(fx.sink->Log(), (std::vector<std::string>{"S1", "S2", "S3", "S4", "S5", "EOS"}));
}

// ---------------------------------------------------------------- async reader

namespace {
std::string TempFile(size_t size) {
    char path[] = "/tmp/discreel_fw_XXXXXX";
    int fd = mkstemp(path);
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = BYTE(i * 7);
    EXPECT_EQ(write(fd, bytes.data(), size), ssize_t(size));
    close(fd);
    return path;
}

// A stream that takes its time, so requests pile up in the queue.
class SlowStream : public CMemStream {
public:
    using CMemStream::CMemStream;
    HRESULT Read(BYTE* p, DWORD n, BOOL a, DWORD* got) override {
        std::this_thread::sleep_for(15ms);
        return CMemStream::Read(p, n, a, got);
    }
};

class SlowReader : public CAsyncReader {
public:
    SlowReader() : CAsyncReader("Slow reader", nullptr, &stream, nullptr), stream(std::vector<BYTE>(100000, 5)) {
        CMediaType mt;
        mt.majortype = MEDIATYPE_Stream;
        SetMediaType(mt);
    }
    ~SlowReader() override = default;

private:
    SlowStream stream;
};
}  // namespace

TEST(AsyncReader, ServesQueuedAndSynchronousReadsOverAFile) {
    long before = CUnknown::LiveObjects();
    std::string path = TempFile(10000);
    {
        ComPtr<IBaseFilter> src;
        ASSERT_EQ(CoCreateInstance(CLSID_AsyncReader, &src), S_OK);
        ComPtr<IFileSourceFilter> fs = src.As<IFileSourceFilter>();
        ASSERT_TRUE(fs);
        EXPECT_EQ(fs->Load("/nonexistent/file", nullptr), E_FAIL);
        ASSERT_EQ(fs->Load(path.c_str(), nullptr), S_OK);
        std::string name;
        EXPECT_EQ(fs->GetCurFile(nullptr, nullptr), E_POINTER);
        ASSERT_EQ(fs->GetCurFile(&name, nullptr), S_OK);
        EXPECT_EQ(name, path);

        ComPtr<IPin> pin = FindPin(src.Get(), PINDIR_OUTPUT, 0);
        std::string id;
        pin->QueryId(&id);
        EXPECT_EQ(id, "Output");
        ComPtr<IAsyncReader> reader = pin.As<IAsyncReader>();
        ASSERT_TRUE(reader);
        LONGLONG total = 0, avail = 0;
        ASSERT_EQ(reader->Length(&total, &avail), S_OK);
        EXPECT_EQ(total, 10000);
        EXPECT_EQ(avail, 10000);

        ALLOCATOR_PROPERTIES props{4, 4096, 1, 0};
        ComPtr<IMemAllocator> alloc;
        ASSERT_EQ(reader->RequestAllocator(nullptr, &props, alloc.ReleaseAndGetAddressOf()), S_OK);
        ASSERT_EQ(alloc->Commit(), S_OK);
        for (int i = 0; i < 3; ++i) {
            IMediaSample* s = nullptr;
            ASSERT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
            REFERENCE_TIME start = REFERENCE_TIME(i) * 4096 * UNITS, stop = start + 4096 * UNITS;
            s->SetTime(&start, &stop);
            ASSERT_EQ(reader->Request(s, DWORD_PTR(100 + i)), S_OK);
        }
        const long expected[] = {4096, 4096, 10000 - 8192};
        for (int i = 0; i < 3; ++i) {
            IMediaSample* s = nullptr;
            DWORD_PTR user = 0;
            ASSERT_TRUE(SUCCEEDED(reader->WaitForNext(5000, &s, &user))) << i;
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(user, DWORD_PTR(100 + i));  // in request order
            EXPECT_EQ(s->GetActualDataLength(), expected[i]);
            BYTE* p = nullptr;
            s->GetPointer(&p);
            for (long k = 0; k < s->GetActualDataLength(); k += 997)
                ASSERT_EQ(p[k], BYTE((i * 4096 + k) * 7)) << k;
            REFERENCE_TIME t0, t1;
            s->GetTime(&t0, &t1);
            EXPECT_EQ((t1 - t0) / UNITS, expected[i]);  // trimmed at the end of the file
            s->Release();
        }
        IMediaSample* none = nullptr;
        DWORD_PTR user = 0;
        EXPECT_EQ(reader->WaitForNext(0, &none, &user), VFW_E_TIMEOUT);

        BYTE buf[20];
        EXPECT_EQ(reader->SyncRead(100, 10, buf), S_OK);
        EXPECT_EQ(buf[0], BYTE(700));
        EXPECT_EQ(reader->SyncRead(9990, 20, buf), S_FALSE);  // only 10 bytes left
        EXPECT_EQ(buf[9], BYTE(9999 * 7));
        EXPECT_EQ(reader->SyncRead(20000, 4, buf), S_FALSE);
        alloc->Decommit();
    }
    std::remove(path.c_str());
    EXPECT_EQ(CUnknown::LiveObjects(), before);
}

TEST(AsyncReader, FlushHandsBackEveryPendingRequest) {
    auto* slow = new SlowReader();
    ComPtr<IBaseFilter> hold(slow);
    ComPtr<IAsyncReader> reader = FindPin(slow, PINDIR_OUTPUT, 0).As<IAsyncReader>();
    ALLOCATOR_PROPERTIES props{5, 1000, 1, 0};
    ComPtr<IMemAllocator> alloc;
    ASSERT_EQ(reader->RequestAllocator(nullptr, &props, alloc.ReleaseAndGetAddressOf()), S_OK);
    alloc->Commit();
    for (int i = 0; i < 5; ++i) {
        IMediaSample* s = nullptr;
        alloc->GetBuffer(&s, nullptr, nullptr, 0);
        REFERENCE_TIME a = REFERENCE_TIME(i) * 1000 * UNITS, b = a + 1000 * UNITS;
        s->SetTime(&a, &b);
        ASSERT_EQ(reader->Request(s, i), S_OK);
    }
    ASSERT_EQ(reader->BeginFlush(), S_OK);
    IMediaSample* s = nullptr;
    int back = 0, unread = 0;
    for (;;) {
        DWORD_PTR user = 0;
        HRESULT hr = reader->WaitForNext(1000, &s, &user);
        if (!s) {
            EXPECT_EQ(hr, VFW_E_WRONG_STATE);
            break;
        }
        ++back;
        if (FAILED(hr)) ++unread;
        s->Release();
    }
    EXPECT_EQ(back, 5);
    EXPECT_GE(unread, 1);  // the slow stream cannot have read them all
    IMediaSample* again = nullptr;
    alloc->GetBuffer(&again, nullptr, nullptr, 0);
    REFERENCE_TIME a = 0, b = 10 * UNITS;
    again->SetTime(&a, &b);
    EXPECT_EQ(reader->Request(again, 1), VFW_E_WRONG_STATE);
    ASSERT_EQ(reader->EndFlush(), S_OK);
    ASSERT_EQ(reader->Request(again, 1), S_OK);
    DWORD_PTR user = 0;
    IMediaSample* done = nullptr;
    EXPECT_EQ(reader->WaitForNext(5000, &done, &user), S_OK);
    EXPECT_EQ(done, again);
    done->Release();
    alloc->Decommit();
}

TEST(AsyncReader, ConnectsOnlyToPullingPinsAndTreatsNullSubtypeAsWildcard) {
    std::string path = TempFile(100);
    ComPtr<IBaseFilter> src;
    ASSERT_EQ(CoCreateInstance(CLSID_AsyncReader, &src), S_OK);
    ASSERT_EQ(src.As<IFileSourceFilter>()->Load(path.c_str(), nullptr), S_OK);
    ComPtr<IPin> out = FindPin(src.Get(), PINDIR_OUTPUT, 0);

    CMediaType anyStream;
    anyStream.majortype = MEDIATYPE_Stream;
    anyStream.subtype = SUBTYPE_A;
    EXPECT_EQ(out->QueryAccept(&anyStream), S_OK);
    CMediaType video = VideoType(SUBTYPE_A);
    EXPECT_EQ(out->QueryAccept(&video), S_FALSE);

    auto* push = new CTestSink();
    ComPtr<IBaseFilter> holdPush(push);
    EXPECT_EQ(out->Connect(In(push), nullptr), VFW_E_NO_TRANSPORT);
    IPin* peer = nullptr;
    EXPECT_EQ(In(push)->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);

    auto* pull = new CPullSink();
    ComPtr<IBaseFilter> holdPull(pull);
    ASSERT_EQ(out->Connect(In(pull), nullptr), S_OK);
    ASSERT_TRUE(pull->reader);
    BYTE b[4];
    EXPECT_EQ(pull->reader->SyncRead(1, 4, b), S_OK);
    EXPECT_EQ(b[0], 7);
    DisconnectAll({src.Get(), pull});

    // A loaded subtype narrows what is accepted.
    CMediaType typed;
    typed.majortype = MEDIATYPE_Stream;
    typed.subtype = SUBTYPE_B;
    ASSERT_EQ(src.As<IFileSourceFilter>()->Load(path.c_str(), &typed), S_OK);
    EXPECT_EQ(out->QueryAccept(&anyStream), S_FALSE);
    EXPECT_EQ(out->QueryAccept(&typed), S_OK);
    std::remove(path.c_str());
}
