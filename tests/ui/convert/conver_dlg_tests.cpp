// The progress dialog over real conversions of the authored PAL disc: the
// file appears and the bars reach their end, a cancel keeps a finished partial
// file, pausing stops the clock, and the after-job actions are called (never
// the real shutdown: every test injects it).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../../fixtures/fixtures.h"
#include "dvd/catalogue.h"
#include "pipelines/clip.h"
#include "platform/win/messages.h"
#include "profiles/profile.h"
#include "ui/convert/conver_dlg.h"
#include "ui/convert/msg_dlg.h"
#include "ui/skin/my_button.h"
#include "ui/skin/my_check_box.h"
#include "ui/skin/my_progress_ctrl.h"
#include "ui/skin/my_static.h"
#include "ui/titlelist/column_tree_ctrl.h"

namespace fs = std::filesystem;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "convert_dialog_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        // Format.xml and the skin are found from the working directory, as
        // the program finds them beside itself.
        QDir::setCurrent(DISCREEL_SOURCE_DIR "/data");
        return a;
    }();
    return *app;
}

// Pumps the event loop until pred holds or the time is up.
bool RunUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

fs::path OutDir() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    fs::path dir = fs::path(DISCREEL_BINARY_DIR) / "tests" / "tmp-convert-dialog" / info->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// ffprobe's duration of a file in seconds; negative when it cannot read it.
double ProbeDuration(const fs::path& file) {
    auto r = fixtures::RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " +
                                  fixtures::Quote(file.string()));
    if (r.exitCode != 0 || r.output.empty()) return -1;
    return std::atof(r.output.c_str());
}

// The number of video pictures ffprobe decodes from a file; -1 when it cannot.
int ProbeVideoFrames(const fs::path& file) {
    auto r = fixtures::RunCommand(
        "ffprobe -v error -select_streams v:0 -count_frames -show_entries "
        "stream=nb_read_frames -of csv=p=0 " +
        fixtures::Quote(file.string()));
    if (r.exitCode != 0 || r.output.empty()) return -1;
    return std::atoi(r.output.c_str());
}

void SaveShot(QWidget& w, const char* name) {
    w.grab().save(QString(DISCREEL_BINARY_DIR) + "/" + name);
}

// The main window's side of a conversion: the PAL disc loaded, its titles
// in the list with their items, the default profile.
struct Session {
    Session() {
        EXPECT_TRUE(LoadDvd(fixtures::PalFolder().string()));
        auto& catalogue = profiles::ProfileCatalogue::Instance();
        EXPECT_TRUE(catalogue.LoadDefault());
        EXPECT_TRUE(catalogue.GetDefaultProfile(profile));
        list.InsertColumn(0, "Source file", LVCFMT_LEFT, 100);
        list.InsertColumn(1, "Original Length", LVCFMT_LEFT, 120);
        list.InsertColumn(2, "Trimmed Length", LVCFMT_LEFT, 100);
        list.InsertColumn(3, "Output Format", LVCFMT_LEFT, 120);
        HTREEITEM root = list.InsertItem("VIDEO_TS");
        const DvdInfo& info = OpenDvdInfo();
        const std::string ext = profiles::FieldUtf8(profile.FormatExt);
        for (int t : ListedTitles(info)) {
            auto item = std::make_unique<ConversionItem>();
            item->TitleIndex = t;
            item->ChapterIndex = -1;
            item->Duration = TitleDurationMs(info.Titles[t]);
            item->TrimStart = 0;
            item->TrimLength = item->Duration;
            const std::string name = TitleName(t);
            const std::string length = DurationText(double(item->Duration));
            HTREEITEM e =
                list.InsertItem(QString::fromStdString(name + "\t" + length + "\t" + length + "\t" +
                                                       OutputName(name, ext)),
                                root);
            list.SetCheckState(e, kStateChecked);
            list.SetItemData(e, item.get());
            entries.push_back(e);
            items.push_back(std::move(item));
        }
        list.SetCheckState(root, kStateChecked);
        options.outFolder = out.string();
        options.shutdown = [this] { ++shutdowns; };
        options.openFolder = [this](const std::string& folder) { opened.push_back(folder); };
        options.showFinished = [this] { ++finishedShown; };
    }
    ~Session() { CloseDvd(); }

    // Only these titles (1-based) are converted, trimmed to the given lengths.
    void Convert(const std::vector<std::pair<int, std::int64_t>>& titles) {
        for (HTREEITEM e : entries) list.SetCheckState(e, kStateUnchecked);
        for (auto [title, length] : titles) {
            HTREEITEM e = entries[size_t(title - 1)];
            list.SetCheckState(e, kStateChecked);
            list.GetItemData(e)->TrimLength = length;
        }
    }
    fs::path Output(int title) const {
        return out / (TitleName(title - 1) + profiles::FieldUtf8(profile.FormatExt));
    }

