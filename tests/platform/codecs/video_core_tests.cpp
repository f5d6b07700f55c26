#include <gtest/gtest.h>

#include "platform/codecs/subpicture.h"
#include "platform/codecs/video_decoder_core.h"
#include "test_media.h"

using namespace codecs;
using namespace codecs::test;

namespace {

struct Out {
    REFERENCE_TIME start, stop;
    std::vector<uint8_t> luma;
    bool key;
};

std::vector<Out> DecodeAll(VideoDecoderCore& core, const std::vector<TimedPacket>& packets,
                           size_t from = 0, bool drain = true) {
    std::vector<Out> out;
    auto sink = [&](const AVFrame& f, REFERENCE_TIME s, REFERENCE_TIME e) {
        Out o{s, e, {}, bool(f.key_frame)};
        for (int y = 0; y < f.height; ++y)
            o.luma.insert(o.luma.end(), f.data[0] + y * f.linesize[0],
                          f.data[0] + y * f.linesize[0] + f.width);
        out.push_back(std::move(o));
        return S_OK;
    };
    for (size_t i = from; i < packets.size(); ++i)
        EXPECT_EQ(
            core.Decode(packets[i].data.data(), packets[i].data.size(), packets[i].start, sink),
            S_OK);
    if (drain) {
        EXPECT_EQ(core.Drain(sink), S_OK);
    }
    return out;
}

VideoDecoderCore::Config ConfigFor(const EncodedVideo& v) {
    VideoDecoderCore::Config c;
    c.sequenceHeader = v.sequenceHeader;
    c.avgTimePerFrame = v.frameDuration;
    return c;
}

}  // namespace

// Every picture comes out once, in presentation order, with its own time and a
// stop one frame later, whatever size the packets are cut to.
TEST(VideoDecoderCore, PicturesInPresentationOrderWithTheirTimes) {
    for (size_t chunk : {size_t(700), size_t(2048), size_t(60000)}) {
        SCOPED_TRACE(chunk);
        const EncodedVideo v = EncodeMpeg2(30, 176, 144, chunk, 5 * UNITS);
        VideoDecoderCore core;
        ASSERT_EQ(core.Open(ConfigFor(v)), S_OK);
        const auto out = DecodeAll(core, v.packets);
        ASSERT_EQ(out.size(), v.presentation.size());
        for (size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].start, v.presentation[i]) << i;
            EXPECT_EQ(out[i].stop, v.presentation[i] + v.frameDuration) << i;
        }
    }
}

// Same library, same stream: the pictures equal a plain decode of the stream.
TEST(VideoDecoderCore, PicturesMatchAPlainDecode) {
    const EncodedVideo v = EncodeMpeg2(20, 176, 144, 1500, 0);
    const auto reference = ReferenceDecode(v);
    VideoDecoderCore core;
    ASSERT_EQ(core.Open(ConfigFor(v)), S_OK);
    const auto out = DecodeAll(core, v.packets);
    ASSERT_EQ(out.size(), reference.size());
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_GT(PsnrY(out[i].luma.data(), v.width, reference[i]->data[0],
                        reference[i]->linesize[0], v.width, v.height),
                  60.0)
            << i;
}

// After a reset in mid-stream nothing comes out before the next key picture,
// and that picture keeps its own time.
TEST(VideoDecoderCore, ResetWaitsForTheNextKeyPicture) {
    const EncodedVideo v = EncodeMpeg2(40, 176, 144, 900, 0);
    VideoDecoderCore core;
    ASSERT_EQ(core.Open(ConfigFor(v)), S_OK);
    DecodeAll(core, v.packets, 0, false);
    core.Reset();
    // Restart from a packet in the middle of a group of pictures.
    const size_t from = v.packets.size() / 3;
    const auto out = DecodeAll(core, v.packets, from);
    ASSERT_FALSE(out.empty());
    EXPECT_TRUE(out.front().key);
    // Key pictures of a 12-picture group sit at multiples of 12 frames.
    EXPECT_EQ(out.front().start % (12 * v.frameDuration), 0);
    for (size_t i = 1; i < out.size(); ++i) EXPECT_GT(out[i].start, out[i - 1].start);
    EXPECT_EQ(out.back().start, v.presentation.back());
}

