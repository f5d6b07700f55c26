// discreel-cli snapshot on the authored discs: the image is the picture ffmpeg
// decodes at that time of the title, in the type the extension names; what
// cannot be had ends the program with a message and no file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "../fixtures/fixtures.h"

namespace fs = std::filesystem;
using fixtures::Quote;
using fixtures::RunCommand;

namespace {

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "discreel-cli-snap-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        path_ = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

fixtures::CommandResult Cli(const std::string& args) {
    return RunCommand(std::string(Quote(DISCREEL_CLI)) + " snapshot " + args + " 2>&1");
}

// Frames of a file as packed RGB through ffmpeg; `filter` picks frames.
std::vector<std::string> Frames(const std::string& file, int w, int h,
                                const std::string& filter = "") {
    std::string cmd = "ffmpeg -nostdin -v error -i " + Quote(file);
    if (!filter.empty()) cmd += " -vf " + Quote(filter) + " -vsync 0";
    fixtures::CommandResult r = RunCommand(cmd + " -f rawvideo -pix_fmt rgb24 -");
    std::vector<std::string> frames;
    const std::size_t size = std::size_t(w) * h * 3;
    if (r.exitCode != 0 || r.output.empty() || r.output.size() % size) return frames;
    for (std::size_t off = 0; off < r.output.size(); off += size)
        frames.push_back(r.output.substr(off, size));
    return frames;
}

double Psnr(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        double d =
            double(static_cast<unsigned char>(a[i])) - double(static_cast<unsigned char>(b[i]));
        sum += d * d;
    }
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

std::string Probe(const std::string& file, const std::string& entry) {
    fixtures::CommandResult r =
        RunCommand("ffprobe -v error -select_streams 0 -show_entries stream=" + entry +
                   " -of csv=p=0:s=x " + Quote(file));
    std::string s = r.output;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

struct ShotCase {
    fixtures::Disc disc;
    bool iso;
    int title;
    double at;
    const char* file;
    const char* codec;
    double minPsnr;
};

class CliSnapshot : public ::testing::TestWithParam<ShotCase> {};

TEST_P(CliSnapshot, SavesThePictureAtTheTime) {
    const ShotCase& c = GetParam();
    const fixtures::DiscFormat& format = fixtures::Format(c.disc);
    TempDir dir;
    std::string out = dir.File(c.file);
    std::string dvd = (c.iso ? fixtures::Iso(c.disc) : fixtures::Folder(c.disc)).string();
    char at[32];
    std::snprintf(at, sizeof at, "%.3f", c.at);
    fixtures::CommandResult r = Cli(Quote(dvd) + " --title " + std::to_string(c.title) + " --at " +
                                    at + " -o " + Quote(out));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find(out), std::string::npos);
    EXPECT_EQ(Probe(out, "codec_name"), c.codec);
    EXPECT_EQ(Probe(out, "width,height"),
              std::to_string(format.width) + "x" + std::to_string(format.height));

    std::vector<std::string> shot = Frames(out, format.width, format.height);
    ASSERT_EQ(shot.size(), 1u);
    const int expected = int(std::lround(c.at * format.fpsNum / format.fpsDen));
    char filter[96];
    std::snprintf(filter, sizeof filter, "select='between(n,%d,%d)'", expected - 4, expected + 4);
    std::vector<std::string> refs =
        Frames(fixtures::TitleVob(c.disc, c.title).string(), format.width, format.height, filter);
    ASSERT_EQ(refs.size(), 9u);
    int best = -1;
    double bestPsnr = 0;
    for (int i = 0; i < 9; ++i)
        if (double p = Psnr(shot[0], refs[std::size_t(i)]); p > bestPsnr)
            best = expected - 4 + i, bestPsnr = p;
    EXPECT_NEAR(best, expected, 1);
    EXPECT_GT(bestPsnr, c.minPsnr);
}

// PAL title 1 at 0.5 s is before either subpicture shows, so ffmpeg's
// picture (which never carries subpictures) is the judge there too.
INSTANTIATE_TEST_SUITE_P(
    Discs, CliSnapshot,
    ::testing::Values(ShotCase{fixtures::Disc::Ntsc, false, 1, 3.0, "shot.png", "png", 30},
                      ShotCase{fixtures::Disc::Ntsc, true, 3, 5.5, "wide.BMP", "bmp", 30},
                      ShotCase{fixtures::Disc::Pal, true, 1, 0.5, "pal.JPG", "mjpeg", 28}));

TEST(CliSnapshotErrors, EndWithAMessageAndNoFile) {
    TempDir dir;
    const std::string ntsc = Quote(fixtures::NtscFolder().string());
    const std::string png = Quote(dir.File("x.png"));
    struct Case {
        std::string args;
        int exitCode;
        const char* message;
    } cases[] = {
        {Quote(dir.File("no-such-dvd")) + " --title 1 --at 1 -o " + png, 1, "Open DVD error"},
        {ntsc + " --title 9 --at 1 -o " + png, 1, "No title 9 on this DVD (it has 3)"},
        {ntsc + " --title 0 --at 1 -o " + png, 1, "No title 0"},
        {ntsc + " --title 2 --at 2.5 -o " + png, 1, "is not inside Title_02, which lasts 2.000 s"},
        {ntsc + " --title 1 --at 1 -o " + Quote(dir.File("missing/x.png")), 1, "does not exist"},
        {ntsc + " --title 1 --at 1 -o " + Quote(dir.File("x.tiff")), 2,
         "must end in .bmp, .jpg, .jpeg, .gif or .png"},
        {ntsc + " --title 1 -o " + png, 2, "--at"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        fixtures::CommandResult r = Cli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
