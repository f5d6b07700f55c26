#include "platform/codecs/video_composer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace codecs {

VideoComposer::VideoComposer() = default;
VideoComposer::~VideoComposer() = default;

void VideoComposer::SetPicture(const PlanarPicture& p, int aspectX, int aspectY) {
    std::lock_guard lock(mutex_);
    const int w = p.width & ~1, h = p.height & ~1;
    if (w <= 0 || h <= 0) return;
    // A rectangle chosen for pictures of another size means nothing for these;
    // one chosen before the first picture (a crop set up front) is kept.
    if (width_ > 0 && height_ > 0 && (w != width_ || h != height_)) source_ = RECT{};
    width_ = w;
    height_ = h;
    aspectX_ = aspectX;
    aspectY_ = aspectY;
    yv12_.resize(Yv12Size(w, h));
    PlanarPicture dst = Yv12View(yv12_.data(), w, h, w);
    for (int row = 0; row < h; ++row)
        std::memcpy(dst.y + size_t(row) * w, p.y + size_t(row) * p.yStride, w);
    for (int row = 0; row < h / 2; ++row) {
        std::memcpy(dst.u + size_t(row) * dst.cStride, p.u + size_t(row) * p.cStride, w / 2);
        std::memcpy(dst.v + size_t(row) * dst.cStride, p.v + size_t(row) * p.cStride, w / 2);
    }
}

void VideoComposer::ClearPicture() {
    std::lock_guard lock(mutex_);
    yv12_.clear();
    width_ = height_ = 0;
}

bool VideoComposer::HasPicture() const {
    std::lock_guard lock(mutex_);
    return !yv12_.empty();
}

SIZE VideoComposer::NativeSize() const {
    std::lock_guard lock(mutex_);
    return SIZE{width_, height_};
}

SIZE VideoComposer::AspectRatio() const {
    std::lock_guard lock(mutex_);
    if (aspectX_ > 0 && aspectY_ > 0) return SIZE{aspectX_, aspectY_};
    return SIZE{width_, height_};
}

void VideoComposer::SetSourceRect(const RECT& r) {
    std::lock_guard lock(mutex_);
    source_ = r;
}

RECT VideoComposer::SourceRect() const {
    std::lock_guard lock(mutex_);
    return ClampedSource();
}

RECT VideoComposer::ClampedSource() const {
    RECT full{0, 0, width_, height_};
    if (source_.Width() <= 0 || source_.Height() <= 0) return full;
    RECT r{std::max(0, source_.left), std::max(0, source_.top), std::min(width_, source_.right),
           std::min(height_, source_.bottom)};
    if (r.Width() <= 0 || r.Height() <= 0) return full;
    return r;
}

void VideoComposer::SetDestRect(const RECT& r) {
    std::lock_guard lock(mutex_);
    dest_ = r;
}

RECT VideoComposer::DestRect() const {
    std::lock_guard lock(mutex_);
    return dest_;
}

void VideoComposer::SetAspectMode(AspectMode m) {
    std::lock_guard lock(mutex_);
    mode_ = m;
}

AspectMode VideoComposer::GetAspectMode() const {
    std::lock_guard lock(mutex_);
    return mode_;
}

void VideoComposer::SetBorderColor(COLORREF c) {
    std::lock_guard lock(mutex_);
    border_ = c;
}

COLORREF VideoComposer::BorderColor() const {
    std::lock_guard lock(mutex_);
    return border_;
}

void VideoComposer::SetOverlay(std::optional<OverlayBitmap> overlay) {
    std::lock_guard lock(mutex_);
    overlay_ = std::move(overlay);
}

RECT VideoComposer::FitVideo(const RECT& dest, const RECT& src) const {
    if (mode_ != AspectMode::LetterBox || width_ <= 0 || height_ <= 0 || dest.Width() <= 0 ||
        dest.Height() <= 0)
        return dest;
    // Display shape of the shown part: its pixel size scaled by the pixel aspect.
    const double ax = aspectX_ > 0 && aspectY_ > 0 ? aspectX_ : width_;
    const double ay = aspectX_ > 0 && aspectY_ > 0 ? aspectY_ : height_;
    const double shape =
        (double(src.Width()) * ax * height_) / (double(src.Height()) * ay * width_);
    const double destShape = double(dest.Width()) / dest.Height();
    RECT r = dest;
    if (destShape > shape) {
        const LONG w = LONG(std::lround(dest.Height() * shape));
        r.left = dest.left + (dest.Width() - w) / 2;
        r.right = r.left + w;
    } else {
        const LONG h = LONG(std::lround(dest.Width() / shape));
        r.top = dest.top + (dest.Height() - h) / 2;
        r.bottom = r.top + h;
    }
    return r;
}

RECT VideoComposer::VideoRect() const {
    std::lock_guard lock(mutex_);
    return FitVideo(dest_, ClampedSource());
}

