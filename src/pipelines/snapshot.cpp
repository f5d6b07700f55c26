#include "pipelines/snapshot.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "platform/framework/formats.h"

namespace {

std::string LowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

struct ImageKind {
    AVCodecID codec;
    AVPixelFormat pixfmt;
    const char* muxer;
};

bool KindFor(const std::string& ext, ImageKind& kind) {
    if (ext == "bmp")
        kind = {AV_CODEC_ID_BMP, AV_PIX_FMT_BGR24, "image2"};
    else if (ext == "jpg" || ext == "jpeg")
        kind = {AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUV420P, "image2"};
    else if (ext == "png")
        kind = {AV_CODEC_ID_PNG, AV_PIX_FMT_RGB24, "image2"};
    else if (ext == "gif")
        kind = {AV_CODEC_ID_GIF, AV_PIX_FMT_RGB8, "gif"};
    else
        return false;
    return true;
}

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

}  // namespace

bool IsSnapshotExtension(const std::string& path) {
    ImageKind k;
    return KindFor(LowerExtension(path), k);
}

bool SaveDibAsImage(const BYTE* dib, std::size_t dibBytes, const std::string& path,
                    std::string* error) {
    ImageKind kind;
    if (!KindFor(LowerExtension(path), kind))
        return Fail(error, "no image type for the file's extension");
    if (!dib || dibBytes < sizeof(BITMAPINFOHEADER)) return Fail(error, "no picture");
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, dib, sizeof bih);
    const int width = bih.biWidth;
    const int height = bih.biHeight < 0 ? -bih.biHeight : bih.biHeight;
    const bool bottomUp = bih.biHeight > 0;
    if (bih.biBitCount != 32 || width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return Fail(error, "unsupported picture");
    const std::size_t stride = std::size_t(width) * 4;
    if (dibBytes < bih.biSize + stride * height) return Fail(error, "picture data is short");
    const BYTE* bits = dib + bih.biSize;

    const AVCodec* codec = avcodec_find_encoder(kind.codec);
    if (!codec) return Fail(error, "no image encoder");

    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> ctx(
        avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                       [](AVFrame* f) { av_frame_free(&f); });
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> pkt(av_packet_alloc(),
                                                       [](AVPacket* p) { av_packet_free(&p); });
    if (!ctx || !frame || !pkt) return Fail(error, "out of memory");
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = kind.pixfmt;
    ctx->time_base = AVRational{1, 25};
    if (kind.codec == AV_CODEC_ID_MJPEG) {
        // JPEG pictures use the full range of values.
        ctx->color_range = AVCOL_RANGE_JPEG;
        ctx->flags |= AV_CODEC_FLAG_QSCALE;
        ctx->global_quality = FF_QP2LAMBDA * 3;
    }
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return Fail(error, "cannot open the image encoder");

    frame->format = kind.pixfmt;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return Fail(error, "out of memory");

    SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_BGR0, width, height, kind.pixfmt,
                                     SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!sws) return Fail(error, "cannot convert the picture");
    if (kind.codec == AV_CODEC_ID_MJPEG) {
        const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(sws, coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16);
    }
    // Bottom-up rows: start at the last row and walk backwards.
    const uint8_t* src[1] = {bottomUp ? bits + stride * (height - 1) : bits};
    int srcStride[1] = {bottomUp ? -int(stride) : int(stride)};
    sws_scale(sws, src, srcStride, 0, height, frame->data, frame->linesize);
    sws_freeContext(sws);
    frame->pts = 0;

    if (avcodec_send_frame(ctx.get(), frame.get()) < 0 ||
        avcodec_send_frame(ctx.get(), nullptr) < 0)
        return Fail(error, "the image encoder failed");
    if (avcodec_receive_packet(ctx.get(), pkt.get()) < 0)
        return Fail(error, "the image encoder gave nothing");

    AVFormatContext* oc = nullptr;
    if (avformat_alloc_output_context2(&oc, nullptr, kind.muxer, path.c_str()) < 0 || !oc)
        return Fail(error, "cannot write this image type");
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> ocGuard(
        oc, [](AVFormatContext* o) {
            if (o->pb) avio_closep(&o->pb);
            avformat_free_context(o);
        });
    AVStream* st = avformat_new_stream(oc, nullptr);
    if (!st) return Fail(error, "out of memory");
    avcodec_parameters_from_context(st->codecpar, ctx.get());
    st->time_base = ctx->time_base;
    if (std::string(kind.muxer) == "image2") av_opt_set(oc->priv_data, "update", "1", 0);
    if (avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE) < 0)
        return Fail(error, "cannot create the file");
    bool ok = avformat_write_header(oc, nullptr) >= 0;
    pkt->stream_index = 0;
    pkt->pts = pkt->dts = 0;
    ok = ok && av_write_frame(oc, pkt.get()) >= 0;
    ok = av_write_trailer(oc) >= 0 && ok;
    avio_closep(&oc->pb);
    if (!ok) {
        std::remove(path.c_str());
        return Fail(error, "writing the image failed");
    }
    return true;
}
