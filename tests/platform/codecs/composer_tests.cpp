#include <gtest/gtest.h>

#include <cstring>

#include "platform/codecs/video_composer.h"

using namespace codecs;

namespace {

// A YV12 picture of one flat colour per half: left half dark, right half light.
struct TwoTone {
    std::vector<BYTE> bytes;
    PlanarPicture view;
    TwoTone(int w, int h) : bytes(Yv12Size(w, h)) {
        view = Yv12View(bytes.data(), w, h, w);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) view.y[y * w + x] = x < w / 2 ? 16 : 235;
        std::fill(view.v, view.v + w / 2 * h / 2, 128);
        std::fill(view.u, view.u + w / 2 * h / 2, 128);
    }
};

int Green(uint32_t p) {
    return (p >> 8) & 0xFF;
}

}  // namespace

// Letterbox fits the picture's display shape into the destination and paints
// the rest in the border colour; stretch fills the destination.
TEST(VideoComposer, LetterboxAndStretchPlaceThePicture) {
    struct Case {
        AspectMode mode;
        int aspectX, aspectY;
        RECT dest;
        RECT expected;
    } cases[] = {
        {AspectMode::LetterBox, 4, 3, {0, 0, 400, 200}, {66, 0, 333, 200}},
        {AspectMode::LetterBox, 16, 9, {0, 0, 320, 320}, {0, 70, 320, 250}},
        {AspectMode::LetterBox,
         0,
         0,
         {10, 10, 370, 250},
         {10, 10, 370, 250}},  // square pixels 720x480 = 3:2
        {AspectMode::Stretch, 4, 3, {0, 0, 400, 200}, {0, 0, 400, 200}},
    };
    TwoTone pic(720, 480);
    for (const auto& c : cases) {
        VideoComposer v;
        v.SetPicture(pic.view, c.aspectX, c.aspectY);
        v.SetAspectMode(c.mode);
        v.SetDestRect(c.dest);
        v.SetBorderColor(RGB(255, 0, 0));
        EXPECT_EQ(v.VideoRect(), c.expected);
        std::vector<uint32_t> img;
        int w = 0, h = 0;
        ASSERT_TRUE(v.ComposeDestination(img, w, h));
        ASSERT_EQ(w, c.dest.Width());
        ASSERT_EQ(h, c.dest.Height());
        const RECT e{c.expected.left - c.dest.left, c.expected.top - c.dest.top,
                     c.expected.right - c.dest.left, c.expected.bottom - c.dest.top};
        if (e.left > 0) {
            EXPECT_EQ(img[size_t(h / 2) * w + e.left - 1] & 0xFFFFFF, 0xFF0000u);
        }
        if (e.top > 0) {
            EXPECT_EQ(img[size_t(e.top - 1) * w + w / 2] & 0xFFFFFF, 0xFF0000u);
        }
        // Left part of the video dark, right part light.
        EXPECT_LT(Green(img[size_t((e.top + e.bottom) / 2) * w + e.left + 2]), 20);
        EXPECT_GT(Green(img[size_t((e.top + e.bottom) / 2) * w + e.right - 3]), 240);
    }
}

// The source rectangle chooses the part of the picture that fills the video area.
TEST(VideoComposer, SourceRectangleCropsThePicture) {
    TwoTone pic(720, 480);
    VideoComposer v;
    v.SetPicture(pic.view, 4, 3);
    v.SetDestRect({0, 0, 200, 100});
    v.SetSourceRect({400, 0, 720, 480});  // only the light half
    std::vector<uint32_t> img;
    int w, h;
    ASSERT_TRUE(v.ComposeDestination(img, w, h));
    for (int x : {0, 100, 199}) EXPECT_GT(Green(img[50 * w + x]), 240) << x;
    // Out-of-range rectangles fall back to the whole picture.
    v.SetSourceRect({800, 0, 900, 100});
    EXPECT_EQ(v.SourceRect(), (RECT{0, 0, 720, 480}));
}

// A crop handed over before playback holds from the first picture on; a
// picture of another size later drops it.
TEST(VideoComposer, SourceRectangleSetBeforeThePictureIsKept) {
    VideoComposer v;
    v.SetSourceRect({400, 0, 720, 480});
    TwoTone pic(720, 480);
    v.SetPicture(pic.view, 4, 3);
    EXPECT_EQ(v.SourceRect(), (RECT{400, 0, 720, 480}));
    v.SetPicture(pic.view, 4, 3);
    EXPECT_EQ(v.SourceRect(), (RECT{400, 0, 720, 480}));
    TwoTone pal(720, 576);
    v.SetPicture(pal.view, 4, 3);
    EXPECT_EQ(v.SourceRect(), (RECT{0, 0, 720, 576}));
}

// Colour-keyed pixels of the overlay let the video through; the others replace it.
TEST(VideoComposer, ColourKeyedOverlayDrawsOnlyItsNonKeyPixels) {
    TwoTone pic(64, 64);
    VideoComposer v;
    v.SetPicture(pic.view, 0, 0);
    v.SetDestRect({0, 0, 64, 64});
    OverlayBitmap o;
    o.width = o.height = 8;
    o.pixels.assign(64, 0);            // black: the key
    o.pixels[0] = 0x00FFFF00;          // yellow at the top-left corner
    o.pixels[7 * 8 + 7] = 0x00FFFF00;  // and the bottom-right one
    o.useColorKey = true;
    o.colorKey = RGB(0, 0, 0);
    v.SetOverlay(o);
    std::vector<uint32_t> img;
    int w, h;
    ASSERT_TRUE(v.ComposeDestination(img, w, h));
    EXPECT_EQ(img[0] & 0xFFFFFF, 0xFFFF00u);
    EXPECT_EQ(img[63 * 64 + 63] & 0xFFFFFF, 0xFFFF00u);
    EXPECT_LT(Green(img[32 * 64 + 8]), 20);  // video shows through the key colour
    EXPECT_GT(Green(img[32 * 64 + 56]), 240);
    // Without the key the black pixels cover the video too.
    o.useColorKey = false;
    v.SetOverlay(o);
    ASSERT_TRUE(v.ComposeDestination(img, w, h));
    EXPECT_EQ(img[32 * 64 + 56] & 0xFFFFFF, 0u);
}

// The packed bitmap: a 40-byte header, then rows bottom-up.
TEST(VideoComposer, PackedDibIsBottomUp) {
    const uint32_t px[6] = {1, 2, 3, 4, 5, 6};  // 3 wide, 2 high, top row first
    const auto dib = PackDib(px, 3, 2);
    ASSERT_EQ(dib.size(), 40u + 24u);
    int32_t header[3];
    std::memcpy(header, dib.data(), 12);
    EXPECT_EQ(header[0], 40);
    EXPECT_EQ(header[1], 3);
    EXPECT_EQ(header[2], 2);
    EXPECT_EQ(dib[14], 32);
    uint32_t first;
    std::memcpy(&first, dib.data() + 40, 4);
    EXPECT_EQ(first, 4u);  // the bottom row comes first
}

TEST(VideoComposer, NoPictureGivesBorderOnlyAndNoNativeImage) {
    VideoComposer v;
    v.SetDestRect({0, 0, 10, 10});
    v.SetBorderColor(RGB(0, 0, 255));
    std::vector<uint32_t> img;
    int w, h;
    ASSERT_TRUE(v.ComposeDestination(img, w, h));
    EXPECT_EQ(img[55] & 0xFFFFFF, 0x0000FFu);
    EXPECT_FALSE(v.NativeImage(img, w, h));
}
