#include "platform/codecs/subpicture.h"

#include <algorithm>

namespace codecs {
namespace {

void RgbToYuv(int r, int g, int b, uint8_t& y, uint8_t& u, uint8_t& v) {
    // BT.601, studio range: what the MPEG-2 pictures of a DVD carry.
    y = uint8_t(std::clamp((66 * r + 129 * g + 25 * b + 128) / 256 + 16, 16, 235));
    u = uint8_t(std::clamp((-38 * r - 74 * g + 112 * b + 128) / 256 + 128, 16, 240));
    v = uint8_t(std::clamp((112 * r - 94 * g - 18 * b + 128) / 256 + 128, 16, 240));
}

}  // namespace

SubpictureDecoder::SubpictureDecoder() = default;
SubpictureDecoder::~SubpictureDecoder() = default;

void SubpictureDecoder::DefaultColours(const uint8_t* indices, int width, int height,
                                       const uint8_t alpha[4], uint8_t rgb[4][3]) {
    int count[4] = {}, edge[4] = {};
    auto transparent = [&](int x, int y) {
        return x < 0 || y < 0 || x >= width || y >= height ||
               alpha[indices[size_t(y) * width + x] & 3] == 0;
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int s = indices[size_t(y) * width + x] & 3;
            if (!alpha[s]) continue;
            ++count[s];
            if (transparent(x - 1, y) || transparent(x + 1, y) || transparent(x, y - 1) ||
                transparent(x, y + 1))
                ++edge[s];
        }
    int opaque = 0, outline = -1, text = -1;
    for (int s = 0; s < 4; ++s) {
        if (!count[s]) continue;
        ++opaque;
        if (outline < 0 || double(edge[s]) / count[s] > double(edge[outline]) / count[outline])
            outline = s;
    }
    if (opaque < 2) outline = -1;  // a single colour is text
    for (int s = 0; s < 4; ++s)
        if (count[s] && s != outline && (text < 0 || count[s] > count[text])) text = s;
    for (int s = 0; s < 4; ++s) {
        const uint8_t level = s == text ? 235 : s == outline ? 16 : 128;
        rgb[s][0] = rgb[s][1] = rgb[s][2] = level;
    }
}

HRESULT SubpictureDecoder::Open() {
    std::lock_guard lock(mutex_);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVD_SUBTITLE);
    if (!codec) return E_FAIL;
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx) return E_OUTOFMEMORY;
    ctx->pkt_timebase = AVRational{1, int(UNITS)};
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return E_FAIL;
    ctx_ = std::move(ctx);
    images_.clear();
    unitStart_ = kNoTime;
    return S_OK;
}

void SubpictureDecoder::Decode(const uint8_t* data, size_t size, REFERENCE_TIME start) {
    std::lock_guard lock(mutex_);
    if (!ctx_ || size == 0) return;
    // A unit's time is that of its first packet; continuation packets carry none.
    if (start != kNoTime && unitStart_ == kNoTime) unitStart_ = start;
    PacketPtr pkt(av_packet_alloc());
    if (!pkt || av_new_packet(pkt.get(), int(size)) < 0) return;
    std::copy(data, data + size, pkt->data);
    pkt->pts = ToAvTime(start);
    AVSubtitle sub{};
    int got = 0;
    if (avcodec_decode_subtitle2(ctx_.get(), &sub, &got, pkt.get()) < 0) {
        unitStart_ = kNoTime;
        return;
    }
    if (!got) return;  // the unit continues in the next packet
    const REFERENCE_TIME base = unitStart_ != kNoTime ? unitStart_ : start;
    unitStart_ = kNoTime;
    if (base == kNoTime) {
        avsubtitle_free(&sub);
        return;
    }

    Image image;
    image.start = base + REFERENCE_TIME(sub.start_display_time) * MILLISECONDS;
    if (sub.end_display_time != 0 && sub.end_display_time != UINT32_MAX &&
        sub.end_display_time > sub.start_display_time)
        image.stop = base + REFERENCE_TIME(sub.end_display_time) * MILLISECONDS;
    for (unsigned i = 0; i < sub.num_rects; ++i) {
        const AVSubtitleRect* rect = sub.rects[i];
        if (rect->type != SUBTITLE_BITMAP || rect->w <= 0 || rect->h <= 0) continue;
        image.x = rect->x;
        image.y = rect->y;
        image.width = rect->w;
        image.height = rect->h;
        image.indices.resize(size_t(rect->w) * rect->h);
        for (int row = 0; row < rect->h; ++row)
            for (int col = 0; col < rect->w; ++col)
                image.indices[size_t(row) * rect->w + col] =
                    rect->data[0][size_t(row) * rect->linesize[0] + col] & 3;
        // Only the alpha of the decoder's palette is the stream's own; its
        // colours are guesses when the disc's palette is unknown, so ours win.
        const uint32_t* palette = reinterpret_cast<const uint32_t*>(rect->data[1]);
        uint8_t alpha[4], rgb[4][3];
        for (int slot = 0; slot < 4; ++slot) alpha[slot] = uint8_t(palette[slot] >> 24);
        DefaultColours(image.indices.data(), image.width, image.height, alpha, rgb);
        for (int slot = 0; slot < 4; ++slot) {
            RgbToYuv(rgb[slot][0], rgb[slot][1], rgb[slot][2], image.yuva[slot][0],
                     image.yuva[slot][1], image.yuva[slot][2]);
            image.yuva[slot][3] = alpha[slot];
        }
        break;  // a DVD subpicture has one rectangle
    }
    avsubtitle_free(&sub);

    // A newer subpicture replaces those that start at or after it (a re-sent
    // unit after a seek) and ends those still open before it.
    images_.erase(std::remove_if(images_.begin(), images_.end(),
                                 [&](const Image& o) { return o.start >= image.start; }),
                  images_.end());
    images_.push_back(std::move(image));
}

