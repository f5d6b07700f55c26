// The Format.xml and Set.xml that ship with the program: they load, every
// encoder and container they name exists in the linked FFmpeg, and every choice
// the settings dialog can offer is something the conversion can use.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "profiles/profile.h"
#include "profiles/xml_doc.h"

using namespace profiles;

namespace {

const std::string kFormatXml = std::string(DISCREEL_SOURCE_DIR) + "/data/Format.xml";

class ShippedFormat : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(catalogue.Load(kFormatXml)); }
    ProfileCatalogue catalogue;
};

const AVCodec* Encoder(const char* name, AVMediaType type) {
    const AVCodec* c = avcodec_find_encoder_by_name(name);
    return c && c->type == type ? c : nullptr;
}

const AVOutputFormat* Container(const FormatProfile& p) {
    return av_guess_format(nullptr, ("out" + FieldUtf8(p.FormatExt)).c_str(), nullptr);
}

// The stored value of every entry is a plain decimal number.
void ExpectDecimalValues(const FormatProfile& p, const char16_t* list, const char* what) {
    auto values = ChoiceValues(list);
    EXPECT_FALSE(values.empty()) << FieldUtf8(p.ProfileName) << ": " << what;
    for (const auto& v : values) {
        int n = ParseDecimal(v);
        EXPECT_GT(n, 0) << FieldUtf8(p.ProfileName) << ": " << what << " " << Utf16ToUtf8(v);
        EXPECT_EQ(std::to_string(n), Utf16ToUtf8(v)) << FieldUtf8(p.ProfileName) << ": " << what;
    }
}

// Values and texts are unique, so mapping either way is unambiguous.
void ExpectUnambiguous(const FormatProfile& p, const char16_t* list, const char* what) {
    auto texts = ChoiceTexts(list), values = ChoiceValues(list);
    EXPECT_EQ(std::set<std::u16string>(texts.begin(), texts.end()).size(), texts.size())
        << FieldUtf8(p.ProfileName) << ": " << what;
    EXPECT_EQ(std::set<std::u16string>(values.begin(), values.end()).size(), values.size())
        << FieldUtf8(p.ProfileName) << ": " << what;
}

// The profile's own setting is one of its choices, so the dialog opens on it.
void ExpectOffered(const FormatProfile& p, const char16_t* list, const std::string& value,
                   const char* what) {
    EXPECT_NE(ChoiceTextForValue(list, Utf8ToUtf16(value)), u"")
        << FieldUtf8(p.ProfileName) << ": " << what << " " << value << " not in its list";
}

TEST_F(ShippedFormat, HoldsTheExpectedProfiles) {
    EXPECT_GE(catalogue.Count(), 11u);
    FormatProfile p;
    ASSERT_TRUE(catalogue.GetDefaultProfile(p));
    EXPECT_EQ(p.Index, 1);
    EXPECT_EQ(FieldUtf8(p.FormatExt), ".flv");
    EXPECT_STREQ(p.Settings.VideoCodecName, "flv");
    EXPECT_STREQ(p.Settings.AudioCodecName, "libmp3lame");

    std::set<std::string> combos;
    catalogue.ForEach([&](const FormatProfile& q) {
        combos.insert(FieldUtf8(q.FormatExt) + " " + q.Settings.VideoCodecName + " " +
                      q.Settings.AudioCodecName);
    });
    for (const char* want :
         {".flv flv libmp3lame", ".flv libx264 aac", ".mp4 libx264 aac", ".avi mpeg4 libmp3lame",
          ".mpg mpeg2video mp2", ".webm libvpx libvorbis", ".wmv wmv2 wmav2", ".3gp h263 aac",
          ".mp3  libmp3lame", ".wav  pcm_s16le"}) {
        EXPECT_TRUE(combos.count(want)) << want;
    }
}

