#pragma once
// The DVD catalogue: the process's one open DVD, its information record, the
// chosen audio and subtitle tracks, and the names and labels the user sees for
// titles, chapters and tracks. Used from the user-interface thread only.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/libdvd/libdvd.h"

// The process-wide selection: track ids chosen for every entry of a
// conversion; -1 until the track combos are filled.
extern int SelectedAudioStream;
extern int SelectedSubtitleStream;

// Closes any open DVD, opens `path` (UTF-8) and reads its record. On failure
// shows "Open DVD error" and returns false; the handle is then 0.
bool LoadDvd(const std::string& path);
// Closes the open DVD, if any.
void CloseDvd();
// The open DVD (0 when none) and its record (meaningful while one is open).
DvdHandle OpenDvdHandle();
const DvdInfo& OpenDvdInfo();

// Titles shorter than this never become entries.
constexpr double kMinListedTitleMs = 3000.0;
// Indices of the titles that are listed, in title order.
std::vector<int> ListedTitles(const DvdInfo& info);

// A title's duration as a whole number of milliseconds (truncated).
std::int64_t TitleDurationMs(const DvdTitleInfo& title);

struct TrackEntry {
    std::string Label;
    int Value = 0;  // the track id
};
// The audio and subtitle tracks of title t, in record order, labelled from
// that title's own entry. Empty for a title index outside the record.
std::vector<TrackEntry> AudioTracks(const DvdInfo& info, int t);
std::vector<TrackEntry> SubtitleTracks(const DvdInfo& info, int t);

// Label pieces.
std::string AudioFormatText(int formatCode);   // "AC3", "MP3", "LPCM", "DTS" or ""
int AudioChannelCount(int channelCode);        // 6 for code 5, else 2
std::string LanguageCodeText(std::int32_t code);  // 0x656E -> "en"; "" when empty
// The name of a track's language. A track with no language code at all is
// called "Unknown"; a code the table does not know gives an empty name.
std::string TrackLanguageName(std::int32_t code);
std::string AudioTrackLabel(std::int32_t language, int formatCode, int channelCode);
std::string SubtitleTrackLabel(std::int32_t language);

// Display names, built from 0-based indices.
std::string TitleName(int t);               // "Title_01" for t = 0
std::string ChapterName(int t, int c);      // "Chapter_01_01" for t = 0, c = 0
std::string DurationText(double ms);        // "%02d:%02d:%02d"
// An entry's output file name: its display name followed by the profile's
// extension (which carries its own dot).
std::string OutputName(const std::string& displayName, const std::string& formatExt);

struct EntryIndex {
    int Title = 0;
    int Chapter = -1;  // -1: the whole title
    bool operator==(const EntryIndex&) const = default;
};
// Reads a display name back into indices; nullopt when it is neither form.
std::optional<EntryIndex> ParseEntryName(const std::string& name);

// Language names by ISO 639-1 (two letters) and ISO 639-2 (three letters)
// code, case-insensitively; the first alternative of the name; "" if unknown.
std::string LanguageFromIso6391(std::string_view code);
std::string LanguageFromIso6392(std::string_view code);

struct LanguageRow {
    const char* Name;     // UTF-8; alternatives separated by "; "
    const char* Iso6392;
    const char* Iso6391;  // "" when the language has none
    int Lcid;             // carried, not used
};
// The table, ending with an all-empty row.
const LanguageRow* LanguageTable();
