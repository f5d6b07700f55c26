#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <cstring>

#include "prefs_test_util.h"
#include "profiles/profile.h"
#include "ui/dialogs/settings_dlg.h"
#include "ui/skin/my_button.h"

using namespace profiles;

namespace {

using D = CSettingsDlg;

// A profile whose lists mix "value$text" and bare entries, with an entry whose
// text begins another's ("MP3" and "MP3 Pro").
FormatProfile MakeProfile() {
    FormatProfile p{};
    p.Index = 7;
    StoreField(p.FormatExt, u".flv");
    StoreField(p.ProfileName, u"Test FLV");
    StoreField(p.Resolutions, u"320*240,640*480,720*576$PAL size,Widescreen");
    StoreField(p.FrameRates, u"25000$25 fps,29970$29.97 fps,30000$30 fps");
    StoreField(p.VideoCodecs, u"flv$FLV1,libx264$H.264");
    StoreField(p.VideoBitRates, u"400000$400 kbps,800000$800 kbps");
    StoreField(p.SampleRates, u"44100,22050");
    StoreField(p.Channels, u"2$Stereo,1$Mono");
    StoreField(p.AudioCodecs, u"libmp3lame$MP3,mp3pro$MP3 Pro,aac$AAC");
    StoreField(p.AudioBitRates, u"64000$64 kbps,128000$128 kbps");
    EncoderSettings& s = p.Settings;
    s.HasVideo = 1;
    s.Width = 640;
    s.Height = 480;
    s.FrameRate = 29970;
    s.VideoBitRate = 800000;
    StoreField(s.VideoCodecName, "flv");
    s.HasAudio = 1;
    s.SampleRate = 44100;
    s.Channel = 2;
    s.AudioBitRate = 128000;
    StoreField(s.AudioCodecName, "libmp3lame");
    return p;
}

QStringList Items(QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    return out;
}

class SettingsDlgTest : public GuiTest {
  protected:
    void SetUp() override {
        GuiTest::SetUp();
        ProfileCatalogue::Instance().Clear();
        ProfileCatalogue::Instance().Append(MakeProfile());
    }
    void TearDown() override {
        ProfileCatalogue::Instance().Clear();
        GuiTest::TearDown();
    }
    void Click(D& dlg, int id) {
        auto* b = FindById<CMyButton>(&dlg, id);
        ASSERT_TRUE(b) << id;
        b->click();
    }
};

TEST_F(SettingsDlgTest, OffersOnlyTheProfilesChoicesAndShowsItsValues) {
    D dlg(MakeProfile());
    const struct {
        int id;
        QStringList items;
        QString shown;
    } cases[] = {
        {D::IDC_RESOLUTION, {"320*240", "640*480", "PAL size", "Widescreen"}, "640*480"},
        {D::IDC_FRAME_RATE, {"25 fps", "29.97 fps", "30 fps"}, "29.97 fps"},
        {D::IDC_VIDEO_CODEC, {"FLV1", "H.264"}, "FLV1"},
        {D::IDC_VIDEO_BITRATE, {"400 kbps", "800 kbps"}, "800 kbps"},
        {D::IDC_SAMPLE_RATE, {"44100", "22050"}, "44100"},
        {D::IDC_CHANNELS, {"Stereo", "Mono"}, "Stereo"},
        {D::IDC_AUDIO_CODEC, {"MP3", "MP3 Pro", "AAC"}, "MP3"},
        {D::IDC_AUDIO_BITRATE, {"64 kbps", "128 kbps"}, "128 kbps"},
    };
    for (const auto& c : cases) {
        QComboBox* combo = dlg.Combo(c.id);
        ASSERT_TRUE(combo) << c.id;
        EXPECT_EQ(Items(combo), c.items) << c.id;
        EXPECT_EQ(combo->currentText(), c.shown) << c.id;
        EXPECT_TRUE(combo->isEnabled()) << c.id;
        EXPECT_EQ(combo->isEditable(), c.id == D::IDC_RESOLUTION) << c.id;
    }
    EXPECT_EQ(dlg.size(), QSize(580, 440));
    EXPECT_EQ(FindById<CMyButton>(&dlg, D::IDC_DEFAULT)->pos(), QPoint(100, 400));
    Shoot(&dlg, "settings");
}

TEST_F(SettingsDlgTest, OkWritesTheChosenValues) {
    D dlg(MakeProfile());
    dlg.show();
    dlg.Combo(D::IDC_RESOLUTION)->setCurrentText("320*240");
    dlg.Combo(D::IDC_FRAME_RATE)->setCurrentText("25 fps");
    dlg.Combo(D::IDC_VIDEO_CODEC)->setCurrentText("H.264");
    dlg.Combo(D::IDC_VIDEO_BITRATE)->setCurrentText("400 kbps");
    dlg.Combo(D::IDC_SAMPLE_RATE)->setCurrentText("22050");
    dlg.Combo(D::IDC_CHANNELS)->setCurrentText("Mono");
    dlg.Combo(D::IDC_AUDIO_CODEC)->setCurrentText("MP3 Pro");
    dlg.Combo(D::IDC_AUDIO_BITRATE)->setCurrentText("64 kbps");
    Click(dlg, D::IDC_OK);
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    const EncoderSettings& s = dlg.Profile().Settings;
    EXPECT_EQ(s.Width, 320);
    EXPECT_EQ(s.Height, 240);
    EXPECT_EQ(s.FrameRate, 25000);
    EXPECT_STREQ(s.VideoCodecName, "libx264");
    EXPECT_EQ(s.VideoBitRate, 400000);
    EXPECT_EQ(s.SampleRate, 22050);
    EXPECT_EQ(s.Channel, 1);
    EXPECT_STREQ(s.AudioCodecName, "mp3pro");
    EXPECT_EQ(s.AudioBitRate, 64000);
    EXPECT_EQ(dlg.Profile().Index, 7);
    EXPECT_EQ(FieldUtf8(dlg.Profile().Resolutions), FieldUtf8(MakeProfile().Resolutions));
}

TEST_F(SettingsDlgTest, AnUntouchedDialogGivesBackTheSameValues) {
    // "MP3" must not select "MP3 Pro", which begins with it and is met first
    // by a search that starts after the first entry.
    D dlg(MakeProfile());
    dlg.show();
    EXPECT_EQ(dlg.Combo(D::IDC_AUDIO_CODEC)->currentIndex(), 0);
    Click(dlg, D::IDC_OK);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    const FormatProfile original = MakeProfile();
    EXPECT_EQ(std::memcmp(&dlg.Profile().Settings, &original.Settings, sizeof original.Settings),
              0);
}

TEST_F(SettingsDlgTest, CancelAndCloseEndWithoutWriting) {
    for (int button : {int(D::IDC_CANCEL), int(D::IDC_CLOSE)}) {
        D dlg(MakeProfile());
        dlg.show();
        dlg.Combo(D::IDC_RESOLUTION)->setCurrentText("320*240");
        dlg.Combo(D::IDC_CHANNELS)->setCurrentText("Mono");
        Click(dlg, button);
        EXPECT_EQ(dlg.result(), QDialog::Rejected) << button;
        EXPECT_FALSE(dlg.isVisible()) << button;
        EXPECT_EQ(dlg.Profile().Settings.Width, 640) << button;
        EXPECT_EQ(dlg.Profile().Settings.Channel, 2) << button;
    }
}

TEST_F(SettingsDlgTest, EnterInTheSizeBoxMeansOkAndEscapeCancel) {
    D dlg(MakeProfile());
    dlg.show();
    QLineEdit* edit = dlg.Combo(D::IDC_RESOLUTION)->lineEdit();
    ASSERT_TRUE(edit);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "352*288");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Profile().Settings.Width, 352);
    EXPECT_EQ(dlg.Combo(D::IDC_RESOLUTION)->count(), 4) << "a typed size is no new choice";

    D other(MakeProfile());
    other.show();
    QTest::keyClick(other.Combo(D::IDC_CHANNELS), Qt::Key_Escape);
    EXPECT_FALSE(other.isVisible());
    EXPECT_EQ(other.result(), QDialog::Rejected);
}

