// The decoder filters on the authored discs: a test source pushes what the
// splitter would push; ffprobe and ffmpeg are the judges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "es_source.h"
#include "fixtures.h"
#include "platform/codecs/audio_decoder.h"
#include "platform/codecs/codecs.h"
#include "platform/codecs/mpeg_video_decoder.h"
#include "platform/framework/mediatype.h"

using namespace codecs;
using namespace codecs::test;
namespace fs = std::filesystem;

namespace {

struct Decoded {
    std::vector<ReceivedSample> samples;
    CMediaType type;
    int eos = 0;
};

// source → decoder → sink, run to the end of the stream.
template <class Decoder>
Decoded RunDecoder(const std::vector<const EsStream*>& inputs, GUID major, GUID format = GUID{},
                   size_t from = 0) {
    HRESULT hr = S_OK;
    ComPtr<CTestSource> source(new CTestSource(inputs));
    ComPtr<Decoder> decoder(new Decoder(nullptr, &hr));
    ComPtr<CTestSink> sink(new CTestSink(major, format));
    EXPECT_EQ(hr, S_OK);
    source->Pin(0)->SetRange(from, SIZE_MAX);
    for (size_t i = 0; i < inputs.size(); ++i)
        EXPECT_EQ(ConnectPins(source->GetPin(int(i)), decoder->GetPin(int(i))), S_OK) << i;
    const int outIndex = decoder->GetPinCount() - 1;
    EXPECT_EQ(ConnectPins(decoder->GetPin(outIndex), sink->Pin()), S_OK);
    Decoded d;
    sink->Pin()->ConnectionMediaType(&d.type);
    std::vector<IBaseFilter*> chain{source.Get(), decoder.Get(), sink.Get()};
    Start(chain);
    EXPECT_TRUE(sink->WaitEndOfStream(std::chrono::seconds(60)));
    StopAll(chain);
    d.samples = sink->Samples();
    d.eos = sink->EndOfStreams();
    for (int i = 0; i < source->GetPinCount(); ++i) {
        source->GetPin(i)->Disconnect();
        decoder->GetPin(i)->Disconnect();
    }
    decoder->GetPin(outIndex)->Disconnect();
    sink->Pin()->Disconnect();
    return d;
}

struct ProbeFrame {
    double time;
    char type;
};

std::vector<ProbeFrame> ProbeVideo(const fs::path& vob) {
    const auto r = fixtures::RunCommand(
        "ffprobe -v error -select_streams v -show_entries "
        "frame=best_effort_timestamp_time,pict_type -of csv=p=0 " +
        fixtures::Quote(vob.string()));
    std::vector<ProbeFrame> frames;
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        double t;
        char c;
        if (std::sscanf(line.c_str(), "%lf,%c", &t, &c) == 2) frames.push_back({t, c});
    }
    return frames;
}

// Picture n of the VOB as ffmpeg decodes it (Y plane only).
std::vector<uint8_t> FfmpegLuma(const fs::path& vob, int n, int w, int h) {
    const std::string out =
        (fs::temp_directory_path() / ("codecs-frame-" + std::to_string(::getpid()) + ".yuv"))
            .string();
    const auto r = fixtures::RunCommand(
        "ffmpeg -v error -y -i " + fixtures::Quote(vob.string()) + " -map 0:v -vf 'select=eq(n\\," +
        std::to_string(n) + ")' -frames:v 1 -f rawvideo -pix_fmt yuv420p " + fixtures::Quote(out));
    std::vector<uint8_t> y(size_t(w) * h);
    FILE* f = std::fopen(out.c_str(), "rb");
    if (!f || std::fread(y.data(), 1, y.size(), f) != y.size()) y.clear();
    if (f) std::fclose(f);
    std::remove(out.c_str());
    return y;
}

// Share of the luma samples of a rectangle that differ by more than a little.
double ChangedShare(const ReceivedSample& a, const ReceivedSample& b, int stride, int x0, int y0,
                    int x1, int y1) {
    int changed = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            changed += std::abs(int(a.data[size_t(y) * stride + x]) -
                                int(b.data[size_t(y) * stride + x])) > 8;
    return double(changed) / ((x1 - x0) * (y1 - y0));
}

const BITMAPINFOHEADER& Bmi(const CMediaType& mt) {
    return *GetBitmapInfoHeader(&mt);
}

}  // namespace

