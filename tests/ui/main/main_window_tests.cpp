// The main window on the authored DVDs: loading fills the title list and the
// track combos, profiles rename the outputs, the transport controls drive the
// preview, snapshots land in the snapshot folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest/QTest>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../../fixtures/fixtures.h"
#include "dvd/catalogue.h"
#include "platform/framework/interfaces.h"
#include "platform/win/messages.h"
#include "platform/win/paths.h"
#include "platform/win/registry.h"
#include "profiles/profile.h"
#include "ui/clip/crop_dlg.h"
#include "ui/convert/conver_dlg.h"
#include "ui/dialogs/about_dlg.h"
#include "ui/dialogs/properties_dlg.h"
#include "ui/dialogs/settings_dlg.h"
#include "ui/main/zo_rezive_dlg.h"
#include "ui/prefs/preferences.h"
#include "ui/prefs/preferences_dlg.h"
#include "ui/skin/my_button.h"
#include "ui/skin/my_slider_ctrl.h"

namespace fs = std::filesystem;
using namespace main_ids;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "main_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        // No loudspeaker is needed, and the preferences go to a scratch home.
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        static QTemporaryDir home;
        setenv("HOME", home.path().toLocal8Bit().constData(), 1);
        setenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit().constData(), 1);
        // The program finds its data files from the working directory.
        chdir(DISCREEL_BINARY_DIR "/bin");
        auto* a = new QApplication(argc, argv);
        QFont f("DejaVu Sans");
        f.setPixelSize(11);
        QApplication::setFont(f);
        return a;
    }();
    return *app;
}

void Pump(int ms = 0) {
    QElapsedTimer t;
    t.start();
    do {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    } while (t.elapsed() < ms);
}

// Pumps until cond holds or the time is up.
template <class F>
bool WaitFor(F cond, int ms) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Runs `inside` on the first modal dialog that opens, after it has opened.
template <class Dialog, class F>
void OnModal(F inside) {
    QTimer::singleShot(0, [inside] {
        QWidget* w = nullptr;
        WaitFor([&] { return (w = QApplication::activeModalWidget()) != nullptr; }, 5000);
        auto* dlg = dynamic_cast<Dialog*>(w);
        if (!dlg) {
            ADD_FAILURE() << "no dialog of the expected kind";
            if (w) w->close();
            return;
        }
        inside(dlg);
    });
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        previous_ = SetMessageSink([this](const std::string& t) { messages_.push_back(t); });
        dlg_ = std::make_unique<CZoReziveDlg>();
        dlg_->show();
        Pump();
    }
    void TearDown() override {
        dlg_.reset();
        SetMessageSink(previous_);
    }

    void LoadPal() {
        dlg_->LoadDvdFrom(fixtures::PalFolder().string());
        ASSERT_TRUE(messages_.empty()) << messages_.front();
        ASSERT_NE(dlg_->RootEntry(), nullptr);
    }
    std::vector<std::string> Texts(QComboBox* c) {
        std::vector<std::string> out;
        for (int i = 0; i < c->count(); ++i) out.push_back(c->itemText(i).toStdString());
        return out;
    }
    HTREEITEM Entry(int i) {
        CColumnTreeCtrl* list = dlg_->TitleList();
        HTREEITEM e = list->GetChildItem(dlg_->RootEntry());
        while (e && i-- > 0) e = list->GetNextSiblingItem(e);
        return e;
    }
    std::string Text(HTREEITEM e, int column) {
        return dlg_->TitleList()->GetItemText(e, column).toStdString();
    }
    int Children(HTREEITEM e) {
        int n = 0;
        for (HTREEITEM c = dlg_->TitleList()->GetChildItem(e); c;
             c = dlg_->TitleList()->GetNextSiblingItem(c))
            ++n;
        return n;
    }
    int Check(HTREEITEM e) { return dlg_->TitleList()->GetCheckState(e); }
    std::string Ext() { return profiles::FieldUtf8(dlg_->CurrentProfile().FormatExt); }

    std::vector<std::string> messages_;
    MessageSink previous_;
    std::unique_ptr<CZoReziveDlg> dlg_;
};

TEST_F(MainWindowTest, StartsWithTheGettingStartedPictureAndTheSecondProfile) {
    EXPECT_FALSE(dlg_->TitleList()->isVisible());
    EXPECT_TRUE(dlg_->StartPicture()->isVisible());
    EXPECT_TRUE(dlg_->VideoPicture()->isVisible());
    EXPECT_EQ(dlg_->CurrentProfile().Index, 1);
    EXPECT_EQ(dlg_->ProfileCombo()->currentData().toInt(), 1);
    EXPECT_EQ(static_cast<size_t>(dlg_->ProfileCombo()->count()),
              profiles::ProfileCatalogue::Instance().Count());
    EXPECT_TRUE(dlg_->Button(kPlay)->isVisible());
    EXPECT_FALSE(dlg_->Button(kPause)->isVisible());
    EXPECT_EQ(dlg_->size(), QSize(820, 545));
}