TEST_F(SettingsDlgTest, TheResolutionMustBeTwoPositiveNumbersJoinedByAStar) {
    const struct {
        const char* text;
        int width, height;  // 0: refused
    } cases[] = {
        {"720*576", 720, 576},   {" 720*576", 720, 576},
        {"720* 576", 720, 576},  {"352*288 (CIF) for old players", 352, 288},
        {"+640*+480", 640, 480}, {"720x576", 0, 0},
        {"720 * 576", 0, 0},     {"720*", 0, 0},
        {"*576", 0, 0},          {"", 0, 0},
        {"PAL size", 0, 0},  // a choice whose text is no size
        {"0*480", 0, 0},         {"-640*480", 0, 0},
    };
    for (const auto& c : cases) {
        messages.clear();
        D dlg(MakeProfile());
        dlg.show();
        dlg.Combo(D::IDC_RESOLUTION)->setEditText(c.text);
        Click(dlg, D::IDC_OK);
        if (c.width) {
            EXPECT_TRUE(messages.empty()) << c.text;
            EXPECT_EQ(dlg.result(), QDialog::Accepted) << c.text;
            EXPECT_EQ(dlg.Profile().Settings.Width, c.width) << c.text;
            EXPECT_EQ(dlg.Profile().Settings.Height, c.height) << c.text;
        } else {
            EXPECT_EQ(messages, std::vector<std::string>{"Resolution Error\r\n"}) << c.text;
            EXPECT_TRUE(dlg.isVisible()) << c.text;
            EXPECT_EQ(dlg.Profile().Settings.Width, 640) << c.text;
        }
    }
}

