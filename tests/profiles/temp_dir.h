#pragma once
// A scratch folder per test, removed afterwards.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "discreel-profiles-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        path_ = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    // Writes raw bytes to <dir>/<name> and returns the full path.
    std::string Write(const std::string& name, std::string_view bytes) const {
        std::string full = path_ + "/" + name;
        std::ofstream(full, std::ios::binary).write(bytes.data(), bytes.size());
        return full;
    }

  private:
    std::string path_;
};
