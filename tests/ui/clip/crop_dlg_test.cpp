// The clip editor on the authored NTSC disc, driven the way a user drives it:
// clicks on its sliders, selector and buttons, typing into its edits, drags of
// the crop frame. Judged by the working copy, the item after OK or Cancel, and
// what the edit preview was told.
#include "ui/clip/crop_dlg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPainter>
#include <QSpinBox>
#include <QTest>
#include <cstring>
#include <filesystem>

#include "../../fixtures/fixtures.h"
#include "dvd/catalogue.h"
#include "platform/codecs/codecs.h"
#include "platform/win/messages.h"
#include "platform/win/queue_window.h"
#include "ui/clip/clip_geometry.h"
#include "ui/skin/my_button.h"
#include "ui/skin/my_select_ctrl.h"
#include "ui/skin/my_slider_ctrl.h"

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "clip_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        // The skin is found under skin/ of the working directory.
        if (chdir(DISCREEL_SOURCE_DIR "/data") != 0) std::perror("chdir");
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Runs the event loop until `done` holds or the time is up.
template <class F>
bool PumpUntil(F done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(20);
    }
    return true;
}

void Pump(int ms = 50) {
    QTest::qWait(ms);
}

profiles::EncoderSettings Settings(int w, int h) {
    profiles::EncoderSettings s{};
    s.HasVideo = 1;
    s.Width = w;
    s.Height = h;
    return s;
}

class CropDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        RegisterPlatformCodecs();
        previousSink_ = SetMessageSink([this](const std::string& t) { messages_.push_back(t); });
        ASSERT_TRUE(LoadDvd(fixtures::NtscFolder().string()));
        item_.TitleIndex = 0;
        item_.ChapterIndex = -1;
        item_.Duration = 12000;
        item_.TrimStart = 0;
        item_.TrimLength = 12000;
        SelectedAudioStream = 0xBD80;
        SelectedSubtitleStream = -1;
    }
    void TearDown() override {
        SetMessageSink(previousSink_);
        CloseDvd();
    }

    // Shows the dialog and waits until the preview plays.
    void Start(CCropDlg& dlg) {
        dlg.show();
        ASSERT_TRUE(PumpUntil([&] { return dlg.Player().IsRunning(); })) << "no playback";
        EXPECT_TRUE(dlg.IsPlayingShown());
    }

    template <class T>
    static T* Get(CCropDlg& dlg, int id) {
        T* w = dynamic_cast<T*>(dlg.Control(id));
        EXPECT_NE(w, nullptr) << "control " << id;
        return w;
    }

    static void Click(CCropDlg& dlg, int id) {
        QWidget* w = dlg.Control(id);
        ASSERT_NE(w, nullptr) << id;
        ASSERT_TRUE(w->isVisible()) << id;
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2));
        Pump();
    }

    // Presses on the slider at the column of `value` and lets go.
    static void SlideTo(CCropDlg& dlg, int id, int value) {
        auto* s = Get<CMySliderCtrl>(dlg, id);
        ASSERT_TRUE(s && s->isVisible()) << id;
        int lo = 0, hi = 0;
        s->GetRange(lo, hi);
        const int x = int(std::ceil(double(value - lo) * s->width() / (hi - lo)));
        QTest::mousePress(s, Qt::LeftButton, {}, QPoint(x, s->height() / 2));
        QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(x, s->height() / 2));
        Pump();
    }

    static void Type(CCropDlg& dlg, int id, const QString& text) {
        auto* e = Get<QLineEdit>(dlg, id);
        ASSERT_TRUE(e);
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);  // done with the edit
        Pump(10);
    }

    static QString TextOf(CCropDlg& dlg, int id) {
        auto* e = Get<QLineEdit>(dlg, id);
        return e ? e->text() : QString();
    }

    static RECT ProcessedDest(CCropDlg& dlg) {
        RECT dst{};
        if (auto* w = dlg.Player().WindowlessControl(1)) w->GetVideoPosition(nullptr, &dst);
        return dst;
    }

    ConversionItem item_;
    profiles::EncoderSettings settings_ = Settings(320, 240);
    std::vector<std::string> messages_;
    MessageSink previousSink_;
};

// ---------------------------------------------------------------- no window needed

