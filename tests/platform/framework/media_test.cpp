// Media types and format blocks, samples and the allocator pool, and the
// threading primitives.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/framework/framework.h"
#include "test_filters.h"

using namespace std::chrono_literals;
using fwtest::SUBTYPE_A;

TEST(MediaType, PictureHeaderSitsWhereEachVideoFormatPutsIt) {
    struct Case {
        GUID format;
        size_t blockSize;
        size_t headerOffset;
    };
    const Case cases[] = {
        {FORMAT_VideoInfo, sizeof(VIDEOINFOHEADER), 48},
        {FORMAT_MPEGVideo, sizeof(MPEG1VIDEOINFO), 48},
        {FORMAT_VideoInfo2, sizeof(VIDEOINFOHEADER2), 72},
        {FORMAT_MPEG2Video, sizeof(MPEG2VIDEOINFO), 72},
    };
    for (const Case& c : cases) {
        CMediaType mt;
        mt.majortype = MEDIATYPE_Video;
        mt.formattype = c.format;
        BYTE* block = mt.AllocFormatBuffer(ULONG(c.blockSize));
        LONG width = 720, height = 480;
        std::memcpy(block + c.headerOffset + 4, &width, 4);
        std::memcpy(block + c.headerOffset + 8, &height, 4);
        const BITMAPINFOHEADER* bih = GetBitmapInfoHeader(&mt);
        ASSERT_NE(bih, nullptr) << GuidToString(c.format);
        EXPECT_EQ(reinterpret_cast<const BYTE*>(bih) - mt.Format(), ptrdiff_t(c.headerOffset));
        EXPECT_EQ(bih->biWidth, 720);
        EXPECT_EQ(bih->biHeight, 480);
        // A block too short to hold the header yields none.
        mt.ReallocFormatBuffer(ULONG(c.headerOffset + 10));
        EXPECT_EQ(GetBitmapInfoHeader(&mt), nullptr);
    }
    CMediaType audio;
    audio.formattype = FORMAT_WaveFormatEx;
    audio.AllocFormatBuffer(sizeof(WAVEFORMATEX));
    EXPECT_EQ(GetBitmapInfoHeader(&audio), nullptr);
    EXPECT_NE(GetWaveFormat(&audio), nullptr);
}

TEST(MediaType, CopiesOwnTheirFormatAndCompareByValue) {
    CMediaType a = fwtest::VideoType(SUBTYPE_A, 100);
    CMediaType b = a;
    EXPECT_EQ(a, b);
    EXPECT_NE(a.Format(), b.Format());
    b.Format()[0] ^= 1;
    EXPECT_NE(a, b);

    // SetFormat from a pointer into the type's own block must survive the reallocation.
    CMediaType c = a;
    c.SetFormat(c.Format() + 8, 16);
    EXPECT_EQ(c.FormatLength(), 16u);
    EXPECT_EQ(std::memcmp(c.Format(), a.Format() + 8, 16), 0);

    // Growing keeps the old bytes and zeroes the new ones.
    c.ReallocFormatBuffer(20);
    EXPECT_EQ(std::memcmp(c.Format(), a.Format() + 8, 16), 0);
    EXPECT_EQ(c.Format()[19], 0);

    AM_MEDIA_TYPE* heap = CreateMediaType(&a);
    EXPECT_EQ(*heap, a);
    DeleteMediaType(heap);
}

TEST(MediaType, PartialMatching) {
    CMediaType full = fwtest::VideoType(SUBTYPE_A);
    struct Case {
        GUID major, sub, format;
        bool matches;
    };
    const Case cases[] = {
        {GUID_NULL, GUID_NULL, GUID_NULL, true},
        {MEDIATYPE_Video, GUID_NULL, GUID_NULL, true},
        {MEDIATYPE_Audio, GUID_NULL, GUID_NULL, false},
        {MEDIATYPE_Video, SUBTYPE_A, GUID_NULL, true},
        {MEDIATYPE_Video, MEDIASUBTYPE_YV12, GUID_NULL, false},
        {GUID_NULL, SUBTYPE_A, FORMAT_WaveFormatEx, false},
    };
    for (const Case& c : cases) {
        CMediaType partial;
        partial.majortype = c.major;
        partial.subtype = c.sub;
        partial.formattype = c.format;
        EXPECT_EQ(bool(full.MatchesPartial(&partial)), c.matches)
            << GuidToString(c.major) << " " << GuidToString(c.sub);
    }
    // With a format type given, the block has to match too.
    CMediaType sameFormat = full;
    EXPECT_TRUE(full.MatchesPartial(&sameFormat));
    sameFormat.Format()[0] ^= 1;
    EXPECT_FALSE(full.MatchesPartial(&sameFormat));
    CMediaType stream;
    stream.majortype = MEDIATYPE_Stream;
    EXPECT_TRUE(stream.IsPartiallySpecified());
    EXPECT_FALSE(full.IsPartiallySpecified());
}

