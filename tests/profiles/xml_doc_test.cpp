#include "profiles/xml_doc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "profiles/text.h"
#include "temp_dir.h"

using profiles::CXmlDoc;
using profiles::Utf16ToUtf8;
using profiles::Utf8ToUtf16;

namespace {

std::string Attr(const CXmlDoc& doc, const char* name) {
    return Utf16ToUtf8(doc.GetAttrib(Utf8ToUtf16(name)));
}

std::string Utf16Bytes(std::u16string_view text, bool bigEndian, bool mark) {
    std::string out;
    if (mark) out += bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
        char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

struct WellFormedCase {
    const char* doc;
    bool ok;
    const char* error;  // expected among GetErrors() when !ok
};

TEST(XmlDocWellFormed, TableOfDocuments) {
    const WellFormedCase cases[] = {
        {"<a/>", true, ""},
        {"<a><b/><b></b></a>", true, ""},
        {"<?xml version=\"1.0\"?>\n<!-- note <x> -->\n<!DOCTYPE a [<!ELEMENT a ANY>]>\n"
         "<a><![CDATA[<b>]]><?pi <c>?>text > more</a>\n<!-- trailing -->",
         true, ""},
        {"<a x=\"1>2\" y='</a>'/>", true, ""},
        {"<a\n  x = \"1\"\n/>", true, ""},
        {"", false, "no_root_element"},
        {"<!-- only a comment -->", false, "no_root_element"},
        {"<a/><b/>", false, "root_has_sibling"},
        {"<a></a><a></a>", false, "root_has_sibling"},
        {"<a>", false, "unended_start_tag"},
        {"<a><b></a>", false, "unended_start_tag"},
        {"<a></b></a>", false, "lone_end_tag"},
        {"<a/></a>", false, "lone_end_tag"},
        {"<a><b</a>", false, "unterminated_tag"},
        {"<a x=\"1/>", false, "unterminated_tag"},
        {"<a>1 < 2</a>", false, "bad_tag"},
        {"<a><!-- never closed</a>", false, "unterminated_comment"},
        {"<a><![CDATA[never closed</a>", false, "unterminated_cdata"},
    };
    for (const auto& c : cases) {
        CXmlDoc doc;
        EXPECT_EQ(doc.SetDoc(Utf8ToUtf16(c.doc)), c.ok) << c.doc;
        if (!c.ok) {
            EXPECT_TRUE(doc.HasError(c.error)) << c.doc << " lacks " << c.error;
        } else {
            EXPECT_TRUE(doc.GetErrors().empty()) << c.doc << ": " << doc.GetErrors().front();
        }
    }
}

TEST(XmlDocWellFormed, IllFormedDocumentStillIndexesWhatItCan) {
    // The load fails, yet the parser keeps going: the elements before and after
    // the broken tag are there.
    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(u"<r><a v=\"1\"/></zz><b v=\"2\"/></r>"));
    EXPECT_TRUE(doc.HasError("lone_end_tag"));
    ASSERT_TRUE(doc.FindChildElem(u"b"));
    ASSERT_TRUE(doc.IntoElem());
    EXPECT_EQ(Attr(doc, "v"), "2");
}

TEST(XmlDocLoad, MissingFileFails) {
    TempDir dir;
    CXmlDoc doc;
    EXPECT_FALSE(doc.Load(dir.path() + "/absent.xml"));
    EXPECT_TRUE(doc.HasError("file_open_failed"));
    EXPECT_EQ(doc.GetAttrib(u"v"), u"");
}

struct EncodingCase {
    const char* label;
    std::string bytes;
    const char* encoding;
    std::u16string value;  // attribute v of the root (of <body> in the HTML case)
    bool bodyOfHtml = false;
};

TEST(XmlDocLoad, DecodesEachEncoding) {
    const std::u16string text = u"<r v=\"\u00e9\u20ac\U0001F600\"/>";
    const std::string utf8 = Utf16ToUtf8(text);
    const std::vector<EncodingCase> cases = {
        {"UTF-8 with mark", "\xEF\xBB\xBF" + utf8, "UTF-8", u"\u00e9\u20ac\U0001F600"},
        {"UTF-8 without mark", utf8, "UTF-8", u"\u00e9\u20ac\U0001F600"},
        {"UTF-16LE with mark", Utf16Bytes(text, false, true), "UTF-16LE",
         u"\u00e9\u20ac\U0001F600"},
        {"UTF-16BE with mark", Utf16Bytes(text, true, true), "UTF-16BE", u"\u00e9\u20ac\U0001F600"},
        {"UTF-16LE declaration, no mark",
         Utf16Bytes(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><r v=\"\u00e9\"/>", false, false),
         "UTF-16LE", u"\u00e9"},
        // Latin-1 and Windows-1252 differ at 0x80: only a real conversion gives the euro sign.
        {"declared ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r v=\"\xE9\"/>",
         "ISO-8859-1", u"\u00e9"},
        {"declared windows-1252",
         "<?xml version='1.0' encoding='windows-1252'?>\n<r v=\"\xE9\x80\"/>", "windows-1252",
         u"\u00e9\u20ac"},
        {"charset of an HTML meta element",
         "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
         "charset=ISO-8859-15\"/>"
         "</head><body v=\"\xA4\"/></html>",
         "ISO-8859-15", u"\u20ac", true},
        // Starts with "<" and declares nothing: UTF-8 regardless of invalid bytes.
        {"invalid UTF-8 without declaration", "<r v=\"a\xE9z\"/>", "UTF-8", u"a\uFFFDz"},
        {"unknown declared encoding",
         "<?xml version=\"1.0\" encoding=\"x-no-such-set\"?><r v=\"ok\"/>", "UTF-8", u"ok"},
        {"UTF-8 declared, mark-less",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?><r v=\"\xC3\xA9\"/>", "UTF-8", u"\u00e9"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        CXmlDoc doc;
        ASSERT_TRUE(doc.Load(dir.Write("doc.xml", c.bytes))) << c.label;
        EXPECT_EQ(doc.GetEncoding(), c.encoding) << c.label;
        if (c.bodyOfHtml) {
            ASSERT_TRUE(doc.FindChildElem(u"body")) << c.label;
            ASSERT_TRUE(doc.IntoElem());
        } else {
            doc.FindChildElem(u"-");  // a failing search still moves onto the root
        }
        EXPECT_EQ(doc.GetAttrib(u"v"), c.value) << c.label;
    }
}

// A small tree walked with the cursor:
//   root: a(1) b(2){ c(3) c(5) } a(4)
class XmlCursor : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(
            doc.SetDoc(u"<root n=\"0\"><a n=\"1\"/><b n=\"2\"><c n=\"3\"/><c n=\"5\"/></b><a "
                       u"n=\"4\"/></root>"));
    }
    // Steps into the current child, reads n, steps back out.
    std::string ChildN() {
        if (!doc.IntoElem()) return "<no child>";
        std::string n = Attr(doc, "n");
        EXPECT_TRUE(doc.OutOfElem());
        return n;
    }
    CXmlDoc doc;
};

