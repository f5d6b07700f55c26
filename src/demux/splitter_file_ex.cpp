#include "demux/splitter_file_ex.h"

#include <algorithm>
#include <cstddef>
#include <numeric>



#define MARKER \
    if (BitRead(1) != 1) return false

namespace {
// Builds a media type with the given identifiers and format block.
void SetMt(CMediaType* pmt, const GUID& major, const GUID& sub, const GUID& format,
           const void* block, size_t len) {
    *pmt = CMediaType();
    pmt->majortype = major;
    pmt->subtype = sub;
    pmt->formattype = format;
    pmt->SetFormat(static_cast<const BYTE*>(block), ULONG(len));
}

// Skips a byte at a time until the next `bits` bits read `sync`. Of the `len`
// bytes in view, more than `tail` must be left at the sync word, or there is
// no header to read.
bool SkipToSync(CBaseSplitterFile& f, int bits, std::uint64_t sync, int len, int tail) {
    for (; len > tail && f.BitRead(bits, true) != sync; --len) f.BitRead(8);
    return len > tail;
}
}  // namespace

int Ac3Channels(BYTE acmod, BYTE lfeon) {
    static const int kChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
    return kChannels[acmod & 7] + (lfeon ? 1 : 0);
}

bool CBaseSplitterFileEx::NextMpegStartCode(BYTE& code, LONGLONG len) {
    BitByteAlign();
    DWORD dw = 0xFFFFFFFF;
    // Bytes already pulled into the bit buffer come first, one by one.
    for (;;) {
        LONGLONG avail = 0;
        const BYTE* p = CachedAhead(avail);
        if (!p) {
            if (len-- <= 0 || GetRemaining() <= 0) return false;
            dw = (dw << 8) | BYTE(BitRead(8));
            if ((dw & 0xFFFFFF00) == 0x00000100) {
                code = BYTE(dw);
                return true;
            }
            continue;
        }
        // Scan the cached block in memory: the same search, without a call per byte.
        LONGLONG n = std::min({avail, len, GetRemaining()});
        if (n <= 0) return false;
        for (LONGLONG i = 0; i < n; ++i) {
            dw = (dw << 8) | p[i];
            if ((dw & 0xFFFFFF00) == 0x00000100) {
                SkipCached(i + 1);
                code = BYTE(dw);
                return true;
            }
        }
        SkipCached(n);
        len -= n;
    }
}

bool CBaseSplitterFileEx::Read(pshdr& h) {
    h = pshdr();
    BYTE b = BYTE(BitRead(8, true));
    if ((b & 0xF1) == 0x21) {
        h.type = 1;
        BitRead(4);
        h.scr = BitRead(3) << 30;
        MARKER;
        h.scr |= BitRead(15) << 15;
        MARKER;
        h.scr |= BitRead(15);
        MARKER;
        MARKER;
        h.bitrate = BitRead(22);
        MARKER;
    } else if ((b & 0xC4) == 0x44) {
        h.type = 2;
        BitRead(2);
        h.scr = BitRead(3) << 30;
        MARKER;
        h.scr |= BitRead(15) << 15;
        MARKER;
        h.scr |= BitRead(15);
        MARKER;
        h.scr = (h.scr * 300 + BitRead(9)) * 10 / 27;
        MARKER;
        h.bitrate = BitRead(22);
        MARKER;
        MARKER;
        BitRead(5);
        int stuffing = int(BitRead(3));
        while (stuffing-- > 0) BitRead(8);
    } else {
        return false;
    }
    h.bitrate *= 400;
    return true;
}

bool CBaseSplitterFileEx::ReadSystemHeader() {
    int len = int(BitRead(16));
    MARKER;
    BitRead(22);  // rate bound
    MARKER;
    BitRead(6);  // audio bound
    BitRead(4);  // fixed, CSPS, audio lock, video lock
    MARKER;
    BitRead(5);  // video bound
    BitRead(8);
    for (int i = 0; i < (len - 6) / 3; ++i) BitRead(24);
    return true;
}

