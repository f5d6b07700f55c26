#pragma once
// MPEG-1/MPEG-2 video decoding on libavcodec: elementary-stream packets with
// 100-ns times go in, pictures in presentation order with start and stop times
// come out. Knows nothing about pins or samples, so it is tested by itself.
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/codecs/av_helpers.h"
#include "platform/com/hresult.h"

namespace codecs {

// Picture memory in planar 4:2:0 form (YV12 stores V before U; the view does not care).
struct PlanarPicture {
    BYTE* y = nullptr;
    BYTE* u = nullptr;
    BYTE* v = nullptr;
    int yStride = 0;
    int cStride = 0;
    int width = 0;
    int height = 0;
};

// Lays a YV12 buffer (Y plane, then V, then U; chroma at half the stride) out as a view.
PlanarPicture Yv12View(BYTE* buffer, int width, int height, int stride);
// Bytes of a YV12 picture with the given luma stride and height.
size_t Yv12Size(int stride, int height);
// Copies a decoded 4:2:0 frame into a YV12 picture of the same size (smaller of the two sizes).
void CopyFrame(const AVFrame& frame, const PlanarPicture& dst);

class VideoDecoderCore {
  public:
    struct Config {
        bool mpeg1 = false;
        std::vector<uint8_t> sequenceHeader;  // the stream's own header bytes, may be empty
        REFERENCE_TIME avgTimePerFrame = 0;   // 0: taken from the stream
        int threads = 0;                      // 0: as many as libavcodec likes
    };
    // Receives each picture; a failure stops the current Decode/Drain and is returned.
    using Sink =
        std::function<HRESULT(const AVFrame& picture, REFERENCE_TIME start, REFERENCE_TIME stop)>;

    VideoDecoderCore();
    ~VideoDecoderCore();
    VideoDecoderCore(const VideoDecoderCore&) = delete;
    VideoDecoderCore& operator=(const VideoDecoderCore&) = delete;

    HRESULT Open(const Config& config);
    void Close();
    bool IsOpen() const { return ctx_ != nullptr; }

    // One packet of the elementary stream; start is kNoTime when it has no time stamp.
    HRESULT Decode(const uint8_t* data, size_t size, REFERENCE_TIME start, const Sink& sink);
    // Pushes out every picture still held (end of stream); the core is then reset.
    HRESULT Drain(const Sink& sink);
    // Forgets everything in flight (flush, new segment, discontinuity); pictures
    // resume at the next key frame.
    void Reset();

    REFERENCE_TIME FrameDuration() const { return frameDuration_; }

  private:
    HRESULT SendPacket(const uint8_t* data, int size, int64_t pts, int64_t dts, const Sink& sink);
    HRESULT ReceiveFrames(const Sink& sink);

    Config config_;
    CodecContextPtr ctx_;
    ParserPtr parser_;
    FramePtr frame_;
    PacketPtr packet_;
    std::vector<uint8_t> input_;  // the packet being parsed, padded
    REFERENCE_TIME frameDuration_ = 0;
    REFERENCE_TIME nextTime_ = kNoTime;
    bool waitKeyFrame_ = true;
};

}  // namespace codecs
