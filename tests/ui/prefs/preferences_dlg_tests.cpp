#include <QComboBox>
#include <QLineEdit>
#include <fstream>

#include "platform/win/registry.h"
#include "prefs_test_util.h"
#include "ui/prefs/preferences_dlg.h"
#include "ui/skin/my_button.h"
#include "ui/skin/my_static.h"

namespace {

const std::string kKey = "Software\\Discreel";
using D = CPreferencesDlg;

class PreferencesDlgTest : public GuiTest {
  protected:
    void SetUp() override {
        GuiTest::SetUp();
        prefs = DefaultPreferences();
        prefs.strOutFolder = "/media/out";
        prefs.strSnapFolder = "/media/snap";
        prefs.strImageType = "JPEG";
        prefs.strAction = "Shut Down";
        prefs.cpu_usage = 70;
    }
    void Click(D& dlg, int id) {
        auto* b = FindById<CMyButton>(&dlg, id);
        ASSERT_TRUE(b) << id;
        b->click();
    }
    Preferences prefs;
};

TEST_F(PreferencesDlgTest, ShowsTheCurrentValuesOnTheGeneralPage) {
    D dlg(prefs, kKey);
    EXPECT_EQ(dlg.size(), QSize(575, 440)) << "sized to its background";
    EXPECT_EQ(dlg.Page(), 0);
    EXPECT_EQ(dlg.OutFolderEdit()->text(), "/media/out");
    EXPECT_EQ(dlg.SnapFolderEdit()->text(), "/media/snap");
    EXPECT_EQ(dlg.ImageTypeCombo()->currentText(), "JPEG");
    EXPECT_EQ(dlg.ActionCombo()->currentText(), "Shut Down");
    EXPECT_EQ(dlg.UsageCombo()->currentText(), "70%");
    EXPECT_EQ(dlg.LanguageCombo()->currentText(), "English");
    EXPECT_EQ(dlg.SkinCombo()->currentText(), "Default");
    QStringList types, actions, usages;
    for (int i = 0; i < dlg.ImageTypeCombo()->count(); ++i)
        types << dlg.ImageTypeCombo()->itemText(i);
    for (int i = 0; i < dlg.ActionCombo()->count(); ++i) actions << dlg.ActionCombo()->itemText(i);
    for (int i = 0; i < dlg.UsageCombo()->count(); ++i) usages << dlg.UsageCombo()->itemText(i);
    EXPECT_EQ(types, QStringList({"BMP", "JPEG", "GIF"}));
    EXPECT_EQ(actions, QStringList({"No Action", "Shut Down"}));
    EXPECT_EQ(usages, QStringList({"50%", "60%", "70%", "80%", "90%", "100%"}));
    EXPECT_EQ(dlg.OutFolderEdit()->geometry(), QRect(162, 114, 200, 20));
    EXPECT_EQ(dlg.UsageCombo()->geometry(), QRect(162, 324, 200, 20));
    EXPECT_EQ(FindById<CMyButton>(&dlg, D::IDOK_BUTTON)->pos(), QPoint(405, 405));
    EXPECT_EQ(FindById<CMyButton>(&dlg, D::IDC_SNAP_OPEN)->pos(), QPoint(452, 140));
}

TEST_F(PreferencesDlgTest, PagesShowTheirOwnControls) {
    D dlg(prefs, kKey);
    dlg.show();
    auto* general = FindById<CMyButton>(&dlg, D::IDC_GENERAL);
    auto* options = FindById<CMyButton>(&dlg, D::IDC_OPTIONS);
    auto visible = [&](bool generalPage) {
        for (QWidget* w :
             {(QWidget*)dlg.OutFolderEdit(), (QWidget*)dlg.SnapFolderEdit(),
              (QWidget*)dlg.ImageTypeCombo(), (QWidget*)dlg.ActionCombo(),
              (QWidget*)dlg.UsageCombo(), (QWidget*)FindById<CMyButton>(&dlg, D::IDC_OUT_BROWSE),
              (QWidget*)FindById<CMyButton>(&dlg, D::IDC_SNAP_OPEN)})
            EXPECT_EQ(w->isVisible(), generalPage);
        for (QWidget* w : {(QWidget*)dlg.LanguageCombo(), (QWidget*)dlg.SkinCombo()})
            EXPECT_EQ(w->isVisible(), !generalPage);
        EXPECT_EQ(general->IsLatched(), generalPage);
        EXPECT_EQ(options->IsLatched(), !generalPage);
    };
    visible(true);
    Shoot(&dlg, "preferences-general");
    Click(dlg, D::IDC_OPTIONS);
    EXPECT_EQ(dlg.Page(), 1);
    visible(false);
    Shoot(&dlg, "preferences-options");
    Click(dlg, D::IDC_OPTIONS);  // the page already shown: nothing changes
    EXPECT_EQ(dlg.Page(), 1);
    visible(false);
    Click(dlg, D::IDC_GENERAL);
    EXPECT_EQ(dlg.Page(), 0);
    visible(true);
}

TEST_F(PreferencesDlgTest, TheGeneralPageIsDrawnOverTheBackgroundWithItsCaptions) {
    D dlg(prefs, kKey);
    const QImage shot = Shoot(&dlg, "preferences");
    // Inside the page and away from any control: the page's own colour.
    EXPECT_EQ(QColor(shot.pixel(500, 300)), QColor(208, 211, 217));
    // A caption is drawn: its box holds pixels darker than the page.
    bool ink = false;
    for (int x = 60; x < 140 && !ink; ++x)
        for (int y = 114; y < 134 && !ink; ++y) ink = qGray(shot.pixel(x, y)) < 120;
    EXPECT_TRUE(ink) << "\"Output Folder\" is not drawn";
}

TEST_F(PreferencesDlgTest, OkStoresEveryChangedValueAndOnlyThose) {
    prefs = DefaultPreferences();  // nothing stored yet, all defaults
    D dlg(prefs, kKey);
    dlg.show();
    dlg.SnapFolderEdit()->setText("/srv/snaps");
    dlg.ActionCombo()->setCurrentText("Shut Down");
    dlg.UsageCombo()->setCurrentText("100%");
    Click(dlg, D::IDOK_BUTTON);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isVisible());