bool CBaseSplitterFileEx::Read(pesheader& h, BYTE code) {
    h = pesheader();
    if (!((code >= 0xBD && code < 0xF0) || code == 0xFD)) return false;

    h.len = WORD(BitRead(16));
    if (code == 0xBE || code == 0xBF) return true;

    for (int i = 0; i < 16; ++i) {
        if (BitRead(8, true) != 0xFF) break;
        BitRead(8);
        if (h.len) h.len--;
    }

    h.type = BitRead(2, true) == 2 ? 2 : 1;
    if (h.type == 1) {
        BYTE b = BYTE(BitRead(2));
        if (b == 1) {
            int scale = BitRead(1) ? 1024 : 128;
            h.std_buff_size = int(BitRead(13)) * scale;
            if (h.len) h.len = WORD(h.len >= 2 ? h.len - 2 : 0);
            b = BYTE(BitRead(2));
        }
        if (b == 0) {
            h.fpts = BitRead(1) != 0;
            h.fdts = BitRead(1) != 0;
        }
    } else {
        BitRead(2);
        h.scrambling = BYTE(BitRead(2));
        h.priority = BYTE(BitRead(1));
        h.alignment = BYTE(BitRead(1));
        h.copyright = BYTE(BitRead(1));
        h.original = BYTE(BitRead(1));
        h.fpts = BitRead(1) != 0;
        h.fdts = BitRead(1) != 0;
        h.escr = BYTE(BitRead(1));
        h.esrate = BYTE(BitRead(1));
        h.dsmtrickmode = BYTE(BitRead(1));
        h.morecopyright = BYTE(BitRead(1));
        h.crc = BYTE(BitRead(1));
        h.extension = BYTE(BitRead(1));
        h.hdrlen = BYTE(BitRead(8));
    }

    if (h.fpts) {
        if (h.type == 2) {
            BYTE prefix = BYTE(BitRead(4));
            if (!((h.fdts && prefix == 3) || (!h.fdts && prefix == 2))) return false;
        }
        std::uint64_t pts = BitRead(3) << 30;
        MARKER;
        pts |= BitRead(15) << 15;
        MARKER;
        pts |= BitRead(15);
        MARKER;
        h.pts = ConvertPts(pts);
    }
    if (h.fdts) {
        if (BitRead(4) != 1) return false;
        std::uint64_t dts = BitRead(3) << 30;
        MARKER;
        dts |= BitRead(15) << 15;
        MARKER;
        dts |= BitRead(15);
        MARKER;
        h.dts = ConvertPts(dts);
    }

    if (h.type == 1) {
        if (!h.fpts && !h.fdts && BitRead(4) != 0xF) return false;
        if (h.len) {
            int used = 1 + (h.fpts ? 4 : 0) + (h.fdts ? 5 : 0);
            if (h.len < used) return false;  // a length that cannot hold its own header
            h.len = WORD(h.len - used);
        }
    } else {
        if (h.len) {
            if (h.len < h.hdrlen + 3) return false;
            h.len = WORD(h.len - h.hdrlen - 3);
        }
        int left = h.hdrlen - (h.fpts ? 5 : 0) - (h.fdts ? 5 : 0);
        if (left > 0) Seek(GetPos() + left);
    }
    return true;
}

