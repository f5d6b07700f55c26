#include "test_media.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavutil/opt.h>
}

namespace codecs::test {
namespace {

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

// Cuts a stream of units (bytes with the time of each unit) into pieces.
std::vector<TimedPacket> Cut(const std::vector<std::vector<uint8_t>>& units,
                             const std::vector<REFERENCE_TIME>& times, size_t chunkSize) {
    std::vector<uint8_t> stream;
    std::vector<std::pair<size_t, REFERENCE_TIME>> starts;
    for (size_t i = 0; i < units.size(); ++i) {
        starts.emplace_back(stream.size(), times[i]);
        stream.insert(stream.end(), units[i].begin(), units[i].end());
    }
    std::vector<TimedPacket> out;
    size_t next = 0;
    for (size_t pos = 0; pos < stream.size(); pos += chunkSize) {
        TimedPacket p;
        const size_t end = std::min(stream.size(), pos + chunkSize);
        p.data.assign(stream.begin() + pos, stream.begin() + end);
        while (next < starts.size() && starts[next].first < end) {
            if (p.start == kNoTime && starts[next].first >= pos) p.start = starts[next].second;
            ++next;
        }
        out.push_back(std::move(p));
    }
    return out;
}

}  // namespace

void DrawPattern(AVFrame& f, int index) {
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            f.data[0][y * f.linesize[0] + x] = uint8_t(((x + index * 4) ^ (y * 2)) & 0xFF) / 2 +
                                               40 + ((x / 32 + y / 32 + index / 5) % 2) * 60;
    for (int y = 0; y < f.height / 2; ++y)
        for (int x = 0; x < f.width / 2; ++x) {
            f.data[1][y * f.linesize[1] + x] = uint8_t(128 + ((x + index) % 64) - 32);
            f.data[2][y * f.linesize[2] + x] = uint8_t(128 + ((y * 2 + index) % 64) - 32);
        }
}

EncodedVideo EncodeMpeg2(int frames, int width, int height, size_t chunkSize,
                         REFERENCE_TIME firstTime) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    Check(codec, "no mpeg2 encoder");
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, 25};
    ctx->framerate = AVRational{25, 1};
    ctx->gop_size = 12;
    ctx->max_b_frames = 2;
    ctx->bit_rate = 4000000;
    ctx->sample_aspect_ratio = AVRational{16, 15};
    ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(avcodec_open2(ctx.get(), codec, nullptr) >= 0, "mpeg2 encoder open");

    EncodedVideo v;
    v.width = width;
    v.height = height;
    v.frameDuration = UNITS / 25;
    v.sequenceHeader.assign(ctx->extradata, ctx->extradata + ctx->extradata_size);
    FramePtr frame(av_frame_alloc());
    frame->width = width;
    frame->height = height;
    frame->format = AV_PIX_FMT_YUV420P;
    Check(av_frame_get_buffer(frame.get(), 0) >= 0, "frame buffer");
    PacketPtr pkt(av_packet_alloc());
    std::vector<REFERENCE_TIME> times;
    auto drain = [&] {
        while (avcodec_receive_packet(ctx.get(), pkt.get()) >= 0) {
            v.coded.emplace_back(pkt->data, pkt->data + pkt->size);
            times.push_back(firstTime + pkt->pts * v.frameDuration);
            av_packet_unref(pkt.get());
        }
    };
    for (int i = 0; i < frames; ++i) {
        Check(av_frame_make_writable(frame.get()) >= 0, "writable");
        DrawPattern(*frame, i);
        frame->pts = i;
        Check(avcodec_send_frame(ctx.get(), frame.get()) >= 0, "encode");
        drain();
    }
    avcodec_send_frame(ctx.get(), nullptr);
    drain();
    for (int i = 0; i < frames; ++i) v.presentation.push_back(firstTime + i * v.frameDuration);
    v.packets = Cut(v.coded, times, chunkSize);
    return v;
}

std::vector<FramePtr> ReferenceDecode(const EncodedVideo& v) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO);
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    Check(avcodec_open2(ctx.get(), codec, nullptr) >= 0, "reference decoder");
    std::vector<FramePtr> out;
    PacketPtr pkt(av_packet_alloc());
    auto take = [&] {
        for (;;) {
            FramePtr f(av_frame_alloc());
            if (avcodec_receive_frame(ctx.get(), f.get()) < 0) break;
            out.push_back(std::move(f));
        }
    };
    for (const auto& c : v.coded) {
        av_new_packet(pkt.get(), int(c.size()));
        std::memcpy(pkt->data, c.data(), c.size());
        avcodec_send_packet(ctx.get(), pkt.get());
        av_packet_unref(pkt.get());
        take();
    }
    avcodec_send_packet(ctx.get(), nullptr);
    take();
    return out;
}

double PsnrY(const uint8_t* a, int sa, const uint8_t* b, int sb, int w, int h) {
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double d = double(a[y * sa + x]) - b[y * sb + x];
            sum += d * d;
        }
    const double mse = sum / (double(w) * h);
    return mse == 0 ? 100.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