TEST(ClipGeometry, FitAspectAndTimes) {
    struct Fit {
        RECT rect;
        float a;
        RECT fitted;
    } fits[] = {
        {{14, 70, 394, 354}, 1.5f, {14, 85, 394, 339}},         // 380 x 284 -> 380 x 254, pad 15
        {{406, 70, 786, 354}, 4.f / 3.f, {407, 70, 785, 354}},  // 378 wide, pad 1
        {{0, 0, 400, 300}, 16.f / 9.f, {0, 37, 400, 263}},
        {{0, 0, 100, 100}, 0.5f, {25, 0, 75, 100}},
    };
    for (const Fit& f : fits) EXPECT_EQ(FitAspect(f.rect, f.a), f.fitted) << f.a;

    struct Time {
        std::int64_t ms;
        const char* text;
    } times[] = {{0, "00:00:00"},
                 {999, "00:00:00"},
                 {65000, "00:01:05"},
                 {5530000, "01:32:10"},
                 {12000, "00:00:12"}};
    for (const Time& t : times) EXPECT_EQ(FormatClipTime(t.ms), t.text);
    struct Parse {
        const char* text;
        std::int64_t ms;
    } parses[] = {{"00:01:05", 65000}, {"01:32:10", 5530000},
                  {"7", 7 * 3600000},  {"00:02", 120000},
                  {"abc", 0},          {"", 0}};
    for (const Parse& p : parses) EXPECT_EQ(ParseClipTime(p.text), p.ms) << p.text;
}

TEST(CropTrackerTest, PartsAndMovesStayInBoundsWithTheMinimumSize) {
    QueueWindow owner;
    CropTracker t;
    t.Init(&owner, RECT{20, 10, 420, 310}, 32, 32);
    EXPECT_EQ(t.GetRect(), (RECT{0, 0, 400, 300}));
    t.SetRect(RECT{100, 50, 300, 250});
    EXPECT_EQ(t.CurrentRect(), (RECT{120, 60, 320, 260}));
    // Hit parts of (120, 60)-(320, 260).
    struct Hit {
        POINT p;
        int part;
    } hits[] = {{{120, 60}, 1},  {{200, 61}, 2},  {{319, 60}, 3},  {{318, 150}, 4},
                {{319, 259}, 5}, {{200, 258}, 6}, {{121, 259}, 7}, {{120, 150}, 8},
                {{200, 150}, 9}, {{119, 150}, 0}, {{320, 150}, 0}};
    for (const Hit& h : hits) EXPECT_EQ(t.HitTest(h.p), h.part) << h.p.x << "," << h.p.y;
    EXPECT_EQ(CropTracker::CursorOf(5), CropTracker::kSizeNWSE);
    EXPECT_EQ(CropTracker::CursorOf(3), CropTracker::kSizeNESW);
    EXPECT_EQ(CropTracker::CursorOf(9), CropTracker::kSizeAll);

    struct Move {
        int part, dx, dy;
        RECT after;  // relative to the bounds
    } moves[] = {
        {5, -500, -500, {100, 50, 132, 82}},   // smaller than 32 x 32 stops there
        {5, 1000, 1000, {100, 50, 400, 300}},  // and never leaves the bounds
        {1, -200, -200, {0, 0, 400, 300}},
        {4, -390, 0, {0, 0, 32, 300}},
        {9, 1000, 0, {368, 0, 400, 300}},  // moved whole, pushed back inside
        {8, -10, 0, {358, 0, 400, 300}},
        {2, 0, 290, {358, 268, 400, 300}},
        {9, -1000, -1000, {0, 0, 42, 32}},
        {7, 0, -5, {0, 0, 42, 32}},  // the bottom held at the minimum height
        {6, 0, 100, {0, 0, 42, 132}},
        {3, 100, 50, {0, 50, 142, 132}},
        {0, 10, 10, {0, 50, 142, 132}},
    };
    for (const Move& m : moves) {
        owner.TakeAll();
        const RECT before = t.GetRect();
        t.Move(m.part, m.dx, m.dy);
        EXPECT_EQ(t.GetRect(), m.after) << "part " << m.part;
        auto posted = owner.TakeAll();
        EXPECT_EQ(posted.size(), before == m.after ? 0u : 1u) << "part " << m.part;
        if (!posted.empty()) {
            EXPECT_EQ(posted.front().msg, WM_CROP_TRACKER_CHANGED);
        }
    }
}

// ---------------------------------------------------------------- the dialog