bool CBaseSplitterFileEx::Read(seqhdr& h, int len, CMediaType* pmt) {
    h = seqhdr();
    LONGLONG endpos = GetPos() + len;
    BYTE id = 0;
    while (GetPos() < endpos && id != 0xB3) {
        if (!NextMpegStartCode(id, len)) return false;
    }
    if (id != 0xB3) return false;

    LONGLONG shpos = GetPos() - 4;
    h.width = WORD(BitRead(12));
    h.height = WORD(BitRead(12));
    h.ar = BYTE(BitRead(4));
    h.fps = BYTE(BitRead(4));
    h.bitrate = DWORD(BitRead(18));
    MARKER;
    h.vbv = WORD(BitRead(10));
    h.constrained = BYTE(BitRead(1));
    if ((h.fiqm = BYTE(BitRead(1))))
        for (BYTE& q : h.iqm) q = BYTE(BitRead(8));
    if ((h.fniqm = BYTE(BitRead(1))))
        for (BYTE& q : h.niqm) q = BYTE(BitRead(8));
    LONGLONG shlen = GetPos() - shpos;

    static const LONGLONG kPeriod[16] = {0,      1126125, 1125000, 1080000, 900900, 900000,
                                         540000, 450450,  450000,  0,       0,      0,
                                         0,      0,       0,       0};
    LONGLONG period = kPeriod[h.fps];

    static const double kPelAspect[16] = {1.0,    1.0,    0.6735, 0.7031, 0.7615, 0.8055,
                                          0.8437, 0.8935, 0.9157, 0.9815, 1.0255, 1.0695,
                                          1.0950, 1.1575, 1.2015, 1.0};
    h.arx = int(h.width / kPelAspect[h.ar] + 0.5);
    h.ary = h.height;

    LONGLONG extpos = 0, extlen = 0;
    BYTE extid = 0;
    if (NextMpegStartCode(extid, 8) && extid == 0xB5) {
        extpos = GetPos() - 4;
        h.startcodeid = BYTE(BitRead(4));
        h.profile_levelescape = BYTE(BitRead(1));
        h.profile = BYTE(BitRead(3));
        h.level = BYTE(BitRead(4));
        h.progressive = BYTE(BitRead(1));
        h.chroma = BYTE(BitRead(2));
        h.width |= WORD(BitRead(2) << 12);
        h.height |= WORD(BitRead(2) << 12);
        h.bitrate |= DWORD(BitRead(12) << 18);
        MARKER;
        h.vbv |= WORD(BitRead(8) << 10);
        h.lowdelay = BYTE(BitRead(1));
        int n = int(BitRead(2)), d = int(BitRead(5));
        period = period * (n + 1) / (d + 1);
        extlen = GetPos() - extpos;
        h.type = 2;
        switch (h.ar) {
        case 2: h.arx = 4, h.ary = 3; break;
        case 3: h.arx = 16, h.ary = 9; break;
        case 4: h.arx = 221, h.ary = 100; break;
        default: h.arx = h.width, h.ary = h.height; break;
        }
    } else {
        h.type = 1;
    }

    h.ifps = period * 10 / 27;
    h.bitrate = h.bitrate == (1u << 30) - 1 ? 0 : h.bitrate * 400;
    if (int g = std::gcd(h.arx, h.ary); g > 0) h.arx /= g, h.ary /= g;

    if (!pmt) return true;

    // The decoder wants the stream's own header bytes: read them again.
    std::vector<BYTE> raw(size_t(shlen + extlen));
    Seek(shpos);
    if (ByteRead(raw.data(), shlen) != S_OK) return false;
    if (extlen) {
        Seek(extpos);
        if (ByteRead(raw.data() + shlen, extlen) != S_OK) return false;
    }

    if (h.type == 1) {
        constexpr size_t kHead = offsetof(MPEG1VIDEOINFO, bSequenceHeader);
        std::vector<BYTE> block(kHead + raw.size());
        MPEG1VIDEOINFO vi{};
        vi.hdr.dwBitRate = h.bitrate;
        vi.hdr.AvgTimePerFrame = h.ifps;
        vi.hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vi.hdr.bmiHeader.biWidth = h.width;
        vi.hdr.bmiHeader.biHeight = h.height;
        vi.hdr.bmiHeader.biXPelsPerMeter = h.width * h.ary;
        vi.hdr.bmiHeader.biYPelsPerMeter = h.height * h.arx;
        vi.cbSequenceHeader = DWORD(raw.size());
        std::memcpy(block.data(), &vi, kHead);
        std::memcpy(block.data() + kHead, raw.data(), raw.size());
        SetMt(pmt, MEDIATYPE_Video, MEDIASUBTYPE_MPEG1Payload, FORMAT_MPEGVideo, block.data(),
              block.size());
    } else {
        constexpr size_t kHead = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);
        std::vector<BYTE> block(kHead + raw.size());
        MPEG2VIDEOINFO vi{};
        vi.hdr.dwBitRate = h.bitrate;
        vi.hdr.AvgTimePerFrame = h.ifps;
        vi.hdr.dwPictAspectRatioX = DWORD(h.arx);
        vi.hdr.dwPictAspectRatioY = DWORD(h.ary);
        vi.hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vi.hdr.bmiHeader.biWidth = h.width;
        vi.hdr.bmiHeader.biHeight = h.height;
        vi.cbSequenceHeader = DWORD(raw.size());
        vi.dwProfile = h.profile;
        vi.dwLevel = h.level;
        std::memcpy(block.data(), &vi, kHead);
        std::memcpy(block.data() + kHead, raw.data(), raw.size());
        SetMt(pmt, MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video, block.data(),
              block.size());
    }
    return true;
}