TEST_F(ShippedFormat, EveryProfileNamesWorkingEncodersAndContainers) {
    catalogue.ForEach([&](const FormatProfile& p) {
        const std::string name = FieldUtf8(p.ProfileName);
        const EncoderSettings& s = p.Settings;
        SCOPED_TRACE(name);
        EXPECT_FALSE(name.empty());
        ASSERT_EQ(p.FormatExt[0], u'.');
        const AVOutputFormat* fmt = Container(p);
        ASSERT_NE(fmt, nullptr) << "no container for " << FieldUtf8(p.FormatExt);
        EXPECT_TRUE(s.HasVideo || s.HasAudio);

        auto checkCodecList = [&](const char16_t* list, AVMediaType type, const char* current) {
            ExpectUnambiguous(p, list, "codecs");
            ExpectOffered(p, list, current, "codec");
            for (const auto& v : ChoiceValues(list)) {
                std::string codec = Utf16ToUtf8(v);
                const AVCodec* c = Encoder(codec.c_str(), type);
                ASSERT_NE(c, nullptr) << codec << " is not an encoder of this FFmpeg";
                // 0 means the container refuses the codec outright; a negative
                // result only means the container cannot tell.
                EXPECT_NE(avformat_query_codec(fmt, c->id, FF_COMPLIANCE_NORMAL), 0)
                    << fmt->name << " refuses " << codec;
            }
        };

        if (s.HasVideo) {
            checkCodecList(p.VideoCodecs, AVMEDIA_TYPE_VIDEO, s.VideoCodecName);
            ExpectDecimalValues(p, p.FrameRates, "frame rates");
            ExpectDecimalValues(p, p.VideoBitRates, "video bit rates");
            ExpectUnambiguous(p, p.FrameRates, "frame rates");
            ExpectUnambiguous(p, p.VideoBitRates, "video bit rates");
            ExpectUnambiguous(p, p.Resolutions, "resolutions");
            ExpectOffered(p, p.FrameRates, std::to_string(s.FrameRate), "frame rate");
            ExpectOffered(p, p.VideoBitRates, std::to_string(s.VideoBitRate), "video bit rate");
            ExpectOffered(p, p.Resolutions,
                          std::to_string(s.Width) + "*" + std::to_string(s.Height), "size");
            // The dialog reads the size back from the shown text as "%d*%d".
            for (const auto& t : ChoiceTexts(p.Resolutions)) {
                int w = 0, h = 0;
                ASSERT_EQ(std::sscanf(Utf16ToUtf8(t).c_str(), "%d*%d", &w, &h), 2)
                    << Utf16ToUtf8(t);
                EXPECT_TRUE(w > 0 && h > 0 && w % 2 == 0 && h % 2 == 0) << Utf16ToUtf8(t);
            }
        } else {
            EXPECT_EQ(s.VideoCodecName[0], 0);
            EXPECT_EQ(p.Resolutions[0], 0);
        }

        ASSERT_TRUE(s.HasAudio);
        checkCodecList(p.AudioCodecs, AVMEDIA_TYPE_AUDIO, s.AudioCodecName);
        ExpectDecimalValues(p, p.SampleRates, "sample rates");
        ExpectDecimalValues(p, p.Channels, "channels");
        ExpectDecimalValues(p, p.AudioBitRates, "audio bit rates");
        ExpectUnambiguous(p, p.SampleRates, "sample rates");
        ExpectUnambiguous(p, p.Channels, "channels");
        ExpectUnambiguous(p, p.AudioBitRates, "audio bit rates");
        ExpectOffered(p, p.SampleRates, std::to_string(s.SampleRate), "sample rate");
        ExpectOffered(p, p.Channels, std::to_string(s.Channel), "channels");
        ExpectOffered(p, p.AudioBitRates, std::to_string(s.AudioBitRate), "audio bit rate");
        // Encoders that list their sample rates accept only those.
        for (const auto& codec : ChoiceValues(p.AudioCodecs)) {
            const AVCodec* c = Encoder(Utf16ToUtf8(codec).c_str(), AVMEDIA_TYPE_AUDIO);
            if (!c || !c->supported_samplerates) continue;
            for (const auto& rate : ChoiceValues(p.SampleRates)) {
                bool listed = false;
                for (const int* r = c->supported_samplerates; *r; ++r)
                    listed |= *r == ParseDecimal(rate);
                EXPECT_TRUE(listed) << c->name << " cannot encode " << Utf16ToUtf8(rate) << " Hz";
            }
        }
        for (const auto& ch : ChoiceValues(p.Channels)) EXPECT_LE(ParseDecimal(ch), 2);
    });
}

TEST(ShippedFormatFile, NoValueIsCutByItsField) {
    // Reads the raw attributes and compares them with what the catalogue kept.
    CXmlDoc doc;
    ASSERT_TRUE(doc.Load(kFormatXml));
    ProfileCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(kFormatXml));
    int index = 0;
    while (doc.FindChildElem(u"Profile")) {
        FormatProfile p;
        ASSERT_TRUE(catalogue.FindByIndex(index++, p));
        ASSERT_TRUE(doc.IntoElem());
        const std::pair<const char16_t*, std::u16string_view> fields[] = {
            {u"ProfileName", FieldView(p.ProfileName)},
            {u"FormatExt", FieldView(p.FormatExt)},
            {u"Resolutions", FieldView(p.Resolutions)},
            {u"FrameRates", FieldView(p.FrameRates)},
            {u"VideoCodecs", FieldView(p.VideoCodecs)},
            {u"VideoBitRates", FieldView(p.VideoBitRates)},
            {u"SampleRates", FieldView(p.SampleRates)},
            {u"Channels", FieldView(p.Channels)},
            {u"AudioCodecs", FieldView(p.AudioCodecs)},
            {u"AudioBitRates", FieldView(p.AudioBitRates)},
        };
        for (const auto& [child, kept] : fields) {
            if (!doc.FindChildElem(child)) continue;
            ASSERT_TRUE(doc.IntoElem());
            EXPECT_EQ(doc.GetAttrib(u"value"), kept)
                << Utf16ToUtf8(child) << " of profile " << p.Index;
            ASSERT_TRUE(doc.OutOfElem());
        }
        ASSERT_TRUE(doc.OutOfElem());
    }
    EXPECT_EQ(static_cast<std::size_t>(index), catalogue.Count());
}

TEST(ShippedSetFile, GivesTitleAndHomePage) {
    LoadAppSettings(std::string(DISCREEL_SOURCE_DIR) + "/data/Set.xml");
    EXPECT_EQ(AppTitle(), "Discreel");
    EXPECT_FALSE(HomePageUrl().empty());
}

}  // namespace