// A new item shows its whole title and the default settings; playback starts
// by itself and the first page asked for is the one shown.
TEST_F(CropDlgTest, OpensOnTheItemAndPlays) {
    CCropDlg dlg(item_, settings_, CCropDlg::kTrimPage);
    ASSERT_NO_FATAL_FAILURE(Start(dlg));
    EXPECT_EQ(dlg.size(), QSize(800, 600));
    EXPECT_EQ(dlg.CurrentPage(), CCropDlg::kTrimPage);
    EXPECT_EQ(TextOf(dlg, CCropDlg::IDC_START_EDIT), "00:00:00");
    EXPECT_EQ(TextOf(dlg, CCropDlg::IDC_END_EDIT), "00:00:12");
    EXPECT_EQ(TextOf(dlg, CCropDlg::IDC_LENGTH_EDIT), "00:00:12");
    EXPECT_TRUE(dlg.Control(CCropDlg::IDC_START_EDIT)->isVisible());
    EXPECT_FALSE(dlg.Control(CCropDlg::IDC_LEFT)->isVisible());
    EXPECT_FALSE(dlg.Control(CCropDlg::IDC_BRIGHTNESS)->isVisible());
    EXPECT_TRUE(Get<CMyButton>(dlg, CCropDlg::IDC_TRIM_TAB)->IsLatched());

    Click(dlg, CCropDlg::IDC_CROP_TAB);
    EXPECT_EQ(dlg.CurrentPage(), CCropDlg::kCropPage);
    EXPECT_FALSE(Get<CMyButton>(dlg, CCropDlg::IDC_TRIM_TAB)->IsLatched());
    EXPECT_EQ(Get<QComboBox>(dlg, CCropDlg::IDC_ZOOM)->currentText(), "Keep Original");
    const char* crop[] = {"0", "0", "720", "480"};
    const int ids[] = {CCropDlg::IDC_LEFT, CCropDlg::IDC_TOP, CCropDlg::IDC_RIGHT,
                       CCropDlg::IDC_BOTTOM};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(TextOf(dlg, ids[i]), crop[i]);
    Click(dlg, CCropDlg::IDC_EFFECT_TAB);
    EXPECT_EQ(Get<CMySliderCtrl>(dlg, CCropDlg::IDC_BRIGHTNESS)->GetPos(), 128);
    EXPECT_EQ(Get<CMySliderCtrl>(dlg, CCropDlg::IDC_SATURATION)->GetPos(), 64);
    EXPECT_EQ(Get<CMySliderCtrl>(dlg, CCropDlg::IDC_CONTRAST)->GetPos(), 180);
    EXPECT_EQ(Get<CMySliderCtrl>(dlg, CCropDlg::IDC_VOLUME)->GetPos(), 256);

    // The processed view has the output's 4:3 shape, letterboxed ("Keep Original").
    EXPECT_EQ(ProcessedDest(dlg), (RECT{407, 70, 785, 354}));
    // The position moves on.
    auto* position = Get<CMySliderCtrl>(dlg, CCropDlg::IDC_POSITION);
    EXPECT_TRUE(PumpUntil([&] { return position->GetThumbPos() > 20; }, 10000));
    EXPECT_TRUE(messages_.empty());
}

