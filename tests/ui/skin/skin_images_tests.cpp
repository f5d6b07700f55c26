// The committed skin images must fit the places the dialogs put them at.
#include <gtest/gtest.h>

#include <QImage>
#include <QRect>
#include <map>
#include <string>
#include <vector>

#include "skin_test_util.h"
#include "ui/skin/skin_files.h"
#include "ui/skin/skin_layout.h"

namespace {
const std::string kSkinDir = std::string(DISCREEL_SOURCE_DIR) + "/data/skin";

QImage Load(const std::string& name) {
    return LoadSkinImage(kSkinDir + "/" + name);
}

struct Placed {
    const char* image;
    int x, y;
};

struct Dialog {
    const char* background;
    QSize about;  // the size the dialog is drawn for
    std::vector<Placed> buttons;
    std::vector<std::pair<const char*, const char*>> sharing;  // may share a place
};

const std::vector<Dialog>& Dialogs() {
    using namespace skin_layout;
    static const std::vector<Dialog> d = {
        {"maindlg.png",
         {820, 545},
         {{"file.png", 414, 0},
          {"edit.png", 468, 0},
          {"clip.png", 524, 0},
          {"option.png", 585, 0},
          {"help.png", 658, 0},
          {"min.png", 755, 9},
          {"close.png", 787, 9},
          {"addfile.png", 19, 40},
          {"effect.png", 134, 40},
          {"crop.png", 248, 40},
          {"trim.png", 363, 40},
          {"Preferences.png", 477, 40},
          {"settings.png", 428, 456},
          {"browse.png", 428, 491},
          {"openfolder.png", 532, 491},
          {"star.png", 674, 416},
          {"play.png", kMainTransportX[0], kMainTransportY},
          {"pause.png", kMainTransportX[0], kMainTransportY},
          {"stop.png", kMainTransportX[1], kMainTransportY},
          {"back.png", kMainTransportX[2], kMainTransportY},
          {"next.png", kMainTransportX[3], kMainTransportY},
          {"snap.png", kMainTransportX[4], kMainTransportY},
          {"open.png", kMainTransportX[5], kMainTransportY}},
         {{"play.png", "pause.png"}}},
        {"convertingbk.png",
         {485, 550},
         {{"Pause2.png", 315, 515},
          {"continue2.png", 315, 515},
          {"Cancel.png", 400, 515},
          {"close.png", 455, 8}},
         {{"Pause2.png", "continue2.png"}}},
        {"cropbk.png",
         {800, 600},
         {{"ok2.png", 625, 560},
          {"cancel.png", 705, 560},
          {"min.png", 730, 6},
          {"close.png", 760, 6},
          {"trim2.png", 94, 460},
          {"crop2.png", 40, 460},
          {"effect2.png", 148, 460},
          {"play.png", 45, 405},
          {"pause.png", 45, 405},
          {"nextframe.png", 100, 405},
          {"makein.png", 155, 405},
          {"makeout.png", 210, 405},
          {"reset.png", 705, 515},
          {"ok.png", 175, 515},
          {"ok.png", 395, 515}},
         {{"play.png", "pause.png"}}},
        {"ProferencesDlg.png",
         {575, 440},
         {{"ok2.png", 405, 405},
          {"cancel.png", 488, 405},
          {"general.png", 20, 50},
          {"options.png", 92, 50},
          {"close.png", 545, 8},
          {"browse2.png", 370, 114},
          {"open2.png", 452, 114},
          {"browse2.png", 370, 140},
          {"open2.png", 452, 140}},
         {}},
        {"setdlgbk.png",
         {580, 440},
         {{"default.png", 100, 400},
          {"ok2.png", 405, 400},
          {"cancel.png", 489, 400},
          {"close.png", 550, 8}},
         {}},
        {"propertiesbk.png", {580, 430}, {{"ok2.png", 488, 396}, {"close.png", 550, 8}}, {}},
        {"aboutdlg.png", {440, 350}, {{"ok2.png", 340, 315}, {"close.png", 410, 8}}, {}},
        {"converterok_bg.png", {360, 180}, {{"ok2.png", 240, 140}}, {}},
    };
    return d;
}

bool MayShare(const Dialog& d, const char* a, const char* b) {
    for (const auto& [x, y] : d.sharing)
        if ((QString(x) == a && QString(y) == b) || (QString(x) == b && QString(y) == a))
            return true;
    return false;
}
}  // namespace

