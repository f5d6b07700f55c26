#include "skin_test_util.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPainter>

namespace {
QApplication* g_app = nullptr;
}

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "skin_tests";
    static char* argv[] = {name, nullptr};
    if (!g_app) g_app = new QApplication(argc, argv);
    return *g_app;
}

std::string ImageDir::Write(const std::string& name, const QImage& image) {
    std::string path = Path(name);
    image.save(QString::fromStdString(path), "PNG");
    return path;
}

std::string ImageDir::Path(const std::string& name) const {
    return (dir_.path() + "/" + QString::fromStdString(name)).toStdString();
}

QImage Solid(int w, int h, QColor c) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(c);
    return img;
}

QImage Strip(int frameW, int h, const std::vector<QColor>& colors) {
    QImage img(frameW * int(colors.size()), h, QImage::Format_ARGB32);
    QPainter p(&img);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (size_t i = 0; i < colors.size(); ++i) p.fillRect(int(i) * frameW, 0, frameW, h, colors[i]);
    return img;
}

void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    } while (t.elapsed() < ms);
}

MessageLog::MessageLog(QWidget* parent) {
    QtWindow::Attach(parent)->SetDefaultHandler([this](UINT m, WPARAM w, LPARAM l) {
        log_.push_back({m, w, l});
    });
}

std::vector<Posted> MessageLog::Take() {
    Pump();
    return std::exchange(log_, {});
}

QImage Grab(QWidget* w) {
    return w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

namespace {
// Fixtures hold widgets as members, so the application must exist before any
// fixture is constructed.
// The application also goes before static destruction, which it does not
// survive.
struct AppEnvironment : ::testing::Environment {
    void SetUp() override { TestApp(); }
    void TearDown() override {
        delete g_app;
        g_app = nullptr;
    }
};
[[maybe_unused]] const auto* const g_env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);
}  // namespace