// Each control changes the setting it stands for, and the preview with it.
TEST_F(CropDlgTest, ControlsChangeTheirSettings) {
    CCropDlg dlg(item_, settings_, CCropDlg::kEffectPage);
    ASSERT_NO_FATAL_FAILURE(Start(dlg));
    struct Case {
        int id, value;
        int ClipSettings::*field;
        int expected;
    } cases[] = {
        {CCropDlg::IDC_VOLUME, 512, &ClipSettings::Volume, 512},
        {CCropDlg::IDC_VOLUME, 0, &ClipSettings::Volume, 0},
        {CCropDlg::IDC_BRIGHTNESS, 256, &ClipSettings::Brightness, 256},
        {CCropDlg::IDC_SATURATION, 0, &ClipSettings::Saturation, 0},
        {CCropDlg::IDC_CONTRAST, 270, &ClipSettings::Hue, 90},
        {CCropDlg::IDC_CONTRAST, 0, &ClipSettings::Hue, -180},
    };
    for (const Case& c : cases) {
        SlideTo(dlg, c.id, c.value);
        EXPECT_EQ(dlg.Clip().*c.field, c.expected) << "control " << c.id;
    }

    Click(dlg, CCropDlg::IDC_CROP_TAB);
    auto* zoom = Get<QComboBox>(dlg, CCropDlg::IDC_ZOOM);
    struct Zoom {
        int mode;
        RECT dest;
    } zooms[] = {{1, {407, 70, 785, 354}},
                 {2, {407, 106, 785, 318}},
                 {3, {407, 70, 785, 354}},
                 {0, {407, 70, 785, 354}}};
    for (const Zoom& z : zooms) {
        zoom->setCurrentIndex(z.mode);
        emit zoom->activated(z.mode);
        Pump();
        EXPECT_EQ(dlg.Clip().ZoomMode, z.mode);
        EXPECT_EQ(ProcessedDest(dlg), z.dest) << "zoom " << z.mode;
        DWORD mode = 9;
        dlg.Player().WindowlessControl(1)->GetAspectRatioMode(&mode);
        EXPECT_EQ(mode, z.mode == 0 ? VMR_ARMODE_LETTER_BOX : VMR_ARMODE_NONE);
    }

    // Typed crop edges are corrected against the opposite edge and the frame.
    struct Edge {
        int id;
        const char* typed;
        const char* shown;
        RECT crop;
    } edges[] = {
        {CCropDlg::IDC_LEFT, "800", "719", {719, 0, 720, 480}},
        {CCropDlg::IDC_LEFT, "100", "100", {100, 0, 720, 480}},
        {CCropDlg::IDC_RIGHT, "900", "720", {100, 0, 720, 480}},
        {CCropDlg::IDC_RIGHT, "600", "600", {100, 0, 600, 480}},
        {CCropDlg::IDC_BOTTOM, "40", "40", {100, 0, 600, 40}},
        {CCropDlg::IDC_TOP, "50", "39", {100, 39, 600, 40}},
        {CCropDlg::IDC_BOTTOM, "400", "400", {100, 39, 600, 400}},
    };
    for (const Edge& e : edges) {
        SCOPED_TRACE(e.typed);
        Type(dlg, e.id, e.typed);
        EXPECT_EQ(TextOf(dlg, e.id), e.shown);
        const ClipSettings& c = dlg.Clip();
        EXPECT_EQ((RECT{c.CropLeft, c.CropTop, c.CropRight, c.CropBottom}), e.crop);
        EXPECT_EQ(dlg.Player().GetCropRect(), e.crop);
    }
    // The arrows beside an edit step its value.
    auto* spin = Get<QSpinBox>(dlg, CCropDlg::IDC_LEFT_SPIN);
    ASSERT_TRUE(spin);
    spin->stepUp();
    Pump();
    EXPECT_EQ(TextOf(dlg, CCropDlg::IDC_LEFT), "101");
    EXPECT_EQ(dlg.Clip().CropLeft, 101);
    // Stepping past the opposite edge is corrected like typing.
    Type(dlg, CCropDlg::IDC_LEFT, "599");
    spin->stepUp();
    Pump();
    EXPECT_EQ(dlg.Clip().CropLeft, 599);
    EXPECT_EQ(TextOf(dlg, CCropDlg::IDC_LEFT), "599");
    Type(dlg, CCropDlg::IDC_LEFT, "101");
    // The frame on the plain view follows: the video area is 380 x 254 at (14, 85).
    EXPECT_EQ(dlg.VideoArea(), (RECT{14, 85, 394, 339}));
    const RECT frame = dlg.Tracker().GetRect();
    EXPECT_NEAR(frame.left, 101 * 380 / 720.0, 1);
    EXPECT_NEAR(frame.top, 39 * 254 / 480.0, 1);
    EXPECT_NEAR(frame.right, 600 * 380 / 720.0, 1);
    EXPECT_NEAR(frame.bottom, 400 * 254 / 480.0, 1);
    EXPECT_TRUE(messages_.empty());
}

