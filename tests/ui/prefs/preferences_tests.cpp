#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <fstream>

#include "platform/win/registry.h"
#include "prefs_test_util.h"
#include "profiles/profile.h"
#include "ui/prefs/combo_search.h"
#include "ui/prefs/preferences.h"

namespace {

const std::string kKey = "Software\\Discreel";

class PreferencesTest : public GuiTest {};

void ExpectDefaults(const Preferences& p, const std::string& home) {
    EXPECT_EQ(p.strOutFolder, home);
    EXPECT_EQ(p.strSnapFolder, home);
    EXPECT_EQ(p.strImageType, "BMP");
    EXPECT_EQ(p.strAction, "No Action");
    EXPECT_EQ(p.cpu_usage, 50);
}

TEST_F(PreferencesTest, WithoutStoredValuesTheDefaultsHold) {
    Preferences p;
    p.strOutFolder = "left over";
    p.cpu_usage = 90;
    LoadPreferences(p, kKey);
    ExpectDefaults(p, home.string());
    EXPECT_FALSE(std::filesystem::exists(RegistryFile())) << "loading must not write";
}

TEST_F(PreferencesTest, StoredValuesReplaceTheDefaults) {
    {
        auto key = RegKey::Create(kKey);
        ASSERT_TRUE(key);
        key->SetString("strOutFolder", "/media/out dir");
        key->SetString("strSnapFolder", "/media/snaps");
        key->SetString("strImageType", "GIF");
        key->SetString("strAction", "Shut Down");
        key->SetDword("cpu_usage", 80);
    }
    Preferences p;
    LoadPreferences(p, kKey);
    EXPECT_EQ(p.strOutFolder, "/media/out dir");
    EXPECT_EQ(p.strSnapFolder, "/media/snaps");
    EXPECT_EQ(p.strImageType, "GIF");
    EXPECT_EQ(p.strAction, "Shut Down");
    EXPECT_EQ(p.cpu_usage, 80);
}

TEST_F(PreferencesTest, ValuesOfTheWrongTypeOrInABrokenFileKeepTheirDefaults) {
    const struct {
        const char* name;
        std::string file;
        std::string outFolder;  // expected; "" = the default
    } cases[] = {
        {"types swapped",
         "[Software\\Discreel]\n\"strOutFolder\"=dword:00000001\n\"strSnapFolder\"=dword:2\n"
         "\"strImageType\"=dword:3\n\"strAction\"=dword:4\n\"cpu_usage\"=\"80\"\n",
         ""},
        {"binary junk", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), ""},
        {"truncated in the middle of a value",
         "[Software\\Discreel]\n\"strOutFolder\"=\"/good\"\n\"cpu_usage\"=dwo", "/good"},
        {"another program's key only", "[Software\\Other]\n\"strOutFolder\"=\"/other\"\n", ""},
    };
    for (const auto& c : cases) {
        std::filesystem::create_directories(RegistryFile().parent_path());
        std::ofstream(RegistryFile(), std::ios::binary | std::ios::trunc) << c.file;
        Preferences p;
        LoadPreferences(p, kKey);
        EXPECT_EQ(p.strOutFolder, c.outFolder.empty() ? home.string() : c.outFolder) << c.name;
        EXPECT_EQ(p.strSnapFolder, home.string()) << c.name;
        EXPECT_EQ(p.strImageType, "BMP") << c.name;
        EXPECT_EQ(p.strAction, "No Action") << c.name;
        EXPECT_EQ(p.cpu_usage, 50) << c.name;
    }
}

TEST_F(PreferencesTest, AFolderLongerThanOldPathLimitsIsReadBackWhole) {
    // Linux paths reach 4096 bytes; a stored folder must never fall back to the
    // default on the next start because it is long.
    std::string deep = "/media";
    while (deep.size() < 1500) deep += "/a folder with a long name";
    Preferences saved = DefaultPreferences();
    ASSERT_TRUE(SaveOutFolder(saved, kKey, deep));
    Preferences p;
    LoadPreferences(p, kKey);
    EXPECT_EQ(p.strOutFolder, deep);
}

TEST_F(PreferencesTest, TheOutputFolderIsStoredAtOnceAndReadBack) {
    Preferences p = DefaultPreferences();
    ASSERT_TRUE(SaveOutFolder(p, kKey, "/srv/video out"));
    EXPECT_EQ(p.strOutFolder, "/srv/video out");
    Preferences again;
    LoadPreferences(again, kKey);
    EXPECT_EQ(again.strOutFolder, "/srv/video out");
    EXPECT_EQ(again.strSnapFolder, home.string());
}

TEST_F(PreferencesTest, AFolderThatCannotBeStoredIsStillKeptForTheSession) {
    ::setenv("XDG_CONFIG_HOME", (root / "a-file").c_str(), 1);
    std::ofstream(root / "a-file") << "not a folder";
    Preferences p = DefaultPreferences();
    EXPECT_FALSE(SaveOutFolder(p, kKey, "/srv/out"));
    EXPECT_EQ(p.strOutFolder, "/srv/out");
}

TEST_F(PreferencesTest, TheKeyIsNamedAfterTheApplicationTitle) {
    const auto set = root / "Set.xml";
    std::ofstream(set)
        << "<S><Profile><Title value=\"My Ripper\"/><Url value=\"x\"/></Profile></S>";
    profiles::LoadAppSettings(set.string());
    EXPECT_EQ(PreferencesKey(), "Software\\My Ripper");
    ASSERT_TRUE(SaveOutFolder("/x"));
    EXPECT_EQ(ThePreferences().strOutFolder, "/x");
    EXPECT_NE(ReadRegistry().find("[Software\\My Ripper]"), std::string::npos) << ReadRegistry();
    ThePreferences().strOutFolder.clear();
    LoadPreferences();
    EXPECT_EQ(ThePreferences().strOutFolder, "/x");
}

TEST_F(PreferencesTest, AnEmptyTitleKeepsTheValuesDirectlyUnderSoftware) {
    Preferences p = DefaultPreferences();
    ASSERT_TRUE(SaveOutFolder(p, "Software\\", "/y"));
    EXPECT_EQ(RegKey::Open("Software")->QueryString("strOutFolder"), "/y");
    Preferences again;
    LoadPreferences(again, "Software\\");
    EXPECT_EQ(again.strOutFolder, "/y");
}

TEST_F(PreferencesTest, ComboSearchFindsByPrefixAfterTheFirstEntryAndWraps) {
    QComboBox combo;
    combo.addItems({"BMP", "JPEG", "GIF", "BMP2"});
    const struct {
        const char* text;
        int found;
    } cases[] = {
        {"BMP", 0},   // an equal entry wins over "BMP2", which the search meets first
        {"bm", 3},    // "BMP2" comes first when the search starts after entry 0
        {"bmp2", 3},  // case does not matter
        {"jp", 1},   {"GIF", 2},   {"", 1},  // an empty text takes the entry after the first
        {"PNG", -1}, {"BMPX", -1},
    };
    for (const auto& c : cases) {
        combo.setCurrentIndex(2);
        EXPECT_EQ(SelectStringPrefix(&combo, c.text), c.found) << c.text;
        EXPECT_EQ(combo.currentIndex(), c.found >= 0 ? c.found : 2)
            << "no match leaves the selection: " << c.text;
    }
    QComboBox single;
    single.addItem("Default");
    EXPECT_EQ(FindStringPrefix(&single, ""), 0);
    EXPECT_EQ(FindStringPrefix(&single, "def"), 0);
    QComboBox none;
    EXPECT_EQ(FindStringPrefix(&none, ""), -1);
}

}  // namespace
