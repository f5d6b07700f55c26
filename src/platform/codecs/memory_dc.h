#pragma once
// A drawing surface in memory (B G R X pixels, top-down). Overlay bitmaps are
// drawn into one and handed to the video renderer, which reads its pixels.
#include <cstdint>
#include <vector>

#include "platform/win/window.h"

class CMemoryDC : public IDrawContext {
  public:
    CMemoryDC(int width, int height, COLORREF fill = 0);
    void FillRect(const RECT& r, COLORREF color) override;
    // Nearest-neighbour scaling into dst, clipped to the surface.
    void DrawBitmap(const RECT& dst, const void* pixels, int width, int height,
                    int strideBytes) override;
    int Width() const { return width_; }
    int Height() const { return height_; }
    const std::vector<uint32_t>& Pixels() const { return pixels_; }
    uint32_t Pixel(int x, int y) const { return pixels_[size_t(y) * width_ + x]; }

  private:
    int width_, height_;
    std::vector<uint32_t> pixels_;
};
