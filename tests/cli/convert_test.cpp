// discreel-cli convert on the authored discs: what it writes, what it says and
// how it ends, for good and bad input and when it is interrupted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>

#include "../fixtures/fixtures.h"

namespace {

namespace fs = std::filesystem;
using fixtures::Quote;
using json = nlohmann::json;

// Runs the CLI; standard output and standard error come back together.
fixtures::CommandResult Cli(const std::string& args) {
    return fixtures::RunCommand(Quote(DISCREEL_CLI) + " " + args + " 2>&1");
}

fs::path OutDir() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    fs::path dir = fs::path(DISCREEL_BINARY_DIR) / "tests" / "tmp-cli-convert" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

json Probe(const fs::path& file) {
    auto r = fixtures::RunCommand("ffprobe -v error -show_streams -show_format -of json " + Quote(file.string()));
    auto j = json::parse(r.output, nullptr, false);
    return j.is_discarded() ? json::object() : j;
}

double Duration(const json& probe) {
    return probe.contains("format") ? std::stod(probe["format"].value("duration", "0")) : 0;
}

int ProfileIndex(const std::string& name) {
    json list = json::parse(Cli("profiles --json").output, nullptr, false);
    if (list.is_discarded()) return -1;
    for (const json& p : list["profiles"])
        if (p["name"] == name) return p["index"].get<int>();
    return -1;
}

TEST(ConvertCli, WritesATrimmedTitleWithTheDefaultProfile) {
    fs::path out = OutDir();
    auto r = Cli("convert " + Quote(fixtures::NtscFolder()) + " -o " + Quote(out) + " --titles 1 --trim 1:2-4");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    fs::path file = out / "Title_01.flv";
    EXPECT_NE(r.output.find("Title_01 -> " + file.string()), std::string::npos) << r.output;
    json probe = Probe(file);
    ASSERT_EQ(probe["streams"].size(), 2u) << probe.dump();
    bool video = false;
    for (const json& s : probe["streams"]) {
        if (s["codec_type"] != "video") continue;
        video = true;
        // The catalogue's default profile: FLV1 480x360.
        EXPECT_EQ(s["codec_name"], "flv1");
        EXPECT_EQ(s["width"], 480);
        EXPECT_EQ(s["height"], 360);
    }
    EXPECT_TRUE(video);
    EXPECT_NEAR(Duration(probe), 2.0, 0.1);
}

TEST(ConvertCli, MergesTitlesOfAnIsoImageIntoOneFile) {
    fs::path out = OutDir();
    int wav = ProfileIndex("WAV Audio (PCM 16-bit)");
    ASSERT_GE(wav, 0);
    auto r = Cli("convert " + Quote(fixtures::PalIso()) + " -o " + Quote(out) + " --profile " + std::to_string(wav) +
                 " --titles 1,2 --merge --trim 1:0-1.5 --trim 2:0.5-1.5");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    fs::path file = out / "Title_01.wav";
    EXPECT_NE(r.output.find("merged -> " + file.string()), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(out / "Title_02.wav"));
    EXPECT_NEAR(Duration(Probe(file)), 2.5, 0.07);
}

TEST(ConvertCli, EncodesTheChosenAudioTrack) {
    fs::path out = OutDir();
    int wav = ProfileIndex("WAV Audio (PCM 16-bit)");
    ASSERT_GE(wav, 0);
    // PAL title 1: "en" AC-3 at 440 Hz first, "fr" MPEG audio at 880 Hz second.
    auto r = Cli("convert " + Quote(fixtures::PalFolder()) + " -o " + Quote(out) + " --profile " +
                 std::to_string(wav) + " --titles 1 --trim 1:1-2 --audio 0xC000");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    auto pcm = fixtures::RunCommand("ffmpeg -v error -nostdin -i " + Quote((out / "Title_01.wav").string()) +
                                    " -af " + Quote("pan=mono|c0=c0") + " -f s16le -acodec pcm_s16le -")
                   .output;
    const auto* samples = reinterpret_cast<const std::int16_t*>(pcm.data());
    const std::size_t n = pcm.size() / 2;
    ASSERT_GT(n, 22050u);
    int crossings = 0;
    for (std::size_t i = 1; i < n; ++i) crossings += samples[i - 1] < 0 && samples[i] >= 0;
    EXPECT_NEAR(crossings * 44100.0 / double(n), 880, 10);
}

struct BadInput {
    const char* name;
    std::string args;  // after "convert"; @NTSC@, @OUT@ and @EMPTY@ are replaced
    int exitCode;
    const char* message;
};

class ConvertCliRefuses : public testing::TestWithParam<BadInput> {};

TEST_P(ConvertCliRefuses, WithItsMessageAndExitCode) {
    const BadInput& c = GetParam();
    fs::path out = OutDir();
    fs::path empty = out / "not-a-dvd";
    fs::create_directories(empty);
    fs::path dest = out / "out";
    fs::create_directories(dest);
    std::string args = c.args;
    auto replace = [&](const std::string& key, const std::string& value) {
        for (auto at = args.find(key); at != std::string::npos; at = args.find(key)) args.replace(at, key.size(), value);
    };
    replace("@NTSC@", Quote(fixtures::NtscFolder()));
    replace("@OUT@", Quote(dest));
    replace("@EMPTY@", Quote(empty));
    auto r = Cli("convert " + args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    // Nothing half-made is left behind.
    EXPECT_TRUE(fs::is_empty(dest));
}

INSTANTIATE_TEST_SUITE_P(
    BadInputs, ConvertCliRefuses,
    testing::Values(
        BadInput{"NotADvd", "@EMPTY@ -o @OUT@", 1, "Open DVD error"},
        BadInput{"MissingDvd", "/nonexistent/disc -o @OUT@", 1, "Open DVD error"},
        BadInput{"UnlistedTitle", "@NTSC@ -o @OUT@ --titles 2", 1, "Title 2 is not listed on this DVD"},
        BadInput{"TitleBeyondTheDisc", "@NTSC@ -o @OUT@ --titles 7", 1, "Title 7 is not listed on this DVD"},
        BadInput{"UnknownProfile", "@NTSC@ -o @OUT@ --profile 'No such profile'", 1, "Unknown profile: No such profile"},
        BadInput{"UnknownProfileIndex", "@NTSC@ -o @OUT@ --profile 99", 1, "Unknown profile: 99"},
        BadInput{"MissingOutputFolder", "@NTSC@ -o /nonexistent/out", 1, "The output folder does not exist"},
        BadInput{"TrimBeyondTheEnd", "@NTSC@ -o @OUT@ --trim 1:20-30", 1, "START lies beyond the title's end"},
        BadInput{"TrimBackwards", "@NTSC@ -o @OUT@ --trim 1:5-2", 2, "START must come before END"},
        BadInput{"TrimWithoutTitle", "@NTSC@ -o @OUT@ --trim 5-8", 2, "--trim takes N:START-END"},
        BadInput{"TitlesNotNumbers", "@NTSC@ -o @OUT@ --titles one", 2, "--titles takes title numbers"},
        BadInput{"ZoomOutOfRange", "@NTSC@ -o @OUT@ --zoom 4", 2, "--zoom must be between 0 and 3"},
        BadInput{"ZoomNotANumber", "@NTSC@ -o @OUT@ --zoom wide", 2, "zoom"},
        BadInput{"BrightnessOutOfRange", "@NTSC@ -o @OUT@ --brightness 300", 2, "--brightness must be between 0 and 256"},
        BadInput{"SaturationOutOfRange", "@NTSC@ -o @OUT@ --saturation -1", 2, "--saturation must be between 0 and 128"},
        BadInput{"HueOutOfRange", "@NTSC@ -o @OUT@ --hue 181", 2, "--hue must be between -180 and 180"},
        BadInput{"VolumeOutOfRange", "@NTSC@ -o @OUT@ --volume 513", 2, "--volume must be between 0 and 512"},
        BadInput{"CropInsideOut", "@NTSC@ -o @OUT@ --crop 100,0,50,480", 2, "--crop must be LEFT,TOP,RIGHT,BOTTOM"},
        BadInput{"CropOutsideTheFrame", "@NTSC@ -o @OUT@ --crop 0,0,800,480", 2, "--crop must be LEFT,TOP,RIGHT,BOTTOM"},
        BadInput{"SizeOdd", "@NTSC@ -o @OUT@ --size 321x240", 2, "--size must be WIDTHxHEIGHT"},
        BadInput{"SizeNotASize", "@NTSC@ -o @OUT@ --size big", 2, "--size must be WIDTHxHEIGHT"},
        BadInput{"FrameRateZero", "@NTSC@ -o @OUT@ --fps 0", 2, "--fps must be between 1 and 120"},
        BadInput{"ChannelsTooMany", "@NTSC@ -o @OUT@ --channels 9", 2, "--channels must be between 1 and 6"},
        BadInput{"NegativeBitRate", "@NTSC@ -o @OUT@ --video-bitrate -5", 2, "--video-bitrate must be positive"},
        BadInput{"AudioTrackNotAnId", "@NTSC@ -o @OUT@ --audio english", 2, "--audio takes a track id"},
        BadInput{"SubtitleNotAnId", "@NTSC@ -o @OUT@ --subtitle german", 2, "--subtitle takes a track id"},
        BadInput{"AudioTrackNotOnTheDisc", "@NTSC@ -o @OUT@ --audio 0xC000", 2,
                 "--audio 0xC000: no title to convert has this audio track"},
        BadInput{"SubtitleTrackNotOnTheDisc", "@NTSC@ -o @OUT@ --subtitle 48416", 2,
                 "--subtitle 48416: no title to convert has this subtitle track"},
        BadInput{"UnknownOption", "@NTSC@ -o @OUT@ --speed 3", 2, "speed"},
        BadInput{"NoOutputFolder", "@NTSC@", 2, "output"}),
    [](const testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

TEST(ConvertCli, AnOutputFileThatCannotBeWrittenIsReported) {
    fs::path out = OutDir();
    // A folder where the output file should go: the file cannot be created,
    // whoever runs the test.
    fs::create_directories(out / "Title_01.flv");
    auto r = Cli("convert " + Quote(fixtures::NtscFolder()) + " -o " + Quote(out) + " --titles 1 --trim 1:0-1");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("Could not write " + (out / "Title_01.flv").string()), std::string::npos) << r.output;
}

TEST(ConvertCli, AnUnwritableOutputFolderIsRefused) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
    fs::path out = OutDir();
    fs::permissions(out, fs::perms::owner_read | fs::perms::owner_exec);
    auto r = Cli("convert " + Quote(fixtures::NtscFolder()) + " -o " + Quote(out) + " --titles 1");
    fs::permissions(out, fs::perms::owner_all);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("The output folder is not writable"), std::string::npos) << r.output;
}

// Ctrl-C: the file written so far is finished and kept, and the exit code says
// the conversion was cancelled.
TEST(ConvertCli, InterruptKeepsAPlayablePartialFile) {
    fs::path out = OutDir();
    fs::path log = out / "stderr.txt";
    // MP4: slow enough to be caught mid-way, and unreadable unless the
    // cancelled conversion still wrote the file's index at the end.
    fs::path file = out / "Title_01.mp4";
    int mp4 = -1;
    {
        json list = json::parse(Cli("profiles --json").output, nullptr, false);
        ASSERT_FALSE(list.is_discarded());
        for (const json& p : list["profiles"])
            if (p["ext"] == ".mp4") mp4 = p["index"].get<int>();
    }
    ASSERT_GE(mp4, 0);
    const std::string profile = std::to_string(mp4);
    const std::string outArg = out.string();
    const std::string disc = fixtures::NtscFolder().string();
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDERR_FILENO);
        dup2(fd, STDOUT_FILENO);
        execl(DISCREEL_CLI, DISCREEL_CLI, "convert", disc.c_str(), "-o", outArg.c_str(), "--titles", "1",
              "--profile", profile.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait until pictures are being written, then interrupt.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code ec;
        if (fs::exists(file, ec) && fs::file_size(file, ec) > 40000) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    std::ifstream in(log);
    std::stringstream said;
    said << in.rdbuf();
    ASSERT_TRUE(WIFEXITED(status)) << said.str();
    EXPECT_EQ(WEXITSTATUS(status), 130) << said.str();
    EXPECT_NE(said.str().find("Conversion cancelled"), std::string::npos) << said.str();
    json probe = Probe(file);
    ASSERT_TRUE(probe.contains("streams")) << "ffprobe cannot read the partial file";
    ASSERT_EQ(probe["streams"].size(), 2u);
    // The pictures written so far, part of the title (the sound may run
    // further ahead, by as much as the splitter queues).
    double seconds = 0;
    for (const json& s : probe["streams"])
        if (s["codec_type"] == "video") seconds = std::stod(s.value("duration", "0"));
    EXPECT_GT(seconds, 0.1);
    EXPECT_LT(seconds, 11.0);
}

}  // namespace