TEST(SkinImages, EveryButtonStripFitsItsDialogWithoutCoveringAnother) {
    for (const Dialog& d : Dialogs()) {
        SCOPED_TRACE(d.background);
        const QImage bk = Load(d.background);
        ASSERT_FALSE(bk.isNull());
        EXPECT_EQ(bk.size(), d.about);
        std::vector<std::pair<const char*, QRect>> placed;
        for (const Placed& p : d.buttons) {
            SCOPED_TRACE(p.image);
            const QImage strip = Load(p.image);
            ASSERT_FALSE(strip.isNull());
            EXPECT_EQ(strip.width() % 4, 0) << "four equal frames";
            const QRect r(p.x, p.y, strip.width() / 4, strip.height());
            EXPECT_TRUE(QRect(QPoint(0, 0), bk.size()).contains(r)) << "inside the dialog";
            for (const auto& [other, rect] : placed) {
                if (!MayShare(d, p.image, other)) {
                    EXPECT_FALSE(r.intersects(rect)) << "overlaps " << other;
                }
            }
            placed.push_back({p.image, r});
        }
    }
}

TEST(SkinImages, SlidersSelectorAndPicturesHaveTheSizesTheirPlacesNeed) {
    using namespace skin_layout;
    struct Slider {
        const char *back, *fill, *thumb;
        QRect place;  // in its dialog
        QSize dialog;
    };
    const Slider sliders[] = {
        {"sliderbk_main1.png",
         "sliderbk_main2.png",
         "thumb.png",
         QRect(kMainSeekSlider, QSize(kMainVideo.width(), 14)),
         {820, 545}},
        {"sliderbk_crop1.png", "sliderbk_crop2.png", "thumb.png", kCropPositionSlider, {800, 600}},
        {"sliderbk1.png", "sliderbk2.png", "thumb.png", QRect(627, 414, 140, 14), {800, 600}},
        {"bg2-2.png", "bg2-2.png", "kuang-2.png", QRect(48, 508, 140, 14), {800, 600}},
    };
    for (const Slider& s : sliders) {
        SCOPED_TRACE(s.back);
        const QImage back = Load(s.back), fill = Load(s.fill), thumb = Load(s.thumb);
        ASSERT_FALSE(back.isNull() || fill.isNull() || thumb.isNull());
        EXPECT_EQ(back.size(), s.place.size());
        EXPECT_EQ(fill.size(), back.size()) << "the band is cut from the same columns";
        EXPECT_LE(thumb.height(), back.height());
        EXPECT_TRUE(QRect(QPoint(0, 0), s.dialog).contains(s.place));
    }
    // The trim selector is the slider's rectangle moved down by its height and
    // 9 pixels wider on each side: 18-pixel handles then centre on the band's
    // ends, and the selector is as tall as the slider.
    const QImage handle = Load("select.png");
    EXPECT_EQ(handle.size(), QSize(18, kCropPositionSlider.height()));
    EXPECT_EQ(
        kCropTrimSelector,
        kCropPositionSlider.translated(0, kCropPositionSlider.height()).adjusted(-9, 0, 9, 0));
    EXPECT_LT(kCropTrimSelector.bottom(), 405) << "above the transport row";

    EXPECT_EQ(Load("video.bmp").size(), kMainVideo.size());
    EXPECT_EQ(Load("getting started.bmp").size(), kMainTitleList.size());
    for (const char* page : {"generalbk.png", "optionsbk.png"}) {
        const QImage img = Load(page);
        EXPECT_TRUE(QRect(0, 0, 575, 440).contains(QRect(QPoint(20, 88), img.size()))) << page;
        // The preferences labels are drawn on this colour; the page must match.
        EXPECT_EQ(QColor(img.pixel(40, 10)), QColor(208, 211, 217)) << page;
    }
    EXPECT_FALSE(Load("starup.jpg").isNull());
    for (const char* bar : {"progress1.png", "progress2.png"})
        EXPECT_FALSE(Load(bar).isNull()) << bar;
}

TEST(SkinImages, ButtonFramesDifferSoEveryStateIsVisible) {
    for (const char* name : {"ok2.png", "cancel.png", "play.png", "close.png", "file.png",
                             "addfile.png", "trim2.png", "general.png", "star.png"}) {
        SCOPED_TRACE(name);
        const QImage strip = Load(name);
        ASSERT_FALSE(strip.isNull());
        const int fw = strip.width() / 4;
        std::vector<QImage> frames;
        for (int i = 0; i < 4; ++i) frames.push_back(strip.copy(i * fw, 0, fw, strip.height()));
        for (int a = 0; a < 4; ++a)
            for (int b = a + 1; b < 4; ++b) EXPECT_NE(frames[a], frames[b]) << a << " vs " << b;
    }
}
