#include "filters/video_converter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A packed YV12 picture whose planes the test can address.
struct Picture {
    int w, h;
    std::vector<std::uint8_t> data;
    Picture(int w_, int h_, std::uint8_t y = 0, std::uint8_t v = 128, std::uint8_t u = 128)
        : w(w_), h(h_), data(std::size_t(w_) * h_ * 3 / 2) {
        std::memset(Y(), y, std::size_t(w) * h);
        std::memset(V(), v, Chroma());
        std::memset(U(), u, Chroma());
    }
    std::size_t Chroma() const { return std::size_t(w / 2) * (h / 2); }
    std::uint8_t* Y() { return data.data(); }
    std::uint8_t* V() { return data.data() + std::size_t(w) * h; }
    std::uint8_t* U() { return V() + Chroma(); }
    std::uint8_t& Y(int x, int y) { return Y()[std::size_t(y) * w + x]; }
    std::uint8_t& V(int x, int y) { return V()[std::size_t(y) * (w / 2) + x]; }
    std::uint8_t& U(int x, int y) { return U()[std::size_t(y) * (w / 2) + x]; }
};

Picture Convert(Picture& in, RECT crop, RECT target, LONG zoom, int brightness = 128,
                int saturation = 64, int hue = 0) {
    VideoConverter conv;
    EXPECT_TRUE(conv.Prepare(in.w, in.h, crop, target, zoom, target.Width()));
    Picture out(target.Width(), target.Height(), 0xEE, 0xEE, 0xEE);
    EXPECT_TRUE(conv.Process(in.data.data(), in.data.size(), out.data.data(), out.data.size(),
                             brightness, saturation, hue));
    return out;
}

