#include "platform/codecs/memory_dc.h"

#include <algorithm>

#include "platform/codecs/video_composer.h"

CMemoryDC::CMemoryDC(int width, int height, COLORREF fill)
    : width_(std::max(0, width)),
      height_(std::max(0, height)),
      pixels_(size_t(width_) * height_, codecs::BgrxFromColorRef(fill)) {}

void CMemoryDC::FillRect(const RECT& r, COLORREF color) {
    const uint32_t c = codecs::BgrxFromColorRef(color);
    for (int y = std::max(0, int(r.top)); y < std::min(height_, int(r.bottom)); ++y)
        for (int x = std::max(0, int(r.left)); x < std::min(width_, int(r.right)); ++x)
            pixels_[size_t(y) * width_ + x] = c;
}

void CMemoryDC::DrawBitmap(const RECT& dst, const void* pixels, int width, int height,
                           int strideBytes) {
    if (!pixels || width <= 0 || height <= 0 || dst.Width() <= 0 || dst.Height() <= 0) return;
    const auto* src = static_cast<const uint8_t*>(pixels);
    for (int y = std::max(0, int(dst.top)); y < std::min(height_, int(dst.bottom)); ++y) {
        const int sy = int(int64_t(y - dst.top) * height / dst.Height());
        const auto* row = reinterpret_cast<const uint32_t*>(src + size_t(sy) * strideBytes);
        for (int x = std::max(0, int(dst.left)); x < std::min(width_, int(dst.right)); ++x)
            pixels_[size_t(y) * width_ + x] = row[int64_t(x - dst.left) * width / dst.Width()];
    }
}