    bool appReady = (App(), true);
    fs::path out = OutDir();
    profiles::FormatProfile profile{};
    CColumnTreeCtrl list;
    std::vector<HTREEITEM> entries;
    std::vector<std::unique_ptr<ConversionItem>> items;
    ConverDlgOptions options;
    int shutdowns = 0, finishedShown = 0;
    std::vector<std::string> opened;
};

TEST(ConverDlg, ConvertsTheCheckedTitlesAndFillsBothBars) {
    Session s;
    s.Convert({{1, 1500}, {2, 1000}});
    s.list.resize(454, 238);
    s.list.Expand(s.list.GetRootItem());
    s.list.show();
    SaveShot(s.list, "titlelist-pal.png");
    CConverDlg dlg(nullptr, &s.list, s.profile.Settings, false, s.options);
    EXPECT_EQ(dlg.Label(conver_ids::kElapsed)->GetWindowText(), "00:00:00");
    dlg.show();
    // One picture of the dialog while it converts, for whoever looks at the build.
    bool shot = false;
    ASSERT_TRUE(RunUntil(
        [&] {
            if (!shot && dlg.FileProgress()->value() > 0 && dlg.FileProgress()->value() < 1000) {
                SaveShot(dlg, "converting.png");
                shot = true;
            }
            return !dlg.isVisible();
        },
        120000))
        << "the job never ended";
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    for (int title : {1, 2}) {
        ASSERT_TRUE(fs::exists(s.Output(title))) << s.Output(title);
        const double seconds = ProbeDuration(s.Output(title));
        EXPECT_NEAR(seconds, title == 1 ? 1.5 : 1.0, 0.3) << s.Output(title);
    }
    EXPECT_FALSE(fs::exists(s.Output(3))) << "title 3 was not checked";
    EXPECT_EQ(dlg.FileProgress()->value(), 1000);
    EXPECT_EQ(dlg.JobProgress()->value(), 1000);
    EXPECT_EQ(dlg.FileProgress()->PercentText(), "100%");
    EXPECT_EQ(s.finishedShown, 1);
    EXPECT_EQ(s.shutdowns, 0);
    EXPECT_TRUE(s.opened.empty());
    ASSERT_NE(dlg.Job(), nullptr);
    EXPECT_TRUE(dlg.Job()->Finished());
    EXPECT_DOUBLE_EQ(dlg.Job()->TotalSeconds(), 2.5);
    // The clip-editor result was handed to every checked entry.
    EXPECT_EQ(s.items[0]->Clip, CurrentClip.Clip);
}

TEST(ConverDlg, MergedTitlesGoIntoOneFileNamedAfterTheFirst) {
    Session s;
    s.Convert({{2, 1000}, {3, 1000}});
    CConverDlg dlg(nullptr, &s.list, s.profile.Settings, true, s.options);
    dlg.show();
    ASSERT_TRUE(RunUntil([&] { return !dlg.isVisible(); }, 120000));
    EXPECT_TRUE(fs::exists(s.Output(2)));
    EXPECT_FALSE(fs::exists(s.Output(3)));
    EXPECT_NEAR(ProbeDuration(s.Output(2)), 2.0, 0.4);
}

