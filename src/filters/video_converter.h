#pragma once
// The picture work of the video conversion filter, free of any pipeline: where
// the crop lands in the output frame for each zoom mode, the plan (crop, pad,
// scale) made once per connection, and the per-picture processing with the
// brightness, hue and saturation effects in integer arithmetic.
//
// Pictures are planar 4:2:0 stored as YV12: Y, then V, then U. The converter
// treats them as three planes in stored order (plane 1 = V, plane 2 = U).
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/com/types.h"

struct SwsContext;

// Zoom modes: how the crop rectangle is placed inside the output frame.
enum : LONG {
    ZOOM_KEEP_ASPECT = 0,  // largest centred rectangle with the crop's aspect
    ZOOM_STRETCH = 1,      // the whole frame
    ZOOM_16_9 = 2,         // largest centred 16:9 rectangle
    ZOOM_4_3 = 3,          // largest centred 4:3 rectangle
};

// The largest centred rectangle of aspect `aspect` inside (0, 0, w, h).
RECT FitAspect(double aspect, LONG w, LONG h);
// The rectangle the crop is placed in for a zoom mode (unknown modes stretch).
RECT PlacedRect(LONG zoomMode, const RECT& crop, LONG outW, LONG outH);

struct VideoPlan {
    LONG inWidth = 0, inHeight = 0;
    LONG outWidth = 0, outHeight = 0;
    LONG outStride = 0;  // luma row length of the output buffer
    bool crop = false;
    RECT cropMargins;  // left, top, right, bottom cut off the input
    bool pad = false;
    RECT padMargins;  // border widths, each even
    bool scale = false;
    LONG scaledWidth = 0, scaledHeight = 0;  // crop scaled to this size
    LONG cropWidth = 0, cropHeight = 0;
};

// Decides crop, pad and scale for one connection (no side effects).
VideoPlan MakeVideoPlan(LONG inW, LONG inH, const RECT& crop, const RECT& target, LONG zoomMode,
                        LONG outStride);

// Sine and cosine of whole degrees -180..180, times 128, truncated toward zero.
struct HueTables {
    HueTables();
    std::array<std::int16_t, 361> sine;
    std::array<std::int16_t, 361> cosine;
};
const HueTables& GetHueTables();

// The effects over one picture's planes. Values are used as given (the setters
// clamp them); 128 / 64 / 0 leave the picture unchanged.
void ApplyBrightness(std::uint8_t* y, std::size_t count, int brightness);
void ApplyHueSaturation(std::uint8_t* v, std::uint8_t* u, std::size_t count, int hue,
                        int saturation);

class VideoConverter {
  public:
    VideoConverter() = default;
    ~VideoConverter();
    VideoConverter(const VideoConverter&) = delete;
    VideoConverter& operator=(const VideoConverter&) = delete;

    // Makes the plan, the scaler and the work picture. False when the scaler
    // or the picture cannot be made (the connection must fail then).
    bool Prepare(LONG inW, LONG inH, const RECT& crop, const RECT& target, LONG zoomMode,
                 LONG outStride);
    bool IsPrepared() const { return !work_.empty(); }
    const VideoPlan& Plan() const { return plan_; }

    // Bytes one input picture occupies.
    std::size_t InputBytes() const;
    // Converts one picture. False when the input is shorter than a picture.
    bool Process(const std::uint8_t* in, std::size_t inLength, std::uint8_t* out,
                 std::size_t outLength, int brightness, int saturation, int hue);

  private:
    void ApplyEffects(int brightness, int saturation, int hue);
    void FreeScaler();

    VideoPlan plan_;
    SwsContext* scaler_ = nullptr;
    // The output-size picture, its three planes in one block.
    std::vector<std::uint8_t> work_;
    std::uint8_t* plane_[3] = {};
    int stride_[3] = {};
    LONG chromaW_ = 0, chromaH_ = 0;
};