TEST_F(MainWindowTest, LoadingThePalFolderListsItsTitlesAndTheFirstTitlesTracks) {
    LoadPal();
    HTREEITEM root = dlg_->RootEntry();
    EXPECT_EQ(Text(root, 0), "VIDEO_TS");
    ASSERT_EQ(Children(root), 3);
    const char* lengths[] = {"00:00:06", "00:00:04", "00:00:04"};
    for (int i = 0; i < 3; ++i) {
        HTREEITEM e = Entry(i);
        const std::string name = TitleName(i);
        EXPECT_EQ(Text(e, 0), name);
        EXPECT_EQ(Text(e, 1), lengths[i]);
        EXPECT_EQ(Text(e, 2), lengths[i]);
        EXPECT_EQ(Text(e, 3), name + Ext());
        EXPECT_EQ(Check(e), kStateChecked);
        ConversionItem* item = dlg_->ItemData(e);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->TitleIndex, i);
        EXPECT_EQ(item->ChapterIndex, -1);
        EXPECT_EQ(item->TrimStart, 0);
        EXPECT_EQ(item->TrimLength, item->Duration);
        EXPECT_NEAR(static_cast<double>(item->Duration), i == 0 ? 6000 : 4000, 100);
        EXPECT_EQ(item->Clip, ClipSettings{});
    }
    EXPECT_TRUE(dlg_->TitleList()->isVisible());
    EXPECT_FALSE(dlg_->StartPicture()->isVisible());
    EXPECT_EQ(dlg_->TitleList()->GetSelectedItem(), Entry(0));
    EXPECT_EQ(CurrentClip.TrimLength, dlg_->ItemData(Entry(0))->Duration);

    EXPECT_EQ(Texts(dlg_->AudioCombo()),
              (std::vector<std::string>{"English(AC3 6ch)", "French(MP3 2ch)"}));
    EXPECT_EQ(dlg_->AudioCombo()->itemData(1).toInt(), 0xC000);
    EXPECT_EQ(Texts(dlg_->SubtitleCombo()), (std::vector<std::string>{"English", "German"}));
    EXPECT_EQ(SelectedAudioStream, 0xBD80);
    EXPECT_EQ(SelectedSubtitleStream, 0xBD20);
}