    EXPECT_EQ(prefs.strSnapFolder, "/srv/snaps");
    EXPECT_EQ(prefs.strAction, "Shut Down");
    EXPECT_EQ(prefs.cpu_usage, 100);
    auto key = RegKey::Open(kKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->QueryString("strSnapFolder"), "/srv/snaps");
    EXPECT_EQ(key->QueryString("strAction"), "Shut Down");
    EXPECT_EQ(key->QueryDword("cpu_usage"), 100u);
    EXPECT_FALSE(key->QueryString("strOutFolder")) << "unchanged values are not written";
    EXPECT_FALSE(key->QueryString("strImageType"));

    Preferences loaded;
    LoadPreferences(loaded, kKey);
    EXPECT_EQ(loaded.strSnapFolder, "/srv/snaps");
    EXPECT_EQ(loaded.strAction, "Shut Down");
    EXPECT_EQ(loaded.cpu_usage, 100);
    EXPECT_EQ(loaded.strOutFolder, home.string());
}

TEST_F(PreferencesDlgTest, CancelAndCloseDiscardEverything) {
    for (int button : {int(D::IDCANCEL_BUTTON), int(D::IDC_CLOSE)}) {
        const Preferences before = prefs;
        D dlg(prefs, kKey);
        dlg.SetFolderPicker([](const QString&) { return QString("/picked"); });
        dlg.show();
        Click(dlg, D::IDC_OUT_BROWSE);
        EXPECT_EQ(dlg.OutFolderEdit()->text(), "/picked");
        dlg.SnapFolderEdit()->setText("/other");
        dlg.ImageTypeCombo()->setCurrentText("GIF");
        dlg.ActionCombo()->setCurrentText("No Action");
        dlg.UsageCombo()->setCurrentText("50%");
        Click(dlg, button);
        EXPECT_EQ(dlg.result(), QDialog::Rejected) << button;
        EXPECT_FALSE(dlg.isVisible()) << button;
        EXPECT_EQ(prefs.strOutFolder, before.strOutFolder) << button;
        EXPECT_EQ(prefs.strSnapFolder, before.strSnapFolder) << button;
        EXPECT_EQ(prefs.strImageType, before.strImageType) << button;
        EXPECT_EQ(prefs.strAction, before.strAction) << button;
        EXPECT_EQ(prefs.cpu_usage, before.cpu_usage) << button;
        EXPECT_FALSE(std::filesystem::exists(RegistryFile())) << button;
    }
}