bool CBaseSplitterFileEx::Read(mpahdr& h, int len, bool fAllowV25, CMediaType* pmt) {
    h = mpahdr();
    int syncbits = fAllowV25 ? 11 : 12;
    std::uint64_t syncmask = (1u << syncbits) - 1;
    if (!SkipToSync(*this, syncbits, syncmask, len, 3)) return false;

    h.sync = WORD(BitRead(11));
    h.version = BYTE(BitRead(2));
    h.layer = BYTE(BitRead(2));
    h.crc = BYTE(BitRead(1));
    h.bitrate = BYTE(BitRead(4));
    h.freq = BYTE(BitRead(2));
    h.padding = BYTE(BitRead(1));
    h.privatebit = BYTE(BitRead(1));
    h.channels = BYTE(BitRead(2));
    h.modeext = BYTE(BitRead(2));
    h.copyright = BYTE(BitRead(1));
    h.original = BYTE(BitRead(1));
    h.emphasis = BYTE(BitRead(2));

    if (h.version == 1 || h.layer == 0 || h.freq == 3 || h.bitrate == 15 || h.emphasis == 2)
        return false;
    h.layer = BYTE(4 - h.layer);

    static const int kBitrates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static const int kFreq[3] = {44100, 48000, 32000};

    bool mpeg1 = h.version == 3;
    int bitrate = kBitrates[mpeg1 ? 0 : 1][h.layer - 1][h.bitrate] * 1000;
    if (bitrate == 0) return false;
    h.nSamplesPerSec = kFreq[h.freq] >> (h.version == 3 ? 0 : h.version == 2 ? 1 : 2);

    if (h.layer == 1)
        h.FrameSize = (12 * bitrate / h.nSamplesPerSec + h.padding) * 4;
    else
        h.FrameSize = ((h.layer == 3 && !mpeg1) ? 72 : 144) * bitrate / h.nSamplesPerSec + h.padding;
    int samples = h.layer == 1 ? 384 : (h.layer == 3 && !mpeg1) ? 576 : 1152;
    h.rtDuration = REFERENCE_TIME(samples) * 10000000 / h.nSamplesPerSec;
    h.nBytesPerSec = bitrate / 8;

    if (!pmt) return true;

    WAVEFORMATEX wfx{};
    wfx.nChannels = h.channels == 3 ? 1 : 2;
    wfx.nSamplesPerSec = DWORD(h.nSamplesPerSec);
    wfx.nAvgBytesPerSec = DWORD(h.nBytesPerSec);
    wfx.nBlockAlign = WORD(h.FrameSize);
    if (h.layer == 3) {
        wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
        SetMt(pmt, MEDIATYPE_Audio, WaveSubtype(WAVE_FORMAT_MPEGLAYER3), FORMAT_WaveFormatEx, &wfx,
              sizeof wfx);
    } else {
        MPEG1WAVEFORMAT f{};
        f.wfx = wfx;
        f.wfx.wFormatTag = WAVE_FORMAT_MPEG;
        f.wfx.cbSize = sizeof(MPEG1WAVEFORMAT) - sizeof(WAVEFORMATEX);
        f.fwHeadLayer = WORD(1 << (h.layer - 1));
        f.dwHeadBitrate = DWORD(bitrate);
        f.fwHeadMode = WORD(1 << h.channels);
        f.fwHeadModeExt = WORD(1 << h.modeext);
        f.wHeadEmphasis = WORD(h.emphasis + 1);
        if (h.privatebit) f.fwHeadFlags |= 1;
        if (h.copyright) f.fwHeadFlags |= 2;
        if (h.original) f.fwHeadFlags |= 4;
        if (h.crc == 0) f.fwHeadFlags |= 8;
        if (h.version == 3) f.fwHeadFlags |= 16;
        SetMt(pmt, MEDIATYPE_Audio, WaveSubtype(WAVE_FORMAT_MPEG), FORMAT_WaveFormatEx, &f, sizeof f);
    }
    return true;
}