TEST_F(MainWindowTest, AClickOnATitleRowShowsThatTitlesTracks) {
    LoadPal();
    CColumnTreeCtrl* list = dlg_->TitleList();
    const QRect row = list->visualItemRect(Entry(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(row.center().x(), row.center().y()));
    Pump();
    EXPECT_EQ(list->GetSelectedItem(), Entry(2));
    EXPECT_EQ(Texts(dlg_->AudioCombo()), (std::vector<std::string>{"English(DTS 6ch)"}));
    EXPECT_EQ(SelectedAudioStream, 0xBD88);
}

TEST_F(MainWindowTest, ClickingAnotherTitleRefillsTheTrackCombosOnce) {
    LoadPal();
    dlg_->OnTitleClick(Entry(1));
    EXPECT_EQ(Texts(dlg_->AudioCombo()), (std::vector<std::string>{"English(LPCM 2ch)"}));
    EXPECT_EQ(dlg_->SubtitleCombo()->count(), 0);
    EXPECT_EQ(SelectedAudioStream, 0xBDA0);
    // The same entry again: the combos are left as they are.
    dlg_->AudioCombo()->clear();
    dlg_->OnTitleClick(Entry(1));
    EXPECT_EQ(dlg_->AudioCombo()->count(), 0);
    // Elsewhere and back refills.
    dlg_->OnTitleClick(Entry(2));
    EXPECT_EQ(Texts(dlg_->AudioCombo()), (std::vector<std::string>{"English(DTS 6ch)"}));
    dlg_->OnTitleClick(Entry(1));
    EXPECT_EQ(dlg_->AudioCombo()->count(), 1);
    // The root names no title and changes nothing.
    dlg_->OnTitleClick(dlg_->RootEntry());
    EXPECT_EQ(Texts(dlg_->AudioCombo()), (std::vector<std::string>{"English(LPCM 2ch)"}));
}

TEST_F(MainWindowTest, BadPathsSayOpenDvdErrorAndKeepThePreviousList) {
    const std::string missing = (fixtures::Dir() / "no-such-disc").string();
    dlg_->LoadDvdFrom(missing);
    EXPECT_EQ(messages_, (std::vector<std::string>{"Open DVD error"}));
    EXPECT_EQ(dlg_->RootEntry(), nullptr);
    EXPECT_FALSE(dlg_->TitleList()->isVisible());

    messages_.clear();
    LoadPal();
    dlg_->OnPlay();
    // A file that is no DVD at all, while a title plays.
    dlg_->LoadDvdFrom((fixtures::WorkDir() / "sub-en.png").string());
    EXPECT_EQ(messages_, (std::vector<std::string>{"Open DVD error"}));
    EXPECT_TRUE(dlg_->Button(kPlay)->isVisible());
    EXPECT_FALSE(dlg_->Button(kPause)->isVisible());
    EXPECT_TRUE(dlg_->VideoPicture()->isVisible());
    EXPECT_FALSE(dlg_->PositionTimerRunning());
    ASSERT_NE(dlg_->RootEntry(), nullptr);
    EXPECT_EQ(Children(dlg_->RootEntry()), 3);
    EXPECT_EQ(OpenDvdHandle(), 0);
    // Nothing plays without a DVD.
    dlg_->OnPlay();
    EXPECT_TRUE(dlg_->Button(kPlay)->isVisible());
    EXPECT_TRUE(dlg_->OnSnapshot().empty());
    // Nor is anything converted from the entries left standing.
    QTemporaryDir out;
    dlg_->OutputEdit()->setText(out.path());
    dlg_->SetConversionOptionsHook([&](ConverDlgOptions& o) {
        o.shutdown = [] {};
        o.openFolder = [](const std::string&) {};
        o.showFinished = [] {};
    });
    dlg_->OnStart();
    EXPECT_TRUE(fs::is_empty(out.path().toStdString()));
    // The clip editor opens on the entry all the same and closes cleanly.
    bool opened = false;
    OnModal<CCropDlg>([&](CCropDlg* editor) {
        opened = true;
        editor->reject();
    });
    dlg_->OnCommand(kCrop);
    EXPECT_TRUE(opened);
}

TEST_F(MainWindowTest, TheIsoImageAndTheVideoTsFolderLoadLikeTheDiscFolder) {
    for (const fs::path& path :
         {fixtures::PalIso(), fixtures::PalFolder() / "VIDEO_TS", fixtures::NtscIso()}) {
        dlg_->LoadDvdFrom(path.string());
        ASSERT_TRUE(messages_.empty()) << path << ": " << messages_.front();
        ASSERT_NE(dlg_->RootEntry(), nullptr);
        // The NTSC disc's second title lasts 2 s and is left out.
        EXPECT_EQ(Children(dlg_->RootEntry()), path == fixtures::NtscIso() ? 2 : 3) << path;
    }
    EXPECT_EQ(Text(Entry(1), 0), "Title_03");
    EXPECT_EQ(dlg_->ItemData(Entry(1))->TitleIndex, 2);
}

TEST_F(MainWindowTest, TheMenuButtonsShowTheirMenus) {
    const struct {
        int button;
        std::vector<std::string> items;  // "" for a separator
    } menus[] = {
        {kFileMenu, {"Load DVD", "Load DVD Forlder", "Load ISO File", "Properties ", "Exit"}},
        {kEditMenu, {"Properties", "Clear All", "", "Check All", "UnCheck All"}},
        {kClipMenu, {"Trim", "Crop", "Effect"}},
        {kOptionMenu, {"Preferences"}},
        {kHelpMenu, {"Help Content", "Support", "", "Home Page", "", "About"}},
        {kAddFile, {"Load DVD", "Load DVD Folder", "Load ISO File"}},
    };
    for (const auto& m : menus) {
        dlg_->OnCommand(m.button);
        QWidget* popup = nullptr;
        ASSERT_TRUE(
            WaitFor([&] { return (popup = QApplication::activePopupWidget()) != nullptr; }, 2000))
            << m.button;
        auto* menu = qobject_cast<QMenu*>(popup);
        ASSERT_NE(menu, nullptr);
        std::vector<std::string> texts;
        for (QAction* a : menu->actions())
            texts.push_back(a->isSeparator() ? "" : a->text().toStdString());
        EXPECT_EQ(texts, m.items) << m.button;
        // Under the button, from its left edge.
        const QWidget* b = dlg_->Button(m.button);
        EXPECT_EQ(menu->pos(), b->mapToGlobal(QPoint(0, b->height()))) << m.button;
        menu->close();
        Pump();
    }
}

TEST_F(MainWindowTest, ChoosingAProfileRenamesEveryOutput) {
    LoadPal();
    auto& catalogue = profiles::ProfileCatalogue::Instance();
    ASSERT_GE(catalogue.Count(), 2u);
    // A profile with another extension than the current one.
    int row = -1;
    const std::string before = Ext();
    for (int i = 0; i < dlg_->ProfileCombo()->count() && row < 0; ++i) {
        profiles::FormatProfile p{};
        ASSERT_TRUE(catalogue.FindByIndex(dlg_->ProfileCombo()->itemData(i).toInt(), p));
        if (profiles::FieldUtf8(p.FormatExt) != before) row = i;
    }
    ASSERT_GE(row, 0) << "every profile writes " << before;
    dlg_->ProfileCombo()->setCurrentIndex(row);
    dlg_->OnProfileChange();
    EXPECT_EQ(dlg_->CurrentProfile().Index, dlg_->ProfileCombo()->itemData(row).toInt());
    ASSERT_NE(Ext(), before);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Text(Entry(i), 3), TitleName(i) + Ext());
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, FoldersHelpAndWebPagesGoToTheDesktop) {
    std::vector<QUrl> opened;
    dlg_->SetOpener([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    QTemporaryDir out;
    dlg_->OutputEdit()->setText(out.path());
    const QString help =
        QFileInfo(QString::fromStdString(FindDataFile("help/index.html"))).absoluteFilePath();
    ASSERT_FALSE(help.isEmpty());
    const struct {
        int command;
        QUrl url;
    } cases[] = {
        {kOpenFolder, QUrl::fromLocalFile(out.path())},
        {kOpenSnapFolder,
         QUrl::fromLocalFile(QString::fromStdString(ThePreferences().strSnapFolder))},
        {kHelpContent, QUrl::fromLocalFile(help)},
        {kSupport, QUrl::fromUserInput(CAboutDlg::SupportAddress())},
        {kHomePage, QUrl::fromUserInput(CAboutDlg::HomePageAddress())},
    };
    for (const auto& c : cases) {
        opened.clear();
        dlg_->OnCommand(c.command);
        ASSERT_EQ(opened.size(), 1u) << c.command;
        EXPECT_EQ(opened[0], c.url) << c.command << " " << opened[0].toString().toStdString();
    }
}

TEST_F(MainWindowTest, AProfileGoneFromTheCatalogueKeepsTheCurrentOne) {
    LoadPal();
    const profiles::FormatProfile before = dlg_->CurrentProfile();
    const std::string ext = Ext();
    auto& catalogue = profiles::ProfileCatalogue::Instance();
    catalogue.Clear();
    dlg_->ProfileCombo()->setCurrentIndex(before.Index == 0 ? 1 : 0);
    dlg_->OnProfileChange();
    catalogue.LoadDefault();
    EXPECT_EQ(messages_, (std::vector<std::string>{"Cann`t get format"}));
    EXPECT_EQ(dlg_->CurrentProfile().Index, before.Index);
    EXPECT_EQ(Text(Entry(0), 3), TitleName(0) + ext);
}

TEST_F(MainWindowTest, CheckAllAndUncheckAllReachEveryEntry) {
    LoadPal();
    dlg_->SetCheckAll(false);
    EXPECT_EQ(Check(dlg_->RootEntry()), kStateUnchecked);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Check(Entry(i)), kStateUnchecked);
    dlg_->SetCheckAll(true);
    EXPECT_EQ(Check(dlg_->RootEntry()), kStateChecked);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Check(Entry(i)), kStateChecked);
}

