// The preview player on the authored discs, with no window (as the CLI uses it)
// and with a queue window for its graph events. ffmpeg's own decoding of the
// VOBs judges the pictures; the discs' sine tones tell which sound track plays.
#include "pipelines/preview_player.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <mutex>
#include <regex>
#include <thread>

#include "dvd/catalogue.h"
#include "platform/codecs/audio_renderer.h"
#include "platform/codecs/codecs.h"
#include "platform/codecs/mpeg_video_decoder.h"
#include "platform/codecs/video_renderer.h"
#include "platform/framework/framework.h"
#include "platform/win/messages.h"
#include "platform/win/queue_window.h"
#include "preview_helpers.h"

namespace fs = std::filesystem;
using namespace preview_test;
using fixtures::Disc;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;

namespace {

constexpr UINT kGraphNotify = WM_USER + 20;

class PreviewPlayerTest : public ::testing::Test {
  protected:
    void SetUp() override { RegisterPlatformCodecs(); }
    void TearDown() override { CloseDvd(); }

    void Load(const fs::path& disc) { ASSERT_TRUE(LoadDvd(disc.string())) << disc; }

    // Seeks, cues and hands back the picture the renderer holds.
    static Rgb PictureAt(PreviewPlayer& player, double seconds, bool stopFirst) {
        if (stopFirst) player.Stop();
        EXPECT_TRUE(player.SetPosition(seconds));
        player.Pause();
        EXPECT_TRUE(player.WaitUntilCued(20000)) << "no picture came at " << seconds << " s";
        BYTE* dib = nullptr;
        Rgb picture;
        if (player.WindowlessControl() &&
            SUCCEEDED(player.WindowlessControl()->GetCurrentImage(&dib)) && dib) {
            picture = FromDib(dib);
            CoTaskMemFree(dib);
        }
        return picture;
    }

    MessageLog messages_;
};

// Snapshots at several positions of NTSC title 1 are the pictures ffmpeg
// decodes at those times: testsrc's moving gradient and counter make every
// picture differ, so a wrong position picks a different best match. Both ways
// of seeking the player meets are covered: from stopped, and while paused.
TEST_F(PreviewPlayerTest, SnapshotIsThePictureAtThePosition) {
    Load(fixtures::NtscFolder());
    PreviewPlayer player;
    ASSERT_TRUE(player.Open(OpenDvdHandle(), nullptr));
    ASSERT_TRUE(player.SelectTitle(0, -1));
    const double fps = 30000.0 / 1001.0;
    const fs::path vob = fixtures::TitleVob(Disc::Ntsc, 1);
    struct Case {
        double seconds;
        bool stopFirst;
    } cases[] = {{0.0, true}, {2.5, true}, {6.0, false}, {11.0, false}, {4.0, true}};
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.seconds << " s" << (c.stopFirst ? " from stopped" : " while paused"));
        Rgb shot = PictureAt(player, c.seconds, c.stopFirst);
        ASSERT_EQ(shot.width, 720);
        ASSERT_EQ(shot.height, 480);
        int expected = int(std::lround(c.seconds * fps));
        auto [frame, psnr] = BestMatch(shot, vob, std::max(0, expected - 8), expected + 8);
        EXPECT_NEAR(frame, expected, 1);
        EXPECT_GT(psnr, 30.0);

        // The file the player writes holds that same picture.
        std::string file = dir.File("at.png");
        std::string error;
        ASSERT_TRUE(player.SaveSnapshot(file, &error)) << error;
        std::vector<Rgb> saved = DecodeWithFfmpeg(file, 720, 480);
        ASSERT_EQ(saved.size(), 1u);
        EXPECT_EQ(Psnr(saved[0], shot), 99);
    }
}