TEST(ConverDlg, PauseStopsTheClockAndCancelKeepsAFinishedPartialFile) {
    Session s;
    s.Convert({{1, 6000}, {2, 4000}});
    CConverDlg dlg(nullptr, &s.list, s.profile.Settings, false, s.options);
    dlg.show();
    // Paused as soon as it runs: the title converts in about a second.
    ASSERT_TRUE(RunUntil([&] { return dlg.Job() && dlg.Job()->Running(); }, 60000));
    // Paused once the preview shows a picture (the test picture's many
    // colours; the dark well and a black border are one or two).
    const RECT area = CConverDlg::kPreviewRect;
    auto previewColours = [&] {
        const QImage image =
            dlg.grab().toImage().copy(area.left, area.top, area.right - area.left, area.bottom - area.top);
        std::set<QRgb> colours;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
        return colours.size();
    };
    EXPECT_TRUE(RunUntil([&] { return previewColours() > 16; }, 10000)) << "the preview shows no picture";
    QTest::mouseClick(dlg.Button(conver_ids::kPause), Qt::LeftButton);
    EXPECT_TRUE(dlg.Button(conver_ids::kContinue)->isVisibleTo(&dlg));
    EXPECT_FALSE(dlg.Button(conver_ids::kPause)->isVisibleTo(&dlg));
    const QString elapsed = dlg.Label(conver_ids::kElapsed)->GetWindowText();
    const int bar = dlg.FileProgress()->value();
    RunUntil([] { return false; }, 1500);
    EXPECT_EQ(dlg.Label(conver_ids::kElapsed)->GetWindowText(), elapsed)
        << "the clock ran while paused";
    EXPECT_EQ(dlg.FileProgress()->value(), bar);
    SaveShot(dlg, "converting-paused.png");

    // The preview can be switched off and on while paused; off, the area
    // shows the dialog's background.
    CMyCheckBox* preview = dlg.Check(conver_ids::kShowPreview);
    QTest::mouseClick(preview, Qt::LeftButton, {}, QPoint(7, 8));
    EXPECT_FALSE(preview->isChecked());
    RunUntil([] { return false; }, 300);
    EXPECT_LE(previewColours(), 16u) << "the preview still shows while switched off";
    QTest::mouseClick(preview, Qt::LeftButton, {}, QPoint(7, 8));
    EXPECT_TRUE(preview->isChecked());
    QTest::mouseClick(dlg.Button(conver_ids::kContinue), Qt::LeftButton);
    EXPECT_TRUE(dlg.Button(conver_ids::kPause)->isVisibleTo(&dlg));
    EXPECT_FALSE(dlg.Button(conver_ids::kContinue)->isVisibleTo(&dlg));
    ASSERT_TRUE(dlg.isVisible());

    QTest::mouseClick(dlg.Button(conver_ids::kCancel), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.Job()->Finished());
    EXPECT_EQ(s.finishedShown, 0);
    // The partial file is a whole file: ffprobe reads it, and it is shorter
    // than the title.
    ASSERT_TRUE(fs::exists(s.Output(1)));
    EXPECT_GT(ProbeDuration(s.Output(1)), 0.0);
    // The sound may have run ahead; the pictures stop where the job was cut.
    const int frames = ProbeVideoFrames(s.Output(1));
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 150) << "the whole title is 6 s, 180 pictures at the profile's rate";
    EXPECT_FALSE(fs::exists(s.Output(2))) << "the second title never started";
    // Nothing arrives after the end.
    RunUntil([] { return false; }, 300);
    EXPECT_FALSE(fs::exists(s.Output(2)));
}

TEST(ConverDlg, AfterJobActions) {
    struct Case {
        const char* what;
        std::string action;
        bool tickShutdown, tickOpenFolder;  // while the job runs
        int shutdowns, opens;
    };
    const Case cases[] = {
        {"\"Shut Down\" powers off with the box clear", "Shut Down", false, false, 1, 0},
        {"the open-folder box ticked during the job", "Do nothing", false, true, 0, 1},
        {"the shutdown box wins over opening the folder", "", true, true, 1, 0},
    };
    for (const Case& c : cases) {
        Session s;
        s.Convert({{2, 1000}});
        s.options.action = c.action;
        CConverDlg dlg(nullptr, &s.list, s.profile.Settings, false, s.options);
        dlg.show();
        if (c.tickShutdown)
            QTest::mouseClick(dlg.Check(conver_ids::kShutdown), Qt::LeftButton, {}, QPoint(7, 8));
        if (c.tickOpenFolder)
            QTest::mouseClick(dlg.Check(conver_ids::kOpenFolder), Qt::LeftButton, {}, QPoint(7, 8));
        EXPECT_EQ(dlg.Check(conver_ids::kShutdown)->isChecked(), c.tickShutdown) << c.what;
        ASSERT_TRUE(RunUntil([&] { return !dlg.isVisible(); }, 120000)) << c.what;
        EXPECT_EQ(s.shutdowns, c.shutdowns) << c.what;
        ASSERT_EQ(int(s.opened.size()), c.opens) << c.what;
        if (c.opens) {
            EXPECT_EQ(s.opened.front(), s.out.string()) << c.what;
        }
        EXPECT_EQ(s.finishedShown, 1) << c.what;
    }
}

TEST(ConverDlg, EscapeAndTheCloseButtonEndTheJobWithAFinishedFile) {
    for (bool escape : {true, false}) {
        SCOPED_TRACE(escape ? "Esc" : "close button");
        Session s;
        s.Convert({{1, 6000}});
        CConverDlg dlg(nullptr, &s.list, s.profile.Settings, false, s.options);
        dlg.show();
        ASSERT_TRUE(RunUntil([&] { return dlg.Job() && dlg.Job()->Running(); }, 60000));
        if (escape)
            QTest::keyClick(&dlg, Qt::Key_Escape);
        else
            QTest::mouseClick(dlg.Button(conver_ids::kClose), Qt::LeftButton);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_TRUE(dlg.Job()->Ended());
        EXPECT_EQ(s.finishedShown, 0);
        EXPECT_GT(ProbeDuration(s.Output(1)), 0.0) << "the partial file was finished";
    }
}

