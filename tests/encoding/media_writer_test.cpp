#include "encoding/media_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "probe.h"

using namespace testutil;
namespace fs = std::filesystem;

namespace {

double FrameSeconds(int frameRate) {
    if (frameRate == 29970) return 1001.0 / 30000;
    if (frameRate == 23976) return 1001.0 / 24000;
    return 1.0 / (frameRate / 1000);
}

// Feeds `frames` pictures and the sound that lasts as long, in time order, the
// sound in blocks of `chunkSamples` like the audio conversion filter hands them.
struct Fed {
    int frames = 0;
    std::int64_t samples = 0;
};

Fed Feed(CMediaWriter& w, const EncoderSettings& s, double seconds, int chunkSamples = 1152) {
    Fed fed;
    const int frames = s.HasVideo && w.HasVideoStream()
                           ? int(std::lround(seconds / FrameSeconds(s.FrameRate)))
                           : 0;
    const double total = frames ? frames * FrameSeconds(s.FrameRate) : seconds;
    const std::int64_t totalSamples = w.HasAudioStream() ? std::llround(total * s.SampleRate) : 0;
    while (fed.frames < frames || fed.samples < totalSamples) {
        const double vt = fed.frames < frames ? fed.frames * FrameSeconds(s.FrameRate) : 1e9;
        const double at = fed.samples < totalSamples ? double(fed.samples) / s.SampleRate : 1e9;
        if (vt <= at) {
            auto pic = Yv12(s.Width, s.Height, fed.frames);
            EXPECT_EQ(w.WriteVideoFrame(pic.data(), pic.size()), 0);
            ++fed.frames;
        } else {
            const int n = int(std::min<std::int64_t>(chunkSamples, totalSamples - fed.samples));
            auto pcm = Tone(s.SampleRate, s.Channel, fed.samples, n);
            EXPECT_EQ(w.WriteAudioSamples(pcm.data(), pcm.size()), 0);
            fed.samples += n;
        }
    }
    return fed;
}

struct Combo {
    const char* file;
    const char* vcodec;
    int width, height, frameRate;
    const char* acodec;
    int rate, channels;
    const char* vname;  // codec names as ffprobe reports them
    const char* aname;
    const char* frameRateText;
};

const Combo kCombos[] = {
    {"flash.flv", "flv", 320, 240, 25000, "libmp3lame", 44100, 2, "flv1", "mp3", "25/1"},
    {"x264.mp4", "libx264", 320, 240, 25000, "aac", 48000, 2, "h264", "aac", "25/1"},
    {"xvid.avi", "mpeg4", 320, 240, 29970, "libmp3lame", 44100, 2, "mpeg4", "mp3", "30000/1001"},
    {"dvd.mpg", "mpeg2video", 352, 288, 25000, "mp2", 48000, 2, "mpeg2video", "mp2", "25/1"},
    {"vp8.webm", "libvpx", 320, 240, 25000, "libvorbis", 44100, 2, "vp8", "vorbis", "25/1"},
    {"win.wmv", "wmv2", 320, 240, 25000, "wmav2", 44100, 2, "wmv2", "wmav2", "25/1"},
    {"phone.3gp", "h263", 176, 144, 25000, "aac", 44100, 1, "h263", "aac", "25/1"},
    {"ntsc.mp4", "libx264", 320, 240, 23976, "aac", 44100, 6, "h264", "aac", "24000/1001"},
    {"sound.mp3", nullptr, 0, 0, 25000, "libmp3lame", 44100, 2, nullptr, "mp3", nullptr},
    {"sound.wav", nullptr, 0, 0, 25000, "pcm_s16le", 48000, 2, nullptr, "pcm_s16le", nullptr},
};

TEST(MediaWriter, WritesFilesThatProbeAsTheProfileSays) {
    for (const Combo& c : kCombos) {
        SCOPED_TRACE(c.file);
        const std::string path = TempPath(c.file);
        fs::remove(path);
        const EncoderSettings s =
            MakeSettings(c.vcodec, c.width, c.height, c.frameRate, c.acodec, c.rate, c.channels);
        CMediaWriter w;
        ASSERT_TRUE(w.Open(path, s)) << w.LastError();
        EXPECT_EQ(w.HasVideoStream(), c.vcodec != nullptr);
        EXPECT_TRUE(w.HasAudioStream());
        const Fed fed = Feed(w, s, 2.0);
        ASSERT_TRUE(w.Close()) << w.LastError();
        EXPECT_FALSE(w.IsOpen());

        const auto info = Probe(path);
        ASSERT_TRUE(info.contains("streams"));
        const nlohmann::json* video = nullptr;
        const nlohmann::json* audio = nullptr;
        for (const auto& st : info["streams"]) {
            if (st["codec_type"] == "video") video = &st;
            if (st["codec_type"] == "audio") audio = &st;
        }
        auto spans = PacketSpans(path);
        if (c.vcodec) {
            ASSERT_NE(video, nullptr);
            EXPECT_EQ((*video)["codec_name"], c.vname);
            EXPECT_EQ((*video)["width"], c.width);
            EXPECT_EQ((*video)["height"], c.height);
            EXPECT_EQ((*video)["r_frame_rate"], c.frameRateText);
            const StreamSpan& vs = spans[(*video)["index"].get<int>()];
            // Every picture handed in reaches the file, pictures the encoder
            // held back included.
            EXPECT_EQ(vs.packets, fed.frames);
            const double frame = FrameSeconds(c.frameRate);
            EXPECT_NEAR(vs.Span(), fed.frames * frame, 2 * frame);
        } else {
            EXPECT_EQ(video, nullptr);
        }
        ASSERT_NE(audio, nullptr);
        EXPECT_EQ((*audio)["codec_name"], c.aname);
        EXPECT_EQ((*audio)["sample_rate"], std::to_string(c.rate));
        EXPECT_EQ((*audio)["channels"], c.channels);
        const StreamSpan& as = spans[(*audio)["index"].get<int>()];
        const double fedSeconds = double(fed.samples) / c.rate;
        // Two encoder frames of slack: priming and the padded last frame.
        EXPECT_NEAR(as.Span(), fedSeconds, 2 * 2048.0 / c.rate);
    }
}

// Sound decoded ahead of the pictures: a conversion cut short ends its sound
// with the last picture, a finished one keeps all of it.
TEST(MediaWriter, SoundAheadOfThePicturesIsCutOnlyWhenAsked) {
    struct Case {
        const char* file;
        const char* vcodec;
        const char* acodec;
        bool cut;
        double soundSeconds;
    };
    const Case cases[] = {
        {"cut.flv", "flv", "libmp3lame", true, 1.0},
        {"whole.flv", "flv", "libmp3lame", false, 3.0},
        {"cut.mp4", "libx264", "aac", true, 1.0},  // the encoder holds pictures back
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = TempPath(c.file);
        fs::remove(path);
        const EncoderSettings s = MakeSettings(c.vcodec, 320, 240, 25000, c.acodec, 44100, 2);
        CMediaWriter w;
        ASSERT_TRUE(w.Open(path, s)) << w.LastError();
        const Fed fed = Feed(w, s, 1.0);
        // Two more seconds of sound, no pictures.
        auto pcm = Tone(s.SampleRate, s.Channel, fed.samples, 2 * s.SampleRate);
        ASSERT_EQ(w.WriteAudioSamples(pcm.data(), pcm.size()), 0);
        ASSERT_TRUE(w.Close(c.cut)) << w.LastError();
        auto spans = PacketSpans(path);
        const auto info = Probe(path);
        for (const auto& st : info["streams"]) {
            const StreamSpan& span = spans[st["index"].get<int>()];
            if (st["codec_type"] == "video") EXPECT_EQ(span.packets, fed.frames);
            // Two encoder frames of slack: priming, and the frame that straddles the cut.
            if (st["codec_type"] == "audio") EXPECT_NEAR(span.Span(), c.soundSeconds, 2 * 1152.0 / 44100);
        }
    }
}

TEST(MediaWriter, SixteenBitPcmOutputHoldsExactlyTheBytesHandedIn) {
    const std::string path = TempPath("exact.wav");
    const EncoderSettings s = MakeSettings(nullptr, 0, 0, 25000, "pcm_s16le", 22050, 2);
    CMediaWriter w;
    ASSERT_TRUE(w.Open(path, s)) << w.LastError();
    std::vector<std::uint8_t> all;
    for (int i = 0; i < 7; ++i) {
        auto pcm = Tone(22050, 2, std::int64_t(all.size()) / 4, 1000 + 37 * i, 12000);
        all.insert(all.end(), pcm.begin(), pcm.end());
        ASSERT_EQ(w.WriteAudioSamples(pcm.data(), pcm.size()), 0);
    }
    ASSERT_TRUE(w.Close());

    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    const std::string tag = "data";
    auto at = std::search(file.begin(), file.end(), tag.begin(), tag.end());
    ASSERT_NE(at, file.end());
    std::vector<std::uint8_t> data(at + 8, file.end());
    EXPECT_EQ(data, all);
}

// What a decoder gets back from a lossless file: the picture handed in, with
// the chroma planes where YV12 put them.
TEST(MediaWriter, PicturesKeepTheirPlanes) {
    const std::string path = TempPath("raw.nut");
    const int w = 64, h = 48;
    const EncoderSettings s = MakeSettings("rawvideo", w, h, 25000, nullptr, 0, 0);
    CMediaWriter writer;
    ASSERT_TRUE(writer.Open(path, s)) << writer.LastError();
    EXPECT_FALSE(writer.HasAudioStream());
    auto pic = Yv12(w, h, 3, /*v=*/200, /*u=*/60);
    ASSERT_EQ(writer.WriteVideoFrame(pic.data(), pic.size()), 0);
    // A buffer shorter than one picture is refused, not read past its end.
    EXPECT_EQ(writer.WriteVideoFrame(pic.data(), pic.size() - 1), -1);
    ASSERT_TRUE(writer.Close());

    // Decoded as I420: Y, then U, then V.
    auto out = RunBinary("ffmpeg -v error -i " + Quote(path) + " -f rawvideo -pix_fmt yuv420p -");
    ASSERT_EQ(out.size(), pic.size());
    const std::size_t y = std::size_t(w) * h, c = y / 4;
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + y, pic.begin()));
    EXPECT_EQ(out[y], 60);       // U
    EXPECT_EQ(out[y + c], 200);  // V
    EXPECT_EQ(out[y + c - 1], 60);
    EXPECT_EQ(out[y + 2 * c - 1], 200);
}

