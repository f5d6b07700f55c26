// The filter graph manager: building (AddFilter, ConnectDirect, Connect,
// Render over registered filters), state changes with cueing renderers,
// events through a notification window, seeking through the renderers, and
// clean teardown.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/framework/framework.h"
#include "platform/win/queue_window.h"
#include "test_filters.h"

using namespace std::chrono_literals;
using namespace fwtest;

namespace {
constexpr UINT kGraphMessage = WM_USER + 20;
constexpr REFERENCE_TIME kFrame = 20 * MILLISECONDS;

IPin* In(IBaseFilter* f, int n = 0) { return FindPin(f, PINDIR_INPUT, n).Get(); }
IPin* Out(IBaseFilter* f, int n = 0) { return FindPin(f, PINDIR_OUTPUT, n).Get(); }

bool WaitUntil(const std::function<bool()>& cond, std::chrono::milliseconds limit = 10000ms) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

struct Event {
    long code;
    LONG_PTR p1, p2;
};

// Everything queued now, freed as a caller of the graph would.
std::vector<Event> Drain(IMediaEventEx* ev) {
    std::vector<Event> out;
    long code;
    LONG_PTR p1, p2;
    while (ev->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        out.push_back({code, p1, p2});
        ev->FreeEventParams(code, p1, p2);
    }
    return out;
}

std::vector<Event> OfCode(const std::vector<Event>& events, long code) {
    std::vector<Event> out;
    for (const Event& e : events)
        if (e.code == code) out.push_back(e);
    return out;
}

struct Graph {
    ComPtr<IGraphBuilder> gb;
    ComPtr<IMediaControl> mc;
    ComPtr<IMediaEventEx> ev;
    ComPtr<IMediaSeeking> ms;
    Graph() {
        EXPECT_EQ(CreateFilterGraph(gb.ReleaseAndGetAddressOf()), S_OK);
        mc = gb.As<IMediaControl>();
        ev = gb.As<IMediaEventEx>();
        ms = gb.As<IMediaSeeking>();
    }
    OAFilterState State(LONG ms = 10, HRESULT* phr = nullptr) {
        OAFilterState fs = -1;
        HRESULT hr = mc->GetState(ms, &fs);
        if (phr) *phr = hr;
        return fs;
    }
    // Adds source -> transform -> renderer and joins them (wrap the call in
    // ASSERT_NO_FATAL_FAILURE: a failed join ends the test).
    void AddChain(IBaseFilter* src, IBaseFilter* xf, IBaseFilter* rend) {
        gb->AddFilter(src, "Source");
        gb->AddFilter(xf, "Transform");
        gb->AddFilter(rend, "Renderer");
        ASSERT_EQ(gb->ConnectDirect(Out(src), In(xf), nullptr), S_OK);
        ASSERT_EQ(gb->ConnectDirect(Out(xf), In(rend), nullptr), S_OK);
    }
};
}  // namespace

