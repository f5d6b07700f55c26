#include "prefs_test_util.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/win/messages.h"

namespace fs = std::filesystem;

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

void GuiTest::SetUp() {
    TestApp();
    std::string pattern = (fs::temp_directory_path() / "discreel-ui-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    home = root / "home";
    config = root / "config";
    fs::create_directories(home);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ASSERT_TRUE(QDir::setCurrent(DISCREEL_SOURCE_DIR "/data"));
    SetMessageSink([this](const std::string& text) { messages.push_back(text); });
}

void GuiTest::TearDown() {
    SetMessageSink(nullptr);
    std::error_code ec;
    fs::remove_all(root, ec);
}

fs::path GuiTest::RegistryFile() const {
    return config / "discreel" / "registry.ini";
}

std::string GuiTest::ReadRegistry() const {
    std::ifstream in(RegistryFile(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

QImage Shoot(QWidget* w, const std::string& name) {
    w->show();
    QCoreApplication::processEvents();
    QImage shot = w->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (!w->mask().isEmpty()) {
        QImage clipped(shot.size(), QImage::Format_ARGB32_Premultiplied);
        clipped.fill(Qt::transparent);
        QPainter p(&clipped);
        p.setClipRegion(w->mask());
        p.drawImage(0, 0, shot);
        p.end();
        shot = clipped;
    }
    const QString dir = DISCREEL_BINARY_DIR "/ui-shots";
    QDir().mkpath(dir);
    shot.save(dir + "/" + QString::fromStdString(name) + ".png");
    return shot;
}
