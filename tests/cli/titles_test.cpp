// discreel-cli titles on the authored discs: what it lists, in both output
// forms, and how it ends on bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "../fixtures/fixtures.h"

namespace {

using fixtures::Disc;
using json = nlohmann::json;

fixtures::CommandResult Cli(const std::string& args) {
    return fixtures::RunCommand(fixtures::Quote(DISCREEL_CLI) + " " + args);
}

std::string Label(const char* lang, const char* codec, int channels) {
    std::string name = std::string(lang) == "en" ? "English" : std::string(lang) == "fr" ? "French" : "?";
    std::string codecText = std::string(codec) == "ac3"       ? "AC3"
                            : std::string(codec) == "mp2"     ? "MP3"
                            : std::string(codec) == "pcm_dvd" ? "LPCM"
                            : std::string(codec) == "dts"     ? "DTS"
                                                              : "?";
    return name + "(" + codecText + " " + std::to_string(channels) + "ch)";
}

std::string SubtitleLabel(const char* lang) {
    return std::string(lang) == "en" ? "English" : std::string(lang) == "de" ? "German" : "?";
}

struct Source {
    Disc disc;
    bool iso;
};

class TitlesJson : public testing::TestWithParam<Source> {};

TEST_P(TitlesJson, ListsTheTitlesOfAtLeastThreeSecondsWithTheirTracks) {
    const Source& p = GetParam();
    std::string path = p.iso ? fixtures::Iso(p.disc) : fixtures::Folder(p.disc);
    auto r = Cli("titles --json " + fixtures::Quote(path));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    json got = json::parse(r.output);

    std::vector<fixtures::Title> expected;
    for (const fixtures::Title& t : fixtures::TitlesOf(p.disc))
        if (t.Seconds() >= 3.0) expected.push_back(t);
    ASSERT_EQ(got["titles"].size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const fixtures::Title& want = expected[i];
        const json& title = got["titles"][i];
        SCOPED_TRACE("title " + std::to_string(want.number));
        char name[16];
        std::snprintf(name, sizeof name, "Title_%02d", want.number);
        EXPECT_EQ(title["name"], name);
        EXPECT_EQ(title["index"], want.number - 1);
        EXPECT_NEAR(title["duration_ms"].get<double>(), want.Seconds() * 1000.0, 40.0);
        int seconds = int(title["duration_ms"].get<std::int64_t>() / 1000);
        char text[16];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
        EXPECT_EQ(title["duration"], text);
        EXPECT_EQ(title["chapters"], int(want.chapterFrames.size()));
        ASSERT_EQ(title["audio"].size(), want.audio.size());
        for (std::size_t a = 0; a < want.audio.size(); ++a) {
            EXPECT_EQ(title["audio"][a]["id"], want.audio[a].trackId);
            EXPECT_EQ(title["audio"][a]["label"], Label(want.audio[a].lang, want.audio[a].codec, want.audio[a].channels));
        }
        ASSERT_EQ(title["subtitles"].size(), want.subpictures.size());
        for (std::size_t s = 0; s < want.subpictures.size(); ++s) {
            EXPECT_EQ(title["subtitles"][s]["id"], want.subpictures[s].trackId);
            EXPECT_EQ(title["subtitles"][s]["label"], SubtitleLabel(want.subpictures[s].lang));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TitlesJson,
                         testing::Values(Source{Disc::Ntsc, false}, Source{Disc::Ntsc, true}, Source{Disc::Pal, false},
                                         Source{Disc::Pal, true}));

TEST(TitlesText, ShowsNamesDurationsAndTracks) {
    auto r = Cli("titles " + fixtures::Quote(fixtures::PalFolder()));
    ASSERT_EQ(r.exitCode, 0);
    for (const char* line : {"Title_01  00:00:06  1 chapter\n", "  audio     0xbd80  English(AC3 6ch)\n",
                             "  audio     0xc000  French(MP3 2ch)\n", "  subtitle  0xbd21  German\n",
                             "Title_03  00:00:04  1 chapter\n", "  audio     0xbd88  English(DTS 6ch)\n"})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "in\n" << r.output;
}

TEST(TitlesErrors, ExitCodesAndMessages) {
    std::string missing = fixtures::Dir() / "no such disc";
    auto r = fixtures::RunCommand(fixtures::Quote(DISCREEL_CLI) + " titles " + fixtures::Quote(missing) + " 2>&1");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "Open DVD error: " + missing + "\n");

    // A file that is not a DVD at all.
    r = Cli("titles " + fixtures::Quote(fixtures::VobPath(Disc::Pal, 1)) + " 2>/dev/null");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "");

    for (const char* usage : {"titles", "titles a b", "titles --bogus x"})
        EXPECT_EQ(Cli(std::string(usage) + " 2>/dev/null").exitCode, 2) << usage;
}

}  // namespace
