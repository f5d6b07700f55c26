// Stream discovery over synthetic program streams: which streams are found,
// their keys and list order, the title record steering the scan, the byte
// rate, and the inputs that must be refused.
#include <gtest/gtest.h>

#include <cstring>

#include "demux/mpeg_splitter_file.h"
#include "ps_builder.h"

namespace {

constexpr std::int64_t kTick = 90;  // 90 kHz ticks per millisecond

struct PsWriter {
    std::vector<BYTE> data;
    void Pack(int muxRate = 25200) { psb::Append(data, psb::Pack(0, muxRate)); }
    void Pes(int id, const std::vector<BYTE>& payload, std::int64_t ptsMs = -1, int scrambling = 0) {
        psb::Append(data, psb::Pes(id, payload, ptsMs < 0 ? -1 : ptsMs * kTick, scrambling));
    }
    void Video(std::int64_t ptsMs, size_t size = 1000) {
        std::vector<BYTE> payload = psb::SequenceHeader();
        payload.resize(size, 0x11);
        Pes(0xE0, payload, ptsMs);
    }
    void Ac3(int sub, std::int64_t ptsMs, int acmod = 2, int lfe = 0) {
        std::vector<BYTE> payload = {BYTE(sub), 1, 0, 1};
        psb::Append(payload, psb::Ac3Frame(acmod, lfe));
        Pes(0xBD, payload, ptsMs);
    }
    void Sub(int sub, std::int64_t ptsMs) { Pes(0xBD, {BYTE(sub), 0, 10, 0, 8, 0xAB}, ptsMs); }
};

std::unique_ptr<CMpegSplitterFile> Scan(std::vector<BYTE> data, HRESULT& hr,
                                        const DvdTitleInfo* info = nullptr,
                                        std::shared_ptr<CMemorySplitterSource>* srcOut = nullptr) {
    auto src = std::make_shared<CMemorySplitterSource>(std::move(data));
    if (srcOut) *srcOut = src;
    return std::make_unique<CMpegSplitterFile>(src, hr, info);
}

std::vector<DWORD> Keys(const CMpegSplitterFile::CStreamList& list) {
    std::vector<DWORD> keys;
    for (const SplitterStream& s : list) keys.push_back(s.GetKey());
    return keys;
}

DvdTitleInfo Record(std::vector<int> audio, std::vector<int> subs) {
    DvdTitleInfo t{};
    t.AudioCount = int(audio.size());
    for (size_t i = 0; i < audio.size(); ++i) t.AudioId[i] = audio[i];
    t.SubpictureCount = int(subs.size());
    for (size_t i = 0; i < subs.size(); ++i) t.SubpictureId[i] = subs[i];
    return t;
}

TEST(Scanner, FindsStreamsWithTheirKeysAndRanksAudio) {
    PsWriter w;
    w.Pack();
    w.Video(0);
    w.Ac3(0x80, 0);                       // AC-3 stereo
    w.Pes(0xC0, psb::MpaFrame(), 0);      // MPEG-1 layer II
    w.Ac3(0x81, 0, 7, 1);                 // AC-3 5.1
    std::vector<BYTE> lpcm = {0xA0, 1, 0, 4};
    psb::Append(lpcm, psb::LpcmHeader(0, 0, 1));
    lpcm.resize(200, 0);
    w.Pes(0xBD, lpcm, 0);                 // LPCM stereo
    w.Sub(0x21, 0);
    w.Sub(0x20, 0);
    w.Pack();
    w.Video(500);
    HRESULT hr = E_FAIL;
    auto f = Scan(w.data, hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(f->m_type, CMpegSplitterFile::Kind::ps);
    EXPECT_EQ(Keys(f->m_streams[CMpegSplitterFile::video]), std::vector<DWORD>{0xE000});
    // LPCM ahead of the 5.1 AC-3, ahead of the stereo AC-3, ahead of MPEG audio.
    EXPECT_EQ(Keys(f->m_streams[CMpegSplitterFile::audio]),
              (std::vector<DWORD>{0xBDA0, 0xBD81, 0xBD80, 0xC000}));
    EXPECT_EQ(Keys(f->m_streams[CMpegSplitterFile::subpic]), (std::vector<DWORD>{0xBD20, 0xBD21}));
    EXPECT_EQ(f->GetMasterStream(), &f->m_streams[CMpegSplitterFile::video]);
}

TEST(Scanner, EqualAudioKeepsKeyOrder) {
    PsWriter w;
    w.Pack();
    w.Video(0);
    w.Ac3(0x82, 0);
    w.Ac3(0x80, 0);
    w.Ac3(0x81, 0);
    w.Video(400);
    HRESULT hr = E_FAIL;
    auto f = Scan(w.data, hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(Keys(f->m_streams[CMpegSplitterFile::audio]),
              (std::vector<DWORD>{0xBD80, 0xBD81, 0xBD82}));
}

TEST(Scanner, Ac3WithoutSubstreamHeaderIs0x80) {
    PsWriter w;
    w.Pack();
    w.Video(0);
    w.Pes(0xBD, psb::Ac3Frame(), 0);
    w.Video(400);
    HRESULT hr = E_FAIL;
    auto f = Scan(w.data, hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(Keys(f->m_streams[CMpegSplitterFile::audio]), std::vector<DWORD>{0xBD80});
}

TEST(Scanner, SubtitlePlaceholderAndTitleRecordTracks) {
    PsWriter w;
    w.Pack();
    w.Video(0);
    w.Ac3(0x80, 0);
    w.Video(400);
    HRESULT hr = E_FAIL;

    auto plain = Scan(w.data, hr);
    ASSERT_EQ(hr, S_OK);
    const auto& subs = plain->m_streams[CMpegSplitterFile::subpic];
    ASSERT_EQ(subs.size(), 1u);
    EXPECT_EQ(subs[0].pid, 1);
    EXPECT_EQ(subs[0].mt.subtype, MEDIASUBTYPE_DVD_SUBPICTURE);

    DvdTitleInfo rec = Record({0xBD80}, {0xBD21, 0xBD20});
    auto steered = Scan(w.data, hr, &rec);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(Keys(steered->m_streams[CMpegSplitterFile::subpic]),
              (std::vector<DWORD>{0xBD20, 0xBD21}));
    for (const SplitterStream& s : steered->m_streams[CMpegSplitterFile::subpic]) {
        EXPECT_EQ(s.pid, 0);
        EXPECT_EQ(s.mt.subtype, MEDIASUBTYPE_DVD_SUBPICTURE);
    }
}

// A stream of the given size: video and AC-3 0x80 every pack, the second
// listed track nowhere.
std::vector<BYTE> LongStream(size_t bytes) {
    PsWriter w;
    std::int64_t ms = 0;
    while (w.data.size() < bytes) {
        w.Pack();
        w.Video(ms, 1500);
        w.Ac3(0x80, ms);
        ms += 40;
    }
    return w.data;
}

TEST(Scanner, ListedButAbsentAudioScansTheWholeBound) {
    DvdTitleInfo rec = Record({0xBD80, 0xBD81}, {});
    std::shared_ptr<CMemorySplitterSource> src;
    HRESULT hr = E_FAIL;
    auto f = Scan(LongStream(6 << 20), hr, &rec, &src);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(Keys(f->m_streams[CMpegSplitterFile::audio]), std::vector<DWORD>{0xBD80});
    EXPECT_GE(src->bytesRead, 40 * 131072);
    EXPECT_LT(src->bytesRead, 44 * 131072);

    // Found at once when the record lists only what is there: one chunk.
    DvdTitleInfo one = Record({0xBD80}, {});
    auto g = Scan(LongStream(6 << 20), hr, &one, &src);
    ASSERT_EQ(hr, S_OK);
    EXPECT_LE(src->bytesRead, 131072 + 2 * 65536);
}

TEST(Scanner, ShortTitleWithAbsentListedTrackStillOpens) {
    DvdTitleInfo rec = Record({0xBD80, 0xBD81}, {});
    HRESULT hr = E_FAIL;
    auto f = Scan(LongStream(300000), hr, &rec);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(Keys(f->m_streams[CMpegSplitterFile::audio]), std::vector<DWORD>{0xBD80});
}

TEST(Scanner, ByteRateFromTimestampsOrPack) {
    // Pack rate 10 080 000 bit/s = 1 260 000 byte/s; timestamps imply far less.
    PsWriter w;
    w.Pack(25200);
    size_t firstEnd = w.data.size() + 14;  // after the first PES header
    w.Video(10000);
    w.data.resize(w.data.size() + 30000, 0);
    size_t lastEnd = w.data.size() + 14;
    w.Video(20000);
    HRESULT hr = E_FAIL;
    auto f = Scan(w.data, hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(f->m_posMin, LONGLONG(firstEnd));
    EXPECT_EQ(f->m_posMax, LONGLONG(lastEnd));
    EXPECT_EQ(f->m_rtMin, 100000000);
    EXPECT_EQ(f->m_rtMax, 200000000);
    // (lastEnd - firstEnd) * 10^7 / 10^8 is below the pack rate / 1.1: taken.
    EXPECT_EQ(f->m_rate, DWORD((lastEnd - firstEnd) / 10));

    // A timestamp rate far above the pack rate is not believed.
    PsWriter v;
    v.Pack(25200);
    v.Video(10000);
    v.data.resize(v.data.size() + 300000, 0);
    v.Video(10100);
    auto g = Scan(v.data, hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(g->m_rate, 1260000u);
}

TEST(Scanner, NextTimestampOfAStream) {
    PsWriter w;
    w.Pack();
    w.Video(1000);
    w.Ac3(0x80, 1000);
    w.Video(1040);
    w.Ac3(0x80, 1032);
    w.Video(1080);
    HRESULT hr = E_FAIL;
    auto f = Scan(w.data, hr);
    ASSERT_EQ(hr, S_OK);
    f->Seek(30);
    EXPECT_EQ(f->NextPTS(0xBD80), 0);
    LONGLONG at = f->GetPos();
    f->Seek(at + 4);
    EXPECT_EQ(f->NextPTS(0xBD80), 320000);
    EXPECT_EQ(f->NextPTS(0xBD81), -1);
}

TEST(Scanner, RefusesWhatIsNotAProgramStream) {
    HRESULT hr = S_OK;
    std::vector<BYTE> noise(200000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = BYTE(i * 131 + 7);
    Scan(noise, hr);
    EXPECT_EQ(hr, E_FAIL);

    std::vector<BYTE> ts;  // transport stream packets: not a DVD input
    for (int i = 0; i < 1000; ++i) {
        std::vector<BYTE> pkt(188, 0xFF);
        pkt[0] = 0x47;
        pkt[1] = 0x01;
        pkt[3] = 0x10;
        psb::Append(ts, pkt);
    }
    Scan(ts, hr);
    EXPECT_EQ(hr, E_FAIL);

    Scan({}, hr);
    EXPECT_EQ(hr, E_FAIL);
}

TEST(Scanner, ScrambledPacketsFailTheScan) {
    PsWriter w;
    for (int i = 0; i < 100; ++i) {
        w.Pack();
        w.Pes(0xE0, std::vector<BYTE>(2000, 0x33), i * 40, 1);
    }
    HRESULT hr = S_OK;
    auto f = Scan(w.data, hr);
    EXPECT_EQ(hr, E_FAIL);
}

TEST(Scanner, Descriptions) {
    PsWriter w;
    w.Pack();
    w.Video(0);
    w.Ac3(0x80, 0, 7, 1);
    w.Pes(0xC0, psb::MpaFrame(), 0);
    w.Video(40);
    HRESULT hr = E_FAIL;
    auto f = Scan(w.data, hr);
    ASSERT_EQ(hr, S_OK);
    const auto& a = f->m_streams[CMpegSplitterFile::audio];
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(CMpegSplitterFile::Describe(a[0].mt), "Audio - Dolby Digital, 48.0 kHz, 6 chn, 448.0 kbit/s");
    EXPECT_EQ(CMpegSplitterFile::Describe(a[1].mt), "Audio - MPEG1 - Layer 2, 48.0 kHz, 2 chn, 192.0 kbit/s");
    EXPECT_EQ(CMpegSplitterFile::Describe(f->m_streams[0][0].mt),
              "Video - MPEG2 Main Profile@Main Level, 720x480, 29.970 fps, 8000.0 kbit/s");
    EXPECT_EQ(CMpegSplitterFile::Describe(CMediaType()), "");
}

}  // namespace
