// The clip editor's side-by-side player on the authored discs, with queue
// windows in place of the editor. Both views are painted into a memory surface
// the way the editor's paint does, and judged by their pixels: the plain view
// against ffmpeg's decoding, the processed view against the plain one.
#include "pipelines/edit_preview_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "dvd/catalogue.h"
#include "platform/codecs/codecs.h"
#include "platform/codecs/video_renderer.h"
#include "platform/framework/framework.h"
#include "platform/win/messages.h"
#include "platform/win/queue_window.h"
#include "preview_helpers.h"

namespace fs = std::filesystem;
using namespace preview_test;
using fixtures::Disc;

namespace {

constexpr UINT kGraphNotify = WM_USER + 20;
// Two 4:3 views side by side in one 800 x 300 window, so that letterboxing
// leaves no bars and view pixels map straight onto picture pixels.
constexpr RECT kView0{0, 0, 400, 300};
constexpr RECT kView1{400, 0, 800, 300};

Rgb FromBgrx(const uint32_t* pixels, int stride, const RECT& r) {
    Rgb out{int(r.Width()), int(r.Height()), {}};
    out.pixels.resize(std::size_t(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            uint32_t p = pixels[std::size_t(r.top + y) * stride + r.left + x];
            std::uint8_t* o = &out.pixels[(std::size_t(y) * out.width + x) * 3];
            o[0] = std::uint8_t(p >> 16);
            o[1] = std::uint8_t(p >> 8);
            o[2] = std::uint8_t(p);
        }
    return out;
}

// Part `src` of an image scaled to w x h by nearest neighbour.
Rgb Scaled(const Rgb& image, const RECT& src, int w, int h) {
    Rgb out{w, h, std::vector<std::uint8_t>(std::size_t(w) * h * 3)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int sx = int(src.left + (x + 0.5) * src.Width() / w);
            int sy = int(src.top + (y + 0.5) * src.Height() / h);
            std::memcpy(&out.pixels[(std::size_t(y) * w + x) * 3], image.At(sx, sy), 3);
        }
    return out;
}

// Mean of the largest difference between a pixel's channels: 0 for grey.
double Colourfulness(const Rgb& image) {
    double sum = 0;
    for (std::size_t i = 0; i < image.pixels.size(); i += 3) {
        auto [lo, hi] = std::minmax({image.pixels[i], image.pixels[i + 1], image.pixels[i + 2]});
        sum += hi - lo;
    }
    return sum / double(image.pixels.size() / 3);
}

double MeanLevel(const Rgb& image) {
    double sum = 0;
    for (std::uint8_t v : image.pixels) sum += v;
    return sum / double(image.pixels.size());
}

bool IsFrameColour(uint32_t bgrx) {
    return (bgrx & 0xFFFFFF) == 0xFFFF00;  // R 255, G 255, B 0
}

class EditPreviewPlayerTest : public ::testing::Test {
  protected:
    void SetUp() override { RegisterPlatformCodecs(); }
    void TearDown() override { CloseDvd(); }

    void Load(const fs::path& disc) { ASSERT_TRUE(LoadDvd(disc.string())) << disc; }

    void OpenBoth(EditPreviewPlayer& player, int title) {
        player.SetTitle(title, -1);
        ASSERT_TRUE(player.Open(OpenDvdHandle(), &window_, &kView0, &window_, &kView1, 720, 480));
    }

    static void Cue(EditPreviewPlayer& player, double seconds) {
        ASSERT_TRUE(player.SetPosition(seconds));
        player.Pause();
        ASSERT_TRUE(player.WaitUntilCued(20000)) << "no picture came at " << seconds << " s";
    }

    // The whole picture a view's renderer holds, at its own size.
    static Rgb Native(EditPreviewPlayer& player, int view) {
        BYTE* dib = nullptr;
        Rgb picture;
        if (player.WindowlessControl(view) &&
            SUCCEEDED(player.WindowlessControl(view)->GetCurrentImage(&dib)) && dib) {
            picture = FromDib(dib);
            CoTaskMemFree(dib);
        }
        return picture;
    }

    // What the editor's window shows: both views painted into one surface.
    static CMemoryDC Paint(EditPreviewPlayer& player) {
        CMemoryDC dc(800, 300, 0x00FF00FF);
        player.Repaint(nullptr, &dc);
        return dc;
    }

    static Rgb View(const CMemoryDC& dc, const RECT& view) {
        return FromBgrx(dc.Pixels().data(), dc.Width(), view);
    }

    // Where a view's renderer puts the picture inside its rectangle (letterbox
    // bars are the renderer's business, not the player's).
    static RECT PictureRect(EditPreviewPlayer& player, int view) {
        auto* vmr = dynamic_cast<CVideoMixingRenderer*>(player.WindowlessControl(view));
        return vmr ? vmr->Composer().VideoRect() : RECT{};
    }

    QueueWindow window_{RECT{0, 0, 800, 300}};
    MessageLog messages_;
};

// Both views show the picture at the position sought; picture settings change
// the processed view only, and while paused they show with the next picture.
TEST_F(EditPreviewPlayerTest, SeeksAndShowsEffectsInTheProcessedViewOnly) {
    Load(fixtures::NtscFolder());
    EditPreviewPlayer player;
    OpenBoth(player, 0);
    EXPECT_TRUE(player.IsStopped());
    EXPECT_EQ(player.TitleDuration(), 12000);
    const fs::path vob = fixtures::TitleVob(Disc::Ntsc, 1);
    const double fps = 30000.0 / 1001.0;

    struct Case {
        double seconds;
        int saturation, brightness;
    } cases[] = {{2.5, 64, 128}, {6.0, 0, 200}, {4.0, 0, 200}, {9.0, 64, 128}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds << " s, saturation " << c.saturation
                                        << ", brightness " << c.brightness);
        player.SetSaturation(c.saturation);
        player.SetBrightness(c.brightness);
        ASSERT_NO_FATAL_FAILURE(Cue(player, c.seconds));

        Rgb plain = Native(player, 0);
        ASSERT_EQ(plain.width, 720);
        ASSERT_EQ(plain.height, 480);
        const int expected = int(std::lround(c.seconds * fps));
        auto [frame, psnr] = BestMatch(plain, vob, std::max(0, expected - 8), expected + 8);
        EXPECT_NEAR(frame, expected, 1);
        EXPECT_GT(psnr, 30.0);

        // The views as the window shows them: the plain one letterboxed, the
        // processed one (stretched, whole frame) over its rectangle.
        const RECT whole{0, 0, 720, 480};
        CMemoryDC dc = Paint(player);
        const RECT pic0 = PictureRect(player, 0);
        ASSERT_GT(pic0.Width(), 300);
        Rgb view0 = View(dc, pic0), view1 = View(dc, kView1);
        Rgb expected0 = Scaled(plain, whole, pic0.Width(), pic0.Height());
        Rgb expected1 = Scaled(plain, whole, 400, 300);
        EXPECT_GT(Psnr(view0, expected0), 22.0);
        if (c.saturation == 64 && c.brightness == 128) {
            EXPECT_GT(Psnr(view1, expected1), 22.0);
        } else {
            EXPECT_LT(Psnr(view1, expected1), 15.0);
            EXPECT_GT(Colourfulness(view0), 40.0);
            EXPECT_LT(Colourfulness(view1), 6.0);
            EXPECT_GT(MeanLevel(view1), MeanLevel(expected1) + 20.0);
        }
    }
    player.Stop();
    EXPECT_TRUE(messages_.Texts().empty());
}

// The processed view shows only the crop, stretched over its rectangle; the
// plain view keeps the whole picture with the crop's frame drawn over it.
TEST_F(EditPreviewPlayerTest, CropShowsInTheProcessedViewAndAsAFrameOnThePlainOne) {
    Load(fixtures::NtscFolder());
    EditPreviewPlayer player;
    OpenBoth(player, 0);
    EXPECT_EQ(player.GetCropRect(), (RECT{0, 0, 720, 480}));
    player.SetProcessedAspectMode(0);
    const RECT crop{0, 0, 360, 240};
    player.SetCropRect(crop);
    ASSERT_NO_FATAL_FAILURE(Cue(player, 3.0));

    Rgb plain = Native(player, 0);
    ASSERT_EQ(plain.width, 720);
    CMemoryDC dc = Paint(player);
    Rgb view1 = View(dc, kView1);
    const double cropped = Psnr(view1, Scaled(plain, crop, 400, 300));
    const double whole = Psnr(view1, Scaled(plain, RECT{0, 0, 720, 480}, 400, 300));
    EXPECT_GT(cropped, 22.0);
    EXPECT_GT(cropped, whole + 5.0);

    // The frame: the overlay is laid over the picture's place in view 0, so
    // the crop's right edge (half the width) and bottom edge (half the height)
    // are dashed yellow lines there; the same lines elsewhere are not.
    const RECT pic = PictureRect(player, 0);
    ASSERT_GT(pic.Width(), 300);
    const int midX = pic.left + pic.Width() / 2, midY = pic.top + pic.Height() / 2;
    auto yellowShare = [&](bool row, int at, int from, int to) {
        // The 2-pixel pen may land a pixel either side of the exact line.
        int yellow = 0;
        for (int i = from; i < to; ++i) {
            bool y = false;
            for (int d = -2; d <= 1; ++d)
                y = y || IsFrameColour(row ? dc.Pixel(i, at + d) : dc.Pixel(at + d, i));
            yellow += y;
        }
        return double(yellow) / (to - from);
    };
    EXPECT_GT(yellowShare(true, midY, pic.left + 10, midX - 10), 0.5);
    EXPECT_GT(yellowShare(false, midX, pic.top + 10, midY - 10), 0.5);
    EXPECT_LT(yellowShare(true, midY + 40, pic.left + 10, midX - 10), 0.2);
    EXPECT_LT(yellowShare(false, midX + 60, pic.top + 10, midY - 10), 0.2);
    // No frame on the processed view.
    EXPECT_LT(yellowShare(true, 150, 410, 790), 0.2);

    // Letterboxed instead, the crop keeps its shape inside the rectangle.
    player.SetProcessedAspectMode(1);
    CMemoryDC boxed = Paint(player);
    const RECT pic1 = PictureRect(player, 1);
    EXPECT_LT(pic1.Height() * 400, 300 * pic1.Width());  // bars above and below
    EXPECT_GT(Psnr(View(boxed, pic1), Scaled(plain, crop, pic1.Width(), pic1.Height())), 22.0);
    player.Stop();
    EXPECT_TRUE(messages_.Texts().empty());
}

// Crops partly outside the frame are reduced to it; crops wholly outside, or
// empty, change nothing. The frame is drawn where the kept crop is.
TEST_F(EditPreviewPlayerTest, CropIsKeptInsideTheSourceFrame) {
    Load(fixtures::NtscFolder());
    EditPreviewPlayer player;
    player.SetTitle(1, -1);
    const RECT view0{14, 70, 394, 354}, view1{406, 70, 786, 354};
    ASSERT_TRUE(player.Open(OpenDvdHandle(), &window_, &view0, &window_, &view1, 720, 480));

    struct Case {
        RECT asked, kept;
    } cases[] = {
        {{0, 0, 720, 480}, {0, 0, 720, 480}},
        {{600, 400, 900, 700}, {600, 400, 720, 480}},
        {{800, 500, 900, 600}, {600, 400, 720, 480}},  // outside: unchanged
        {{-50, -20, 100, 90}, {0, 0, 100, 90}},
        {{300, 300, 300, 400}, {0, 0, 100, 90}},  // empty: unchanged
        {{0, 0, 720, 480}, {0, 0, 720, 480}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.asked.left << "," << c.asked.top << ","
                                        << c.asked.right << "," << c.asked.bottom);
        player.SetCropRect(c.asked);
        EXPECT_EQ(player.GetCropRect(), c.kept);
    }

    // The whole frame in a 380 x 284 view: outline (0, 0)-(380, 284), handles
    // at the corners and the edges' middles.
    const CMemoryDC* overlay = player.OverlaySurface();
    ASSERT_NE(overlay, nullptr);
    ASSERT_EQ(overlay->Width(), 380);
    ASSERT_EQ(overlay->Height(), 284);
    const int handles[8][2] = {{0, 0},     {190, 0},   {380, 0}, {380, 142},
                               {380, 284}, {190, 284}, {0, 284}, {0, 142}};
    for (const auto& h : handles) {
        SCOPED_TRACE(testing::Message() << "handle " << h[0] << "," << h[1]);
        // Its box reaches 3 pixels from the centre on each side, where inside.
        for (auto [dx, dy] : {std::pair{-3, 0}, {3, 0}, {0, -3}, {0, 3}}) {
            int x = h[0] + dx, y = h[1] + dy;
            if (x < 0 || y < 0 || x >= 380 || y >= 284) continue;
            EXPECT_TRUE(IsFrameColour(overlay->Pixel(x, y))) << x << "," << y;
        }
    }
    int onEdges = 0;
    for (int x = 10; x < 370; ++x) onEdges += IsFrameColour(overlay->Pixel(x, 283));
    EXPECT_GT(onEdges, 180);
    for (int y = 10; y < 274; ++y) EXPECT_EQ(overlay->Pixel(150, y) & 0xFFFFFF, 0u) << y;

    // A reduced crop is drawn reduced: (600, 400)-(720, 480) -> (317, 237)-(380, 284).
    player.SetCropRect(RECT{600, 400, 900, 700});
    EXPECT_TRUE(IsFrameColour(overlay->Pixel(340, 237)) || IsFrameColour(overlay->Pixel(340, 236)));
    EXPECT_TRUE(IsFrameColour(overlay->Pixel(316, 250)) || IsFrameColour(overlay->Pixel(317, 250)));
    EXPECT_EQ(overlay->Pixel(340, 200) & 0xFFFFFF, 0u);
    EXPECT_EQ(overlay->Pixel(300, 260) & 0xFFFFFF, 0u);
    EXPECT_TRUE(messages_.Texts().empty());
}

// The graph holds the filters under their names, and the sound passes through
// the audio converter on its way to the audio renderer.
TEST_F(EditPreviewPlayerTest, BuildsBothBranchesAndTheSoundPathThroughTheConverter) {
    Load(fixtures::NtscFolder());
    EditPreviewPlayer player;
    OpenBoth(player, 0);
    IGraphBuilder* graph = player.Graph();
    ASSERT_NE(graph, nullptr);
    for (const char* name : {"Reader", "Splitter", "Decoder", "AudioConver", "Tee", "VideoConver0",
                             "VideoConver", "Video Mixing Renderer"}) {
        ComPtr<IBaseFilter> f;
        EXPECT_EQ(graph->FindFilterByName(name, f.ReleaseAndGetAddressOf()), S_OK) << name;
    }
    ComPtr<IBaseFilter> audio;
    ASSERT_EQ(graph->FindFilterByName("AudioConver", audio.ReleaseAndGetAddressOf()), S_OK);
    for (PIN_DIRECTION dir : {PINDIR_INPUT, PINDIR_OUTPUT}) {
        ComPtr<IPin> pin = FindPin(audio.Get(), dir, 0), peer;
        ASSERT_TRUE(pin);
        EXPECT_EQ(pin->ConnectedTo(peer.ReleaseAndGetAddressOf()), S_OK)
            << (dir == PINDIR_INPUT ? "input" : "output");
    }
    player.SetVolume(0);
    player.SetVolume(512);
    StreamTable table;
    ASSERT_TRUE(player.ListStreams(table));
    EXPECT_EQ(table.videoCount, 1);
    EXPECT_EQ(table.audioCount, 1);
    EXPECT_TRUE(messages_.Texts().empty());
}

// With only window 0 there is no processed branch: the plain view plays, and
// crop and picture settings do nothing (and say nothing).
TEST_F(EditPreviewPlayerTest, WithOneWindowOnlyThePlainViewIsBuilt) {
    Load(fixtures::NtscFolder());
    EditPreviewPlayer player;
    player.SetTitle(1, -1);
    ASSERT_TRUE(player.Open(OpenDvdHandle(), &window_, &kView0, nullptr, nullptr, 720, 480));
    EXPECT_FALSE(player.HasProcessedBranch());
    EXPECT_EQ(player.WindowlessControl(1), nullptr);
    ComPtr<IBaseFilter> f;
    EXPECT_NE(player.Graph()->FindFilterByName("VideoConver", f.ReleaseAndGetAddressOf()), S_OK);
    player.SetCropRect(RECT{10, 10, 100, 100});
    EXPECT_EQ(player.GetCropRect(), (RECT{}));
    player.SetBrightness(0);
    player.SetSaturation(0);
    player.SetHue(90);
    ASSERT_NO_FATAL_FAILURE(Cue(player, 1.0));
    EXPECT_EQ(Native(player, 0).width, 720);
    player.Stop();
    EXPECT_TRUE(messages_.Texts().empty());
}

// A PAL picture has 576 lines; a crop given in the 720 x 480 frame cuts it at
// the same place relative to its height, as the conversion does.
TEST_F(EditPreviewPlayerTest, CropOfATallerPictureIsScaledToIt) {
    Load(fixtures::PalFolder());
    EditPreviewPlayer player;
    OpenBoth(player, 1);
    player.SetProcessedAspectMode(0);
    player.SetCropRect(RECT{0, 240, 720, 480});  // the bottom half
    ASSERT_NO_FATAL_FAILURE(Cue(player, 2.0));
    Rgb plain = Native(player, 0);
    ASSERT_EQ(plain.width, 720);
    ASSERT_EQ(plain.height, 576);
    Rgb view1 = View(Paint(player), kView1);
    const double scaled = Psnr(view1, Scaled(plain, RECT{0, 288, 720, 576}, 400, 300));
    const double asGiven = Psnr(view1, Scaled(plain, RECT{0, 240, 720, 480}, 400, 300));
    EXPECT_GT(scaled, 22.0);
    EXPECT_GT(scaled, asGiven + 3.0);
    player.Stop();
}

// The window hears of the end of the title; after Stop and a seek to 0 it
// plays again. Reopening rebuilds the graph from scratch.
TEST_F(EditPreviewPlayerTest, ReportsTheEndAndPlaysAgain) {
    Load(fixtures::NtscFolder());
    EditPreviewPlayer player;
    OpenBoth(player, 1);  // 2 s
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        window_.TakeAll();
        player.Run();
        bool complete = false;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!complete && std::chrono::steady_clock::now() < deadline) {
            std::optional<PostedMessage> m = window_.Wait(std::chrono::milliseconds(200));
            if (!m || m->msg != kGraphNotify) continue;
            long code = 0;
            while (player.NextEvent(code)) complete = complete || code == EC_COMPLETE;
        }
        ASSERT_TRUE(complete);
        player.Stop();
        ASSERT_TRUE(player.SetPosition(0));
        if (round == 0) OpenBoth(player, 1);
    }
    player.Close();
    EXPECT_FALSE(player.HasGraph());
    long code = 0;
    EXPECT_FALSE(player.NextEvent(code));
}

}  // namespace