TEST(MediaWriter, EncoderWithAnotherPixelFormatGetsConvertedPicturesOfTheSameSize) {
    const std::string path = TempPath("mjpeg.avi");
    const EncoderSettings s = MakeSettings("mjpeg", 160, 120, 25000, nullptr, 0, 0);
    CMediaWriter w;
    ASSERT_TRUE(w.Open(path, s)) << w.LastError();
    for (int i = 0; i < 5; ++i) {
        auto pic = Yv12(160, 120, i);
        ASSERT_EQ(w.WriteVideoFrame(pic.data(), pic.size()), 0);
    }
    ASSERT_TRUE(w.Close());
    const auto info = Probe(path);
    ASSERT_EQ(info["streams"].size(), 1u);
    const auto& st = info["streams"][0];
    EXPECT_EQ(st["codec_name"], "mjpeg");
    EXPECT_EQ(st["pix_fmt"], "yuvj420p");
    EXPECT_EQ(st["width"], 160);
    EXPECT_EQ(st["height"], 120);
    EXPECT_EQ(PacketSpans(path)[0].packets, 5);
}

TEST(MediaWriter, FrameRateGivesTimeBaseAndKeyFrameInterval) {
    struct Case {
        int frameRate;
        const char* rateText;
        int gop;
    };
    const Case cases[] = {{23976, "24000/1001", 23},
                          {29970, "30000/1001", 29},
                          {25000, "25/1", 25},
                          {12500, "12/1", 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frameRate);
        const std::string path = TempPath("gop" + std::to_string(c.frameRate) + ".avi");
        const EncoderSettings s = MakeSettings("mpeg4", 160, 120, c.frameRate, nullptr, 0, 0);
        CMediaWriter w;
        ASSERT_TRUE(w.Open(path, s)) << w.LastError();
        const int frames = 3 * c.gop + 1;
        for (int i = 0; i < frames; ++i) {
            auto pic = Yv12(160, 120, i);
            ASSERT_EQ(w.WriteVideoFrame(pic.data(), pic.size()), 0);
        }
        ASSERT_TRUE(w.Close());
        EXPECT_EQ(Probe(path)["streams"][0]["r_frame_rate"], c.rateText);
        const StreamSpan span = PacketSpans(path)[0];
        EXPECT_EQ(span.packets, frames);
        EXPECT_EQ(span.keys, (std::vector<int>{0, c.gop, 2 * c.gop, 3 * c.gop}));
    }
}

