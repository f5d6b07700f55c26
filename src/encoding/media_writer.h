#pragma once
// Encodes the converted pictures and sound of one conversion and muxes them into
// one output file. Pictures come in as packed YV12 at the profile's size, sound
// as interleaved signed 16-bit PCM at the profile's rate and channel count.
//
// Not thread-safe: the conversion sink serialises the two streaming threads'
// calls under its filter lock; Open and Close run while the pipeline is stopped.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "filters/byte_ring.h"

namespace profiles {
struct EncoderSettings;
}
using profiles::EncoderSettings;

struct AVCodec;
struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;
struct SwrContext;

class CMediaWriter {
  public:
    CMediaWriter();
    ~CMediaWriter();
    CMediaWriter(const CMediaWriter&) = delete;
    CMediaWriter& operator=(const CMediaWriter&) = delete;

    // Chooses the container by the file name's extension and the encoders by the
    // settings' names; writes the container header. On failure nothing stays
    // open and a reason is kept (LastError). The settings must outlive the file.
    bool Open(const std::string& fileName, const EncoderSettings& settings);

    // One packed YV12 picture of Width x Height. 0 when the encoder took it (its
    // packets reach the file now or when the encoder releases them), -1 when
    // the encoder failed or the buffer is too short for a picture.
    int WriteVideoFrame(const std::uint8_t* data, std::size_t length);

    // Interleaved 16-bit PCM; whole encoder frames are encoded as they fill up,
    // the rest waits for the next call (or for Close). 0, or -1 on encoder error.
    int WriteAudioSamples(const std::uint8_t* data, std::size_t length);

    // Encodes what is still pending (the partial audio frame, pictures and sound
    // held back inside the encoders), writes the trailer and releases the file.
    // False when the file could not be finished properly. No-op when closed.
    // A conversion cut short passes cutAtPictures: the sound decoded ahead of
    // the pictures then ends with the last picture instead of running on
    // over a frozen one.
    bool Close(bool cutAtPictures = false);

    bool IsOpen() const { return oc_ != nullptr; }
    bool HasVideoStream() const { return videoStream_ != nullptr; }
    bool HasAudioStream() const { return audioStream_ != nullptr; }
    const EncoderSettings* Settings() const { return settings_; }
    const std::string& LastError() const { return lastError_; }

    // Pictures and audio samples (per channel) handed to the encoders since Open.
    std::int64_t VideoFramesWritten() const { return videoPts_; }
    std::int64_t AudioSamplesWritten() const { return audioPts_; }

    static constexpr std::size_t kRingBytes = 512000;
    static constexpr std::size_t kStagingBytes = 20480;

  private:
    bool Fail(const std::string& why);
    void Cleanup();
    AVStream* AddVideoStream(const AVCodec* codec, int pixFmt, const EncoderSettings& s);
    AVStream* AddAudioStream(const AVCodec* codec, const EncoderSettings& s);
    bool OpenAudioEncoder(const AVCodec* codec);
    int EncodeAudioFrame(const std::uint8_t* pcm, int samples);
    int SendAndDrain(AVCodecContext* ctx, AVStream* st, const AVFrame* frame);
    // Sound packets wait until the pictures have reached their time, so that
    // the file's sound does not run past its pictures when the conversion
    // stops early. The splitter's queues let the sound get many seconds ahead
    // (the whole of a short title); kMaxSoundLead bounds what is held.
    void WriteSound(AVPacket* packet);
    void ReleaseSound(double until, bool all);
    double PictureSeconds() const;

    AVFormatContext* oc_ = nullptr;
    AVStream* audioStream_ = nullptr;
    AVStream* videoStream_ = nullptr;
    AVCodecContext* audioCtx_ = nullptr;
    AVCodecContext* videoCtx_ = nullptr;
    const EncoderSettings* settings_ = nullptr;

    ByteRing ring_{kRingBytes};
    std::size_t audioFrameBytes_ = 0;
    std::vector<std::uint8_t> staging_;

    // Pixel-format conversion when the video encoder does not take YUV 4:2:0.
    SwsContext* sws_ = nullptr;
    AVFrame* converted_ = nullptr;
    AVFrame* picture_ = nullptr;  // describes the caller's buffer, owns nothing

    // Sample-format conversion when the audio encoder does not take packed s16.
    SwrContext* swr_ = nullptr;
    AVFrame* audioFrame_ = nullptr;
    int audioFrameCapacity_ = 0;  // samples the audio frame's buffers hold
    AVPacket* packet_ = nullptr;

    // Copied out of the settings at Open.
    int width_ = 0, height_ = 0, channels_ = 0, sampleRate_ = 0;
    bool pcmPassThrough_ = false;
    bool ownsFile_ = false;
    std::string fileName_;
    bool writeFailed_ = false;
    std::int64_t videoPts_ = 0;
    std::int64_t audioPts_ = 0;
    struct HeldSound {
        AVPacket* packet;
        double start, end;  // seconds
    };
    std::deque<HeldSound> heldSound_;
    static constexpr double kMaxSoundLead = 60.0;
    std::string lastError_;
};
