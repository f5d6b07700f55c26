#include "dvd/catalogue.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/win/messages.h"

// The catalogue's process-wide state, all of it.
int SelectedAudioStream = -1;
int SelectedSubtitleStream = -1;

namespace {

struct OpenDvd {
    DvdHandle handle = 0;
    DvdInfo info{};
};

OpenDvd& TheDvd() {
    static OpenDvd dvd;
    return dvd;
}

const LanguageRow kLanguages[] = {
#include "dvd/language_table.inc"
    {"", "", "", 0},
};

std::string FirstAlternative(const char* name) {
    const char* semicolon = std::strchr(name, ';');
    return semicolon ? std::string(name, semicolon) : std::string(name);
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool ValidTitle(const DvdInfo& info, int t) {
    return t >= 0 && t < std::min(info.TitleCount, kDvdMaxTitles);
}

}  // namespace

bool LoadDvd(const std::string& path) {
    OpenDvd& dvd = TheDvd();
    CloseDvd();
    dvd.handle = MyDVDOpen(path.c_str());
    if (dvd.handle == 0) {
        MessageBox("Open DVD error");
        return false;
    }
    MyDVDGetInfo(dvd.handle, &dvd.info);
    return true;
}

void CloseDvd() {
    OpenDvd& dvd = TheDvd();
    if (dvd.handle != 0) MyDVDClose(dvd.handle);
    dvd.handle = 0;
}

DvdHandle OpenDvdHandle() { return TheDvd().handle; }
const DvdInfo& OpenDvdInfo() { return TheDvd().info; }

std::vector<int> ListedTitles(const DvdInfo& info) {
    std::vector<int> titles;
    for (int t = 0; ValidTitle(info, t); ++t)
        if (info.Titles[t].Duration >= kMinListedTitleMs) titles.push_back(t);
    return titles;
}

std::int64_t TitleDurationMs(const DvdTitleInfo& title) {
    return static_cast<std::int64_t>(title.Duration);
}

std::vector<TrackEntry> AudioTracks(const DvdInfo& info, int t) {
    std::vector<TrackEntry> tracks;
    if (!ValidTitle(info, t)) return tracks;
    const DvdTitleInfo& title = info.Titles[t];
    for (int i = 0; i < std::clamp(title.AudioCount, 0, kDvdMaxAudio); ++i)
        tracks.push_back({AudioTrackLabel(title.AudioLanguage[i], title.AudioFormat[i], title.AudioChannels[i]),
                          title.AudioId[i]});
    return tracks;
}

std::vector<TrackEntry> SubtitleTracks(const DvdInfo& info, int t) {
    std::vector<TrackEntry> tracks;
    if (!ValidTitle(info, t)) return tracks;
    const DvdTitleInfo& title = info.Titles[t];
    for (int i = 0; i < std::clamp(title.SubpictureCount, 0, kDvdMaxSubpictures); ++i)
        tracks.push_back({SubtitleTrackLabel(title.SubpictureLanguage[i]), title.SubpictureId[i]});
    return tracks;
}

std::string AudioFormatText(int formatCode) {
    switch (formatCode) {
        case 0: return "AC3";
        case 2:
        case 3: return "MP3";
        case 4: return "LPCM";
        case 5: return "DTS";
        default: return "";
    }
}

int AudioChannelCount(int channelCode) { return channelCode == 5 ? 6 : 2; }

std::string LanguageCodeText(std::int32_t code) {
    char first = char((code >> 8) & 0xFF), second = char(code & 0xFF);
    std::string text;
    if (first) text += first;
    if (second) text += second;
    return text;
}

std::string TrackLanguageName(std::int32_t code) {
    if ((code & 0xFFFF) == 0) return "Unknown";
    return LanguageFromIso6391(LanguageCodeText(code));
}

std::string AudioTrackLabel(std::int32_t language, int formatCode, int channelCode) {
    return TrackLanguageName(language) + "(" + AudioFormatText(formatCode) + " " +
           std::to_string(AudioChannelCount(channelCode)) + "ch)";
}

std::string SubtitleTrackLabel(std::int32_t language) { return TrackLanguageName(language); }

std::string TitleName(int t) {
    char text[32];
    std::snprintf(text, sizeof text, "Title_%02d", t + 1);
    return text;
}

std::string ChapterName(int t, int c) {
    char text[48];
    std::snprintf(text, sizeof text, "Chapter_%02d_%02d", t + 1, c + 1);
    return text;
}

std::string DurationText(double ms) {
    // NaN and negative durations come only from a damaged record; show zero.
    long long total = (std::isfinite(ms) && ms > 0) ? static_cast<long long>(ms / 1000.0) : 0;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    return text;
}

std::string OutputName(const std::string& displayName, const std::string& formatExt) {
    return displayName + formatExt;
}

std::optional<EntryIndex> ParseEntryName(const std::string& name) {
    int title = 0, chapter = 0;
    if (name.find("Title") != std::string::npos) {
        if (std::sscanf(name.c_str(), "Title_%02d", &title) != 1 || title < 1) return std::nullopt;
        return EntryIndex{title - 1, -1};
    }
    if (name.find("Chapter") != std::string::npos) {
        if (std::sscanf(name.c_str(), "Chapter_%02d_%02d", &title, &chapter) != 2 || title < 1 || chapter < 1)
            return std::nullopt;
        return EntryIndex{title - 1, chapter - 1};
    }
    return std::nullopt;
}

std::string LanguageFromIso6391(std::string_view code) {
    std::string key = Lower(code);
    if (key.empty()) return "";
    for (const LanguageRow* row = kLanguages; row->Name[0]; ++row)
        if (key == row->Iso6391) return FirstAlternative(row->Name);
    return "";
}

std::string LanguageFromIso6392(std::string_view code) {
    std::string key = Lower(code);
    if (key.empty()) return "";
    for (const LanguageRow* row = kLanguages; row->Name[0]; ++row)
        if (key == row->Iso6392) return FirstAlternative(row->Name);
    return "";
}

const LanguageRow* LanguageTable() { return kLanguages; }