TEST(VideoPlan, PlacesCropScalesAndPadsByZoomMode) {
    struct Input {
        LONG w, h;
        RECT crop, target;
        LONG zoom;
    };
    struct Want {
        bool crop, pad, scale;
        RECT cropMargins, padMargins;
        LONG scaledW, scaledH;
    };
    struct Case {
        const char* what;
        Input in;
        Want want;
    };
    const RECT ntsc{0, 0, 720, 480}, pal{0, 0, 720, 576}, qvga{0, 0, 320, 240};
    // Input: size, crop, target, zoom mode.
    // Want: crop, pad, scale, crop margins, pad margins, scaled width and height.
    const Case cases[] = {
        {"same size", {720, 480, ntsc, ntsc, 1}, {false, false, false, {}, {}, 0, 0}},
        {"keep aspect into 4:3",
         {720, 480, ntsc, qvga, 0},
         {false, true, true, {}, {0, 14, 0, 14}, 320, 212}},
        {"16:9 in 4:3",
         {720, 480, ntsc, qvga, 2},
         {false, true, true, {}, {0, 30, 0, 30}, 320, 180}},
        {"4:3 in a wide frame",
         {720, 480, ntsc, {0, 0, 320, 180}, 3},
         {false, true, true, {}, {40, 0, 40, 0}, 240, 180}},
        {"crop only",
         {720, 480, {8, 0, 712, 480}, {0, 0, 704, 480}, 1},
         {true, false, false, {8, 0, 8, 0}, {}, 0, 0}},
        {"stretch", {720, 576, pal, qvga, 1}, {false, false, true, {}, {}, 320, 240}},
        {"unknown mode stretches",
         {720, 576, pal, qvga, 9},
         {false, false, true, {}, {}, 320, 240}},
        {"pillarbox that fits without scaling",
         {12, 8, {0, 0, 12, 8}, {0, 0, 16, 8}, 0},
         {false, true, false, {}, {2, 0, 2, 0}, 0, 0}},
        {"odd bar rounded up to even",
         {720, 480, ntsc, {0, 0, 352, 288}, 2},
         {false, true, true, {}, {0, 46, 0, 46}, 352, 196}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const VideoPlan p =
            MakeVideoPlan(c.in.w, c.in.h, c.in.crop, c.in.target, c.in.zoom, c.in.target.right);
        EXPECT_EQ(p.crop, c.want.crop);
        EXPECT_EQ(p.pad, c.want.pad);
        EXPECT_EQ(p.scale, c.want.scale);
        EXPECT_EQ(p.cropMargins, c.want.cropMargins);
        EXPECT_EQ(p.padMargins, c.want.padMargins);
        EXPECT_EQ(p.scaledWidth, c.want.scaledW);
        EXPECT_EQ(p.scaledHeight, c.want.scaledH);
    }
    // The placed rectangles themselves, before the bars are rounded.
    EXPECT_EQ(PlacedRect(0, RECT{0, 0, 720, 480}, 320, 240), (RECT{0, 13, 320, 227}));
    EXPECT_EQ(PlacedRect(2, RECT{}, 320, 240), (RECT{0, 30, 320, 210}));
    EXPECT_EQ(PlacedRect(1, RECT{0, 0, 10, 10}, 320, 240), (RECT{0, 0, 320, 240}));
}

TEST(VideoEffects, TablesHoldTruncatedSineAndCosine) {
    const HueTables& t = GetHueTables();
    struct Case {
        int deg, sine, cosine;
    };
    for (const Case& c : {Case{0, 0, 128}, Case{30, 63, 110}, Case{45, 90, 90}, Case{90, 127, 0},
                          Case{180, 0, -127}, Case{-90, -127, 0}, Case{-30, -63, 110}}) {
        SCOPED_TRACE(c.deg);
        EXPECT_EQ(t.sine[c.deg + 180], c.sine);
        EXPECT_EQ(t.cosine[c.deg + 180], c.cosine);
    }
}

TEST(VideoEffects, BrightnessScalesLumaAndSaturates) {
    struct Case {
        int brightness;
        std::uint8_t in, out;
    };
    for (const Case& c : {Case{256, 100, 200}, Case{256, 200, 255}, Case{0, 200, 0},
                          Case{192, 101, 151}, Case{128, 77, 77}}) {
        SCOPED_TRACE(c.brightness);
        std::uint8_t y[3] = {c.in, c.in, c.in};
        ApplyBrightness(y, 3, c.brightness);
        EXPECT_EQ(y[0], c.out);
        EXPECT_EQ(y[2], c.out);
    }
}

TEST(VideoEffects, HueRotatesAndSaturationScalesChroma) {
    struct Case {
        const char* what;
        int hue, saturation;
        std::uint8_t v, u, vOut, uOut;
    };
    const Case cases[] = {
        {"defaults leave chroma", 0, 64, 200, 30, 200, 30},
        {"saturation 128 doubles distances", 0, 128, 150, 110, 172, 92},
        {"and clamps", 0, 128, 200, 20, 255, 0},
        {"saturation 0 is grey", 0, 0, 200, 20, 128, 128},
        {"hue 180 negates, rounding down", 180, 64, 138, 128, 118, 128},
        {"hue 180 of +1 is -1", 180, 64, 129, 127, 127, 128},
        {"hue 90 turns V into U", 90, 64, 138, 108, 108, 119},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint8_t v[2] = {c.v, c.v}, u[2] = {c.u, c.u};
        ApplyHueSaturation(v, u, 2, c.hue, c.saturation);
        EXPECT_EQ(v[1], c.vOut);
        EXPECT_EQ(u[1], c.uOut);
    }
}

TEST(VideoConverter, SameSizeWithDefaultEffectsIsTheInput) {
    Picture in(64, 32);
    for (std::size_t i = 0; i < in.data.size(); ++i) in.data[i] = std::uint8_t(i * 7 + 3);
    Picture out = Convert(in, {0, 0, 64, 32}, {0, 0, 64, 32}, 1);
    EXPECT_EQ(out.data, in.data);
}

TEST(VideoConverter, CropOnlyCopiesTheCroppedPicture) {
    Picture in(16, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) in.Y(x, y) = std::uint8_t(16 * y + x);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            in.V(x, y) = std::uint8_t(100 + 8 * y + x);
            in.U(x, y) = std::uint8_t(200 - 8 * y - x);
        }
    Picture out = Convert(in, {2, 2, 14, 8}, {0, 0, 12, 6}, 1);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 12; ++x) ASSERT_EQ(out.Y(x, y), in.Y(x + 2, y + 2)) << x << "," << y;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) {
            ASSERT_EQ(out.V(x, y), in.V(x + 1, y + 1));
            ASSERT_EQ(out.U(x, y), in.U(x + 1, y + 1));
        }
}

