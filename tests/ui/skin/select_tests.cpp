#include <gtest/gtest.h>

#include <QTest>
#include <cmath>

#include "skin_test_util.h"
#include "ui/skin/my_select_ctrl.h"
#include "ui/skin/skin_control.h"

namespace {
// 118 wide with an 18-pixel handle: handles travel over 100 pixels.
class SelectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        host.resize(200, 60);
        background = Solid(200, 60, Qt::darkGreen);
        select = new CMySelectCtrl(&host);
        select->setGeometry(10, 20, 118, 14);
        select->SetRange(0, 1000);
        ASSERT_TRUE(
            select->SetImage(images.Write("handle.png", Solid(18, 14, Qt::white)), &background));
        log = std::make_unique<MessageLog>(&host);
        host.show();
        Pump(10);
    }
    int Gap() const {
        return select->EndHandleRect().center().x() - select->StartHandleRect().center().x();
    }
    void Drag(QPoint from, int toX) {
        QTest::mousePress(select, Qt::LeftButton, {}, from);
        QTest::mouseMove(select, QPoint(toX, 7));
        QTest::mouseRelease(select, Qt::LeftButton, {}, QPoint(toX, 7));
    }

    ImageDir images;
    QImage background;
    QWidget host;
    CMySelectCtrl* select = nullptr;
    std::unique_ptr<MessageLog> log;
};
}  // namespace

TEST_F(SelectTest, ImageSetsTheHandlesToBothEnds) {
    float s = -1, e = -1;
    select->GetSel(s, e);
    EXPECT_EQ(s, 0.f);
    EXPECT_EQ(e, 1.f);
    EXPECT_EQ(select->StartHandleRect(), QRect(0, 0, 18, 14));
    EXPECT_EQ(select->EndHandleRect(), QRect(100, 0, 18, 14));
    const QImage img = Grab(select);
    EXPECT_EQ(QColor(img.pixel(5, 5)), Qt::white);
    EXPECT_EQ(QColor(img.pixel(50, 5)), Qt::darkGreen) << "background under the control";
    EXPECT_EQ(QColor(img.pixel(110, 5)), Qt::white);
}

TEST_F(SelectTest, DraggingAHandleNotifiesStartAndEndValues) {
    Drag(QPoint(9, 7), 34);  // centre to 34: start = (34 - 9) / 100
    float s, e;
    select->GetSel(s, e);
    EXPECT_FLOAT_EQ(s, 0.25f);
    auto posted = log->Take();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].msg, WM_SELECT_MOVED);
    EXPECT_EQ(posted[0].wParam, 250u);
    EXPECT_EQ(posted[0].lParam, 1000);

    QTest::mouseMove(select, QPoint(80, 7));
    EXPECT_TRUE(log->Take().empty()) << "released: no drag";
}

TEST_F(SelectTest, HandlesStayOneHandleWidthApart) {
    struct Case {
        const char* what;
        float start, end;
        QPoint grab;
        int toX;
    };
    const Case cases[] = {
        {"start pushed past the end", 0.f, 0.6f, {9, 7}, 115},
        {"end pushed past the start", 0.4f, 1.f, {109, 7}, 0},
        {"start pushed far right of the control", 0.f, 1.f, {9, 7}, 500},
        {"end pushed far left of the control", 0.f, 1.f, {109, 7}, -300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        select->SetSel(c.start, c.end);
        const QPoint grab =
            c.grab.x() < 50 ? select->StartHandleRect().center() : select->EndHandleRect().center();
        QTest::mousePress(select, Qt::LeftButton, {}, grab);
        for (int x = grab.x(); x != c.toX; x += (c.toX > x ? 1 : -1)) {
            QTest::mouseMove(select, QPoint(x, 7));
            ASSERT_GE(Gap(), 18) << "at x = " << x;
        }
        QTest::mouseMove(select, QPoint(c.toX, 7));
        QTest::mouseRelease(select, Qt::LeftButton, {}, QPoint(c.toX, 7));
        EXPECT_EQ(Gap(), 18) << "pushed as far as they go";
        float s, e;
        select->GetSel(s, e);
        EXPECT_GE(s, 0.f);
        EXPECT_LE(e, 1.f);
        log->Take();
    }
}

TEST_F(SelectTest, HandlesParkedTogetherCanBeSeparated) {
    for (float at : {0.f, 1.f}) {
        log->Take();
        select->SetSel(at, at);
        EXPECT_TRUE(log->Take().empty()) << "setting does not notify";
        const QPoint centre = select->StartHandleRect().center();
        Drag(centre, at == 0.f ? 60 : 40);
        float s, e;
        select->GetSel(s, e);
        EXPECT_GT(e - s, 0.2f) << "parked at " << at;
    }
}

TEST(SelectMissingImage, FailsAndKeepsItsFractions) {
    TestApp();
    QWidget host;
    auto* select = new CMySelectCtrl(&host);
    select->resize(100, 14);
    EXPECT_FALSE(select->SetImage("/nonexistent/select.png", nullptr));
    float s = -1, e = -1;
    select->GetSel(s, e);
    EXPECT_EQ(s, 0.f);
    EXPECT_EQ(e, 0.f);
    host.show();
    EXPECT_FALSE(Grab(select).isNull());
    QTest::mouseClick(select, Qt::LeftButton, {}, QPoint(5, 5));
}