void VideoComposer::ScaleInto(const RECT& srcIn, uint32_t* dst, int dstW, int dstH,
                              int dstStride) const {
    if (dstW <= 0 || dstH <= 0 || yv12_.empty()) return;
    // 4:2:0 chroma can only be cut at even positions.
    RECT src = srcIn;
    src.left &= ~1;
    src.top &= ~1;
    const int sw = src.Width(), sh = src.Height();
    if (sw <= 0 || sh <= 0) return;
    sws_.reset(sws_getCachedContext(sws_.release(), sw, sh, AV_PIX_FMT_YUV420P, dstW, dstH,
                                    AV_PIX_FMT_BGR0, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!sws_) return;
    PlanarPicture p = Yv12View(const_cast<BYTE*>(yv12_.data()), width_, height_, width_);
    const uint8_t* planes[3] = {p.y + size_t(src.top) * p.yStride + src.left,
                                p.u + size_t(src.top / 2) * p.cStride + src.left / 2,
                                p.v + size_t(src.top / 2) * p.cStride + src.left / 2};
    const int strides[3] = {p.yStride, p.cStride, p.cStride};
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(dst)};
    const int outStride[1] = {dstStride};
    sws_scale(sws_.get(), planes, strides, 0, sh, out, outStride);
}

bool VideoComposer::NativeImage(std::vector<uint32_t>& out, int& width, int& height) const {
    std::lock_guard lock(mutex_);
    if (yv12_.empty()) return false;
    width = width_;
    height = height_;
    out.assign(size_t(width_) * height_, 0);
    ScaleInto(RECT{0, 0, width_, height_}, out.data(), width_, height_, width_ * 4);
    return true;
}

bool VideoComposer::ComposeDestination(std::vector<uint32_t>& out, int& width, int& height) const {
    std::lock_guard lock(mutex_);
    width = dest_.Width();
    height = dest_.Height();
    if (width <= 0 || height <= 0) return false;
    out.assign(size_t(width) * height, BgrxFromColorRef(border_));
    if (yv12_.empty()) return true;

    RECT video = FitVideo(dest_, ClampedSource());
    // Relative to the destination's origin, clipped to it.
    video.left -= dest_.left;
    video.right -= dest_.left;
    video.top -= dest_.top;
    video.bottom -= dest_.top;
    const int vw = video.Width(), vh = video.Height();
    if (vw <= 0 || vh <= 0) return true;
    std::vector<uint32_t> picture(size_t(vw) * vh);
    ScaleInto(ClampedSource(), picture.data(), vw, vh, vw * 4);

    if (overlay_ && overlay_->width > 0 && overlay_->height > 0) {
        const OverlayBitmap& o = *overlay_;
        const int ox0 = int(std::lround(o.left * vw)), ox1 = int(std::lround(o.right * vw));
        const int oy0 = int(std::lround(o.top * vh)), oy1 = int(std::lround(o.bottom * vh));
        const uint32_t key = BgrxFromColorRef(o.colorKey) & 0xFFFFFF;
        const int a = std::clamp(int(std::lround(o.alpha * 256)), 0, 256);
        for (int y = std::max(0, oy0); y < std::min(vh, oy1); ++y) {
            const int sy = int(int64_t(y - oy0) * o.height / std::max(1, oy1 - oy0));
            for (int x = std::max(0, ox0); x < std::min(vw, ox1); ++x) {
                const int sx = int(int64_t(x - ox0) * o.width / std::max(1, ox1 - ox0));
                const uint32_t s = o.pixels[size_t(sy) * o.width + sx] & 0xFFFFFF;
                if (o.useColorKey && s == key) continue;
                uint32_t& d = picture[size_t(y) * vw + x];
                uint32_t mixed = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    const int sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
                    mixed |= uint32_t((sc * a + dc * (256 - a)) >> 8) << shift;
                }
                d = mixed;
            }
        }
    }

    for (int y = std::max(0, int(video.top)); y < std::min(height, int(video.bottom)); ++y)
        for (int x = std::max(0, int(video.left)); x < std::min(width, int(video.right)); ++x)
            out[size_t(y) * width + x] = picture[size_t(y - video.top) * vw + (x - video.left)];
    return true;
}

void VideoComposer::Paint(IDrawContext& dc) const {
    std::vector<uint32_t> image;
    int w = 0, h = 0;
    if (!ComposeDestination(image, w, h)) return;
    dc.DrawBitmap(DestRect(), image.data(), w, h, w * 4);
}

std::vector<BYTE> PackDib(const uint32_t* pixels, int width, int height) {
    const size_t rowBytes = size_t(width) * 4;
    std::vector<BYTE> dib(40 + rowBytes * height, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) dib[at + i] = BYTE(v >> (8 * i));
    };
    put32(0, 40);                            // header size
    put32(4, uint32_t(width));               // width
    put32(8, uint32_t(height));              // positive height: rows bottom-up
    dib[12] = 1;                             // planes
    dib[14] = 32;                            // bits per pixel
    put32(16, 0);                            // uncompressed
    put32(20, uint32_t(rowBytes * height));  // image bytes
    for (int row = 0; row < height; ++row)
        std::memcpy(dib.data() + 40 + rowBytes * (height - 1 - row), pixels + size_t(row) * width,
                    rowBytes);
    return dib;
}

}  // namespace codecs
