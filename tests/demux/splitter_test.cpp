// The splitter driven through real pins, allocators and delivery threads on the
// authored discs: what it finds, what it delivers (against ffmpeg's own
// demultiplexer), play ranges, seeks while running and stream switching.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <thread>

#include "../fixtures/fixtures.h"
#include "demux/mpeg_splitter.h"
#include "ps_builder.h"
#ifdef DEMUX_TEST_WITH_DVD
#include "dvd/catalogue.h"
#include "dvd/dvd_reader.h"
#endif
#include "test_filters.h"

namespace {

using fixtures::Disc;
using testfilters::CByteSourceFilter;
using testfilters::CRecordingSink;

DvdTitleInfo RecordOf(const fixtures::Title& t) {
    DvdTitleInfo r{};
    r.Duration = t.Seconds() * 1000;
    r.AudioCount = int(t.audio.size());
    for (size_t i = 0; i < t.audio.size(); ++i) r.AudioId[i] = t.audio[i].trackId;
    r.SubpictureCount = int(t.subpictures.size());
    for (size_t i = 0; i < t.subpictures.size(); ++i) r.SubpictureId[i] = t.subpictures[i].trackId;
    return r;
}

// Source -> splitter -> one recording sink per output pin.
struct Chain {
    ComPtr<CByteSourceFilter> source;
    ComPtr<CMpegSplitterFilter> splitter;
    std::vector<ComPtr<CRecordingSink>> sinks;  // by output pin index
    HRESULT connectResult = E_FAIL;

    Chain(ComPtr<CByteSourceFilter> src, const DvdTitleInfo* info) : source(std::move(src)) {
        CMpegSplitterFilter* raw = nullptr;
        EXPECT_EQ(CMpegSplitterFilter::Create(&raw), S_OK);
        splitter.Attach(raw);
        if (info) splitter->SetTitleInfo(const_cast<DvdTitleInfo*>(info));
        connectResult = source->Pin()->Connect(Input(), nullptr);
    }
    explicit Chain(const std::string& vob, const DvdTitleInfo* info = nullptr)
        : Chain(ComPtr<CByteSourceFilter>(new CByteSourceFilter(vob)), info) {}
    explicit Chain(std::vector<BYTE> bytes, const DvdTitleInfo* info = nullptr)
        : Chain(ComPtr<CByteSourceFilter>(new CByteSourceFilter(std::move(bytes))), info) {}

    ~Chain() {
        Stop();
        for (size_t i = 0; i < splitter->Outputs().size(); ++i) {
            CBasePin* out = splitter->Outputs()[i];
            if (IPin* peer = out->GetConnected()) {
                peer->Disconnect();
                out->Disconnect();
            }
        }
        if (Input()->IsConnected()) {
            source->Pin()->Disconnect();
            Input()->Disconnect();
        }
    }

    CBasePin* Input() { return splitter->GetPin(splitter->GetPinCount() - 1); }
    CBaseSplitterOutputPin* Out(size_t i) { return splitter->Outputs()[i]; }