TEST(MediaWriter, AudioIsEncodedInWholeEncoderFrames) {
    // mp2 takes 1152 samples a frame: with two channels, 4608 bytes.
    const std::string path = TempPath("frames.mp2");
    const EncoderSettings s = MakeSettings(nullptr, 0, 0, 25000, "mp2", 48000, 2);
    CMediaWriter w;
    ASSERT_TRUE(w.Open(path, s)) << w.LastError();
    auto pcm = Tone(48000, 2, 0, 6000);
    ASSERT_EQ(w.WriteAudioSamples(pcm.data(), 4607), 0);
    EXPECT_EQ(w.AudioSamplesWritten(), 0);
    ASSERT_EQ(w.WriteAudioSamples(pcm.data() + 4607, 1), 0);
    EXPECT_EQ(w.AudioSamplesWritten(), 1152);
    // Several frames in one block, and a rest that waits.
    ASSERT_EQ(w.WriteAudioSamples(pcm.data() + 4608, 3 * 4608 + 100), 0);
    EXPECT_EQ(w.AudioSamplesWritten(), 4 * 1152);
    // A block larger than the ring loses nothing.
    std::vector<std::uint8_t> big(CMediaWriter::kRingBytes + 5 * 4608 - 100, 0);
    ASSERT_EQ(w.WriteAudioSamples(big.data(), big.size()), 0);
    EXPECT_EQ(w.AudioSamplesWritten(), std::int64_t(4 * 1152 + big.size() / 4608 * 1152));
    // Close encodes the pending rest rather than dropping it.
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(PacketSpans(path)[0].packets, int(4 + big.size() / 4608 + 1));
}

