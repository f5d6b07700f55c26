#include "preferences.h"

#include <QDir>

#include "platform/win/registry.h"
#include "profiles/profile.h"

Preferences& ThePreferences() {
    static Preferences prefs = DefaultPreferences();
    return prefs;
}

Preferences DefaultPreferences() {
    Preferences p;
    const std::string home = QDir::homePath().toStdString();
    p.strOutFolder = home;
    p.strSnapFolder = home;
    p.strImageType = "BMP";
    p.strAction = kNoAction;
    p.cpu_usage = 50;
    return p;
}

std::string PreferencesKey() {
    return "Software\\" + profiles::AppTitle();
}

void LoadPreferences(Preferences& prefs, const std::string& key) {
    prefs = DefaultPreferences();
    const auto reg = RegKey::Open(key);
    if (!reg) return;
    const std::pair<const char*, std::string*> strings[] = {
        {kOutFolderValue, &prefs.strOutFolder},
        {kSnapFolderValue, &prefs.strSnapFolder},
        {kImageTypeValue, &prefs.strImageType},
        {kActionValue, &prefs.strAction}};
    for (const auto& [name, target] : strings)
        if (auto v = reg->QueryString(name)) *target = *v;
    if (auto v = reg->QueryDword(kCpuUsageValue)) prefs.cpu_usage = static_cast<std::int32_t>(*v);
}

void LoadPreferences() {
    LoadPreferences(ThePreferences(), PreferencesKey());
}

bool SaveOutFolder(Preferences& prefs, const std::string& key, const std::string& folder) {
    prefs.strOutFolder = folder;
    auto reg = RegKey::Create(key);
    return reg && reg->SetString(kOutFolderValue, folder);
}

bool SaveOutFolder(const std::string& folder) {
    return SaveOutFolder(ThePreferences(), PreferencesKey(), folder);
}
