// Header parsers: accept/reject rules, unit conversions and the format blocks
// the decoders connect with, each shown by a few bytes.
#include <gtest/gtest.h>

#include <cstddef>

#include "demux/splitter_file_ex.h"
#include "ps_builder.h"

namespace {

using File = CBaseSplitterFileEx;

std::unique_ptr<File> Over(std::vector<BYTE> bytes) {
    HRESULT hr = E_FAIL;
    auto f = std::make_unique<File>(std::make_shared<CMemorySplitterSource>(std::move(bytes)), hr,
                                    4096, false, true);
    EXPECT_EQ(hr, S_OK);
    return f;
}

// Positions the reader just after a start code and returns the code.
BYTE AfterStartCode(File& f) {
    BYTE code = 0;
    EXPECT_TRUE(f.NextMpegStartCode(code));
    return code;
}

TEST(StartCode, FoundAfterGarbageWithinTheSearchLength) {
    auto f = Over({0xFF, 0x00, 0x00, 0x00, 0x01, 0xBA, 0x44});
    BYTE code = 0;
    ASSERT_TRUE(f->NextMpegStartCode(code));
    EXPECT_EQ(code, 0xBA);
    EXPECT_EQ(f->GetPos(), 6);

    auto g = Over({0xFF, 0x00, 0x00, 0x00, 0x01, 0xBA});
    EXPECT_FALSE(g->NextMpegStartCode(code, 5));  // the code byte lies beyond 5 bytes
    auto h = Over({0x00, 0x00, 0x02, 0x01});
    EXPECT_FALSE(h->NextMpegStartCode(code));
}

TEST(PesHeader, StreamIdsOutsideTheRangeAreRefused) {
    struct Case {
        int code;
        bool accepted;
    } cases[] = {{0xBC, false}, {0xF0, false}, {0xFF, false}, {0xBD, true},
                 {0xE0, true},  {0xC0, true},  {0xEF, true},  {0xFD, true}};
    for (const Case& c : cases) {
        auto f = Over(psb::Pes(c.code, {1, 2, 3}, 90000));
        f->Seek(4);
        File::pesheader h;
        EXPECT_EQ(f->Read(h, BYTE(c.code)), c.accepted) << std::hex << c.code;
    }
}

TEST(PesHeader, Mpeg2TimestampsAndPayloadLength) {
    auto f = Over(psb::Pes(0xE0, std::vector<BYTE>(100, 0xAA), 90000));
    f->Seek(4);
    File::pesheader h;
    ASSERT_TRUE(f->Read(h, 0xE0));
    EXPECT_EQ(h.type, 2);
    EXPECT_TRUE(h.fpts);
    EXPECT_FALSE(h.fdts);
    EXPECT_EQ(h.pts, 10000000);  // 90000 ticks = 1 s
    EXPECT_EQ(h.len, 100);
    EXPECT_EQ(f->GetPos(), 14);  // 4 + 2 + 3 + 5

    // PTS only, but the prefix announces a DTS too ('0011'): refused.
    psb::BitWriter w;
    w.Bits(0, 16).Bits(2, 2).Bits(0, 6).Bits(2, 2).Bits(0, 6).Byte(5).Bits(3, 4).Ts33(90000);
    auto g = Over(w.Take());
    EXPECT_FALSE(g->Read(h, 0xE0));

    // PTS and DTS; optional fields beyond them are skipped.
    psb::BitWriter d;
    d.Bits(120, 16).Bits(2, 2).Bits(1, 2).Bits(0, 4).Bits(3, 2).Bits(0, 6).Byte(13);
    d.Bits(3, 4).Ts33(180000).Bits(1, 4).Ts33(90000).Bytes({9, 9, 9}).Byte(0x77);
    auto k = Over(d.Take());
    ASSERT_TRUE(k->Read(h, 0xC0));
    EXPECT_EQ(h.scrambling, 1);
    EXPECT_EQ(h.pts, 20000000);
    EXPECT_EQ(h.dts, 10000000);
    EXPECT_EQ(h.len, 120 - 13 - 3);
    EXPECT_EQ(k->BitRead(8), 0x77u);  // the first payload byte
}

TEST(PesHeader, Mpeg1WithStuffingBufferAndTimestamp) {
    psb::BitWriter w;
    w.Bits(50, 16).Bytes({0xFF, 0xFF});                   // two stuffing bytes
    w.Bits(1, 2).Bits(1, 1).Bits(46, 13);                // STD buffer: 46 * 1024
    w.Bits(2, 4).Ts33(45000).Byte(0x55);                 // '0010' + PTS
    auto f = Over(w.Take());
    File::pesheader h;
    ASSERT_TRUE(f->Read(h, 0xC0));
    EXPECT_EQ(h.type, 1);
    EXPECT_EQ(h.std_buff_size, 46 * 1024);
    EXPECT_EQ(h.pts, 5000000);
    EXPECT_EQ(h.len, 50 - 2 - 2 - 1 - 4);
    EXPECT_EQ(f->BitRead(8), 0x55u);

    // Neither timestamp: the byte must be 0x0F.
    auto g = Over({0x00, 0x10, 0x0F, 0x42});
    ASSERT_TRUE(g->Read(h, 0xC0));
    EXPECT_EQ(h.len, 15);
    auto bad = Over({0x00, 0x10, 0x0E, 0x42});
    EXPECT_FALSE(bad->Read(h, 0xC0));
}

TEST(PesHeader, LengthTooShortForItsOwnHeaderIsRefused) {
    // Declared length 4 cannot hold 3 + 5 header bytes; taking it would make
    // the payload length wrap around.
    psb::BitWriter w;
    w.Bits(4, 16).Bits(2, 2).Bits(0, 6).Bits(2, 2).Bits(0, 6).Byte(5).Bits(2, 4).Ts33(1);
    auto f = Over(w.Take());
    File::pesheader h;
    EXPECT_FALSE(f->Read(h, 0xE0));
}

TEST(PackHeader, Mpeg2ClockAndRate) {
    auto f = Over(psb::Pack(1, 25200));
    EXPECT_EQ(AfterStartCode(*f), 0xBA);
    File::pshdr h;
    ASSERT_TRUE(f->Read(h));
    EXPECT_EQ(h.type, 2);
    EXPECT_EQ(h.scr, 111u);  // (1 * 300 + 0) * 10 / 27
    EXPECT_EQ(h.bitrate, 10080000u);

    psb::BitWriter w;  // MPEG-1 pack: clock kept in 90 kHz units
    w.Bits(2, 4).Ts33(12345).Marker().Bits(3000, 22).Marker();
    auto g = Over(w.Take());
    ASSERT_TRUE(g->Read(h));
    EXPECT_EQ(h.type, 1);
    EXPECT_EQ(h.scr, 12345u);
    EXPECT_EQ(h.bitrate, 1200000u);

    auto bad = Over({0x00, 0x00, 0x00, 0x00});
    EXPECT_FALSE(bad->Read(h));
    // A cleared marker bit refuses the pack.
    auto p = psb::Pack(1, 25200);
    p[6] &= ~0x04;  // the marker after the middle part of the clock
    auto m = Over(p);
    m->Seek(4);
    EXPECT_FALSE(m->Read(h));
}

TEST(SequenceHeader, AspectFrameRateAndFormatBlock) {
    struct Case {
        int aspect, fpsCode, n, d;
        bool ext;
        int arx, ary;
        REFERENCE_TIME atpf;
    } cases[] = {
        {3, 4, 0, 0, true, 16, 9, 333666},  // 900900 * 10 / 27
        {1, 4, 0, 0, true, 3, 2, 333666},   // 720:480 reduced
        {2, 3, 0, 0, true, 4, 3, 400000},
        {4, 3, 1, 0, true, 221, 100, 800000},  // period doubled by the extension
        {1, 3, 0, 0, false, 3, 2, 400000},     // MPEG-1: pel aspect 1.0
        {3, 3, 0, 0, false, 32, 15, 400000},  // pel aspect 0.7031: 1024:480
    };
    for (const Case& c : cases) {
        auto bytes = psb::SequenceHeader(720, 480, c.aspect, c.fpsCode, c.ext, c.n, c.d);
        std::vector<BYTE> data = {0x47, 0x00};  // leading noise
        psb::Append(data, bytes);
        auto f = Over(data);
        File::seqhdr h;
        CMediaType mt;
        ASSERT_TRUE(f->Read(h, 1000, &mt));
        EXPECT_EQ(h.width, 720);
        EXPECT_EQ(h.height, 480);
        EXPECT_EQ(h.ifps, c.atpf) << c.aspect;
        EXPECT_EQ(h.bitrate, 20000u * 400);
        EXPECT_EQ(h.arx, c.arx);
        EXPECT_EQ(h.ary, c.ary);
        if (c.ext) {
            EXPECT_EQ(h.type, 2);
            ASSERT_EQ(mt.subtype, MEDIASUBTYPE_MPEG2_VIDEO);
            ASSERT_EQ(mt.formattype, FORMAT_MPEG2Video);
            ASSERT_EQ(mt.FormatLength(), offsetof(MPEG2VIDEOINFO, dwSequenceHeader) + 22);
            auto* vi = reinterpret_cast<const MPEG2VIDEOINFO*>(mt.Format());
            EXPECT_EQ(vi->hdr.dwPictAspectRatioX, DWORD(c.arx));
            EXPECT_EQ(vi->hdr.dwPictAspectRatioY, DWORD(c.ary));
            EXPECT_EQ(vi->hdr.AvgTimePerFrame, c.atpf);
            EXPECT_EQ(vi->hdr.bmiHeader.biWidth, 720);
            EXPECT_EQ(vi->hdr.bmiHeader.biSize, 40u);
            EXPECT_EQ(vi->cbSequenceHeader, 22u);
            EXPECT_EQ(vi->dwProfile, 4u);
            EXPECT_EQ(vi->dwLevel, 8u);
            EXPECT_EQ(0, std::memcmp(MPEG2_SEQUENCE_INFO(vi), bytes.data(), 22));
        } else {
            EXPECT_EQ(h.type, 1);
            ASSERT_EQ(mt.subtype, MEDIASUBTYPE_MPEG1Payload);
            ASSERT_EQ(mt.formattype, FORMAT_MPEGVideo);
            auto* vi = reinterpret_cast<const MPEG1VIDEOINFO*>(mt.Format());
            EXPECT_EQ(vi->cbSequenceHeader, 12u);
            EXPECT_EQ(0, std::memcmp(MPEG1_SEQUENCE_INFO(vi), bytes.data(), 12));
            EXPECT_EQ(vi->hdr.bmiHeader.biXPelsPerMeter, 720 * h.ary);
            EXPECT_EQ(vi->hdr.bmiHeader.biYPelsPerMeter, 480 * h.arx);
        }
    }
    auto none = Over({0, 0, 1, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8});
    File::seqhdr h;
    EXPECT_FALSE(none->Read(h, 12));
}

TEST(MpegAudio, FrameSizesAndRejections) {
    File::mpahdr h;
    CMediaType mt;
    // Layer II (code 2), MPEG-1, 192 kbit/s (index 10), 48 kHz (index 1), no padding.
    auto f = Over(psb::MpaFrame(3, 2, 10, 1));
    ASSERT_TRUE(f->Read(h, 100, false, &mt));
    EXPECT_EQ(h.layer, 2);
    EXPECT_EQ(h.nSamplesPerSec, 48000);
    EXPECT_EQ(h.FrameSize, 576);
    EXPECT_EQ(h.rtDuration, 240000);
    EXPECT_EQ(h.nBytesPerSec, 24000);
    ASSERT_EQ(mt.FormatLength(), sizeof(MPEG1WAVEFORMAT));
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_MPEG1AudioPayload);
    auto* w = reinterpret_cast<const MPEG1WAVEFORMAT*>(mt.Format());
    EXPECT_EQ(w->wfx.wFormatTag, WAVE_FORMAT_MPEG);
    EXPECT_EQ(w->wfx.nChannels, 2);
    EXPECT_EQ(w->wfx.nBlockAlign, 576);
    EXPECT_EQ(w->wfx.cbSize, 22);
    EXPECT_EQ(w->fwHeadLayer, ACM_MPEG_LAYER2);
    EXPECT_EQ(w->dwHeadBitrate, 192000u);
    EXPECT_EQ(w->fwHeadMode, ACM_MPEG_STEREO);
    EXPECT_EQ(w->wHeadEmphasis, 1);
    EXPECT_EQ(w->fwHeadFlags, ACM_MPEG_ORIGINALHOME | ACM_MPEG_ID_MPEG1);