// Picture count and first and last times agree with ffprobe's for the title,
// and pictures come out in presentation order, one frame long each.
TEST(MpegVideoDecoderFilter, PicturesAndTimesAgreeWithFfprobe) {
    struct Case {
        fixtures::Disc disc;
        int vts;
        int aspectX, aspectY;
    } cases[] = {{fixtures::Disc::Pal, 1, 4, 3}, {fixtures::Disc::Ntsc, 2, 16, 9}};
    for (const Case& c : cases) {
        const fs::path vob = fixtures::VobPath(c.disc, c.vts);
        SCOPED_TRACE(vob.string());
        const DemuxedVob es = DemuxVob(vob);
        const auto probe = ProbeVideo(vob);
        ASSERT_FALSE(probe.empty());
        const Decoded d = RunDecoder<CMpegVideoDecoder>({es.Video()}, MEDIATYPE_Video);
        EXPECT_EQ(d.eos, 1);
        ASSERT_EQ(d.samples.size(), probe.size());
        const double offset = double(es.offset) / UNITS;
        EXPECT_NEAR(double(d.samples.front().start) / UNITS + offset, probe.front().time, 1e-4);
        EXPECT_NEAR(double(d.samples.back().start) / UNITS + offset, probe.back().time, 1e-4);
        for (size_t i = 1; i < d.samples.size(); ++i) {
            EXPECT_GT(d.samples[i].start, d.samples[i - 1].start) << i;
            EXPECT_GT(d.samples[i].stop, d.samples[i].start) << i;
        }
        // Offered first: YV12 in VideoInfo2 with a positive height and the stream's aspect.
        EXPECT_EQ(d.type.subtype, MEDIASUBTYPE_YV12);
        EXPECT_EQ(d.type.formattype, FORMAT_VideoInfo2);
        EXPECT_GT(Bmi(d.type).biHeight, 0);
        VIDEOINFOHEADER2 vih;
        std::memcpy(static_cast<void*>(&vih), d.type.Format(), sizeof(vih));
        EXPECT_EQ(vih.dwPictAspectRatioX, DWORD(c.aspectX));
        EXPECT_EQ(vih.dwPictAspectRatioY, DWORD(c.aspectY));
        EXPECT_EQ(d.samples.front().data.size(),
                  Yv12Size(Bmi(d.type).biWidth, Bmi(d.type).biHeight));
    }
}

// Same library as ffmpeg: the pictures are (nearly) identical to its decode.
TEST(MpegVideoDecoderFilter, PicturesEqualFfmpegsDecode) {
    const fs::path vob = fixtures::VobPath(fixtures::Disc::Pal, 1);
    const DemuxedVob es = DemuxVob(vob);
    const Decoded d = RunDecoder<CMpegVideoDecoder>({es.Video()}, MEDIATYPE_Video);
    const int w = Bmi(d.type).biWidth, h = Bmi(d.type).biHeight;
    for (int n : {0, 7, 100}) {
        ASSERT_LT(size_t(n), d.samples.size());
        const auto reference = FfmpegLuma(vob, n, w, h);
        ASSERT_EQ(reference.size(), size_t(w) * h) << "ffmpeg gave no picture " << n;
        EXPECT_GT(PsnrY(d.samples[n].data.data(), w, reference.data(), w, w, h), 45.0) << n;
    }
}

// A downstream pin that asks for VideoInfo gets it.
TEST(MpegVideoDecoderFilter, OffersVideoInfoWhenAskedFor) {
    const DemuxedVob es = DemuxVob(fixtures::VobPath(fixtures::Disc::Pal, 3));
    const Decoded d =
        RunDecoder<CMpegVideoDecoder>({es.Video()}, MEDIATYPE_Video, FORMAT_VideoInfo);
    EXPECT_EQ(d.type.formattype, FORMAT_VideoInfo);
    EXPECT_EQ(Bmi(d.type).biHeight, 576);
    EXPECT_EQ(d.samples.size(), 100u);
}

