// The start-up picture: shown for its time when it loads, silently skipped
// (but still waited for) when it does not, with its two lines drawn over it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <string>
#include <vector>

#include "app/splash_wnd.h"
#include "app/zo_rezive_app.h"
#include "platform/win/messages.h"
#include "ui/main/zo_rezive_dlg.h"
#include "ui/skin/my_button.h"
#include "ui/skin/skin_files.h"

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    // The preferences the main window reads come from a scratch folder.
    static QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    // The program finds its skin from the working directory.
    [[maybe_unused]] static const int cd = chdir(DISCREEL_BINARY_DIR "/bin");
    static QApplication app(argc, argv);
    return app;
}

TEST(Splash, AMissingPictureShowsNothingButStillWaits) {
    App();
    QTemporaryDir dir;
    for (const std::string& path : {std::string(), (dir.path() + "/starup.jpg").toStdString()}) {
        CSplashWnd splash(path);
        EXPECT_FALSE(splash.PictureLoaded());
        EXPECT_FALSE(splash.Create());
        splash.DrawText("Version 2.01", 160, 232, Qt::yellow);  // does nothing, harmlessly
        EXPECT_FALSE(splash.isVisible());
    }
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(CZoReziveApp::ShowSplash((dir.path() + "/starup.jpg").toStdString()));
    EXPECT_GE(t.elapsed(), CZoReziveApp::kSplashMs - 20);
}

TEST(Splash, ThePictureShowsCentredWithItsTextAndCloses) {
    App();
    const std::string path = FindSkinFile("starup.jpg");
    ASSERT_FALSE(path.empty()) << "skin/starup.jpg is shipped";
    CSplashWnd splash(path);
    ASSERT_TRUE(splash.PictureLoaded());
    const QImage before = splash.Picture();
    ASSERT_TRUE(splash.Create());
    EXPECT_TRUE(splash.isVisible());
    EXPECT_EQ(splash.size(), before.size());
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);

    splash.DrawText("Free software for converting video DVDs.", 40, 215, Qt::black);
    splash.DrawText("Version 2.01", 160, 232, QColor(255, 255, 0));
    splash.grab().save(DISCREEL_BINARY_DIR "/tests/splash.png");
    // Some pixel of the line's box turned to the text colour.
    const QImage after = splash.Picture();
    int yellow = 0;
    for (int y = 232; y < 246 && y < after.height(); ++y)
        for (int x = 160; x < 230 && x < after.width(); ++x)
            if (after.pixelColor(x, y) != before.pixelColor(x, y) &&
                after.pixelColor(x, y).blue() < 100 && after.pixelColor(x, y).red() > 200)
                ++yellow;
    EXPECT_GT(yellow, 10);

    EXPECT_TRUE(CZoReziveApp::ShowSplash(path, 50));
    QApplication::processEvents();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == &splash) continue;
        EXPECT_FALSE(w->isVisible());
    }
}

TEST(Application, TheMainWindowOpensAfterTheSplashTimeAndItsCloseEndsTheRun) {
    App();
    // From a folder without the program's data there is no picture to show,
    // and the wait is the same.
    QTemporaryDir empty;
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(empty.path().toLocal8Bit().constData()), 0);
    std::vector<std::string> messages;
    MessageSink previous = SetMessageSink([&](const std::string& t) { messages.push_back(t); });

    QElapsedTimer t;
    t.start();
    qint64 openedAfter = -1;
    bool splashSeen = false;
    bool settingsEnabled = true;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && dynamic_cast<CSplashWnd*>(w)) splashSeen = true;
        if (auto* main = dynamic_cast<CZoReziveDlg*>(QApplication::activeModalWidget())) {
            openedAfter = t.elapsed();
            settingsEnabled = main->Button(main_ids::kSettings)->isEnabled();
            main->OnCommand(main_ids::kClose);
        }
    });
    poll.start(10);
    EXPECT_EQ(CZoReziveApp().InitInstance(), 0);
    poll.stop();
    SetMessageSink(previous);
    ASSERT_EQ(chdir(old), 0);

    EXPECT_FALSE(splashSeen);
    ASSERT_GE(openedAfter, 0) << "the main window never ran";
    EXPECT_GE(openedAfter, CZoReziveApp::kSplashMs - 20);
    // Without Format.xml the window says so, runs without Settings.
    EXPECT_EQ(messages, (std::vector<std::string>{"Load Format.xml error"}));
    EXPECT_FALSE(settingsEnabled);
}

}  // namespace
