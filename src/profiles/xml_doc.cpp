#include "profiles/xml_doc.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "profiles/text.h"

namespace profiles {

namespace {

// The data files are a few kilobytes; anything far larger is not one of them,
// and refusing it keeps a wrong path from eating memory.
constexpr std::size_t kMaxFileBytes = 64u << 20;
constexpr std::size_t kDeclarationWindow = 1024;

bool IsSpace(char16_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsNameStart(char16_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}
bool IsNameChar(char16_t c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && AsciiLower(s.substr(0, prefix.size())) == prefix;
}

// ---- Start-tag tokenizer -------------------------------------------------------
// Shared by the parser (to find where a tag ends) and GetAttrib, so both agree on
// what is inside a quoted value.

struct Attribute {
    std::u16string_view name;
    std::u16string_view value;
    bool hasValue = false;
};

enum class TagEnd { Closed, Unterminated, InterruptedByLt };

// Scans attributes from `pos` (just after the tag name) to the closing ">".
// On return `pos` is the index of ">" (Closed) or of the place scanning stopped.
template <class OnAttribute>
TagEnd ScanAttributes(std::u16string_view t, std::size_t& pos, OnAttribute&& onAttribute) {
    const std::size_t n = t.size();
    while (true) {
        while (pos < n && IsSpace(t[pos])) ++pos;
        if (pos >= n) return TagEnd::Unterminated;
        char16_t c = t[pos];
        if (c == '>') return TagEnd::Closed;
        if (c == '<') return TagEnd::InterruptedByLt;
        if (c == '/' && pos + 1 < n && t[pos + 1] == '>') {
            ++pos;
            return TagEnd::Closed;
        }
        // Name token: up to white space, "=", ">", "<" or "/>".
        std::size_t nameStart = pos;
        while (pos < n && !IsSpace(t[pos]) && t[pos] != '=' && t[pos] != '>' && t[pos] != '<' &&
               !(t[pos] == '/' && pos + 1 < n && t[pos + 1] == '>'))
            ++pos;
        Attribute a;
        a.name = t.substr(nameStart, pos - nameStart);
        std::size_t look = pos;
        while (look < n && IsSpace(t[look])) ++look;
        if (look < n && t[look] == '=') {
            pos = look + 1;
            while (pos < n && IsSpace(t[pos])) ++pos;
            if (pos >= n) return TagEnd::Unterminated;
            char16_t q = t[pos];
            if (q == '"' || q == '\'') {
                std::size_t close = t.find(q, pos + 1);
                if (close == std::u16string_view::npos) return TagEnd::Unterminated;
                a.value = t.substr(pos + 1, close - pos - 1);
                pos = close + 1;
            } else {
                std::size_t vs = pos;
                while (pos < n && !IsSpace(t[pos]) && t[pos] != '>' &&
                       !(t[pos] == '/' && pos + 1 < n && t[pos + 1] == '>'))
                    ++pos;
                a.value = t.substr(vs, pos - vs);
            }
            a.hasValue = true;
        } else if (a.name.empty()) {
            // A stray character that starts no token; step over it.
            ++pos;
            continue;
        }
        onAttribute(a);
    }
}

// ---- Decoding ------------------------------------------------------------------

std::u16string FromUtf16Bytes(std::string_view b, bool bigEndian) {
    std::u16string out;
    out.reserve(b.size() / 2);
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
        auto lo = static_cast<unsigned char>(b[i]), hi = static_cast<unsigned char>(b[i + 1]);
        if (bigEndian) std::swap(lo, hi);
        out.push_back(static_cast<char16_t>(lo | (hi << 8)));
    }
    return out;
}

// Converts through iconv; bytes the encoding cannot decode become U+FFFD. Returns
// false when iconv does not know the encoding at all.
bool ConvertWithIconv(std::string_view bytes, const std::string& encoding, std::u16string& out) {
    iconv_t cd = iconv_open("UTF-16LE", encoding.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.clear();
    std::string buffer(4096, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    auto flush = [&](std::size_t produced) {
        std::u16string part = FromUtf16Bytes(std::string_view(buffer.data(), produced), false);
        out += part;
    };
    while (inLeft > 0) {
        char* o = buffer.data();
        std::size_t oLeft = buffer.size();
        std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        flush(buffer.size() - oLeft);
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) continue;
            // EILSEQ: a byte that does not decode; EINVAL: a sequence cut by the end.
            out.push_back(u'\uFFFD');
            if (errno == EINVAL) break;
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return true;
}

// Value of a pseudo-attribute such as encoding="..." inside `s`; "" when absent.
std::string PseudoAttribute(std::string_view s, std::string_view name) {
    std::string lower = AsciiLower(s);
    std::size_t at = 0;
    while ((at = lower.find(name, at)) != std::string::npos) {
        std::size_t p = at + name.size();
        bool boundary = at == 0 || !IsNameChar(static_cast<unsigned char>(lower[at - 1]));
        while (p < s.size() && IsSpace(s[p])) ++p;
        if (boundary && p < s.size() && s[p] == '=') {
            ++p;
            while (p < s.size() && IsSpace(s[p])) ++p;
            if (p >= s.size()) return {};
            char q = s[p];
            if (q == '"' || q == '\'') {
                std::size_t close = s.find(q, p + 1);
                if (close == std::string::npos) return {};
                return std::string(s.substr(p + 1, close - p - 1));
            }
            std::size_t e = p;
            while (e < s.size() && !IsSpace(s[e]) && s[e] != '>' && s[e] != '?') ++e;
            return std::string(s.substr(p, e - p));
        }
        at += name.size();
    }
    return {};
}

// The encoding an 8-bit file declares about itself in its first bytes: the XML
// declaration, or for HTML-like text a Content-Type meta element in the head.
std::string DeclaredEncoding(std::string_view head) {
    std::size_t p = 0;
    while (p < head.size() && IsSpace(head[p])) ++p;
    if (head.substr(p, 5) == "<?xml" && p + 5 < head.size() && IsSpace(head[p + 5])) {
        std::size_t end = head.find("?>", p);
        if (end != std::string_view::npos)
            return PseudoAttribute(head.substr(p, end - p), "encoding");
        return {};
    }
    std::string lower = AsciiLower(head);
    std::size_t html = lower.find("<html");
    if (html == std::string::npos) return {};
    std::size_t headEnd = std::min(lower.find("</head", html), lower.find("<body", html));
    std::size_t m = html;
    while ((m = lower.find("<meta", m)) != std::string::npos && m < headEnd) {
        std::size_t close = lower.find('>', m);
        if (close == std::string::npos) break;
        std::string_view tag = head.substr(m, close - m);
        if (AsciiLower(PseudoAttribute(tag, "http-equiv")) == "content-type") {
            std::string content = PseudoAttribute(tag, "content");
            std::string lc = AsciiLower(content);
            std::size_t cs = lc.find("charset=");
            if (cs != std::string::npos) {
                std::size_t s = cs + 8, e = s;
                while (e < content.size() && content[e] != ';' && !IsSpace(content[e])) ++e;
                return content.substr(s, e - s);
            }
        }
        m = close;
    }
    return {};
}

}  // namespace

std::u16string CXmlDoc::DecodeBytes(std::string_view bytes, std::string& encoding) {
    auto u = [&](std::size_t i) {
        return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : -1;
    };
    // Byte-order marks. The four-byte UTF-32 marks are tested first because the
    // little-endian one begins like the UTF-16 one.
    if (u(0) == 0xFF && u(1) == 0xFE && u(2) == 0 && u(3) == 0) {
        encoding = "UTF-32LE";
    } else if (u(0) == 0 && u(1) == 0 && u(2) == 0xFE && u(3) == 0xFF) {
        encoding = "UTF-32BE";
    } else if (u(0) == 0xEF && u(1) == 0xBB && u(2) == 0xBF) {
        encoding = "UTF-8";
        return Utf8ToUtf16(bytes.substr(3));
    } else if (u(0) == 0xFF && u(1) == 0xFE) {
        encoding = "UTF-16LE";
        return FromUtf16Bytes(bytes.substr(2), false);
    } else if (u(0) == 0xFE && u(1) == 0xFF) {
        encoding = "UTF-16BE";
        return FromUtf16Bytes(bytes.substr(2), true);
    } else if (u(0) == '<' && u(1) == 0 && u(2) == '?' && u(3) == 0) {
        // UTF-16 without a mark, recognised by its first characters "<?".
        encoding = "UTF-16LE";
        return FromUtf16Bytes(bytes, false);
    } else if (u(0) == 0 && u(1) == '<' && u(2) == 0 && u(3) == '?') {
        encoding = "UTF-16BE";
        return FromUtf16Bytes(bytes, true);
    }
    if (encoding == "UTF-32LE" || encoding == "UTF-32BE") {
        std::u16string out;
        ConvertWithIconv(bytes.substr(4), encoding, out);
        return out;
    }

    encoding.clear();
    std::string declared =
        DeclaredEncoding(bytes.substr(0, std::min(bytes.size(), kDeclarationWindow)));
    if (!declared.empty()) {
        std::string lower = AsciiLower(declared);
        // The declaration was legible as 8-bit text, so the file cannot really be
        // in a 16- or 32-bit encoding whatever it claims; read it as UTF-8.
        bool wide = StartsWithNoCase(lower, "utf-16") || StartsWithNoCase(lower, "utf-32") ||
                    StartsWithNoCase(lower, "ucs-2") || StartsWithNoCase(lower, "ucs-4") ||
                    lower == "unicode";
        if (!wide && lower != "utf-8" && lower != "utf8") {
            std::u16string out;
            if (ConvertWithIconv(bytes, declared, out)) {
                encoding = declared;
                return out;
            }
            // Unknown name: fall through to detection. The markup is ASCII in any
            // encoding worth declaring, so the document still parses.
        }
    }
    // Without a usable declaration everything ends in UTF-8: either the text starts
    // with "<", or it is valid UTF-8, or it is in the ANSI code page, which is UTF-8
    // on this system. Invalid bytes become U+FFFD instead of failing the load.
    encoding = "UTF-8";
    return Utf8ToUtf16(bytes);
}

bool CXmlDoc::Load(const std::string& path) {
    m_text.clear();
    m_elems.assign(1, ElemPos{});
    m_errors.clear();
    m_encoding.clear();
    ResetPos();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        m_errors.push_back("file_open_failed");
        return false;
    }
    std::string bytes;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kMaxFileBytes) {
            m_errors.push_back("file_too_large");
            return false;
        }
    }
    if (in.bad()) {
        m_errors.push_back("file_read_failed");
        return false;
    }
    std::string encoding;
    std::u16string text = DecodeBytes(bytes, encoding);
    bool ok = SetDoc(std::move(text));
    m_encoding = encoding;
    return ok;
}

