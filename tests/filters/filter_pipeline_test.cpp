// The conversion filters and the tee inside small pipelines: a test source
// pushing timed YV12 pictures or PCM, the filter, and a recording sink.
#include <gtest/gtest.h>

#include <cmath>

#include "filters/audio_conv_filter.h"
#include "filters/tee_filter.h"
#include "filters/video_conv_filter.h"
#include "test_filters.h"

using namespace testfilters;

namespace {

std::vector<BYTE> Yv12(LONG w, LONG h, BYTE y, BYTE v, BYTE u) {
    std::vector<BYTE> p(std::size_t(w) * h * 3 / 2);
    const std::size_t luma = std::size_t(w) * h, c = luma / 4;
    std::memset(p.data(), y, luma);
    std::memset(p.data() + luma, v, c);
    std::memset(p.data() + luma + c, u, c);
    return p;
}

std::vector<std::int16_t> Tone(int rate, int channels, int from, int frames) {
    std::vector<std::int16_t> pcm(std::size_t(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            pcm[std::size_t(i) * channels + c] =
                std::int16_t(std::lround(9000 * std::sin(2 * M_PI * 440.0 * (from + i) / rate)));
    return pcm;
}

// ---------------------------------------------------------------- video

TEST(VideoConvFilter, AcceptsOnlyYv12PicturesInVideoInfoFormats) {
    ComPtr<IBaseFilter> keep(new CMyVideoConveFilter());
    auto* f = static_cast<CMyVideoConveFilter*>(keep.Get());
    struct Case {
        const char* what;
        CMediaType mt;
        HRESULT hr;
    };
    CMediaType flat = VideoType(720, 0);
    const Case cases[] = {
        {"YV12 VideoInfo", VideoType(720, 480), S_OK},
        {"YV12 VideoInfo2", VideoType(720, 480, FORMAT_VideoInfo2), S_OK},
        {"YUY2", VideoType(720, 480, FORMAT_VideoInfo, MEDIASUBTYPE_YUY2), VFW_E_TYPE_NOT_ACCEPTED},
        {"MPEG-2 video format", VideoType(720, 480, FORMAT_MPEG2Video), VFW_E_TYPE_NOT_ACCEPTED},
        {"no height", flat, VFW_E_TYPE_NOT_ACCEPTED},
        {"sound", AudioType(2, 48000), VFW_E_TYPE_NOT_ACCEPTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(f->CheckInputType(&c.mt), c.hr);
    }
    // Buffers are only decided once there is an input to size them from.
    ALLOCATOR_PROPERTIES props;
    EXPECT_EQ(f->DecideBufferSize(nullptr, &props), E_UNEXPECTED);
    CMediaType none;
    EXPECT_EQ(f->GetMediaType(0, &none), VFW_S_NO_MORE_ITEMS);
}

TEST(VideoConvFilter, LetterboxesEveryPictureAndKeepsItsTimes) {
    Chain chain;
    auto* src =
        chain.Add(new TestSource(VideoType(720, 480, FORMAT_VideoInfo2), 720 * 480 * 3 / 2));
    auto* conv = chain.Add(new CMyVideoConveFilter());
    auto* sink = chain.Add(new TestSink());
    ComPtr<IMyVideoConvFilter> control;
    ASSERT_EQ(conv->QueryInterface(IID_IMyVideoConvFilter, control.ReleaseAndGetVoidAddress()),
              S_OK);
    control->SetGeometry(ZOOM_KEEP_ASPECT, RECT{0, 0, 720, 480}, RECT{0, 0, 320, 240});
    ASSERT_EQ(chain.Link(src->Pin(), conv->GetPin(0)), S_OK);
    ASSERT_EQ(chain.Link(conv->GetPin(1), sink->Pin()), S_OK);

    const CMediaType& out = sink->Pin()->CurrentMediaType();
    EXPECT_EQ(*out.FormatType(), FORMAT_VideoInfo2);
    const BITMAPINFOHEADER* bih = GetBitmapInfoHeader(&out);
    ASSERT_NE(bih, nullptr);
    EXPECT_EQ(bih->biWidth, 320);
    EXPECT_EQ(bih->biHeight, 240);
    EXPECT_EQ(bih->biSizeImage, 320u * 240 * 12 / 8);
    EXPECT_EQ(conv->Plan().padMargins, (RECT{0, 14, 0, 14}));

    ASSERT_EQ(chain.Pause(), S_OK);
    auto pic = Yv12(720, 480, 100, 90, 170);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(src->PushTimed(pic.data(), long(pic.size()), i * 400000, (i + 1) * 400000), S_OK);
    // Effects change between pictures, while streaming.
    control->SetBrightness(256);
    control->SetSaturation(500);  // clamped to 128
    ASSERT_EQ(src->PushTimed(pic.data(), long(pic.size()), 1200000, 1600000), S_OK);

    auto samples = sink->Samples();
    ASSERT_EQ(samples.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(samples[i].start, i * 400000);
        EXPECT_EQ(samples[i].stop, (i + 1) * 400000);
        ASSERT_EQ(samples[i].data.size(), 320u * 240 * 3 / 2);
    }
    const auto& first = samples[0].data;
    EXPECT_EQ(first[5 * 320 + 7], 16);     // top bar
    EXPECT_EQ(first[120 * 320 + 7], 100);  // picture
    EXPECT_EQ(first[235 * 320 + 7], 16);   // bottom bar
    const auto& last = samples[3].data;
    EXPECT_EQ(last[120 * 320 + 7], 200);
    EXPECT_EQ(last[320 * 240 + 60 * 160 + 5], 128 + 2 * (90 - 128));  // V distance doubled
}

TEST(VideoConvFilter, WithoutGeometryThePictureGoesThroughUnchanged) {
    Chain chain;
    auto* src = chain.Add(new TestSource(VideoType(64, 48), 64 * 48 * 3 / 2));
    auto* conv = chain.Add(new CMyVideoConveFilter());
    auto* sink = chain.Add(new TestSink());
    ASSERT_EQ(chain.Link(src->Pin(), conv->GetPin(0)), S_OK);
    EXPECT_EQ(conv->CropRect(), (RECT{0, 0, 64, 48}));
    EXPECT_EQ(conv->TargetRect(), (RECT{0, 0, 64, 48}));
    EXPECT_EQ(conv->ZoomMode(), ZOOM_STRETCH);
    ASSERT_EQ(chain.Link(conv->GetPin(1), sink->Pin()), S_OK);
    EXPECT_EQ(sink->Pin()->CurrentMediaType(), src->Pin()->CurrentMediaType());
    ASSERT_EQ(chain.Pause(), S_OK);
    std::vector<BYTE> pic(64 * 48 * 3 / 2);
    for (std::size_t i = 0; i < pic.size(); ++i) pic[i] = BYTE(i * 31);
    ASSERT_EQ(src->PushTimed(pic.data(), long(pic.size()), 0, 400000), S_OK);
    auto samples = sink->Samples();
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].data, pic);
}

TEST(VideoConvFilter, ShortPictureIsDroppedNotReadPast) {
    Chain chain;
    auto* src = chain.Add(new TestSource(VideoType(64, 48), 64 * 48 * 3 / 2));
    auto* conv = chain.Add(new CMyVideoConveFilter());
    auto* sink = chain.Add(new TestSink());
    conv->SetGeometry(ZOOM_STRETCH, RECT{0, 0, 64, 48}, RECT{0, 0, 32, 24});
    ASSERT_EQ(chain.Link(src->Pin(), conv->GetPin(0)), S_OK);
    ASSERT_EQ(chain.Link(conv->GetPin(1), sink->Pin()), S_OK);
    ASSERT_EQ(chain.Pause(), S_OK);
    std::vector<BYTE> pic(64 * 48 * 3 / 2, 50);
    EXPECT_TRUE(SUCCEEDED(src->PushTimed(pic.data(), 1000, 0, 400000)));
    EXPECT_EQ(src->PushTimed(pic.data(), long(pic.size()), 400000, 800000), S_OK);
    EXPECT_EQ(sink->Samples().size(), 1u);
}

TEST(VideoConvFilter, ImpossibleGeometryFailsTheOutputConnection) {
    Chain chain;
    auto* src = chain.Add(new TestSource(VideoType(64, 48), 64 * 48 * 3 / 2));
    auto* conv = chain.Add(new CMyVideoConveFilter());
    auto* sink = chain.Add(new TestSink());
    conv->SetGeometry(ZOOM_STRETCH, RECT{40, 0, 20, 48}, RECT{0, 0, 32, 24});  // negative width
    ASSERT_EQ(chain.Link(src->Pin(), conv->GetPin(0)), S_OK);
    EXPECT_TRUE(FAILED(chain.Link(conv->GetPin(1), sink->Pin())));
}

// ---------------------------------------------------------------- audio

TEST(AudioConvFilter, AcceptsOnlySixteenBitPcm) {
    ComPtr<IBaseFilter> keep(new CMyAudioConveFilter());
    auto* f = static_cast<CMyAudioConveFilter*>(keep.Get());
    const CMediaType pcm = AudioType(2, 48000);
    EXPECT_EQ(f->CheckInputType(&pcm), S_OK);
    const CMediaType refused[] = {AudioType(2, 48000, 8),
                                  AudioType(2, 48000, 16, MEDIASUBTYPE_DOLBY_AC3),
                                  VideoType(720, 480)};
    for (const CMediaType& mt : refused) EXPECT_EQ(f->CheckInputType(&mt), VFW_E_TYPE_NOT_ACCEPTED);
    ALLOCATOR_PROPERTIES props;
    EXPECT_EQ(f->DecideBufferSize(nullptr, &props), E_UNEXPECTED);
}

struct AudioRun {
    std::vector<std::int16_t> pcm;
    std::vector<SinkEvent> events;
    CMediaType outType;
    bool resampling = false;
};

AudioRun RunAudio(WORD inCh, DWORD inRate, int outCh, int outRate, LONG volume, int blocks,
                  int blockFrames) {
    AudioRun run;
    Chain chain;
    auto* src = chain.Add(new TestSource(AudioType(inCh, inRate), 200000));
    auto* conv = chain.Add(new CMyAudioConveFilter());
    auto* sink = chain.Add(new TestSink());
    if (outCh > 0) conv->SetOutputFormat(WORD(outCh), DWORD(outRate));
    conv->SetVolume(volume);
    EXPECT_EQ(chain.Link(src->Pin(), conv->GetPin(0)), S_OK);
    EXPECT_EQ(chain.Link(conv->GetPin(1), sink->Pin()), S_OK);
    run.outType = sink->Pin()->CurrentMediaType();
    run.resampling = conv->IsResampling();
    EXPECT_EQ(chain.Pause(), S_OK);
    const REFERENCE_TIME blockTime = REFERENCE_TIME(blockFrames) * UNITS / inRate;
    for (int b = 0; b < blocks; ++b) {
        auto in = Tone(int(inRate), inCh, b * blockFrames, blockFrames);
        EXPECT_EQ(
            src->PushTimed(in.data(), long(in.size() * 2), b * blockTime, (b + 1) * blockTime),
            S_OK);
    }
    src->EndOfStream();
    run.events = sink->Events();
    for (const auto& e : run.events)
        if (e.kind == SinkEvent::Sample) {
            auto* s = reinterpret_cast<const std::int16_t*>(e.data.data());
            run.pcm.insert(run.pcm.end(), s, s + e.data.size() / 2);
        }
    return run;
}

TEST(AudioConvFilter, SameFormatPassesTheBytes) {
    AudioRun run = RunAudio(2, 48000, 0, 0, 256, 10, 1536);
    EXPECT_FALSE(run.resampling);
    const WAVEFORMATEX* wfx = GetWaveFormat(&run.outType);
    ASSERT_NE(wfx, nullptr);
    EXPECT_EQ(wfx->nChannels, 2);
    EXPECT_EQ(wfx->nSamplesPerSec, 48000u);
    std::vector<std::int16_t> all;
    for (int b = 0; b < 10; ++b) {
        auto in = Tone(48000, 2, b * 1536, 1536);
        all.insert(all.end(), in.begin(), in.end());
    }
    EXPECT_EQ(run.pcm, all);
    ASSERT_FALSE(run.events.empty());
    EXPECT_EQ(run.events.back().kind, SinkEvent::EndOfStream);
}

TEST(AudioConvFilter, ResamplesToTheProfileFormatAndDeliversTheTailAtEnd) {
    // One second of 5.1 at 48 kHz, to stereo at 44.1 kHz.
    AudioRun run = RunAudio(6, 48000, 2, 44100, 256, 25, 1920);
    EXPECT_TRUE(run.resampling);
    const WAVEFORMATEX* wfx = GetWaveFormat(&run.outType);
    ASSERT_NE(wfx, nullptr);
    EXPECT_EQ(wfx->nChannels, 2);
    EXPECT_EQ(wfx->nSamplesPerSec, 44100u);
    EXPECT_EQ(wfx->nBlockAlign, 4);
    EXPECT_EQ(wfx->nAvgBytesPerSec, 176400u);
    EXPECT_EQ(wfx->wBitsPerSample, 16);
    // The whole second arrives, its end included, and before the end of stream.
    EXPECT_NEAR(double(run.pcm.size()) / 2, 44100, 4);
    ASSERT_FALSE(run.events.empty());
    EXPECT_EQ(run.events.back().kind, SinkEvent::EndOfStream);
    // Times still run forward through the tail.
    REFERENCE_TIME last = -1;
    for (const auto& e : run.events)
        if (e.kind == SinkEvent::Sample) {
            EXPECT_GE(e.start, last);
            last = e.start;
        }
}

TEST(AudioConvFilter, VolumeZeroIsSilence) {
    AudioRun run = RunAudio(2, 48000, 2, 44100, 0, 5, 1920);
    ASSERT_FALSE(run.pcm.empty());
    for (std::int16_t s : run.pcm) ASSERT_EQ(s, 0);
}

// ---------------------------------------------------------------- tee

TEST(TeeFilter, RefusesAnythingButYv12InVideoInfo) {
    ComPtr<IBaseFilter> keep(new CMyTeeFilter());
    auto* tee = static_cast<CMyTeeFilter*>(keep.Get());
    EXPECT_EQ(tee->GetPinCount(), 3);
    EXPECT_EQ(tee->GetPin(3), nullptr);
    CBasePin* in = tee->GetPin(0);
    CMediaType ok = VideoType(720, 480);
    EXPECT_EQ(in->CheckMediaType(&ok), S_OK);
    CMediaType vi2 = VideoType(720, 480, FORMAT_VideoInfo2);
    EXPECT_NE(in->CheckMediaType(&vi2), S_OK);
    CMediaType yuy2 = VideoType(720, 480, FORMAT_VideoInfo, MEDIASUBTYPE_YUY2);
    EXPECT_NE(in->CheckMediaType(&yuy2), S_OK);
}

TEST(TeeFilter, BothBranchesGetTheSameSamplesThenTheEndOfStream) {
    Chain chain;
    auto* src = chain.Add(new TestSource(VideoType(32, 16), 32 * 16 * 3 / 2, 6));
    auto* tee = chain.Add(new CMyTeeFilter());
    auto* a = chain.Add(new TestSink());
    auto* b = chain.Add(new TestSink());
    ASSERT_EQ(chain.Link(src->Pin(), tee->GetPin(0)), S_OK);
    ASSERT_EQ(chain.Link(tee->GetPin(1), a->Pin()), S_OK);
    // An output accepts only the input's type, exactly.
    CMediaType other = VideoType(32, 16);
    GetBitmapInfoHeader(&other)->biXPelsPerMeter = 1;
    EXPECT_EQ(tee->GetPin(2)->CheckMediaType(&other), VFW_E_TYPE_NOT_ACCEPTED);
    ASSERT_EQ(chain.Link(tee->GetPin(2), b->Pin()), S_OK);
    EXPECT_EQ(b->Pin()->CurrentMediaType(), src->Pin()->CurrentMediaType());

    b->m_delay = std::chrono::milliseconds(5);  // a slow branch
    ASSERT_EQ(chain.Pause(), S_OK);
    for (int i = 0; i < 5; ++i) {
        auto pic = Yv12(32, 16, BYTE(10 * i), 128, 128);
        ASSERT_EQ(src->PushTimed(pic.data(), long(pic.size()), i * 10, i * 10 + 10), S_OK);
    }
    src->EndOfStream();
    ASSERT_TRUE(a->WaitFor(SinkEvent::EndOfStream, 1));
    ASSERT_TRUE(b->WaitFor(SinkEvent::EndOfStream, 1));
    for (TestSink* s : {a, b}) {
        auto events = s->Events();
        ASSERT_EQ(events.size(), 6u);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(events[i].kind, SinkEvent::Sample);
            EXPECT_EQ(events[i].start, i * 10);
            EXPECT_EQ(events[i].data[0], 10 * i);
            // Delivered from the branch's own thread, not the upstream one.
            EXPECT_NE(events[i].thread, std::this_thread::get_id());
        }
        EXPECT_EQ(events[5].kind, SinkEvent::EndOfStream);
    }
    // No copies: both branches saw the very same buffers.
    auto sa = a->Samples(), sb = b->Samples();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(sa[i].pointer, sb[i].pointer);
}

TEST(TeeFilter, AnUnconnectedBranchStaysIdle) {
    Chain chain;
    auto* src = chain.Add(new TestSource(VideoType(32, 16), 32 * 16 * 3 / 2));
    auto* tee = chain.Add(new CMyTeeFilter());
    auto* a = chain.Add(new TestSink());
    ASSERT_EQ(chain.Link(src->Pin(), tee->GetPin(0)), S_OK);
    ASSERT_EQ(chain.Link(tee->GetPin(1), a->Pin()), S_OK);
    ASSERT_EQ(chain.Pause(), S_OK);
    auto pic = Yv12(32, 16, 1, 2, 3);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(src->PushTimed(pic.data(), long(pic.size()), i, i + 1), S_OK);
    src->EndOfStream();
    ASSERT_TRUE(a->WaitFor(SinkEvent::EndOfStream, 1));
    EXPECT_EQ(a->Count(SinkEvent::Sample), 3u);
}

TEST(TeeFilter, FlushesAndNewSegmentsReachBothBranchesInOrder) {
    Chain chain;
    auto* src = chain.Add(new TestSource(VideoType(32, 16), 32 * 16 * 3 / 2, 6));
    auto* tee = chain.Add(new CMyTeeFilter());
    auto* a = chain.Add(new TestSink());
    auto* b = chain.Add(new TestSink());
    ASSERT_EQ(chain.Link(src->Pin(), tee->GetPin(0)), S_OK);
    ASSERT_EQ(chain.Link(tee->GetPin(1), a->Pin()), S_OK);
    ASSERT_EQ(chain.Link(tee->GetPin(2), b->Pin()), S_OK);
    ASSERT_EQ(chain.Pause(), S_OK);
    IPin* in = tee->GetPin(0);
    auto pic = Yv12(32, 16, 7, 128, 128);
    in->NewSegment(0, 1000, 1.0);
    ASSERT_EQ(src->PushTimed(pic.data(), long(pic.size()), 0, 10), S_OK);
    ASSERT_TRUE(a->WaitFor(SinkEvent::Sample, 1));
    ASSERT_TRUE(b->WaitFor(SinkEvent::Sample, 1));
    in->BeginFlush();
    in->EndFlush();
    ASSERT_EQ(src->PushTimed(pic.data(), long(pic.size()), 500, 510), S_OK);
    src->EndOfStream();
    for (TestSink* s : {a, b}) {
        ASSERT_TRUE(s->WaitFor(SinkEvent::EndOfStream, 1));
        std::vector<SinkEvent::Kind> kinds;
        for (const auto& e : s->Events()) kinds.push_back(e.kind);
        const std::vector<SinkEvent::Kind> want = {SinkEvent::NewSegment, SinkEvent::Sample,
                                                   SinkEvent::BeginFlush, SinkEvent::EndFlush,
                                                   SinkEvent::Sample,     SinkEvent::EndOfStream};
        EXPECT_EQ(kinds, want);
    }
}

TEST(TeeFilter, SeekingIsNotAnsweredByTheOutputs) {
    ComPtr<IBaseFilter> keep(new CMyTeeFilter());
    auto* tee = static_cast<CMyTeeFilter*>(keep.Get());
    void* p = nullptr;
    EXPECT_EQ(tee->GetPin(1)->QueryInterface(IID_IMediaSeeking, &p), E_NOINTERFACE);
    EXPECT_EQ(tee->GetPin(2)->QueryInterface(IID_IMediaPosition, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
}

}  // namespace