// Dragging the crop frame with the mouse: a corner stops at 32 x 32 view
// pixels, the inside moves the frame without leaving the video area, and the
// crop fields follow in frame pixels.
TEST_F(CropDlgTest, DraggingTheCropFrame) {
    CCropDlg dlg(item_, settings_, CCropDlg::kCropPage);
    ASSERT_NO_FATAL_FAILURE(Start(dlg));
    const RECT area = dlg.VideoArea();
    const RECT r = dlg.Tracker().CurrentRect();
    ASSERT_EQ(r, area);

    auto drag = [&](QPoint from, QPoint to) {
        QTest::mousePress(&dlg, Qt::LeftButton, {}, from);
        QTest::mouseMove(&dlg, (from + to) / 2);
        QTest::mouseMove(&dlg, to);
        QTest::mouseRelease(&dlg, Qt::LeftButton, {}, to);
        Pump();
    };
    // Bottom-right corner far up and left.
    drag(QPoint(r.right - 1, r.bottom - 1), QPoint(r.left - 50, r.top - 50));
    RECT small = dlg.Tracker().CurrentRect();
    EXPECT_EQ(small, (RECT{area.left, area.top, area.left + 32, area.top + 32}));
    const float sx = 720.f / area.Width(), sy = 480.f / area.Height();
    ClipSettings c = dlg.Clip();
    EXPECT_EQ(c.CropRight, LONG(32 * sx + 0.5f));
    EXPECT_EQ(c.CropBottom, LONG(32 * sy + 0.5f));
    EXPECT_EQ(TextOf(dlg, CCropDlg::IDC_RIGHT), QString::number(c.CropRight));
    EXPECT_EQ(dlg.Player().GetCropRect(), (RECT{0, 0, c.CropRight, c.CropBottom}));

    // The inside, far beyond the bottom-right of the video area.
    drag(QPoint(area.left + 16, area.top + 16), QPoint(area.right + 300, area.bottom + 300));
    EXPECT_EQ(dlg.Tracker().CurrentRect(),
              (RECT{area.right - 32, area.bottom - 32, area.right, area.bottom}));
    c = dlg.Clip();
    EXPECT_EQ(c.CropRight, 720);
    EXPECT_EQ(c.CropBottom, 480);
    EXPECT_NEAR(c.CropRight - c.CropLeft, 32 * sx, 1);

    // A press outside the frame but inside the views neither tracks nor drags.
    const QPoint before = dlg.pos();
    drag(QPoint(500, 200), QPoint(520, 220));
    EXPECT_EQ(dlg.pos(), before);
    EXPECT_EQ(dlg.Clip(), c);
}

