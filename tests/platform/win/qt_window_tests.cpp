#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <thread>
#include <vector>

#include "platform/win/qt/qt_draw_context.h"
#include "platform/win/qt/qt_message_sink.h"
#include "platform/win/qt/qt_window.h"

namespace {
QApplication* g_app = nullptr;

QApplication& App() {
    static int argc = 1;
    static char name[] = "win_qt_tests";
    static char* argv[] = {name, nullptr};
    if (!g_app) g_app = new QApplication(argc, argv);
    return *g_app;
}

// The application must go before static destruction, which it does not survive.
struct AppEnvironment : ::testing::Environment {
    void SetUp() override { App(); }
    void TearDown() override {
        delete g_app;
        g_app = nullptr;
    }
};
[[maybe_unused]] const auto* const g_env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

// Runs the event loop until pred holds or the time is up.
template <class Pred>
bool PumpUntil(Pred pred, int timeoutMs = 3000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

struct Msg {
    UINT msg;
    WPARAM w;
    LPARAM l;
    bool onGuiThread;
};

class PaintCounter : public QWidget {
  public:
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};
}  // namespace

TEST(QtWindow, MessagesPostedFromOtherThreadsArriveInOrderOnTheGuiThread) {
    App();
    QWidget widget;
    QtWindow* win = QtWindow::Attach(&widget);
    ASSERT_EQ(win, QtWindow::Attach(&widget)) << "one window per widget";
    ASSERT_EQ(win, QtWindow::Find(&widget));

    std::vector<Msg> got;
    const auto gui = QThread::currentThread();
    win->OnMessage(0x414, [&](WPARAM w, LPARAM l) {
        got.push_back({0x414, w, l, QThread::currentThread() == gui});
    });
    win->SetDefaultHandler([&](UINT m, WPARAM w, LPARAM l) {
        got.push_back({m, w, l, QThread::currentThread() == gui});
    });

    std::thread producer([win] {
        for (int i = 0; i < 100; ++i) PostMessage(win, i % 2 ? 0x41A : 0x414, WPARAM(i), -i);
    });
    producer.join();
    ASSERT_TRUE(PumpUntil([&] { return got.size() == 100; }));
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(got[i].msg, i % 2 ? 0x41Au : 0x414u);
        EXPECT_EQ(got[i].w, WPARAM(i));
        EXPECT_EQ(got[i].l, LPARAM(-i));
        EXPECT_TRUE(got[i].onGuiThread);
    }

    // Removing a handler sends the message to the default handler.
    got.clear();
    win->OnMessage(0x414, nullptr);
    win->SendMessage(0x414, 7, 8);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].w, 7u);
}

TEST(QtWindow, InvalidateFromAnyThreadRepaintsAndClientRectFollowsTheSize) {
    App();
    PaintCounter widget;
    widget.resize(120, 80);
    QtWindow* win = QtWindow::Attach(&widget);
    EXPECT_EQ(win->GetClientRect(), (RECT{0, 0, 120, 80}));
    widget.show();
    ASSERT_TRUE(PumpUntil([&] { return widget.paints > 0; }));

    widget.resize(200, 150);
    QCoreApplication::processEvents();
    RECT fromOtherThread;
    std::thread([&] { fromOtherThread = win->GetClientRect(); }).join();
    EXPECT_EQ(fromOtherThread, (RECT{0, 0, 200, 150}));

    PumpUntil([] { return false; }, 50);
    const int before = widget.paints;
    std::thread([win] {
        for (int i = 0; i < 50; ++i) win->Invalidate();
    }).join();
    ASSERT_TRUE(PumpUntil([&] { return widget.paints > before; }));
    PumpUntil([] { return false; }, 100);
    EXPECT_LE(widget.paints - before, 2) << "a burst of requests coalesces into one repaint";
}

TEST(QtWindow, TimersFireByIdUntilKilled) {
    App();
    QWidget widget;
    QtWindow* win = QtWindow::Attach(&widget);
    std::vector<WPARAM> ticks;
    win->OnMessage(WM_TIMER, [&](WPARAM id, LPARAM) { ticks.push_back(id); });
    ASSERT_TRUE(win->SetTimer(100, 10));
    ASSERT_TRUE(win->SetTimer(200, 15));
    ASSERT_TRUE(PumpUntil([&] {
        return std::count(ticks.begin(), ticks.end(), 100u) >= 3 &&
               std::count(ticks.begin(), ticks.end(), 200u) >= 2;
    }));
    EXPECT_TRUE(win->KillTimer(100));
    EXPECT_FALSE(win->KillTimer(100)) << "already gone";
    QCoreApplication::processEvents();
    ticks.clear();
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(std::count(ticks.begin(), ticks.end(), 100u), 0);
    EXPECT_GT(std::count(ticks.begin(), ticks.end(), 200u), 0);

    // A handler may kill its own timer, as a one-shot does.
    int shots = 0;
    win->OnMessage(WM_TIMER, [&](WPARAM id, LPARAM) {
        ++shots;
        win->KillTimer(id);
    });
    win->KillTimer(200);
    ASSERT_TRUE(win->SetTimer(300, 5));
    ASSERT_TRUE(PumpUntil([&] { return shots > 0; }));
    PumpUntil([] { return false; }, 60);
    EXPECT_EQ(shots, 1);
}

TEST(QtDrawContext, FillsAndDrawsBgrxPixelsOpaquelyAndScaled) {
    App();
    QImage target(40, 20, QImage::Format_ARGB32);
    target.fill(Qt::transparent);
    {
        QPainter p(&target);
        QtDrawContext dc(p);
        dc.FillRect({0, 0, 20, 20}, RGB(255, 0, 0));
        // 2 x 1 picture: blue, then green; the fourth byte is 0 as video
        // converters leave it.
        const BYTE pixels[8] = {255, 0, 0, 0, 0, 255, 0, 0};
        dc.DrawBitmap({20, 0, 40, 20}, pixels, 2, 1, 8);
    }
    EXPECT_EQ(target.pixel(5, 5), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(22, 10), qRgb(0, 0, 255));
    EXPECT_EQ(target.pixel(38, 10), qRgb(0, 255, 0));
}

TEST(QtMessageSink, ShowsAModalBoxWithOkAndQueuesBoxesFromOtherThreads) {
    App();
    MessageSink previous = InstallQtMessageSink();
    std::vector<QString> seen;
    // Whenever a box is up, note its text and press its only button.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen.push_back(box->text());
        ASSERT_EQ(box->buttons().size(), 1);
        EXPECT_EQ(box->standardButton(box->buttons().first()), QMessageBox::Ok);
        box->buttons().first()->click();
    });
    closer.start(20);

    MessageBox("Open DVD error");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "Open DVD error");

    // From a worker the call returns at once; the box shows on the GUI thread.
    std::thread([] { MessageBox("CLSID_DVDSource error"); }).join();
    ASSERT_TRUE(PumpUntil([&] { return seen.size() == 2; }));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], "CLSID_DVDSource error");
    SetMessageSink(previous);
}
