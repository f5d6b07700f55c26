#include "paths.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string ExecutableDir() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return ".";
    return exe.parent_path().string();
}

std::vector<std::string> DataSearchDirs() {
    std::string exeDir = ExecutableDir();
    return {".", exeDir, (fs::path(exeDir) / ".." / "share" / "discreel").lexically_normal().string()};
}

std::string FindDataFile(const std::string& relative) {
    for (const auto& dir : DataSearchDirs()) {
        fs::path p = fs::path(dir) / relative;
        std::error_code ec;
        if (fs::exists(p, ec)) return p.string();
    }
    return {};
}