TEST_F(MainWindowTest, ClearAllEmptiesTheListAndTheCombosButKeepsTheDvd) {
    LoadPal();
    dlg_->OnCommand(kClearAll);
    EXPECT_EQ(dlg_->RootEntry(), nullptr);
    EXPECT_EQ(dlg_->AudioCombo()->count(), 0);
    EXPECT_EQ(dlg_->SubtitleCombo()->count(), 0);
    EXPECT_TRUE(dlg_->TitleList()->isVisible());
    EXPECT_NE(OpenDvdHandle(), 0);
    // The clip editor needs an entry.
    dlg_->OnCommand(kTrim);
    EXPECT_EQ(messages_, (std::vector<std::string>{"Please select one first"}));
}

TEST_F(MainWindowTest, StartChecksTheOutputFolder) {
    QTemporaryDir out;
    const struct {
        QString folder;
        bool valid;
    } cases[] = {
        {out.path() + "/missing", false},
        {"", false},
        {QString::fromStdString((fixtures::WorkDir() / "sub-en.png").string()), false},
        {out.path(), true},
    };
    auto stored = [] {
        auto key = RegKey::Open(PreferencesKey());
        return key ? key->QueryString(kOutFolderValue).value_or("") : std::string();
    };
    const std::string before = ThePreferences().strOutFolder;
    ASSERT_NE(before, out.path().toStdString());
    for (const auto& c : cases) {
        messages_.clear();
        dlg_->OutputEdit()->setText(c.folder);
        dlg_->OnStart();
        if (c.valid) {
            // No titles: the folder is kept and stored, nothing else happens.
            EXPECT_TRUE(messages_.empty()) << c.folder.toStdString();
            EXPECT_EQ(ThePreferences().strOutFolder, c.folder.toStdString());
            EXPECT_EQ(stored(), c.folder.toStdString());
        } else {
            EXPECT_EQ(messages_, (std::vector<std::string>{"Invalid output directory"}))
                << c.folder.toStdString();
            EXPECT_EQ(ThePreferences().strOutFolder, before);
        }
    }
}

