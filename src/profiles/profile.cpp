#include "profiles/profile.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/win/paths.h"
#include "profiles/xml_doc.h"

namespace profiles {

namespace {

// One entry of a choice list split into stored value and shown text.
struct Choice {
    std::u16string_view value;
    std::u16string_view text;
    bool paired;
};

template <class F>
void ForEachChoice(std::u16string_view list, F&& f) {
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(u',', start);
        if (comma == std::u16string_view::npos) comma = list.size();
        std::u16string_view entry = list.substr(start, comma - start);
        if (!entry.empty()) {
            std::size_t dollar = entry.find(u'$');
            Choice c;
            if (dollar == std::u16string_view::npos) {
                c = {entry, entry, false};
            } else {
                c = {entry.substr(0, dollar), entry.substr(dollar + 1), true};
            }
            if (f(c)) return;
        }
        start = comma + 1;
    }
}

std::string& TitleString() {
    static std::string title;
    return title;
}
std::string& UrlString() {
    static std::string url;
    return url;
}

}  // namespace

// ---- Catalogue file ------------------------------------------------------------

bool ReadFormatFile(const std::string& path, std::list<FormatProfile>& out) {
    CXmlDoc doc;
    if (!doc.Load(path)) return false;
    out.clear();
    doc.ResetPos();
    int index = 0;
    while (doc.FindChildElem(u"Profile")) {
        doc.IntoElem();
        FormatProfile p;
        std::memset(&p, 0, sizeof p);
        p.Index = index++;
        EncoderSettings& s = p.Settings;
        s.HasVideo = 1;
        s.HasAudio = 1;

        // Children are looked for in this fixed order, each after the one found
        // last, so an element standing before an earlier one reads as absent.
        auto value = [&](const char16_t* name, std::int32_t* clearFlag, std::u16string& v) {
            if (doc.FindChildElem(name)) {
                doc.IntoElem();
                v = doc.GetAttrib(u"value");
                doc.OutOfElem();
                return true;
            }
            if (clearFlag) *clearFlag = 0;
            v.clear();
            return false;
        };
        std::u16string v;
        if (value(u"ProfileName", nullptr, v)) StoreField(p.ProfileName, v);
        if (value(u"FormatExt", nullptr, v)) StoreField(p.FormatExt, v);
        if (value(u"VideoCodecName", &s.HasVideo, v)) {
            if (v.empty()) s.HasVideo = 0;
            StoreField(s.VideoCodecName, Utf16ToUtf8(v));
        }
        if (value(u"Width", &s.HasVideo, v)) s.Width = ParseDecimal(v);
        if (value(u"Height", &s.HasVideo, v)) s.Height = ParseDecimal(v);
        if (value(u"FrameRate", &s.HasVideo, v)) s.FrameRate = ParseDecimal(v);
        if (value(u"VideoBitRate", &s.HasVideo, v)) s.VideoBitRate = ParseDecimal(v);
        if (value(u"AudioCodecName", &s.HasAudio, v)) {
            if (v.empty()) s.HasAudio = 0;
            StoreField(s.AudioCodecName, Utf16ToUtf8(v));
        }
        if (value(u"SampleRate", &s.HasAudio, v)) s.SampleRate = ParseDecimal(v);
        if (value(u"AudioBitRate", &s.HasAudio, v)) s.AudioBitRate = ParseDecimal(v);
        if (value(u"Channel", &s.HasAudio, v)) s.Channel = ParseDecimal(v);
        if (value(u"Resolutions", &s.HasVideo, v)) StoreField(p.Resolutions, v);
        if (value(u"FrameRates", &s.HasVideo, v)) StoreField(p.FrameRates, v);
        if (value(u"VideoCodecs", &s.HasVideo, v)) StoreField(p.VideoCodecs, v);
        if (value(u"VideoBitRates", &s.HasVideo, v)) StoreField(p.VideoBitRates, v);
        if (value(u"SampleRates", &s.HasAudio, v)) StoreField(p.SampleRates, v);
        if (value(u"Channels", &s.HasAudio, v)) StoreField(p.Channels, v);
        if (value(u"AudioCodecs", &s.HasAudio, v)) StoreField(p.AudioCodecs, v);
        if (value(u"AudioBitRates", &s.HasAudio, v)) StoreField(p.AudioBitRates, v);

        out.push_back(p);
        doc.OutOfElem();
    }
    return true;
}