TEST_F(SettingsDlgTest, AChoiceWithoutStoredValueKeepsTheDialogOpen) {
    FormatProfile p = MakeProfile();
    StoreField(p.VideoBitRates, u"");  // nothing to choose
    D dlg(p);
    dlg.show();
    EXPECT_EQ(dlg.Combo(D::IDC_VIDEO_BITRATE)->count(), 0);
    dlg.Combo(D::IDC_RESOLUTION)->setEditText("320*240");
    dlg.Combo(D::IDC_FRAME_RATE)->setCurrentText("25 fps");
    Click(dlg, D::IDC_OK);
    EXPECT_EQ(messages, std::vector<std::string>{"error param"});
    EXPECT_TRUE(dlg.isVisible());
    // What came before the failing choice is already in the working copy; the
    // caller drops it with Cancel.
    EXPECT_EQ(dlg.Profile().Settings.Width, 320);
    EXPECT_EQ(dlg.Profile().Settings.FrameRate, 25000);
    EXPECT_EQ(dlg.Profile().Settings.VideoBitRate, 800000);
    Click(dlg, D::IDC_CANCEL);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST_F(SettingsDlgTest, AStoredValueOutsideTheListSelectsWhatTheSearchFinds) {
    FormatProfile p = MakeProfile();
    p.Settings.FrameRate = 24000;  // not offered: its text is "", which the
    p.Settings.Channel = 6;        // search matches with the entry after the first
    D dlg(p);
    EXPECT_EQ(dlg.Combo(D::IDC_FRAME_RATE)->currentText(), "29.97 fps");
    EXPECT_EQ(dlg.Combo(D::IDC_CHANNELS)->currentText(), "Mono");
}

TEST_F(SettingsDlgTest, AProfileWithoutVideoWritesOnlyItsSound) {
    FormatProfile p = MakeProfile();
    p.Settings.HasVideo = 0;
    D dlg(p);
    dlg.show();
    EXPECT_EQ(dlg.Combo(D::IDC_RESOLUTION)->currentText(), "") << "no size is shown";
    for (int id : {D::IDC_RESOLUTION, D::IDC_FRAME_RATE, D::IDC_VIDEO_CODEC, D::IDC_VIDEO_BITRATE})
        EXPECT_FALSE(dlg.Combo(id)->isEnabled()) << id;
    for (int id : {D::IDC_SAMPLE_RATE, D::IDC_CHANNELS, D::IDC_AUDIO_CODEC, D::IDC_AUDIO_BITRATE})
        EXPECT_TRUE(dlg.Combo(id)->isEnabled()) << id;
    Shoot(&dlg, "settings-no-video");
    dlg.Combo(D::IDC_SAMPLE_RATE)->setCurrentText("22050");
    Click(dlg, D::IDC_OK);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Profile().Settings.SampleRate, 22050);
    EXPECT_EQ(dlg.Profile().Settings.Width, 640);
    EXPECT_EQ(dlg.Profile().Settings.FrameRate, 29970);

    FormatProfile silent = MakeProfile();
    silent.Settings.HasAudio = 0;
    D quiet(silent);
    quiet.show();
    EXPECT_EQ(quiet.Combo(D::IDC_SAMPLE_RATE)->currentIndex(), -1);
    EXPECT_FALSE(quiet.Combo(D::IDC_AUDIO_CODEC)->isEnabled());
    quiet.Combo(D::IDC_RESOLUTION)->setEditText("320*240");
    Click(quiet, D::IDC_OK);
    EXPECT_EQ(quiet.result(), QDialog::Accepted);
    EXPECT_EQ(quiet.Profile().Settings.Width, 320);
    EXPECT_EQ(quiet.Profile().Settings.SampleRate, 44100);
}

