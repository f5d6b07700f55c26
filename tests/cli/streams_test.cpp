// discreel-cli streams on the authored discs: every stream the demultiplexer
// offers for a title, in list order, with the names the pipelines match track
// ids against; and how it ends on bad input.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "../fixtures/fixtures.h"

namespace {

using fixtures::Disc;
using json = nlohmann::json;

fixtures::CommandResult Cli(const std::string& args) {
    return fixtures::RunCommand(fixtures::Quote(DISCREEL_CLI) + " " + args + " 2>/dev/null");
}

// "(pid,stream id,sub-stream id)" as stream names end.
std::string Suffix(int trackId) {
    char text[32];
    std::snprintf(text, sizeof text, "(0000,%02x,%02x)", (trackId >> 8) & 0xFF, trackId & 0xFF);
    return text;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

struct Expected {
    Disc disc;
    int title;
    std::vector<std::string> names;  // exact, in list order
};

class StreamsJson : public testing::TestWithParam<Expected> {};

TEST_P(StreamsJson, ListsEveryStreamInOrder) {
    const Expected& e = GetParam();
    auto r = Cli("streams " + fixtures::Quote(fixtures::Folder(e.disc).string()) + " --title " +
                 std::to_string(e.title) + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    json j = json::parse(r.output);
    ASSERT_EQ(j["streams"].size(), e.names.size()) << r.output;
    int lastGroup = -1;
    bool firstOfGroup = true;
    for (size_t i = 0; i < e.names.size(); ++i) {
        const json& s = j["streams"][i];
        EXPECT_EQ(s["index"], int(i));
        EXPECT_EQ(s["name"], e.names[i]);
        int group = s["group"];
        EXPECT_GE(group, lastGroup);
        firstOfGroup = group != lastGroup;
        // The head of each group owns the group's output pin.
        EXPECT_EQ(s["enabled"], firstOfGroup) << e.names[i];
        lastGroup = group;
    }
}

const char* kNtscVideo = "Video - MPEG2 Main Profile@Main Level, 720x480, 29.970 fps, 9000.0 kbit/s (0000,e0,00)";
const char* kPalVideo = "Video - MPEG2 Main Profile@Main Level, 720x576, 25.000 fps, 9000.0 kbit/s (0000,e0,00)";

INSTANTIATE_TEST_SUITE_P(
    Fixtures, StreamsJson,
    testing::Values(
        Expected{Disc::Ntsc, 1, {kNtscVideo, "Audio - Dolby Digital, 48.0 kHz, 2 chn, 192.0 kbit/s (0000,bd,80)", "No subtitles"}},
        Expected{Disc::Ntsc, 3, {kNtscVideo, "Audio - Dolby Digital, 48.0 kHz, 2 chn, 192.0 kbit/s (0000,bd,80)", "No subtitles"}},
        Expected{Disc::Pal, 1,
                 {kPalVideo, "Audio - Dolby Digital, 48.0 kHz, 6 chn, 448.0 kbit/s (0000,bd,80)",
                  "Audio - MPEG1 - Layer 2, 48.0 kHz, 2 chn, 192.0 kbit/s (0000,c0,00)",
                  "Video - DVD Sub Picture (0000,bd,20)", "Video - DVD Sub Picture (0000,bd,21)"}},
        Expected{Disc::Pal, 2, {kPalVideo, "Audio - DVD LPCM, 48.0 kHz, 2 chn, 16 bit, 1536.0 kbit/s (0000,bd,a0)", "No subtitles"}}));

TEST(StreamsText, NamesEndInTheTrackIdsOfTheCatalogue) {
    for (const fixtures::Title& t : fixtures::Titles()) {
        auto r = Cli("streams " + fixtures::Quote(fixtures::Iso(t.disc).string()) + " --title " + std::to_string(t.number));
        ASSERT_EQ(r.exitCode, 0) << t.number;
        for (const fixtures::AudioTrack& a : t.audio)
            EXPECT_NE(r.output.find(Suffix(a.trackId) + "\n"), std::string::npos) << r.output;
        for (const fixtures::SubpictureTrack& s : t.subpictures)
            EXPECT_NE(r.output.find(Suffix(s.trackId) + "\n"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("0  group 0  enabled   Video - MPEG2"), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("No subtitles") == std::string::npos, !t.subpictures.empty()) << r.output;
    }
}

TEST(StreamsErrors, BadTitleOrDiscEndsWithFailure) {
    auto none = fixtures::RunCommand(fixtures::Quote(DISCREEL_CLI) + " streams " +
                                     fixtures::Quote(fixtures::PalFolder().string()) + " --title 9 2>&1");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.output.find("No title 9"), std::string::npos) << none.output;
    auto zero = Cli("streams " + fixtures::Quote(fixtures::PalFolder().string()) + " --title 0");
    EXPECT_EQ(zero.exitCode, 1);
    auto missing = Cli("streams /nonexistent/dvd --title 1");
    EXPECT_EQ(missing.exitCode, 1);
    auto usage = Cli("streams " + fixtures::Quote(fixtures::PalFolder().string()));
    EXPECT_EQ(usage.exitCode, 2);
}

}  // namespace