bool CXmlDoc::SetDoc(std::u16string text) {
    m_text = std::move(text);
    m_errors.clear();
    m_encoding = "UTF-16";
    Parse();
    ResetPos();
    return m_errors.empty();
}

bool CXmlDoc::HasError(std::string_view error) const {
    return std::find(m_errors.begin(), m_errors.end(), error) != m_errors.end();
}

std::u16string_view CXmlDoc::Name(int elem) const {
    const ElemPos& e = m_elems[elem];
    return std::u16string_view(m_text).substr(e.start + 1, e.nameLength);
}

void CXmlDoc::Parse() {
    m_elems.assign(1, ElemPos{});
    const std::u16string_view t = m_text;
    const std::size_t n = t.size();
    std::vector<int> open;  // innermost last
    auto error = [&](const char* what) { m_errors.emplace_back(what); };
    auto startsAt = [&](std::size_t p, std::u16string_view s) {
        return t.substr(p, s.size()) == s;
    };
    auto endUnclosed = [&](int elem, std::size_t end) {
        m_elems[elem].illFormed = true;
        m_elems[elem].length = static_cast<std::uint32_t>(end - m_elems[elem].start);
        error("unended_start_tag");
    };

    std::size_t pos = 0;
    while (pos < n) {
        std::size_t lt = t.find(u'<', pos);
        if (lt == std::u16string_view::npos) break;
        if (startsAt(lt, u"<!--")) {
            std::size_t end = t.find(u"-->", lt + 4);
            if (end == std::u16string_view::npos) {
                error("unterminated_comment");
                break;
            }
            pos = end + 3;
        } else if (startsAt(lt, u"<![CDATA[")) {
            std::size_t end = t.find(u"]]>", lt + 9);
            if (end == std::u16string_view::npos) {
                error("unterminated_cdata");
                break;
            }
            pos = end + 3;
        } else if (startsAt(lt, u"<?")) {
            std::size_t end = t.find(u"?>", lt + 2);
            if (end == std::u16string_view::npos) {
                error("unterminated_processing_instruction");
                break;
            }
            pos = end + 2;
        } else if (startsAt(lt, u"<!")) {
            // Document type declaration: may hold an internal subset in brackets
            // and quoted literals that contain ">".
            std::size_t p = lt + 2;
            int depth = 0;
            char16_t quote = 0;
            for (; p < n; ++p) {
                char16_t c = t[p];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '[') {
                    ++depth;
                } else if (c == ']') {
                    if (depth > 0) --depth;
                } else if (c == '>' && depth == 0) {
                    break;
                }
            }
            if (p >= n) {
                error("unterminated_declaration");
                break;
            }
            pos = p + 1;
        } else if (startsAt(lt, u"</")) {
            std::size_t p = lt + 2, nameStart = p;
            while (p < n && IsNameChar(t[p])) ++p;
            std::u16string_view name = t.substr(nameStart, p - nameStart);
            while (p < n && IsSpace(t[p])) ++p;
            std::size_t gt = t.find(u'>', p);
            if (gt == std::u16string_view::npos) {
                error("unterminated_tag");
                break;
            }
            if (name.empty() || !IsNameStart(name[0]) || gt != p) error("bad_tag");
            int k = static_cast<int>(open.size()) - 1;
            while (k >= 0 && Name(open[k]) != name) --k;
            if (k < 0 || name.empty()) {
                error("lone_end_tag");
            } else {
                while (static_cast<int>(open.size()) - 1 > k) {
                    endUnclosed(open.back(), lt);
                    open.pop_back();
                }
                ElemPos& e = m_elems[open.back()];
                e.length = static_cast<std::uint32_t>(gt + 1 - e.start);
                open.pop_back();
            }
            pos = gt + 1;
        } else {
            std::size_t p = lt + 1;
            if (p >= n || !IsNameStart(t[p])) {
                error("bad_tag");
                pos = lt + 1;
                continue;
            }
            while (p < n && IsNameChar(t[p])) ++p;
            std::size_t nameEnd = p;
            if (p < n && !IsSpace(t[p]) && t[p] != '>' && t[p] != '/') error("bad_tag");
            TagEnd end = ScanAttributes(t, p, [](const Attribute&) {});
            if (end != TagEnd::Closed) {
                error("unterminated_tag");
                if (end == TagEnd::Unterminated) break;
                pos = p;  // resume at the "<" that interrupted the tag
                continue;
            }
            std::size_t gt = p;
            bool empty = t[gt - 1] == '/' && gt - 1 >= nameEnd;
            int parent = open.empty() ? 0 : open.back();
            int id = static_cast<int>(m_elems.size());
            ElemPos e;
            e.start = static_cast<std::uint32_t>(lt);
            e.tagLength = static_cast<std::uint32_t>(gt + 1 - lt);
            e.nameLength = static_cast<std::uint32_t>(nameEnd - lt - 1);
            e.length = e.tagLength;
            e.parent = parent;
            e.prev = m_elems[parent].lastChild;
            m_elems.push_back(e);
            if (m_elems[parent].lastChild)
                m_elems[m_elems[parent].lastChild].next = id;
            else
                m_elems[parent].firstChild = id;
            m_elems[parent].lastChild = id;
            if (!empty) open.push_back(id);
            pos = gt + 1;
        }
    }
    while (!open.empty()) {
        endUnclosed(open.back(), n);
        open.pop_back();
    }

    int roots = 0;
    for (int c = m_elems[0].firstChild; c; c = m_elems[c].next) ++roots;
    if (roots == 0) error("no_root_element");
    if (roots > 1) error("root_has_sibling");
}