// A short title plays in about its own time; the window hears of the end once
// from each renderer (picture and sound); Stop and SetPosition(0) rewind, so the
// title plays again in full.
TEST_F(PreviewPlayerTest, PlaysInRealTimeAndReportsCompletionPerRenderer) {
    Load(fixtures::NtscFolder());
    QueueWindow window(RECT{0, 0, 640, 480});
    PreviewPlayer player;
    ASSERT_TRUE(player.Open(OpenDvdHandle(), &window, &kPreviewVideoRect));
    RECT dest{};
    ASSERT_NE(player.WindowlessControl(), nullptr);
    player.WindowlessControl()->GetVideoPosition(nullptr, &dest);
    EXPECT_EQ(dest.left, 32);
    EXPECT_EQ(dest.top, 110);
    EXPECT_EQ(dest.right, 311);
    EXPECT_EQ(dest.bottom, 319);

    ASSERT_TRUE(player.SelectTitle(1, -1));
    EXPECT_TRUE(player.IsStopped());
    EXPECT_EQ(player.TitleDuration(), 2000);
    double duration = 0;
    ASSERT_TRUE(player.GetDuration(duration));
    EXPECT_NEAR(duration, 2.0, 0.05);
    const double title = fixtures::TitleOf(Disc::Ntsc, 2).Seconds();

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "first play" : "after rewinding");
        window.TakeAll();
        auto start = std::chrono::steady_clock::now();
        player.Run();
        EXPECT_TRUE(player.IsRunning());
        int completions = 0;
        double lastAt = 0;
        auto deadline = start + std::chrono::seconds(30);
        while (completions < 2 && std::chrono::steady_clock::now() < deadline) {
            std::optional<PostedMessage> m = window.Wait(std::chrono::milliseconds(200));
            if (!m) continue;
            EXPECT_EQ(m->msg, kGraphNotify);
            EXPECT_EQ(m->lParam, 0);
            long code = 0;
            while (player.NextEvent(code))
                if (code == EC_COMPLETE) {
                    ++completions;
                    lastAt = std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                                 .count();
                }
        }
        ASSERT_EQ(completions, 2);
        EXPECT_GT(lastAt, 0.7 * title);
        EXPECT_LT(lastAt, 2.5 * title);
        // No third notice: there are two renderers.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        long code = 0;
        while (player.NextEvent(code)) EXPECT_NE(code, EC_COMPLETE);

        double at = 0;
        ASSERT_TRUE(player.GetCurrentPosition(at));
        EXPECT_GT(at, 0.5 * title);
        player.Stop();
        EXPECT_TRUE(player.IsStopped());
        ASSERT_TRUE(player.SetPosition(0));
        ASSERT_TRUE(player.GetCurrentPosition(at));
        EXPECT_NEAR(at, 0.0, 0.01);
    }
}

// Transport commands without a graph do nothing, position calls fail; with a
// title, the state tests follow the graph.
TEST_F(PreviewPlayerTest, TransportAndStates) {
    PreviewPlayer empty;
    EXPECT_TRUE(empty.Run());
    EXPECT_TRUE(empty.Pause());
    EXPECT_TRUE(empty.Stop());
    EXPECT_FALSE(empty.IsRunning());
    EXPECT_FALSE(empty.IsPaused());
    EXPECT_FALSE(empty.IsStopped());
    double s = 7;
    EXPECT_FALSE(empty.SetPosition(1));
    EXPECT_FALSE(empty.GetDuration(s));
    EXPECT_FALSE(empty.GetStopPosition(s));
    EXPECT_FALSE(empty.GetCurrentPosition(s));
    EXPECT_EQ(s, 7);
    StreamTable table;
    EXPECT_FALSE(empty.ListStreams(table));
    EXPECT_FALSE(empty.EnableStream(0, true));
    EXPECT_FALSE(empty.SaveSnapshot("/tmp/never-written.png"));
    EXPECT_FALSE(empty.SelectTitle(0, -1));

    Load(fixtures::NtscFolder());
    PreviewPlayer player;
    // Without a rectangle of its own the picture fills the window.
    QueueWindow window(RECT{0, 0, 400, 300});
    ASSERT_TRUE(player.Open(OpenDvdHandle(), &window));
    RECT dest{};
    ASSERT_NE(player.WindowlessControl(), nullptr);
    player.WindowlessControl()->GetVideoPosition(nullptr, &dest);
    EXPECT_EQ(dest.right, 400);
    EXPECT_EQ(dest.bottom, 300);
    ASSERT_TRUE(player.SelectTitle(2, -1));
    EXPECT_TRUE(player.IsStopped());
    ASSERT_TRUE(player.GetStopPosition(s));
    EXPECT_NEAR(s, 8.0, 0.05);
    player.Pause();
    EXPECT_TRUE(player.WaitUntilCued(20000));
    EXPECT_TRUE(player.IsPaused());
    EXPECT_FALSE(player.IsRunning());
    player.Run();
    EXPECT_TRUE(player.IsRunning());
    player.Run();  // already running: nothing changes
    EXPECT_TRUE(player.IsRunning());
    player.Stop();
    EXPECT_TRUE(player.IsStopped());
    EXPECT_FALSE(player.IsPaused());
    EXPECT_THAT(messages_.Texts(), ::testing::IsEmpty());
}

