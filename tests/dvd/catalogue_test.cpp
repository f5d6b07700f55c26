// The DVD catalogue: names, labels and the language table by their rules, the
// process-wide open DVD through its lifecycle, and the record of the authored
// discs judged against lsdvd and ffprobe.
#include "dvd/catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "fixtures.h"
#include "platform/win/messages.h"

namespace {

using fixtures::Disc;
using json = nlohmann::json;

constexpr std::int32_t Lang(const char* two) { return (std::int32_t(two[0]) << 8) | std::int32_t(two[1]); }

TEST(CatalogueNames, BuildAndParse) {
    EXPECT_EQ(TitleName(0), "Title_01");
    EXPECT_EQ(TitleName(31), "Title_32");
    EXPECT_EQ(ChapterName(2, 11), "Chapter_03_12");
    EXPECT_EQ(OutputName("Title_02", ".flv"), "Title_02.flv");

    struct Case {
        const char* name;
        std::optional<EntryIndex> parsed;
    } cases[] = {
        {"Title_05", EntryIndex{4, -1}},
        {"Title_01", EntryIndex{0, -1}},
        {"Chapter_03_12", EntryIndex{2, 11}},
        {"Chapter_01_01", EntryIndex{0, 0}},
        {"Title_", std::nullopt},
        {"Title_00", std::nullopt},  // would be title -1
        {"Chapter_02", std::nullopt},
        {"My Title_03", std::nullopt},
        {"Song_01", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseEntryName(c.name), c.parsed) << c.name;
    // Every name the catalogue builds reads back to its indices.
    for (int t : {0, 8, 31})
        for (int c : {0, 9, 63}) {
            EXPECT_EQ(ParseEntryName(TitleName(t)), (EntryIndex{t, -1}));
            EXPECT_EQ(ParseEntryName(ChapterName(t, c)), (EntryIndex{t, c}));
        }
}

TEST(CatalogueNames, DurationText) {
    struct Case {
        double ms;
        const char* text;
    } cases[] = {
        {3723456.7, "01:02:03"}, {0, "00:00:00"},       {999.9, "00:00:00"},  {59999, "00:00:59"},
        {60000, "00:01:00"},     {5400000.9, "01:30:00"}, {-5, "00:00:00"},  {360000000, "100:00:00"},
    };
    for (const Case& c : cases) EXPECT_EQ(DurationText(c.ms), c.text) << c.ms;
    DvdTitleInfo title{};
    title.Duration = 5400000.9;
    EXPECT_EQ(TitleDurationMs(title), 5400000);
}

TEST(CatalogueLabels, AudioAndSubtitleLabels) {
    struct Case {
        std::int32_t lang;
        int format, channels;
        const char* label;
    } cases[] = {
        {Lang("en"), 0, 5, "English(AC3 6ch)"},
        {Lang("en"), 1, 1, "English( 2ch)"},
        {Lang("fr"), 2, 1, "French(MP3 2ch)"},
        {Lang("de"), 3, 0, "German(MP3 2ch)"},
        {Lang("ja"), 4, 1, "Japanese(LPCM 2ch)"},
        {Lang("es"), 5, 5, "Spanish(DTS 6ch)"},
        {Lang("it"), 6, 5, "Italian( 6ch)"},
        {Lang("EN"), 0, 1, "English(AC3 2ch)"},
        {Lang("xx"), 0, 1, "(AC3 2ch)"},
        {0, 0, 1, "Unknown(AC3 2ch)"},
    };
    for (const Case& c : cases) EXPECT_EQ(AudioTrackLabel(c.lang, c.format, c.channels), c.label) << c.label;
    for (int code : {0, 1, 2, 3, 4, 6, 7}) EXPECT_EQ(AudioChannelCount(code), 2) << code;
    EXPECT_EQ(AudioChannelCount(5), 6);
    EXPECT_EQ(SubtitleTrackLabel(Lang("de")), "German");
    EXPECT_EQ(SubtitleTrackLabel(Lang("zz")), "");
    EXPECT_EQ(SubtitleTrackLabel(0), "Unknown");
}

// The names DVD track labels have always shown for two-letter codes.
const char kTwoLetterNames[] =
    "aa Afar; ab Abkhazian; ae Avestan; af Afrikaans; ak Akan; am Amharic; an Aragonese; ar Arabic; "
    "as Assamese; av Avaric; ay Aymara; az Azerbaijani; be Belarusian; bg Bulgarian; bh Bihari; bi "
    "Bislama; bm Bambara; bn Bengali; bs Bosnian; ca Catalan; ce Chechen; ch Chamorro; cr Cree; cs "
    "Czech; cu Church Slavic; cv Chuvash; da Danish; de German; dv Divehi; dz Dzongkha; ee Ewe; el "
    "Greek, Modern (1453-); en English; eo Esperanto; es Spanish; et Estonian; eu Basque; ff Fulah; "
    "fi Finnish; fj Fijian; fo Faroese; fr French; gd Scottish Gaelic; gl Gallegan; gn Guarani; gu "
    "Gujarati; gv Manx; he Hebrew; hi Hindi; ho Hiri Motu; hr Croatian; ht Haitian; hu Hungarian; hy "
    "Armenian; hz Herero; ia Interlingua (International; id Indonesian; ie Interlingue; ii Sichuan "
    "Yi; ik Inupiaq; io Ido; is Icelandic; it Italian; ja Japanese; jv Javanese; ka Georgian; kg "
    "Kongo; ki Gikuyu; kj Kuanyama; kk Kazakh; kl Kalaallisut; kn Kannada; ko Korean; kr Kanuri; ks "
    "Kashmiri; ku Kurdish; kv Komi; kw Cornish; ky Kirghiz; la Latin; lb Letzeburgesch; lg Ganda; li "
    "Limburgan; ln Lingala; lt Lithuanian; lu Luba-Katanga; lv Latvian; mg Malagasy; mh Marshallese; "
    "mk Macedonian; ml Malayalam; mn Mongolian; mo Moldavian; mr Marathi; ms Malay; my Burmese; na "
    "Nauru; nb Bokmål, Norwegian; nd Ndebele, North; ne Nepali; ng Ndonga; nl Dutch; nn Norwegian "
    "Nynorsk; no Norwegian; nr Ndebele, South; nv Navaho, Navajo; ny Chewa; oc Provençal; oj Ojibwa; "
    "om Oromo; or Oriya; os Ossetian; pa Panjabi; pi Pali; pl Polish; ps Pushto; pt Portuguese; rm "
    "Raeto-Romance; rn Rundi; ro Romanian; ru Russian; sa Sanskrit; sc Sardinian; sd Sindhi; se "
    "Northern Sami; sg Sango; sk Slovak; sl Slovenian; sm Samoan; sn Shona; so Somali; sq Albanian; "
    "sr Serbian; ss Swati; su Sundanese; sv Swedish; sw Swahili; ta Tamil; te Telugu; th Thai; tl "
    "Tagalog; to Tonga (Tonga Islands); tr Turkish; ts Tsonga; tt Tatar; tw Twi; ty Tahitian; uk "
    "Ukrainian; ur Urdu; uz Uzbek; ve Venda; vi Vietnamese; vo Volapük; wa Walloon; yi Yiddish; za "
    "Chuang; zh Chinese";

TEST(CatalogueLanguages, TwoLetterNames) {
    std::string all = kTwoLetterNames;
    std::size_t start = 0, checked = 0;
    while (start < all.size()) {
        std::size_t end = all.find("; ", start);
        if (end == std::string::npos) end = all.size();
        std::string pair = all.substr(start, end - start);
        std::string code = pair.substr(0, 2), name = pair.substr(3);
        EXPECT_EQ(LanguageFromIso6391(code), name) << code;
        std::string upper = code;
        for (char& ch : upper) ch = char(std::toupper(ch));
        EXPECT_EQ(LanguageFromIso6391(upper), name) << upper;
        ++checked;
        start = end + 2;
    }
    EXPECT_EQ(checked, 157u);
}

TEST(CatalogueLanguages, ThreeLetterCodesAndMisses) {
    struct Case {
        const char* code;
        const char* name;
    } cases[] = {
        {"eng", "English"}, {"fre", "French"},  {"fra", "French"}, {"GER", "German"}, {"deu", "German"},
        {"chi", "Chinese"}, {"zho", "Chinese"}, {"cat", "Catalan"}, {"ina", "Interlingua (International"},
        {"glg", "Gallegan"}, {"mol", "Moldavian"}, {"xyz", ""},     {"en", ""},        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(LanguageFromIso6392(c.code), c.name) << c.code;
    for (const char* miss : {"", "e", "eng", "xx", "q"}) EXPECT_EQ(LanguageFromIso6391(miss), "") << miss;
}

TEST(CatalogueLanguages, TableRowsAreWellFormed) {
    std::set<std::string> threeLetter;
    int rows = 0;
    const LanguageRow* row = LanguageTable();
    for (; row->Name[0]; ++row, ++rows) {
        std::string a3 = row->Iso6392, a2 = row->Iso6391;
        EXPECT_TRUE(a3.size() == 3 || a3 == "qaa-qtz") << row->Name;
        EXPECT_TRUE(a2.empty() || a2.size() == 2) << row->Name;
        EXPECT_TRUE(threeLetter.insert(a3).second) << "duplicate " << a3;
    }
    EXPECT_EQ(row->Iso6392[0], '\0');  // the terminating row
    EXPECT_GE(rows, 482);
}

// A record made by hand, for the rules that the discs cannot show.
std::unique_ptr<DvdInfo> MadeUpRecord() {
    auto info = std::make_unique<DvdInfo>();
    std::memset(info.get(), 0, sizeof *info);
    info->TitleCount = 4;
    const double durations[] = {3000.0, 2999.9, 12000.0, 0.0};
    for (int t = 0; t < 4; ++t) info->Titles[t].Duration = durations[t];
    DvdTitleInfo& a = info->Titles[0];
    a.AudioCount = 2;
    a.AudioId[0] = 0xBD80, a.AudioLanguage[0] = Lang("en"), a.AudioFormat[0] = 0, a.AudioChannels[0] = 5;
    a.AudioId[1] = 0xC100, a.AudioLanguage[1] = Lang("fr"), a.AudioFormat[1] = 2, a.AudioChannels[1] = 1;
    a.SubpictureCount = 1;
    a.SubpictureId[0] = 0xBD20, a.SubpictureLanguage[0] = Lang("de");
    DvdTitleInfo& c = info->Titles[2];
    c.AudioCount = 1;
    c.AudioId[0] = 0xBDA1, c.AudioLanguage[0] = Lang("ja"), c.AudioFormat[0] = 4, c.AudioChannels[0] = 1;
    c.SubpictureCount = 2;
    c.SubpictureId[0] = 0xBD21, c.SubpictureLanguage[0] = Lang("it");
    c.SubpictureId[1] = 0xBD23, c.SubpictureLanguage[1] = Lang("es");
    return info;
}

TEST(CatalogueRecord, ListsTitlesOfAtLeastThreeSeconds) {
    auto info = MadeUpRecord();
    EXPECT_EQ(ListedTitles(*info), (std::vector<int>{0, 2}));
    info->TitleCount = 0;
    EXPECT_TRUE(ListedTitles(*info).empty());
}

TEST(CatalogueRecord, EachTitleIsLabelledFromItsOwnEntry) {
    auto info = MadeUpRecord();
    auto labels = [](const std::vector<TrackEntry>& tracks) {
        std::vector<std::pair<std::string, int>> out;
        for (const TrackEntry& t : tracks) out.emplace_back(t.Label, t.Value);
        return out;
    };
    using Tracks = std::vector<std::pair<std::string, int>>;
    EXPECT_EQ(labels(AudioTracks(*info, 0)), (Tracks{{"English(AC3 6ch)", 0xBD80}, {"French(MP3 2ch)", 0xC100}}));
    EXPECT_EQ(labels(SubtitleTracks(*info, 0)), (Tracks{{"German", 0xBD20}}));
    EXPECT_EQ(labels(AudioTracks(*info, 2)), (Tracks{{"Japanese(LPCM 2ch)", 0xBDA1}}));
    EXPECT_EQ(labels(SubtitleTracks(*info, 2)), (Tracks{{"Italian", 0xBD21}, {"Spanish", 0xBD23}}));
    EXPECT_TRUE(AudioTracks(*info, 1).empty());
    EXPECT_TRUE(AudioTracks(*info, 4).empty());   // beyond the title count
    EXPECT_TRUE(SubtitleTracks(*info, -1).empty());
}

// Records the messages the catalogue shows.
class CatalogueLoad : public testing::Test {
protected:
    void SetUp() override {
        previous_ = SetMessageSink([this](const std::string& text) { shown_.push_back(text); });
    }
    void TearDown() override {
        CloseDvd();
        SetMessageSink(previous_);
    }
    std::vector<std::string> shown_;
    MessageSink previous_;
};

TEST_F(CatalogueLoad, OpenReopenFailAndClose) {
    EXPECT_EQ(SelectedAudioStream, -1);
    EXPECT_EQ(SelectedSubtitleStream, -1);
    EXPECT_EQ(OpenDvdHandle(), 0u);

    ASSERT_TRUE(LoadDvd(fixtures::NtscFolder()));
    DvdHandle first = OpenDvdHandle();
    EXPECT_NE(first, 0u);
    EXPECT_EQ(OpenDvdInfo().TitleCount, 3);
    EXPECT_TRUE(shown_.empty());

    // A second load closes the first DVD.
    ASSERT_TRUE(LoadDvd(fixtures::PalIso()));
    DvdHandle second = OpenDvdHandle();
    EXPECT_NE(second, 0u);
    EXPECT_EQ(MyDVDGetBadSectorCount(first), -1);
    EXPECT_EQ(OpenDvdInfo().Titles[0].AudioCount, 2);

    // A failed load closes the open DVD too and says so once.
    EXPECT_FALSE(LoadDvd("/nonexistent/dvd"));
    EXPECT_EQ(OpenDvdHandle(), 0u);
    EXPECT_EQ(MyDVDGetBadSectorCount(second), -1);
    EXPECT_EQ(shown_, (std::vector<std::string>{"Open DVD error"}));

    ASSERT_TRUE(LoadDvd(fixtures::PalFolder()));
    DvdHandle third = OpenDvdHandle();
    CloseDvd();
    EXPECT_EQ(OpenDvdHandle(), 0u);
    EXPECT_EQ(MyDVDGetBadSectorCount(third), -1);
    CloseDvd();  // closing twice is harmless
}

// lsdvd -Oy prints a Python literal after libdvdread's chatter; make it JSON.
json Lsdvd(const std::string& path) {
    auto r = fixtures::RunCommand("lsdvd -Oy -a -s -c -d " + fixtures::Quote(path) + " 2>/dev/null");
    if (r.exitCode != 0) throw std::runtime_error("lsdvd failed on " + path);
    auto at = r.output.find("lsdvd = {");
    if (at == std::string::npos) throw std::runtime_error("no lsdvd dump for " + path);
    std::string text = r.output.substr(at + std::strlen("lsdvd = "));
    // Quotes become JSON's, and commas before a closing bracket go.
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == ',') {
            std::size_t next = text.find_first_not_of(" \t\r\n", i + 1);
            if (next != std::string::npos && (text[next] == ']' || text[next] == '}')) continue;
        }
        out += c == '\'' ? '"' : c;
    }
    return json::parse(out);
}

// The PES ids (stream id * 256 + sub-stream id) that ffprobe finds in a VOB.
std::set<int> VobStreamIds(const fixtures::fs::path& vob) {
    auto r = fixtures::RunCommand("ffprobe -v error -of json -show_entries stream=id " + fixtures::Quote(vob));
    std::set<int> ids;
    if (r.exitCode != 0) {
        ADD_FAILURE() << "ffprobe failed on " << vob;
        return ids;
    }
    const json probed = json::parse(r.output);
    for (const json& s : probed["streams"]) {
        int id = std::stoi(s["id"].get<std::string>(), nullptr, 16);
        ids.insert(id > 0xFF ? (id & 0xFF) << 8 : 0xBD00 | id);
    }
    return ids;
}

int LsdvdFormatCode(const std::string& word) {
    if (word.rfind("ac3", 0) == 0) return 0;
    if (word.rfind("mpeg1", 0) == 0) return 2;
    if (word.rfind("mpeg2", 0) == 0) return 3;
    if (word.rfind("lpcm", 0) == 0) return 4;
    if (word.rfind("dts", 0) == 0) return 5;
    return -1;
}

struct DiscSource {
    Disc disc;
    bool iso;
};

class CatalogueAgreesWithLsdvd : public testing::TestWithParam<DiscSource> {};

TEST_P(CatalogueAgreesWithLsdvd, TitlesChaptersAndTracks) {
    const DiscSource& p = GetParam();
    std::string path = p.iso ? fixtures::Iso(p.disc) : fixtures::Folder(p.disc);
    json judge = Lsdvd(path);
    ASSERT_TRUE(LoadDvd(path));
    const DvdInfo& info = OpenDvdInfo();
    const json& tracks = judge["track"];
    ASSERT_EQ(info.TitleCount, int(tracks.size()));
    for (int t = 0; t < info.TitleCount; ++t) {
        SCOPED_TRACE("title " + std::to_string(t + 1));
        const DvdTitleInfo& title = info.Titles[t];
        const json& want = tracks[t];
        EXPECT_NEAR(title.Duration / 1000.0, want["length"].get<double>(), 0.0015);

        // Chapters: count, and sizes as the sums of their cells' sectors.
        const json& chapters = want["chapter"];
        const json& cells = want["cell"];
        ASSERT_EQ(title.ChapterCount, int(chapters.size()));
        for (int c = 0; c < title.ChapterCount; ++c) {
            int first = chapters[c]["startcell"].get<int>();
            int last = c + 1 < title.ChapterCount ? chapters[c + 1]["startcell"].get<int>() - 1 : int(cells.size());
            std::int64_t sectors = 0;
            for (int k = first; k <= last; ++k)
                sectors += cells[k - 1]["last_sector"].get<std::int64_t>() - cells[k - 1]["first_sector"].get<std::int64_t>() + 1;
            EXPECT_EQ(title.ChapterSectors[c], sectors) << "chapter " << c;
        }

        // Tracks: language, format and channels as lsdvd reads them; ids as
        // the VOB carries them (lsdvd numbers MPEG audio by position).
        std::set<int> present = VobStreamIds(fixtures::TitleVob(p.disc, t + 1));
        const json& audio = want["audio"];
        ASSERT_EQ(title.AudioCount, int(audio.size()));
        for (int a = 0; a < title.AudioCount; ++a) {
            SCOPED_TRACE("audio " + std::to_string(a));
            EXPECT_EQ(LanguageCodeText(title.AudioLanguage[a]), audio[a]["langcode"].get<std::string>());
            EXPECT_EQ(title.AudioFormat[a], LsdvdFormatCode(audio[a]["format"].get<std::string>()));
            EXPECT_EQ(title.AudioChannels[a] + 1, audio[a]["channels"].get<int>());
            EXPECT_TRUE(present.count(title.AudioId[a])) << std::hex << title.AudioId[a];
            EXPECT_EQ(title.AudioId[a], fixtures::TitleOf(p.disc, t + 1).audio[a].trackId);
            if (title.AudioFormat[a] != 2 && title.AudioFormat[a] != 3) {
                EXPECT_EQ(title.AudioId[a] & 0xFF, std::stoi(audio[a]["streamid"].get<std::string>(), nullptr, 16));
            }
        }
        const json& subp = want["subp"];
        ASSERT_EQ(title.SubpictureCount, int(subp.size()));
        for (int s = 0; s < title.SubpictureCount; ++s) {
            SCOPED_TRACE("subpicture " + std::to_string(s));
            EXPECT_EQ(LanguageCodeText(title.SubpictureLanguage[s]), subp[s]["langcode"].get<std::string>());
            EXPECT_EQ(title.SubpictureId[s], 0xBD00 | std::stoi(subp[s]["streamid"].get<std::string>(), nullptr, 16));
            EXPECT_TRUE(present.count(title.SubpictureId[s])) << std::hex << title.SubpictureId[s];
        }
    }
    CloseDvd();
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CatalogueAgreesWithLsdvd,
                         testing::Values(DiscSource{Disc::Ntsc, false}, DiscSource{Disc::Ntsc, true},
                                         DiscSource{Disc::Pal, false}, DiscSource{Disc::Pal, true}));

}  // namespace
