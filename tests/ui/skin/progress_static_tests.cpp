#include <gtest/gtest.h>

#include <QPainter>
#include <QTest>

#include "skin_test_util.h"
#include "ui/skin/my_check_box.h"
#include "ui/skin/my_progress_ctrl.h"
#include "ui/skin/my_static.h"

TEST(Progress, PercentTextRoundsToTheNearestWholePercent) {
    TestApp();
    struct Case {
        int lower, upper, pos;
        const char* text;
    };
    const Case cases[] = {{0, 1000, 333, "33%"}, {0, 1000, 0, "0%"},     {0, 1000, 1000, "100%"},
                          {0, 200, 1, "1%"},     {0, 1000, 995, "100%"}, {500, 1500, 1000, "50%"},
                          {0, 0, 0, "0%"}};
    for (const Case& c : cases) {
        CMyProgressCtrl bar;
        bar.setRange(c.lower, c.upper);
        bar.setValue(c.pos);
        EXPECT_EQ(bar.PercentText(), c.text) << c.pos << " of " << c.lower << ".." << c.upper;
    }
    CMyProgressCtrl fresh;
    fresh.setRange(0, 1000);
    EXPECT_EQ(fresh.PercentText(), "0%") << "a bar never set";
}

TEST(Progress, FillsTheTiledImageUpToThePositionAndCentresTheText) {
    TestApp();
    ImageDir images;
    // A 4-pixel tile: three green columns and one dark one, so tiling shows.
    QImage tile = Solid(4, 12, Qt::green);
    QPainter(&tile).fillRect(3, 0, 1, 12, Qt::darkGreen);
    QWidget host;
    auto* bar = new CMyProgressCtrl(&host);
    bar->setGeometry(5, 5, 300, 30);
    ASSERT_TRUE(bar->SetImage(images.Write("progress.png", tile)));
    EXPECT_EQ(bar->geometry(), QRect(5, 5, 300, 12)) << "height of the image";
    bar->setRange(0, 1000);
    bar->setValue(333);  // 33.3 % of 300 = 99 columns
    host.show();
    const QImage img = Grab(bar);
    EXPECT_EQ(QColor(img.pixel(0, 1)), Qt::green);
    EXPECT_EQ(QColor(img.pixel(3, 1)), Qt::darkGreen);
    EXPECT_EQ(QColor(img.pixel(95, 1)), Qt::darkGreen) << "tiled";
    EXPECT_EQ(QColor(img.pixel(98, 1)), Qt::green);
    EXPECT_EQ(QColor(img.pixel(99, 1)), Qt::white);
    EXPECT_EQ(QColor(img.pixel(299, 1)), Qt::white);
    // The text sits in the middle: dark pixels around the centre, none far off.
    auto darkIn = [&](int x0, int x1) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = x0; x < x1; ++x) n += qGray(img.pixel(x, y)) < 100;
        return n;
    };
    EXPECT_GT(darkIn(130, 170), 5);
    EXPECT_EQ(darkIn(200, 300), 0);
}

TEST(Progress, MissingImageStillShowsTheValue) {
    TestApp();
    QWidget host;
    auto* bar = new CMyProgressCtrl(&host);
    bar->setGeometry(0, 0, 100, 16);
    EXPECT_FALSE(bar->SetImage("/nonexistent/progress1.png"));
    EXPECT_EQ(bar->height(), 16);
    bar->setValue(50);
    host.show();
    const QImage img = Grab(bar);
    EXPECT_EQ(QColor(img.pixel(5, 1)), Qt::white) << "no fill without a picture";
}

TEST(Static, DrawsItsTextOverTheBackgroundUnderItAndLetsPressesThrough) {
    TestApp();
    QImage background = Solid(200, 100, Qt::gray);
    QPainter(&background).fillRect(50, 40, 100, 20, Qt::cyan);
    QWidget host;
    host.resize(200, 100);
    auto* label = new CMyStatic(&host);
    label->setGeometry(50, 40, 100, 20);
    label->CopyBackground(&background);
    host.show();
    const QImage empty = Grab(label);
    EXPECT_EQ(QColor(empty.pixel(0, 0)), Qt::cyan);
    EXPECT_EQ(QColor(empty.pixel(99, 19)), Qt::cyan);
    label->SetWindowText("Start Time:");
    EXPECT_EQ(label->GetWindowText(), "Start Time:");
    const QImage text = Grab(label);
    EXPECT_NE(text, empty);
    EXPECT_EQ(QColor(text.pixel(99, 19)), Qt::cyan) << "background stays around the text";
    EXPECT_TRUE(label->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST(CheckBox, ToggleChangesTheBoxAndTheWholeControlIsClickable) {
    TestApp();
    QWidget host;
    auto* box = new CMyCheckBox("Merge into one file", &host);
    box->setGeometry(10, 10, 160, 16);
    host.show();
    Pump(10);
    auto boxPixels = [&] { return Grab(box).copy(0, 0, 15, 16); };
    const QImage unchecked = boxPixels();
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(120, 8));
    EXPECT_TRUE(box->isChecked()) << "clicking the text toggles";
    EXPECT_NE(boxPixels(), unchecked);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(7, 8));
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(boxPixels(), unchecked);
}

TEST(Static, WrapsLongTextOnlyWhenItHasRoomForMoreLines) {
    TestApp();
    QImage background = Solid(400, 200, Qt::white);
    QWidget host;
    host.resize(400, 200);
    const int line = host.fontMetrics().lineSpacing();
    auto inkBelowFirstLine = [&](CMyStatic* label) {
        const QImage img = Grab(label);
        for (int y = line + 1; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 128) return true;
        return false;
    };
    const QString text = "The Encoder stands for video codec, force the video codec";
    auto* caption = new CMyStatic(text, &host);
    caption->setGeometry(0, 0, 60, line + line / 2);
    caption->CopyBackground(&background);
    auto* note = new CMyStatic(text, &host);
    note->setGeometry(0, 50, 60, 6 * line);
    note->CopyBackground(&background);
    host.show();
    EXPECT_FALSE(inkBelowFirstLine(caption)) << "a one-line caption is cut, not wrapped";
    EXPECT_TRUE(inkBelowFirstLine(note)) << "a tall label wraps";
}
