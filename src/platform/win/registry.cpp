#include "registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// One process may write from several threads; each write is a whole
// read-modify-replace of the file.
std::mutex g_fileLock;

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[5];
                    std::snprintf(buf, sizeof buf, "\\x%02X", c);
                    out += buf;
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void SkipBlanks(const std::string& s, std::size_t& i) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
}

// Reads a quoted string starting at s[i] == '"'; i ends after the closing quote.
bool Unquote(const std::string& s, std::size_t& i, std::string& out) {
    if (i >= s.size() || s[i] != '"') return false;
    out.clear();
    for (++i; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            ++i;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= s.size()) return false;
        switch (s[i]) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                if (i + 2 >= s.size()) return false;
                int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
                if (hi < 0 || lo < 0) return false;
                out += char(hi * 16 + lo);
                i += 2;
                break;
            }
            default:
                return false;
        }
    }
    return false;  // no closing quote
}

// A line that looks like a header but names no key ends the key above it:
// the values below belong to a key that cannot be read, not to that one.
enum class Kind { Raw, Section, BadSection, String, Dword };

struct Line {
    Kind kind = Kind::Raw;
    std::string text;  // the line as read or as it will be written
    std::string key;   // Section: the normalised key path
    std::string name;  // String, Dword: the value name
    std::string str;   // String: the value
    std::uint32_t dword = 0;
};

Line ParseLine(const std::string& text) {
    Line line;
    line.text = text;
    std::size_t i = 0;
    SkipBlanks(text, i);
    if (i < text.size() && text[i] == '[') {
        line.kind = Kind::BadSection;
        const std::size_t close = text.rfind(']');
        if (close == std::string::npos || close < i) return line;
        std::size_t after = close + 1;
        SkipBlanks(text, after);
        if (after != text.size()) return line;
        auto key = NormalizeKeyPath(text.substr(i + 1, close - i - 1));
        if (!key) return line;
        line.kind = Kind::Section;
        line.key = *key;
        return line;
    }
    std::string name;
    if (!Unquote(text, i, name)) return line;
    SkipBlanks(text, i);
    if (i >= text.size() || text[i] != '=') return line;
    ++i;
    SkipBlanks(text, i);
    if (i < text.size() && text[i] == '"') {
        std::string value;
        if (!Unquote(text, i, value)) return line;
        SkipBlanks(text, i);
        if (i != text.size()) return line;
        line.kind = Kind::String;
        line.name = name;
        line.str = value;
        return line;
    }
    static const std::string kDword = "dword:";
    if (text.compare(i, kDword.size(), kDword) != 0) return line;
    i += kDword.size();
    std::uint32_t v = 0;
    int digits = 0;
    for (; i < text.size() && HexDigit(text[i]) >= 0; ++i, ++digits) v = v * 16 + HexDigit(text[i]);
    SkipBlanks(text, i);
    if (digits == 0 || digits > 8 || i != text.size()) return line;
    line.kind = Kind::Dword;
    line.name = name;
    line.dword = v;
    return line;
}

struct Document {
    std::vector<Line> lines;

    // The index of the key's header, or -1.
    long FindSection(const std::string& key) const {
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].kind == Kind::Section && EqualNoCase(lines[i].key, key)) return long(i);
        return -1;
    }
    // The first value of that name in the section starting at header, or -1.
    long FindValue(long header, const std::string& name) const {
        for (std::size_t i = std::size_t(header) + 1; i < lines.size(); ++i) {
            if (lines[i].kind == Kind::Section || lines[i].kind == Kind::BadSection) break;
            if ((lines[i].kind == Kind::String || lines[i].kind == Kind::Dword) &&
                EqualNoCase(lines[i].name, name))
                return long(i);
        }
        return -1;
    }
    // Where a new value of the section goes: after its last value, or right
    // after the header when it has none (blank and raw lines that follow stay
    // below).
    std::size_t InsertPoint(long header) const {
        std::size_t at = std::size_t(header) + 1;
        for (std::size_t i = at; i < lines.size(); ++i) {
            if (lines[i].kind == Kind::Section || lines[i].kind == Kind::BadSection) break;
            if (lines[i].kind != Kind::Raw) at = i + 1;
        }
        return at;
    }
    long AddSection(const std::string& key) {
        if (!lines.empty() && !lines.back().text.empty()) lines.push_back(ParseLine(""));
        lines.push_back(ParseLine("[" + key + "]"));
        return long(lines.size()) - 1;
    }
    std::string Text() const {
        std::string out;
        for (const Line& l : lines) out += l.text + "\n";
        return out;
    }
};

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadDocument(const fs::path& file, Document& doc) {
    doc.lines.clear();
    std::error_code ec;
    const fs::file_status st = fs::status(file, ec);
    if (st.type() == fs::file_type::not_found) return ReadResult::Missing;
    if (ec || st.type() != fs::file_type::regular) return ReadResult::Failed;
    std::ifstream in(file, std::ios::binary);
    if (!in) return ReadResult::Failed;
    std::ostringstream buf;
    buf << in.rdbuf();
    if (in.bad()) return ReadResult::Failed;
    const std::string text = buf.str();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        doc.lines.push_back(ParseLine(line));
        start = end + 1;
    }
    return ReadResult::Ok;
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