void CXmlDoc::ResetPos() {
    m_iPosParent = 0;
    m_iPos = 0;
    m_iPosChild = 0;
}

bool CXmlDoc::FindChildElem(std::u16string_view name) {
    if (m_iPos == 0) {
        if (m_elems.size() < 2 || m_elems[0].firstChild == 0) return false;
        m_iPos = m_elems[0].firstChild;
    }
    int c = m_iPosChild ? m_elems[m_iPosChild].next : m_elems[m_iPos].firstChild;
    for (; c; c = m_elems[c].next) {
        if (Name(c) == name) {
            m_iPosChild = c;
            return true;
        }
    }
    return false;
}

bool CXmlDoc::IntoElem() {
    // Stepping into "no child" would leave the cursor on nothing in particular;
    // a child has to be found first.
    if (m_iPos == 0 || m_iPosChild == 0) return false;
    m_iPosParent = m_iPos;
    m_iPos = m_iPosChild;
    m_iPosChild = 0;
    return true;
}

bool CXmlDoc::OutOfElem() {
    if (m_iPosParent == 0) return false;
    m_iPosChild = m_iPos;
    m_iPos = m_iPosParent;
    m_iPosParent = m_elems[m_iPos].parent;
    return true;
}

std::u16string CXmlDoc::GetTagName() const {
    if (m_iPos == 0) return {};
    return std::u16string(Name(m_iPos));
}

