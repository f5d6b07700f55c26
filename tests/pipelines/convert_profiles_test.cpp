// Every shipped profile converts a piece of a fixture title into a file that
// ffprobe reads with the profile's codecs, picture size, frame rate, sample rate
// and channels, and whose streams last as long as the piece.
#include <gtest/gtest.h>

#include <list>

#include "convert_support.h"

namespace profiles {
// Test names say which profile failed; the record itself is kilobytes of UTF-16.
void PrintTo(const FormatProfile& p, std::ostream* os) { *os << FieldUtf8(p.ProfileName); }
}  // namespace profiles

namespace {

using namespace convtest;
using fixtures::Disc;

std::vector<profiles::FormatProfile> ShippedProfiles() {
    std::list<profiles::FormatProfile> list;
    profiles::ReadFormatFile(std::string(DISCREEL_SOURCE_DIR) + "/data/Format.xml", list);
    return {list.begin(), list.end()};
}

// The encoder names of the profiles against what ffprobe calls the streams.
std::string ProbedVideoCodec(const std::string& encoder) {
    static const std::map<std::string, std::string> names = {
        {"flv", "flv1"}, {"libx264", "h264"}, {"libvpx", "vp8"}, {"libvpx-vp9", "vp9"}};
    auto it = names.find(encoder);
    return it == names.end() ? encoder : it->second;
}

std::string ProbedAudioCodec(const std::string& encoder) {
    static const std::map<std::string, std::string> names = {{"libmp3lame", "mp3"}, {"libvorbis", "vorbis"}};
    auto it = names.find(encoder);
    return it == names.end() ? encoder : it->second;
}

// Pieces of the discs the profiles take in turn: an NTSC piece across the
// chapter boundary, a PAL piece with 5.1 AC-3 (frame rate and channel
// conversion), and PAL titles with LPCM and DTS sound.
struct Piece {
    Disc disc;
    int title;
    double start, length;
};
const Piece kPieces[] = {
    {Disc::Ntsc, 1, 4.0, 1.6},
    {Disc::Pal, 1, 1.0, 1.6},
    {Disc::Pal, 2, 0.0, 1.6},
    {Disc::Pal, 3, 2.0, 1.6},
};

class EveryProfile : public testing::TestWithParam<profiles::FormatProfile> {};

TEST_P(EveryProfile, WritesTheProfilesStreamsForTheWholePiece) {
    const profiles::FormatProfile& profile = GetParam();
    const EncoderSettings& s = profile.Settings;
    const Piece& piece = kPieces[std::size_t(profile.Index) % std::size(kPieces)];
    SCOPED_TRACE(profiles::FieldUtf8(profile.ProfileName));

    Job job;
    job.disc = fixtures::Folder(piece.disc);
    job.entries = {{piece.title, piece.start, piece.length}};
    job.settings = s;
    job.ext = profiles::FieldUtf8(profile.FormatExt);
    const auto& title = fixtures::TitleOf(piece.disc, piece.title);
    job.audio = title.audio.front().trackId;
    JobResult r = RunJob(job);
    ASSERT_EQ(r.outcomes.size(), 1u);
    EXPECT_TRUE(r.outcomes[0].built);
    EXPECT_TRUE(r.outcomes[0].completed);
    EXPECT_EQ(r.outcomes[0].openResult, 0);
    EXPECT_TRUE(r.messages.empty()) << r.messages.front();
    ASSERT_EQ(r.outputs.size(), 1u);
    const std::string file = r.outputs[0];
    EXPECT_EQ(fs::path(file).filename().string(), "Title_0" + std::to_string(piece.title) + job.ext);

    json probe = Probe(file);
    const json* video = StreamOf(probe, "video");
    const json* audio = StreamOf(probe, "audio");
    Spans spans = PacketSpans(file);
    if (s.HasVideo) {
        ASSERT_NE(video, nullptr) << probe.dump();
        EXPECT_EQ(video->value("codec_name", ""), ProbedVideoCodec(s.VideoCodecName));
        EXPECT_EQ(video->value("width", 0), s.Width);
        EXPECT_EQ(video->value("height", 0), s.Height);
        const double fps = s.FrameRate / 1000.0;
        EXPECT_NEAR(Rational(video->value("r_frame_rate", "0/1")), fps, 0.01);
        // Within two pictures of the piece, counted and timed: the pictures
        // that straddle either end of the trim are kept (a PAL source's are the
        // longer ones), and the trim's length is rarely a whole number of them.
        const auto& f = fixtures::Format(piece.disc);
        const double tolerance = 2.1 / std::min(fps, double(f.fpsNum) / f.fpsDen);
        EXPECT_NEAR(spans.packets["video"] / fps, piece.length, tolerance);
        EXPECT_NEAR(spans.seconds["video"], piece.length, tolerance);
    } else {
        EXPECT_EQ(video, nullptr);
    }
    if (s.HasAudio) {
        ASSERT_NE(audio, nullptr) << probe.dump();
        EXPECT_EQ(audio->value("codec_name", ""), ProbedAudioCodec(s.AudioCodecName));
        EXPECT_EQ(std::stoi(audio->value("sample_rate", "0")), s.SampleRate);
        EXPECT_EQ(audio->value("channels", 0), s.Channel);
        // Sound blocks that straddle the ends of the trim are written whole (a
        // DVD audio frame is 32 ms or less), and the encoder pads its last frame
        // (up to 1152 samples, 52 ms at 22050 Hz).
        EXPECT_NEAR(spans.seconds["audio"], piece.length, 2 * 0.032 + 0.053);
        // The title's tone arrives (channel conversion and resampling keep it).
        auto pcm = Sound(file, 44100);
        EXPECT_NEAR(ToneHz(pcm, 44100), title.audio.front().toneHz, 3.0);
    } else {
        EXPECT_EQ(audio, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(ShippedFormatXml, EveryProfile, testing::ValuesIn(ShippedProfiles()),
                         [](const testing::TestParamInfo<profiles::FormatProfile>& info) {
                             std::string name = std::to_string(info.param.Index) + "_" +
                                                profiles::FieldUtf8(info.param.ProfileName);
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(ShippedFormatXml, HasProfiles) { EXPECT_GE(ShippedProfiles().size(), 2u); }

}  // namespace
