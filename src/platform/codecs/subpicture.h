#pragma once
// DVD subpictures: decoded with libavcodec's dvdsub and burned into YV12
// pictures. Fed from the subpicture pin's thread, read from the video thread.
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/codecs/av_helpers.h"
#include "platform/codecs/video_decoder_core.h"
#include "platform/com/hresult.h"

namespace codecs {

class SubpictureDecoder {
  public:
    // One decoded subpicture, ready to blend: per pixel an index into four
    // colours given as Y, U, V and alpha (0..255).
    struct Image {
        REFERENCE_TIME start = kNoTime;
        REFERENCE_TIME stop = kNoTime;  // kNoTime: shown until the next one
        int x = 0, y = 0, width = 0, height = 0;
        std::vector<uint8_t> indices;
        uint8_t yuva[4][4] = {};
    };

    SubpictureDecoder();
    ~SubpictureDecoder();
    SubpictureDecoder(const SubpictureDecoder&) = delete;
    SubpictureDecoder& operator=(const SubpictureDecoder&) = delete;

    HRESULT Open();
    // One packet of the subpicture stream (a unit may span several packets).
    void Decode(const uint8_t* data, size_t size, REFERENCE_TIME start);
    // Forgets every subpicture and any partial unit.
    void Reset();
    // Burns the subpicture shown at time t into the picture; false when none is shown.
    bool BlendInto(const PlanarPicture& picture, REFERENCE_TIME t);
    size_t PendingCount() const;

    // The colours used without the disc's palette: which of the four slots is
    // text and which is outline differs from disc to disc, so the slot that
    // borders the transparent background most is taken as the outline (dark),
    // the largest other one as the text (light), a third as grey.
    static void DefaultColours(const uint8_t* indices, int width, int height,
                               const uint8_t alpha[4], uint8_t rgb[4][3]);
    static void BlendImage(const Image& image, const PlanarPicture& picture);

  private:
    mutable std::mutex mutex_;
    CodecContextPtr ctx_;
    std::vector<Image> images_;
    REFERENCE_TIME unitStart_ = kNoTime;
};

}  // namespace codecs
