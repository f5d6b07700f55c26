#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "profiles/profile.h"
#include "temp_dir.h"

using namespace profiles;

namespace {

// Builds a Profile element from (child, value) pairs in the given order.
std::string ProfileXml(const std::vector<std::pair<std::string, std::string>>& children) {
    std::string x = "  <Profile>\n";
    for (const auto& [name, value] : children) x += "    <" + name + " value=\"" + value + "\"/>\n";
    return x + "  </Profile>\n";
}

std::vector<std::pair<std::string, std::string>> FullChildren(const std::string& name) {
    return {{"ProfileName", name},
            {"FormatExt", ".flv"},
            {"VideoCodecName", "flv"},
            {"Width", "480"},
            {"Height", "360"},
            {"FrameRate", "29970"},
            {"VideoBitRate", "800000"},
            {"AudioCodecName", "libmp3lame"},
            {"SampleRate", "44100"},
            {"AudioBitRate", "128000"},
            {"Channel", "2"},
            {"Resolutions", "320*240,480*360"},
            {"FrameRates", "25000$25,29970$29.97"},
            {"VideoCodecs", "flv$FLV1"},
            {"VideoBitRates", "800000$800 kbps"},
            {"SampleRates", "44100,22050"},
            {"Channels", "2$Stereo,1$Mono"},
            {"AudioCodecs", "libmp3lame$MP3"},
            {"AudioBitRates", "128000$128 kbps"}};
}

std::string Catalogue(const std::vector<std::string>& profiles) {
    std::string x = "<?xml version=\"1.0\"?>\n<Formats>\n";
    for (const auto& p : profiles) x += p;
    return x + "</Formats>\n";
}

class CatalogueFile : public ::testing::Test {
  protected:
    // Loads a catalogue holding just these profiles and returns profile `index`.
    FormatProfile LoadOne(const std::vector<std::pair<std::string, std::string>>& children) {
        FormatProfile p;
        std::memset(&p, 0xCC, sizeof p);
        EXPECT_TRUE(catalogue.Load(dir.Write("Format.xml", Catalogue({ProfileXml(children)}))));
        EXPECT_TRUE(catalogue.FindByIndex(0, p));
        return p;
    }
    TempDir dir;
    ProfileCatalogue catalogue;
};

TEST_F(CatalogueFile, ReadsEveryFieldOfACompleteProfile) {
    FormatProfile p = LoadOne(FullChildren("Flash 480"));
    const EncoderSettings& s = p.Settings;
    EXPECT_EQ(p.Index, 0);
    EXPECT_EQ(FieldUtf8(p.ProfileName), "Flash 480");
    EXPECT_EQ(FieldUtf8(p.FormatExt), ".flv");
    EXPECT_EQ(s.HasVideo, 1);
    EXPECT_EQ(s.HasAudio, 1);
    EXPECT_STREQ(s.VideoCodecName, "flv");
    EXPECT_EQ(s.Width, 480);
    EXPECT_EQ(s.Height, 360);
    EXPECT_EQ(s.FrameRate, 29970);
    EXPECT_EQ(s.VideoBitRate, 800000);
    EXPECT_STREQ(s.AudioCodecName, "libmp3lame");
    EXPECT_EQ(s.SampleRate, 44100);
    EXPECT_EQ(s.AudioBitRate, 128000);
    EXPECT_EQ(s.Channel, 2);
    EXPECT_EQ(FieldUtf8(p.Resolutions), "320*240,480*360");
    EXPECT_EQ(FieldUtf8(p.FrameRates), "25000$25,29970$29.97");
    EXPECT_EQ(FieldUtf8(p.VideoCodecs), "flv$FLV1");
    EXPECT_EQ(FieldUtf8(p.VideoBitRates), "800000$800 kbps");
    EXPECT_EQ(FieldUtf8(p.SampleRates), "44100,22050");
    EXPECT_EQ(FieldUtf8(p.Channels), "2$Stereo,1$Mono");
    EXPECT_EQ(FieldUtf8(p.AudioCodecs), "libmp3lame$MP3");
    EXPECT_EQ(FieldUtf8(p.AudioBitRates), "128000$128 kbps");
}

TEST_F(CatalogueFile, ChildrenOutOfOrderReadAsAbsent) {
    auto c = FullChildren("swapped");
    // Channel moved before SampleRate: SampleRate and AudioBitRate are still found
    // after it, but Channel is then searched only after AudioBitRate.
    auto channel = c[10];
    c.erase(c.begin() + 10);
    c.insert(c.begin() + 8, channel);
    FormatProfile p = LoadOne(c);
    EXPECT_EQ(p.Settings.HasAudio, 0);
    EXPECT_EQ(p.Settings.Channel, 0);
    EXPECT_EQ(p.Settings.SampleRate, 44100);
    EXPECT_EQ(p.Settings.AudioBitRate, 128000);
    EXPECT_EQ(p.Settings.HasVideo, 1);
    EXPECT_EQ(FieldUtf8(p.AudioBitRates), "128000$128 kbps") << "later children still read";
}

TEST_F(CatalogueFile, AbsentAndEmptyChildren) {
    struct Case {
        const char* label;
        const char* child;
        const char* value;  // nullptr: remove the child; "-": keep it without value
        int hasVideo, hasAudio;
    };
    const Case cases[] = {
        {"empty video codec", "VideoCodecName", "", 0, 1},
        {"empty audio codec", "AudioCodecName", "", 1, 0},
        {"no Width", "Width", nullptr, 0, 1},
        {"no VideoBitRates", "VideoBitRates", nullptr, 0, 1},
        {"no SampleRate", "SampleRate", nullptr, 1, 0},
        {"no AudioBitRates", "AudioBitRates", nullptr, 1, 0},
        {"Width without value", "Width", "-", 1, 1},
        {"no ProfileName", "ProfileName", nullptr, 1, 1},
    };
    for (const auto& k : cases) {
        auto c = FullChildren("p");
        std::string xml = "  <Profile>\n";
        for (const auto& [name, value] : c) {
            if (name != k.child) {
                xml += "    <" + name + " value=\"" + value + "\"/>\n";
            } else if (k.value && std::string(k.value) == "-") {
                xml += "    <" + name + "/>\n";
            } else if (k.value) {
                xml += "    <" + name + " value=\"" + k.value + "\"/>\n";
            }
        }
        xml += "  </Profile>\n";
        ASSERT_TRUE(catalogue.Load(dir.Write("Format.xml", Catalogue({xml})))) << k.label;
        FormatProfile p;
        ASSERT_TRUE(catalogue.FindByIndex(0, p));
        EXPECT_EQ(p.Settings.HasVideo, k.hasVideo) << k.label;
        EXPECT_EQ(p.Settings.HasAudio, k.hasAudio) << k.label;
        EXPECT_EQ(p.Settings.Height, 360) << k.label << ": the other values are still read";
        if (std::string(k.child) == "Width") {
            EXPECT_EQ(p.Settings.Width, 0) << k.label;
        }
        if (std::string(k.child) == "ProfileName") {
            EXPECT_EQ(p.ProfileName[0], 0) << k.label;
        }
    }
}

TEST_F(CatalogueFile, LongValuesAreCutToTheirFieldsAsValidText) {
    auto c = FullChildren(std::string(200, 'n'));
    c[1].second = ".abcdefghij";
    c[2].second = "libverylongencodername";
    // 157 ASCII characters and then a character outside the BMP, whose surrogate
    // pair would straddle the 159-unit limit.
    std::string name = std::string(158, 'x') + "\xF0\x9F\x98\x80";
    c[0].second = name;
    // A two-byte UTF-8 character across the 15-byte limit of the codec name.
    c[7].second = std::string(14, 'a') + "\xC3\xA9";
    FormatProfile p = LoadOne(c);
    EXPECT_EQ(FieldUtf8(p.FormatExt), ".abcdef");
    EXPECT_STREQ(p.Settings.VideoCodecName, "libverylongenco");
    EXPECT_EQ(FieldUtf8(p.ProfileName), std::string(158, 'x'));
    EXPECT_EQ(std::string(p.Settings.AudioCodecName), std::string(14, 'a'));
}

TEST_F(CatalogueFile, IndexCountsProfileElementsOnlyAndDefaultIsIndexOne) {
    std::string doc = Catalogue({ProfileXml(FullChildren("first")), "  <Other value=\"x\"/>\n",
                                 ProfileXml(FullChildren("second")), ProfileXml({})});
    ASSERT_TRUE(catalogue.Load(dir.Write("Format.xml", doc)));
    ASSERT_EQ(catalogue.Count(), 3u);
    std::vector<std::string> names;
    std::vector<int> indices;
    catalogue.ForEach([&](const FormatProfile& p) {
        names.push_back(FieldUtf8(p.ProfileName));
        indices.push_back(p.Index);
    });
    EXPECT_EQ(names, (std::vector<std::string>{"first", "second", ""}));
    EXPECT_EQ(indices, (std::vector<int>{0, 1, 2}));
    FormatProfile p;
    ASSERT_TRUE(catalogue.GetDefaultProfile(p));
    EXPECT_EQ(FieldUtf8(p.ProfileName), "second");
    ASSERT_TRUE(catalogue.FindByIndex(2, p));
    EXPECT_EQ(p.Settings.HasVideo, 0) << "an empty Profile still becomes an entry";
    EXPECT_EQ(p.Settings.HasAudio, 0);
    EXPECT_FALSE(catalogue.FindByIndex(3, p));

    // Loading again replaces rather than doubles the entries.
    ASSERT_TRUE(catalogue.Load(dir.path() + "/Format.xml"));
    EXPECT_EQ(catalogue.Count(), 3u);
}

TEST_F(CatalogueFile, SingleProfileBecomesTheDefault) {
    ASSERT_TRUE(
        catalogue.Load(dir.Write("Format.xml", Catalogue({ProfileXml(FullChildren("only"))}))));
    FormatProfile p;
    EXPECT_FALSE(catalogue.FindByIndex(1, p));
    ASSERT_TRUE(catalogue.GetDefaultProfile(p));
    EXPECT_EQ(p.Index, 0);
    EXPECT_EQ(FieldUtf8(p.ProfileName), "only");

    ProfileCatalogue empty;
    EXPECT_FALSE(empty.GetDefaultProfile(p));
}

TEST_F(CatalogueFile, BadFileFailsAndLeavesTheCatalogueAsItWas) {
    ASSERT_TRUE(
        catalogue.Load(dir.Write("good.xml", Catalogue({ProfileXml(FullChildren("kept"))}))));
    const std::pair<const char*, std::string> bad[] = {
        {"two top-level elements",
         "<Formats>" + ProfileXml(FullChildren("x")) + "</Formats><More/>"},
        {"unclosed Profile", "<Formats><Profile><ProfileName value=\"x\"/></Formats>"},
        {"empty file", ""},
    };
    for (const auto& [label, text] : bad) {
        EXPECT_FALSE(catalogue.Load(dir.Write("bad.xml", text))) << label;
        FormatProfile p;
        ASSERT_EQ(catalogue.Count(), 1u) << label;
        ASSERT_TRUE(catalogue.FindByIndex(0, p));
        EXPECT_EQ(FieldUtf8(p.ProfileName), "kept") << label;
    }
    EXPECT_FALSE(catalogue.Load(dir.path() + "/missing.xml"));
    EXPECT_EQ(catalogue.Count(), 1u);
}

TEST(ProfileCatalogueInstance, LoadDefaultLooksInTheWorkingDirectoryFirst) {
    TempDir dir;
    dir.Write("Format.xml",
              Catalogue({ProfileXml(FullChildren("from cwd")), ProfileXml(FullChildren("b"))}));
    std::string old = std::filesystem::current_path().string();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    ProfileCatalogue& cat = ProfileCatalogue::Instance();
    EXPECT_EQ(&cat, &ProfileCatalogue::Instance());
    bool ok = cat.LoadDefault();
    ASSERT_EQ(chdir(old.c_str()), 0);
    ASSERT_TRUE(ok);
    FormatProfile p;
    ASSERT_TRUE(cat.FindByIndex(0, p));
    EXPECT_EQ(FieldUtf8(p.ProfileName), "from cwd");
    cat.Clear();
    EXPECT_EQ(cat.Count(), 0u);
}

TEST(ParseDecimal, SignedDecimalPrefix) {
    const std::pair<const char*, int> cases[] = {
        {"42", 42},
        {"  \t42", 42},
        {"-7", -7},
        {"+5", 5},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"- 3", 0},
        {"0x10", 0},
        {"29970", 29970},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"2147483647", INT_MAX},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(ParseDecimal(Utf8ToUtf16(text)), value) << text;
        EXPECT_EQ(ParseDecimal(std::string_view(text)), value) << text;
    }
}