// A downstream failure stops decoding and is handed back.
TEST(VideoDecoderCore, SinkFailureIsReturned) {
    const EncodedVideo v = EncodeMpeg2(10, 176, 144, 4000, 0);
    VideoDecoderCore core;
    ASSERT_EQ(core.Open(ConfigFor(v)), S_OK);
    HRESULT last = S_OK;
    int calls = 0;
    auto failing = [&](const AVFrame&, REFERENCE_TIME, REFERENCE_TIME) {
        ++calls;
        return E_FAIL;
    };
    for (const auto& p : v.packets) {
        last = core.Decode(p.data.data(), p.data.size(), p.start, failing);
        if (FAILED(last)) break;
    }
    if (SUCCEEDED(last)) last = core.Drain(failing);
    EXPECT_EQ(last, E_FAIL);
    EXPECT_EQ(calls, 1);
}

TEST(VideoDecoderCore, GarbageDecodesToNothingWithoutFailing) {
    VideoDecoderCore core;
    ASSERT_EQ(core.Open({}), S_OK);
    std::vector<uint8_t> junk(5000);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 7 + 3);
    int pictures = 0;
    auto sink = [&](const AVFrame&, REFERENCE_TIME, REFERENCE_TIME) {
        ++pictures;
        return S_OK;
    };
    EXPECT_EQ(core.Decode(junk.data(), junk.size(), 0, sink), S_OK);
    EXPECT_EQ(core.Drain(sink), S_OK);
    EXPECT_EQ(pictures, 0);
}

// --- subpictures ---

namespace {

// One subpicture unit made by libavcodec's encoder: a bar of pattern colour
// framed by the outline colour, shown from 0 to 2 s after the unit's time.
std::vector<uint8_t> EncodeSubpicture(int x, int y, int w, int h) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVD_SUBTITLE);
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    ctx->width = 720;
    ctx->height = 576;
    ctx->time_base = AVRational{1, 1000};
    EXPECT_GE(avcodec_open2(ctx.get(), codec, nullptr), 0);
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_BITMAP;
    rect.x = x;
    rect.y = y;
    rect.w = w;
    rect.h = h;
    rect.nb_colors = 4;
    std::vector<uint8_t> pixels(size_t(w) * h, 0);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            pixels[size_t(r) * w + c] = (r < 2 || r >= h - 2 || c < 2 || c >= w - 2) ? 2 : 1;
    uint32_t palette[4] = {0x00000000, 0xFFFFFFFF, 0xFF000000, 0xFF808080};
    rect.data[0] = pixels.data();
    rect.linesize[0] = w;
    rect.data[1] = reinterpret_cast<uint8_t*>(palette);
    AVSubtitleRect* rects[1] = {&rect};
    AVSubtitle sub{};
    sub.num_rects = 1;
    sub.rects = rects;
    sub.start_display_time = 0;
    sub.end_display_time = 2000;
    std::vector<uint8_t> buf(65536);
    const int n = avcodec_encode_subtitle(ctx.get(), buf.data(), int(buf.size()), &sub);
    EXPECT_GT(n, 0);
    buf.resize(std::max(0, n));
    return buf;
}

struct Picture {
    std::vector<BYTE> bytes;
    PlanarPicture view;
    explicit Picture(int w = 720, int h = 576) : bytes(Yv12Size(w, h), 0) {
        view = Yv12View(bytes.data(), w, h, w);
        std::fill(bytes.begin(), bytes.begin() + w * h, 60);
        std::fill(bytes.begin() + w * h, bytes.end(), 128);
    }
};

}  // namespace