TEST(MediaSample, TimesAndFlagsFollowTheFrameworkRules) {
    ComPtr<IMemAllocator> alloc;
    ASSERT_EQ(CreateMemoryAllocator(alloc.ReleaseAndGetAddressOf()), S_OK);
    ALLOCATOR_PROPERTIES req{1, 100, 1, 0}, act{};
    ASSERT_EQ(alloc->SetProperties(&req, &act), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* s = nullptr;
    ASSERT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);

    REFERENCE_TIME t0 = 0, t1 = 0;
    EXPECT_EQ(s->GetTime(&t0, &t1), VFW_E_SAMPLE_TIME_NOT_SET);
    REFERENCE_TIME start = 1000, stop = 2000;
    s->SetTime(&start, nullptr);
    EXPECT_EQ(s->GetTime(&t0, &t1), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(t0, 1000);
    EXPECT_EQ(t1, 1001);
    s->SetTime(&start, &stop);
    EXPECT_EQ(s->GetTime(&t0, &t1), S_OK);
    EXPECT_EQ(t1, 2000);
    s->SetTime(nullptr, nullptr);
    EXPECT_EQ(s->GetTime(&t0, &t1), VFW_E_SAMPLE_TIME_NOT_SET);

    LONGLONG m0 = 0, m1 = 0;
    EXPECT_EQ(s->GetMediaTime(&m0, &m1), VFW_E_MEDIA_TIME_NOT_SET);
    LONGLONG a = 5, b = 6;
    s->SetMediaTime(&a, &b);
    EXPECT_EQ(s->GetMediaTime(&m0, &m1), S_OK);
    EXPECT_EQ(m1, 6);

    EXPECT_EQ(s->SetActualDataLength(101), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(s->SetActualDataLength(100), S_OK);
    EXPECT_EQ(s->IsSyncPoint(), S_FALSE);
    s->SetSyncPoint(TRUE);
    s->SetPreroll(TRUE);
    s->SetDiscontinuity(TRUE);
    EXPECT_EQ(s->IsSyncPoint(), S_OK);
    EXPECT_EQ(s->IsPreroll(), S_OK);
    EXPECT_EQ(s->IsDiscontinuity(), S_OK);

    AM_MEDIA_TYPE* got = nullptr;
    EXPECT_EQ(s->GetMediaType(&got), S_FALSE);
    EXPECT_EQ(got, nullptr);
    CMediaType mt = fwtest::VideoType(SUBTYPE_A);
    s->SetMediaType(&mt);
    ASSERT_EQ(s->GetMediaType(&got), S_OK);
    EXPECT_EQ(*got, mt);
    DeleteMediaType(got);

    // Back in the pool the sample forgets this use.
    s->Release();
    ASSERT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(s->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(s->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(s->GetTime(&t0, &t1), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(s->GetMediaType(&got), S_FALSE);
    s->Release();
    alloc->Decommit();
}

TEST(MemAllocator, ReportsWhatItReallyGives) {
    struct Case {
        ALLOCATOR_PROPERTIES req;
        HRESULT hr;
        ALLOCATOR_PROPERTIES actual;
    };
    const Case cases[] = {
        {{4, 1000, 1, 0}, S_OK, {4, 1000, 1, 0}},
        {{2, 1000, 16, 0}, S_OK, {2, 1008, 16, 0}},   // size rounded up to the alignment
        {{2, 1000, 16, 8}, S_OK, {2, 1000, 16, 8}},   // prefix + size already aligned
        {{2, 1001, 16, 8}, S_OK, {2, 1016, 16, 8}},
        {{1, 100, 0, 0}, S_OK, {1, 100, 1, 0}},       // no alignment means 1
        {{1, 100, 3, 0}, VFW_E_BADALIGN, {}},
    };
    for (const Case& c : cases) {
        ComPtr<IMemAllocator> alloc;
        ASSERT_EQ(CreateMemoryAllocator(alloc.ReleaseAndGetAddressOf()), S_OK);
        ALLOCATOR_PROPERTIES req = c.req, act{};
        EXPECT_EQ(alloc->SetProperties(&req, &act), c.hr);
        if (c.hr != S_OK) continue;
        EXPECT_EQ(act.cBuffers, c.actual.cBuffers);
        EXPECT_EQ(act.cbBuffer, c.actual.cbBuffer);
        EXPECT_EQ(act.cbAlign, c.actual.cbAlign);
        EXPECT_EQ(act.cbPrefix, c.actual.cbPrefix);
        // Every buffer is aligned and as large as reported.
        ASSERT_EQ(alloc->Commit(), S_OK);
        std::vector<IMediaSample*> out;
        for (long i = 0; i < act.cBuffers; ++i) {
            IMediaSample* s = nullptr;
            ASSERT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
            BYTE* p = nullptr;
            s->GetPointer(&p);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % std::uintptr_t(act.cbAlign), 0u);
            EXPECT_EQ(s->GetSize(), act.cbBuffer);
            std::memset(p, 0xAB, size_t(act.cbBuffer));  // ASan checks the bounds
            out.push_back(s);
        }
        for (IMediaSample* s : out) s->Release();
        alloc->Decommit();
    }
}

TEST(MemAllocator, RefusesChangesWhileCommittedOrWithSamplesOut) {
    ComPtr<IMemAllocator> alloc;
    ASSERT_EQ(CreateMemoryAllocator(alloc.ReleaseAndGetAddressOf()), S_OK);
    ALLOCATOR_PROPERTIES req{2, 64, 1, 0}, act{};
    IMediaSample* s = nullptr;
    EXPECT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(alloc->SetProperties(&req, &act), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    EXPECT_EQ(alloc->SetProperties(&req, &act), VFW_E_ALREADY_COMMITTED);
    ASSERT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    alloc->Decommit();
    EXPECT_EQ(alloc->SetProperties(&req, &act), VFW_E_BUFFERS_OUTSTANDING);
    s->Release();
    // With every sample back it can be resized and committed again.
    req.cbBuffer = 128;
    EXPECT_EQ(alloc->SetProperties(&req, &act), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    ASSERT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(s->GetSize(), 128);
    s->Release();
}

TEST(MemAllocator, GetBufferWaitsForAFreeSampleAndFailsOnDecommit) {
    ComPtr<IMemAllocator> alloc;
    ASSERT_EQ(CreateMemoryAllocator(alloc.ReleaseAndGetAddressOf()), S_OK);
    ALLOCATOR_PROPERTIES req{1, 16, 1, 0}, act{};
    ASSERT_EQ(alloc->SetProperties(&req, &act), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* held = nullptr;
    ASSERT_EQ(alloc->GetBuffer(&held, nullptr, nullptr, 0), S_OK);

    IMediaSample* other = nullptr;
    EXPECT_EQ(alloc->GetBuffer(&other, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);

    // A waiter gets the sample once it is released.
    std::atomic<HRESULT> got{E_FAIL};
    std::thread waiter([&] {
        IMediaSample* s = nullptr;
        got = alloc->GetBuffer(&s, nullptr, nullptr, 0);
        if (s) s->Release();
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(got.load(), E_FAIL);  // still waiting
    held->Release();
    waiter.join();
    EXPECT_EQ(got.load(), S_OK);

    // A waiter blocked on an empty pool returns once the allocator is decommitted.
    ASSERT_EQ(alloc->GetBuffer(&held, nullptr, nullptr, 0), S_OK);
    got = S_OK;
    std::thread blocked([&] {
        IMediaSample* s = nullptr;
        got = alloc->GetBuffer(&s, nullptr, nullptr, 0);
        if (s) s->Release();
    });
    std::this_thread::sleep_for(30ms);
    alloc->Decommit();
    blocked.join();
    EXPECT_EQ(got.load(), VFW_E_NOT_COMMITTED);
    held->Release();
}

TEST(MemAllocator, OutstandingSamplesKeepItAlive) {
    long before = CUnknown::LiveObjects();
    IMediaSample* s = nullptr;
    {
        ComPtr<IMemAllocator> alloc;
        ASSERT_EQ(CreateMemoryAllocator(alloc.ReleaseAndGetAddressOf()), S_OK);
        ALLOCATOR_PROPERTIES req{1, 32, 1, 0}, act{};
        alloc->SetProperties(&req, &act);
        alloc->Commit();
        ASSERT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    }
    EXPECT_EQ(CUnknown::LiveObjects(), before + 1);
    BYTE* p = nullptr;
    s->GetPointer(&p);
    p[31] = 1;  // still valid memory
    s->Release();
    EXPECT_EQ(CUnknown::LiveObjects(), before);
}

TEST(Sync, ManualAndAutoResetEvents) {
    CAMEvent manual(TRUE), automatic(FALSE);
    EXPECT_FALSE(manual.Wait(0));
    manual.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0));  // stays set
    manual.Reset();
    EXPECT_FALSE(manual.Check());
    automatic.Set();
    EXPECT_TRUE(automatic.Wait(0));
    EXPECT_FALSE(automatic.Wait(0));  // one waiter per Set

    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        automatic.Set();
    });
    EXPECT_TRUE(automatic.Wait(5000));
    setter.join();
}

TEST(Sync, CritSecIsRecursive) {
    CCritSec cs;
    CAutoLock a(&cs);
    {
        CAutoLock b(&cs);
        EXPECT_TRUE(CritCheckIn(&cs));
    }
    EXPECT_TRUE(CritCheckIn(&cs));
    std::atomic<bool> other{true};
    std::thread t([&] { other = CritCheckIn(&cs); });
    t.join();
    EXPECT_FALSE(other.load());
}

namespace {
class Worker : public CAMThread {
public:
    std::vector<DWORD> seen;
    std::atomic<int> loops{0};
    ~Worker() override { Close(); }

protected:
    DWORD ThreadProc() override {
        for (;;) {
            // Work until a command arrives, then take it.
            DWORD peek = 0;
            while (!CheckRequest(&peek)) {
                ++loops;
                std::this_thread::sleep_for(1ms);
            }
            DWORD cmd = GetRequest();
            EXPECT_EQ(cmd, peek);
            seen.push_back(cmd);
            Reply(cmd * 10);
            if (cmd == 0) return 0;
        }
    }
};

class PeekOnlyWorker : public CAMThread {
public:
    ~PeekOnlyWorker() override { Close(); }

protected:
    // Answers a command seen through CheckRequest without taking it.
    DWORD ThreadProc() override {
        DWORD cmd = 0;
        while (!CheckRequest(&cmd)) std::this_thread::sleep_for(1ms);
        Reply(cmd + 1);
        return 0;
    }
};
}  // namespace

TEST(Sync, WorkerThreadCommandsAreAnsweredInOrder) {
    Worker w;
    EXPECT_EQ(w.CallWorker(1), DWORD(E_FAIL));  // no thread yet
    ASSERT_TRUE(w.Create());
    EXPECT_FALSE(w.Create());
    // Without a command the worker keeps working.
    for (int i = 0; i < 1000 && w.loops.load() < 3; ++i) std::this_thread::sleep_for(1ms);
    EXPECT_GE(w.loops.load(), 3);
    EXPECT_EQ(w.CallWorker(3), 30u);
    EXPECT_EQ(w.CallWorker(7), 70u);
    EXPECT_EQ(w.CallWorker(0), 0u);
    w.Close();
    EXPECT_FALSE(w.ThreadExists());
    EXPECT_EQ(w.seen, (std::vector<DWORD>{3, 7, 0}));

    // A command answered after a mere peek does not linger for the next thread.
    PeekOnlyWorker p;
    for (DWORD i = 0; i < 2; ++i) {
        ASSERT_TRUE(p.Create());
        std::this_thread::sleep_for(5ms);  // the new thread must not see an old command
        EXPECT_TRUE(p.ThreadExists());
        EXPECT_EQ(p.CallWorker(10 * (i + 1)), 10 * (i + 1) + 1);
        p.Close();
    }
}

TEST(Sync, SystemClockAdvisesAtTheRequestedTime) {
    ComPtr<IReferenceClock> clock;
    ASSERT_EQ(CoCreateInstance(CLSID_SystemClock, &clock), S_OK);
    REFERENCE_TIME a = 0, b = 0;
    clock->GetTime(&a);
    CAMEvent due(FALSE);
    DWORD_PTR cookie = 0;
    ASSERT_EQ(clock->AdviseTime(a, 30 * MILLISECONDS, &due, &cookie), S_OK);
    ASSERT_TRUE(due.Wait(5000));
    clock->GetTime(&b);
    EXPECT_GE(b - a, 30 * MILLISECONDS);

    CAMEvent tick(FALSE);
    clock->GetTime(&a);
    ASSERT_EQ(clock->AdvisePeriodic(a + 5 * MILLISECONDS, 10 * MILLISECONDS, &tick, &cookie), S_OK);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(tick.Wait(5000));
    EXPECT_EQ(clock->Unadvise(cookie), S_OK);
    EXPECT_EQ(clock->Unadvise(cookie), S_FALSE);
}