TEST(VideoConverter, LetterboxBarsAreBlackAndThePictureBetweenThem) {
    // 720x480 keeps its 3:2 aspect inside 320x240: 14-row bars, 212 rows of picture.
    Picture in(720, 480, 180, 90, 170);
    Picture out = Convert(in, {0, 0, 720, 480}, {0, 0, 320, 240}, 0);
    for (int y = 0; y < 240; ++y) {
        const std::uint8_t want = (y < 14 || y >= 226) ? 16 : 180;
        for (int x = 0; x < 320; x += 53) ASSERT_EQ(out.Y(x, y), want) << "row " << y;
    }
    for (int y = 0; y < 120; ++y) {
        const bool bar = y < 7 || y >= 113;
        for (int x = 0; x < 160; x += 31) {
            ASSERT_EQ(out.V(x, y), bar ? 128 : 90) << "row " << y;
            ASSERT_EQ(out.U(x, y), bar ? 128 : 170) << "row " << y;
        }
    }
}

TEST(VideoConverter, PillarboxWithoutScalingCopiesThePictureBetweenTheBars) {
    Picture in(12, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x) in.Y(x, y) = std::uint8_t(40 + 12 * y + x);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) in.V(x, y) = in.U(x, y) = std::uint8_t(60 + x);
    Picture out = Convert(in, {0, 0, 12, 8}, {0, 0, 16, 8}, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool bar = x < 2 || x >= 14;
            ASSERT_EQ(out.Y(x, y), bar ? 16 : in.Y(x - 2, y)) << x << "," << y;
        }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool bar = x < 1 || x >= 7;
            ASSERT_EQ(out.V(x, y), bar ? 128 : in.V(x - 1, y));
            ASSERT_EQ(out.U(x, y), bar ? 128 : in.U(x - 1, y));
        }
}

TEST(VideoConverter, CropAndScaleShowOnlyTheCroppedPart) {
    // Left half dark, right half bright; V and U differ per half too.
    Picture in(64, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) in.Y(x, y) = x < 32 ? 30 : 220;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            in.V(x, y) = x < 16 ? 70 : 190;
            in.U(x, y) = x < 16 ? 180 : 50;
        }
    // The right half, stretched over a 32x32 frame.
    Picture right = Convert(in, {32, 0, 64, 32}, {0, 0, 32, 32}, 1);
    // The whole picture halved.
    Picture half = Convert(in, {0, 0, 64, 32}, {0, 0, 32, 16}, 1);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(right.Y(x, y), 220);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            ASSERT_EQ(right.V(x, y), 190);
            ASSERT_EQ(right.U(x, y), 50);
        }
    // Away from the edge the scaler has no reason to blend.
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(half.Y(2, y), 30);
        EXPECT_EQ(half.Y(29, y), 220);
    }
    for (int y = 0; y < 8; ++y) {
        EXPECT_EQ(half.V(1, y), 70);
        EXPECT_EQ(half.U(1, y), 180);
        EXPECT_EQ(half.V(14, y), 190);
        EXPECT_EQ(half.U(14, y), 50);
    }
}

TEST(VideoConverter, EffectsApplyToTheWholeOutputBarsIncluded) {
    Picture in(720, 480, 100, 150, 110);
    Picture out = Convert(in, {0, 0, 720, 480}, {0, 0, 320, 240}, 0, /*brightness=*/256,
                          /*saturation=*/128, /*hue=*/0);
    EXPECT_EQ(out.Y(100, 0), 32);     // the bar doubled too
    EXPECT_EQ(out.Y(100, 120), 200);  // the picture doubled
    EXPECT_EQ(out.V(50, 60), 172);    // chroma distances doubled
    EXPECT_EQ(out.U(50, 60), 92);
    EXPECT_EQ(out.V(50, 0), 128);  // a grey bar stays grey
}

TEST(VideoConverter, RefusesWhatItCannotDoSafely) {
    VideoConverter conv;
    // A negative crop cannot be scaled.
    EXPECT_FALSE(conv.Prepare(64, 32, {40, 0, 20, 32}, {0, 0, 32, 16}, 1, 32));
    EXPECT_FALSE(conv.IsPrepared());
    // A crop reaching past the picture shows the part inside it.
    ASSERT_TRUE(conv.Prepare(64, 32, {0, 0, 64, 48}, {0, 0, 64, 32}, 1, 64));
    EXPECT_FALSE(conv.Plan().crop);
    EXPECT_FALSE(conv.Plan().scale);
    // A short input buffer is refused, not read past.
    Picture in(64, 32), out(64, 32);
    EXPECT_FALSE(conv.Process(in.data.data(), in.data.size() - 1, out.data.data(), out.data.size(),
                              128, 64, 0));
    EXPECT_TRUE(
        conv.Process(in.data.data(), in.data.size(), out.data.data(), out.data.size(), 128, 64, 0));
}

}  // namespace