// The unit shows from its time to its end; split over packets it still arrives.
TEST(Subpicture, ShownBetweenItsStartAndStopOnly) {
    const auto unit = EncodeSubpicture(100, 400, 200, 40);
    for (size_t pieces : {size_t(1), size_t(3)}) {
        SCOPED_TRACE(pieces);
        SubpictureDecoder dec;
        ASSERT_EQ(dec.Open(), S_OK);
        const size_t step = (unit.size() + pieces - 1) / pieces;
        for (size_t pos = 0; pos < unit.size(); pos += step)
            dec.Decode(unit.data() + pos, std::min(step, unit.size() - pos),
                       pos == 0 ? 10 * UNITS : kNoTime);
        Picture before, during, after;
        EXPECT_FALSE(dec.BlendInto(before.view, 9 * UNITS));
        EXPECT_TRUE(dec.BlendInto(during.view, 11 * UNITS));
        EXPECT_FALSE(dec.BlendInto(after.view, 12 * UNITS + 1));
        EXPECT_EQ(before.bytes, Picture().bytes);
        EXPECT_EQ(after.bytes, Picture().bytes);
        // Inside the bar the picture changed, outside it did not.
        EXPECT_NE(during.view.y[420 * 720 + 200], 60);
        EXPECT_EQ(during.view.y[300 * 720 + 200], 60);
        EXPECT_EQ(during.view.y[420 * 720 + 400], 60);
    }
}

// Without the disc's palette: whichever slots a disc uses, the colour that
// borders the transparent background is the dark outline and the text is light.
TEST(Subpicture, DefaultColoursMakeLightTextWithDarkOutline) {
    struct Case {
        int body, outline;
    } cases[] = {{1, 2}, {2, 1}, {3, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "body " << c.body << " outline " << c.outline);
        // A 6x4 block of body colour framed by outline colour, on a transparent background.
        const int w = 10, h = 8;
        std::vector<uint8_t> idx(w * h, 0);
        for (int y = 1; y < h - 1; ++y)
            for (int x = 1; x < w - 1; ++x)
                idx[y * w + x] =
                    (y == 1 || y == h - 2 || x == 1 || x == w - 2) ? c.outline : c.body;
        const uint8_t alpha[4] = {0, 255, 255, 255};
        uint8_t rgb[4][3];
        SubpictureDecoder::DefaultColours(idx.data(), w, h, alpha, rgb);
        EXPECT_GT(rgb[c.body][0], 200);
        EXPECT_LT(rgb[c.outline][0], 40);

        SubpictureDecoder::Image image;
        image.x = 3;
        image.y = 5;
        image.width = w;
        image.height = h;
        image.indices = idx;
        for (int s = 0; s < 4; ++s) {
            image.yuva[s][0] = rgb[s][0];
            image.yuva[s][1] = image.yuva[s][2] = 128;
            image.yuva[s][3] = alpha[s];
        }
        Picture p(32, 32);
        SubpictureDecoder::BlendImage(image, p.view);
        EXPECT_EQ(p.view.y[(5 + 3) * 32 + 3 + 4], rgb[c.body][0]);     // inside the block
        EXPECT_EQ(p.view.y[(5 + 1) * 32 + 3 + 4], rgb[c.outline][0]);  // its frame
        EXPECT_EQ(p.view.y[5 * 32 + 3], 60);                           // transparent corner
        EXPECT_EQ(p.view.y[4 * 32 + 3], 60);                           // outside the image
    }
}

// A reset (seek) forgets what was waiting to be shown.
TEST(Subpicture, ResetForgetsPendingSubpictures) {
    const auto unit = EncodeSubpicture(100, 400, 200, 40);
    SubpictureDecoder dec;
    ASSERT_EQ(dec.Open(), S_OK);
    dec.Decode(unit.data(), unit.size(), 10 * UNITS);
    EXPECT_EQ(dec.PendingCount(), 1u);
    dec.Reset();
    Picture p;
    EXPECT_FALSE(dec.BlendInto(p.view, 11 * UNITS));
}
