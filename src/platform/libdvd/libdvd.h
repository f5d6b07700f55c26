#pragma once
// libDvd: the DVD access library. Opens a disc (drive, VIDEO_TS folder or ISO
// image), describes it in the fixed-layout DvdInfo record and serves one title
// (or a chapter range of it) as a seekable byte stream of MPEG-2 program-stream
// sectors. Built over libdvdread; encrypted discs read where libdvdcss is
// installed.
//
// The record layouts are part of the contract with the rest of the program
// (the splitter receives a DvdTitleInfo as raw bytes), so every offset is
// pinned by a static_assert below.
#include <cstddef>
#include <cstdint>

#include "platform/com/types.h"

// An open DVD: a 32-bit opaque value, 0 meaning "no DVD".
using DvdHandle = std::uint32_t;

constexpr int kDvdMaxTitles = 32;
constexpr int kDvdMaxChapters = 64;  // what fits between offsets 272 and 528
constexpr int kDvdMaxAudio = 32;
constexpr int kDvdMaxSubpictures = 32;
constexpr int kDvdSectorSize = 2048;
constexpr int kDvdReadBlockSize = 10240;  // five sectors

// Audio format codes as they appear in DvdTitleInfo::AudioFormat.
enum DvdAudioFormat : std::int32_t {
    kDvdAudioAc3 = 0,
    kDvdAudioMpeg1 = 2,
    kDvdAudioMpeg2 = 3,
    kDvdAudioLpcm = 4,
    kDvdAudioDts = 5,
};

#pragma pack(push, 4)
// One title. Durations are milliseconds; chapter sizes are 2048-byte sectors.
// Track ids are PES stream id * 256 + private-stream-1 sub-stream id. Language
// codes hold two ASCII letters, the first in bits 15..8 ("en" = 0x656E).
struct DvdTitleInfo {
    std::int32_t ChapterCount;                         // 0
    std::int32_t Reserved0;                            // 4
    double Duration;                                   // 8
    BYTE Reserved1[256];                               // 16
    std::int32_t ChapterSectors[kDvdMaxChapters];      // 272
    std::int32_t AudioCount;                           // 528
    std::int32_t AudioId[kDvdMaxAudio];                // 532
    std::int32_t AudioLanguage[kDvdMaxAudio];          // 660
    std::int32_t AudioFormat[kDvdMaxAudio];            // 788
    std::int32_t AudioChannels[kDvdMaxAudio];          // 916: channels - 1
    std::int32_t SubpictureCount;                      // 1044
    std::int32_t SubpictureId[kDvdMaxSubpictures];     // 1048
    std::int32_t SubpictureLanguage[kDvdMaxSubpictures];  // 1176
};

struct DvdInfo {
    std::int32_t TitleCount;  // 0
    std::int32_t Reserved0;   // 4
    DvdTitleInfo Titles[kDvdMaxTitles];  // 8
};
#pragma pack(pop)

static_assert(sizeof(double) == 8);
static_assert(sizeof(DvdTitleInfo) == 1304);
static_assert(sizeof(DvdInfo) == 41736);
static_assert(offsetof(DvdTitleInfo, ChapterCount) == 0);
static_assert(offsetof(DvdTitleInfo, Duration) == 8);
static_assert(offsetof(DvdTitleInfo, ChapterSectors) == 272);
static_assert(offsetof(DvdTitleInfo, AudioCount) == 528);
static_assert(offsetof(DvdTitleInfo, AudioId) == 532);
static_assert(offsetof(DvdTitleInfo, AudioLanguage) == 660);
static_assert(offsetof(DvdTitleInfo, AudioFormat) == 788);
static_assert(offsetof(DvdTitleInfo, AudioChannels) == 916);
static_assert(offsetof(DvdTitleInfo, SubpictureCount) == 1044);
static_assert(offsetof(DvdTitleInfo, SubpictureId) == 1048);
static_assert(offsetof(DvdTitleInfo, SubpictureLanguage) == 1176);
static_assert(offsetof(DvdInfo, TitleCount) == 0);
static_assert(offsetof(DvdInfo, Titles) == 8);

// Opens a drive (/dev/sr0 or its mount point), a VIDEO_TS folder (the folder
// itself or its parent) or an ISO image; the path is UTF-8. Returns 0 when the
// path is not a readable DVD-Video.
DvdHandle MyDVDOpen(const char* path);
// Fills the record (titles of the video manager's title table, at most 32).
// Returns 0 on success, -1 for an unknown handle or a null record.
int MyDVDGetInfo(DvdHandle handle, DvdInfo* info);
// Releases the handle. Returns 0, or -1 for an unknown handle.
int MyDVDClose(DvdHandle handle);

// Reading starts at the beginning of chapter `chapter` (0-based) of title
// `title` (0-based); the area runs to the end of the title until a stop
// position says otherwise. Returns 0, or -1 for a bad handle or title.
int MyDVDSetArea(DvdHandle handle, int title, int chapter);
// Reading ends where chapter `chapter` of title `title` begins. A stop inside
// another title, or past the last chapter, ends reading at the end of the
// area's title. Returns 0, or -1 for a bad handle.
int MyDvdSetStopPos(DvdHandle handle, int title, int chapter);
// Delivers the next bytes of the area (the title's cells in playback order,
// first angle only). Returns the number of bytes delivered, 0 at the end of the
// area, -1 on error (bad handle, no area). Sectors that cannot be read even
// after retries are delivered as zeroes and counted (MyDVDGetBadSectorCount).
int MyDVDRead(DvdHandle handle, BYTE* buffer, int byteCount);
// Moves the reading position, counted in bytes from the start of the area
// (origin 0), from the current position (1) or from the end of the area (2).
// Lands on the sector boundary at or before the requested offset (clamped to
// the area) and returns the offset reached; -1 on error.
LONGLONG MyDVDSeek(DvdHandle handle, LONGLONG offset, int origin);

// Sectors delivered as zeroes because they could not be read, since the handle
// was opened. -1 for an unknown handle.
LONGLONG MyDVDGetBadSectorCount(DvdHandle handle);
// Sectors delivered still scrambled since the handle was opened: an encrypted
// disc read without libdvdcss. -1 for an unknown handle.
LONGLONG MyDVDGetScrambledSectorCount(DvdHandle handle);
