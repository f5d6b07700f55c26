#pragma once
// A small stand-in for the registry: keys named by backslash paths
// ("Software\Discreel") holding string and 32-bit values, kept in one INI file
// under the user's configuration folder. Like the registry, key paths and value
// names compare without regard to ASCII case, and every write reaches the file
// at once. The file is replaced atomically (temporary file, then rename), so a
// crash in the middle of a write leaves either the old or the new file.
//
// The file looks like a regedit export:
//   [Software\Discreel]
//   "strOutFolder"="/home/me/Videos"
//   "cpu_usage"=dword:00000032
// Lines the store does not understand are kept as they are when it rewrites
// the file, so a hand edit never costs more than the line it broke.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// The file every key lives in: $XDG_CONFIG_HOME/discreel/registry.ini, or
// ~/.config/discreel/registry.ini when XDG_CONFIG_HOME is unset or relative.
// Read from the environment on every call.
std::filesystem::path DefaultRegistryFile();

class RegKey {
  public:
    // Opens an existing key for reading. Empty when the file or the key does
    // not exist, or the path is not a valid key name.
    static std::optional<RegKey> Open(const std::string& path);
    static std::optional<RegKey> Open(const std::string& path, const std::filesystem::path& file);
    // Opens the key for reading and writing, creating it (and the file and its
    // folder) when needed. Empty when it cannot be written, including when the
    // file exists but cannot be read: rewriting it would lose its contents.
    static std::optional<RegKey> Create(const std::string& path);
    static std::optional<RegKey> Create(const std::string& path, const std::filesystem::path& file);

    // The value as the file holds it now; empty when it is missing or of the
    // other type (a number is no string and a string no number).
    std::optional<std::string> QueryString(const std::string& name) const;
    std::optional<std::uint32_t> QueryDword(const std::string& name) const;

    // Writes one value, replacing any value of that name and type. False when
    // the key was opened for reading or the file cannot be written.
    bool SetString(const std::string& name, const std::string& value);
    bool SetDword(const std::string& name, std::uint32_t value);

    // The key's path as it is matched: trailing and doubled backslashes dropped.
    const std::string& Path() const { return path_; }
    const std::filesystem::path& File() const { return file_; }

  private:
    RegKey(std::string path, std::filesystem::path file, bool writable)
        : path_(std::move(path)), file_(std::move(file)), writable_(writable) {}
    bool SetValue(const std::string& name, const std::string& encoded);

    std::string path_;
    std::filesystem::path file_;
    bool writable_;
};

// Key path normalisation as Open and Create apply it: "Software\" and
// "Software" name the same key. Empty when the path holds a control character
// or a "]" , which a key name cannot carry in the file.
std::optional<std::string> NormalizeKeyPath(const std::string& path);
