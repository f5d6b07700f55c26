#pragma once
// The sound work of the audio conversion filter, free of any pipeline:
// channel and rate conversion through the resampler, the ring of converted
// PCM waiting for output buffers, and the volume gain. All sound is
// interleaved signed 16-bit PCM.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "filters/byte_ring.h"

struct SwrContext;

// Scales samples in place: clamp((s * volume + 128) >> 8), 256 = unchanged.
void ApplyVolume(std::int16_t* samples, std::size_t count, int volume);

class AudioConverter {
  public:
    static constexpr std::size_t kRingBytes = 524288;
    static constexpr std::size_t kResampleBytes = 262144;

    AudioConverter() = default;
    ~AudioConverter();
    AudioConverter(const AudioConverter&) = delete;
    AudioConverter& operator=(const AudioConverter&) = delete;

    // With `resample`, makes a resampler from the input to the output format;
    // otherwise the bytes pass unchanged. False when the resampler or its
    // buffer cannot be made.
    bool Configure(int inChannels, int inRate, int outChannels, int outRate, bool resample);
    bool Resampling() const { return swr_ != nullptr; }

    // Converts one input block into the ring (what does not fit is dropped),
    // then moves up to `capacity` bytes from the ring to `out` with the volume
    // applied. Returns the bytes written to `out`.
    std::size_t Process(const std::uint8_t* in, std::size_t length, std::uint8_t* out,
                        std::size_t capacity, int volume);
    // End of stream: what the resampler still holds goes into the ring.
    void Flush();
    // Moves up to `capacity` pending bytes to `out` with the volume applied.
    std::size_t Read(std::uint8_t* out, std::size_t capacity, int volume);
    std::size_t Pending() const { return ring_.Fill(); }
    // Forgets pending sound (a flush or a new run starts afresh).
    void Reset();

    int OutChannels() const { return outChannels_; }
    int OutRate() const { return outRate_; }

  private:
    void Convert(const std::uint8_t* in, int frames);

    SwrContext* swr_ = nullptr;
    std::vector<std::uint8_t> resampled_;  // made with the first resampler
    ByteRing ring_{kRingBytes};
    int inChannels_ = 0, inRate_ = 0, outChannels_ = 0, outRate_ = 0;
    std::size_t inFrameBytes_ = 0;
};