// ---------------------------------------------------------------- streams

std::size_t FilterCount(IGraphBuilder* graph) {
    ComPtr<IEnumFilters> e;
    if (!graph || FAILED(graph->EnumFilters(e.ReleaseAndGetAddressOf()))) return 0;
    std::size_t n = 0;
    IBaseFilter* f = nullptr;
    ULONG got = 0;
    while (e->Next(1, &f, &got) == S_OK && f) {
        f->Release();
        f = nullptr;
        ++n;
    }
    return n;
}

// Stands in for the sound device: keeps the first channel of what it gets, at
// once rather than on the clock.
class SoundRecorder : public CBaseRenderer {
  public:
    static std::mutex lock;
    static std::vector<std::int16_t> firstChannel;
    static int channels;

    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr) {
        return new SoundRecorder(pUnk, phr);
    }
    SoundRecorder(IUnknown* pUnk, HRESULT* phr)
        : CBaseRenderer(CLSID_DSoundRender, "Recorder", pUnk, phr) {}

    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return pmt->majortype == MEDIATYPE_Audio && pmt->subtype == MEDIASUBTYPE_PCM &&
                       pmt->FormatLength() >= sizeof(WAVEFORMATEX)
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT SetMediaType(const CMediaType* pmt) override {
        WAVEFORMATEX wfx;
        std::memcpy(&wfx, pmt->Format(), sizeof wfx);
        std::lock_guard l(lock);
        channels = wfx.nChannels;
        return S_OK;
    }
    HRESULT ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*) override {
        return S_OK;
    }
    HRESULT DoRenderSample(IMediaSample* sample) override {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::lock_guard l(lock);
        const auto* pcm = reinterpret_cast<const std::int16_t*>(data);
        const long frames = channels > 0 ? sample->GetActualDataLength() / 2 / channels : 0;
        for (long i = 0; i < frames; ++i) firstChannel.push_back(pcm[i * channels]);
        return S_OK;
    }
};
std::mutex SoundRecorder::lock;
std::vector<std::int16_t> SoundRecorder::firstChannel;
int SoundRecorder::channels = 0;

