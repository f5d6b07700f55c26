#include <gtest/gtest.h>

#include <cmath>

#include "platform/codecs/audio_decoder_core.h"
#include "test_media.h"

using namespace codecs;
using namespace codecs::test;

namespace {

struct Result {
    int64_t frames = 0;
    REFERENCE_TIME first = kNoTime, last = kNoTime;
    int gaps = 0;
    double peak = 0;
};

Result DecodeStream(AudioDecoderCore& core, const std::vector<TimedPacket>& packets) {
    Result r;
    auto sink = [&](const int16_t* s, int frames, REFERENCE_TIME start, REFERENCE_TIME stop) {
        if (r.first == kNoTime)
            r.first = start;
        else if (start != r.last)
            ++r.gaps;
        r.last = stop;
        r.frames += frames;
        for (int i = 0; i < frames * core.Channels(); ++i)
            r.peak = std::max(r.peak, std::abs(double(s[i])));
        return S_OK;
    };
    for (const auto& p : packets)
        EXPECT_EQ(core.Decode(p.data.data(), p.data.size(), p.start, sink), S_OK);
    EXPECT_EQ(core.Drain(sink), S_OK);
    return r;
}

struct Case {
    const char* name;
    AVCodecID encoder;
    AudioCodec codec;
    int channels;
    int rate;
    int64_t frameSamples;  // the codec's frame: the allowed count difference
};

}  // namespace

// Each DVD audio type decodes to its own channel count and rate, as many samples
// as went in (within one frame), gapless from the first packet's time.
TEST(AudioDecoderCore, DecodesEachTypeCompletelyAndGapless) {
    const Case cases[] = {
        {"ac3 5.1", AV_CODEC_ID_AC3, AudioCodec::Ac3, 6, 48000, 1536},
        {"ac3 stereo", AV_CODEC_ID_AC3, AudioCodec::Ac3, 2, 48000, 1536},
        {"mp2", AV_CODEC_ID_MP2, AudioCodec::MpegAudio, 2, 48000, 1152},
        {"dts", AV_CODEC_ID_DTS, AudioCodec::Dts, 2, 48000, 512},
        {"lpcm", AV_CODEC_ID_NONE, AudioCodec::DvdLpcm, 2, 48000, 1},
        {"aac raw frames", AV_CODEC_ID_AAC, AudioCodec::Aac, 2, 48000, 1024},
        {"lpcm mono 96k", AV_CODEC_ID_NONE, AudioCodec::DvdLpcm, 1, 96000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const REFERENCE_TIME t0 = 3 * UNITS;
        const EncodedAudio a = c.codec == AudioCodec::DvdLpcm
                                   ? MakeLpcm16(c.channels, c.rate, 15, 2010, t0)
                                   : EncodeAudio(c.encoder, c.channels, c.rate, 15,
                                                 c.codec == AudioCodec::Aac ? 0 : 1000, t0);
        AudioDecoderCore core;
        ASSERT_EQ(core.Open({c.codec, c.channels, c.rate, 16, a.extradata}), S_OK);
        const Result r = DecodeStream(core, a.packets);
        // Encoders add priming and padding; at most a frame or two either way.
        EXPECT_NEAR(double(r.frames), double(a.samples), 2.0 * c.frameSamples + 256);
        EXPECT_EQ(r.gaps, 0);
        EXPECT_NEAR(double(r.first), double(t0), double(UNITS) * c.frameSamples / c.rate + 1);
        EXPECT_NEAR(double(r.last - r.first), double(r.frames) * UNITS / c.rate,
                    double(UNITS) / c.rate * 4);
        EXPECT_GT(r.peak, 2000.0);  // a tone, not silence
    }
}

// A stamp far from where the sound has got to (a cut in the stream) moves the
// output there; small differences do not break the continuity.
TEST(AudioDecoderCore, FollowsJumpsButNotJitter) {
    const EncodedAudio a = EncodeAudio(AV_CODEC_ID_MP2, 2, 48000, 10, 100000, 0);
    ASSERT_FALSE(a.packets.empty());
    AudioDecoderCore core;
    ASSERT_EQ(core.Open({AudioCodec::MpegAudio, 2, 48000, 16, {}}), S_OK);
    std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> spans;
    auto sink = [&](const int16_t*, int, REFERENCE_TIME s, REFERENCE_TIME e) {
        spans.emplace_back(s, e);
        return S_OK;
    };
    // The stream as 576-byte frames (192 kbit/s at 48 kHz); restamp them.
    const auto& bytes = a.packets[0].data;
    const size_t frame = 576;
    for (size_t i = 0; i * frame < bytes.size(); ++i) {
        REFERENCE_TIME t = REFERENCE_TIME(i) * 240000;
        if (i == 5) t += 5 * MILLISECONDS;  // jitter
        if (i >= 10) t += 30 * UNITS;       // a cut
        core.Decode(bytes.data() + i * frame, std::min(frame, bytes.size() - i * frame), t, sink);
    }
    core.Drain(sink);
    ASSERT_GT(spans.size(), 12u);
    bool jumped = false;
    for (size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].first != spans[i - 1].second) {
            EXPECT_FALSE(jumped) << "only one discontinuity expected";
            EXPECT_GT(spans[i].first - spans[i - 1].second, 29 * UNITS);
            jumped = true;
        }
    }
    EXPECT_TRUE(jumped);
}

TEST(AudioDecoderCore, RefusesFormatsItCannotDescribe) {
    AudioDecoderCore core;
    EXPECT_EQ(core.Open({AudioCodec::DvdLpcm, 2, 22050, 16, {}}), E_INVALIDARG);
    EXPECT_EQ(core.Open({AudioCodec::DvdLpcm, 2, 48000, 18, {}}), E_INVALIDARG);
    EXPECT_EQ(core.Open({AudioCodec::Ac3, 0, 48000, 16, {}}), E_INVALIDARG);
    EXPECT_FALSE(core.IsOpen());
    auto sink = [](const int16_t*, int, REFERENCE_TIME, REFERENCE_TIME) { return S_OK; };
    uint8_t b[4] = {};
    EXPECT_EQ(core.Decode(b, 4, 0, sink), E_UNEXPECTED);
}

// A 5.1 stream declared as stereo (the format agreed on the pin wins) is mixed down.
TEST(AudioDecoderCore, KeepsTheDeclaredChannelCount) {
    const EncodedAudio a = EncodeAudio(AV_CODEC_ID_AC3, 6, 48000, 5, 3000, 0);
    AudioDecoderCore core;
    ASSERT_EQ(core.Open({AudioCodec::Ac3, 2, 48000, 16, {}}), S_OK);
    const Result r = DecodeStream(core, a.packets);
    EXPECT_NEAR(double(r.frames), double(a.samples), 2 * 1536.0 + 256);
    EXPECT_GT(r.peak, 1000.0);
}
