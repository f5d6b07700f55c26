#include "main_prefs.h"

#include <QDir>

namespace main_prefs {
namespace {
std::string g_outFolder;
std::string g_snapFolder;
std::string g_imageType = "JPEG";
}  // namespace

void Load() {
    const std::string home = QDir::homePath().toStdString();
    if (g_outFolder.empty()) g_outFolder = home;
    if (g_snapFolder.empty()) g_snapFolder = home;
}

const std::string& OutFolder() { return g_outFolder; }

void SaveOutFolder(const std::string& folder) { g_outFolder = folder; }

const std::string& SnapFolder() { return g_snapFolder; }

const std::string& ImageType() { return g_imageType; }

}  // namespace main_prefs
