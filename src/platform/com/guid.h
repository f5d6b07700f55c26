#pragma once
// GUIDs parsed at compile time from their registry form "{XXXXXXXX-XXXX-...}",
// so the class and interface ids are typed exactly once, as text.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i]) return false;
        return true;
    }
    friend constexpr bool operator<(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1) return a.Data1 < b.Data1;
        if (a.Data2 != b.Data2) return a.Data2 < b.Data2;
        if (a.Data3 != b.Data3) return a.Data3 < b.Data3;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i]) return a.Data4[i] < b.Data4[i];
        return false;
    }
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFIID = const GUID&;
using REFCLSID = const GUID&;
using REFGUID = const GUID&;

namespace guid_detail {
constexpr int HexValue(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}
constexpr std::uint64_t Hex(std::string_view s, std::size_t pos, std::size_t n, bool& ok) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        int d = pos + i < s.size() ? HexValue(s[pos + i]) : -1;
        if (d < 0) ok = false;
        v = (v << 4) | std::uint64_t(d < 0 ? 0 : d);
    }
    return v;
}
}  // namespace guid_detail

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional). Sets *ok
// (when given) to whether the text was a well-formed GUID.
constexpr GUID GuidFromString(std::string_view s, bool* okOut = nullptr) {
    bool ok = true;
    if (!s.empty() && s.front() == '{') {
        if (s.back() != '}') ok = false;
        s = s.substr(1, s.size() >= 2 ? s.size() - 2 : 0);
    }
    if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') ok = false;
    GUID g{};
    if (ok) {
        using guid_detail::Hex;
        g.Data1 = std::uint32_t(Hex(s, 0, 8, ok));
        g.Data2 = std::uint16_t(Hex(s, 9, 4, ok));
        g.Data3 = std::uint16_t(Hex(s, 14, 4, ok));
        g.Data4[0] = std::uint8_t(Hex(s, 19, 2, ok));
        g.Data4[1] = std::uint8_t(Hex(s, 21, 2, ok));
        for (int i = 0; i < 6; ++i) g.Data4[2 + i] = std::uint8_t(Hex(s, 24 + 2 * i, 2, ok));
    }
    if (!ok) g = GUID{};
    if (okOut) *okOut = ok;
    return g;
}

// Compile-time GUID literal; a malformed text fails to compile.
consteval GUID MakeGuid(std::string_view s) {
    bool ok = false;
    GUID g = GuidFromString(s, &ok);
    if (!ok) throw "malformed GUID literal";
    return g;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::string GuidToString(const GUID& g);

inline constexpr GUID GUID_NULL{};

template <>
struct std::hash<GUID> {
    std::size_t operator()(const GUID& g) const noexcept {
        std::uint64_t a = (std::uint64_t(g.Data1) << 32) | (std::uint64_t(g.Data2) << 16) | g.Data3;
        std::uint64_t b = 0;
        for (int i = 0; i < 8; ++i) b = (b << 8) | g.Data4[i];
        return std::hash<std::uint64_t>{}(a * 0x9E3779B97F4A7C15ull ^ b);
    }
};
