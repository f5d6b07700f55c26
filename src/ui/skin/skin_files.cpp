#include "skin_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/win/paths.h"

namespace fs = std::filesystem;

namespace {
std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// ".\skin\Cancel.png", "./skin/cancel.png", ".//skin//starup.jpg", "skin/x.png"
// and "x.png" all name a file relative to skin/.
std::string NameInSkinDir(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    fs::path p = fs::path(name).lexically_normal();
    auto it = p.begin();
    if (it != p.end() && Lower(it->string()) == "skin") ++it;
    fs::path rest;
    for (; it != p.end(); ++it) rest /= *it;
    return rest.string();
}
}  // namespace

std::string ResolveIgnoringCase(const std::string& dir, const std::string& relative) {
    std::error_code ec;
    fs::path current(dir);
    for (const auto& part : fs::path(relative)) {
        if (part.empty() || part == ".") continue;
        fs::path exact = current / part;
        if (fs::exists(exact, ec)) {
            current = exact;
            continue;
        }
        if (!fs::is_directory(current, ec)) return {};
        const std::string wanted = Lower(part.string());
        fs::path found;
        for (const auto& entry : fs::directory_iterator(current, ec)) {
            if (Lower(entry.path().filename().string()) == wanted) {
                found = entry.path();
                break;
            }
        }
        if (found.empty()) return {};
        current = found;
    }
    return fs::exists(current, ec) ? current.string() : std::string();
}

std::string FindSkinFile(const std::string& name) {
    if (name.empty()) return {};
    std::error_code ec;
    std::string slashed = name;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    if (fs::is_regular_file(slashed, ec)) return slashed;
    if (fs::path(slashed).is_absolute()) {
        fs::path p(slashed);
        std::string hit = ResolveIgnoringCase(p.parent_path().string(), p.filename().string());
        return hit;
    }
    const std::string inSkin = NameInSkinDir(name);
    if (inSkin.empty()) return {};
    for (const auto& dir : DataSearchDirs()) {
        std::string hit = ResolveIgnoringCase(dir, (fs::path("skin") / inSkin).string());
        if (!hit.empty() && fs::is_regular_file(hit, ec)) return hit;
    }
    return {};
}

QImage LoadSkinImage(const std::string& name) {
    std::string path = FindSkinFile(name);
    if (path.empty()) return {};
    QImage image(QString::fromStdString(path));
    if (image.isNull()) return {};
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}
