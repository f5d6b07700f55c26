#pragma once
// Output profiles: the record of one profile, the encoder settings the pipeline
// reads from it, the process-wide catalogue loaded from "Format.xml", and the
// application title and home page from "Set.xml".
#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "profiles/text.h"

namespace profiles {

// What the encoder, the conversion graph and the clip editor are handed.
struct EncoderSettings {
    std::int32_t HasVideo;
    std::int32_t Width;
    std::int32_t Height;
    std::int32_t VideoBitRate;  // bit/s
    std::int32_t FrameRate;     // frames per 1000 s; 29970 and 23976 are the NTSC rates
    char VideoCodecName[16];    // UTF-8 encoder name
    std::int32_t HasAudio;
    std::int32_t SampleRate;  // Hz
    std::int32_t Channel;
    std::int32_t AudioBitRate;  // bit/s
    char AudioCodecName[16];
};

// One profile: a plain fixed-size record, freely copied by value. Texts are
// zero-terminated UTF-16 of the given capacity; the choice lists are
// "value$text,value$text,..." (see the choice-list functions below).
struct FormatProfile {
    std::int32_t Index;
    char16_t FormatExt[8];
    char16_t ProfileName[160];
    char16_t Resolutions[128];
    char16_t FrameRates[128];
    char16_t VideoBitRates[320];
    char16_t AudioBitRates[128];
    char16_t SampleRates[128];
    char16_t Channels[64];
    char16_t VideoCodecs[256];
    char16_t AudioCodecs[128];
    EncoderSettings Settings;
};
static_assert(std::is_trivially_copyable_v<FormatProfile>);
static_assert(std::is_standard_layout_v<FormatProfile>);

class ProfileCatalogue {
  public:
    ProfileCatalogue() = default;
    ProfileCatalogue(const ProfileCatalogue&) = delete;
    ProfileCatalogue& operator=(const ProfileCatalogue&) = delete;

    // The one catalogue of the program.
    static ProfileCatalogue& Instance();

    // Loads a catalogue file. On failure (missing, unreadable, not well formed)
    // the catalogue is unchanged; on success it holds exactly the file's profiles.
    bool Load(const std::string& path);
    // Loads "Format.xml" from the working directory, else the program's data directory.
    bool LoadDefault();

    void Append(const FormatProfile& profile);
    // Copies the profile with this Index into `out`.
    bool FindByIndex(int index, FormatProfile& out) const;
    // The profile a fresh session starts with: Index 1, else the first one.
    bool GetDefaultProfile(FormatProfile& out) const;
    std::size_t Count() const;
    void Clear();

    // Calls f(const FormatProfile&) for each profile in catalogue order, under the lock.
    template <class F>
    void ForEach(F&& f) const {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        for (const FormatProfile& p : m_profiles) f(p);
    }
    // For callers that need the lock across several calls.
    std::recursive_mutex& Lock() const { return m_lock; }

  private:
    mutable std::recursive_mutex m_lock;
    std::list<FormatProfile> m_profiles;
};

// Reads one catalogue file into a list without touching any catalogue.
bool ReadFormatFile(const std::string& path, std::list<FormatProfile>& out);

// ---- Choice lists --------------------------------------------------------------
// Entries are separated by ","; "value$text" stores value and shows text, a bare
// entry is both. Comparisons are exact. Empty entries are skipped.
std::vector<std::u16string> ChoiceTexts(std::u16string_view list);
std::vector<std::u16string> ChoiceValues(std::u16string_view list);
// First entry whose value equals `value`: its display text; "" when none.
std::u16string ChoiceTextForValue(std::u16string_view list, std::u16string_view value);
// First entry whose display text equals `text`: its value; "" when none.
std::u16string ChoiceValueForText(std::u16string_view list, std::u16string_view text);

// ---- Application settings ("Set.xml") --------------------------------------------
// Loads the title and home-page address; a missing file or element leaves them
// as they were (empty at start).
void LoadAppSettings();
void LoadAppSettings(const std::string& path);
const std::string& AppTitle();
const std::string& HomePageUrl();
// What to hand the desktop's opener for the home page: the address itself when it
// has a scheme ("https://..."), else the file it names relative to the data
// directories, as a "file://" address; "" when there is no such file.
std::string HomePageTarget();

// A UTF-16 field of a profile as UTF-8, for front ends.
template <std::size_t N>
std::string FieldUtf8(const char16_t (&field)[N]) {
    return Utf16ToUtf8(FieldView(field));
}

}  // namespace profiles