TEST_F(PreferencesDlgTest, BrowseFillsTheEditAndOpenShowsItsFolder) {
    D dlg(prefs, kKey);
    QStringList starts, opened;
    QString answer = "/chosen/snaps";
    dlg.SetFolderPicker([&](const QString& start) {
        starts << start;
        return answer;
    });
    dlg.SetOpener([&](const QString& path) {
        opened << path;
        return true;
    });
    dlg.show();
    Click(dlg, D::IDC_SNAP_BROWSE);
    EXPECT_EQ(dlg.SnapFolderEdit()->text(), "/chosen/snaps");
    EXPECT_EQ(dlg.OutFolderEdit()->text(), "/media/out");
    answer.clear();  // the user cancels the picker
    Click(dlg, D::IDC_OUT_BROWSE);
    EXPECT_EQ(dlg.OutFolderEdit()->text(), "/media/out");
    EXPECT_EQ(starts, QStringList({"/media/snap", "/media/out"}));
    EXPECT_EQ(prefs.strSnapFolder, "/media/snap") << "nothing is kept before OK";

    dlg.OutFolderEdit()->setText("/typed");
    Click(dlg, D::IDC_OUT_OPEN);
    Click(dlg, D::IDC_SNAP_OPEN);
    EXPECT_EQ(opened, QStringList({"/typed", "/chosen/snaps"}));
}

TEST_F(PreferencesDlgTest, StoredValuesTheListsDoNotOfferSurviveOk) {
    prefs.strImageType = "PNG";
    prefs.strAction = "Reboot";
    prefs.cpu_usage = 55;
    D dlg(prefs, kKey);
    EXPECT_EQ(dlg.ImageTypeCombo()->currentIndex(), -1);
    EXPECT_EQ(dlg.ActionCombo()->currentIndex(), -1);
    EXPECT_EQ(dlg.UsageCombo()->currentIndex(), -1);
    dlg.show();
    Click(dlg, D::IDOK_BUTTON);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(prefs.strImageType, "PNG");
    EXPECT_EQ(prefs.strAction, "Reboot");
    EXPECT_EQ(prefs.cpu_usage, 55);
    auto key = RegKey::Open(kKey);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->QueryString("strImageType"));
    EXPECT_FALSE(key->QueryDword("cpu_usage"));
}

TEST_F(PreferencesDlgTest, OkKeepsTheDialogOpenWhenNothingCanBeStored) {
    std::ofstream(root / "a-file") << "not a folder";
    ::setenv("XDG_CONFIG_HOME", (root / "a-file").c_str(), 1);
    const Preferences before = prefs;
    D dlg(prefs, kKey);
    dlg.show();
    dlg.SnapFolderEdit()->setText("/srv/snaps");
    Click(dlg, D::IDOK_BUTTON);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(prefs.strSnapFolder, before.strSnapFolder);
    EXPECT_EQ(dlg.SnapFolderEdit()->text(), "/srv/snaps") << "the edit is not lost";
    EXPECT_TRUE(messages.empty());
}

}  // namespace