TEST_F(MainWindowTest, TheClipEditorWorksOnTheFirstTitleAndSharesItsSettings) {
    LoadPal();
    dlg_->OnPlay();
    dlg_->TitleList()->SelectItem(nullptr);
    CurrentClip.Clip.Volume = 300;
    bool opened = false;
    OnModal<CCropDlg>([&](CCropDlg* editor) {
        opened = true;
        editor->reject();
    });
    dlg_->OnCommand(kTrim);
    EXPECT_TRUE(opened);
    // The preview made way for the editor's own.
    EXPECT_TRUE(dlg_->Player().IsStopped());
    EXPECT_TRUE(dlg_->Button(kPlay)->isVisible());
    EXPECT_EQ(dlg_->ItemData(Entry(0))->Clip.Volume, 300);
    EXPECT_EQ(dlg_->ItemData(Entry(1))->Clip.Volume, 256);
    EXPECT_EQ(CurrentClip.Clip.Volume, 300);
    CurrentClip.Clip = ClipSettings{};
}

TEST_F(MainWindowTest, PropertiesAboutAndPreferencesOpenTheirDialogs) {
    LoadPal();
    for (int command : {kFileProperties, kEditProperties}) {
        bool opened = false;
        OnModal<CProperties>([&](CProperties* d) {
            opened = true;
            d->reject();
        });
        dlg_->OnCommand(command);
        EXPECT_TRUE(opened) << command;
    }
    bool about = false;
    OnModal<CAboutDlg>([&](CAboutDlg* d) {
        about = true;
        d->reject();
    });
    dlg_->OnCommand(kAbout);
    EXPECT_TRUE(about);

    // OK in the preferences brings their output folder into the window.
    QTemporaryDir out;
    OnModal<CPreferencesDlg>([&](CPreferencesDlg* d) {
        d->OutFolderEdit()->setText(out.path());
        d->OnOK();
    });
    dlg_->OnCommand(kPreferences);
    EXPECT_EQ(dlg_->OutputEdit()->text(), out.path());
    EXPECT_EQ(ThePreferences().strOutFolder, out.path().toStdString());
    // Cancel leaves the window's folder alone.
    OnModal<CPreferencesDlg>([&](CPreferencesDlg* d) {
        d->OutFolderEdit()->setText("/elsewhere");
        d->reject();
    });
    dlg_->OnCommand(kMenuPreferences);
    EXPECT_EQ(dlg_->OutputEdit()->text(), out.path());
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, SettingsEditTheCurrentProfileOnlyAndSurviveReselectingIt) {
    const profiles::FormatProfile before = dlg_->CurrentProfile();
    std::string chosen;
    OnModal<CSettingsDlg>([&](CSettingsDlg* settings) {
        QComboBox* rate = settings->Combo(CSettingsDlg::IDC_VIDEO_BITRATE);
        ASSERT_GE(rate->count(), 2);
        rate->setCurrentIndex(rate->currentIndex() == 0 ? 1 : 0);
        chosen = rate->currentText().toStdString();
        settings->OnOK();
    });
    dlg_->OnCommand(kSettings);
    ASSERT_FALSE(chosen.empty());
    EXPECT_NE(dlg_->CurrentProfile().Settings.VideoBitRate, before.Settings.VideoBitRate);
    EXPECT_EQ(dlg_->CurrentProfile().Index, before.Index);
    profiles::FormatProfile stored{};
    ASSERT_TRUE(profiles::ProfileCatalogue::Instance().FindByIndex(before.Index, stored));
    EXPECT_EQ(stored.Settings.VideoBitRate, before.Settings.VideoBitRate);
    // Picking the profile that is already current keeps the edit.
    dlg_->OnProfileChange();
    EXPECT_NE(dlg_->CurrentProfile().Settings.VideoBitRate, before.Settings.VideoBitRate);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, StartConvertsTheCheckedTitlesIntoTheOutputFolder) {
    QTemporaryDir out;
    LoadPal();
    dlg_->OnPlay();
    // Only the second title, merged or not it is one file.
    dlg_->SetCheckAll(false);
    dlg_->TitleList()->SetCheckState(Entry(1), kStateChecked);
    dlg_->OutputEdit()->setText(out.path());
    bool finished = false, shutdown = false;
    dlg_->SetConversionOptionsHook([&](ConverDlgOptions& o) {
        EXPECT_EQ(o.outFolder, out.path().toStdString());
        o.shutdown = [&] { shutdown = true; };
        o.openFolder = [](const std::string&) {};
        o.showFinished = [&] { finished = true; };
    });
    dlg_->OnStart();
    EXPECT_TRUE(finished);
    EXPECT_FALSE(shutdown);
    EXPECT_TRUE(dlg_->Player().IsStopped());
    const fs::path written = fs::path(out.path().toStdString()) / (TitleName(1) + Ext());
    EXPECT_TRUE(fs::exists(written)) << written;
    EXPECT_FALSE(fs::exists(fs::path(out.path().toStdString()) / (TitleName(0) + Ext())));
    EXPECT_TRUE(messages_.empty()) << messages_.front();
}