TEST(ChoiceList, MapsValuesAndTextsFirstMatchExactly) {
    const std::u16string list = u"a$Alpha,b,c$C$x,,1$One,1$Uno,2$One,d$";
    EXPECT_EQ(ChoiceTexts(list),
              (std::vector<std::u16string>{u"Alpha", u"b", u"C$x", u"One", u"Uno", u"One", u""}));
    EXPECT_EQ(ChoiceValues(list),
              (std::vector<std::u16string>{u"a", u"b", u"c", u"1", u"1", u"2", u"d"}));
    struct Case {
        std::u16string arg, textForValue, valueForText;
    };
    const Case cases[] = {
        {u"a", u"Alpha", u""},                       // "a" is a value, not a text
        {u"Alpha", u"", u"a"}, {u"b", u"b", u"b"},   // a bare entry is both
        {u"c", u"C$x", u""},                         // only the first "$" splits
        {u"C$x", u"", u"c"},   {u"1", u"One", u""},  // first match wins
        {u"One", u"", u"1"},   {u"B", u"", u""},     // case-sensitive
        {u"", u"", u"d"},  // "d$" shows an empty line, which maps back to d
        {u"alpha", u"", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChoiceTextForValue(list, c.arg), c.textForValue) << Utf16ToUtf8(c.arg);
        EXPECT_EQ(ChoiceValueForText(list, c.arg), c.valueForText) << Utf16ToUtf8(c.arg);
    }
    EXPECT_TRUE(ChoiceTexts(u"").empty());
}