TEST(Graph, NamesFiltersUniquelyAndRemovesThemDisconnected) {
    long before = CUnknown::LiveObjects();
    {
        Graph g;
        ComPtr<IBaseFilter> a(new CTestSource(VideoType(SUBTYPE_A), 3, kFrame));
        ComPtr<IBaseFilter> b(new CTestRenderer(SUBTYPE_A));
        ComPtr<IBaseFilter> c(new CTestRenderer(SUBTYPE_A));
        EXPECT_EQ(g.gb->AddFilter(a.Get(), "Reader"), S_OK);
        EXPECT_EQ(g.gb->AddFilter(b.Get(), "Renderer"), S_OK);
        EXPECT_EQ(g.gb->AddFilter(c.Get(), "Renderer"), VFW_S_DUPLICATE_NAME);
        EXPECT_EQ(GetFilterName(c.Get()), "Renderer 0001");
        EXPECT_EQ(g.gb->AddFilter(c.Get(), "Again"), E_INVALIDARG);

        ComPtr<IBaseFilter> found;
        ASSERT_EQ(g.gb->FindFilterByName("Renderer 0001", found.ReleaseAndGetAddressOf()), S_OK);
        EXPECT_EQ(found.Get(), c.Get());
        EXPECT_EQ(g.gb->FindFilterByName("Nope", found.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);

        ComPtr<IEnumFilters> e;
        ASSERT_EQ(g.gb->EnumFilters(e.ReleaseAndGetAddressOf()), S_OK);
        IBaseFilter* all[4] = {};
        ULONG n = 0;
        EXPECT_EQ(e->Next(4, all, &n), S_FALSE);
        EXPECT_EQ(n, 3u);
        for (ULONG i = 0; i < n; ++i) all[i]->Release();

        // Pins of filters outside the graph cannot be joined through it.
        ComPtr<IBaseFilter> outsider(new CTestRenderer(SUBTYPE_A));
        EXPECT_EQ(g.gb->ConnectDirect(Out(a.Get()), In(outsider.Get()), nullptr), VFW_E_NOT_IN_GRAPH);
        EXPECT_EQ(g.gb->ConnectDirect(In(b.Get()), Out(a.Get()), nullptr), VFW_E_INVALID_DIRECTION);

        ASSERT_EQ(g.gb->ConnectDirect(Out(a.Get()), In(b.Get()), nullptr), S_OK);
        EXPECT_EQ(g.gb->RemoveFilter(b.Get()), S_OK);
        IPin* peer = nullptr;
        EXPECT_EQ(Out(a.Get())->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
        EXPECT_EQ(GetFilterName(b.Get()), "");
        EXPECT_EQ(g.gb->RemoveFilter(b.Get()), VFW_E_NOT_FOUND);

        // The graph's Disconnect breaks one side only.
        ASSERT_EQ(g.gb->ConnectDirect(Out(a.Get()), In(c.Get()), nullptr), S_OK);
        EXPECT_EQ(g.gb->Disconnect(Out(a.Get())), S_OK);
        EXPECT_EQ(In(c.Get())->ConnectedTo(&peer), S_OK);
        peer->Release();
        EXPECT_EQ(g.gb->Disconnect(In(c.Get())), S_OK);
    }
    EXPECT_EQ(CUnknown::LiveObjects(), before);
}

TEST(Graph, PauseCuesRenderersAndRunPlaysOnTheClock) {
    constexpr int kFrames = 8;
    Graph g;
    QueueWindow win;
    ASSERT_EQ(g.ev->SetNotifyWindow(&win, kGraphMessage, 77), S_OK);
    auto* src = new CTestSource(VideoType(SUBTYPE_A), kFrames, kFrame);
    auto* xf = new CTestTransform(SUBTYPE_A, SUBTYPE_B);
    auto* rend = new CTestRenderer(SUBTYPE_B);
    ComPtr<IBaseFilter> hold[] = {src, xf, rend};
    ASSERT_NO_FATAL_FAILURE(g.AddChain(src, xf, rend));

    // Nothing arrives while the source holds back: the pause is not complete.
    src->gate.Reset();
    ASSERT_TRUE(SUCCEEDED(g.mc->Pause()));
    HRESULT hr = S_OK;
    EXPECT_EQ(g.State(0, &hr), State_Paused);
    EXPECT_EQ(hr, VFW_S_STATE_INTERMEDIATE);
    src->gate.Set();
    EXPECT_EQ(g.State(5000, &hr), State_Paused);
    EXPECT_EQ(hr, S_OK);
    // Cued: the first sample is held and shown as a still, nothing is played.
    EXPECT_EQ(rend->firstSamples.load(), 1);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(rend->Count(), 0u);
    ASSERT_TRUE(win.Wait(5000ms).has_value());
    auto events = Drain(g.ev.Get());
    ASSERT_EQ(OfCode(events, EC_PAUSED).size(), 1u);

    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(SUCCEEDED(g.mc->Run()));
    EXPECT_EQ(g.State(), State_Running);
    long code = 0;
    ASSERT_EQ(g.ev->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    auto elapsed = std::chrono::steady_clock::now() - started;
    // The completion came after the last sample was rendered.
    EXPECT_EQ(rend->Count(), size_t(kFrames));
    // Samples were shown at their times, so playback took its real length.
    EXPECT_GE(elapsed, std::chrono::milliseconds((kFrames - 1) * kFrame / MILLISECONDS));
    for (const Rendered& r : rend->Samples()) EXPECT_GE(r.streamTime, r.start - MILLISECONDS);

    // The message carries the instance data; the event queue holds the completion.
    bool sawOurs = false;
    while (auto m = win.Wait(0ms)) sawOurs |= m->msg == kGraphMessage && m->lParam == 77;
    EXPECT_TRUE(sawOurs);
    events = Drain(g.ev.Get());
    EXPECT_EQ(OfCode(events, EC_COMPLETE).size(), 1u);

    ASSERT_EQ(g.mc->Stop(), S_OK);
    EXPECT_EQ(g.State(), State_Stopped);
    EXPECT_EQ(xf->stops.load(), 1);
}

TEST(Graph, StopReleasesAChainBlockedWhilePaused) {
    // A paused renderer holds the first sample, so the thread that delivered
    // it waits inside the renderer; Stop must release it, every time.
    Graph g;
    auto* src = new CTestSource(VideoType(SUBTYPE_A), 50, kFrame, 1);
    auto* xf = new CTestTransform(SUBTYPE_A, SUBTYPE_B);
    auto* rend = new CTestRenderer(SUBTYPE_B);
    ComPtr<IBaseFilter> hold[] = {src, xf, rend};
    ASSERT_NO_FATAL_FAILURE(g.AddChain(src, xf, rend));
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(SUCCEEDED(g.mc->Pause()));
        EXPECT_EQ(g.State(5000), State_Paused);
        // The source's thread now sits in Deliver, held by the cued renderer.
        ASSERT_TRUE(WaitUntil([&] { return rend->firstSamples.load() == round + 1; }));
        EXPECT_EQ(src->delivered.load(), 0);
        ASSERT_EQ(g.mc->Stop(), S_OK);
        EXPECT_EQ(g.State(), State_Stopped);
        src->delivered = 0;  // the source's thread has ended
    }
}

TEST(Graph, CompletionIsAggregatedUnlessDefaultHandlingIsCancelled) {
    for (bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "default");
        Graph g;
        QueueWindow win;
        g.ev->SetNotifyWindow(&win, kGraphMessage, 0);
        if (cancel) {
            ASSERT_EQ(g.ev->CancelDefaultHandling(EC_COMPLETE), S_OK);
        }
        // Two independent chains, one short and one longer.
        auto* s1 = new CTestSource(VideoType(SUBTYPE_A), 2, 10 * MILLISECONDS);
        auto* r1 = new CTestRenderer(SUBTYPE_A);
        auto* s2 = new CTestSource(VideoType(SUBTYPE_A), 6, 10 * MILLISECONDS);
        auto* r2 = new CTestRenderer(SUBTYPE_A);
        ComPtr<IBaseFilter> hold[] = {s1, r1, s2, r2};
        g.gb->AddFilter(s1, "S1");
        g.gb->AddFilter(r1, "R1");
        g.gb->AddFilter(s2, "S2");
        g.gb->AddFilter(r2, "R2");
        ASSERT_EQ(g.gb->ConnectDirect(Out(s1), In(r1), nullptr), S_OK);
        ASSERT_EQ(g.gb->ConnectDirect(Out(s2), In(r2), nullptr), S_OK);
        ASSERT_TRUE(SUCCEEDED(g.mc->Run()));
        ASSERT_TRUE(WaitUntil([&] { return r1->IsEndOfStream() && r2->IsEndOfStream(); }));

        std::vector<Event> completes;
        auto deadline = std::chrono::steady_clock::now() + 5s;
        size_t want = cancel ? 2 : 1;
        while (completes.size() < want && std::chrono::steady_clock::now() < deadline) {
            if (!win.Wait(100ms)) continue;
            for (const Event& e : OfCode(Drain(g.ev.Get()), EC_COMPLETE)) completes.push_back(e);
        }
        std::this_thread::sleep_for(50ms);  // nothing more may follow
        for (const Event& e : OfCode(Drain(g.ev.Get()), EC_COMPLETE)) completes.push_back(e);
        ASSERT_EQ(completes.size(), want);
        if (cancel) {
            // Each renderer's own notice, naming it.
            EXPECT_EQ(completes[0].p2, LONG_PTR(static_cast<IBaseFilter*>(r1)));
            EXPECT_EQ(completes[1].p2, LONG_PTR(static_cast<IBaseFilter*>(r2)));
        } else {
            EXPECT_EQ(completes[0].p1, S_OK);
            EXPECT_EQ(completes[0].p2, 0);
            EXPECT_EQ(r2->Count(), 6u);  // only after the longer chain ended
        }
        g.mc->Stop();
        g.ev->SetNotifyWindow(nullptr, 0, 0);
    }
}

TEST(Graph, RenderAndConnectUseRegisteredFilters) {
    long before = CUnknown::LiveObjects();
    {
        ComPtr<IUnknown> none;
        EXPECT_EQ(CoCreateInstance(CLSID_TestRenderer, &none), REGDB_E_CLASSNOTREG);
        ASSERT_EQ(RegisterFilter(CLSID_TestTransform, "Registered transform", MERIT_NORMAL,
                                 CTestTransform::CreateInstance, {{MEDIATYPE_Video, SUBTYPE_A}}),
                  S_OK);
        ASSERT_EQ(RegisterFilter(CLSID_TestRenderer, "Registered renderer", MERIT_NORMAL,
                                 CTestRenderer::CreateInstance, {{MEDIATYPE_Video, SUBTYPE_B}}),
                  S_OK);
        ComPtr<IBaseFilter> made;
        ASSERT_EQ(CoCreateInstance(CLSID_TestRenderer, &made), S_OK);
        CLSID clsid{};
        made->GetClassID(&clsid);
        EXPECT_EQ(clsid, CLSID_TestRenderer);

        {
            // A pin of the renderer's type: the renderer alone.
            Graph g;
            ComPtr<IBaseFilter> src(new CTestSource(VideoType(SUBTYPE_B), 3, kFrame));
            g.gb->AddFilter(src.Get(), "Source");
            ASSERT_EQ(g.gb->Render(Out(src.Get())), S_OK);
            ComPtr<IBaseFilter> r;
            ASSERT_EQ(g.gb->FindFilterByName("Registered renderer", r.ReleaseAndGetAddressOf()), S_OK);
            EXPECT_EQ(GetPinFilter(In(r.Get())).Get(), r.Get());
            IPin* peer = nullptr;
            ASSERT_EQ(In(r.Get())->ConnectedTo(&peer), S_OK);
            EXPECT_EQ(peer, Out(src.Get()));
            peer->Release();
            EXPECT_EQ(g.gb->Render(Out(src.Get())), VFW_E_ALREADY_CONNECTED);
        }
        {
            // A pin of another type: the transform is put in between.
            Graph g;
            ComPtr<IBaseFilter> src(new CTestSource(VideoType(SUBTYPE_A), 3, kFrame));
            g.gb->AddFilter(src.Get(), "Source");
            ASSERT_EQ(g.gb->Render(Out(src.Get())), S_OK);
            ComPtr<IBaseFilter> t, r;
            ASSERT_EQ(g.gb->FindFilterByName("Registered transform", t.ReleaseAndGetAddressOf()), S_OK);
            ASSERT_EQ(g.gb->FindFilterByName("Registered renderer", r.ReleaseAndGetAddressOf()), S_OK);
            ComPtr<IPin> peer;
            ASSERT_EQ(Out(t.Get())->ConnectedTo(peer.ReleaseAndGetAddressOf()), S_OK);
            EXPECT_EQ(peer.Get(), In(r.Get()));
            // The built chain plays to its end.
            ASSERT_TRUE(SUCCEEDED(g.mc->Run()));
            long code = 0;
            EXPECT_EQ(g.ev->WaitForCompletion(10000, &code), S_OK);
            g.mc->Stop();
        }
        {
            // Connect: no direct link, so the registered transform is inserted;
            // a pin nothing can take is refused and leaves no filters behind.
            Graph g;
            ComPtr<IBaseFilter> src(new CTestSource(VideoType(SUBTYPE_A), 3, kFrame));
            ComPtr<IBaseFilter> rend(new CTestRenderer(SUBTYPE_B));
            g.gb->AddFilter(src.Get(), "Source");
            g.gb->AddFilter(rend.Get(), "Renderer");
            ASSERT_EQ(g.gb->Connect(Out(src.Get()), In(rend.Get())), S_OK);
            ComPtr<IBaseFilter> t;
            EXPECT_EQ(g.gb->FindFilterByName("Registered transform", t.ReleaseAndGetAddressOf()), S_OK);

            ComPtr<IBaseFilter> other(new CTestSource(VideoType(MEDIASUBTYPE_YV12), 3, kFrame));
            ComPtr<IBaseFilter> rend2(new CTestRenderer(SUBTYPE_B));
            g.gb->AddFilter(other.Get(), "Other");
            g.gb->AddFilter(rend2.Get(), "Renderer2");
            EXPECT_EQ(g.gb->Connect(Out(other.Get()), In(rend2.Get())), VFW_E_CANNOT_CONNECT);
            EXPECT_EQ(g.gb->Render(Out(other.Get())), VFW_E_CANNOT_RENDER);
            ComPtr<IEnumFilters> e;
            g.gb->EnumFilters(e.ReleaseAndGetAddressOf());
            IBaseFilter* all[8];
            ULONG n = 0;
            e->Next(8, all, &n);
            for (ULONG i = 0; i < n; ++i) all[i]->Release();
            EXPECT_EQ(n, 5u);
        }
        UnregisterFilter(CLSID_TestTransform);
        UnregisterFilter(CLSID_TestRenderer);
    }
    EXPECT_EQ(CUnknown::LiveObjects(), before);
}

TEST(Graph, RunsSeeksAndStopsASourceTransformRendererChain) {
    constexpr int kFrames = 40;
    long before = CUnknown::LiveObjects();
    {
        Graph g;
        QueueWindow win;
        g.ev->SetNotifyWindow(&win, kGraphMessage, 0);
        auto* src = new CTestSource(VideoType(SUBTYPE_A), kFrames, kFrame);
        auto* xf = new CTestTransform(SUBTYPE_A, SUBTYPE_B);
        auto* rend = new CTestRenderer(SUBTYPE_B);
        ComPtr<IBaseFilter> hold[] = {src, xf, rend};
        ASSERT_NO_FATAL_FAILURE(g.AddChain(src, xf, rend));

        // Seeking reaches the source through the renderer and the transform.
        ASSERT_EQ(g.ms->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME), S_OK);
        LONGLONG duration = 0;
        ASSERT_EQ(g.ms->GetDuration(&duration), S_OK);
        EXPECT_EQ(duration, kFrames * kFrame);
        REFTIME seconds = 0;
        ASSERT_EQ(g.gb.As<IMediaPosition>()->get_Duration(&seconds), S_OK);
        EXPECT_DOUBLE_EQ(seconds, 0.8);

        ASSERT_TRUE(SUCCEEDED(g.mc->Pause()));
        EXPECT_EQ(g.State(5000), State_Paused);
        ASSERT_TRUE(SUCCEEDED(g.mc->Run()));
        ASSERT_TRUE(WaitUntil([&] { return rend->Count() >= 5; }));

        LONGLONG target = 25 * kFrame;
        ASSERT_EQ(g.ms->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                     AM_SEEKING_NoPositioning),
                  S_OK);
        EXPECT_EQ(g.State(), State_Running);
        LONGLONG pos = 0;
        ASSERT_EQ(g.ms->GetCurrentPosition(&pos), S_OK);
        EXPECT_GE(pos, target);
        EXPECT_LT(pos, duration);

        long code = 0;
        ASSERT_EQ(g.ev->WaitForCompletion(10000, &code), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
        std::vector<Rendered> got = rend->Samples();
        // After the seek the stream starts again at frame 25, as a discontinuity
        // at time 0 of the new segment, and plays on to the end without gaps.
        auto it = std::find_if(got.begin(), got.end(), [](const Rendered& r) { return r.mediaStart == 25 && r.discontinuity; });
        ASSERT_NE(it, got.end());
        EXPECT_EQ(it->start, 0);
        EXPECT_LT(it->streamTime, 200 * MILLISECONDS);  // stream time began again
        int expect = 25;
        for (; it != got.end(); ++it) EXPECT_EQ(it->mediaStart, expect++);
        EXPECT_EQ(expect, kFrames);
        ASSERT_EQ(g.ms->GetCurrentPosition(&pos), S_OK);
        EXPECT_LE(pos, duration);

        auto completes = OfCode(Drain(g.ev.Get()), EC_COMPLETE);
        EXPECT_EQ(completes.size(), 1u);
        ASSERT_EQ(g.mc->Stop(), S_OK);
        EXPECT_EQ(g.State(), State_Stopped);
        g.ev->SetNotifyWindow(nullptr, 0, 0);
    }
    // The graph let go of its filters, pins, allocators and clock.
    EXPECT_EQ(CUnknown::LiveObjects(), before);
}

