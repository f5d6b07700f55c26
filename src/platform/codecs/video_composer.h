#pragma once
// What the video renderer shows, independent of pins and clocks: the current
// picture (kept as YV12), the source rectangle cut from it, the destination
// rectangle in the window, letterbox bars in the border colour and a
// colour-keyed overlay bitmap. Produces 32-bit B G R X images.
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/codecs/av_helpers.h"
#include "platform/codecs/video_decoder_core.h"
#include "platform/win/window.h"

namespace codecs {

enum class AspectMode { Stretch = 0, LetterBox = 1 };

// A bitmap mixed over the video: pixels B G R X top-down, placed on the video
// area by a normalised rectangle (0..1 of the video's width and height).
struct OverlayBitmap {
    std::vector<uint32_t> pixels;
    int width = 0;
    int height = 0;
    float left = 0, top = 0, right = 1, bottom = 1;
    float alpha = 1.0f;
    bool useColorKey = false;
    COLORREF colorKey = 0;  // 0x00BBGGRR
};

class VideoComposer {
  public:
    VideoComposer();
    ~VideoComposer();

    // Copies the picture; aspect 0:0 means square pixels.
    void SetPicture(const PlanarPicture& picture, int aspectX, int aspectY);
    void ClearPicture();
    bool HasPicture() const;
    SIZE NativeSize() const;
    SIZE AspectRatio() const;

    // An empty source rectangle means the whole picture; it is kept within it.
    void SetSourceRect(const RECT& r);
    RECT SourceRect() const;
    void SetDestRect(const RECT& r);
    RECT DestRect() const;
    void SetAspectMode(AspectMode m);
    AspectMode GetAspectMode() const;
    void SetBorderColor(COLORREF c);
    COLORREF BorderColor() const;
    void SetOverlay(std::optional<OverlayBitmap> overlay);

    // Where the picture lands inside the destination (window coordinates).
    RECT VideoRect() const;
    // The whole picture at its own size (what a snapshot saves).
    bool NativeImage(std::vector<uint32_t>& out, int& width, int& height) const;
    // The destination rectangle as it appears on screen: bars, picture, overlay.
    bool ComposeDestination(std::vector<uint32_t>& out, int& width, int& height) const;
    // Draws the destination into a window's drawing context.
    void Paint(IDrawContext& dc) const;

  private:
    RECT ClampedSource() const;
    RECT FitVideo(const RECT& dest, const RECT& src) const;
    void ScaleInto(const RECT& src, uint32_t* dst, int dstW, int dstH, int dstStride) const;

    mutable std::mutex mutex_;
    std::vector<BYTE> yv12_;
    int width_ = 0, height_ = 0;
    int aspectX_ = 0, aspectY_ = 0;
    RECT source_{};
    RECT dest_{};
    AspectMode mode_ = AspectMode::Stretch;
    COLORREF border_ = 0;
    std::optional<OverlayBitmap> overlay_;
    mutable SwsPtr sws_;
};

// A packed device-independent bitmap: the 40-byte header, then bottom-up rows
// of 32-bit pixels.
std::vector<BYTE> PackDib(const uint32_t* topDownBgrx, int width, int height);
// The colour a COLORREF names, as a B G R X pixel.
constexpr uint32_t BgrxFromColorRef(COLORREF c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

}  // namespace codecs