TEST_F(XmlCursor, FreshDocumentHasNoMainElement) {
    EXPECT_EQ(doc.GetAttrib(u"n"), u"");
    EXPECT_EQ(doc.GetTagName(), u"");
    EXPECT_FALSE(doc.IntoElem());
    EXPECT_FALSE(doc.OutOfElem());
    // The first search moves onto the root and looks among its children; the root
    // is not a child of itself.
    EXPECT_FALSE(doc.FindChildElem(u"root"));
    EXPECT_EQ(doc.GetTagName(), u"root");
    EXPECT_EQ(Attr(doc, "n"), "0");
}

TEST_F(XmlCursor, SearchContinuesAfterLastFoundAndNeverWraps) {
    ASSERT_TRUE(doc.FindChildElem(u"a"));
    EXPECT_EQ(ChildN(), "1");
    ASSERT_TRUE(doc.FindChildElem(u"a"));
    EXPECT_EQ(ChildN(), "4");
    EXPECT_FALSE(doc.FindChildElem(u"a"));
    EXPECT_FALSE(doc.FindChildElem(u"b")) << "b stands before the last found child";
    EXPECT_EQ(ChildN(), "4") << "a failed search keeps the child position";
    doc.ResetPos();
    ASSERT_TRUE(doc.FindChildElem(u"b"));
    EXPECT_EQ(ChildN(), "2");
}

