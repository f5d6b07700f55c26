#include "filters/video_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libswscale/swscale.h>
}

namespace {

constexpr double kPi = 3.1415926;  // the tables are defined with this value
constexpr double kAspect16x9 = 1.7777778;
constexpr double kAspect4x3 = 1.3333334;
constexpr std::uint8_t kBlackY = 16;
constexpr std::uint8_t kBlackC = 128;

LONG Even(LONG m) {
    return (m + 1) / 2 * 2;
}
LONG Half(LONG v) {
    return (v + 1) / 2;
}  // chroma size of a 4:2:0 plane

std::uint8_t Clamp255(int v) {
    return std::uint8_t(std::clamp(v, 0, 255));
}

// Copies `rows` rows of `width` bytes between two strided planes.
void CopyRows(const std::uint8_t* src, int srcStride, std::uint8_t* dst, int dstStride, LONG width,
              LONG rows) {
    if (width <= 0) return;
    for (LONG r = 0; r < rows; ++r)
        std::memcpy(dst + std::ptrdiff_t(r) * dstStride, src + std::ptrdiff_t(r) * srcStride,
                    std::size_t(width));
}

}  // namespace

RECT FitAspect(double aspect, LONG w, LONG h) {
    RECT r{0, 0, w, h};
    if (h > 0 && aspect > double(w) / double(h)) {
        const LONG d = (h - LONG(double(w) / aspect)) / 2;
        r.top += d;
        r.bottom -= d;
    } else {
        const LONG d = (w - LONG(double(h) * aspect)) / 2;
        r.left += d;
        r.right -= d;
    }
    return r;
}

RECT PlacedRect(LONG zoomMode, const RECT& crop, LONG outW, LONG outH) {
    switch (zoomMode) {
        case ZOOM_KEEP_ASPECT:
            // A crop without height has no aspect; it is placed over the frame
            // and fails later, at the scaler.
            if (crop.Height() <= 0) break;
            return FitAspect(double(crop.Width()) / double(crop.Height()), outW, outH);
        case ZOOM_16_9:
            return FitAspect(kAspect16x9, outW, outH);
        case ZOOM_4_3:
            return FitAspect(kAspect4x3, outW, outH);
        default:
            break;
    }
    return RECT{0, 0, outW, outH};
}

VideoPlan MakeVideoPlan(LONG inW, LONG inH, const RECT& crop, const RECT& target, LONG zoomMode,
                        LONG outStride) {
    VideoPlan p;
    p.inWidth = inW;
    p.inHeight = inH;
    p.outStride = outStride;
    p.outWidth = target.Width();
    p.outHeight = target.Height();
    p.cropWidth = crop.Width();
    p.cropHeight = crop.Height();

    if (p.cropWidth > 0 && p.cropHeight > 0 && (p.cropWidth != inW || p.cropHeight != inH)) {
        p.crop = true;
        p.cropMargins = RECT{crop.left, crop.top, inW - crop.right, inH - crop.bottom};
    }

    const RECT placed = PlacedRect(zoomMode, crop, p.outWidth, p.outHeight);
    if (placed.Width() != p.outWidth || placed.Height() != p.outHeight) {
        p.pad = true;
        p.padMargins = RECT{Even(placed.left), Even(placed.top), Even(p.outWidth - placed.right),
                            Even(p.outHeight - placed.bottom)};
    }

    const RECT& m = p.padMargins;
    if (p.cropWidth + m.left + m.right != p.outWidth ||
        p.cropHeight + m.top + m.bottom != p.outHeight) {
        p.scale = true;
        p.scaledWidth = p.outWidth - m.left - m.right;
        p.scaledHeight = p.outHeight - m.top - m.bottom;
    }
    return p;
}

HueTables::HueTables() {
    for (int i = -180; i <= 180; ++i) {
        const double rad = double(i) * kPi / 180.0;
        sine[std::size_t(i + 180)] = std::int16_t(std::sin(rad) * 128.0);
        cosine[std::size_t(i + 180)] = std::int16_t(std::cos(rad) * 128.0);
    }
}

const HueTables& GetHueTables() {
    static const HueTables tables;
    return tables;
}