// Trim by the selector, the typed times and the mark buttons.
TEST_F(CropDlgTest, TrimRules) {
    CCropDlg dlg(item_, settings_, CCropDlg::kTrimPage);
    ASSERT_NO_FATAL_FAILURE(Start(dlg));
    struct Case {
        int button;  // set start or set end
        const char* typed;
        std::int64_t start, length;
    } cases[] = {
        {CCropDlg::IDC_SET_START, "00:00:04", 4000, 8000},
        {CCropDlg::IDC_SET_END, "00:00:10", 4000, 6000},
        {CCropDlg::IDC_SET_START, "00:00:30", 9000, 1000},  // after the end: 1 s before it
        {CCropDlg::IDC_SET_END, "00:00:02", 9000, 1000},    // before the start: 1 s after it
        {CCropDlg::IDC_SET_END, "00:05:00", 9000, 3000},    // past the title: its end
        {CCropDlg::IDC_SET_START, "x", 0, 12000},           // unreadable: 0
        {CCropDlg::IDC_SET_END, "00:00:00", 0, 0},          // at the start: an empty range
        {CCropDlg::IDC_SET_START, "00:00:05", 0, 0},        // after an end below 1 s: 0
    };
    auto* position = Get<CMySliderCtrl>(dlg, CCropDlg::IDC_POSITION);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const int edit =
            c.button == CCropDlg::IDC_SET_START ? CCropDlg::IDC_START_EDIT : CCropDlg::IDC_END_EDIT;
        Type(dlg, edit, c.typed);
        Click(dlg, c.button);
        EXPECT_EQ(dlg.TrimStart(), c.start);
        EXPECT_EQ(dlg.TrimLength(), c.length);
        EXPECT_EQ(TextOf(dlg, CCropDlg::IDC_LENGTH_EDIT),
                  QString::fromStdString(FormatClipTime(c.length)));
        int band0 = 0, band1 = 0;
        position->GetSelection(band0, band1);
        if (c.button == CCropDlg::IDC_SET_START) {
            EXPECT_EQ(band0, int(1000.f * c.start / 12000.f));
        } else {
            EXPECT_EQ(band1, int(1000.f * (c.start + c.length) / 12000.f));
        }
    }

    // The selector: the end handle to the middle, then the start handle to the
    // far left. A typed start is not undone by dragging the end.
    Type(dlg, CCropDlg::IDC_END_EDIT, "00:00:12");
    Click(dlg, CCropDlg::IDC_SET_END);
    Type(dlg, CCropDlg::IDC_START_EDIT, "00:00:03");
    Click(dlg, CCropDlg::IDC_SET_START);
    ASSERT_EQ(dlg.TrimStart(), 3000);
    auto* trim = Get<CMySelectCtrl>(dlg, CCropDlg::IDC_TRIM);
    ASSERT_TRUE(trim);
    const QRect endHandle = trim->EndHandleRect();
    const int half = endHandle.width() / 2, span = trim->width() - 2 * half;
    QTest::mousePress(trim, Qt::LeftButton, {}, endHandle.center());
    QTest::mouseMove(trim, QPoint(half + span / 2, 5));
    QTest::mouseRelease(trim, Qt::LeftButton, {}, QPoint(half + span / 2, 5));
    Pump();
    EXPECT_EQ(dlg.TrimStart(), 3000);
    EXPECT_NEAR(double(dlg.TrimStart() + dlg.TrimLength()), 6000.0, 24.0);
    const std::int64_t end = dlg.TrimStart() + dlg.TrimLength();
    EXPECT_EQ(TextOf(dlg, CCropDlg::IDC_END_EDIT), QString::fromStdString(FormatClipTime(end)));

    const QRect startHandle = trim->StartHandleRect();
    QTest::mousePress(trim, Qt::LeftButton, {}, startHandle.center());
    QTest::mouseMove(trim, QPoint(-40, 5));
    QTest::mouseRelease(trim, Qt::LeftButton, {}, QPoint(-40, 5));
    Pump();
    EXPECT_EQ(dlg.TrimStart(), 0);
    EXPECT_EQ(dlg.TrimLength(), end);
    EXPECT_EQ(TextOf(dlg, CCropDlg::IDC_START_EDIT), "00:00:00");

    // Mark in / out copy the selector onto the position slider's band.
    Click(dlg, CCropDlg::IDC_MARK_IN);
    Click(dlg, CCropDlg::IDC_MARK_OUT);
    float f0 = 0, f1 = 0;
    trim->GetSel(f0, f1);
    int band0 = -1, band1 = -1;
    position->GetSelection(band0, band1);
    EXPECT_EQ(band0, int(1000.f * f0));
    EXPECT_EQ(band1, int(1000.f * f1));

    // Reset on the trim page: the whole title again, volume back to 256.
    SlideTo(dlg, CCropDlg::IDC_VOLUME, 0);
    ASSERT_EQ(dlg.Clip().Volume, 0);
    Click(dlg, CCropDlg::IDC_RESET);
    EXPECT_EQ(dlg.TrimStart(), 0);
    EXPECT_EQ(dlg.TrimLength(), 12000);
    EXPECT_EQ(dlg.Clip().Volume, 256);
    EXPECT_EQ(TextOf(dlg, CCropDlg::IDC_END_EDIT), "00:00:12");
    trim->GetSel(f0, f1);
    EXPECT_EQ(f0, 0.f);
    EXPECT_EQ(f1, 1.f);
}

