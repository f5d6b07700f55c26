#include "platform/codecs/video_decoder_core.h"

#include <algorithm>
#include <cstring>

namespace codecs {

PlanarPicture Yv12View(BYTE* buffer, int width, int height, int stride) {
    PlanarPicture p;
    p.width = width;
    p.height = height;
    p.yStride = stride;
    p.cStride = stride / 2;
    p.y = buffer;
    p.v = buffer + size_t(stride) * height;
    p.u = p.v + size_t(p.cStride) * (height / 2);
    return p;
}

size_t Yv12Size(int stride, int height) {
    return size_t(stride) * height + 2 * size_t(stride / 2) * (height / 2);
}

void CopyFrame(const AVFrame& frame, const PlanarPicture& dst) {
    const int w = std::min(frame.width, dst.width);
    const int h = std::min(frame.height, dst.height);
    for (int row = 0; row < h; ++row)
        std::memcpy(dst.y + size_t(row) * dst.yStride,
                    frame.data[0] + size_t(row) * frame.linesize[0], w);
    for (int row = 0; row < h / 2; ++row) {
        std::memcpy(dst.u + size_t(row) * dst.cStride,
                    frame.data[1] + size_t(row) * frame.linesize[1], w / 2);
        std::memcpy(dst.v + size_t(row) * dst.cStride,
                    frame.data[2] + size_t(row) * frame.linesize[2], w / 2);
    }
}

VideoDecoderCore::VideoDecoderCore() = default;
VideoDecoderCore::~VideoDecoderCore() = default;

HRESULT VideoDecoderCore::Open(const Config& config) {
    Close();
    config_ = config;
    const AVCodecID id = config.mpeg1 ? AV_CODEC_ID_MPEG1VIDEO : AV_CODEC_ID_MPEG2VIDEO;
    const AVCodec* codec = avcodec_find_decoder(id);
    if (!codec) return E_FAIL;
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    ParserPtr parser(av_parser_init(id));
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!ctx || !parser || !frame || !packet) return E_OUTOFMEMORY;

    ctx->pkt_timebase = AVRational{1, int(UNITS)};
    ctx->thread_count = config.threads;
    ctx->thread_type = FF_THREAD_FRAME;
    if (!config.sequenceHeader.empty()) {
        const size_t n = config.sequenceHeader.size();
        ctx->extradata = static_cast<uint8_t*>(av_mallocz(n + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!ctx->extradata) return E_OUTOFMEMORY;
        std::memcpy(ctx->extradata, config.sequenceHeader.data(), n);
        ctx->extradata_size = int(n);
    }
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return E_FAIL;

    ctx_ = std::move(ctx);
    parser_ = std::move(parser);
    frame_ = std::move(frame);
    packet_ = std::move(packet);
    frameDuration_ = config.avgTimePerFrame;
    nextTime_ = kNoTime;
    waitKeyFrame_ = true;
    return S_OK;
}

void VideoDecoderCore::Close() {
    ctx_.reset();
    parser_.reset();
    frame_.reset();
    packet_.reset();
}

HRESULT VideoDecoderCore::Decode(const uint8_t* data, size_t size, REFERENCE_TIME start,
                                 const Sink& sink) {
    if (!ctx_ || !parser_) return E_UNEXPECTED;
    // The parser rebuilds whole pictures: the splitter's packets cut the stream anywhere.
    const int64_t pts = ToAvTime(start);
    // The parser reads a little past the end of what it is given.
    input_.assign(data, data + size);
    input_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    data = input_.data();
    while (size > 0) {
        uint8_t* out = nullptr;
        int outSize = 0;
        const int chunk = int(std::min<size_t>(size, 1 << 30));
        const int used = av_parser_parse2(parser_.get(), ctx_.get(), &out, &outSize, data, chunk,
                                          pts, AV_NOPTS_VALUE, 0);
        if (used < 0) return S_OK;  // the parser never fails on data; be safe anyway
        data += used;
        size -= size_t(used);
        if (outSize > 0) {
            HRESULT hr = SendPacket(out, outSize, parser_->pts, parser_->dts, sink);
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

HRESULT VideoDecoderCore::SendPacket(const uint8_t* data, int size, int64_t pts, int64_t dts,
                                     const Sink& sink) {
    av_packet_unref(packet_.get());
    packet_->data = const_cast<uint8_t*>(data);
    packet_->size = size;
    packet_->pts = pts;
    packet_->dts = dts;
    for (;;) {
        const int r = avcodec_send_packet(ctx_.get(), packet_.get());
        if (r == AVERROR(EAGAIN)) {
            // The decoder wants its finished pictures taken first.
            HRESULT hr = ReceiveFrames(sink);
            if (FAILED(hr)) return hr;
            continue;
        }
        // Damaged data is the stream's problem, not the pipeline's: skip it.
        break;
    }
    packet_->data = nullptr;
    packet_->size = 0;
    return ReceiveFrames(sink);
}

HRESULT VideoDecoderCore::ReceiveFrames(const Sink& sink) {
    for (;;) {
        const int r = avcodec_receive_frame(ctx_.get(), frame_.get());
        if (r < 0) return S_OK;  // EAGAIN, EOF or a decoding error: nothing more now
        const AVFrame& f = *frame_;
        const bool key = f.key_frame || f.pict_type == AV_PICTURE_TYPE_I;
        if (waitKeyFrame_ && !key) {
            av_frame_unref(frame_.get());
            continue;
        }
        waitKeyFrame_ = false;

        REFERENCE_TIME period = frameDuration_;
        if (period <= 0 && ctx_->framerate.num > 0 && ctx_->framerate.den > 0)
            period = av_rescale(UNITS, ctx_->framerate.den, ctx_->framerate.num);
        const REFERENCE_TIME duration = period * (2 + f.repeat_pict) / 2;
        REFERENCE_TIME start = FromAvTime(f.best_effort_timestamp);
        if (start == kNoTime) start = nextTime_ != kNoTime ? nextTime_ : 0;
        const REFERENCE_TIME stop = start + std::max<REFERENCE_TIME>(duration, 1);
        nextTime_ = stop;
        HRESULT hr = sink(f, start, stop);
        av_frame_unref(frame_.get());
        if (FAILED(hr)) return hr;
    }
}

HRESULT VideoDecoderCore::Drain(const Sink& sink) {
    if (!ctx_ || !parser_) return E_UNEXPECTED;
    uint8_t* out = nullptr;
    int outSize = 0;
    av_parser_parse2(parser_.get(), ctx_.get(), &out, &outSize, nullptr, 0, AV_NOPTS_VALUE,
                     AV_NOPTS_VALUE, 0);
    HRESULT hr = S_OK;
    if (outSize > 0) hr = SendPacket(out, outSize, parser_->pts, parser_->dts, sink);
    if (SUCCEEDED(hr)) {
        avcodec_send_packet(ctx_.get(), nullptr);
        hr = ReceiveFrames(sink);
    }
    Reset();
    return hr;
}

void VideoDecoderCore::Reset() {
    if (!ctx_) return;
    avcodec_flush_buffers(ctx_.get());
    // A fresh parser: a flush must not join the old stream's tail to the new one.
    const AVCodecID id = config_.mpeg1 ? AV_CODEC_ID_MPEG1VIDEO : AV_CODEC_ID_MPEG2VIDEO;
    parser_.reset(av_parser_init(id));
    nextTime_ = kNoTime;
    waitKeyFrame_ = true;
}

}  // namespace codecs