// Starting in the middle of a group of pictures (as after a seek), nothing
// comes out before the next key picture.
TEST(MpegVideoDecoderFilter, NoPictureBeforeTheFirstKeyPicture) {
    const fs::path vob = fixtures::VobPath(fixtures::Disc::Pal, 1);
    const DemuxedVob es = DemuxVob(vob);
    const auto probe = ProbeVideo(vob);
    const EsStream& video = *es.Video();
    const size_t from = video.packets.size() / 2;
    const Decoded d = RunDecoder<CMpegVideoDecoder>({&video}, MEDIATYPE_Video, GUID{}, from);
    ASSERT_FALSE(d.samples.empty());
    const double first = double(d.samples.front().start) / UNITS + double(es.offset) / UNITS;
    bool isKey = false;
    for (const auto& f : probe)
        if (std::abs(f.time - first) < 1e-4) isKey = f.type == 'I';
    EXPECT_TRUE(isKey) << "first picture at " << first;
    EXPECT_TRUE(d.samples.front().discontinuity);
    EXPECT_LT(d.samples.size(), probe.size());
}

// A flush in mid-stream (a seek) resets the decoder: what follows starts at a
// key picture and is marked as a discontinuity. The source holds its delivery
// around the flush, as the splitter does when it seeks.
TEST(MpegVideoDecoderFilter, FlushRestartsAtAKeyPicture) {
    const fs::path vob = fixtures::VobPath(fixtures::Disc::Ntsc, 2);
    const DemuxedVob es = DemuxVob(vob);
    const auto probe = ProbeVideo(vob);
    HRESULT hr = S_OK;
    ComPtr<CTestSource> source(new CTestSource({es.Video()}));
    ComPtr<CMpegVideoDecoder> decoder(new CMpegVideoDecoder(nullptr, &hr));
    ComPtr<CTestSink> sink(new CTestSink(MEDIATYPE_Video));
    ASSERT_EQ(ConnectPins(source->GetPin(0), decoder->GetPin(0)), S_OK);
    ASSERT_EQ(ConnectPins(decoder->GetPin(2), sink->Pin()), S_OK);
    // Resumed a few packets past the middle: inside a group of pictures.
    source->Pin(0)->HoldAt(es.Video()->packets.size() / 2 + 3);
    std::vector<IBaseFilter*> chain{source.Get(), decoder.Get(), sink.Get()};
    Start(chain);
    ASSERT_TRUE(source->Pin(0)->WaitHeld(std::chrono::seconds(30)));
    decoder->GetPin(0)->BeginFlush();
    decoder->GetPin(0)->EndFlush();
    source->Pin(0)->Resume();
    EXPECT_TRUE(sink->WaitEndOfStream(std::chrono::seconds(60)));
    StopAll(chain);
    const auto samples = sink->Samples();
    const size_t at = sink->FlushedAt();
    ASSERT_LT(at, samples.size()) << "nothing came after the flush";
    const double first = double(samples[at].start) / UNITS + double(es.offset) / UNITS;
    char type = '?';
    for (const auto& f : probe)
        if (std::abs(f.time - first) < 1e-4) type = f.type;
    EXPECT_EQ(type, 'I') << "first picture after the flush at " << first;
    EXPECT_TRUE(samples[at].discontinuity);
    // The stream then runs on to its last picture.
    EXPECT_NEAR(double(samples.back().start - samples.front().start) / UNITS,
                probe.back().time - probe.front().time, 1e-4);
    source->GetPin(0)->Disconnect();
    decoder->GetPin(0)->Disconnect();
    decoder->GetPin(2)->Disconnect();
    sink->Pin()->Disconnect();
}