// ---- The preview commands ----------------------------------------------------------

TEST_F(MainWindowTest, PlayPauseResumeAndStop) {
    LoadPal();
    dlg_->Button(kPlay)->click();
    EXPECT_TRUE(dlg_->Player().IsRunning());
    EXPECT_FALSE(dlg_->Button(kPlay)->isVisible());
    EXPECT_TRUE(dlg_->Button(kPause)->isVisible());
    EXPECT_FALSE(dlg_->VideoPicture()->isVisible());
    EXPECT_TRUE(dlg_->PositionTimerRunning());

    double pos = 0;
    ASSERT_TRUE(WaitFor([&] { return dlg_->Player().GetCurrentPosition(pos) && pos > 1.0; }, 8000));
    // The timer moves the slider along.
    EXPECT_TRUE(WaitFor([&] { return dlg_->SeekSlider()->GetPos() > 100; }, 3000));

    dlg_->Button(kPause)->click();
    EXPECT_TRUE(WaitFor([&] { return dlg_->Player().IsPaused(); }, 3000));
    EXPECT_TRUE(dlg_->Button(kPlay)->isVisible());
    EXPECT_FALSE(dlg_->Button(kPause)->isVisible());
    double paused = 0;
    ASSERT_TRUE(dlg_->Player().GetCurrentPosition(paused));

    // Play while paused resumes where it was instead of starting again.
    dlg_->OnPlay();
    Pump(200);
    double resumed = 0;
    ASSERT_TRUE(dlg_->Player().GetCurrentPosition(resumed));
    EXPECT_GE(resumed, paused - 0.05);

    dlg_->OnStopPreview();
    EXPECT_TRUE(dlg_->Player().IsStopped());
    EXPECT_TRUE(dlg_->Button(kPlay)->isVisible());
    EXPECT_TRUE(dlg_->VideoPicture()->isVisible());
    EXPECT_FALSE(dlg_->PositionTimerRunning());
    EXPECT_EQ(dlg_->SeekSlider()->GetPos(), 0);
    double stopped = -1;
    ASSERT_TRUE(dlg_->Player().GetCurrentPosition(stopped));
    EXPECT_NEAR(stopped, 0.0, 0.05);
}

TEST_F(MainWindowTest, PlayWhileRunningStartsTheSelectedTitleFromItsBeginning) {
    LoadPal();
    dlg_->OnPlay();
    double pos = 0;
    ASSERT_TRUE(WaitFor([&] { return dlg_->Player().GetCurrentPosition(pos) && pos > 1.0; }, 8000));
    dlg_->TitleList()->SelectItem(Entry(1));
    dlg_->OnPlay();
    EXPECT_TRUE(dlg_->Player().IsRunning());
    EXPECT_NEAR(static_cast<double>(dlg_->Player().TitleDuration()), 4000, 100);
    ASSERT_TRUE(dlg_->Player().GetCurrentPosition(pos));
    EXPECT_LT(pos, 0.5);
    // And it plays on.
    EXPECT_TRUE(WaitFor([&] { return dlg_->Player().GetCurrentPosition(pos) && pos > 1.0; }, 8000));
    EXPECT_TRUE(messages_.empty()) << messages_.front();
}

