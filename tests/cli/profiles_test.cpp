// discreel-cli profiles: the catalogue as the GUI loads it (working directory
// first, then the data beside the program), in text and JSON.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

namespace {

struct CliRun {
    int code = -1;
    std::string out, err;
};

class ProfilesCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "discreel-cli-prof-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
    }
    // Runs the command with the scratch folder as working directory.
    CliRun Cli(const std::string& args) {
        std::string errFile = dir + "/stderr.txt";
        std::string cmd = "cd '" + dir + "' && '" DISCREEL_CLI "' " + args + " 2>'" + errFile + "'";
        CliRun r;
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return r;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
        int status = pclose(p);
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream e(errFile);
        r.err.assign(std::istreambuf_iterator<char>(e), {});
        return r;
    }
    std::string dir;
};

std::string Profile(const std::string& name, const std::string& ext, bool video) {
    std::string x =
        "<Profile><ProfileName value=\"" + name + "\"/><FormatExt value=\"" + ext + "\"/>";
    if (video) {
        x += "<VideoCodecName value=\"mpeg4\"/><Width value=\"640\"/><Height value=\"480\"/>"
             "<FrameRate value=\"25000\"/><VideoBitRate value=\"1200000\"/>";
    }
    x += "<AudioCodecName value=\"libmp3lame\"/><SampleRate value=\"48000\"/>"
         "<AudioBitRate value=\"160000\"/><Channel value=\"1\"/>";
    if (video) {
        x += "<Resolutions value=\"640*480\"/><FrameRates value=\"25000$25\"/>"
             "<VideoCodecs value=\"mpeg4\"/><VideoBitRates value=\"1200000\"/>";
    }
    return x +
           "<SampleRates value=\"48000\"/><Channels value=\"1\"/><AudioCodecs "
           "value=\"libmp3lame\"/>"
           "<AudioBitRates value=\"160000\"/></Profile>";
}

TEST_F(ProfilesCommand, ShippedCatalogueFromBesideTheProgram) {
    CliRun r = Cli("profiles --json");
    ASSERT_EQ(r.code, 0) << r.err;
    auto j = nlohmann::json::parse(r.out);
    const auto& list = j.at("profiles");
    ASSERT_GE(list.size(), 11u);
    int defaults = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].at("index"), static_cast<int>(i));
        EXPECT_FALSE(list[i].at("name").get<std::string>().empty());
        if (list[i].at("default").get<bool>()) {
            ++defaults;
            EXPECT_EQ(i, 1u);
        }
    }
    EXPECT_EQ(defaults, 1);
    EXPECT_EQ(list[1].at("ext"), ".flv");
    EXPECT_EQ(list[1].at("video_encoder"), "flv");
    EXPECT_EQ(list[1].at("audio_encoder"), "libmp3lame");
}

TEST_F(ProfilesCommand, WorkingDirectoryCatalogueWinsAndIsListedExactly) {
    Write("Format.xml", "<Formats>" + Profile("Avi \xC3\xA9 &amp; co", ".avi", true) +
                            Profile("Sound only", ".mp3", false) + "</Formats>");
    CliRun r = Cli("profiles --json");
    ASSERT_EQ(r.code, 0) << r.err;
    auto list = nlohmann::json::parse(r.out).at("profiles");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].at("name"), "Avi \xC3\xA9 & co");
    EXPECT_EQ(list[0].at("ext"), ".avi");
    EXPECT_EQ(list[0].at("has_video"), true);
    EXPECT_EQ(list[0].at("video_encoder"), "mpeg4");
    EXPECT_EQ(list[0].at("width"), 640);
    EXPECT_EQ(list[0].at("height"), 480);
    EXPECT_EQ(list[0].at("frame_rate"), 25000);
    EXPECT_EQ(list[0].at("video_bitrate"), 1200000);
    EXPECT_EQ(list[0].at("sample_rate"), 48000);
    EXPECT_EQ(list[0].at("channels"), 1);
    EXPECT_EQ(list[0].at("audio_bitrate"), 160000);
    EXPECT_EQ(list[0].at("default"), false);
    EXPECT_EQ(list[1].at("name"), "Sound only");
    EXPECT_EQ(list[1].at("has_video"), false);
    EXPECT_EQ(list[1].at("has_audio"), true);
    EXPECT_EQ(list[1].at("default"), true);

    CliRun text = Cli("profiles");
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_NE(text.out.find("*  1  Sound only  .mp3"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("mpeg4  640x480  25 fps  1200 kbit/s"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("video  none"), std::string::npos) << text.out;
}

TEST_F(ProfilesCommand, SingleProfileIsTheDefault) {
    Write("Format.xml", "<Formats>" + Profile("Lonely", ".avi", true) + "</Formats>");
    CliRun r = Cli("profiles --json");
    ASSERT_EQ(r.code, 0) << r.err;
    auto list = nlohmann::json::parse(r.out).at("profiles");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].at("default"), true);
}

TEST_F(ProfilesCommand, CatalogueThatDoesNotLoadFails) {
    for (const char* bad : {"<Formats/><Formats/>", "<Formats><Profile></Formats>", ""}) {
        Write("Format.xml", bad);
        CliRun r = Cli("profiles --json");
        EXPECT_EQ(r.code, 1) << bad;
        EXPECT_NE(r.err.find("Load Format.xml error"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << bad;
    }
}

}  // namespace