std::u16string CXmlDoc::GetAttrib(std::u16string_view name) const {
    if (m_iPos == 0) return {};
    const ElemPos& e = m_elems[m_iPos];
    std::u16string_view tag = std::u16string_view(m_text).substr(e.start, e.tagLength);
    std::size_t p = 1 + e.nameLength;
    std::u16string_view found;
    bool have = false;
    ScanAttributes(tag, p, [&](const Attribute& a) {
        if (!have && a.hasValue && a.name == name) {
            found = a.value;
            have = true;
        }
    });
    return have ? DecodeReferences(found) : std::u16string();
}

std::u16string CXmlDoc::DecodeReferences(std::u16string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] != '&') {
            out.push_back(s[i++]);
            continue;
        }
        // The reference body is at most nine characters before its ";".
        std::size_t semi = s.substr(i + 1, 10).find(u';');
        char32_t cp = 0;
        if (semi != std::u16string_view::npos && semi > 0) {
            std::u16string_view body = s.substr(i + 1, semi);
            if (body[0] == '#') {
                bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
                std::u16string_view digits = body.substr(hex ? 2 : 1);
                char32_t v = 0;
                bool ok = !digits.empty();
                for (char16_t c : digits) {
                    int d = -1;
                    if (c >= '0' && c <= '9')
                        d = c - '0';
                    else if (hex && c >= 'a' && c <= 'f')
                        d = c - 'a' + 10;
                    else if (hex && c >= 'A' && c <= 'F')
                        d = c - 'A' + 10;
                    if (d < 0) {
                        ok = false;
                        break;
                    }
                    v = v * (hex ? 16 : 10) + static_cast<char32_t>(d);
                    if (v > 0x10FFFF) {
                        ok = false;
                        break;
                    }
                }
                // Code 0 and lone surrogates are not characters; leave them as written.
                if (ok && v != 0 && !(v >= 0xD800 && v <= 0xDFFF)) cp = v;
            } else {
                std::u16string lower(body);
                for (char16_t& c : lower) {
                    if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c - 'A' + 'a');
                }
                cp = LookupHtmlEntity(lower);
            }
        }
        if (cp) {
            AppendCodePoint(out, cp);
            i += semi + 2;
        } else {
            out.push_back(s[i++]);
        }
    }
    return out;
}

}  // namespace profiles
