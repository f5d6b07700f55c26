#include <gtest/gtest.h>

#include <QPainter>
#include <QTest>
#include <QWindow>

#include "skin_test_util.h"
#include "ui/skin/my_button.h"
#include "ui/skin/my_static.h"
#include "ui/skin/skin_dialog.h"

namespace {
class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        QImage bk = Solid(300, 200, QColor(10, 20, 30));
        QPainter(&bk).fillRect(100, 100, 40, 20, Qt::magenta);
        bkPath = images.Write("bk.png", bk);
        strip = images.Write("btn.png", Strip(40, 20, {Qt::red, Qt::green, Qt::blue, Qt::yellow}));
    }
    ImageDir images;
    std::string bkPath, strip;
};
}  // namespace

TEST_F(DialogTest, TakesTheSizeOfItsBackgroundAndPaintsIt) {
    CSkinDialog dlg;
    EXPECT_TRUE(dlg.windowFlags() & Qt::FramelessWindowHint);
    ASSERT_TRUE(dlg.LoadBackground(bkPath));
    EXPECT_EQ(dlg.size(), QSize(300, 200));
    const QImage img = Grab(&dlg);
    EXPECT_EQ(QColor(img.pixel(150, 50)), QColor(10, 20, 30));
    EXPECT_EQ(QColor(img.pixel(120, 110)), Qt::magenta);
}

TEST_F(DialogTest, IsClippedToRoundedCorners) {
    CSkinDialog dlg;
    ASSERT_TRUE(dlg.LoadBackground(bkPath));
    const QRegion mask = dlg.mask();
    for (QPoint corner : {QPoint(0, 0), QPoint(299, 0), QPoint(0, 199), QPoint(299, 199),
                          QPoint(1, 1), QPoint(298, 198)})
        EXPECT_FALSE(mask.contains(corner)) << corner.x() << "," << corner.y();
    for (QPoint inside : {QPoint(150, 0), QPoint(0, 100), QPoint(299, 100), QPoint(150, 199),
                          QPoint(10, 10), QPoint(150, 100)})
        EXPECT_TRUE(mask.contains(inside)) << inside.x() << "," << inside.y();
}

TEST_F(DialogTest, CentresOnTheScreen) {
    CSkinDialog dlg;
    ASSERT_TRUE(dlg.LoadBackground(bkPath));
    const QRect area = dlg.screen()->availableGeometry();
    EXPECT_LE((dlg.geometry().center() - area.center()).manhattanLength(), 2);
}

TEST_F(DialogTest, PlacesButtonsByTheirTopLeftCornerOverTheBackground) {
    CSkinDialog dlg;
    ASSERT_TRUE(dlg.LoadBackground(bkPath));
    auto* ok = new CMyButton(&dlg);
    ASSERT_TRUE(dlg.PlaceButton(ok, strip, 100, 100));
    EXPECT_EQ(ok->geometry(), QRect(100, 100, 40, 20));
    auto* missing = new CMyButton(&dlg);
    EXPECT_FALSE(dlg.PlaceButton(missing, images.Path("missing.png"), 50, 60));
    EXPECT_EQ(missing->pos(), QPoint(50, 60)) << "placed, without a picture";
}

TEST_F(DialogTest, IsDraggedByItsBodyAndLabelsButNotByItsButtons) {
    CSkinDialog dlg;
    ASSERT_TRUE(dlg.LoadBackground(bkPath));
    auto* button = new CMyButton(&dlg);
    ASSERT_TRUE(dlg.PlaceButton(button, strip, 200, 150));
    auto* label = new CMyStatic("Converting", &dlg);
    label->setGeometry(20, 20, 100, 20);
    dlg.show();
    Pump(20);
    const QPoint start = dlg.pos();

    // Through the window, so each press lands on whatever lies under it.
    QWindow* window = dlg.windowHandle();
    ASSERT_NE(window, nullptr);
    auto drag = [&](QPoint from, QPoint by) {
        const QPoint before = dlg.pos();
        QTest::mousePress(window, Qt::LeftButton, {}, from);
        QTest::mouseMove(window, from + by);
        // A dragged window follows the cursor, which is then back over the
        // point it was pressed on, in window coordinates.
        const bool moved = dlg.pos() != before;
        QTest::mouseRelease(window, Qt::LeftButton, {}, moved ? from : from + by);
        Pump(10);
    };
    drag(QPoint(60, 120), QPoint(30, 20));
    EXPECT_EQ(dlg.pos(), start + QPoint(30, 20)) << "body";
    drag(QPoint(40, 25), QPoint(-10, 5));
    EXPECT_EQ(dlg.pos(), start + QPoint(20, 25)) << "over a label";
    drag(QPoint(210, 160), QPoint(30, 20));
    EXPECT_EQ(dlg.pos(), start + QPoint(20, 25)) << "a button takes its own presses";
}

TEST_F(DialogTest, MissingBackgroundKeepsTheDialogAsItWas) {
    CSkinDialog dlg;
    dlg.resize(123, 45);
    EXPECT_FALSE(dlg.LoadBackground(images.Path("nothing.png")));
    EXPECT_EQ(dlg.size(), QSize(123, 45));
    EXPECT_TRUE(dlg.mask().isEmpty());
    EXPECT_TRUE(dlg.Background().isNull());
    EXPECT_NE(dlg.Window(), nullptr);
}
