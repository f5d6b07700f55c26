#include "filters/audio_converter.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

void ApplyVolume(std::int16_t* samples, std::size_t count, int volume) {
    if (volume == 256) return;
    for (std::size_t i = 0; i < count; ++i) {
        // 64-bit: the gain is not clamped, so the product may exceed 32 bits.
        const std::int64_t v = (std::int64_t(samples[i]) * volume + 128) >> 8;
        samples[i] = std::int16_t(std::clamp<std::int64_t>(v, -32768, 32767));
    }
}

AudioConverter::~AudioConverter() {
    swr_free(&swr_);
}

bool AudioConverter::Configure(int inChannels, int inRate, int outChannels, int outRate,
                               bool resample) {
    swr_free(&swr_);
    inChannels_ = inChannels;
    inRate_ = inRate;
    outChannels_ = outChannels;
    outRate_ = outRate;
    inFrameBytes_ = std::size_t(2) * std::max(inChannels, 0);
    if (!resample) return true;
    if (inChannels <= 0 || outChannels <= 0 || inRate <= 0 || outRate <= 0) return false;

    AVChannelLayout inLayout{}, outLayout{};
    av_channel_layout_default(&inLayout, inChannels);
    av_channel_layout_default(&outLayout, outChannels);
    int r = swr_alloc_set_opts2(&swr_, &outLayout, AV_SAMPLE_FMT_S16, outRate, &inLayout,
                                AV_SAMPLE_FMT_S16, inRate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (r < 0 || !swr_) return false;
    // Filter length 16 over 2^10 phases, no interpolation between phases,
    // cut-off at 0.8 of the lower Nyquist rate.
    av_opt_set_int(swr_, "filter_size", 16, 0);
    av_opt_set_int(swr_, "phase_shift", 10, 0);
    av_opt_set_int(swr_, "linear_interp", 0, 0);
    av_opt_set_double(swr_, "cutoff", 0.8, 0);
    if (swr_init(swr_) < 0) {
        swr_free(&swr_);
        return false;
    }
    if (resampled_.empty()) resampled_.resize(kResampleBytes);
    return true;
}

void AudioConverter::Convert(const std::uint8_t* in, int frames) {
    const int outFrameBytes = 2 * outChannels_;
    const int capacity = int(resampled_.size()) / outFrameBytes;
    std::uint8_t* out[1] = {resampled_.data()};
    // A null input drains the resampler (end of stream); mid-stream the input
    // pointer stays set, with a zero count for the rounds that only collect
    // what did not fit in one buffer.
    const std::uint8_t* src[1] = {in};
    const std::uint8_t** srcp = in ? src : nullptr;
    int got = swr_convert(swr_, out, capacity, srcp, frames);
    while (got > 0) {
        ring_.Write(resampled_.data(), std::size_t(got) * outFrameBytes);
        if (got < capacity) break;
        got = swr_convert(swr_, out, capacity, srcp, 0);
    }
}

std::size_t AudioConverter::Process(const std::uint8_t* in, std::size_t length, std::uint8_t* out,
                                    std::size_t capacity, int volume) {
    if (in && length) {
        if (swr_) {
            if (inFrameBytes_) Convert(in, int(length / inFrameBytes_));
        } else {
            ring_.Write(in, length);
        }
    }
    return Read(out, capacity, volume);
}

void AudioConverter::Flush() {
    if (swr_) Convert(nullptr, 0);
}

std::size_t AudioConverter::Read(std::uint8_t* out, std::size_t capacity, int volume) {
    const std::size_t n = ring_.Read(out, capacity);
    ApplyVolume(reinterpret_cast<std::int16_t*>(out), n / 2, volume);
    return n;
}

void AudioConverter::Reset() {
    ring_.Clear();
    if (swr_) {
        // Drop the resampler's history and held-back samples.
        swr_close(swr_);
        swr_init(swr_);
    }
}
