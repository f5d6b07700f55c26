#include "filters/audio_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

std::vector<std::int16_t> Tone(int rate, int channels, int from, int frames, double freq = 440,
                               double amplitude = 10000) {
    std::vector<std::int16_t> pcm(std::size_t(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            pcm[std::size_t(i) * channels + c] = std::int16_t(
                std::lround(amplitude * std::sin(2 * M_PI * freq * (from + i) / rate)));
    return pcm;
}

const std::uint8_t* Bytes(const std::vector<std::int16_t>& v) {
    return reinterpret_cast<const std::uint8_t*>(v.data());
}

TEST(AudioVolume, ScalesWithRoundingAndSaturates) {
    struct Case {
        int volume;
        std::int16_t in, out;
    };
    const Case cases[] = {
        {256, 1234, 1234}, {512, 1000, 2000},  {512, 20000, 32767}, {512, -20000, -32768},
        {0, 12345, 0},     {0, -12345, 0},     {128, 3, 2},         {128, -3, -1},
        {128, 1001, 501},  {1 << 20, 1, 4096}, {-256, 100, -100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.volume << " " << c.in);
        std::int16_t s[2] = {c.in, c.in};
        ApplyVolume(s, 2, c.volume);
        EXPECT_EQ(s[0], c.out);
        EXPECT_EQ(s[1], c.out);
    }
}

TEST(AudioConverter, SameFormatPassesBytesBlockByBlock) {
    AudioConverter conv;
    ASSERT_TRUE(conv.Configure(2, 48000, 2, 48000, false));
    EXPECT_FALSE(conv.Resampling());
    std::vector<std::uint8_t> out(115200);
    for (int block = 0; block < 4; ++block) {
        auto in = Tone(48000, 2, block * 1536, 1536);
        const std::size_t n = conv.Process(Bytes(in), in.size() * 2, out.data(), out.size(), 256);
        ASSERT_EQ(n, in.size() * 2);
        EXPECT_EQ(0, std::memcmp(out.data(), in.data(), n));
    }
    EXPECT_EQ(conv.Pending(), 0u);
}

TEST(AudioConverter, BlockLargerThanTheOutputBufferWaitsInTheRing) {
    AudioConverter conv;
    ASSERT_TRUE(conv.Configure(2, 48000, 2, 48000, false));
    std::vector<std::uint8_t> in(150000), out(115200);
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = std::uint8_t(i * 13);
    EXPECT_EQ(conv.Process(in.data(), in.size(), out.data(), out.size(), 256), 115200u);
    EXPECT_EQ(conv.Pending(), 150000u - 115200u);
    EXPECT_EQ(conv.Process(nullptr, 0, out.data(), out.size(), 256), 150000u - 115200u);
    EXPECT_EQ(0, std::memcmp(out.data(), in.data() + 115200, 150000 - 115200));
}

TEST(AudioConverter, ResamplingKeepsDurationPitchAndLevel) {
    struct Case {
        int inCh, inRate, outCh, outRate;
    };
    for (const Case& c : {Case{2, 48000, 2, 44100}, Case{6, 48000, 2, 44100},
                          Case{1, 48000, 2, 22050}, Case{2, 44100, 1, 48000}}) {
        SCOPED_TRACE(testing::Message()
                     << c.inCh << "ch " << c.inRate << " -> " << c.outCh << "ch " << c.outRate);
        AudioConverter conv;
        ASSERT_TRUE(conv.Configure(c.inCh, c.inRate, c.outCh, c.outRate, true));
        EXPECT_TRUE(conv.Resampling());
        std::vector<std::int16_t> got;
        std::vector<std::uint8_t> out(115200);
        const int block = c.inRate / 25;  // one second in 25 blocks
        for (int b = 0; b < 25; ++b) {
            auto in = Tone(c.inRate, c.inCh, b * block, block);
            const std::size_t n =
                conv.Process(Bytes(in), in.size() * 2, out.data(), out.size(), 256);
            auto* s = reinterpret_cast<std::int16_t*>(out.data());
            got.insert(got.end(), s, s + n / 2);
        }
        conv.Flush();
        while (conv.Pending()) {
            const std::size_t n = conv.Read(out.data(), out.size(), 256);
            auto* s = reinterpret_cast<std::int16_t*>(out.data());
            got.insert(got.end(), s, s + n / 2);
        }
        const std::size_t frames = got.size() / c.outCh;
        ASSERT_EQ(got.size() % c.outCh, 0u);
        // One second in, one second out (to a few samples).
        EXPECT_NEAR(double(frames), c.outRate, 4);
        // 440 Hz: 880 sign changes a second, in every output channel.
        for (int ch = 0; ch < c.outCh; ++ch) {
            int crossings = 0;
            double sum = 0;
            for (std::size_t i = 1000; i + 1 < frames - 1000; ++i) {
                const int a = got[i * c.outCh + ch], b = got[(i + 1) * c.outCh + ch];
                crossings += (a < 0) != (b < 0);
                sum += double(a) * a;
            }
            const double seconds = double(frames - 2001) / c.outRate;
            EXPECT_NEAR(crossings / seconds, 880, 10);
            EXPECT_GT(std::sqrt(sum / double(frames - 2001)), 2000) << "channel " << ch;
        }
    }
}

TEST(AudioConverter, VolumeAppliesToConvertedSound) {
    AudioConverter conv;
    ASSERT_TRUE(conv.Configure(2, 48000, 2, 44100, true));
    auto in = Tone(48000, 2, 0, 4800);
    std::vector<std::uint8_t> out(115200);
    const std::size_t n = conv.Process(Bytes(in), in.size() * 2, out.data(), out.size(), 0);
    ASSERT_GT(n, 0u);
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(out[i], 0);
}

TEST(AudioConverter, ResetForgetsPendingSound) {
    AudioConverter conv;
    ASSERT_TRUE(conv.Configure(2, 48000, 2, 48000, false));
    std::vector<std::uint8_t> in(1000, 7), out(100);
    conv.Process(in.data(), in.size(), out.data(), out.size(), 256);
    EXPECT_EQ(conv.Pending(), 900u);
    conv.Reset();
    EXPECT_EQ(conv.Pending(), 0u);
}

TEST(AudioConverter, RefusesFormatsItCannotConvert) {
    AudioConverter conv;
    EXPECT_FALSE(conv.Configure(0, 48000, 2, 44100, true));
    EXPECT_FALSE(conv.Configure(2, 48000, 2, 0, true));
}

}  // namespace