// Cancel (and the close button) leave the item as it was; OK writes the
// working copy; Reset restores the page's defaults.
TEST_F(CropDlgTest, CancelKeepsTheItemOkWritesIt) {
    item_.Clip.Brightness = 200;  // as copied from CurrentClip by the main window
    item_.Clip.CropLeft = 20;
    const ConversionItem original = item_;
    for (int closeId : {int(CCropDlg::IDCANCEL_), int(CCropDlg::IDC_CLOSE), int(CCropDlg::IDOK_)}) {
        SCOPED_TRACE(closeId);
        item_ = original;
        CCropDlg dlg(item_, settings_, CCropDlg::kEffectPage);
        ASSERT_NO_FATAL_FAILURE(Start(dlg));
        EXPECT_EQ(Get<CMySliderCtrl>(dlg, CCropDlg::IDC_BRIGHTNESS)->GetPos(), 200);
        SlideTo(dlg, CCropDlg::IDC_SATURATION, 100);
        Click(dlg, CCropDlg::IDC_TRIM_TAB);
        Type(dlg, CCropDlg::IDC_START_EDIT, "00:00:02");
        Click(dlg, CCropDlg::IDC_SET_START);
        Click(dlg, CCropDlg::IDC_CROP_TAB);
        Type(dlg, CCropDlg::IDC_TOP, "30");
        ASSERT_EQ(dlg.Clip().Saturation, 100);
        ASSERT_EQ(dlg.TrimStart(), 2000);
        Click(dlg, closeId);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_FALSE(dlg.Player().IsRunning());
        if (closeId == CCropDlg::IDOK_) {
            EXPECT_EQ(dlg.result(), QDialog::Accepted);
            EXPECT_EQ(item_.TrimStart, 2000);
            EXPECT_EQ(item_.TrimLength, 10000);
            EXPECT_EQ(item_.Clip.Saturation, 100);
            EXPECT_EQ(item_.Clip.CropTop, 30);
            EXPECT_EQ(item_.Clip.CropLeft, 20);
            EXPECT_EQ(item_.Clip.Brightness, 200);
        } else {
            EXPECT_EQ(dlg.result(), QDialog::Rejected);
            EXPECT_EQ(item_.TrimStart, original.TrimStart);
            EXPECT_EQ(item_.TrimLength, original.TrimLength);
            EXPECT_EQ(item_.Clip, original.Clip);
        }
    }

    // Reset, page by page.
    CCropDlg dlg(item_, settings_, CCropDlg::kEffectPage);
    ASSERT_NO_FATAL_FAILURE(Start(dlg));
    Click(dlg, CCropDlg::IDC_RESET);
    EXPECT_EQ(dlg.Clip().Brightness, 128);
    EXPECT_EQ(dlg.Clip().Saturation, 64);
    EXPECT_EQ(dlg.Clip().Hue, 0);
    EXPECT_EQ(Get<CMySliderCtrl>(dlg, CCropDlg::IDC_CONTRAST)->GetPos(), 180);
    EXPECT_EQ(dlg.Clip().CropTop, 30);  // the crop page's settings stay
    Click(dlg, CCropDlg::IDC_CROP_TAB);
    Click(dlg, CCropDlg::IDC_RESET);
    EXPECT_EQ(dlg.Clip(), ClipSettings{});
    EXPECT_EQ(TextOf(dlg, CCropDlg::IDC_TOP), "0");
    EXPECT_EQ(dlg.Player().GetCropRect(), (RECT{0, 0, 720, 480}));
}

// The end of the title stops playback and shows Play; Play starts the title
// again from its beginning.
TEST_F(CropDlgTest, PlaysAgainAfterTheEnd) {
    item_.TitleIndex = 1;  // 2 s
    item_.Duration = 2000;
    item_.TrimLength = 2000;
    CCropDlg dlg(item_, settings_, CCropDlg::kTrimPage);
    ASSERT_NO_FATAL_FAILURE(Start(dlg));
    ASSERT_TRUE(PumpUntil([&] { return !dlg.IsPlayingShown(); }, 30000)) << "no end";
    EXPECT_TRUE(dlg.Player().IsStopped());
    EXPECT_EQ(Get<CMySliderCtrl>(dlg, CCropDlg::IDC_POSITION)->GetThumbPos(), 0);
    Click(dlg, CCropDlg::IDC_PLAY);
    EXPECT_TRUE(dlg.IsPlayingShown());
    EXPECT_TRUE(dlg.Player().IsRunning());
    double at = 99;
    ASSERT_TRUE(dlg.Player().GetCurrentPosition(at));
    EXPECT_LT(at, 1.0);

    // Pause keeps the graph; Play resumes it rather than rebuilding it.
    Click(dlg, CCropDlg::IDC_PAUSE);
    EXPECT_FALSE(dlg.IsPlayingShown());
    IGraphBuilder* graph = dlg.Player().Graph();
    Click(dlg, CCropDlg::IDC_PLAY);
    EXPECT_EQ(dlg.Player().Graph(), graph);
}

// Without a preview (no disc to play) the player's message is shown once, and
// the settings can still be edited, corrected and confirmed.
TEST_F(CropDlgTest, EditsWithoutAPreview) {
    CloseDvd();
    CCropDlg dlg(item_, settings_, CCropDlg::kCropPage);
    dlg.show();
    Pump(300);
    EXPECT_FALSE(dlg.IsPlayingShown());
    EXPECT_EQ(messages_, std::vector<std::string>{"SetDvdReader error"});
    Type(dlg, CCropDlg::IDC_RIGHT, "900");
    Type(dlg, CCropDlg::IDC_LEFT, "40");
    EXPECT_EQ(TextOf(dlg, CCropDlg::IDC_RIGHT), "720");
    Click(dlg, CCropDlg::IDC_EFFECT_TAB);
    SlideTo(dlg, CCropDlg::IDC_BRIGHTNESS, 256);
    Click(dlg, CCropDlg::IDOK_);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(item_.Clip.CropLeft, 40);
    EXPECT_EQ(item_.Clip.CropRight, 720);
    EXPECT_EQ(item_.Clip.CropBottom, 480);
    EXPECT_EQ(item_.Clip.Brightness, 256);
    EXPECT_EQ(messages_.size(), 1u);
}

