#include "platform/codecs/audio_decoder_core.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace codecs {
namespace {

AVCodecID CodecId(AudioCodec c) {
    switch (c) {
        case AudioCodec::Ac3:
            return AV_CODEC_ID_AC3;
        case AudioCodec::Dts:
            return AV_CODEC_ID_DTS;
        case AudioCodec::DvdLpcm:
            return AV_CODEC_ID_PCM_DVD;
        case AudioCodec::MpegAudio:
            return AV_CODEC_ID_MP2;
        case AudioCodec::Mp3:
            return AV_CODEC_ID_MP3;
        case AudioCodec::Aac:
            return AV_CODEC_ID_AAC;
    }
    return AV_CODEC_ID_NONE;
}

// libavcodec's DVD LPCM decoder reads the three LPCM header bytes in front of
// every packet; the splitter has consumed them, so they are rebuilt from the
// stream's format.
bool LpcmHeader(int channels, int rate, int bits, uint8_t out[3]) {
    int quant = bits == 16 ? 0 : bits == 20 ? 1 : bits == 24 ? 2 : -1;
    int freq = rate == 48000 ? 0 : rate == 96000 ? 1 : rate == 44100 ? 2 : rate == 32000 ? 3 : -1;
    if (quant < 0 || freq < 0 || channels < 1 || channels > 8) return false;
    out[0] = 0;
    out[1] = uint8_t(quant << 6 | freq << 4 | (channels - 1));
    out[2] = 0x80;  // no dynamic range control
    return true;
}

}  // namespace

AudioDecoderCore::AudioDecoderCore() = default;
AudioDecoderCore::~AudioDecoderCore() {
    Close();
}

HRESULT AudioDecoderCore::Open(const Config& config) {
    Close();
    if (config.channels < 1 || config.channels > 8 || config.sampleRate <= 0) return E_INVALIDARG;
    if (config.codec == AudioCodec::DvdLpcm) {
        uint8_t header[3];
        if (!LpcmHeader(config.channels, config.sampleRate, config.bitsPerSample, header))
            return E_INVALIDARG;
    }
    config_ = config;
    const AVCodecID id = CodecId(config.codec);
    const AVCodec* codec = avcodec_find_decoder(id);
    if (!codec) return E_FAIL;
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!ctx || !frame || !packet) return E_OUTOFMEMORY;
    ctx->pkt_timebase = AVRational{1, int(UNITS)};
    ctx->sample_rate = config.sampleRate;
    av_channel_layout_default(&ctx->ch_layout, config.channels);
    if (!config.extradata.empty()) {
        const size_t n = config.extradata.size();
        ctx->extradata = static_cast<uint8_t*>(av_mallocz(n + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!ctx->extradata) return E_OUTOFMEMORY;
        std::memcpy(ctx->extradata, config.extradata.data(), n);
        ctx->extradata_size = int(n);
    }
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return E_FAIL;
    if (config.codec != AudioCodec::DvdLpcm) {
        // Elementary-stream packets cut frames anywhere; the parser rejoins them.
        parser_.reset(av_parser_init(id));
        if (!parser_) return E_FAIL;
    }
    ctx_ = std::move(ctx);
    frame_ = std::move(frame);
    packet_ = std::move(packet);
    nextTime_ = kNoTime;
    return S_OK;
}

void AudioDecoderCore::Close() {
    ctx_.reset();
    parser_.reset();
    frame_.reset();
    packet_.reset();
    swr_.reset();
    av_channel_layout_uninit(&swrInLayout_);
    swrInRate_ = 0;
    swrInFormat_ = -1;
}

