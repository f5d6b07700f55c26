#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win/registry.h"

namespace fs = std::filesystem;

namespace {

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "discreel-reg-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        file = dir / "conf" / "registry.ini";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void WriteFile(const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    std::string ReadFile() const {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir, file;
};

TEST_F(RegistryTest, ValuesRoundTripThroughTheFile) {
    const struct {
        const char* name;
        std::string value;
    } strings[] = {
        {"plain", "/home/user/Videos"},
        {"empty", ""},
        {"quotes and backslashes", "C:\\dir \"x\"\\"},
        {"control characters", std::string("a\nb\rc\td\x01") + "e"},
        {"blanks kept", "  padded  "},
        {"looks like syntax", "[Software\\Other]\n\"x\"=dword:1"},
        {"utf-8", "/home/j\xC3\xBCrgen/\xE8\xA7\x86\xE9\xA2\x91"},
        {"name with = and \"", "v"},
    };
    const struct {
        const char* name;
        std::uint32_t value;
    } numbers[] = {{"zero", 0}, {"cpu_usage", 50}, {"max", 0xFFFFFFFFu}};
    {
        auto key = RegKey::Create("Software\\Discreel", file);
        ASSERT_TRUE(key);
        for (const auto& s : strings) EXPECT_TRUE(key->SetString(s.name, s.value)) << s.name;
        for (const auto& n : numbers) EXPECT_TRUE(key->SetDword(n.name, n.value)) << n.name;
    }
    // A fresh reader sees exactly what was written.
    auto key = RegKey::Open("Software\\Discreel", file);
    ASSERT_TRUE(key);
    for (const auto& s : strings) {
        auto v = key->QueryString(s.name);
        ASSERT_TRUE(v) << s.name;
        EXPECT_EQ(*v, s.value) << s.name;
        EXPECT_FALSE(key->QueryDword(s.name)) << "a string is no number: " << s.name;
    }
    for (const auto& n : numbers) {
        auto v = key->QueryDword(n.name);
        ASSERT_TRUE(v) << n.name;
        EXPECT_EQ(*v, n.value) << n.name;
        EXPECT_FALSE(key->QueryString(n.name)) << "a number is no string: " << n.name;
    }
}

TEST_F(RegistryTest, RewritingAValueReplacesItAndLeavesOthersAlone) {
    auto a = RegKey::Create("Software\\Discreel", file);
    auto b = RegKey::Create("Software\\Other", file);
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(a->SetString("strAction", "No Action"));
    ASSERT_TRUE(b->SetString("strAction", "elsewhere"));
    ASSERT_TRUE(a->SetDword("cpu_usage", 50));
    ASSERT_TRUE(a->SetString("strAction", "Shut Down"));
    // Same name, other type: the number takes the string's place.
    ASSERT_TRUE(a->SetDword("strAction", 7));
    ASSERT_TRUE(a->SetString("strAction", "Shut Down"));

    EXPECT_EQ(a->QueryString("strAction"), "Shut Down");
    EXPECT_EQ(b->QueryString("strAction"), "elsewhere");
    EXPECT_EQ(a->QueryDword("cpu_usage"), 50u);
    const std::string text = ReadFile();
    std::size_t count = 0;
    for (std::size_t at = text.find("\"strAction\""); at != std::string::npos;
         at = text.find("\"strAction\"", at + 1))
        ++count;
    EXPECT_EQ(count, 2u) << text;  // one in each key
}

TEST_F(RegistryTest, KeyPathsAndNamesMatchAsTheRegistryDoes) {
    auto key = RegKey::Create("Software\\", file);  // an empty application title
    ASSERT_TRUE(key);
    EXPECT_EQ(key->Path(), "Software");
    ASSERT_TRUE(key->SetString("strOutFolder", "/a"));
    ASSERT_TRUE(RegKey::Create("Software\\Discreel", file)->SetString("strOutFolder", "/b"));

    EXPECT_EQ(RegKey::Open("Software", file)->QueryString("strOutFolder"), "/a");
    EXPECT_EQ(RegKey::Open("SOFTWARE\\\\", file)->QueryString("STROUTFOLDER"), "/a");
    EXPECT_EQ(RegKey::Open("software\\discreel", file)->QueryString("strOutFolder"), "/b");
    EXPECT_FALSE(RegKey::Open("Software\\Discreel\\Sub", file));
    for (const char* bad : {"", "\\", "Software\\Line\nBreak"}) {
        EXPECT_FALSE(RegKey::Create(bad, file)) << bad;
        EXPECT_FALSE(RegKey::Open(bad, file)) << bad;
    }
}

TEST_F(RegistryTest, MissingFileOrKeyOpensNothingAndCreateMakesThem) {
    EXPECT_FALSE(RegKey::Open("Software\\Discreel", file));
    EXPECT_FALSE(fs::exists(file)) << "reading must not create anything";
    auto key = RegKey::Create("Software\\Discreel", file);
    ASSERT_TRUE(key);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_FALSE(key->QueryString("strOutFolder"));
    EXPECT_TRUE(RegKey::Open("Software\\Discreel", file));
    EXPECT_FALSE(RegKey::Open("Software\\Else", file));
}

TEST_F(RegistryTest, AReadOnlyKeyDoesNotWrite) {
    ASSERT_TRUE(RegKey::Create("Software\\Discreel", file)->SetString("strImageType", "BMP"));
    auto key = RegKey::Open("Software\\Discreel", file);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->SetString("strImageType", "GIF"));
    EXPECT_FALSE(key->SetDword("cpu_usage", 1));
    EXPECT_EQ(key->QueryString("strImageType"), "BMP");
}