    // Layer III of MPEG-2 (version code 2) at 24 kHz, 64 kbit/s (index 8), mono.
    auto g = Over(psb::MpaFrame(2, 1, 8, 1, 1, 3));
    ASSERT_TRUE(g->Read(h, 100, false, &mt));
    EXPECT_EQ(h.layer, 3);
    EXPECT_EQ(h.nSamplesPerSec, 24000);
    EXPECT_EQ(h.FrameSize, 72 * 64000 / 24000 + 1);
    EXPECT_EQ(mt.FormatLength(), sizeof(WAVEFORMATEX));
    EXPECT_EQ(GetWaveFormat(&mt)->wFormatTag, WAVE_FORMAT_MPEGLAYER3);
    EXPECT_EQ(GetWaveFormat(&mt)->nChannels, 1);

    // Layer I: (12 * 384000 / 44100 + 1) * 4
    auto l1 = Over(psb::MpaFrame(3, 3, 12, 0, 1));
    ASSERT_TRUE(l1->Read(h, 100, false));
    EXPECT_EQ(h.FrameSize, (12 * 384000 / 44100 + 1) * 4);

    struct Bad {
        int version, layer, bitrate, freq, emphasis;
    } bad[] = {{1, 2, 10, 1, 0}, {3, 0, 10, 1, 0}, {3, 2, 10, 3, 0},
               {3, 2, 15, 1, 0}, {3, 2, 10, 1, 2}, {3, 2, 0, 1, 0}};
    for (const Bad& b : bad) {
        auto x = Over(psb::MpaFrame(b.version, b.layer, b.bitrate, b.freq, 0, 0, b.emphasis));
        EXPECT_FALSE(x->Read(h, 100, true)) << b.version << b.layer << b.bitrate << b.freq;
    }
    // MPEG-2.5 only where allowed.
    auto v25 = Over(psb::MpaFrame(0, 1, 8, 0));
    EXPECT_FALSE(v25->Read(h, 100, false));
    auto v25ok = Over(psb::MpaFrame(0, 1, 8, 0));
    ASSERT_TRUE(v25ok->Read(h, 100, true));
    EXPECT_EQ(h.nSamplesPerSec, 11025);
}