// Replaces the default sound renderer for one test.
struct RecorderInstalled {
    RecorderInstalled() {
        RegisterFilter(CLSID_DSoundRender, "Recorder", MERIT_PREFERRED,
                       SoundRecorder::CreateInstance, {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}});
        std::lock_guard l(SoundRecorder::lock);
        SoundRecorder::firstChannel.clear();
        SoundRecorder::channels = 0;
    }
    ~RecorderInstalled() {
        RegisterFilter(CLSID_DSoundRender, "Default DirectSound Device", MERIT_PREFERRED,
                       CAudioRenderer::CreateInstance, {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}});
    }
    // The tone of the first channel from rising zero crossings, once half a
    // second (after the first tenth) has arrived; 0 if it never does.
    static double ToneHz(int rate = 48000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (;;) {
            {
                std::lock_guard l(SoundRecorder::lock);
                const auto& s = SoundRecorder::firstChannel;
                const std::size_t from = rate / 10, n = rate / 2;
                if (s.size() >= from + n) {
                    int rising = 0;
                    for (std::size_t i = from + 1; i < from + n; ++i)
                        rising += s[i - 1] < 0 && s[i] >= 0;
                    return rising * double(rate) / double(n);
                }
            }
            if (std::chrono::steady_clock::now() > deadline) return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
};

TEST_F(PreviewPlayerTest, ListsStreamsAndSwitchesTheSoundTrack) {
    Load(fixtures::PalFolder());
    RecorderInstalled recorder;
    PreviewPlayer player;
    ASSERT_TRUE(player.Open(OpenDvdHandle(), nullptr));
    ASSERT_TRUE(player.SelectTitle(0, -1));

    StreamTable table;
    table.audioCount = 99;  // filled afresh
    ASSERT_TRUE(player.ListStreams(table));
    ASSERT_EQ(table.videoCount, 1);
    EXPECT_EQ(table.video[0].width, 720);
    EXPECT_EQ(table.video[0].height, 576);
    EXPECT_EQ(table.video[0].frameDuration, 400000);
    ASSERT_EQ(table.audioCount, 2);
    // AC-3 5.1 "en" is private stream 1, sub-stream 0x80; MPEG "fr" is its own
    // stream 0xC0 with no sub-stream.
    EXPECT_EQ(table.audio[0].subStreamId, 0x80);
    EXPECT_EQ(table.audio[0].channels, 6);
    EXPECT_EQ(table.audio[0].sampleRate, 48000);
    EXPECT_EQ(table.audio[1].subStreamId, 0x00);
    EXPECT_EQ(table.audio[1].pesStreamId, 0xC0);
    EXPECT_EQ(table.audio[1].channels, 2);
    EXPECT_EQ(table.audio[1].sampleRate, 48000);
    EXPECT_EQ(table.audio[1].bitRate, 192000);
    ASSERT_EQ(table.subtitleCount, 2);
    EXPECT_EQ(table.subtitle[0].subStreamId, 0x20);
    EXPECT_EQ(table.subtitle[1].subStreamId, 0x21);
    EXPECT_NE(table.audio[0].index, table.audio[1].index);

    // The first track plays unless another is chosen.
    player.Run();
    EXPECT_NEAR(RecorderInstalled::ToneHz(), 440, 20);
    player.Stop();

    // As the Play command does: rebuild, rewind, enable the chosen track, run.
    // The sound path of the first connection leaves the graph with it.
    const std::size_t filters = FilterCount(player.Graph());
    EXPECT_EQ(filters, 6u);  // reader, splitter, decoder, renderer, sound decoder and renderer
    ASSERT_TRUE(player.SelectTitle(0, -1));
    EXPECT_EQ(FilterCount(player.Graph()), filters);
    ASSERT_TRUE(player.SetPosition(0));
    ASSERT_TRUE(player.ListStreams(table));
    {
        std::lock_guard l(SoundRecorder::lock);
        SoundRecorder::firstChannel.clear();
    }
    ASSERT_TRUE(player.EnableStream(table.audio[1].index, true));
    player.Run();
    EXPECT_NEAR(RecorderInstalled::ToneHz(), 880, 20);

    // Switching while playing: the sound goes on from where it was, in the
    // other track's format.
    ASSERT_TRUE(player.EnableStream(table.audio[0].index, true));
    {
        std::lock_guard l(SoundRecorder::lock);
        SoundRecorder::firstChannel.clear();
    }
    EXPECT_TRUE(player.IsRunning());
    EXPECT_NEAR(RecorderInstalled::ToneHz(), 440, 20);
    EXPECT_EQ(FilterCount(player.Graph()), filters);
    player.Stop();
    EXPECT_THAT(messages_.Texts(), ::testing::IsEmpty());
}

// ---------------------------------------------------------------- failures

// Renames the PES packets of one stream id to padding (0xBE) throughout a VOB,
// so that the stream is gone from the title while everything else stays put.
void DropStream(const fs::path& vob, BYTE streamId) {
    std::fstream f(vob, std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(f) << vob;
    std::vector<BYTE> pack(2048);
    for (std::streamoff at = 0; f.seekg(at), f.read(reinterpret_cast<char*>(pack.data()), 2048);
         at += 2048) {
        ASSERT_TRUE(pack[0] == 0 && pack[1] == 0 && pack[2] == 1 && pack[3] == 0xBA);
        std::size_t p = 14 + (pack[13] & 7);
        bool changed = false;
        while (p + 6 <= pack.size() && pack[p] == 0 && pack[p + 1] == 0 && pack[p + 2] == 1) {
            if (pack[p + 3] == streamId) {
                pack[p + 3] = 0xBE;
                changed = true;
            }
            p += 6 + ((std::size_t(pack[p + 4]) << 8) | pack[p + 5]);
        }
        if (changed) {
            f.seekp(at);
            f.write(reinterpret_cast<const char*>(pack.data()), 2048);
        }
    }
}

TEST_F(PreviewPlayerTest, OpenWithoutADvdSaysSo) {
    PreviewPlayer player;
    EXPECT_FALSE(player.Open(0, nullptr));
    EXPECT_THAT(messages_.Texts(), ElementsAre("SetDvdReader error"));
    EXPECT_FALSE(player.SelectTitle(0, -1));
    player.Close();
    player.Close();
}

// Missing platform classes: the decoder stops Open with its message; a
// renderer that cannot be made does not, but then no title connects.
TEST_F(PreviewPlayerTest, MissingPlatformFilters) {
    Load(fixtures::NtscFolder());
    struct Case {
        const char* what;
        CLSID clsid;
        FilterFactory factory;
        std::vector<REGPINTYPES> types;
        bool opens;
        std::vector<std::string> openMessages;  // regular expressions
        std::vector<std::string> selectMessages;
    } cases[] = {
        {"no video mixing renderer",
         CLSID_VideoMixingRenderer,
         CVideoMixingRenderer::CreateInstance,
         {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}},
         true,
         {"CLSID_VideoMixingRenderer9 error[0-9]+"},
         {"get render0 input pin0 error"}},
        {"no MPEG-2 decoder",
         CLSID_MpegDecoder,
         CMpegVideoDecoder::CreateInstance,
         {{MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO},
          {MEDIATYPE_Video, MEDIASUBTYPE_MPEG1Payload},
          {MEDIATYPE_Video, MEDIASUBTYPE_MPEG1Packet}},
         false,
         {"CLSID_MpegDecoder error"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MessageLog log;
        RegisteredFilter saved;
        for (const RegisteredFilter& r : RegisteredFilters())
            if (r.clsid == c.clsid) saved = r;
        ASSERT_EQ(UnregisterFilter(c.clsid), S_OK);
        {
            PreviewPlayer player;
            EXPECT_EQ(player.Open(OpenDvdHandle(), nullptr), c.opens);
            std::vector<std::string> texts = log.Texts();
            ASSERT_EQ(texts.size(), c.openMessages.size());
            for (std::size_t i = 0; i < texts.size(); ++i)
                EXPECT_THAT(texts[i], MatchesRegex(c.openMessages[i]));
            if (c.opens) {
                EXPECT_FALSE(player.SelectTitle(0, -1));
                texts = log.Texts();
                ASSERT_EQ(texts.size(), c.openMessages.size() + c.selectMessages.size());
                for (std::size_t i = 0; i < c.selectMessages.size(); ++i)
                    EXPECT_EQ(texts[c.openMessages.size() + i], c.selectMessages[i]);
                EXPECT_FALSE(player.SaveSnapshot("/tmp/never-written.png"));
            }
        }
        RegisterFilter(c.clsid, saved.name.c_str(), saved.merit, c.factory, c.types);
    }
    // Back to normal once the classes are there again.
    PreviewPlayer player;
    EXPECT_TRUE(player.Open(OpenDvdHandle(), nullptr));
    EXPECT_TRUE(player.SelectTitle(1, -1));
}

// A renderer that takes pictures but offers no windowless control: the title
// plays, snapshots write nothing.
class PlainVideoRenderer : public CBaseRenderer {
  public:
    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr) {
        return new PlainVideoRenderer(pUnk, phr);
    }
    PlainVideoRenderer(IUnknown* pUnk, HRESULT* phr)
        : CBaseRenderer(CLSID_VideoMixingRenderer, "Plain", pUnk, phr) {}
    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return pmt->majortype == MEDIATYPE_Video && pmt->subtype == MEDIASUBTYPE_YV12
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT DoRenderSample(IMediaSample*) override { return S_OK; }
};

TEST_F(PreviewPlayerTest, RendererWithoutWindowlessControl) {
    Load(fixtures::NtscFolder());
    RegisterFilter(CLSID_VideoMixingRenderer, "Plain", MERIT_NORMAL,
                   PlainVideoRenderer::CreateInstance, {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
    {
        PreviewPlayer player;
        EXPECT_TRUE(player.Open(OpenDvdHandle(), nullptr));
        EXPECT_EQ(player.WindowlessControl(), nullptr);
        std::vector<std::string> texts = messages_.Texts();
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_THAT(texts[0], MatchesRegex("IID_IVMRFilterConfig9 error[0-9]+"));
        EXPECT_THAT(texts[1], MatchesRegex("IID_IVMRWindowlessControl9 error[0-9]+"));
        ASSERT_TRUE(player.SelectTitle(1, -1));
        player.Pause();
        EXPECT_TRUE(player.WaitUntilCued(20000));
        TempDir dir;
        EXPECT_FALSE(player.SaveSnapshot(dir.File("shot.png")));
        EXPECT_TRUE(fs::is_empty(dir.path()));
        player.Stop();
    }
    RegisterFilter(CLSID_VideoMixingRenderer, "Video Mixing Renderer", MERIT_NORMAL,
                   CVideoMixingRenderer::CreateInstance, {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
}

// Titles missing a kind of stream, made from a copy of the PAL disc: title 2
// loses its pictures, title 3 its sound. Without pictures there is nothing to
// preview and the user is told; without sound the picture still plays.
TEST_F(PreviewPlayerTest, TitlesMissingPicturesOrSound) {
    TempDir dir;
    fs::path disc = fs::path(dir.path()) / "pal";
    fs::copy(fixtures::PalFolder(), disc, fs::copy_options::recursive);
    DropStream(disc / "VIDEO_TS" / "VTS_02_1.VOB", 0xE0);
    DropStream(disc / "VIDEO_TS" / "VTS_03_1.VOB", 0xBD);
    Load(disc);

    PreviewPlayer player;
    ASSERT_TRUE(player.Open(OpenDvdHandle(), nullptr));
    EXPECT_FALSE(player.SelectTitle(1, -1));
    EXPECT_THAT(messages_.Texts(), ElementsAre("connect splitter and decoder error(video)"));

    ASSERT_TRUE(player.SelectTitle(2, -1));
    StreamTable table;
    ASSERT_TRUE(player.ListStreams(table));
    EXPECT_EQ(table.videoCount, 1);
    EXPECT_EQ(table.audioCount, 0);
    Rgb shot = PictureAt(player, 1.0, true);
    EXPECT_EQ(shot.width, 720);
    EXPECT_EQ(shot.height, 576);
    player.Stop();
    EXPECT_EQ(messages_.Texts().size(), 1u);

    // The untouched title still plays after the failures.
    ASSERT_TRUE(player.SelectTitle(0, -1));
    EXPECT_EQ(PictureAt(player, 0.0, true).width, 720);
}

}  // namespace
