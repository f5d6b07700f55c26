// The renderers in graphs: real-time playback, the paused picture, the
// composed window contents, and Render finding decoder and audio renderer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "es_source.h"
#include "fixtures.h"
#include "platform/codecs/audio_decoder.h"
#include "platform/codecs/audio_renderer.h"
#include "platform/codecs/codecs.h"
#include "platform/codecs/memory_dc.h"
#include "platform/codecs/mpeg_video_decoder.h"
#include "platform/codecs/video_renderer.h"
#include "platform/framework/graph.h"
#include "platform/framework/mediatype.h"
#include "platform/win/queue_window.h"

using namespace codecs;
using namespace codecs::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A graph of: test source (video, audio) → decoders → video mixing renderer
// and audio renderer, built from the registry like the players build it.
struct PlayGraph {
    ComPtr<IGraphBuilder> graph;
    ComPtr<CTestSource> source;
    ComPtr<IBaseFilter> videoDecoder, vmr;
    ComPtr<IVMRWindowlessControl> control;
    ComPtr<IMediaControl> mc;
    ComPtr<IMediaEventEx> events;

    PlayGraph(const DemuxedVob& es, const EsStream* audio, bool soundDevice) {
        RegisterPlatformCodecs();
        EXPECT_EQ(CreateFilterGraph(graph.ReleaseAndGetAddressOf()), S_OK);
        std::vector<const EsStream*> streams{es.Video()};
        if (audio) streams.push_back(audio);
        source = ComPtr<CTestSource>(new CTestSource(streams));
        EXPECT_EQ(graph->AddFilter(source.Get(), "Reader"), S_OK);
        EXPECT_EQ(CoCreateInstance(CLSID_MpegDecoder, &videoDecoder), S_OK);
        EXPECT_EQ(graph->AddFilter(videoDecoder.Get(), "Decoder"), S_OK);
        EXPECT_EQ(CoCreateInstance(CLSID_VideoMixingRenderer, &vmr), S_OK);
        EXPECT_EQ(graph->AddFilter(vmr.Get(), "Video Mixing Renderer"), S_OK);
        ComPtr<IVMRFilterConfig> config;
        EXPECT_EQ(vmr.As(&config), S_OK);
        config->SetNumberOfStreams(1);
        config->SetRenderingMode(VMRMode_Windowless);
        config->SetRenderingPrefs(0);
        EXPECT_EQ(vmr.As(&control), S_OK);
        EXPECT_EQ(graph->ConnectDirect(FindPin(source.Get(), PINDIR_OUTPUT, 0).Get(),
                                       FindPin(videoDecoder.Get(), PINDIR_INPUT, 0).Get(), nullptr),
                  S_OK);
        EXPECT_EQ(graph->ConnectDirect(FindPin(videoDecoder.Get(), PINDIR_OUTPUT, 0).Get(),
                                       FindPin(vmr.Get(), PINDIR_INPUT, 0).Get(), nullptr),
                  S_OK);
        if (audio) {
            EXPECT_EQ(graph->Render(FindPin(source.Get(), PINDIR_OUTPUT, 1).Get()), S_OK);
        }
        if (!soundDevice) ForEachAudioRenderer([](CAudioRenderer* r) { r->UseSoundDevice(false); });
        EXPECT_EQ(graph.As(&mc), S_OK);
        EXPECT_EQ(graph.As(&events), S_OK);
    }
    ~PlayGraph() {
        if (mc) mc->Stop();
    }

    template <class F>
    void ForEachAudioRenderer(F f) {
        ComPtr<IEnumFilters> e;
        graph->EnumFilters(e.ReleaseAndGetAddressOf());
        IBaseFilter* f0 = nullptr;
        while (e->Next(1, &f0, nullptr) == S_OK) {
            ComPtr<IBaseFilter> filter;
            filter.Attach(f0);
            CLSID id{};
            filter->GetClassID(&id);
            if (id == CLSID_DSoundRender) f(static_cast<CAudioRenderer*>(filter.Get()));
        }
    }

    // Waits for the graph's completion; false on time-out.
    bool WaitComplete(long ms) {
        long code = 0;
        return events->WaitForCompletion(ms, &code) == S_OK && code == EC_COMPLETE;
    }
};

OAFilterState WaitState(IMediaControl* mc) {
    OAFilterState s = -1;
    for (int i = 0; i < 500 && mc->GetState(10, &s) != S_OK; ++i) {
    }
    return s;
}

}  // namespace

// A short title plays at normal speed with picture and sound (here without a
// sound device: the audio renderer keeps time by the system clock), and the
// graph completes when both streams have ended.
TEST(Renderers, TitlePlaysInRealTime) {
    const DemuxedVob es = DemuxVob(fixtures::VobPath(fixtures::Disc::Pal, 2));  // 4 s, LPCM
    PlayGraph g(es, es.Find(0xBDA0), false);
    QueueWindow window(RECT{0, 0, 320, 240});
    g.control->SetVideoClippingWindow(&window);
    const auto t0 = Clock::now();
    ASSERT_TRUE(SUCCEEDED(g.mc->Run()));
    ASSERT_TRUE(g.WaitComplete(20000));
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    EXPECT_GT(seconds, 3.6);
    EXPECT_LT(seconds, 8.0);  // generous: CI machines are shared
    // Pictures were presented one by one: the window was asked to repaint for them.
    EXPECT_GT(window.InvalidateCount(), 50);
    g.mc->Stop();
}