TEST_F(MainWindowTest, ReleasingTheSliderSeeksToItsShareOfTheTitle) {
    LoadPal();
    dlg_->OnPlay();
    dlg_->OnPause();
    ASSERT_TRUE(WaitFor([&] { return dlg_->Player().IsPaused(); }, 3000));
    double duration = 0;
    ASSERT_TRUE(dlg_->Player().GetDuration(duration));
    EXPECT_NEAR(duration, 6.0, 0.2);
    // With the mouse: pressing and dragging only move the thumb; the release
    // seeks to its share of the title.
    CMySliderCtrl* slider = dlg_->SeekSlider();
    const int y = slider->height() / 2;
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() / 4, y));
    QMouseEvent move(QEvent::MouseMove, QPointF(slider->width() / 2, y),
                     slider->mapToGlobal(QPointF(slider->width() / 2, y)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(slider, &move);
    Pump(50);
    double pos = -1;
    ASSERT_TRUE(dlg_->Player().GetCurrentPosition(pos));
    EXPECT_LT(pos, 1.0) << "seeked while dragging";
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, y));
    Pump(50);
    const int thumb = slider->GetThumbPos();
    EXPECT_NEAR(thumb, 500, 10);
    ASSERT_TRUE(dlg_->Player().GetCurrentPosition(pos));
    EXPECT_NEAR(pos, thumb * duration / 1000, 0.05);
}

TEST_F(MainWindowTest, TheEndOfATitleStopsAndRewinds) {
    LoadPal();
    dlg_->TitleList()->SelectItem(Entry(1));  // 4 s
    dlg_->OnPlay();
    ASSERT_TRUE(dlg_->Player().IsRunning());
    ASSERT_TRUE(WaitFor([&] { return dlg_->VideoPicture()->isVisible(); }, 15000))
        << "no end of stream";
    EXPECT_TRUE(dlg_->Player().IsStopped());
    EXPECT_TRUE(dlg_->Button(kPlay)->isVisible());
    EXPECT_EQ(dlg_->SeekSlider()->GetPos(), 0);
    EXPECT_FALSE(dlg_->PositionTimerRunning());
}

TEST_F(MainWindowTest, NextAndPreviousWalkTheListAndStopAtItsEnds) {
    LoadPal();
    CColumnTreeCtrl* list = dlg_->TitleList();
    dlg_->OnPreviousNext(false);  // before the first: nothing
    EXPECT_EQ(list->GetSelectedItem(), Entry(0));
    EXPECT_FALSE(dlg_->Player().IsRunning());

    dlg_->OnPreviousNext(true);
    EXPECT_EQ(list->GetSelectedItem(), Entry(1));
    EXPECT_TRUE(dlg_->Player().IsRunning());
    EXPECT_NEAR(static_cast<double>(dlg_->Player().TitleDuration()), 4000, 100);
    dlg_->OnPreviousNext(true);
    EXPECT_EQ(list->GetSelectedItem(), Entry(2));
    dlg_->OnStopPreview();
    dlg_->OnPreviousNext(true);  // after the last: nothing
    EXPECT_EQ(list->GetSelectedItem(), Entry(2));
    EXPECT_TRUE(dlg_->Player().IsStopped());
    dlg_->OnPreviousNext(false);
    EXPECT_EQ(list->GetSelectedItem(), Entry(1));
}

// The names of the splitter's enabled streams.
std::vector<std::string> EnabledStreams(PreviewPlayer& player) {
    std::vector<std::string> names;
    ComPtr<IBaseFilter> splitter;
    if (!player.Graph() ||
        FAILED(player.Graph()->FindFilterByName("Splitter", splitter.ReleaseAndGetAddressOf())))
        return names;
    ComPtr<IAMStreamSelect> select = splitter.As<IAMStreamSelect>();
    DWORD count = 0;
    if (!select || FAILED(select->Count(&count))) return names;
    for (DWORD i = 0; i < count; ++i) {
        DWORD flags = 0;
        std::string name;
        if (SUCCEEDED(select->Info(static_cast<long>(i), nullptr, &flags, nullptr, nullptr, &name,
                                   nullptr, nullptr)) &&
            (flags & AMSTREAMSELECTINFO_ENABLED))
            names.push_back(name);
    }
    return names;
}