// Writes beside the file, flushes to disk, then renames over it: readers and a
// crash see either the old file or the new one, never half of one.
bool ReplaceFile(const fs::path& file, const std::string& data) {
    std::error_code ec;
    const fs::path dir = file.parent_path();
    if (!dir.empty()) {
        fs::create_directories(dir, ec);
        if (ec) return false;
    }
    std::string pattern = file.string() + ".XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) return false;
    // Preferences are private to the user.
    ::fchmod(fd, 0600);
    bool ok = WriteAll(fd, data) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = std::rename(pattern.c_str(), file.c_str()) == 0;
    if (!ok) {
        ::unlink(pattern.c_str());
        return false;
    }
    if (!dir.empty()) {
        int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        if (dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
    }
    return true;
}

// Writers in other processes (a second Discreel) read, change and replace the
// same file; holding the folder's lock across the three keeps each one's
// change. Readers need no lock: they see one whole file or the other.
class WriteLock {
  public:
    explicit WriteLock(const fs::path& file) {
        const fs::path dir = file.parent_path().empty() ? fs::path(".") : file.parent_path();
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec) return;
        fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~WriteLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace

fs::path DefaultRegistryFile() {
    fs::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && fs::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw ? pw->pw_dir : nullptr;
        }
        base = fs::path(home && *home ? home : "/tmp") / ".config";
    }
    return base / "discreel" / "registry.ini";
}

std::optional<std::string> NormalizeKeyPath(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
        if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    if (out.empty()) return std::nullopt;
    return out;
}

std::optional<RegKey> RegKey::Open(const std::string& path) {
    return Open(path, DefaultRegistryFile());
}

std::optional<RegKey> RegKey::Open(const std::string& path, const fs::path& file) {
    auto key = NormalizeKeyPath(path);
    if (!key) return std::nullopt;
    std::lock_guard<std::mutex> lock(g_fileLock);
    Document doc;
    if (ReadDocument(file, doc) != ReadResult::Ok || doc.FindSection(*key) < 0) return std::nullopt;
    return RegKey(*key, file, false);
}

std::optional<RegKey> RegKey::Create(const std::string& path) {
    return Create(path, DefaultRegistryFile());
}

std::optional<RegKey> RegKey::Create(const std::string& path, const fs::path& file) {
    auto key = NormalizeKeyPath(path);
    if (!key) return std::nullopt;
    std::lock_guard<std::mutex> lock(g_fileLock);
    WriteLock writers(file);
    if (!writers.Held()) return std::nullopt;
    Document doc;
    if (ReadDocument(file, doc) == ReadResult::Failed) return std::nullopt;
    if (doc.FindSection(*key) < 0) doc.AddSection(*key);
    // Written even when the key existed: a key that cannot be written must not
    // be handed out for writing.
    if (!ReplaceFile(file, doc.Text())) return std::nullopt;
    return RegKey(*key, file, true);
}

namespace {

// The value's line under the key, when the file holds it with that type.
std::optional<Line> ReadValue(const fs::path& file, const std::string& key, const std::string& name,
                              Kind kind) {
    std::lock_guard<std::mutex> lock(g_fileLock);
    Document doc;
    if (ReadDocument(file, doc) != ReadResult::Ok) return std::nullopt;
    const long header = doc.FindSection(key);
    if (header < 0) return std::nullopt;
    const long at = doc.FindValue(header, name);
    if (at < 0 || doc.lines[at].kind != kind) return std::nullopt;
    return doc.lines[at];
}

}  // namespace

std::optional<std::string> RegKey::QueryString(const std::string& name) const {
    if (auto line = ReadValue(file_, path_, name, Kind::String)) return line->str;
    return std::nullopt;
}

std::optional<std::uint32_t> RegKey::QueryDword(const std::string& name) const {
    if (auto line = ReadValue(file_, path_, name, Kind::Dword)) return line->dword;
    return std::nullopt;
}

bool RegKey::SetString(const std::string& name, const std::string& value) {
    return SetValue(name, Quote(name) + "=" + Quote(value));
}

bool RegKey::SetDword(const std::string& name, std::uint32_t value) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", value);
    return SetValue(name, Quote(name) + "=dword:" + hex);
}

bool RegKey::SetValue(const std::string& name, const std::string& encoded) {
    if (!writable_) return false;
    std::lock_guard<std::mutex> lock(g_fileLock);
    WriteLock writers(file_);
    if (!writers.Held()) return false;
    Document doc;
    if (ReadDocument(file_, doc) == ReadResult::Failed) return false;
    // Another program may have removed the key since it was opened; it comes back.
    long header = doc.FindSection(path_);
    if (header < 0) header = doc.AddSection(path_);
    Line line = ParseLine(encoded);
    if (const long at = doc.FindValue(header, name); at >= 0)
        doc.lines[at] = std::move(line);
    else
        doc.lines.insert(doc.lines.begin() + long(doc.InsertPoint(header)), std::move(line));
    return ReplaceFile(file_, doc.Text());
}