TEST(ConverDlg, WithoutAFinishHookTheFinishMessageIsShownModally) {
    Session s;
    s.Convert({{2, 1000}});
    s.options.showFinished = nullptr;
    CConverDlg dlg(nullptr, &s.list, s.profile.Settings, false, s.options);
    CMsgDlg* shown = nullptr;
    bool stillOpenBehindIt = false;
    // Answers the finish message as a user would, once it is up.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* msg = dynamic_cast<CMsgDlg*>(QApplication::activeModalWidget())) {
            shown = msg;
            stillOpenBehindIt = dlg.isVisible();
            QTest::mouseClick(msg->OkButton(), Qt::LeftButton);
        }
    });
    answer.start(50);
    dlg.show();
    ASSERT_TRUE(RunUntil([&] { return !dlg.isVisible(); }, 120000));
    EXPECT_NE(shown, nullptr) << "no finish message";
    EXPECT_TRUE(stillOpenBehindIt) << "the progress dialog ends after the message";
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(fs::exists(s.Output(2)));
}

TEST(ConverDlg, NothingCheckedClosesWithoutAFile) {
    Session s;
    s.Convert({});
    CConverDlg dlg(nullptr, &s.list, s.profile.Settings, false, s.options);
    dlg.show();
    EXPECT_TRUE(RunUntil([&] { return !dlg.isVisible(); }, 5000));
    EXPECT_TRUE(fs::is_empty(s.out));
    EXPECT_EQ(s.finishedShown, 0);
    EXPECT_EQ(s.shutdowns, 0);
}

TEST(ConverDlg, WithoutAListItSaysSoAndCloses) {
    App();
    std::vector<std::string> messages;
    MessageSink old = SetMessageSink([&](const std::string& text) { messages.push_back(text); });
    EncoderSettings settings{};
    ConverDlgOptions o;
    o.shutdown = [] { FAIL() << "no job, no shutdown"; };
    o.showFinished = [] { FAIL() << "no job, no finish"; };
    CConverDlg dlg(nullptr, nullptr, settings, false, o);
    dlg.show();
    EXPECT_TRUE(RunUntil([&] { return !dlg.isVisible(); }, 5000));
    SetMessageSink(old);
    EXPECT_EQ(messages, std::vector<std::string>{"pList NULL"});
}

TEST(ConverDlg, SkinnedLayout) {
    App();
    EncoderSettings settings{};
    CConverDlg dlg(nullptr, nullptr, settings, false, {});
    EXPECT_EQ(dlg.size(), QSize(485, 550)) << "the size of convertingbk.png";
    struct Place {
        int id;
        QRect rect;
    };
    const Place buttons[] = {{conver_ids::kPause, {315, 515, 72, 20}},
                             {conver_ids::kContinue, {315, 515, 72, 20}},
                             {conver_ids::kCancel, {400, 515, 72, 20}},
                             {conver_ids::kClose, {455, 8, 20, 20}}};
    for (const Place& b : buttons) EXPECT_EQ(dlg.Button(b.id)->geometry(), b.rect) << b.id;
    EXPECT_FALSE(dlg.Button(conver_ids::kContinue)->isVisibleTo(&dlg));
    EXPECT_TRUE(dlg.Check(conver_ids::kShowPreview)->isChecked());
    EXPECT_FALSE(dlg.Check(conver_ids::kShutdown)->isChecked());
    EXPECT_FALSE(dlg.Check(conver_ids::kOpenFolder)->isChecked());
    EXPECT_EQ(dlg.FileProgress()->maximum(), 1000);
    EXPECT_EQ(dlg.JobProgress()->maximum(), 1000);
    EXPECT_EQ(dlg.Label(conver_ids::kTitle)->GetWindowText(), "Converting");
}

TEST(MsgDlg, FinishMessageEndsWithItsOkButton) {
    App();
    CMsgDlg dlg(nullptr);
    EXPECT_EQ(dlg.Kind(), CMsgDlg::kConversionFinished);
    EXPECT_EQ(dlg.size(), QSize(360, 180)) << "the size of converterok_bg.png";
    EXPECT_EQ(dlg.OkButton()->pos(), QPoint(240, 140));
    dlg.show();
    QApplication::processEvents();
    SaveShot(dlg, "finished.png");
    QTest::mouseClick(dlg.OkButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

}  // namespace