void ApplyBrightness(std::uint8_t* y, std::size_t count, int brightness) {
    if (brightness == 128) return;
    std::uint8_t lut[256];
    for (int i = 0; i < 256; ++i) lut[i] = std::uint8_t(std::min(255, (i * brightness) >> 7));
    for (std::size_t i = 0; i < count; ++i) y[i] = lut[y[i]];
}

void ApplyHueSaturation(std::uint8_t* v, std::uint8_t* u, std::size_t count, int hue,
                        int saturation) {
    if (hue == 0 && saturation == 64) return;
    const HueTables& t = GetHueTables();
    const int s = t.sine[std::size_t(std::clamp(hue, -180, 180) + 180)];
    const int c = t.cosine[std::size_t(std::clamp(hue, -180, 180) + 180)];
    // The products depend on one byte each, so they are looked up; the sums of
    // two such terms lie in -256..254.
    int cTimes[256], sTimes[256];
    for (int i = 0; i < 256; ++i) {
        cTimes[i] = (c * (i - 128)) >> 7;
        sTimes[i] = (s * (i - 128)) >> 7;
    }
    std::uint8_t gain[512];
    for (int d = -256; d < 256; ++d) gain[d + 256] = Clamp255(((d * saturation) >> 6) + 128);
    for (std::size_t i = 0; i < count; ++i) {
        const int vi = v[i], ui = u[i];
        const int v2 = cTimes[vi] + sTimes[ui];
        const int u2 = cTimes[ui] - sTimes[vi];
        v[i] = gain[v2 + 256];
        u[i] = gain[u2 + 256];
    }
}

VideoConverter::~VideoConverter() {
    FreeScaler();
}

void VideoConverter::FreeScaler() {
    sws_freeContext(scaler_);
    scaler_ = nullptr;
}

bool VideoConverter::Prepare(LONG inW, LONG inH, const RECT& crop, const RECT& target,
                             LONG zoomMode, LONG outStride) {
    // A crop reaching past the picture (settings made for a larger picture)
    // would read outside the input buffer; only the part inside is shown.
    RECT c = crop;
    if (c.Width() > 0 && c.Height() > 0) {
        c.left = std::max<LONG>(c.left, 0);
        c.top = std::max<LONG>(c.top, 0);
        c.right = std::min(c.right, inW);
        c.bottom = std::min(c.bottom, inH);
        if (c.Width() <= 0 || c.Height() <= 0) {
            plan_ = VideoPlan{};
            FreeScaler();
            work_.clear();
            return false;
        }
    }
    plan_ = MakeVideoPlan(inW, inH, c, target, zoomMode, outStride);
    FreeScaler();
    work_.clear();
    if (inW <= 0 || inH <= 0 || plan_.outWidth <= 0 || plan_.outHeight <= 0) return false;
    if (plan_.scale) {
        scaler_ = sws_getContext(plan_.cropWidth, plan_.cropHeight, AV_PIX_FMT_YUV420P,
                                 plan_.scaledWidth, plan_.scaledHeight, AV_PIX_FMT_YUV420P,
                                 SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!scaler_) return false;
    } else if (plan_.crop) {
        // Without a scaler the crop is copied as it stands, so it must lie
        // inside the input.
        const RECT& m = plan_.cropMargins;
        if (m.left < 0 || m.top < 0 || m.right < 0 || m.bottom < 0) return false;
    }
    chromaW_ = Half(plan_.outWidth);
    chromaH_ = Half(plan_.outHeight);
    const std::size_t luma = std::size_t(plan_.outWidth) * plan_.outHeight;
    const std::size_t chroma = std::size_t(chromaW_) * chromaH_;
    work_.resize(luma + 2 * chroma);
    plane_[0] = work_.data();
    plane_[1] = plane_[0] + luma;
    plane_[2] = plane_[1] + chroma;
    stride_[0] = plan_.outWidth;
    stride_[1] = stride_[2] = chromaW_;
    return true;
}

std::size_t VideoConverter::InputBytes() const {
    return std::size_t(plan_.inWidth) * plan_.inHeight +
           2 * std::size_t(Half(plan_.inWidth)) * Half(plan_.inHeight);
}

void VideoConverter::ApplyEffects(int brightness, int saturation, int hue) {
    ApplyBrightness(plane_[0], std::size_t(plan_.outWidth) * plan_.outHeight, brightness);
    ApplyHueSaturation(plane_[1], plane_[2], std::size_t(chromaW_) * chromaH_, hue, saturation);
}

