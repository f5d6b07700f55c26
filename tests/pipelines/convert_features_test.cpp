// What the clip settings and the track choices do to a converted file: trims
// start at the right picture, crop and zoom put the picture and its bars where
// the picture conversion places them, the picture effects follow their
// arithmetic, volume and resampling shape the sound, and the chosen subtitle
// and audio tracks are the ones in the file. Pictures are written losslessly
// (FFV1) so that their pixels can be judged exactly.
#include <gtest/gtest.h>

#include "convert_support.h"

namespace {

using namespace convtest;
using fixtures::Disc;

// Lossless pictures only: the output picture is what the converter made.
EncoderSettings LosslessVideo(int w, int h, int frameRate = 29970) { return Settings("ffv1", w, h, frameRate, ""); }

// Plain PCM sound only.
EncoderSettings PcmSound(int rate, int channels) { return Settings("", 0, 0, 29970, "pcm_s16le", rate, channels); }

std::string SourceVob(Disc disc, int title) { return fixtures::TitleVob(disc, title).string(); }

double FrameSeconds(Disc disc) {
    const auto& f = fixtures::Format(disc);
    return double(f.fpsDen) / f.fpsNum;
}

// Picture n of a title as ffmpeg decodes the title's VOB (the titles used here
// start their VOB).
std::vector<std::uint8_t> SourcePicture(Disc disc, int title, int n, const std::string& filter) {
    // Seeking lands on the first picture at or after the time asked for.
    const double f = FrameSeconds(disc);
    return Picture(SourceVob(disc, title), n > 0 ? (n - 0.25) * f : 0, filter);
}

// The picture on screen at a time.
std::vector<std::uint8_t> SourceAt(Disc disc, int title, double seconds, const std::string& filter) {
    return SourcePicture(disc, title, int(std::floor(seconds / FrameSeconds(disc) + 1e-9)), filter);
}

JobResult ConvertOne(Disc disc, int title, double start, double length, const EncoderSettings& s,
                     const ClipSettings& clip = {}, int audio = -1, int subtitle = -1, const char* ext = ".mkv") {
    Job job;
    job.disc = fixtures::Folder(disc);
    job.entries = {{title, start, length}};
    job.settings = s;
    job.ext = ext;
    job.clip = clip;
    job.audio = audio;
    job.subtitle = subtitle;
    JobResult r = RunJob(job);
    EXPECT_EQ(r.outputs.size(), 1u);
    EXPECT_TRUE(r.finished);
    EXPECT_TRUE(r.messages.empty()) << r.messages.front();
    return r;
}

// --- Trims ------------------------------------------------------------------------

struct TrimCase {
    Disc disc;
    int title;
    double start, length;
};

class Trim : public testing::TestWithParam<TrimCase> {};

TEST_P(Trim, StartsAtThePictureOfTheTrimStartAndLastsTheTrim) {
    const TrimCase& c = GetParam();
    const auto& fmt = fixtures::Format(c.disc);
    ClipSettings clip;
    clip.ZoomMode = 1;
    JobResult r = ConvertOne(c.disc, c.title, c.start, c.length,
                             LosslessVideo(fmt.width, fmt.height, fmt.fpsNum * 1000 / fmt.fpsDen), clip);
    ASSERT_EQ(r.outputs.size(), 1u);
    const std::string file = r.outputs[0];

    Spans spans = PacketSpans(file);
    EXPECT_NEAR(spans.seconds["video"], c.length, 2 * 1.001 / 30);

    // The first picture written is the one on screen at the trim start (a
    // picture that straddles the start counts): compare it with ffmpeg's own
    // decode of the VOB around that time. The seconds counter and the moving
    // gradient make other pictures differ clearly.
    const std::string scale = "scale=240:160";
    auto first = Picture(file, 0, scale);
    ASSERT_FALSE(first.empty());
    const double f = FrameSeconds(c.disc);
    const int onScreen = int(std::floor(c.start / f + 1e-9));
    double best = 0;
    int bestFrame = -1;
    for (int n = onScreen - 2; n <= onScreen + 2; ++n) {
        double p = Psnr(first, SourcePicture(c.disc, c.title, n, scale));
        if (p > best) best = p, bestFrame = n;
    }
    EXPECT_GT(best, 35.0);
    EXPECT_EQ(bestFrame, onScreen) << "best match " << best << " dB";
    // A second later the counter has moved on.
    EXPECT_LT(Psnr(first, SourcePicture(c.disc, c.title, onScreen + int(1 / f), scale)), 30.0);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Trim,
                         testing::Values(TrimCase{Disc::Ntsc, 1, 6.5, 1.0},  // inside the second chapter
                                         TrimCase{Disc::Pal, 1, 2.0, 1.2}));

// --- Crop and zoom ----------------------------------------------------------------

struct Placement {
    const char* name;
    int zoom;
    RECT crop;
    int width, height;  // output size
    RECT pads;          // left, top, right, bottom bars
};

class CropAndZoom : public testing::TestWithParam<Placement> {};

TEST_P(CropAndZoom, PutsTheCroppedPictureAndTheBarsInPlace) {
    const Placement& c = GetParam();
    ClipSettings clip;
    clip.ZoomMode = c.zoom;
    clip.CropLeft = c.crop.left, clip.CropTop = c.crop.top, clip.CropRight = c.crop.right,
    clip.CropBottom = c.crop.bottom;
    const double start = 3.0;
    JobResult r = ConvertOne(Disc::Ntsc, 1, start, 0.3, LosslessVideo(c.width, c.height), clip);
    ASSERT_EQ(r.outputs.size(), 1u);
    auto yuv = Picture(r.outputs[0], 0, "", false);
    ASSERT_EQ(yuv.size(), std::size_t(c.width) * c.height * 3 / 2);
    const std::uint8_t* y = yuv.data();
    const std::uint8_t* u = y + c.width * c.height;
    const std::uint8_t* v = u + c.width * c.height / 4;

    // Bars are black: Y 16, chroma 128, exactly.
    int wrong = 0;
    for (int row = 0; row < c.height; ++row)
        for (int col = 0; col < c.width; ++col) {
            bool bar = col < c.pads.left || col >= c.width - c.pads.right || row < c.pads.top ||
                       row >= c.height - c.pads.bottom;
            if (!bar) continue;
            int ci = (row / 2) * (c.width / 2) + col / 2;
            if (y[row * c.width + col] != 16 || u[ci] != 128 || v[ci] != 128) ++wrong;
        }
    EXPECT_EQ(wrong, 0) << "bar pixels that are not black";

    // Between the bars: the cropped source picture, scaled to the placed size.
    const int pw = c.width - c.pads.left - c.pads.right, ph = c.height - c.pads.top - c.pads.bottom;
    std::vector<std::uint8_t> inside;
    for (int row = c.pads.top; row < c.height - c.pads.bottom; ++row)
        inside.insert(inside.end(), y + row * c.width + c.pads.left, y + row * c.width + c.pads.left + pw);
    char filter[128];
    std::snprintf(filter, sizeof filter, "crop=%d:%d:%d:%d,scale=%d:%d:flags=bicubic", c.crop.right - c.crop.left,
                  c.crop.bottom - c.crop.top, c.crop.left, c.crop.top, pw, ph);
    auto expected = SourceAt(Disc::Ntsc, 1, start, filter);
    EXPECT_GT(Psnr(inside, expected), 30.0);
    // The placement is exact: shifted by a few pixels the same picture matches clearly worse.
    std::snprintf(filter, sizeof filter, "crop=%d:%d:%d:%d,scale=%d:%d:flags=bicubic",
                  c.crop.right - c.crop.left - 24, c.crop.bottom - c.crop.top - 24, c.crop.left + 12, c.crop.top + 12,
                  pw, ph);
    EXPECT_LT(Psnr(inside, SourceAt(Disc::Ntsc, 1, start, filter)), Psnr(inside, expected) - 5);
}

INSTANTIATE_TEST_SUITE_P(
    NtscPictures, CropAndZoom,
    testing::Values(
        // 720x480 keeps its 3:2 shape in a 4:3 frame: 13 rows each side, rounded up to 14.
        Placement{"KeepShapeLetterbox", 0, {0, 0, 720, 480}, 320, 240, {0, 14, 0, 14}},
        Placement{"Wide16by9", 2, {0, 0, 720, 480}, 320, 240, {0, 30, 0, 30}},
        Placement{"Narrow4by3Pillarbox", 3, {0, 0, 720, 480}, 640, 360, {80, 0, 80, 0}},
        Placement{"CropOnly", 1, {360, 0, 720, 480}, 360, 480, {0, 0, 0, 0}},
        Placement{"CropKeepShape", 0, {0, 0, 360, 480}, 320, 240, {70, 0, 70, 0}},
        Placement{"CropStretched", 1, {100, 60, 620, 420}, 400, 300, {0, 0, 0, 0}}),
    [](const testing::TestParamInfo<Placement>& info) { return std::string(info.param.name); });

// A PAL picture is 720x576. The crop is given in the 720x480 frame every title is
// edited in, so the untouched crop must still take in the whole PAL picture.
TEST(CropAndZoomPal, TheDefaultCropKeepsTheWholePalPicture) {
    ClipSettings clip;
    clip.ZoomMode = 1;
    JobResult r = ConvertOne(Disc::Pal, 2, 1.0, 0.3, LosslessVideo(360, 288, 25000), clip);
    ASSERT_EQ(r.outputs.size(), 1u);
    auto got = Picture(r.outputs[0], 0, "");
    auto whole = SourceAt(Disc::Pal, 2, 1.0, "scale=360:288:flags=bicubic");
    auto top = SourceAt(Disc::Pal, 2, 1.0, "crop=720:480:0:0,scale=360:288:flags=bicubic");
    EXPECT_GT(Psnr(got, whole), 30.0);
    EXPECT_GT(Psnr(got, whole), Psnr(got, top) + 5);
}

// --- Picture effects --------------------------------------------------------------

struct Effect {
    const char* name;
    int brightness, hue, saturation;
};

class PictureEffects : public testing::TestWithParam<Effect> {};

int Trunc128(double degrees, bool sine) {
    const double rad = degrees * 3.1415926 / 180.0;
    return int((sine ? std::sin(rad) : std::cos(rad)) * 128);
}

TEST_P(PictureEffects, ChangePixelsByTheirArithmetic) {
    const Effect& e = GetParam();
    const int w = 360, h = 240;
    ClipSettings plain;
    plain.ZoomMode = 1;
    ClipSettings changed = plain;
    changed.Brightness = e.brightness, changed.Hue = e.hue, changed.Saturation = e.saturation;
    JobResult a = ConvertOne(Disc::Ntsc, 3, 2.0, 0.2, LosslessVideo(w, h), plain);
    JobResult b = ConvertOne(Disc::Ntsc, 3, 2.0, 0.2, LosslessVideo(w, h), changed);
    ASSERT_EQ(a.outputs.size(), 1u);
    ASSERT_EQ(b.outputs.size(), 1u);
    auto before = Picture(a.outputs[0], 0, "", false);
    auto after = Picture(b.outputs[0], 0, "", false);
    ASSERT_EQ(before.size(), std::size_t(w * h * 3 / 2));
    ASSERT_EQ(after.size(), before.size());

    int wrongLuma = 0, wrongChroma = 0, changedPixels = 0;
    for (int i = 0; i < w * h; ++i) {
        int want = std::min(255, (before[i] * e.brightness) >> 7);
        wrongLuma += after[i] != want;
        changedPixels += after[i] != before[i];
    }
    const int s = Trunc128(e.hue, true), co = Trunc128(e.hue, false);
    const std::size_t c = std::size_t(w / 2) * (h / 2);
    const std::uint8_t* U0 = before.data() + w * h;
    const std::uint8_t* V0 = U0 + c;
    const std::uint8_t* U1 = after.data() + w * h;
    const std::uint8_t* V1 = U1 + c;
    for (std::size_t i = 0; i < c; ++i) {
        int v = V0[i] - 128, u = U0[i] - 128;
        int v2 = ((co * v) >> 7) + ((s * u) >> 7);
        int u2 = ((co * u) >> 7) - ((s * v) >> 7);
        int wantV = std::clamp(((v2 * e.saturation) >> 6) + 128, 0, 255);
        int wantU = std::clamp(((u2 * e.saturation) >> 6) + 128, 0, 255);
        wrongChroma += V1[i] != wantV || U1[i] != wantU;
        changedPixels += V1[i] != V0[i] || U1[i] != U0[i];
    }
    EXPECT_EQ(wrongLuma, 0);
    EXPECT_EQ(wrongChroma, 0);
    EXPECT_GT(changedPixels, int(c) / 2);
}

INSTANTIATE_TEST_SUITE_P(Ntsc, PictureEffects,
                         testing::Values(Effect{"Brighter", 200, 0, 64}, Effect{"Darker", 40, 0, 64},
                                         Effect{"HueTurned", 128, 30, 64}, Effect{"Saturated", 128, 0, 128},
                                         Effect{"AllAtOnce", 160, -90, 20}),
                         [](const testing::TestParamInfo<Effect>& info) { return std::string(info.param.name); });

// --- Sound ------------------------------------------------------------------------

struct SoundCase {
    const char* name;
    Disc disc;
    int title;
    int track;
    int rate, channels, volume;
    int toneHz;       // 0: silence expected
    double gain;      // expected peak against the same conversion at volume 256
};

class SoundConversion : public testing::TestWithParam<SoundCase> {};

TEST_P(SoundConversion, KeepsTheLengthAndTheToneAtTheGivenVolume) {
    const SoundCase& c = GetParam();
    ClipSettings clip;
    clip.Volume = c.volume;
    const double length = 1.5;
    JobResult r = ConvertOne(c.disc, c.title, 1.0, length, PcmSound(c.rate, c.channels), clip, c.track, -1, ".wav");
    ASSERT_EQ(r.outputs.size(), 1u);
    json probe = Probe(r.outputs[0]);
    const json* audio = StreamOf(probe, "audio");
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(std::stoi(audio->value("sample_rate", "0")), c.rate);
    EXPECT_EQ(audio->value("channels", 0), c.channels);
    EXPECT_NEAR(std::stod(probe["format"].value("duration", "0")), length, 0.07);

    auto pcm = Sound(r.outputs[0], c.rate);
    ASSERT_GT(pcm.size(), std::size_t(c.rate));
    if (c.toneHz == 0) {
        EXPECT_EQ(Peak(pcm), 0);
        return;
    }
    EXPECT_NEAR(ToneHz(pcm, c.rate), c.toneHz, 3.0);
    if (c.volume != 256) {
        ClipSettings unchanged;
        JobResult ref = ConvertOne(c.disc, c.title, 1.0, length, PcmSound(c.rate, c.channels), unchanged, c.track, -1,
                                   ".wav");
        ASSERT_EQ(ref.outputs.size(), 1u);
        double ratio = double(Peak(pcm)) / std::max(1, Peak(Sound(ref.outputs[0], c.rate)));
        EXPECT_NEAR(ratio, c.gain, 0.03);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, SoundConversion,
    testing::Values(SoundCase{"Silent", Disc::Ntsc, 1, 0xBD80, 48000, 2, 0, 0, 0},
                    SoundCase{"Half", Disc::Ntsc, 1, 0xBD80, 48000, 2, 128, 440, 0.5},
                    SoundCase{"Double", Disc::Ntsc, 1, 0xBD80, 48000, 2, 512, 440, 2.0},
                    SoundCase{"FiveOneTo22kMono", Disc::Pal, 1, 0xBD80, 22050, 1, 256, 440, 1},
                    SoundCase{"LpcmTo11kStereo", Disc::Pal, 2, 0xBDA0, 11025, 2, 256, 1000, 1},
                    SoundCase{"DtsTo32kSixChannels", Disc::Pal, 3, 0xBD88, 32000, 6, 256, 1500, 1},
                    // The second track of the PAL title is the one encoded when it is chosen.
                    SoundCase{"SecondTrackChosen", Disc::Pal, 1, 0xC000, 44100, 2, 256, 880, 1},
                    SoundCase{"FirstTrackChosen", Disc::Pal, 1, 0xBD80, 44100, 2, 256, 440, 1}),
    [](const testing::TestParamInfo<SoundCase>& info) { return std::string(info.param.name); });

// --- Subtitles --------------------------------------------------------------------

// Mean absolute luma difference of two 720x576 pictures inside a rectangle.
double MeanDiff(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, RECT r) {
    double sum = 0;
    for (long y = r.top; y < r.bottom; ++y)
        for (long x = r.left; x < r.right; ++x) sum += std::abs(int(a[y * 720 + x]) - int(b[y * 720 + x]));
    return sum / double((r.right - r.left) * (r.bottom - r.top));
}

// The subtitles of PAL title 1 start a second in, past the splitter's first
// scanned chunk: the tracks must be known from the title's record, not from
// how far the cued graph happened to read before the job listed them.
TEST(Subtitles, TheChosenTrackIsBurnedIn) {
    // At 3.5 s both subpictures of PAL title 1 are on screen, each in its own place.
    const RECT en{260, 430, 460, 530}, de{70, 50, 230, 210};
    ClipSettings clip;
    clip.ZoomMode = 1;
    auto convert = [&](int subtitle) {
        JobResult r = ConvertOne(Disc::Pal, 1, 0, 3.7, LosslessVideo(720, 576, 25000), clip, -1, subtitle);
        EXPECT_EQ(r.outputs.size(), 1u);
        return r.outputs.empty() ? std::vector<std::uint8_t>{} : Picture(r.outputs[0], 3.5 - 0.01, "");
    };
    auto none = convert(-1), english = convert(0xBD20), german = convert(0xBD21);
    ASSERT_EQ(none.size(), 720u * 576);
    ASSERT_EQ(english.size(), none.size());
    ASSERT_EQ(german.size(), none.size());
    // Without a subtitle the picture is the disc's own.
    EXPECT_GT(Psnr(none, SourceAt(Disc::Pal, 1, 3.5, "")), 35.0);
    EXPECT_GT(MeanDiff(english, none, en), 40.0);
    EXPECT_LT(MeanDiff(english, none, de), 1.0);
    EXPECT_GT(MeanDiff(german, none, de), 40.0);
    EXPECT_LT(MeanDiff(german, none, en), 1.0);
}

}  // namespace