TEST(Ac3, ChannelsRateAndRejections) {
    struct Case {
        int acmod, lfe, fscod, frmsizecod, bsid;
        bool ok;
        int channels, rate, bytesPerSec;
    } cases[] = {
        {7, 1, 0, 30, 8, true, 6, 48000, 56000},  // 448 kbit/s 5.1
        {2, 0, 0, 20, 8, true, 2, 48000, 24000},  // 192 kbit/s stereo
        {1, 0, 1, 0, 8, true, 1, 44100, 4000},
        {2, 0, 0, 20, 9, true, 2, 24000, 24000},  // half rate
        {2, 0, 2, 20, 11, true, 2, 4000, 24000},
        {2, 0, 0, 24, 17, false, 0, 0, 0},
        {2, 0, 3, 24, 8, false, 0, 0, 0},
        {2, 0, 0, 48, 8, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> data = {0x00, 0x0B};  // noise before the sync word
        psb::Append(data, psb::Ac3Frame(c.acmod, c.lfe, c.fscod, c.frmsizecod, c.bsid));
        auto f = Over(data);
        File::ac3hdr h;
        CMediaType mt;
        ASSERT_EQ(f->Read(h, int(data.size()), &mt), c.ok) << c.acmod << " " << c.bsid;
        if (!c.ok) continue;
        const WAVEFORMATEX* w = GetWaveFormat(&mt);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(mt.subtype, MEDIASUBTYPE_DOLBY_AC3);
        EXPECT_EQ(w->wFormatTag, WAVE_FORMAT_DOLBY_AC3);
        EXPECT_EQ(w->nChannels, c.channels);
        EXPECT_EQ(int(w->nSamplesPerSec), c.rate);
        EXPECT_EQ(int(w->nAvgBytesPerSec), c.bytesPerSec);
        EXPECT_EQ(w->nBlockAlign, WORD(std::uint64_t(c.bytesPerSec) * 1536 / c.rate));
    }
}

TEST(Dts, HeaderFieldsAndFormat) {
    auto f = Over(psb::DtsFrame(9, 13, 15, 1, 1006));
    File::dtshdr h;
    CMediaType mt;
    ASSERT_TRUE(f->Read(h, 100, &mt));
    EXPECT_EQ(h.framebytes, 1006);
    const WAVEFORMATEX* w = GetWaveFormat(&mt);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_DTS);
    EXPECT_EQ(w->wFormatTag, WAVE_FORMAT_DTS);
    EXPECT_EQ(w->nChannels, 6);
    EXPECT_EQ(w->nSamplesPerSec, 48000u);
    EXPECT_EQ(w->nAvgBytesPerSec, (768000u + 4) / 8);
    EXPECT_EQ(w->nBlockAlign, 1006);
    auto none = Over(std::vector<BYTE>(20, 0x7F));
    EXPECT_FALSE(none->Read(h, 20));
}