TEST(MediaWriter, TailShorterThanOneFrameReachesTheFile) {
    // AAC frames hold 1024 samples; 10.5 frames go in, so half a frame is pending
    // at close.
    const std::string path = TempPath("tail.m4a");
    const EncoderSettings s = MakeSettings(nullptr, 0, 0, 25000, "aac", 48000, 2);
    CMediaWriter w;
    ASSERT_TRUE(w.Open(path, s)) << w.LastError();
    auto pcm = Tone(48000, 2, 0, 10752);
    ASSERT_EQ(w.WriteAudioSamples(pcm.data(), pcm.size()), 0);
    EXPECT_EQ(w.AudioSamplesWritten(), 10240);
    ASSERT_TRUE(w.Close());
    // Decoded, the sound holds at least what went in (the encoder's priming is
    // trimmed by the container; the last frame is padded to a whole one).
    auto out = RunBinary("ffmpeg -v error -i " + Quote(path) + " -f s16le -ac 2 -");
    EXPECT_GE(out.size() / 4, 10752u);
    EXPECT_LT(out.size() / 4, 10752u + 1024);
}

TEST(MediaWriter, ConvertedSoundKeepsItsLevel) {
    // AAC takes planar float, so the 16-bit input is converted; a bad
    // conversion is noise or silence, not the tone at its level.
    const std::string path = TempPath("level.m4a");
    const EncoderSettings s = MakeSettings(nullptr, 0, 0, 25000, "aac", 44100, 2, 0, 192000);
    CMediaWriter w;
    ASSERT_TRUE(w.Open(path, s)) << w.LastError();
    auto pcm = Tone(44100, 2, 0, 44100, 10000);
    ASSERT_EQ(w.WriteAudioSamples(pcm.data(), pcm.size()), 0);
    ASSERT_TRUE(w.Close());
    auto out = RunBinary("ffmpeg -v error -i " + Quote(path) + " -f s16le -ac 2 -");
    ASSERT_GT(out.size(), 40000u * 4);
    const auto* s16 = reinterpret_cast<const std::int16_t*>(out.data());
    double sum = 0, diff = 0;
    const std::size_t from = 4096, to = 40000;  // away from the edges
    for (std::size_t i = from; i < to; ++i) {
        sum += double(s16[2 * i]) * s16[2 * i];
        diff += std::abs(s16[2 * i] - s16[2 * i + 1]);
    }
    const double rms = std::sqrt(sum / double(to - from));
    EXPECT_NEAR(rms, 10000 / std::sqrt(2.0), 700);
    EXPECT_LT(diff / double(to - from), 50);  // both channels carry the same tone
}