bool AnyEndsWith(const std::vector<std::string>& names, const std::string& tail) {
    for (const std::string& n : names)
        if (n.size() >= tail.size() && n.compare(n.size() - tail.size(), tail.size(), tail) == 0)
            return true;
    return false;
}

TEST_F(MainWindowTest, PlayEnablesTheChosenTracks) {
    LoadPal();
    dlg_->AudioCombo()->setCurrentIndex(1);     // French, MPEG audio 0xC000
    dlg_->SubtitleCombo()->setCurrentIndex(1);  // German, 0xBD21
    dlg_->OnPlay();
    const auto enabled = EnabledStreams(dlg_->Player());
    EXPECT_TRUE(AnyEndsWith(enabled, ",c0,00)")) << ::testing::PrintToString(enabled);
    EXPECT_FALSE(AnyEndsWith(enabled, ",bd,80)")) << ::testing::PrintToString(enabled);
    EXPECT_TRUE(AnyEndsWith(enabled, ",bd,21)")) << ::testing::PrintToString(enabled);
    EXPECT_FALSE(AnyEndsWith(enabled, ",bd,20)")) << ::testing::PrintToString(enabled);
}

TEST_F(MainWindowTest, ChoosingTheSecondAudioTrackWhilePlayingSwitchesTheStream) {
    LoadPal();
    // The French track is MPEG audio (0xC000): sub-stream 0 like no other
    // track, so only the PES id tells it apart.
    dlg_->OnPlay();
    dlg_->AudioCombo()->setCurrentIndex(1);
    dlg_->OnTrackChange(true);
    EXPECT_EQ(SelectedAudioStream, 0xC000);
    dlg_->SubtitleCombo()->setCurrentIndex(1);
    dlg_->OnTrackChange(false);
    EXPECT_EQ(SelectedSubtitleStream, 0xBD21);
    const auto enabled = EnabledStreams(dlg_->Player());
    EXPECT_TRUE(AnyEndsWith(enabled, ",c0,00)")) << ::testing::PrintToString(enabled);
    EXPECT_TRUE(AnyEndsWith(enabled, ",bd,21)")) << ::testing::PrintToString(enabled);
    EXPECT_TRUE(dlg_->Player().IsRunning());
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, ASnapshotIsWrittenIntoTheSnapshotFolder) {
    LoadPal();
    dlg_->OnPlay();
    double pos = 0;
    ASSERT_TRUE(WaitFor([&] { return dlg_->Player().GetCurrentPosition(pos) && pos > 0.5; }, 8000));
    dlg_->OnPause();
    ASSERT_TRUE(dlg_->Player().WaitUntilCued(5000));
    const std::string first = dlg_->OnSnapshot();
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(fs::exists(first));
    EXPECT_GT(fs::file_size(first), 1000u);
    const QImage picture(QString::fromStdString(first));
    EXPECT_FALSE(picture.isNull());
    // A second one in the same second keeps the first.
    const std::string second = dlg_->OnSnapshot();
    ASSERT_FALSE(second.empty());
    EXPECT_NE(second, first);
    EXPECT_TRUE(fs::exists(first));
    fs::remove(first);
    fs::remove(second);
}

// The window as the screen shows it, kept beside the test program for a look.
QImage Shot(QWidget* w, const char* name) {
    Pump(50);
    QImage shot = w->grab().toImage();
    shot.save(QString(DISCREEL_BINARY_DIR "/tests/") + name);
    return shot;
}

TEST_F(MainWindowTest, TheVideoAreaShowsTheTitleWhilePlaying) {
    const QRect video = dlg_->VideoPicture()->geometry();
    const QImage empty = Shot(dlg_.get(), "main-window-empty.png").copy(video);
    LoadPal();
    Shot(dlg_.get(), "main-window-loaded.png");
    dlg_->OnPlay();
    double pos = 0;
    ASSERT_TRUE(WaitFor([&] { return dlg_->Player().GetCurrentPosition(pos) && pos > 1.5; }, 8000));
    dlg_->OnPause();
    ASSERT_TRUE(dlg_->Player().WaitUntilCued(5000));
    const QImage playing = Shot(dlg_.get(), "main-window-playing.png").copy(video);
    // The still picture gave way to the title's frame: most of the area changed.
    int changed = 0;
    for (int y = 0; y < video.height(); y += 4)
        for (int x = 0; x < video.width(); x += 4)
            if (playing.pixel(x, y) != empty.pixel(x, y)) ++changed;
    EXPECT_GT(changed, (video.width() / 4) * (video.height() / 4) / 2);
}

}  // namespace