// The subtitle track chosen in the main window shows in the preview. It is
// found by its sub-stream id, the low byte of the track id, and it is listed
// although it starts two seconds into the title.
TEST_F(CropDlgTest, ShowsTheChosenSubtitleTrack) {
    CloseDvd();
    ASSERT_TRUE(LoadDvd(fixtures::PalFolder().string()));
    item_.Duration = 6000;
    item_.TrimLength = 6000;
    // White pixels where the "de" track draws its disc: centre (150, 130), radius 80.
    auto whiteInDisc = [&](int track) {
        SelectedSubtitleStream = track;
        CCropDlg dlg(item_, settings_, CCropDlg::kTrimPage);
        Start(dlg);
        Click(dlg, CCropDlg::IDC_PAUSE);
        EXPECT_TRUE(dlg.Player().SetPosition(3.0));
        EXPECT_TRUE(dlg.Player().WaitUntilCued(20000));
        BYTE* dib = nullptr;
        int white = -1;
        if (SUCCEEDED(dlg.Player().WindowlessControl(0)->GetCurrentImage(&dib)) && dib) {
            BITMAPINFOHEADER bih;
            std::memcpy(&bih, dib, sizeof bih);
            EXPECT_EQ(bih.biWidth, 720);
            EXPECT_EQ(bih.biHeight, 576);
            white = 0;
            for (int y = 70; y < 190; ++y)
                for (int x = 90; x < 210; ++x) {
                    const BYTE* p = dib + bih.biSize + (std::size_t(575 - y) * 720 + x) * 4;
                    white += p[0] > 220 && p[1] > 220 && p[2] > 220;
                }
            CoTaskMemFree(dib);
        }
        return white;
    };
    const int with = whiteInDisc(0xBD21);
    const int without = whiteInDisc(-1);
    EXPECT_GT(with, without + 3000) << with << " vs " << without;
}

// The dialog as the user sees it, with a crop and effects set, saved for a
// look (and checked for both pictures in their wells).
TEST_F(CropDlgTest, RendersWithBothViews) {
    item_.Clip.CropLeft = 120;
    item_.Clip.CropTop = 60;
    item_.Clip.CropRight = 600;
    item_.Clip.CropBottom = 420;
    item_.Clip.Saturation = 110;
    const std::string dir = std::string(DISCREEL_BINARY_DIR) + "/clip-editor";
    std::filesystem::create_directories(dir);
    for (int page : {0, 1, 2}) {
        SCOPED_TRACE(page);
        item_.Clip.ZoomMode = page == 1 ? 1 : page == 0 ? 0 : 2;  // each look once
        CCropDlg dlg(item_, settings_, page);
        ASSERT_NO_FATAL_FAILURE(Start(dlg));
        Pump(800);
        Click(dlg, CCropDlg::IDC_PAUSE);
        ASSERT_TRUE(dlg.Player().WaitUntilCued(10000));
        Pump(200);
        QImage shot = dlg.grab().toImage();
        const char* names[] = {"trim", "crop", "effect"};
        ASSERT_TRUE(
            shot.save(QString::fromStdString(dir + "/clip-editor-" + names[page] + ".png")));
        // Both wells hold a picture: not the well's flat dark colour.
        for (QRect view : {QRect(100, 120, 200, 150), QRect(500, 120, 200, 150)}) {
            int bright = 0;
            for (int y = view.top(); y < view.bottom(); y += 5)
                for (int x = view.left(); x < view.right(); x += 5)
                    bright += qGray(shot.pixel(x, y)) > 60;
            EXPECT_GT(bright, 100) << view.x();
        }
        // The crop frame is drawn in the plain view at the crop's place.
        const RECT area = dlg.VideoArea();
        const int y = area.top + int(60 * area.Height() / 480.f + 0.5f);
        int yellow = 0;
        for (int x = area.left + 80; x < area.left + 300; ++x) {
            QColor c0 = shot.pixelColor(x, y), c1 = shot.pixelColor(x, y - 1);
            yellow += (c0.red() > 200 && c0.green() > 200 && c0.blue() < 60) ||
                      (c1.red() > 200 && c1.green() > 200 && c1.blue() < 60);
        }
        EXPECT_GT(yellow, 100);
    }
}

}  // namespace