TEST_F(XmlCursor, NamesAreCaseSensitive) {
    EXPECT_FALSE(doc.FindChildElem(u"A"));
    EXPECT_FALSE(doc.FindChildElem(u""));
    ASSERT_TRUE(doc.FindChildElem(u"a"));
    ASSERT_TRUE(doc.IntoElem());
    EXPECT_EQ(doc.GetAttrib(u"N"), u"");
}

TEST_F(XmlCursor, OutOfElemResumesAfterTheElementLeft) {
    ASSERT_TRUE(doc.FindChildElem(u"b"));
    ASSERT_TRUE(doc.IntoElem());
    EXPECT_EQ(doc.GetTagName(), u"b");
    ASSERT_TRUE(doc.FindChildElem(u"c"));
    ASSERT_TRUE(doc.IntoElem());
    EXPECT_EQ(Attr(doc, "n"), "3");
    EXPECT_FALSE(doc.IntoElem()) << "c has no child found";
    ASSERT_TRUE(doc.OutOfElem());  // main b, child c(3)
    ASSERT_TRUE(doc.FindChildElem(u"c"));
    EXPECT_EQ(ChildN(), "5");
    ASSERT_TRUE(doc.OutOfElem());  // main root, child b
    EXPECT_EQ(doc.GetTagName(), u"root");
    EXPECT_FALSE(doc.OutOfElem()) << "the root has no parent to go out to";
    ASSERT_TRUE(doc.FindChildElem(u"a"));
    EXPECT_EQ(ChildN(), "4");
}

TEST(XmlDocAttributes, QuotingAndNames) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r a='x\"y' b=plain c = \"spaced\" d=\"&lt;&gt;\" e=\"\" f=5/>"));
    doc.FindChildElem(u"-");
    EXPECT_EQ(Attr(doc, "a"), "x\"y");
    EXPECT_EQ(Attr(doc, "b"), "plain");
    EXPECT_EQ(Attr(doc, "c"), "spaced");
    EXPECT_EQ(Attr(doc, "d"), "<>");
    EXPECT_EQ(Attr(doc, "e"), "");
    EXPECT_EQ(Attr(doc, "f"), "5") << "an unquoted value ends before \"/>\"";
    EXPECT_EQ(Attr(doc, "missing"), "");
    EXPECT_EQ(Attr(doc, "r"), "") << "the tag name is not an attribute";
}

TEST(XmlDocReferences, DecodesNumericAndNamedReferences) {
    struct Case {
        std::u16string in, out;
    };
    const Case cases[] = {
        {u"&amp;&lt;&gt;&quot;&apos;", u"&<>\"'"},
        {u"&#65;&#x42;&#X43;", u"ABC"},
        {u"&#x1F600;", u"\U0001F600"},
        {u"&#233;&eacute;&EACUTE;&Eacute;",
         u"\u00e9\u00e9\u00e9\u00e9"},  // names fold to lower case
        {u"&AMP;&Dagger;", u"&\u2020"},
        {u"&thetasym;&euro;&nbsp;", u"\u03d1\u20ac\u00a0"},
        {u"&nosuch; &amp &; & amp;", u"&nosuch; &amp &; & amp;"},
        {u"&averylongname;", u"&averylongname;"},  // no ";" within nine characters
        {u"&#0;&#xD800;&#1114112;&#x;&#12a;", u"&#0;&#xD800;&#1114112;&#x;&#12a;"},
        {u"a&amp;amp;b", u"a&amp;b"},  // one pass only
        {u"tail&", u"tail&"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CXmlDoc::DecodeReferences(c.in), c.out) << Utf16ToUtf8(c.in);
    }
}

}  // namespace