TEST_F(RegistryTest, ADamagedFileYieldsWhatIsReadableAndKeepsTheRestOnWrite) {
    const std::string damaged =
        "garbage without structure\r\n"
        "[Software\\Discreel]\r\n"
        "\"strOutFolder\"=\"/good\"\r\n"
        "\"strSnapFolder\"=\"/unterminated\r\n"
        "\"cpu_usage\"=dword:123456789\r\n"  // nine digits
        "\"strAction\"=dword:xyz\r\n"
        "\"strImageType\"=\"JPEG\" trailing\r\n"
        "strAction=No Action\r\n"
        "\"other\"=dword:0000002a\r\n"
        "[broken header\r\n"
        "\"late\"=\"belongs to the broken key\"\r\n"
        "\x01\x02\xff binary\r\n";
    WriteFile(damaged);
    auto key = RegKey::Create("Software\\Discreel", file);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->QueryString("strOutFolder"), "/good");
    EXPECT_EQ(key->QueryDword("other"), 42u);
    EXPECT_FALSE(key->QueryString("late"));
    for (const char* broken : {"strSnapFolder", "strImageType", "strAction"})
        EXPECT_FALSE(key->QueryString(broken)) << broken;
    EXPECT_FALSE(key->QueryDword("cpu_usage"));
    EXPECT_FALSE(key->QueryDword("strAction"));

    ASSERT_TRUE(key->SetDword("cpu_usage", 70));
    ASSERT_TRUE(key->SetString("strSnapFolder", "/snaps"));
    EXPECT_EQ(key->QueryDword("cpu_usage"), 70u);
    EXPECT_EQ(key->QueryString("strSnapFolder"), "/snaps");
    EXPECT_EQ(key->QueryString("strOutFolder"), "/good");
    // What the store could not read is still there for the person who wrote it.
    const std::string text = ReadFile();
    for (const char* kept :
         {"garbage without structure", "[broken header", "\"late\"=\"belongs to the broken key\"",
          "\x01\x02\xff binary", "strAction=No Action", "\"strImageType\"=\"JPEG\" trailing"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
}

TEST_F(RegistryTest, AFileThatCannotBeReadOrWrittenIsLeftAlone) {
    // The registry file is a folder: nothing can be read, and writing must not
    // replace it.
    fs::create_directories(file / "inside");
    EXPECT_FALSE(RegKey::Open("Software\\Discreel", file));
    EXPECT_FALSE(RegKey::Create("Software\\Discreel", file));
    EXPECT_TRUE(fs::is_directory(file / "inside"));

    // The configuration folder cannot be made: a file stands in its place.
    const fs::path blocked = dir / "blocked";
    std::ofstream(blocked) << "not a folder";
    EXPECT_FALSE(RegKey::Create("Software\\Discreel", blocked / "registry.ini"));
}

TEST_F(RegistryTest, WritesLeaveOnlyTheFinishedFile) {
    auto key = RegKey::Create("Software\\Discreel", file);
    ASSERT_TRUE(key);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(key->SetDword("n", std::uint32_t(i)));
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(file.parent_path()))
        names.push_back(e.path().filename().string());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], "registry.ini");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryTest, WritersInSeveralProcessesLoseNothing) {
    // Each process changes its own values of one key; every change must survive
    // the others' read-change-replace of the same file.
    ASSERT_TRUE(RegKey::Create("Software\\Discreel", file));
    constexpr int kProcesses = 4, kWrites = 15;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            auto key = RegKey::Create("Software\\Discreel", file);
            bool ok = bool(key);
            for (int i = 0; ok && i < kWrites; ++i)
                ok = key->SetDword("p" + std::to_string(p) + "_" + std::to_string(i),
                                   std::uint32_t(p * 100 + i));
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto key = RegKey::Open("Software\\Discreel", file);
    ASSERT_TRUE(key);
    int found = 0;
    for (int p = 0; p < kProcesses; ++p)
        for (int i = 0; i < kWrites; ++i)
            found += key->QueryDword("p" + std::to_string(p) + "_" + std::to_string(i)) ==
                     std::uint32_t(p * 100 + i);
    EXPECT_EQ(found, kProcesses * kWrites);
}

TEST_F(RegistryTest, TheDefaultFileFollowsTheXdgConfigFolder) {
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "", savedHome = oldHome ? oldHome : "";

    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_CONFIG_HOME", "/xdg/conf", 1);
    EXPECT_EQ(DefaultRegistryFile(), fs::path("/xdg/conf/discreel/registry.ini"));
    ::setenv("XDG_CONFIG_HOME", "relative/conf", 1);  // ignored, as the XDG rules ask
    EXPECT_EQ(DefaultRegistryFile(), fs::path("/home/someone/.config/discreel/registry.ini"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(DefaultRegistryFile(), fs::path("/home/someone/.config/discreel/registry.ini"));

    // The default file is what the one-argument calls use.
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    ASSERT_TRUE(RegKey::Create("Software\\Discreel")->SetString("x", "y"));
    EXPECT_TRUE(fs::exists(dir / "discreel" / "registry.ini"));
    EXPECT_EQ(RegKey::Open("Software\\Discreel")->QueryString("x"), "y");

    if (oldXdg)
        ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    if (oldHome)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}

}  // namespace
