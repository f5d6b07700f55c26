#pragma once
// The data of one title entry and the clip settings that the clip editor and
// the conversion job exchange. Shared by the GUI, the CLI and the pipelines.
#include <cstdint>

struct ClipSettings {
    std::int32_t ZoomMode = 0;  // 0 keep original, 1 full screen, 2 16:9, 3 4:3
    std::int32_t CropLeft = 0;
    std::int32_t CropTop = 0;
    std::int32_t CropRight = 720;  // exclusive, in the 720 x 480 reference frame
    std::int32_t CropBottom = 480;
    std::int32_t Volume = 256;      // 0..512
    std::int32_t Brightness = 128;  // 0..256
    std::int32_t Saturation = 64;   // 0..128
    std::int32_t Hue = 0;           // -180..180 degrees
    std::int32_t Reserved = 0;
    bool operator==(const ClipSettings&) const = default;
};
static_assert(sizeof(ClipSettings) == 40);

struct ConversionItem {
    std::int32_t TitleIndex = 0;
    std::int32_t ChapterIndex = -1;  // -1: the whole title
    std::int64_t Duration = 0;       // milliseconds
    std::int64_t TrimStart = 0;      // milliseconds
    std::int64_t TrimLength = 0;     // milliseconds: a length, not an end
    ClipSettings Clip;
};

// The process-wide trim and clip settings of the last edited entry; the job
// copies its ClipSettings into every checked entry before converting.
struct CurrentClipState {
    std::int64_t TrimStart = 0;
    std::int64_t TrimLength = 0;
    ClipSettings Clip;
};
extern CurrentClipState CurrentClip;

// The size every title's picture is treated as by the clip editor.
struct VideoSize {
    int Width = 720;
    int Height = 480;
};
extern VideoSize ProcessVideoSize;
