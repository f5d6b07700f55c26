#include "profiles/text.h"

#include <climits>
#include <cstring>

namespace profiles {

namespace {

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when the bytes
// there do not form a valid, shortest-form sequence of a scalar value.
std::size_t DecodeUtf8At(std::string_view s, std::size_t i, char32_t& cp) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    std::size_t len;
    char32_t min;
    if ((c & 0xE0) == 0xC0) {
        len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

template <class Str>
std::int32_t ParseDecimalImpl(const Str& text) {
    std::size_t i = 0;
    auto isSpace = [](auto c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    };
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return static_cast<std::int32_t>(value);
}

}  // namespace

void AppendCodePoint(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp;
        std::size_t len = DecodeUtf8At(utf8, i, cp);
        if (len == 0) {
            out.push_back(u'\uFFFD');
            ++i;
        } else {
            AppendCodePoint(out, cp);
            i += len;
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp;
        std::size_t len = DecodeUtf8At(bytes, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::int32_t ParseDecimal(std::u16string_view text) {
    return ParseDecimalImpl(text);
}
std::int32_t ParseDecimal(std::string_view text) {
    return ParseDecimalImpl(text);
}

void StoreField(char16_t* field, std::size_t capacity, std::u16string_view text) {
    if (capacity == 0) return;
    std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    // Do not keep the first half of a surrogate pair whose second half was cut.
    if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    std::memcpy(field, text.data(), n * sizeof(char16_t));
    for (std::size_t i = n; i < capacity; ++i) field[i] = 0;
}

void StoreField(char* field, std::size_t capacity, std::string_view text) {
    if (capacity == 0) return;
    std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    if (n < text.size()) {
        // Back up to the start of the sequence the cut falls into.
        std::size_t k = n;
        while (k > 0 && (static_cast<unsigned char>(text[k]) & 0xC0) == 0x80) --k;
        n = k;
    }
    std::memcpy(field, text.data(), n);
    for (std::size_t i = n; i < capacity; ++i) field[i] = 0;
}

}  // namespace profiles