HRESULT AudioDecoderCore::Decode(const uint8_t* data, size_t size, REFERENCE_TIME start,
                                 const Sink& sink) {
    if (!ctx_) return E_UNEXPECTED;
    if (size == 0) return S_OK;
    const int64_t pts = ToAvTime(start);
    if (config_.codec == AudioCodec::DvdLpcm) {
        lpcm_.resize(3 + size);
        LpcmHeader(config_.channels, config_.sampleRate, config_.bitsPerSample, lpcm_.data());
        std::memcpy(lpcm_.data() + 3, data, size);
        return SendPacket(lpcm_.data(), int(lpcm_.size()), pts, sink);
    }
    if (!parser_) return E_UNEXPECTED;
    // AAC arrives either as ADTS (sync word, cut anywhere) or as whole raw
    // frames described by the configuration in the format; only the former
    // needs the parser.
    if (config_.codec == AudioCodec::Aac &&
        !(size >= 2 && data[0] == 0xFF && (data[1] & 0xF0) == 0xF0)) {
        input_.assign(data, data + size);
        return SendPacket(input_.data(), int(size), pts, sink);
    }
    // The parser reads a little past the end of what it is given.
    input_.assign(data, data + size);
    input_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    data = input_.data();
    while (size > 0) {
        uint8_t* out = nullptr;
        int outSize = 0;
        const int used =
            av_parser_parse2(parser_.get(), ctx_.get(), &out, &outSize, data,
                             int(std::min<size_t>(size, 1 << 30)), pts, AV_NOPTS_VALUE, 0);
        if (used < 0) return S_OK;
        data += used;
        size -= size_t(used);
        if (outSize > 0) {
            HRESULT hr = SendPacket(out, outSize, parser_->pts, sink);
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

HRESULT AudioDecoderCore::SendPacket(const uint8_t* data, int size, int64_t pts, const Sink& sink) {
    av_packet_unref(packet_.get());
    packet_->data = const_cast<uint8_t*>(data);
    packet_->size = size;
    packet_->pts = pts;
    for (;;) {
        const int r = avcodec_send_packet(ctx_.get(), packet_.get());
        if (r != AVERROR(EAGAIN)) break;  // errors: damaged data, skipped
        HRESULT hr = ReceiveFrames(sink);
        if (FAILED(hr)) return hr;
    }
    packet_->data = nullptr;
    packet_->size = 0;
    return ReceiveFrames(sink);
}

HRESULT AudioDecoderCore::ReceiveFrames(const Sink& sink) {
    for (;;) {
        if (avcodec_receive_frame(ctx_.get(), frame_.get()) < 0) return S_OK;
        HRESULT hr = Emit(*frame_, sink);
        av_frame_unref(frame_.get());
        if (FAILED(hr)) return hr;
    }
}

HRESULT AudioDecoderCore::Emit(const AVFrame& frame, const Sink& sink) {
    if (frame.nb_samples <= 0 || frame.sample_rate <= 0) return S_OK;
    // (Re)build the converter whenever the stream changes shape mid-way, so the
    // output keeps the format that was agreed on the pin.
    if (!swr_ || frame.sample_rate != swrInRate_ || frame.format != swrInFormat_ ||
        av_channel_layout_compare(&frame.ch_layout, &swrInLayout_) != 0) {
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, config_.channels);
        SwrContext* s = nullptr;
        int r = swr_alloc_set_opts2(&s, &outLayout, AV_SAMPLE_FMT_S16, config_.sampleRate,
                                    &const_cast<AVFrame&>(frame).ch_layout,
                                    AVSampleFormat(frame.format), frame.sample_rate, 0, nullptr);
        av_channel_layout_uninit(&outLayout);
        if (r < 0 || !s || swr_init(s) < 0) {
            swr_free(&s);
            return S_OK;  // a frame we cannot convert is dropped, the stream goes on
        }
        swr_.reset(s);
        av_channel_layout_uninit(&swrInLayout_);
        av_channel_layout_copy(&swrInLayout_, &frame.ch_layout);
        swrInRate_ = frame.sample_rate;
        swrInFormat_ = frame.format;
    }

    const int capacity = swr_get_out_samples(swr_.get(), frame.nb_samples) + 32;
    buffer_.resize(size_t(capacity) * config_.channels);
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(buffer_.data())};
    const int got = swr_convert(swr_.get(), out, capacity,
                                const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
    if (got <= 0) return S_OK;

    // The input's stamp decides where the sound is, unless it is only jitter
    // around where the previous frame ended: then the output stays gapless.
    REFERENCE_TIME stamp = FromAvTime(frame.pts);
    if (stamp == kNoTime) stamp = FromAvTime(frame.best_effort_timestamp);
    REFERENCE_TIME start = nextTime_;
    if (start == kNoTime)
        start = stamp != kNoTime ? stamp : 0;
    else if (stamp != kNoTime && std::llabs(stamp - nextTime_) > kResyncThreshold)
        start = stamp;
    const REFERENCE_TIME stop = start + av_rescale(got, UNITS, config_.sampleRate);
    nextTime_ = stop;
    return sink(buffer_.data(), got, start, stop);
}

HRESULT AudioDecoderCore::Drain(const Sink& sink) {
    if (!ctx_) return E_UNEXPECTED;
    HRESULT hr = S_OK;
    if (parser_) {
        uint8_t* out = nullptr;
        int outSize = 0;
        av_parser_parse2(parser_.get(), ctx_.get(), &out, &outSize, nullptr, 0, AV_NOPTS_VALUE,
                         AV_NOPTS_VALUE, 0);
        if (outSize > 0) hr = SendPacket(out, outSize, parser_->pts, sink);
    }
    if (SUCCEEDED(hr)) {
        avcodec_send_packet(ctx_.get(), nullptr);
        hr = ReceiveFrames(sink);
    }
    if (SUCCEEDED(hr) && swr_) {
        // What the resampler still holds (only when the rate is converted).
        const int capacity = swr_get_out_samples(swr_.get(), 0) + 32;
        buffer_.resize(size_t(capacity) * config_.channels);
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(buffer_.data())};
        const int got = swr_convert(swr_.get(), out, capacity, nullptr, 0);
        if (got > 0 && nextTime_ != kNoTime) {
            const REFERENCE_TIME stop = nextTime_ + av_rescale(got, UNITS, config_.sampleRate);
            hr = sink(buffer_.data(), got, nextTime_, stop);
        }
    }
    Reset();
    return hr;
}

void AudioDecoderCore::Reset() {
    if (!ctx_) return;
    avcodec_flush_buffers(ctx_.get());
    if (parser_) parser_.reset(av_parser_init(CodecId(config_.codec)));
    swr_.reset();
    av_channel_layout_uninit(&swrInLayout_);
    swrInRate_ = 0;
    swrInFormat_ = -1;
    nextTime_ = kNoTime;
}

}  // namespace codecs