TEST(MediaWriter, OpenFailsCleanlyOnBadProfilesAndNames) {
    struct Case {
        const char* why;
        const char* file;
        EncoderSettings s;
        bool opens;
        bool video = false, audio = false;
    };
    EncoderSettings noVideoName = MakeSettings("", 320, 240, 25000, "libmp3lame", 44100, 2);
    noVideoName.HasVideo = 1;
    const Case cases[] = {
        {"unknown video encoder", "a.flv",
         MakeSettings("nosuchcodec", 320, 240, 25000, "libmp3lame", 44100, 2), false},
        {"unknown audio encoder", "b.flv",
         MakeSettings("flv", 320, 240, 25000, "nosuchcodec", 44100, 2), false},
        {"no encoder at all", "c.flv", MakeSettings("", 320, 240, 25000, "", 44100, 2), false},
        {"audio encoder as the video encoder", "d.flv",
         MakeSettings("libmp3lame", 320, 240, 25000, nullptr, 0, 0), false},
        {"extension no container claims", "e.notacontainer",
         MakeSettings("flv", 320, 240, 25000, "libmp3lame", 44100, 2), false},
        {"container that cannot carry two streams", "f.wav",
         MakeSettings("mpeg4", 320, 240, 25000, "pcm_s16le", 44100, 2), false},
        {"rate the encoder refuses", "g.flv",
         MakeSettings("flv", 320, 240, 25000, "libmp3lame", 12345, 2), false},
        {"no frame rate", "h.flv", MakeSettings("flv", 320, 240, 0, nullptr, 0, 0), false},
        {"video codec named but empty: sound only", "i.flv", noVideoName, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const std::string path = TempPath(c.file);
        fs::remove(path);
        CMediaWriter w;
        EXPECT_EQ(w.Open(path, c.s), c.opens);
        EXPECT_EQ(w.IsOpen(), c.opens);
        EXPECT_EQ(w.HasVideoStream(), c.video);
        EXPECT_EQ(w.HasAudioStream(), c.audio);
        if (!c.opens) {
            EXPECT_FALSE(w.LastError().empty());
            EXPECT_FALSE(fs::exists(path));  // no broken file left behind
            EXPECT_EQ(w.Settings(), nullptr);
        }
        EXPECT_TRUE(w.Close());
    }
}

TEST(MediaWriter, ReopensForTheNextFileAfterClose) {
    const EncoderSettings s = MakeSettings("flv", 160, 120, 25000, "libmp3lame", 44100, 2);
    CMediaWriter w;
    for (int i = 0; i < 2; ++i) {
        const std::string path = TempPath("again" + std::to_string(i) + ".flv");
        ASSERT_TRUE(w.Open(path, s)) << w.LastError();
        EXPECT_EQ(w.Settings(), &s);
        const Fed fed = Feed(w, s, 0.4 + 0.4 * i);
        ASSERT_TRUE(w.Close());
        auto spans = PacketSpans(path);
        EXPECT_EQ(spans[StreamIndex(path, "video")].packets, fed.frames);
        EXPECT_NEAR(spans[StreamIndex(path, "audio")].Span(), double(fed.samples) / 44100,
                    2 * 1152.0 / 44100);
    }
}

}  // namespace
