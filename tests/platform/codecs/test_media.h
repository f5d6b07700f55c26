#pragma once
// Test material made on the spot with libavcodec's encoders: elementary streams
// cut into packets the way a program stream carries them.
#include <cstdint>
#include <vector>

#include "platform/codecs/av_helpers.h"

namespace codecs::test {

struct TimedPacket {
    std::vector<uint8_t> data;
    REFERENCE_TIME start = kNoTime;
};

// A synthetic picture that differs visibly from frame to frame.
void DrawPattern(AVFrame& frame, int index);

struct EncodedVideo {
    std::vector<uint8_t> sequenceHeader;
    std::vector<TimedPacket> packets;          // chunks of the byte stream
    std::vector<REFERENCE_TIME> presentation;  // every picture's time, sorted
    std::vector<std::vector<uint8_t>> coded;   // the encoder's packets, decode order
    REFERENCE_TIME frameDuration = 0;
    int width = 0, height = 0;
};

// MPEG-2 video at 25 fps with B-pictures, cut into chunkSize pieces; a piece
// carries the time of the first picture that starts inside it.
EncodedVideo EncodeMpeg2(int frames, int width, int height, size_t chunkSize,
                         REFERENCE_TIME firstTime);

// Reference decode: every picture of the encoder's packets through a plain
// libavcodec decoder, in presentation order.
std::vector<FramePtr> ReferenceDecode(const EncodedVideo& video);

double PsnrY(const uint8_t* a, int strideA, const uint8_t* b, int strideB, int width, int height);

struct EncodedAudio {
    std::vector<TimedPacket> packets;
    std::vector<uint8_t> extradata;  // the encoder's global header, if it has one
    int samples = 0;                 // samples per channel fed to the encoder
};

// A sine tone through the named encoder, the byte stream cut into chunkSize
// pieces; a piece carries the time of the first frame that starts inside it.
// chunkSize 0: one packet per coded frame.
EncodedAudio EncodeAudio(AVCodecID codec, int channels, int rate, int seconds10ths,
                         size_t chunkSize, REFERENCE_TIME firstTime);

// DVD LPCM payload (the bytes after the LPCM header): 16-bit big-endian.
EncodedAudio MakeLpcm16(int channels, int rate, int seconds10ths, size_t chunkSize,
                        REFERENCE_TIME firstTime);

}  // namespace codecs::test