// Paused, the renderer shows the first picture, and GetCurrentImage returns it
// as a packed bitmap: what ffmpeg makes of the same picture.
TEST(Renderers, CurrentImageAfterPauseIsTheFirstPicture) {
    const fs::path vob = fixtures::VobPath(fixtures::Disc::Pal, 3);
    const DemuxedVob es = DemuxVob(vob);
    PlayGraph g(es, nullptr, false);
    ASSERT_TRUE(SUCCEEDED(g.mc->Pause()));
    EXPECT_EQ(WaitState(g.mc.Get()), State_Paused);
    BYTE* dib = nullptr;
    ASSERT_EQ(g.control->GetCurrentImage(&dib), S_OK);
    ASSERT_TRUE(dib);
    BITMAPINFOHEADER bmi;
    std::memcpy(&bmi, dib, sizeof(bmi));
    EXPECT_EQ(bmi.biSize, 40u);
    EXPECT_EQ(bmi.biWidth, 720);
    EXPECT_EQ(bmi.biHeight, 576);  // positive: bottom-up rows
    EXPECT_EQ(bmi.biBitCount, 32);

    const std::string out =
        (fs::temp_directory_path() / ("codecs-rgb-" + std::to_string(::getpid()))).string();
    fixtures::RunCommand("ffmpeg -v error -y -i " + fixtures::Quote(vob.string()) +
                         " -map 0:v -frames:v 1 -f rawvideo -pix_fmt bgr0 " + fixtures::Quote(out));
    std::vector<uint8_t> ref(720 * 576 * 4);
    FILE* f = std::fopen(out.c_str(), "rb");
    ASSERT_TRUE(f);
    ASSERT_EQ(std::fread(ref.data(), 1, ref.size(), f), ref.size());
    std::fclose(f);
    std::remove(out.c_str());
    double diff = 0;
    for (int y = 0; y < 576; ++y) {
        const BYTE* row = dib + 40 + size_t(575 - y) * 720 * 4;  // bottom-up
        for (int x = 0; x < 720 * 4; ++x)
            if (x % 4 != 3) diff += std::abs(int(row[x]) - int(ref[size_t(y) * 720 * 4 + x]));
    }
    EXPECT_LT(diff / (720.0 * 576 * 3), 4.0);
    CoTaskMemFree(dib);

    // Repaints draw the held picture into the window's drawing context.
    CMemoryDC dc(720, 576);
    const RECT whole{0, 0, 720, 576};
    g.control->SetVideoPosition(nullptr, &whole);
    EXPECT_EQ(g.control->RepaintVideo(nullptr, &dc), S_OK);
    EXPECT_NE(dc.Pixel(100, 100), 0u);
    g.mc->Stop();
}

