#pragma once
// Small RAII holders and time conversions shared by the codec cores. Kept out of
// the public headers of the filters so that FFmpeg stays an implementation detail.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}
#include <memory>

#include "platform/com/types.h"

namespace codecs {

// Reference time that carries no value (a sample without a time stamp).
constexpr REFERENCE_TIME kNoTime = INT64_MIN;

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ParserDeleter {
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwrDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct SwsDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using ParserPtr = std::unique_ptr<AVCodecParserContext, ParserDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;

// The codec cores hand FFmpeg times in 100-ns units directly (time base
// 1/10^7), so only the "no value" markers need translating.
inline int64_t ToAvTime(REFERENCE_TIME t) {
    return t == kNoTime ? AV_NOPTS_VALUE : t;
}
inline REFERENCE_TIME FromAvTime(int64_t t) {
    return t == AV_NOPTS_VALUE ? kNoTime : t;
}

}  // namespace codecs
