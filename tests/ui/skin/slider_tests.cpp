#include <gtest/gtest.h>

#include <QTest>

#include "skin_test_util.h"
#include "ui/skin/my_slider_ctrl.h"
#include "ui/skin/skin_control.h"

namespace {
const QColor kTrack = Qt::gray, kBand = Qt::blue, kThumb = Qt::red;

class SliderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        host.resize(200, 60);
        slider = new CMySliderCtrl(&host);
        slider->move(20, 10);
        SetDlgCtrlID(slider, 1033);
        ASSERT_TRUE(slider->SetImages(images.Write("bk.png", Solid(100, 10, kTrack)),
                                      images.Write("fill.png", Solid(100, 10, kBand)),
                                      images.Write("thumb.png", Solid(10, 10, kThumb))));
        slider->SetRange(0, 1000);
        log = std::make_unique<MessageLog>(&host);
        host.show();
        Pump(10);
    }
    QColor At(int x) { return QColor(Grab(slider).pixel(x, 5)); }

    ImageDir images;
    QWidget host;
    CMySliderCtrl* slider = nullptr;
    std::unique_ptr<MessageLog> log;
};
}  // namespace

TEST_F(SliderTest, TakesTheTrackSizeAtItsCorner) {
    EXPECT_EQ(slider->geometry(), QRect(20, 10, 100, 10));
}

TEST_F(SliderTest, ClickDragClampAndOneReleaseNotification) {
    struct Step {
        const char* what;
        int x;
        int thumb;
    };
    const Step steps[] = {{"click", 25, 250},
                          {"drag", 60, 600},
                          {"past the left end", -20, 0},
                          {"past the right end", 150, 1000},
                          {"back inside", 33, 330}};
    for (const Step& s : steps) {
        if (s.x == 25)
            QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(s.x, 5));
        else
            QTest::mouseMove(slider, QPoint(s.x, 5));
        SCOPED_TRACE(s.what);
        EXPECT_EQ(slider->GetThumbPos(), s.thumb);
        EXPECT_EQ(slider->GetPos(), s.thumb) << "follow mode 1 moves the position too";
        auto posted = log->Take();
        ASSERT_EQ(posted.size(), 1u);
        EXPECT_EQ(posted[0].msg, WM_SLIDER_DRAGGING);
        EXPECT_EQ(posted[0].wParam, 1033u);
        EXPECT_EQ(posted[0].lParam, s.thumb);
    }
    slider->SetPos(900);
    EXPECT_EQ(slider->GetPos(), 330) << "the program cannot move a slider the user holds";
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(33, 5));
    auto posted = log->Take();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].msg, WM_SLIDER_RELEASED);
    EXPECT_EQ(posted[0].wParam, 1033u);
    EXPECT_EQ(posted[0].lParam, reinterpret_cast<LPARAM>(slider));
    QTest::mouseMove(slider, QPoint(80, 5));
    EXPECT_TRUE(log->Take().empty()) << "moves without the button are not tracked";
    slider->SetPos(900);
    EXPECT_EQ(slider->GetPos(), 900);
}

TEST_F(SliderTest, DrawsBandUpToThePositionAndTheThumbAtItsValue) {
    slider->SetPos(500);  // thumb x = (100 - 10) * 500 / 1000 = 45
    EXPECT_EQ(At(20), kBand);
    EXPECT_EQ(At(44), kBand);
    EXPECT_EQ(At(45), kThumb);
    EXPECT_EQ(At(54), kThumb);
    EXPECT_EQ(At(55), kTrack);
    EXPECT_EQ(At(80), kTrack);
}

TEST_F(SliderTest, FollowModeTwoKeepsTheThumbWhereItWas) {
    slider->SetFollow(2);
    slider->SetThumbPos(100);  // thumb x = 9
    slider->SetSelection(200, 800);
    slider->SetPos(700);
    EXPECT_EQ(slider->GetThumbPos(), 100);
    int start = -1, pos = -1;
    slider->GetSelection(start, pos);
    EXPECT_EQ(start, 200);
    EXPECT_EQ(pos, 700);
    EXPECT_EQ(At(12), kThumb);
    EXPECT_EQ(At(19), kTrack) << "before the band";
    EXPECT_EQ(At(20), kBand);
    EXPECT_EQ(At(69), kBand);
    EXPECT_EQ(At(70), kTrack);

    slider->SetSelection(-1, 900);
    slider->GetSelection(start, pos);
    EXPECT_EQ(start, 200) << "a negative value leaves its end alone";
    EXPECT_EQ(pos, 900);

    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(50, 5));
    EXPECT_EQ(slider->GetThumbPos(), 500);
    EXPECT_EQ(slider->GetPos(), 900) << "a click moves only the thumb";
}

TEST(SliderWithoutScale, EmptyRangeAndMissingImagesDrawWithoutCrashing) {
    TestApp();
    ImageDir images;
    QWidget host;
    auto* slider = new CMySliderCtrl(&host);
    EXPECT_FALSE(slider->SetImages(images.Path("none1.png"), images.Path("none2.png"),
                                   images.Write("thumb.png", Solid(10, 10, Qt::red))));
    slider->resize(100, 10);
    host.show();
    slider->SetPos(5);  // range is still 0..0
    EXPECT_FALSE(Grab(slider).isNull());
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(50, 5));
    EXPECT_EQ(slider->GetThumbPos(), 0);
}