bool CBaseSplitterFileEx::Read(aachdr& h, int len, CMediaType* pmt) {
    h = aachdr();
    if (!SkipToSync(*this, 12, 0xFFF, len, 6)) return false;

    h.sync = WORD(BitRead(12));
    h.version = BYTE(BitRead(1));
    h.layer = BYTE(BitRead(2));
    h.fcrc = BYTE(BitRead(1));
    h.profile = BYTE(BitRead(2));
    h.freq = BYTE(BitRead(4));
    h.privatebit = BYTE(BitRead(1));
    h.channels = BYTE(BitRead(3));
    h.original = BYTE(BitRead(1));
    h.home = BYTE(BitRead(1));
    BitRead(2);  // copyright id bit and start
    h.aac_frame_length = WORD(BitRead(13));
    h.adts_buffer_fullness = WORD(BitRead(11));
    h.no_raw_data_blocks_in_frame = BYTE(BitRead(2));
    if (h.fcrc == 0) h.crc = WORD(BitRead(16));

    int hdrsize = h.fcrc == 0 ? 9 : 7;
    if (h.layer != 0 || h.freq > 11 || h.aac_frame_length <= hdrsize) return false;

    static const int kFreq[12] = {96000, 88200, 64000, 48000, 44100, 32000,
                                  24000, 22050, 16000, 12000, 11025, 8000};
    h.rtDuration = REFERENCE_TIME(1024) * 10000000 / kFreq[h.freq];

    if (!pmt) return true;
    BYTE block[sizeof(WAVEFORMATEX) + 2] = {};
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_AAC;
    wfx.nChannels = h.channels ? h.channels : 2;
    wfx.nSamplesPerSec = DWORD(kFreq[h.freq]);
    wfx.nBlockAlign = 1;
    wfx.cbSize = 2;
    std::memcpy(block, &wfx, sizeof wfx);
    WORD asc = WORD(((h.profile + 1) << 11) | (h.freq << 7) | (h.channels << 3));
    block[sizeof wfx] = BYTE(asc >> 8);
    block[sizeof wfx + 1] = BYTE(asc);
    SetMt(pmt, MEDIATYPE_Audio, WaveSubtype(WAVE_FORMAT_AAC), FORMAT_WaveFormatEx, block, sizeof block);
    return true;
}

bool CBaseSplitterFileEx::Read(ac3hdr& h, int len, CMediaType* pmt) {
    h = ac3hdr();
    if (!SkipToSync(*this, 16, 0x0B77, len, 6)) return false;

    h.sync = WORD(BitRead(16));
    h.crc1 = WORD(BitRead(16));
    h.fscod = BYTE(BitRead(2));
    h.frmsizecod = BYTE(BitRead(6));
    h.bsid = BYTE(BitRead(5));
    h.bsmod = BYTE(BitRead(3));
    h.acmod = BYTE(BitRead(3));
    if ((h.acmod & 1) && h.acmod != 1) h.cmixlev = BYTE(BitRead(2));
    if (h.acmod & 4) h.surmixlev = BYTE(BitRead(2));
    if (h.acmod == 2) h.dsurmod = BYTE(BitRead(2));
    h.lfeon = BYTE(BitRead(1));

    if (h.bsid >= 17 || h.fscod == 3 || h.frmsizecod >= 48) return false;
    if (!pmt) return true;

    static const int kFreq[3] = {48000, 44100, 32000};
    static const int kRates[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                   192, 224, 256, 320, 384, 448, 512, 576, 640};
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_DOLBY_AC3;
    wfx.nChannels = WORD(Ac3Channels(h.acmod, h.lfeon));
    int shift = (h.bsid >= 9 && h.bsid <= 11) ? h.bsid - 8 : 0;
    wfx.nSamplesPerSec = DWORD(kFreq[h.fscod] >> shift);
    wfx.nAvgBytesPerSec = DWORD(kRates[h.frmsizecod >> 1] * 1000 / 8);
    wfx.nBlockAlign = WORD(std::uint64_t(wfx.nAvgBytesPerSec) * 1536 / wfx.nSamplesPerSec);
    SetMt(pmt, MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, FORMAT_WaveFormatEx, &wfx, sizeof wfx);
    return true;
}