TEST(AppSettings, TitleAndUrlFromSetFile) {
    TempDir dir;
    LoadAppSettings(dir.Write("Set.xml",
                              "<Settings><Profile><Title value=\"Discreel &amp; Co\"/>"
                              "<Url value=\"file:///help.html\"/></Profile></Settings>"));
    EXPECT_EQ(AppTitle(), "Discreel & Co");
    EXPECT_EQ(HomePageUrl(), "file:///help.html");
    // A missing file, or a file missing a part, leaves the strings as they were.
    LoadAppSettings(dir.path() + "/absent.xml");
    EXPECT_EQ(AppTitle(), "Discreel & Co");
    LoadAppSettings(dir.Write("Set2.xml", "<S><Profile><Url value=\"http://x\"/></Profile></S>"));
    EXPECT_EQ(AppTitle(), "Discreel & Co");
    EXPECT_EQ(HomePageUrl(), "http://x");
    LoadAppSettings(dir.Write("Set3.xml", "<S><Profile><Title value=\"T\"/></Profile></S><S/>"));
    EXPECT_EQ(AppTitle(), "Discreel & Co") << "an ill-formed file is not read";
}

TEST(AppSettings, HomePageTargetForTheOpener) {
    TempDir dir;
    std::string page = dir.Write("page.html", "<html/>");
    struct Case {
        std::string url, target;
    };
    const Case cases[] = {
        {"https://example.org/discreel", "https://example.org/discreel"},
        {"file:///opt/x.html", "file:///opt/x.html"},
        {page, "file://" + page},  // an absolute file path
        {dir.path() + "/missing.html", ""},
        {"no-such-dir/none.html", ""},  // relative, found in no data directory
    };
    for (const auto& c : cases) {
        LoadAppSettings(dir.Write("Set.xml", "<S><Profile><Title value=\"T\"/><Url value=\"" +
                                                 c.url + "\"/></Profile></S>"));
        ASSERT_EQ(HomePageUrl(), c.url);
        EXPECT_EQ(HomePageTarget(), c.target) << c.url;
    }
    // A relative address is looked up like the data files: working directory first.
    std::string old = std::filesystem::current_path().string();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    LoadAppSettings(dir.Write("Set.xml", "<S><Profile><Url value=\"page.html\"/></Profile></S>"));
    std::string target = HomePageTarget();
    ASSERT_EQ(chdir(old.c_str()), 0);
    EXPECT_EQ(target, "file://" + page);
}

}  // namespace
