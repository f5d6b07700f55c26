// The conversion sink between test sources and a real media writer: the clip
// window, the constant frame rate, completion and the preview copies.
#include "encoding/conv_filter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <cmath>

#include "../filters/test_filters.h"
#include "filters/audio_conv_filter.h"
#include "filters/video_conv_filter.h"
#include "probe.h"

using namespace testfilters;

namespace {

constexpr LONG W = 32, H = 16;
constexpr long kPicture = W * H * 3 / 2;
constexpr REFERENCE_TIME kSecond = UNITS;

// Stands in for the graph: records the events the sink raises.
class EventRecorder : public IFilterGraph, public IMediaEventSink {
  public:
    struct Event {
        long code;
        LONG_PTR p1, p2;
    };
    std::vector<Event> events;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IMediaEventSink) {
            *ppv = static_cast<IMediaEventSink*>(this);
            return S_OK;
        }
        if (riid == IID_IFilterGraph || riid == IID_IUnknown) {
            *ppv = static_cast<IFilterGraph*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT Notify(long code, LONG_PTR p1, LONG_PTR p2) override {
        events.push_back({code, p1, p2});
        return S_OK;
    }
    HRESULT AddFilter(IBaseFilter*, const char*) override { return E_NOTIMPL; }
    HRESULT RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
    HRESULT EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
    HRESULT FindFilterByName(const char*, IBaseFilter**) override { return E_NOTIMPL; }
    HRESULT ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT Reconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT Disconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT SetDefaultSyncSource() override { return E_NOTIMPL; }
};

std::vector<BYTE> Picture(int index) {
    std::vector<BYTE> p(kPicture, BYTE(128));
    std::memset(p.data(), index & 0xFF, W * H);
    return p;
}

// A sink wired to a video source and an audio source, writing a raw file so
// that every picture handed to the writer is counted exactly.
struct SinkRig {
    Chain chain;
    CMediaWriter writer;
    EncoderSettings settings;
    TestSource* video = nullptr;
    TestSource* audio = nullptr;
    CConvFilter* conv = nullptr;
    TestSink* preview = nullptr;
    EventRecorder graph;

    SinkRig(int frameRate, bool withVideo, bool withAudio, bool withPreview = false,
            const char* vcodec = "rawvideo", const char* acodec = "pcm_s16le") {
        settings = testutil::MakeSettings(vcodec, W, H, frameRate, acodec, 48000, 2);
        EXPECT_TRUE(writer.Open(testutil::TempPath("sink.nut"), settings)) << writer.LastError();
        HRESULT hr = E_FAIL;
        if (withVideo) video = chain.Add(new TestSource(VideoType(W, H), kPicture, 8));
        if (withAudio) audio = chain.Add(new TestSource(AudioType(2, 48000), 96000, 8));
        conv = chain.Add(CConvFilter::Create(&hr));
        EXPECT_EQ(hr, S_OK);
        conv->JoinFilterGraph(&graph, "Conver");
        conv->SetWriter(&writer);
        conv->SetFrameDuration(CConvFilter::FrameDurationFor(frameRate));
        if (video) {
            EXPECT_EQ(chain.Link(video->Pin(), conv->VideoPin()), S_OK);
        }
        if (audio) {
            EXPECT_EQ(chain.Link(audio->Pin(), conv->AudioPin()), S_OK);
        }
        if (withPreview) {
            preview = chain.Add(new TestSink());
            EXPECT_EQ(chain.Link(conv->PreviewPin(), preview->Pin()), S_OK);
        }
        EXPECT_EQ(chain.Run(), S_OK);
    }
    ~SinkRig() {
        chain.Stop();
        conv->JoinFilterGraph(nullptr, nullptr);
        writer.Close();
    }
    // Pictures written for one sample.
    std::int64_t PushPicture(int index, REFERENCE_TIME start, REFERENCE_TIME stop) {
        const std::int64_t before = writer.VideoFramesWritten();
        auto pic = Picture(index);
        EXPECT_EQ(video->PushTimed(pic.data(), kPicture, start, stop), S_OK);
        return writer.VideoFramesWritten() - before;
    }
    std::int64_t PushSound(int frames, REFERENCE_TIME start, REFERENCE_TIME stop) {
        const std::int64_t before = writer.AudioSamplesWritten();
        std::vector<std::int16_t> pcm(std::size_t(frames) * 2, 1000);
        EXPECT_EQ(audio->PushTimed(pcm.data(), long(pcm.size() * 2), start, stop), S_OK);
        return writer.AudioSamplesWritten() - before;
    }
};

TEST(ConvFilter, MakesItsPinsInOrder) {
    HRESULT hr = E_FAIL;
    ComPtr<IBaseFilter> keep(CConvFilter::Create(&hr));
    ASSERT_EQ(hr, S_OK);
    auto* conv = static_cast<CConvFilter*>(keep.Get());
    ASSERT_EQ(conv->GetPinCount(), 3);
    const char* names[] = {"Audio In", "Video In", "Video Pre"};
    const PIN_DIRECTION dirs[] = {PINDIR_INPUT, PINDIR_INPUT, PINDIR_OUTPUT};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(conv->GetPin(i)->Name(), names[i]);
        PIN_DIRECTION d;
        conv->GetPin(i)->QueryDirection(&d);
        EXPECT_EQ(d, dirs[i]);
    }
    EXPECT_EQ(conv->GetPin(3), nullptr);
    EXPECT_TRUE(conv->PreviewOn());
    // Seeking questions are answered through the audio input's upstream.
    ComPtr<IMediaSeeking> seeking;
    EXPECT_EQ(conv->QueryInterface(IID_IMediaSeeking, seeking.ReleaseAndGetVoidAddress()), S_OK);
    EXPECT_NE(seeking.Get(), nullptr);
}