// With a subtitle track the subpicture is burned in while it shows and only
// where it shows; with none, or the empty placeholder, pictures pass unchanged.
TEST(MpegVideoDecoderFilter, ChosenSubtitleIsBurnedIn) {
    const DemuxedVob es = DemuxVob(fixtures::VobPath(fixtures::Disc::Pal, 1));
    const EsStream* en = es.Find(0xBD20);
    ASSERT_TRUE(en);
    EsStream empty;
    empty.type = en->type;  // the "No subtitles" placeholder: a pin that never delivers

    const Decoded plain = RunDecoder<CMpegVideoDecoder>({es.Video()}, MEDIATYPE_Video);
    const Decoded none = RunDecoder<CMpegVideoDecoder>({es.Video(), &empty}, MEDIATYPE_Video);
    const Decoded burned = RunDecoder<CMpegVideoDecoder>({es.Video(), en}, MEDIATYPE_Video);
    ASSERT_EQ(plain.samples.size(), 150u);
    ASSERT_EQ(none.samples.size(), 150u);
    ASSERT_EQ(burned.samples.size(), 150u);
    const int w = Bmi(plain.type).biWidth;
    auto meanY = [&](const ReceivedSample& s, int x0, int y0, int x1, int y1) {
        double sum = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) sum += s.data[size_t(y) * w + x];
        return sum / ((x1 - x0) * (y1 - y0));
    };
    for (size_t i = 0; i < plain.samples.size(); ++i) {
        EXPECT_EQ(none.samples[i].data, plain.samples[i].data) << i;
        const double t = double(plain.samples[i].start) / UNITS;
        const bool shown = t > 1.05 && t < 3.95;  // the "en" unit shows from 1 s to 4 s
        const bool hidden = t < 0.95 || t > 4.05;
        if (shown) {
            // The box is light (white in the disc's palette, light by default too).
            EXPECT_GT(meanY(burned.samples[i], 280, 450, 300, 470), 180.0)
                << "picture " << i << " at " << t;
            EXPECT_GT(ChangedShare(burned.samples[i], plain.samples[i], w, 270, 440, 450, 520), 0.5)
                << "picture " << i << " at " << t;
        }
        if (hidden) {
            EXPECT_EQ(burned.samples[i].data, plain.samples[i].data)
                << "picture " << i << " at " << t;
        }
        // The other track's place (top left) is never touched.
        EXPECT_EQ(meanY(burned.samples[i], 80, 60, 220, 200),
                  meanY(plain.samples[i], 80, 60, 220, 200));
    }
}

// --- audio ---

// Each DVD audio type decodes to its channel count and rate, as much sound as
// the title lasts (within a frame), timed without gaps.
TEST(DvdAudioDecoderFilter, DecodesEachDiscTrack) {
    struct Case {
        fixtures::Disc disc;
        int vts;
        int id;
        int channels;
        double seconds;
        int frameSamples;
    } cases[] = {
        {fixtures::Disc::Pal, 1, 0xBD80, 6, 6.0, 1536},  // AC-3 5.1
        {fixtures::Disc::Pal, 1, 0xC000, 2, 6.0, 1152},  // MPEG-1 layer II
        {fixtures::Disc::Pal, 2, 0xBDA0, 2, 4.0, 80},    // LPCM
        {fixtures::Disc::Pal, 3, 0xBD88, 6, 4.0, 512},   // DTS
        {fixtures::Disc::Ntsc, 2, 0xBD80, 2, 8.008, 1536},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << fixtures::VobPath(c.disc, c.vts) << " track " << std::hex << c.id);
        const DemuxedVob es = DemuxVob(fixtures::VobPath(c.disc, c.vts));
        const EsStream* track = es.Find(c.id);
        ASSERT_TRUE(track);
        const Decoded d = RunDecoder<CDvdAudioDecoder>({track}, MEDIATYPE_Audio);
        const WAVEFORMATEX* wfx = GetWaveFormat(&d.type);
        ASSERT_TRUE(wfx);
        EXPECT_EQ(d.type.subtype, MEDIASUBTYPE_PCM);
        EXPECT_EQ(wfx->nChannels, c.channels);
        EXPECT_EQ(wfx->nSamplesPerSec, 48000u);
        EXPECT_EQ(wfx->wBitsPerSample, 16);
        int64_t frames = 0;
        int gaps = 0;
        double peak = 0;
        for (size_t i = 0; i < d.samples.size(); ++i) {
            const auto& s = d.samples[i];
            frames += int64_t(s.data.size()) / (2 * c.channels);
            if (i > 0 && s.start != d.samples[i - 1].stop) ++gaps;
            const auto* pcm = reinterpret_cast<const int16_t*>(s.data.data());
            for (size_t k = 0; k < s.data.size() / 2; ++k)
                peak = std::max(peak, std::abs(double(pcm[k])));
        }
        EXPECT_EQ(gaps, 0);
        EXPECT_NEAR(double(frames), c.seconds * 48000, c.frameSamples);
        EXPECT_GT(peak, 1000.0);
        EXPECT_EQ(d.eos, 1);
    }
}