TEST_F(SettingsDlgTest, DefaultRestoresTheCataloguesProfile) {
    // The dialog opens on a profile edited earlier; Default goes back past
    // those edits to the catalogue.
    FormatProfile edited = MakeProfile();
    edited.Settings.Width = 320;
    edited.Settings.Height = 240;
    edited.Settings.VideoBitRate = 400000;
    StoreField(edited.Settings.AudioCodecName, "aac");
    D dlg(edited);
    dlg.show();
    EXPECT_EQ(dlg.Combo(D::IDC_RESOLUTION)->currentText(), "320*240");
    EXPECT_EQ(dlg.Combo(D::IDC_AUDIO_CODEC)->currentText(), "AAC");
    dlg.Combo(D::IDC_CHANNELS)->setCurrentText("Mono");
    Click(dlg, D::IDC_DEFAULT);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(dlg.Combo(D::IDC_RESOLUTION)->currentText(), "640*480");
    EXPECT_EQ(dlg.Combo(D::IDC_VIDEO_BITRATE)->currentText(), "800 kbps");
    EXPECT_EQ(dlg.Combo(D::IDC_AUDIO_CODEC)->currentText(), "MP3");
    EXPECT_EQ(dlg.Combo(D::IDC_CHANNELS)->currentText(), "Stereo");
    Click(dlg, D::IDC_OK);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Profile().Settings.Width, 640);
    EXPECT_STREQ(dlg.Profile().Settings.AudioCodecName, "libmp3lame");
}

TEST_F(SettingsDlgTest, DefaultWithAProfileMissingFromTheCatalogueSaysSo) {
    FormatProfile stray = MakeProfile();
    stray.Index = 42;
    stray.Settings.Width = 320;
    stray.Settings.Height = 240;
    D dlg(stray);
    dlg.show();
    Click(dlg, D::IDC_DEFAULT);
    EXPECT_EQ(messages, std::vector<std::string>{"Cann`t get format"});
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.Combo(D::IDC_RESOLUTION)->currentText(), "320*240");
    EXPECT_EQ(dlg.Profile().Settings.Width, 320);
}

TEST_F(SettingsDlgTest, EveryShippedProfileOpensAndAcceptsItsOwnValues) {
    ASSERT_TRUE(ProfileCatalogue::Instance().Load(DISCREEL_SOURCE_DIR "/data/Format.xml"));
    std::vector<FormatProfile> all;
    ProfileCatalogue::Instance().ForEach([&](const FormatProfile& p) { all.push_back(p); });
    ASSERT_FALSE(all.empty());
    for (const FormatProfile& p : all) {
        messages.clear();
        D dlg(p);
        dlg.show();
        Click(dlg, D::IDC_OK);
        const std::string name = FieldUtf8(p.ProfileName);
        EXPECT_TRUE(messages.empty()) << name << ": " << (messages.empty() ? "" : messages[0]);
        EXPECT_EQ(dlg.result(), QDialog::Accepted) << name;
        EXPECT_EQ(std::memcmp(&dlg.Profile().Settings, &p.Settings, sizeof p.Settings), 0) << name;
    }
}

}  // namespace