    HRESULT ConnectAll(std::function<bool(const CMediaType&)> accept = {}) {
        for (size_t i = 0; i < splitter->Outputs().size(); ++i) {
            ComPtr<CRecordingSink> sink(new CRecordingSink());
            sink->accept = accept;
            HRESULT hr = Out(i)->Connect(sink->Pin(), nullptr);
            if (FAILED(hr)) return hr;
            sinks.push_back(sink);
        }
        return S_OK;
    }
    void Run() {
        for (auto& s : sinks) s->Pause();
        splitter->Pause();
        for (auto& s : sinks) s->Run(0);
        splitter->Run(0);
    }
    void Stop() {
        if (splitter->State() != State_Stopped) splitter->Stop();
        for (auto& s : sinks)
            if (s->State() != State_Stopped) s->Stop();
    }
    bool WaitAllEos(int ms = 20000) {
        for (auto& s : sinks)
            if (!s->WaitForEos(ms)) return false;
        return true;
    }
    std::vector<DWORD> Keys(int list) {
        std::vector<DWORD> keys;
        for (const SplitterStream& s : splitter->File()->m_streams[size_t(list)]) keys.push_back(s.GetKey());
        return keys;
    }
};

// ffmpeg's own demultiplexer as the judge: the payload of one stream.
std::vector<BYTE> FfmpegStream(const std::string& vob, DWORD key) {
    int id = (key >> 8) == 0xBD ? int(key & 0xFF) : int(0x100 | (key >> 8));
    char spec[32];
    std::snprintf(spec, sizeof spec, "0:i:0x%x", id);
    auto r = fixtures::RunCommand("ffmpeg -v error -i " + fixtures::Quote(vob) + " -map " + spec +
                                  " -c copy -f data - 2>/dev/null");
    EXPECT_EQ(r.exitCode, 0);
    std::vector<BYTE> bytes(r.output.begin(), r.output.end());
    if ((key & 0xFFF8) != 0xBDA0) return bytes;
    // ffmpeg keeps the 3-byte LPCM header at the front of each packet; the
    // splitter's LPCM payload starts after it.
    auto sizes = fixtures::RunCommand("ffprobe -v error -select_streams i:" + std::to_string(id) +
                                      " -show_entries packet=size -of csv=p=0 " + fixtures::Quote(vob));
    std::vector<BYTE> stripped;
    size_t at = 0, pos = 0;
    while (pos < sizes.output.size()) {
        size_t end = sizes.output.find('\n', pos);
        size_t n = std::stoul(sizes.output.substr(pos, end - pos));
        EXPECT_LE(at + n, bytes.size());
        if (n > 3 && at + n <= bytes.size()) stripped.insert(stripped.end(), bytes.begin() + long(at + 3), bytes.begin() + long(at + n));
        at += n;
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    EXPECT_EQ(at, bytes.size());
    return stripped;
}

// ffprobe's first presentation time (90 kHz ticks) of one stream, and of the file.
std::int64_t FfprobeFirstPts(const std::string& vob, int id /* -1: any */) {
    std::string select = id < 0 ? "" : " -select_streams i:" + std::to_string(id);
    auto r = fixtures::RunCommand("ffprobe -v error" + select + " -show_entries packet=pts -of csv=p=0 " +
                                  fixtures::Quote(vob));
    size_t pos = 0;
    while (pos < r.output.size()) {
        size_t end = r.output.find('\n', pos);
        std::string line = r.output.substr(pos, end - pos);
        if (!line.empty() && line != "N/A") return std::stoll(line);
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return -1;
}

int FfmpegId(DWORD key) { return (key >> 8) == 0xBD ? int(key & 0xFF) : int(0x100 | (key >> 8)); }

// ---------------------------------------------------------------- discovery

TEST(SplitterStreams, EachFixtureTitle) {
    for (const fixtures::Title& t : fixtures::Titles()) {
        SCOPED_TRACE(std::string(fixtures::Format(t.disc).name) + " title " + std::to_string(t.number));
        DvdTitleInfo rec = RecordOf(t);
        Chain c(fixtures::TitleVob(t.disc, t.number).string(), &rec);
        ASSERT_EQ(c.connectResult, S_OK);

        EXPECT_EQ(c.Keys(CMpegSplitterFile::video), std::vector<DWORD>{0xE000});
        std::vector<DWORD> audio;
        for (const auto& a : t.audio) audio.push_back(DWORD(a.trackId));  // fixtures list the best first
        EXPECT_EQ(c.Keys(CMpegSplitterFile::audio), audio);
        std::vector<DWORD> subs;
        for (const auto& s : t.subpictures) subs.push_back(DWORD(s.trackId));
        if (subs.empty()) subs.push_back(1);  // the no-subtitles placeholder
        EXPECT_EQ(c.Keys(CMpegSplitterFile::subpic), subs);

        // One pin per list, named by its list; outputs first, the input last.
        ASSERT_EQ(c.splitter->Outputs().size(), 3u);
        EXPECT_EQ(c.Out(0)->Name(), "Video");
        EXPECT_EQ(c.Out(1)->Name(), "Audio");
        EXPECT_EQ(c.Out(2)->Name(), "Subtitle");
        EXPECT_EQ(c.Input()->Name(), "Input");

        DWORD count = 0;
        ASSERT_EQ(c.splitter->Count(&count), S_OK);
        EXPECT_EQ(count, 1 + audio.size() + subs.size());
        for (long i = 0; i < long(count); ++i) {
            std::string name;
            DWORD flags = 0, group = 9;
            LCID lcid = 7;
            AM_MEDIA_TYPE* pmt = nullptr;
            ASSERT_EQ(c.splitter->Info(i, &pmt, &flags, &lcid, &group, &name, nullptr, nullptr), S_OK);
            ASSERT_NE(pmt, nullptr);
            DeleteMediaType(pmt);
            bool head = i == 0 || i == 1 || i == long(1 + audio.size());
            EXPECT_EQ(flags, head ? AMSTREAMSELECTINFO_ENABLED | AMSTREAMSELECTINFO_EXCLUSIVE : 0u) << name;
            EXPECT_EQ(group, i == 0 ? 0u : i <= long(audio.size()) ? 1u : 2u);
            if (group == 2 && t.subpictures.empty()) {
                EXPECT_EQ(name, "No subtitles");
                EXPECT_EQ(lcid, LCID(-1));
                continue;
            }
            EXPECT_EQ(lcid, 0u);
            DWORD key = group == 0 ? 0xE000 : group == 1 ? audio[size_t(i - 1)] : subs[size_t(i - 1 - long(audio.size()))];
            char tail[32];
            std::snprintf(tail, sizeof tail, " (0000,%02x,%02x)", unsigned(key >> 8), unsigned(key & 0xFF));
            ASSERT_GT(name.size(), std::strlen(tail));
            EXPECT_EQ(name.substr(name.size() - std::strlen(tail)), tail);
        }
        EXPECT_EQ(c.splitter->Info(long(count), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
                  E_UNEXPECTED);
    }
}

TEST(SplitterStreams, WithoutTitleRecordSubtitlesAreOnlyWhatTheScanMet) {
    // The subpictures of PAL title 1 start a second in, beyond the first scanned chunk.
    Chain c(fixtures::TitleVob(Disc::Pal, 1).string());
    ASSERT_EQ(c.connectResult, S_OK);
    EXPECT_EQ(c.Keys(CMpegSplitterFile::subpic), std::vector<DWORD>{1});
}

TEST(SplitterStreams, FilterInterfaces) {
    Chain c(fixtures::TitleVob(Disc::Pal, 2).string());
    ASSERT_EQ(c.connectResult, S_OK);
    ComPtr<IUnknown> unk;
    EXPECT_EQ(c.splitter->QueryInterface(IID_IFileSourceFilter, unk.ReleaseAndGetVoidAddress()), E_NOINTERFACE);
    EXPECT_EQ(c.splitter->QueryInterface(IID_IMyMpegSplitter, unk.ReleaseAndGetVoidAddress()), S_OK);
    EXPECT_EQ(c.splitter->QueryInterface(IID_IAMStreamSelect, unk.ReleaseAndGetVoidAddress()), S_OK);
    EXPECT_EQ(c.splitter->QueryInterface(IID_IBufferInfo, unk.ReleaseAndGetVoidAddress()), S_OK);
    CLSID clsid{};
    c.splitter->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_MpegSplitter);

    // Before the first pause the duration is 0; the byte-rate estimate takes over on pause.
    LONGLONG d = -1;
    c.splitter->GetDuration(&d);
    EXPECT_EQ(d, 0);

    DWORD caps = 0;
    c.splitter->GetCapabilities(&caps);
    EXPECT_EQ(caps, 0x37u);
    DWORD ask = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanPlayBackwards;
    EXPECT_EQ(c.splitter->CheckCapabilities(&ask), S_FALSE);
    ask = AM_SEEKING_CanPlayBackwards;
    EXPECT_EQ(c.splitter->CheckCapabilities(&ask), E_FAIL);
    EXPECT_EQ(c.splitter->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME), S_OK);
    EXPECT_EQ(c.splitter->IsFormatSupported(&TIME_FORMAT_FRAME), S_FALSE);
    EXPECT_EQ(c.splitter->SetTimeFormat(&TIME_FORMAT_FRAME), E_INVALIDARG);
    EXPECT_EQ(c.splitter->SetRate(0), E_INVALIDARG);
    double rate = 0;
    c.splitter->GetRate(&rate);
    EXPECT_EQ(rate, 1.0);

    int samples = 0, size = 0;
    EXPECT_EQ(c.splitter->GetCount(), 3);
    EXPECT_EQ(c.splitter->GetStatus(0, samples, size), S_FALSE);  // not connected
    EXPECT_EQ(c.splitter->GetStatus(3, samples, size), E_INVALIDARG);
    EXPECT_EQ(c.splitter->Enable(1, 0), E_NOTIMPL);
    EXPECT_EQ(c.splitter->Enable(99, AMSTREAMSELECTENABLE_ENABLE), S_FALSE);
}

// ---------------------------------------------------------------- delivery

struct Delivery {
    Disc disc;
    int title;
};

class SplitterDelivery : public testing::TestWithParam<Delivery> {};

// Every output pin connected: the payload of each stream equals ffmpeg's,
// and the first timestamps equal ffprobe's less the first timestamp of all.
TEST_P(SplitterDelivery, PayloadAndTimesMatchFfmpeg) {
    const fixtures::Title& t = fixtures::TitleOf(GetParam().disc, GetParam().title);
    std::string vob = fixtures::TitleVob(t.disc, t.number).string();
    DvdTitleInfo rec = RecordOf(t);
    Chain c(vob, &rec);
    ASSERT_EQ(c.connectResult, S_OK);
    ASSERT_EQ(c.ConnectAll(), S_OK);
    c.Run();
    ASSERT_TRUE(c.WaitAllEos());

    std::int64_t firstPts = FfprobeFirstPts(vob, -1);
    ASSERT_GE(firstPts, 0);
    EXPECT_EQ(c.splitter->File()->m_rtMin, firstPts * 10000 / 90);

    for (size_t i = 0; i < c.sinks.size(); ++i) {
        DWORD key = c.splitter->File()->m_streams[i].front().GetKey();
        if (key == 1) continue;  // the placeholder carries nothing
        SCOPED_TRACE(key);
        CRecordingSink& sink = *c.sinks[i];
        std::lock_guard<std::mutex> l(sink.m);
        std::vector<BYTE> expected = FfmpegStream(vob, key);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(sink.bytes.size(), expected.size());
        EXPECT_TRUE(sink.bytes == expected);
        EXPECT_EQ(sink.eos, 1);

        ASSERT_FALSE(sink.samples.empty());
        EXPECT_TRUE(sink.samples.front().discontinuity);
        const testfilters::SampleRecord* first = nullptr;
        for (const auto& s : sink.samples)
            if (s.timed) {
                first = &s;
                break;
            }
        ASSERT_NE(first, nullptr);
        std::int64_t pts = FfprobeFirstPts(vob, FfmpegId(key));
        REFERENCE_TIME want = pts * 10000 / 90 - firstPts * 10000 / 90;
        EXPECT_NEAR(double(first->start), double(want), 1.0);
        EXPECT_EQ(first->stop, first->start + 1);
        EXPECT_TRUE(first->syncPoint);
        // Audio and subpicture times never go backwards (video is in decoding order).
        REFERENCE_TIME prev = LLONG_MIN;
        for (const auto& s : sink.samples) {
            if (!s.timed) continue;
            if (i != 0) {
                EXPECT_GE(s.start, prev);
            }
            prev = s.start;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SplitterDelivery,
                         testing::Values(Delivery{Disc::Ntsc, 3}, Delivery{Disc::Pal, 1}, Delivery{Disc::Pal, 2},
                                         Delivery{Disc::Pal, 3}));

TEST(SplitterDelivery, SubtitleStreamsFromTheRecordDeliverTheirUnits) {
    const fixtures::Title& t = fixtures::TitleOf(Disc::Pal, 1);
    std::string vob = fixtures::TitleVob(t.disc, t.number).string();
    DvdTitleInfo rec = RecordOf(t);
    for (long index : {3L, 4L}) {
        Chain c(vob, &rec);
        ASSERT_EQ(c.connectResult, S_OK);
        ASSERT_EQ(c.splitter->Enable(index, AMSTREAMSELECTENABLE_ENABLE), S_OK);
        ASSERT_EQ(c.ConnectAll(), S_OK);
        c.Run();
        ASSERT_TRUE(c.WaitAllEos());
        DWORD key = DWORD(t.subpictures[size_t(index - 3)].trackId);
        std::lock_guard<std::mutex> l(c.sinks[2]->m);
        EXPECT_TRUE(c.sinks[2]->bytes == FfmpegStream(vob, key)) << key;
        ASSERT_FALSE(c.sinks[2]->samples.empty());
        EXPECT_TRUE(c.sinks[2]->samples.front().hasType);
        double shown = double(c.sinks[2]->samples.front().start) / 1e7;
        EXPECT_NEAR(shown, t.subpictures[size_t(index - 3)].shownFrom + 0.5, 0.6);
    }
}

TEST(SplitterDelivery, SwitchingAudioWithEnable) {
    const fixtures::Title& t = fixtures::TitleOf(Disc::Pal, 1);
    std::string vob = fixtures::TitleVob(t.disc, t.number).string();
    DvdTitleInfo rec = RecordOf(t);
    Chain c(vob, &rec);
    ASSERT_EQ(c.connectResult, S_OK);
    // A decoder that only takes AC-3 refuses the switch; the pin stays.
    ASSERT_EQ(c.ConnectAll([](const CMediaType& mt) { return mt.subtype != MEDIASUBTYPE_MPEG1AudioPayload; }), S_OK);
    EXPECT_EQ(c.splitter->Enable(2, AMSTREAMSELECTENABLE_ENABLE), VFW_E_TYPE_NOT_ACCEPTED);
    DWORD flags = 0;
    c.splitter->Info(1, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(flags & AMSTREAMSELECTINFO_ENABLED, 0u);

    c.sinks[1]->accept = {};
    ASSERT_EQ(c.splitter->Enable(2, AMSTREAMSELECTENABLE_ENABLE), S_OK);
    c.splitter->Info(1, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(flags, 0u);
    c.splitter->Info(2, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(flags, AMSTREAMSELECTINFO_ENABLED | AMSTREAMSELECTINFO_EXCLUSIVE);

    c.Run();
    ASSERT_TRUE(c.WaitAllEos());
    std::lock_guard<std::mutex> l(c.sinks[1]->m);
    EXPECT_TRUE(c.sinks[1]->bytes == FfmpegStream(vob, 0xC000));
    ASSERT_FALSE(c.sinks[1]->samples.empty());
    const auto& first = c.sinks[1]->samples.front();
    ASSERT_TRUE(first.hasType);
    EXPECT_EQ(first.type.subtype, MEDIASUBTYPE_MPEG1AudioPayload);
    EXPECT_TRUE(first.discontinuity);
    for (size_t i = 1; i < c.sinks[1]->samples.size(); ++i) EXPECT_FALSE(c.sinks[1]->samples[i].hasType);
    // The pin now offers the new type.
    CMediaType offered;
    EXPECT_EQ(c.Out(1)->GetMediaType(0, &offered), S_OK);
    EXPECT_EQ(offered.subtype, MEDIASUBTYPE_MPEG1AudioPayload);
}

TEST(SplitterDelivery, SwitchingBeforeConnectingOffersTheNewType) {
    const fixtures::Title& t = fixtures::TitleOf(Disc::Pal, 1);
    DvdTitleInfo rec = RecordOf(t);
    Chain c(fixtures::TitleVob(t.disc, t.number).string(), &rec);
    ASSERT_EQ(c.connectResult, S_OK);
    ASSERT_EQ(c.splitter->Enable(2, AMSTREAMSELECTENABLE_ENABLE), S_OK);
    CMediaType offered;
    ASSERT_EQ(c.Out(1)->GetMediaType(0, &offered), S_OK);
    EXPECT_EQ(offered.subtype, MEDIASUBTYPE_MPEG1AudioPayload);
    ASSERT_EQ(c.ConnectAll(), S_OK);
    EXPECT_EQ(c.Out(1)->CurrentMediaType().subtype, MEDIASUBTYPE_MPEG1AudioPayload);
}

// ---------------------------------------------------------------- play range

TEST(SplitterPlayRange, ConversionStartsNearTheStartAndEndsAtTheEnd) {
    const fixtures::Title& t = fixtures::TitleOf(Disc::Ntsc, 3);  // 8 s, its own VOB
    std::string vob = fixtures::TitleVob(t.disc, t.number).string();
    Chain c(vob);  // the conversion graph hands over no title record
    ASSERT_EQ(c.connectResult, S_OK);
    ASSERT_EQ(c.splitter->SetPlayRange(4000, 2500, 8008), S_OK);
    ASSERT_EQ(c.ConnectAll(), S_OK);
    c.Run();
    ASSERT_TRUE(c.WaitAllEos());
    LONGLONG d = 0;
    c.splitter->GetDuration(&d);
    EXPECT_EQ(d, 25000000);

    for (size_t i = 0; i < 2; ++i) {
        CRecordingSink& sink = *c.sinks[i];
        std::lock_guard<std::mutex> l(sink.m);
        ASSERT_FALSE(sink.samples.empty());
        REFERENCE_TIME first = LLONG_MAX, last = LLONG_MIN;
        for (const auto& s : sink.samples)
            if (s.timed) first = std::min(first, s.start), last = std::max(last, s.start);
        // From the second of preroll before the start, less what the
        // interleaving of the streams puts earlier in the file ...
        EXPECT_GE(first, 10000000) << i;
        EXPECT_LE(first, 30000000) << i;
        // ... to the end of the range on every stream, counted from the title start.
        EXPECT_GE(last, 65000000) << i;
        EXPECT_LE(last, 75000000) << i;
        EXPECT_EQ(sink.eos, 1);
        ASSERT_FALSE(sink.segmentStarts.empty());
        EXPECT_EQ(sink.segmentStarts.front(), 0);
    }
    // The subtitle placeholder pin ends its stream too.
    EXPECT_EQ(c.sinks[2]->eos, 1);
    EXPECT_TRUE(c.sinks[2]->samples.empty());
}

TEST(SplitterPlayRange, WithoutRangeTheEstimatedDurationIsTheLength) {
    std::string vob = fixtures::TitleVob(Disc::Pal, 2).string();
    Chain c(vob);
    ASSERT_EQ(c.connectResult, S_OK);
    ASSERT_EQ(c.ConnectAll(), S_OK);
    c.Run();
    ASSERT_TRUE(c.WaitAllEos());
    LONGLONG d = 0, stop = 0;
    c.splitter->GetDuration(&d);
    c.splitter->GetStopPosition(&stop);
    const CMpegSplitterFile* f = c.splitter->File();
    ASSERT_GT(f->m_rate, 0u);
    EXPECT_EQ(d, 10000000LL * c.source->Size() / f->m_rate);
    EXPECT_EQ(stop, d);
}

// ---------------------------------------------------------------- seeking

class CountingSplitter : public CMpegSplitterFilter {
public:
    CountingSplitter() : CMpegSplitterFilter(nullptr, &hr) {}
    HRESULT hr = S_OK;
    std::atomic<int> seeks{0};
    std::vector<REFERENCE_TIME> seekTimes;

protected:
    void DemuxSeek(REFERENCE_TIME rt) override {
        ++seeks;
        seekTimes.push_back(rt);
        CMpegSplitterFilter::DemuxSeek(rt);
    }
};

TEST(SplitterSeeking, SeekWhileRunningFlushesAndRestartsOnce) {
    const fixtures::Title& t = fixtures::TitleOf(Disc::Ntsc, 3);
    std::string vob = fixtures::TitleVob(t.disc, t.number).string();
    ComPtr<CByteSourceFilter> source(new CByteSourceFilter(vob));
    ComPtr<CountingSplitter> splitter(new CountingSplitter());
    ASSERT_EQ(source->Pin()->Connect(splitter->GetPin(splitter->GetPinCount() - 1), nullptr), S_OK);
    std::vector<ComPtr<CRecordingSink>> sinks;
    for (size_t i = 0; i < 2; ++i) {
        sinks.emplace_back(new CRecordingSink());
        sinks[i]->SetGate(false);  // hold deliveries so the queues fill
        ASSERT_EQ(splitter->Outputs()[i]->Connect(sinks[i]->Pin(), nullptr), S_OK);
    }
    for (auto& s : sinks) s->Pause();
    splitter->Pause();
    for (auto& s : sinks) s->Run(0);
    splitter->Run(0);

    // Wait until the worker has queued plenty (the sinks hold one sample each).
    for (int i = 0; i < 200 && splitter->Outputs()[0]->QueueCount() < 20; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(splitter->Outputs()[0]->QueueCount(), 20);
    EXPECT_EQ(splitter->seeks.load(), 1);

    // Both pins forward the same seek: it is performed once.
    LONGLONG target = 50000000;
    ComPtr<IMediaSeeking> video, audio;
    splitter->Outputs()[0]->QueryInterface(IID_IMediaSeeking, video.ReleaseAndGetVoidAddress());
    splitter->Outputs()[1]->QueryInterface(IID_IMediaSeeking, audio.ReleaseAndGetVoidAddress());
    ASSERT_TRUE(video && audio);
    LONGLONG pos = target;
    EXPECT_EQ(video->SetPositions(&pos, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
    pos = target;
    EXPECT_EQ(audio->SetPositions(&pos, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
    EXPECT_EQ(splitter->seeks.load(), 2);
    // No positioning at all changes nothing.
    EXPECT_EQ(video->SetPositions(&pos, AM_SEEKING_NoPositioning, &pos, AM_SEEKING_NoPositioning), S_OK);
    EXPECT_EQ(splitter->seeks.load(), 2);

    for (auto& s : sinks) s->SetGate(true);
    for (auto& s : sinks) ASSERT_TRUE(s->WaitForEos(20000));

    for (size_t i = 0; i < 2; ++i) {
        CRecordingSink& sink = *sinks[i];
        std::lock_guard<std::mutex> l(sink.m);
        EXPECT_EQ(sink.beginFlushes, 1);
        EXPECT_EQ(sink.endFlushes, 1);
        ASSERT_EQ(sink.segmentStarts.size(), 2u);
        EXPECT_EQ(sink.segmentStarts[1], target);
        // After the flush: only packets of the new pass. They count from the
        // new segment start, beginning within the second of preroll before it.
        const testfilters::SampleRecord* firstAfter = nullptr;
        for (const auto& s : sink.samples)
            if (s.flushes == 1 && s.timed) {
                firstAfter = &s;
                break;
            }
        ASSERT_NE(firstAfter, nullptr);
        EXPECT_GE(firstAfter->start, -35000000) << i;
        EXPECT_LE(firstAfter->start, 0) << i;
        bool sawDiscontinuity = false;
        for (const auto& s : sink.samples)
            if (s.flushes == 1) {
                sawDiscontinuity = s.discontinuity;
                break;
            }
        EXPECT_TRUE(sawDiscontinuity);
        EXPECT_EQ(sink.eos, 1);
        EXPECT_EQ(sink.eosAfterFlush, 1);
    }
    // The same pair once more from the first pin is a new request.
    pos = target;
    LONGLONG stop = 0;
    splitter->GetPositions(nullptr, &stop);
    EXPECT_EQ(video->SetPositions(&pos, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
    EXPECT_EQ(splitter->seeks.load(), 3);

    splitter->Stop();
    for (auto& s : sinks) s->Stop();
    for (size_t i = 0; i < 2; ++i) {
        sinks[i]->Pin()->Disconnect();
        splitter->Outputs()[i]->Disconnect();
    }
    source->Pin()->Disconnect();
    splitter->GetPin(splitter->GetPinCount() - 1)->Disconnect();
}

TEST(SplitterSeeking, PositionArithmetic) {
    Chain c(fixtures::TitleVob(Disc::Pal, 2).string());
    ASSERT_EQ(c.connectResult, S_OK);
    LONGLONG start = 50000000, stop = 100000000;
    // Incremental stop: added to the new start.
    EXPECT_EQ(c.splitter->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop,
                                       AM_SEEKING_IncrementalPositioning), S_OK);
    LONGLONG cur = 0;
    c.splitter->GetCurrentPosition(&cur);
    EXPECT_EQ(cur, 50000000);
    LONGLONG rel = 10000000;
    EXPECT_EQ(c.splitter->SetPositions(&rel, AM_SEEKING_RelativePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
    c.splitter->GetCurrentPosition(&cur);
    EXPECT_EQ(cur, 60000000);
    EXPECT_EQ(c.splitter->SetPositions(nullptr, 0, nullptr, 0), S_OK);
}

#ifdef DEMUX_TEST_WITH_DVD
// The real DVD source for the second title of a shared VOB: the splitter sees
// that title's area only, its times count from the title's own first picture.
TEST(SplitterOnDvdSource, SecondTitleOfASharedVob) {
    ASSERT_TRUE(LoadDvd(fixtures::NtscFolder().string()));
    const DvdInfo& info = OpenDvdInfo();
    HRESULT hr = S_OK;
    ComPtr<CDVDReader> source(static_cast<CDVDReader*>(CDVDReader::CreateInstance(nullptr, &hr)));
    ASSERT_TRUE(source);
    ASSERT_EQ(source->SetDvdReader(OpenDvdHandle()), S_OK);
    ASSERT_EQ(source->SetTitleArea(1, -1), S_OK);
    CMpegSplitterFilter* raw = nullptr;
    ASSERT_EQ(CMpegSplitterFilter::Create(&raw), S_OK);
    ComPtr<CMpegSplitterFilter> splitter;
    splitter.Attach(raw);
    DvdTitleInfo rec = info.Titles[1];
    splitter->SetTitleInfo(&rec);
    splitter->SetPlayRange(0, LONGLONG(rec.Duration), LONGLONG(rec.Duration));
    CBasePin* out = source->GetPin(0);
    CBasePin* in = splitter->GetPin(splitter->GetPinCount() - 1);
    ASSERT_EQ(out->Connect(in, nullptr), S_OK);
    std::vector<ComPtr<CRecordingSink>> sinks;
    for (CBaseSplitterOutputPin* pin : splitter->Outputs()) {
        sinks.emplace_back(new CRecordingSink());
        ASSERT_EQ(pin->Connect(sinks.back()->Pin(), nullptr), S_OK);
    }
    for (auto& s : sinks) s->Pause();
    splitter->Pause();
    for (auto& s : sinks) EXPECT_TRUE(s->WaitForEos(20000));
    splitter->Stop();
    for (auto& s : sinks) s->Stop();

    // About 2 s of pictures and sound, from 0 on.
    for (size_t i = 0; i < 2; ++i) {
        std::lock_guard<std::mutex> l(sinks[i]->m);
        REFERENCE_TIME first = LLONG_MAX, last = LLONG_MIN;
        for (const auto& s : sinks[i]->samples)
            if (s.timed) first = std::min(first, s.start), last = std::max(last, s.start);
        EXPECT_GE(first, -1000000) << i;  // sound may start a little before the first picture
        EXPECT_LT(first, 5000000) << i;
        EXPECT_GT(last, 15000000) << i;
        EXPECT_LT(last, 30000000) << i;
    }
    for (size_t i = 0; i < sinks.size(); ++i) {
        sinks[i]->Pin()->Disconnect();
        splitter->Outputs()[i]->Disconnect();
    }
    out->Disconnect();
    in->Disconnect();
    CloseDvd();
}
#endif

// ---------------------------------------------------------------- errors

TEST(SplitterErrors, RefusedInputsLeaveNoOutputs) {
    // Scrambled packets: the scan fails at once with a clear code.
    std::vector<BYTE> scrambled;
    for (int i = 0; i < 200; ++i) {
        psb::Append(scrambled, psb::Pack(0));
        psb::Append(scrambled, psb::Pes(0xE0, std::vector<BYTE>(2000, 0x42), i * 3600, 2));
    }
    auto began = std::chrono::steady_clock::now();
    Chain s(scrambled);
    EXPECT_TRUE(FAILED(s.connectResult));
    EXPECT_FALSE(s.Input()->IsConnected());
    EXPECT_TRUE(s.splitter->Outputs().empty());
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));

    std::vector<BYTE> noise(100000, 0x5A);
    Chain n(noise);
    EXPECT_TRUE(FAILED(n.connectResult));
    EXPECT_TRUE(n.splitter->Outputs().empty());
    EXPECT_EQ(n.splitter->GetPinCount(), 1);
}

}  // namespace
