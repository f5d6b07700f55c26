#include <gtest/gtest.h>

#include <QPainter>
#include <QTest>

#include "skin_test_util.h"
#include "ui/skin/my_button.h"

namespace {
const QColor kFrame[4] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
const QColor kUnder = Qt::cyan;

// A 200 x 30 strip whose frames are transparent on their left half, so the
// dialog background shows through there.
QImage HalfTransparentStrip() {
    QImage img(200, 30, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    for (int i = 0; i < 4; ++i) p.fillRect(i * 50 + 25, 0, 25, 30, kFrame[i]);
    return img;
}

class ButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        background = Solid(300, 200, Qt::gray);
        QPainter(&background).fillRect(40, 20, 50, 30, kUnder);
        host.resize(300, 200);
        host.move(0, 0);
        strip = images.Write("strip.png", HalfTransparentStrip());
        button = new CMyButton(&host);
        ASSERT_TRUE(button->SetImage(strip, 40, 20, 999, 999, &background));
        host.show();
        Pump(20);
    }
    // The frame the button shows, read from its pixels.
    int ShownFrame() {
        const QImage img = Grab(button);
        EXPECT_EQ(QColor(img.pixel(10, 15)), kUnder) << "background under the button";
        const QColor c(img.pixel(40, 15));
        for (int i = 0; i < 4; ++i)
            if (c == kFrame[i]) return i;
        return -1;
    }

    ImageDir images;
    std::string strip;
    QImage background;
    QWidget host;
    CMyButton* button = nullptr;
};
}  // namespace

TEST_F(ButtonTest, TakesOneFrameOfTheStripAtItsTopLeftCorner) {
    EXPECT_EQ(button->geometry(), QRect(40, 20, 50, 30)) << "given width and height are ignored";
    EXPECT_EQ(button->FrameWidth(), 50);
    EXPECT_EQ(ShownFrame(), 0);
}

TEST_F(ButtonTest, HoverPressAndLeaveWalkTheFrames) {
    QTest::mouseMove(button, QPoint(30, 10));
    Pump(10);
    EXPECT_EQ(ShownFrame(), 1) << "hover";
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(30, 10));
    EXPECT_EQ(ShownFrame(), 2) << "pressed";
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(30, 10));
    EXPECT_EQ(clicks, 1) << "a click is an ordinary button command";
    EXPECT_EQ(ShownFrame(), 2) << "the pressed frame stays until the mouse leaves";
    QTest::mouseMove(&host, QPoint(250, 150));
    Pump(10);
    EXPECT_EQ(ShownFrame(), 0) << "left";
}

TEST_F(ButtonTest, DisabledDrawsFrameThreeAndEnablingAgainRestoresNormal) {
    button->setEnabled(false);
    EXPECT_EQ(ShownFrame(), 3);
    button->setEnabled(true);
    EXPECT_EQ(ShownFrame(), 0);
}

TEST_F(ButtonTest, LatchedButtonDrawsPressedWithTheMouseAwayUntilReleased) {
    button->SetChecked(1);
    EXPECT_TRUE(button->IsLatched());
    EXPECT_EQ(ShownFrame(), 2);
    QTest::mouseMove(button, QPoint(30, 10));
    QTest::mouseMove(&host, QPoint(250, 150));
    Pump(10);
    EXPECT_EQ(ShownFrame(), 2) << "leaving does not unlatch";
    button->SetChecked(0);
    EXPECT_FALSE(button->IsLatched());
    EXPECT_EQ(ShownFrame(), 0);
}

TEST(ButtonMissingImage, FailsAndDrawsNothing) {
    TestApp();
    QWidget host;
    auto* plain = new CMyButton(&host);
    plain->resize(50, 30);
    auto* missing = new CMyButton(&host);
    missing->resize(50, 30);
    EXPECT_FALSE(missing->SetImage("/nonexistent/skin/none.png", 5, 5, 50, 30, nullptr));
    EXPECT_EQ(missing->geometry(), plain->geometry()) << "not moved";
    host.show();
    Pump(10);
    EXPECT_EQ(Grab(missing), Grab(plain));
    QTest::mouseMove(missing, QPoint(10, 10));
    QTest::mouseClick(missing, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(Grab(missing), Grab(plain));
}