namespace {
// A renderer that is also a clock, as a sound renderer is.
class ClockRenderer : public CTestRenderer {
public:
    ClockRenderer() : CTestRenderer(SUBTYPE_A) {
        HRESULT hr = S_OK;
        m_clock = new CBaseReferenceClock("Renderer clock", GetOwner(), &hr);
    }
    ~ClockRenderer() override { delete m_clock; }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IReferenceClock) return m_clock->NonDelegatingQueryInterface(riid, ppv);
        return CTestRenderer::NonDelegatingQueryInterface(riid, ppv);
    }

private:
    CBaseReferenceClock* m_clock;
};
}  // namespace

TEST(Graph, PrefersARenderersClockAndStillFreesEverything) {
    long before = CUnknown::LiveObjects();
    {
        Graph g;
        ComPtr<IBaseFilter> src(new CTestSource(VideoType(SUBTYPE_A), 3, 10 * MILLISECONDS));
        ComPtr<IBaseFilter> rend(new ClockRenderer());
        g.gb->AddFilter(src.Get(), "Source");
        g.gb->AddFilter(rend.Get(), "Renderer");
        ASSERT_EQ(g.gb->ConnectDirect(Out(src.Get()), In(rend.Get()), nullptr), S_OK);
        ASSERT_TRUE(SUCCEEDED(g.mc->Run()));
        ComPtr<IReferenceClock> graphClock, filterClock;
        ASSERT_EQ(g.gb.As<IMediaFilter>()->GetSyncSource(graphClock.ReleaseAndGetAddressOf()), S_OK);
        ASSERT_EQ(src->GetSyncSource(filterClock.ReleaseAndGetAddressOf()), S_OK);
        EXPECT_EQ(graphClock.Get(), rend.As<IReferenceClock>().Get());
        EXPECT_EQ(filterClock.Get(), graphClock.Get());
        long code = 0;
        EXPECT_EQ(g.ev->WaitForCompletion(10000, &code), S_OK);
        // The graph goes away while running: it stops and unhooks everything,
        // including the renderer holding its own clock.
    }
    EXPECT_EQ(CUnknown::LiveObjects(), before);
}

TEST(Graph, ReleasedWhileRunningStopsAndFreesItsFilters) {
    long before = CUnknown::LiveObjects();
    {
        Graph g;
        auto* src = new CTestSource(VideoType(SUBTYPE_A), 500, kFrame);
        auto* xf = new CTestTransform(SUBTYPE_A, SUBTYPE_B);
        auto* rend = new CTestRenderer(SUBTYPE_B);
        ASSERT_NO_FATAL_FAILURE(g.AddChain(src, xf, rend));
        ASSERT_TRUE(SUCCEEDED(g.mc->Run()));
        ASSERT_TRUE(WaitUntil([&] { return rend->Count() >= 2; }));
        // Only the graph holds the filters now.
    }
    EXPECT_EQ(CUnknown::LiveObjects(), before);
}