bool VideoConverter::Process(const std::uint8_t* in, std::size_t inLength, std::uint8_t* out,
                             std::size_t outLength, int brightness, int saturation, int hue) {
    if (!IsPrepared() || !in || !out || inLength < InputBytes()) return false;
    const VideoPlan& p = plan_;
    const LONG inW = p.inWidth, inH = p.inHeight;
    const LONG inCW = Half(inW), inCH = Half(inH);

    if (!p.crop && !p.pad && !p.scale) {
        // Same size in and out: the input goes through whole.
        std::memcpy(work_.data(), in, std::min(work_.size(), InputBytes()));
        ApplyEffects(brightness, saturation, hue);
        const LONG stride = p.outStride, cstride = p.outStride / 2;
        const std::uint8_t* src[3] = {plane_[0], plane_[1], plane_[2]};
        std::size_t at = 0;
        auto rows = [&](const std::uint8_t* s, LONG width, LONG count, LONG step) {
            for (LONG r = 0; r < count; ++r) {
                const std::size_t pos = at + std::size_t(r) * step;
                if (pos + std::size_t(width) > outLength) return;
                std::memcpy(out + pos, s + std::size_t(r) * width, std::size_t(width));
            }
            at += std::size_t(count) * step;
        };
        rows(src[0], inW, inH, stride);
        rows(src[1], inCW, inCH, cstride);
        rows(src[2], inCW, inCH, cstride);
        return true;
    }

    // The input as three planes, narrowed to the crop without copying.
    const std::uint8_t* view[3];
    const int viewStride[3] = {inW, inCW, inCW};
    view[0] = in;
    view[1] = in + std::size_t(inW) * inH;
    view[2] = view[1] + std::size_t(inCW) * inCH;
    if (p.crop) {
        const RECT& m = p.cropMargins;
        view[0] += std::ptrdiff_t(m.top) * inW + m.left;
        view[1] += std::ptrdiff_t(m.top / 2) * inCW + m.left / 2;
        view[2] += std::ptrdiff_t(m.top / 2) * inCW + m.left / 2;
    }

    const RECT& pad = p.padMargins;
    std::uint8_t* inner[3] = {
        plane_[0] + std::ptrdiff_t(pad.top) * stride_[0] + pad.left,
        plane_[1] + std::ptrdiff_t(pad.top / 2) * stride_[1] + pad.left / 2,
        plane_[2] + std::ptrdiff_t(pad.top / 2) * stride_[2] + pad.left / 2,
    };
    const LONG innerW = p.outWidth - pad.left - pad.right;
    const LONG innerH = p.outHeight - pad.top - pad.bottom;

    if (p.scale) {
        sws_scale(scaler_, view, viewStride, 0, p.cropHeight, inner, stride_);
    } else {
        for (int i = 0; i < 3; ++i) {
            const LONG w = i ? Half(innerW) : innerW;
            const LONG h = i ? Half(innerH) : innerH;
            CopyRows(view[i], viewStride[i], inner[i], stride_[i], w, h);
        }
    }

    if (p.pad) {
        for (int i = 0; i < 3; ++i) {
            const std::uint8_t fill = i ? kBlackC : kBlackY;
            const LONG div = i ? 2 : 1;
            const LONG w = i ? chromaW_ : p.outWidth;
            const LONG h = i ? chromaH_ : p.outHeight;
            const LONG top = pad.top / div, bottom = pad.bottom / div;
            const LONG left = pad.left / div, right = pad.right / div;
            std::uint8_t* base = plane_[i];
            const int stride = stride_[i];
            for (LONG r = 0; r < h; ++r) {
                std::uint8_t* row = base + std::ptrdiff_t(r) * stride;
                if (r < top || r >= h - bottom) {
                    std::memset(row, fill, std::size_t(w));
                } else {
                    std::memset(row, fill, std::size_t(std::max<LONG>(left, 0)));
                    if (right > 0) std::memset(row + w - right, fill, std::size_t(right));
                }
            }
        }
    }

    ApplyEffects(brightness, saturation, hue);
    std::memcpy(out, work_.data(), std::min(outLength, work_.size()));
    return true;
}
