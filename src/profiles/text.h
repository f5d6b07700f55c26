#pragma once
// Text helpers shared by the XML reader, the profile catalogue and its users.
// Profiles keep their texts as UTF-16 (the capacities of the record are counted
// in UTF-16 units); the rest of the program speaks UTF-8, which is also the
// "system code page" the encoder names are stored in.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace profiles {

// Invalid input never fails: each undecodable byte (or lone surrogate) becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
bool IsValidUtf8(std::string_view bytes);

// Appends one code point (U+0000..U+10FFFF) as UTF-16, a surrogate pair above U+FFFF.
void AppendCodePoint(std::u16string& out, char32_t cp);

// Signed decimal: leading white space skipped, an optional sign, reading stops at
// the first non-digit, no digits give 0. Values beyond 32 bits saturate rather
// than wrap, so a typo cannot turn a bit rate negative.
std::int32_t ParseDecimal(std::u16string_view text);
std::int32_t ParseDecimal(std::string_view text);

// Length of a zero-terminated fixed-capacity field.
template <std::size_t N>
std::u16string_view FieldView(const char16_t (&field)[N]) {
    std::size_t n = 0;
    while (n < N && field[n] != 0) ++n;
    return {field, n};
}
template <std::size_t N>
std::string_view FieldView(const char (&field)[N]) {
    std::size_t n = 0;
    while (n < N && field[n] != 0) ++n;
    return {field, n};
}

// Stores text into a fixed-capacity field, keeping room for the terminating zero.
// Longer text is cut, but never inside a surrogate pair / UTF-8 sequence, so a
// truncated field is still valid text.
void StoreField(char16_t* field, std::size_t capacity, std::u16string_view text);
void StoreField(char* field, std::size_t capacity, std::string_view text);

template <std::size_t N>
void StoreField(char16_t (&field)[N], std::u16string_view text) {
    StoreField(field, N, text);
}
template <std::size_t N>
void StoreField(char (&field)[N], std::string_view text) {
    StoreField(field, N, text);
}

}  // namespace profiles
