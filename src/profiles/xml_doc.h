#pragma once
// CXmlDoc: a small read-only XML reader for the program's data files. The whole
// file is decoded to UTF-16, its elements are indexed in one pass, and callers
// walk the tree with a three-level cursor (parent, main, child) and read
// attribute values.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace profiles {

class CXmlDoc {
  public:
    // Reads, decodes and parses the file. True only for a well-formed document;
    // the cursor is reset in every case.
    bool Load(const std::string& path);
    // Parses text that is already decoded (the same rules as Load, minus decoding).
    bool SetDoc(std::u16string text);

    void ResetPos();
    bool FindChildElem(std::u16string_view name);
    bool IntoElem();
    bool OutOfElem();
    // Value of the main element's attribute, references decoded; "" when absent.
    std::u16string GetAttrib(std::u16string_view name) const;
    // Tag name of the main element; "" when there is none.
    std::u16string GetTagName() const;

    // Encoding the text was decoded from ("UTF-8", "UTF-16LE", a declared name, ...).
    const std::string& GetEncoding() const { return m_encoding; }
    // What went wrong in the last Load/SetDoc: "file_open_failed", "no_root_element",
    // "root_has_sibling", "lone_end_tag", "unended_start_tag", "bad_tag",
    // "unterminated_tag", "unterminated_comment", ... (empty for a good document).
    const std::vector<std::string>& GetErrors() const { return m_errors; }
    bool HasError(std::string_view error) const;

    // Replaces character and entity references ("&#65;", "&#x41;", "&amp;", ...).
    static std::u16string DecodeReferences(std::u16string_view text);
    // Decodes raw file bytes to UTF-16 by byte-order mark, declared encoding or
    // UTF-8 detection; sets the detected encoding name.
    static std::u16string DecodeBytes(std::string_view bytes, std::string& encoding);

  private:
    struct ElemPos {
        std::uint32_t start = 0;      // offset of "<" of the start tag
        std::uint32_t length = 0;     // whole element, up to and including its end tag
        std::uint32_t tagLength = 0;  // start tag only
        std::uint32_t nameLength = 0;
        int parent = 0;
        int firstChild = 0;
        int lastChild = 0;
        int next = 0;
        int prev = 0;
        bool illFormed = false;
    };

    void Parse();
    std::u16string_view Name(int elem) const;

    std::u16string m_text;
    std::vector<ElemPos> m_elems;  // entry 0: virtual parent of the top-level elements
    std::vector<std::string> m_errors;
    std::string m_encoding;
    int m_iPosParent = 0;
    int m_iPos = 0;
    int m_iPosChild = 0;
};

// Looks a reference name (lower case, without "&" and ";") up in the HTML 4
// entity table; returns 0 when the name is not there.
char32_t LookupHtmlEntity(std::u16string_view lowerName);

}  // namespace profiles
