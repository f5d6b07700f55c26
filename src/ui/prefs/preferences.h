#pragma once
// The user's preferences: five values kept in the registry stand-in under
// "Software\" + the application title, loaded when the main window opens and
// changed by the preferences dialog and by the main window's output folder.
//
// Use from the main window:
//   LoadPreferences();                         // after profiles::LoadAppSettings()
//   ThePreferences().strOutFolder              // read any value
//   SaveOutFolder(folder);                     // Browse and Start: keep and store at once
#include <cstdint>
#include <string>

struct Preferences {
    std::string strOutFolder;     // converted files go here
    std::string strSnapFolder;    // preview snapshots go here
    std::string strImageType;     // "BMP", "JPEG" or "GIF": the snapshot file's extension
    std::string strAction;        // "No Action" or "Shut Down" when a conversion completes
    std::int32_t cpu_usage = 50;  // percent, one of 50..100 in steps of 10; only shown
};

// Names of the stored values.
inline constexpr const char* kOutFolderValue = "strOutFolder";
inline constexpr const char* kSnapFolderValue = "strSnapFolder";
inline constexpr const char* kImageTypeValue = "strImageType";
inline constexpr const char* kActionValue = "strAction";
inline constexpr const char* kCpuUsageValue = "cpu_usage";

inline constexpr const char* kNoAction = "No Action";
inline constexpr const char* kShutDown = "Shut Down";

// The process's preferences (defaults until LoadPreferences runs).
Preferences& ThePreferences();

// The defaults: both folders the user's home, "BMP", "No Action", 50.
Preferences DefaultPreferences();

// "Software\" followed by the application title of Set.xml.
std::string PreferencesKey();

// Sets the defaults, then takes every stored value of the right type from the
// key. A missing key or value keeps its default, silently.
void LoadPreferences(Preferences& prefs, const std::string& key);
void LoadPreferences();  // ThePreferences() from PreferencesKey()

// Assigns the output folder and writes it at once; false when it could not be
// written (the value is kept in memory all the same).
bool SaveOutFolder(Preferences& prefs, const std::string& key, const std::string& folder);
bool SaveOutFolder(const std::string& folder);  // ThePreferences(), PreferencesKey()
