#pragma once
// The handful of Windows scalar types the media code is written in terms of.
// Fixed-width so that on-disk and in-memory records keep their byte layouts.
#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using UINT = unsigned int;
using BOOL = int;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using REFERENCE_TIME = std::int64_t;  // 100-ns units
using HRESULT = std::int32_t;
using LPVOID = void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Reference time helpers: 100 ns per unit.
constexpr REFERENCE_TIME UNITS = 10000000;
constexpr REFERENCE_TIME MILLISECONDS = 10000;

struct RECT {
    LONG left = 0, top = 0, right = 0, bottom = 0;
    LONG Width() const { return right - left; }
    LONG Height() const { return bottom - top; }
    bool operator==(const RECT&) const = default;
};
struct SIZE {
    LONG cx = 0, cy = 0;
    bool operator==(const SIZE&) const = default;
};
struct POINT {
    LONG x = 0, y = 0;
    bool operator==(const POINT&) const = default;
};
using COLORREF = DWORD;
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return DWORD(r) | (DWORD(g) << 8) | (DWORD(b) << 16);
}
