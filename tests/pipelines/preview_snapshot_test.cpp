// Saving a renderer picture (packed DIB) as an image file chosen by extension.
// ffprobe and ffmpeg read the files back, so the type and the picture are
// judged by a decoder that is not ours.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "pipelines/snapshot.h"
#include "preview_helpers.h"

namespace fs = std::filesystem;
using namespace preview_test;

namespace {

// Vertical and horizontal ramps plus a saturated block in the top-left corner:
// a picture stored upside down or with red and blue swapped loses its PSNR.
Rgb TestPicture() {
    Rgb p{96, 64, {}};
    p.pixels.resize(std::size_t(p.width) * p.height * 3);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            std::uint8_t* px = &p.pixels[(std::size_t(y) * p.width + x) * 3];
            px[0] = std::uint8_t(x * 255 / (p.width - 1));
            px[1] = std::uint8_t(y * 255 / (p.height - 1));
            px[2] = 128;
            if (x < 24 && y < 16) px[0] = 250, px[1] = 20, px[2] = 20;
        }
    return p;
}

struct SaveCase {
    const char* file;
    const char* codec;  // ffprobe's name for what must be in the file
    double minPsnr;     // lossless types read back exactly
};

class SnapshotSave : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SnapshotSave, WritesTheTypeOfTheExtensionWithThePicture) {
    const SaveCase& c = GetParam();
    TempDir dir;
    Rgb picture = TestPicture();
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down rows" : "bottom-up rows");
        std::string path = dir.File(c.file);
        fs::remove(path);
        std::vector<BYTE> dib = MakeDib(picture, topDown);
        std::string error;
        ASSERT_TRUE(SaveDibAsImage(dib.data(), dib.size(), path, &error)) << error;
        EXPECT_TRUE(IsSnapshotExtension(path));
        EXPECT_EQ(ProbeCodec(path), c.codec);
        std::vector<Rgb> back = DecodeWithFfmpeg(path, picture.width, picture.height);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_GE(Psnr(back[0], picture), c.minPsnr);
        const std::uint8_t* corner = back[0].At(4, 4);
        EXPECT_GT(corner[0], 180);
        EXPECT_LT(corner[2], 90);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, SnapshotSave,
    ::testing::Values(SaveCase{"shot.bmp", "bmp", 99}, SaveCase{"shot.BMP", "bmp", 99},
                      SaveCase{"shot.png", "png", 99}, SaveCase{"shot.PnG", "png", 99},
                      SaveCase{"shot.jpg", "mjpeg", 30}, SaveCase{"shot.JPEG", "mjpeg", 30},
                      SaveCase{"2010-12-14 09-05-03.Jpeg", "mjpeg", 30},
                      SaveCase{"shot.GIF", "gif", 18}));

// Nothing is written, and the caller learns why.
TEST(SnapshotRefusal, WritesNothingWithoutTypePictureOrFolder) {
    TempDir dir;
    Rgb picture = TestPicture();
    std::vector<BYTE> dib = MakeDib(picture);
    std::vector<BYTE> shortDib(dib.begin(), dib.begin() + long(dib.size() / 2));
    std::vector<BYTE> paletteDib = dib;
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, paletteDib.data(), sizeof bih);
    bih.biBitCount = 8;
    std::memcpy(paletteDib.data(), &bih, sizeof bih);

    struct Case {
        const char* what;
        std::string path;
        const std::vector<BYTE>* dib;
    } cases[] = {
        {"unknown extension", dir.File("shot.tiff"), &dib},
        {"no extension", dir.File("shot"), &dib},
        {"extension only in the folder name", dir.File("x.png/"), &dib},
        {"missing folder", dir.File("missing/shot.png"), &dib},
        {"no picture", dir.File("none.png"), nullptr},
        {"picture data cut short", dir.File("short.png"), &shortDib},
        {"not 32-bit pixels", dir.File("palette.bmp"), &paletteDib},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        const BYTE* bytes = c.dib ? c.dib->data() : nullptr;
        std::size_t size = c.dib ? c.dib->size() : 0;
        EXPECT_FALSE(SaveDibAsImage(bytes, size, c.path, &error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_FALSE(IsSnapshotExtension("shot.tiff"));
    EXPECT_FALSE(IsSnapshotExtension("png"));
}

}  // namespace
