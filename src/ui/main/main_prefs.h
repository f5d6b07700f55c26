#pragma once
// The preference values the main window reads and writes: the output folder,
// the snapshot folder and the snapshot image type.
#include <string>

namespace main_prefs {

void Load();
const std::string& OutFolder();
// Keeps the folder and writes it to the stored preferences at once.
void SaveOutFolder(const std::string& folder);
const std::string& SnapFolder();
const std::string& ImageType();  // "BMP", "JPEG" or "GIF"

}  // namespace main_prefs