void SubpictureDecoder::Reset() {
    std::lock_guard lock(mutex_);
    images_.clear();
    unitStart_ = kNoTime;
    if (ctx_) avcodec_flush_buffers(ctx_.get());
}

size_t SubpictureDecoder::PendingCount() const {
    std::lock_guard lock(mutex_);
    return images_.size();
}

bool SubpictureDecoder::BlendInto(const PlanarPicture& picture, REFERENCE_TIME t) {
    std::lock_guard lock(mutex_);
    if (t == kNoTime) return false;
    // The latest subpicture that has started is the one on screen, if it has not ended.
    int shown = -1;
    for (int i = 0; i < int(images_.size()); ++i)
        if (images_[i].start <= t && (shown < 0 || images_[i].start >= images_[shown].start))
            shown = i;
    if (shown < 0) return false;
    // Older ones can never show again.
    if (shown > 0) {
        images_.erase(images_.begin(), images_.begin() + shown);
        shown = 0;
    }
    const Image& image = images_[shown];
    if (image.stop != kNoTime && t >= image.stop) return false;
    if (image.indices.empty()) return false;
    BlendImage(image, picture);
    return true;
}

void SubpictureDecoder::BlendImage(const Image& image, const PlanarPicture& picture) {
    const int x0 = std::max(0, image.x), y0 = std::max(0, image.y);
    const int x1 = std::min(picture.width, image.x + image.width);
    const int y1 = std::min(picture.height, image.y + image.height);
    if (x0 >= x1 || y0 >= y1) return;
    auto alphaAt = [&](int x, int y) -> int {
        if (x < x0 || x >= x1 || y < y0 || y >= y1) return 0;
        return image.yuva[image.indices[size_t(y - image.y) * image.width + (x - image.x)]][3];
    };
    for (int y = y0; y < y1; ++y) {
        BYTE* row = picture.y + size_t(y) * picture.yStride;
        const uint8_t* idx = image.indices.data() + size_t(y - image.y) * image.width;
        for (int x = x0; x < x1; ++x) {
            const uint8_t* c = image.yuva[idx[x - image.x]];
            const int a = c[3];
            if (a) row[x] = BYTE((row[x] * (255 - a) + c[0] * a + 127) / 255);
        }
    }
    // Chroma: each sample covers 2x2 pixels, blended by their mean coverage.
    for (int cy = y0 / 2; cy <= (y1 - 1) / 2 && cy < picture.height / 2; ++cy) {
        BYTE* urow = picture.u + size_t(cy) * picture.cStride;
        BYTE* vrow = picture.v + size_t(cy) * picture.cStride;
        for (int cx = x0 / 2; cx <= (x1 - 1) / 2 && cx < picture.width / 2; ++cx) {
            int asum = 0, usum = 0, vsum = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const int x = cx * 2 + dx, y = cy * 2 + dy;
                    const int a = alphaAt(x, y);
                    if (!a) continue;
                    const uint8_t* c =
                        image
                            .yuva[image.indices[size_t(y - image.y) * image.width + (x - image.x)]];
                    asum += a;
                    usum += a * c[1];
                    vsum += a * c[2];
                }
            if (!asum) continue;
            urow[cx] = BYTE((urow[cx] * (1020 - asum) + usum + 510) / 1020);
            vrow[cx] = BYTE((vrow[cx] * (1020 - asum) + vsum + 510) / 1020);
        }
    }
}

}  // namespace codecs