bool CBaseSplitterFileEx::Read(dtshdr& h, int len, CMediaType* pmt) {
    h = dtshdr();
    if (!SkipToSync(*this, 32, 0x7FFE8001, len, 9)) return false;

    h.sync = DWORD(BitRead(32));
    h.frametype = BYTE(BitRead(1));
    h.deficitsamplecount = BYTE(BitRead(5));
    h.fcrc = BYTE(BitRead(1));
    h.nblocks = BYTE(BitRead(7));
    h.framebytes = WORD(BitRead(14) + 1);
    h.amode = BYTE(BitRead(6));
    h.sfreq = BYTE(BitRead(4));
    h.rate = BYTE(BitRead(5));
    h.downmix = BYTE(BitRead(1));
    h.dynrange = BYTE(BitRead(1));
    h.timestamp = BYTE(BitRead(1));
    h.aux_data = BYTE(BitRead(1));
    h.hdcd = BYTE(BitRead(1));
    h.ext_descr = BYTE(BitRead(3));
    h.ext_coding = BYTE(BitRead(1));
    h.aspf = BYTE(BitRead(1));
    h.lfe = BYTE(BitRead(2));
    if (!pmt) return true;

    static const int kChannels[16] = {1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 6, 7, 8, 8};
    static const int kFreq[16] = {0,     8000, 16000, 32000, 0,     0,     11025, 22050,
                                  44100, 0,    0,     12000, 24000, 48000, 0,     0};
    static const int kRate[32] = {32000,   56000,   64000,   96000,   112000,  128000,  192000,
                                  224000,  256000,  320000,  384000,  448000,  512000,  576000,
                                  640000,  768000,  896000,  1024000, 1152000, 1280000, 1344000,
                                  1408000, 1411200, 1472000, 1536000, 1920000, 2048000, 3072000,
                                  3840000, 0,       0,       0};
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_DTS;
    // Arrangements 16 and up are user-defined; stereo is the safe reading.
    wfx.nChannels = WORD((h.amode < 16 ? kChannels[h.amode] : 2) + (h.lfe ? 1 : 0));
    wfx.nSamplesPerSec = DWORD(kFreq[h.sfreq]);
    wfx.nAvgBytesPerSec = DWORD((kRate[h.rate] + 4) / 8);
    wfx.nBlockAlign = h.framebytes;
    SetMt(pmt, MEDIATYPE_Audio, MEDIASUBTYPE_DTS, FORMAT_WaveFormatEx, &wfx, sizeof wfx);
    return true;
}

bool CBaseSplitterFileEx::Read(lpcmhdr& h, CMediaType* pmt) {
    h = lpcmhdr();
    h.emphasis = BYTE(BitRead(1));
    h.mute = BYTE(BitRead(1));
    h.reserved1 = BYTE(BitRead(1));
    h.framenum = BYTE(BitRead(5));
    h.quantwordlen = BYTE(BitRead(2));
    h.freq = BYTE(BitRead(2));
    h.reserved2 = BYTE(BitRead(1));
    h.channels = BYTE(BitRead(3));
    h.drc = BYTE(BitRead(8));

    if (h.quantwordlen == 3 || h.reserved1 || h.reserved2) return false;
    if (!pmt) return true;

    static const int kFreq[4] = {48000, 96000, 44100, 32000};
    static const int kBits[3] = {16, 20, 24};
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = WORD(h.channels + 1);
    wfx.nSamplesPerSec = DWORD(kFreq[h.freq]);
    wfx.wBitsPerSample = WORD(kBits[h.quantwordlen]);
    wfx.nBlockAlign = WORD(wfx.nChannels * 2 * wfx.wBitsPerSample / 8);
    wfx.nAvgBytesPerSec = DWORD(wfx.nBlockAlign) * wfx.nSamplesPerSec / 2;
    SetMt(pmt, MEDIATYPE_Audio, MEDIASUBTYPE_DVD_LPCM_AUDIO, FORMAT_WaveFormatEx, &wfx, sizeof wfx);
    return true;
}

bool CBaseSplitterFileEx::ReadDvdSubpicture(CMediaType* pmt) {
    if (pmt) SetMt(pmt, MEDIATYPE_Video, MEDIASUBTYPE_DVD_SUBPICTURE, FORMAT_None, nullptr, 0);
    return true;
}
bool CBaseSplitterFileEx::ReadSvcdSubpicture(CMediaType* pmt) {
    if (pmt) SetMt(pmt, MEDIATYPE_Video, MEDIASUBTYPE_SVCD_SUBPICTURE, FORMAT_None, nullptr, 0);
    return true;
}
bool CBaseSplitterFileEx::ReadCvdSubpicture(CMediaType* pmt) {
    if (pmt) SetMt(pmt, MEDIATYPE_Video, MEDIASUBTYPE_CVD_SUBPICTURE, FORMAT_None, nullptr, 0);
    return true;
}