EncodedAudio EncodeAudio(AVCodecID id, int channels, int rate, int tenths, size_t chunkSize,
                         REFERENCE_TIME firstTime) {
    const AVCodec* codec = avcodec_find_encoder(id);
    Check(codec, "no audio encoder");
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    ctx->sample_rate = rate;
    av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->sample_fmt = codec->sample_fmts[0];
    ctx->bit_rate = id == AV_CODEC_ID_DTS ? 768000 : channels > 2 ? 448000 : 192000;
    ctx->time_base = AVRational{1, rate};
    ctx->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    if (chunkSize == 0) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(avcodec_open2(ctx.get(), codec, nullptr) >= 0, "audio encoder open");

    const int total = rate * tenths / 10;
    const int frameSize = ctx->frame_size > 0 ? ctx->frame_size : 1152;
    FramePtr frame(av_frame_alloc());
    frame->nb_samples = frameSize;
    frame->format = ctx->sample_fmt;
    frame->sample_rate = rate;
    av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
    Check(av_frame_get_buffer(frame.get(), 0) >= 0, "audio frame");
    PacketPtr pkt(av_packet_alloc());
    std::vector<std::vector<uint8_t>> units;
    std::vector<REFERENCE_TIME> times;
    auto drain = [&] {
        while (avcodec_receive_packet(ctx.get(), pkt.get()) >= 0) {
            units.emplace_back(pkt->data, pkt->data + pkt->size);
            times.push_back(firstTime + av_rescale(pkt->pts, UNITS, rate));
            av_packet_unref(pkt.get());
        }
    };
    const bool planar = av_sample_fmt_is_planar(AVSampleFormat(ctx->sample_fmt));
    const AVSampleFormat packed = av_get_packed_sample_fmt(AVSampleFormat(ctx->sample_fmt));
    int fed = 0;
    // Whole frames only: encoders without variable frame size refuse a short last one.
    while (fed + frameSize <= total) {
        Check(av_frame_make_writable(frame.get()) >= 0, "writable");
        for (int i = 0; i < frameSize; ++i)
            for (int c = 0; c < channels; ++c) {
                const double s = 0.3 * std::sin(2 * M_PI * (440.0 + 110 * c) * (fed + i) / rate);
                const int plane = planar ? c : 0;
                const int idx = planar ? i : i * channels + c;
                switch (packed) {
                    case AV_SAMPLE_FMT_FLT:
                        reinterpret_cast<float*>(frame->data[plane])[idx] = float(s);
                        break;
                    case AV_SAMPLE_FMT_S16:
                        reinterpret_cast<int16_t*>(frame->data[plane])[idx] = int16_t(s * 32767);
                        break;
                    case AV_SAMPLE_FMT_S32:
                        reinterpret_cast<int32_t*>(frame->data[plane])[idx] =
                            int32_t(s * 2147483647.0);
                        break;
                    default:
                        Check(false, "sample format");
                }
            }
        frame->pts = fed;
        Check(avcodec_send_frame(ctx.get(), frame.get()) >= 0, "audio encode");
        drain();
        fed += frameSize;
    }
    avcodec_send_frame(ctx.get(), nullptr);
    drain();
    EncodedAudio a;
    a.samples = fed;
    if (ctx->extradata) a.extradata.assign(ctx->extradata, ctx->extradata + ctx->extradata_size);
    if (chunkSize == 0) {
        for (size_t i = 0; i < units.size(); ++i) a.packets.push_back({units[i], times[i]});
    } else {
        a.packets = Cut(units, times, chunkSize);
    }
    return a;
}

EncodedAudio MakeLpcm16(int channels, int rate, int tenths, size_t chunkSize,
                        REFERENCE_TIME firstTime) {
    const int total = rate * tenths / 10;
    std::vector<uint8_t> stream;
    for (int i = 0; i < total; ++i)
        for (int c = 0; c < channels; ++c) {
            const int16_t s = int16_t(8000 * std::sin(2 * M_PI * 440.0 * (c + 1) * i / rate));
            stream.push_back(uint8_t(uint16_t(s) >> 8));
            stream.push_back(uint8_t(s & 0xFF));
        }
    EncodedAudio a;
    a.samples = total;
    const size_t frameBytes = size_t(channels) * 2;
    for (size_t pos = 0; pos < stream.size(); pos += chunkSize) {
        TimedPacket p;
        p.data.assign(stream.begin() + pos,
                      stream.begin() + std::min(stream.size(), pos + chunkSize));
        // The first whole sample frame that starts in the piece.
        const size_t first = (pos + frameBytes - 1) / frameBytes;
        p.start = firstTime + av_rescale(int64_t(first), UNITS, rate);
        a.packets.push_back(std::move(p));
    }
    return a;
}

}  // namespace codecs::test