// ---- Catalogue -----------------------------------------------------------------

ProfileCatalogue& ProfileCatalogue::Instance() {
    static ProfileCatalogue catalogue;
    return catalogue;
}

bool ProfileCatalogue::Load(const std::string& path) {
    std::list<FormatProfile> loaded;
    if (!ReadFormatFile(path, loaded)) return false;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    // Replacing rather than appending: loading the same file twice must not
    // leave two profiles under each index.
    m_profiles.swap(loaded);
    return true;
}

bool ProfileCatalogue::LoadDefault() {
    std::string path = FindDataFile("Format.xml");
    return Load(path.empty() ? std::string("Format.xml") : path);
}

void ProfileCatalogue::Append(const FormatProfile& profile) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_profiles.push_back(profile);
}

bool ProfileCatalogue::FindByIndex(int index, FormatProfile& out) const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (const FormatProfile& p : m_profiles) {
        if (p.Index == index) {
            out = p;
            return true;
        }
    }
    return false;
}

bool ProfileCatalogue::GetDefaultProfile(FormatProfile& out) const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (FindByIndex(1, out)) return true;
    if (m_profiles.empty()) return false;
    out = m_profiles.front();
    return true;
}

std::size_t ProfileCatalogue::Count() const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_profiles.size();
}

void ProfileCatalogue::Clear() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_profiles.clear();
}

// ---- Choice lists --------------------------------------------------------------

std::vector<std::u16string> ChoiceTexts(std::u16string_view list) {
    std::vector<std::u16string> out;
    ForEachChoice(list, [&](const Choice& c) {
        out.emplace_back(c.text);
        return false;
    });
    return out;
}

std::vector<std::u16string> ChoiceValues(std::u16string_view list) {
    std::vector<std::u16string> out;
    ForEachChoice(list, [&](const Choice& c) {
        out.emplace_back(c.value);
        return false;
    });
    return out;
}

std::u16string ChoiceTextForValue(std::u16string_view list, std::u16string_view value) {
    std::u16string result;
    ForEachChoice(list, [&](const Choice& c) {
        if (c.value != value) return false;
        result = c.text;
        return true;
    });
    return result;
}

std::u16string ChoiceValueForText(std::u16string_view list, std::u16string_view text) {
    std::u16string result;
    ForEachChoice(list, [&](const Choice& c) {
        if (c.text != text) return false;
        result = c.value;
        return true;
    });
    return result;
}

// ---- Application settings -----------------------------------------------------

void LoadAppSettings(const std::string& path) {
    CXmlDoc doc;
    if (!doc.Load(path)) return;
    if (!doc.FindChildElem(u"Profile")) return;
    doc.IntoElem();
    if (doc.FindChildElem(u"Title")) {
        doc.IntoElem();
        TitleString() = Utf16ToUtf8(doc.GetAttrib(u"value"));
        doc.OutOfElem();
    }
    if (doc.FindChildElem(u"Url")) {
        doc.IntoElem();
        UrlString() = Utf16ToUtf8(doc.GetAttrib(u"value"));
        doc.OutOfElem();
    }
}

void LoadAppSettings() {
    std::string path = FindDataFile("Set.xml");
    if (!path.empty()) LoadAppSettings(path);
}

std::string HomePageTarget() {
    const std::string& url = UrlString();
    if (url.empty()) return {};
    std::size_t colon = url.find(':');
    std::size_t slash = url.find('/');
    if (colon != std::string::npos && colon > 1 && (slash == std::string::npos || colon < slash))
        return url;
    std::error_code ec;
    std::string file =
        url.front() == '/' ? (std::filesystem::exists(url, ec) ? url : "") : FindDataFile(url);
    if (file.empty()) return {};
    std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    if (ec) return {};
    return "file://" + absolute.lexically_normal().string();
}

const std::string& AppTitle() {
    return TitleString();
}
const std::string& HomePageUrl() {
    return UrlString();
}

}  // namespace profiles