TEST(ConvFilter, FrameDurationIsComputedInDoubles) {
    EXPECT_DOUBLE_EQ(CConvFilter::FrameDurationFor(25000), 400000.0);
    EXPECT_NEAR(CConvFilter::FrameDurationFor(29970), 333667.00033, 1e-4);
}

TEST(ConvFilter, HoldsTheProfileFrameRateByRepeatingAndSkipping) {
    struct Case {
        const char* what;
        int frameRate;
        REFERENCE_TIME inputFrame;
        std::vector<std::int64_t> writes;  // per input picture
        REFERENCE_TIME endPosition;
    };
    const Case cases[] = {
        {"25 in, 25 out", 25000, 400000, {1, 1, 1, 1, 1, 1}, 6 * 400000},
        {"25 in, 29.97 out: every fifth twice",
         29970,
         400000,
         {2, 1, 1, 1, 1, 2, 1, 1, 1, 1, 2},
         14 * 333667},
        {"29.97 in, 25 out: some skipped", 25000, 333667, {1, 1, 1, 1, 1, 1, 0, 1}, 7 * 400000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SinkRig rig(c.frameRate, true, false);
        std::vector<std::int64_t> writes;
        for (std::size_t i = 0; i < c.writes.size(); ++i)
            writes.push_back(rig.PushPicture(int(i), REFERENCE_TIME(i) * c.inputFrame,
                                             REFERENCE_TIME(i + 1) * c.inputFrame));
        EXPECT_EQ(writes, c.writes);
        EXPECT_EQ(rig.conv->VideoPosition(), c.endPosition);
    }
}

TEST(ConvFilter, WritesNothingWhilePausedAndDropsWhatAStopReleases) {
    for (bool thenRun : {true, false}) {
        SCOPED_TRACE(thenRun ? "paused, then run" : "paused, then stopped");
        SinkRig rig(25000, true, false);
        rig.conv->Pause();
        std::atomic<bool> returned{false};
        std::thread pusher([&] {
            auto pic = Picture(1);
            rig.video->PushTimed(pic.data(), kPicture, 0, 400000);
            returned = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(returned) << "a paused sink must hold the picture back";
        EXPECT_EQ(rig.writer.VideoFramesWritten(), 0);
        if (thenRun)
            rig.conv->Run(0);
        else
            rig.conv->Stop();
        pusher.join();
        EXPECT_EQ(rig.writer.VideoFramesWritten(), thenRun ? 1 : 0);
    }
}

TEST(ConvFilter, KeepsOnlyTheClipWindowAndStartsTheClockAtItsStart) {
    CConvFilter::ResetPreviewCounter();
    SinkRig rig(25000, true, true, /*withPreview=*/true);
    rig.conv->SetWindow(10 * kSecond, 20 * kSecond);
    // Ends before the window: neither written nor previewed.
    EXPECT_EQ(rig.PushPicture(1, 9 * kSecond, 9 * kSecond + 400000), 0);
    // Straddles the window start: shifted to -0.02 s .. 0.02 s, written once.
    EXPECT_EQ(rig.PushPicture(2, 9980 * 10000, 10020 * 10000), 1);
    EXPECT_EQ(rig.conv->VideoPosition(), 400000);
    EXPECT_EQ(rig.PushPicture(3, 10020 * 10000, 10060 * 10000), 1);
    // Starts after the window: dropped.
    EXPECT_EQ(rig.PushPicture(4, 20 * kSecond + 1, 20 * kSecond + 400000), 0);

    // Sound overlapping an edge is written whole; its position is unshifted.
    EXPECT_EQ(rig.PushSound(960, 9990 * 10000, 10010 * 10000), 960);
    EXPECT_EQ(rig.conv->AudioPosition(), 9990 * 10000);
    EXPECT_EQ(rig.PushSound(960, 5 * kSecond, 5 * kSecond + 200000), 0);
    EXPECT_EQ(rig.PushSound(960, 21 * kSecond, 21 * kSecond + 200000), 0);
    EXPECT_EQ(rig.conv->AudioPosition(), 9990 * 10000);

    // Only the first picture inside the window reached the preview.
    ASSERT_TRUE(rig.preview->WaitFor(SinkEvent::Sample, 1));
    auto shown = rig.preview->Samples();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].data[0], 2);
}

TEST(ConvFilter, PreviewGetsEveryFifthPictureWithoutTimes) {
    CConvFilter::ResetPreviewCounter();
    SinkRig rig(25000, true, false, /*withPreview=*/true);
    for (int i = 0; i < 11; ++i) rig.PushPicture(i, i * 400000, (i + 1) * 400000);
    ASSERT_TRUE(rig.preview->WaitFor(SinkEvent::Sample, 3));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto shown = rig.preview->Samples();
    ASSERT_EQ(shown.size(), 3u);
    const int expected[] = {0, 5, 10};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(shown[i].data.size(), std::size_t(kPicture));
        EXPECT_EQ(shown[i].data[0], expected[i]);
        EXPECT_EQ(shown[i].timeResult, VFW_E_SAMPLE_TIME_NOT_SET);
    }
    // Switched off: nothing more is copied, the writer still gets everything.
    rig.conv->SetPreview(false);
    for (int i = 11; i < 22; ++i) EXPECT_EQ(rig.PushPicture(i, i * 400000, (i + 1) * 400000), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(rig.preview->Samples().size(), 3u);
}

TEST(ConvFilter, CompletesOnceEveryConnectedInputHasEnded) {
    {
        SCOPED_TRACE("video only");
        SinkRig rig(25000, true, false);
        rig.PushPicture(0, 0, 400000);
        EXPECT_TRUE(rig.graph.events.empty());
        rig.video->EndOfStream();
        ASSERT_EQ(rig.graph.events.size(), 1u);
        EXPECT_EQ(rig.graph.events[0].code, EC_COMPLETE);
        EXPECT_EQ(rig.graph.events[0].p1, S_OK);
        EXPECT_EQ(rig.graph.events[0].p2, LONG_PTR(static_cast<IBaseFilter*>(rig.conv)));
    }
    {
        SCOPED_TRACE("video and audio");
        SinkRig rig(25000, true, true);
        rig.audio->EndOfStream();
        EXPECT_TRUE(rig.graph.events.empty());
        rig.video->EndOfStream();
        ASSERT_EQ(rig.graph.events.size(), 1u);
        EXPECT_EQ(rig.graph.events[0].code, EC_COMPLETE);
        // A second end of stream does not complete the item again.
        rig.video->EndOfStream();
        EXPECT_EQ(rig.graph.events.size(), 1u);
    }
}

TEST(ConvFilter, SamplesForAStreamTheWriterLacksAreDropped) {
    // The profile has sound only; pictures arrive anyway.
    SinkRig rig(25000, true, true, false, "", "pcm_s16le");
    ASSERT_FALSE(rig.writer.HasVideoStream());
    EXPECT_EQ(rig.PushPicture(0, 0, 400000), 0);
    EXPECT_EQ(rig.conv->VideoPosition(), 0);
    EXPECT_EQ(rig.PushSound(480, 0, 100000), 480);
}

// Decoded-size pictures and DVD sound through both conversion filters into the
// sink and an FLV file, as a conversion runs them.
TEST(ConvFilter, ConvertsAClipEndToEnd) {
    const std::string path = testutil::TempPath("clip.flv");
    EncoderSettings settings =
        testutil::MakeSettings("flv", 320, 240, 25000, "libmp3lame", 44100, 2);
    CMediaWriter writer;
    ASSERT_TRUE(writer.Open(path, settings)) << writer.LastError();
    EventRecorder graph;
    {
        Chain chain;
        auto* vsrc =
            chain.Add(new TestSource(VideoType(720, 480, FORMAT_VideoInfo2), 720 * 480 * 3 / 2));
        auto* asrc = chain.Add(new TestSource(AudioType(2, 48000), 20000));
        auto* vconv = chain.Add(new CMyVideoConveFilter());
        auto* aconv = chain.Add(new CMyAudioConveFilter());
        HRESULT hr = E_FAIL;
        auto* sink = chain.Add(CConvFilter::Create(&hr));
        ASSERT_EQ(hr, S_OK);
        sink->JoinFilterGraph(&graph, "Conver");
        sink->SetWriter(&writer);
        sink->SetFrameDuration(CConvFilter::FrameDurationFor(settings.FrameRate));
        sink->SetWindow(0, 2 * kSecond);
        vconv->SetGeometry(ZOOM_KEEP_ASPECT, RECT{0, 0, 720, 480}, RECT{0, 0, 320, 240});
        aconv->SetOutputFormat(2, 44100);
        ASSERT_EQ(chain.Link(vsrc->Pin(), vconv->GetPin(0)), S_OK);
        ASSERT_EQ(chain.Link(vconv->GetPin(1), sink->VideoPin()), S_OK);
        ASSERT_EQ(chain.Link(asrc->Pin(), aconv->GetPin(0)), S_OK);
        ASSERT_EQ(chain.Link(aconv->GetPin(1), sink->AudioPin()), S_OK);
        ASSERT_EQ(chain.Run(), S_OK);

        // Two seconds: 50 pictures, and sound in 32 ms blocks, in time order.
        std::vector<BYTE> pic(720 * 480 * 3 / 2, 128);
        int frames = 0;
        for (int block = 0; block < 63; ++block) {
            const REFERENCE_TIME at = REFERENCE_TIME(block) * 320000;
            while (frames < 50 && REFERENCE_TIME(frames) * 400000 <= at) {
                std::memset(pic.data(), 40 + frames, 720 * 480);
                ASSERT_EQ(vsrc->PushTimed(pic.data(), long(pic.size()), frames * 400000LL,
                                          (frames + 1) * 400000LL),
                          S_OK);
                ++frames;
            }
            std::vector<std::int16_t> pcm(1536 * 2);
            for (int i = 0; i < 1536; ++i)
                pcm[2 * i] = pcm[2 * i + 1] =
                    std::int16_t(8000 * std::sin(2 * M_PI * 440.0 * (block * 1536 + i) / 48000));
            const long bytes = block == 62 ? 768 * 4 : long(pcm.size() * 2);  // ends at 2.0 s
            ASSERT_EQ(asrc->PushTimed(pcm.data(), bytes, at, at + 320000), S_OK);
        }
        while (frames < 50) {
            ASSERT_EQ(vsrc->PushTimed(pic.data(), long(pic.size()), frames * 400000LL,
                                      (frames + 1) * 400000LL),
                      S_OK);
            ++frames;
        }
        vsrc->EndOfStream();
        EXPECT_TRUE(graph.events.empty());
        asrc->EndOfStream();
        ASSERT_EQ(graph.events.size(), 1u);
        EXPECT_EQ(graph.events[0].code, EC_COMPLETE);
        chain.Stop();
        sink->JoinFilterGraph(nullptr, nullptr);
    }
    ASSERT_TRUE(writer.Close());

    auto spans = testutil::PacketSpans(path);
    const auto& video = spans[testutil::StreamIndex(path, "video")];
    const auto& audio = spans[testutil::StreamIndex(path, "audio")];
    EXPECT_EQ(video.packets, 50);
    EXPECT_NEAR(video.Span(), 2.0, 0.08);
    EXPECT_NEAR(audio.Span(), 2.0, 2 * 1152.0 / 44100);
    const auto info = testutil::Probe(path);
    for (const auto& st : info["streams"]) {
        if (st["codec_type"] == "video") {
            EXPECT_EQ(st["width"], 320);
            EXPECT_EQ(st["height"], 240);
        } else {
            EXPECT_EQ(st["sample_rate"], "44100");
        }
    }
}

}  // namespace
