#pragma once
// DVD audio decoding on libavcodec: AC-3, DTS, DVD LPCM, MPEG-1/2 audio and AAC
// packets with 100-ns times go in, interleaved signed 16-bit PCM with the
// stream's declared channel count and rate comes out, timed without gaps.
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/codecs/av_helpers.h"
#include "platform/com/hresult.h"

namespace codecs {

enum class AudioCodec { Ac3, Dts, DvdLpcm, MpegAudio, Mp3, Aac };

class AudioDecoderCore {
  public:
    struct Config {
        AudioCodec codec = AudioCodec::Ac3;
        int channels = 2;
        int sampleRate = 48000;
        int bitsPerSample = 16;          // DVD LPCM only: 16, 20 or 24
        std::vector<uint8_t> extradata;  // AAC: the audio specific configuration
    };
    // Interleaved samples: frames × channels values.
    using Sink = std::function<HRESULT(const int16_t* samples, int frames, REFERENCE_TIME start,
                                       REFERENCE_TIME stop)>;

    AudioDecoderCore();
    ~AudioDecoderCore();
    AudioDecoderCore(const AudioDecoderCore&) = delete;
    AudioDecoderCore& operator=(const AudioDecoderCore&) = delete;

    HRESULT Open(const Config& config);
    void Close();
    bool IsOpen() const { return ctx_ != nullptr; }
    int Channels() const { return config_.channels; }
    int SampleRate() const { return config_.sampleRate; }

    HRESULT Decode(const uint8_t* data, size_t size, REFERENCE_TIME start, const Sink& sink);
    HRESULT Drain(const Sink& sink);
    void Reset();

    // Where the output clock is re-anchored to the input's time stamps: within
    // this distance a stamp is taken as jitter and the output stays continuous.
    static constexpr REFERENCE_TIME kResyncThreshold = 20 * MILLISECONDS;

  private:
    HRESULT SendPacket(const uint8_t* data, int size, int64_t pts, const Sink& sink);
    HRESULT ReceiveFrames(const Sink& sink);
    HRESULT Emit(const AVFrame& frame, const Sink& sink);

    Config config_;
    CodecContextPtr ctx_;
    ParserPtr parser_;
    FramePtr frame_;
    PacketPtr packet_;
    std::vector<uint8_t> input_;  // the packet being parsed, padded
    SwrPtr swr_;
    AVChannelLayout swrInLayout_{};
    int swrInRate_ = 0;
    int swrInFormat_ = -1;
    std::vector<int16_t> buffer_;
    std::vector<uint8_t> lpcm_;
    REFERENCE_TIME nextTime_ = kNoTime;
};

}  // namespace codecs