TEST(Lpcm, QuantisationRateAndReservedBits) {
    struct Case {
        int quant, freq, chm1, r1, r2;
        bool ok;
        int bits, align, rate, bps;
    } cases[] = {
        {2, 0, 1, 0, 0, true, 24, 12, 48000, 288000},
        {0, 0, 1, 0, 0, true, 16, 8, 48000, 192000},
        {1, 1, 5, 0, 0, true, 20, 30, 96000, 1440000},
        {3, 0, 1, 0, 0, false, 0, 0, 0, 0},
        {0, 0, 1, 1, 0, false, 0, 0, 0, 0},
        {0, 0, 1, 0, 1, false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        auto f = Over(psb::LpcmHeader(c.quant, c.freq, c.chm1, c.r1, c.r2));
        File::lpcmhdr h;
        CMediaType mt;
        ASSERT_EQ(f->Read(h, &mt), c.ok);
        if (!c.ok) continue;
        const WAVEFORMATEX* w = GetWaveFormat(&mt);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(mt.subtype, MEDIASUBTYPE_DVD_LPCM_AUDIO);
        EXPECT_EQ(w->wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(w->nChannels, c.chm1 + 1);
        EXPECT_EQ(w->wBitsPerSample, c.bits);
        EXPECT_EQ(w->nBlockAlign, c.align);
        EXPECT_EQ(int(w->nSamplesPerSec), c.rate);
        EXPECT_EQ(int(w->nAvgBytesPerSec), c.bps);
    }
}

TEST(Subpicture, TypesWithoutFormatBlock) {
    auto f = Over({});
    CMediaType mt;
    ASSERT_TRUE(f->ReadDvdSubpicture(&mt));
    EXPECT_EQ(mt.majortype, MEDIATYPE_Video);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_DVD_SUBPICTURE);
    EXPECT_EQ(mt.formattype, FORMAT_None);
    EXPECT_EQ(mt.FormatLength(), 0u);
}

}  // namespace