// Letterbox bars in the border colour, the picture between them, and the
// overlay's non-key pixels over it, through the renderer's interfaces.
TEST(Renderers, LetterboxAndColourKeyedOverlayCompose) {
    const DemuxedVob es = DemuxVob(fixtures::VobPath(fixtures::Disc::Pal, 3));
    PlayGraph g(es, nullptr, false);
    ASSERT_EQ(g.control->SetAspectRatioMode(VMR_ARMODE_LETTER_BOX), S_OK);
    const RECT dest{0, 0, 400, 200};
    ASSERT_EQ(g.control->SetVideoPosition(nullptr, &dest), S_OK);
    ASSERT_EQ(g.control->SetBorderColor(RGB(0, 0, 255)), S_OK);
    CMemoryDC overlay(400, 200, RGB(0, 0, 0));
    overlay.FillRect(RECT{0, 0, 400, 10}, RGB(255, 255, 0));  // a yellow strip along the top
    VMRALPHABITMAP bmp;
    bmp.dwFlags = VMRBITMAP_HDC | VMRBITMAP_SRCCOLORKEY;
    bmp.hdc = &overlay;
    bmp.rSrc = RECT{0, 0, 400, 200};
    bmp.rDest = NORMALIZEDRECT{0, 0, 1, 1};
    bmp.fAlpha = 1.0f;
    bmp.clrSrcKey = RGB(0, 0, 0);
    ComPtr<IVMRMixerBitmap> mixer;
    ASSERT_EQ(g.vmr.As(&mixer), S_OK);
    ASSERT_EQ(mixer->SetAlphaBitmap(&bmp), S_OK);

    ASSERT_TRUE(SUCCEEDED(g.mc->Pause()));
    EXPECT_EQ(WaitState(g.mc.Get()), State_Paused);
    CMemoryDC screen(400, 200);
    ASSERT_EQ(g.control->RepaintVideo(nullptr, &screen), S_OK);
    // 4:3 in 400x200: the picture is 267 wide, centred; bars left and right.
    EXPECT_EQ(screen.Pixel(10, 100) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(screen.Pixel(390, 100) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(screen.Pixel(200, 2) & 0xFFFFFF, 0xFFFF00u);  // overlay strip over the picture
    const uint32_t middle = screen.Pixel(200, 100) & 0xFFFFFF;
    EXPECT_NE(middle, 0x0000FFu);  // the picture shows through the key colour
    EXPECT_NE(middle, 0u);
    // Stretch fills the destination: no bars.
    g.control->SetAspectRatioMode(VMR_ARMODE_NONE);
    g.control->RepaintVideo(nullptr, &screen);
    EXPECT_NE(screen.Pixel(10, 100) & 0xFFFFFF, 0x0000FFu);
    g.mc->Stop();
}

// Render on an audio pin builds decoder → default audio renderer from the registry.
TEST(Renderers, RenderOnTheAudioPinBuildsDecoderAndAudioRenderer) {
    struct Case {
        fixtures::Disc disc;
        int vts, id;
    } cases[] = {{fixtures::Disc::Pal, 1, 0xBD80},
                 {fixtures::Disc::Pal, 1, 0xC000},
                 {fixtures::Disc::Pal, 3, 0xBD88}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const DemuxedVob es = DemuxVob(fixtures::VobPath(c.disc, c.vts));
        PlayGraph g(es, es.Find(c.id), false);
        ComPtr<IPin> pin = FindPin(g.source.Get(), PINDIR_OUTPUT, 1);
        ComPtr<IPin> next;
        ASSERT_EQ(pin->ConnectedTo(next.ReleaseAndGetAddressOf()), S_OK);
        CLSID id{};
        GetPinFilter(next.Get())->GetClassID(&id);
        EXPECT_EQ(id, CLSID_MpaDecoder);
        ComPtr<IPin> out = FindPin(GetPinFilter(next.Get()).Get(), PINDIR_OUTPUT, 0);
        ASSERT_EQ(out->ConnectedTo(next.ReleaseAndGetAddressOf()), S_OK);
        GetPinFilter(next.Get())->GetClassID(&id);
        EXPECT_EQ(id, CLSID_DSoundRender);
        // The audio renderer offers the graph its clock.
        ComPtr<IReferenceClock> clock;
        EXPECT_EQ(GetPinFilter(next.Get()).As(&clock), S_OK);
    }
}

// With whatever sound the machine has (none on servers), playing sound never
// hangs and completes in about real time.
TEST(Renderers, AudioRendererCompletesWithOrWithoutADevice) {
    const DemuxedVob es = DemuxVob(fixtures::VobPath(fixtures::Disc::Pal, 2));
    PlayGraph g(es, es.Find(0xBDA0), true);
    const auto t0 = Clock::now();
    ASSERT_TRUE(SUCCEEDED(g.mc->Run()));
    ASSERT_TRUE(g.WaitComplete(20000));
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    EXPECT_GT(seconds, 3.4);
    EXPECT_LT(seconds, 8.0);
    int64_t bytes = 0;
    g.ForEachAudioRenderer([&](CAudioRenderer* r) { bytes += r->BytesRendered(); });
    EXPECT_NEAR(double(bytes), 4.0 * 48000 * 4, 48000 * 4 * 0.1);
    g.mc->Stop();
}

// Pausing a running stream completes at once and keeps its picture; cueing
// again from stopped shows the new first picture, not the one held before.
TEST(Renderers, PauseWhilePlayingAndCueAgain) {
    const DemuxedVob es = DemuxVob(fixtures::VobPath(fixtures::Disc::Pal, 3));
    PlayGraph g(es, nullptr, false);
    auto image = [&] {
        BYTE* dib = nullptr;
        std::vector<BYTE> copy;
        if (g.control->GetCurrentImage(&dib) == S_OK) {
            copy.assign(dib, dib + 40 + 720 * 576 * 4);
            CoTaskMemFree(dib);
        }
        return copy;
    };
    ASSERT_TRUE(SUCCEEDED(g.mc->Pause()));
    ASSERT_EQ(WaitState(g.mc.Get()), State_Paused);
    const auto first = image();
    ASSERT_FALSE(first.empty());
    ASSERT_TRUE(SUCCEEDED(g.mc->Run()));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(SUCCEEDED(g.mc->Pause()));
    OAFilterState s = -1;
    EXPECT_EQ(g.mc->GetState(2000, &s), S_OK);
    EXPECT_EQ(s, State_Paused);
    const auto later = image();
    EXPECT_NE(later, first);  // the running counter has moved on
    g.mc->Stop();
    ASSERT_TRUE(SUCCEEDED(g.mc->Pause()));
    ASSERT_EQ(WaitState(g.mc.Get()), State_Paused);
    EXPECT_EQ(image(), first);
    g.mc->Stop();
}