// What ends before the segment starts (the lead-in of a seek) is decoded but
// not delivered; the first thing delivered reaches into the segment.
TEST(DecoderFilters, LeadInBeforeTheSegmentIsNotDelivered) {
    const DemuxedVob es = DemuxVob(fixtures::VobPath(fixtures::Disc::Pal, 1));
    const REFERENCE_TIME lead = 2 * UNITS;
    auto shifted = [&](const EsStream& s) {
        EsStream copy = s;
        for (auto& p : copy.packets)
            if (p.start != kNoTime) p.start -= lead;
        return copy;
    };
    const EsStream video = shifted(*es.Video());
    const EsStream audio = shifted(*es.Find(0xBD80));
    const Decoded v = RunDecoder<CMpegVideoDecoder>({&video}, MEDIATYPE_Video);
    const Decoded a = RunDecoder<CDvdAudioDecoder>({&audio}, MEDIATYPE_Audio);
    for (const Decoded* d : {&v, &a}) {
        ASSERT_FALSE(d->samples.empty());
        EXPECT_GT(d->samples.front().stop, 0);
        EXPECT_LE(d->samples.front().start, 0 + (d == &v ? 400000 : 320000));
        EXPECT_EQ(d->eos, 1);
    }
    EXPECT_EQ(v.samples.size(), 150u - 50u);  // 2 s of 25 fps pictures are lead-in
}

TEST(DvdAudioDecoderFilter, RefusesWhatItCannotDecode) {
    HRESULT hr = S_OK;
    ComPtr<CDvdAudioDecoder> decoder(new CDvdAudioDecoder(nullptr, &hr));
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Audio);
    mt.SetSubtype(&MEDIASUBTYPE_PCM);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    WAVEFORMATEX wfx{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    mt.SetFormat(reinterpret_cast<BYTE*>(&wfx), sizeof(wfx));
    EXPECT_NE(decoder->CheckInputType(&mt), S_OK);  // already PCM
    mt.SetSubtype(&MEDIASUBTYPE_DVD_LPCM_AUDIO);
    EXPECT_EQ(decoder->CheckInputType(&mt), S_OK);
    wfx.wBitsPerSample = 18;
    mt.SetFormat(reinterpret_cast<BYTE*>(&wfx), sizeof(wfx));
    EXPECT_NE(decoder->CheckInputType(&mt), S_OK);
    mt.SetFormat(reinterpret_cast<BYTE*>(&wfx), 10);  // truncated block
    EXPECT_NE(decoder->CheckInputType(&mt), S_OK);
}

// Switching the input to another title keeps the picture connection when the
// pictures still fit it and drops it when they do not.
TEST(MpegVideoDecoderFilter, NewInputKeepsOrDropsThePictureConnection) {
    const DemuxedVob pal1 = DemuxVob(fixtures::VobPath(fixtures::Disc::Pal, 1));
    const DemuxedVob pal3 = DemuxVob(fixtures::VobPath(fixtures::Disc::Pal, 3));
    const DemuxedVob ntsc = DemuxVob(fixtures::VobPath(fixtures::Disc::Ntsc, 2));
    HRESULT hr = S_OK;
    ComPtr<CMpegVideoDecoder> decoder(new CMpegVideoDecoder(nullptr, &hr));
    ComPtr<CTestSink> sink(new CTestSink(MEDIATYPE_Video));
    ComPtr<CTestSource> first(new CTestSource({pal1.Video()}));
    ASSERT_EQ(ConnectPins(first->GetPin(0), decoder->GetPin(0)), S_OK);
    ASSERT_EQ(ConnectPins(decoder->GetPin(2), sink->Pin()), S_OK);
    struct Step {
        const DemuxedVob* next;
        bool stays;
    } steps[] = {{&pal3, true}, {&ntsc, false}};
    ComPtr<CTestSource> current = first;
    for (const Step& s : steps) {
        current->GetPin(0)->Disconnect();
        decoder->GetPin(0)->Disconnect();
        ComPtr<CTestSource> source(new CTestSource({s.next->Video()}));
        ASSERT_EQ(ConnectPins(source->GetPin(0), decoder->GetPin(0)), S_OK);
        EXPECT_EQ(bool(decoder->GetPin(2)->IsConnected()), s.stays);
        EXPECT_EQ(bool(sink->Pin()->IsConnected()), s.stays);
        current = source;
    }
    // Reconnected, the output offers the new size.
    ASSERT_EQ(ConnectPins(decoder->GetPin(2), sink->Pin()), S_OK);
    CMediaType mt;
    sink->Pin()->ConnectionMediaType(&mt);
    EXPECT_EQ(Bmi(mt).biHeight, 480);
    current->GetPin(0)->Disconnect();
    decoder->GetPin(0)->Disconnect();
    decoder->GetPin(2)->Disconnect();
    sink->Pin()->Disconnect();
}
