#pragma once
// Format blocks carried in a media type. Packed little-endian with the byte
// layouts every decoder expects: the picture header lies 48 bytes into
// VIDEOINFOHEADER / MPEG1VIDEOINFO and 72 bytes into VIDEOINFOHEADER2 /
// MPEG2VIDEOINFO.
#include <cstddef>

#include "platform/com/types.h"
#include "platform/com/guid.h"

#pragma pack(push, 1)

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_BITFIELDS = 3;
constexpr DWORD MakeFourCC(char a, char b, char c, char d) {
    return DWORD(BYTE(a)) | (DWORD(BYTE(b)) << 8) | (DWORD(BYTE(c)) << 16) | (DWORD(BYTE(d)) << 24);
}

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER) == 88);
static_assert(offsetof(VIDEOINFOHEADER, AvgTimePerFrame) == 40);
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) == 48);

// dwInterlaceFlags bits
constexpr DWORD AMINTERLACE_IsInterlaced = 0x00000001;

struct VIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    DWORD dwInterlaceFlags;
    DWORD dwCopyProtectFlags;
    DWORD dwPictAspectRatioX;
    DWORD dwPictAspectRatioY;
    DWORD dwControlFlags;
    DWORD dwReserved2;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER2) == 112);
static_assert(offsetof(VIDEOINFOHEADER2, dwPictAspectRatioX) == 56);
static_assert(offsetof(VIDEOINFOHEADER2, bmiHeader) == 72);

// An MPEG-1 video format: the video info header, then the raw sequence header.
struct MPEG1VIDEOINFO {
    VIDEOINFOHEADER hdr;
    DWORD dwStartTimeCode;
    DWORD cbSequenceHeader;
    BYTE bSequenceHeader[1];
};
static_assert(offsetof(MPEG1VIDEOINFO, hdr.bmiHeader) == 48);
static_assert(offsetof(MPEG1VIDEOINFO, bSequenceHeader) == 96);
// Bytes of a block holding cbSequenceHeader sequence-header bytes.
constexpr std::size_t SIZE_MPEG1VIDEOINFO(const MPEG1VIDEOINFO* p) {
    return offsetof(MPEG1VIDEOINFO, bSequenceHeader) + p->cbSequenceHeader;
}
#define MPEG1_SEQUENCE_INFO(pv) (reinterpret_cast<const BYTE*>((pv)->bSequenceHeader))

// An MPEG-2 video format: the second-version video info header, then the raw
// sequence header and its extension.
struct MPEG2VIDEOINFO {
    VIDEOINFOHEADER2 hdr;
    DWORD dwStartTimeCode;
    DWORD cbSequenceHeader;
    DWORD dwProfile;
    DWORD dwLevel;
    DWORD dwFlags;
    DWORD dwSequenceHeader[1];
};
static_assert(offsetof(MPEG2VIDEOINFO, hdr.bmiHeader) == 72);
static_assert(offsetof(MPEG2VIDEOINFO, dwSequenceHeader) == 132);
constexpr std::size_t SIZE_MPEG2VIDEOINFO(const MPEG2VIDEOINFO* p) {
    return offsetof(MPEG2VIDEOINFO, dwSequenceHeader) + p->cbSequenceHeader;
}
#define MPEG2_SEQUENCE_INFO(pv) (reinterpret_cast<const BYTE*>((pv)->dwSequenceHeader))

// Profile/level values for MPEG2VIDEOINFO
constexpr DWORD AM_MPEG2Profile_Simple = 1, AM_MPEG2Profile_Main = 2,
                AM_MPEG2Profile_SNRScalable = 3, AM_MPEG2Profile_SpatiallyScalable = 4,
                AM_MPEG2Profile_High = 5;
constexpr DWORD AM_MPEG2Level_Low = 1, AM_MPEG2Level_Main = 2, AM_MPEG2Level_High1440 = 3,
                AM_MPEG2Level_High = 4;

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
static_assert(sizeof(WAVEFORMATEX) == 18);

constexpr WORD WAVE_FORMAT_PCM = 0x0001;
constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 0x0003;
constexpr WORD WAVE_FORMAT_MPEG = 0x0050;
constexpr WORD WAVE_FORMAT_MPEGLAYER3 = 0x0055;
constexpr WORD WAVE_FORMAT_AAC = 0x00FF;
constexpr WORD WAVE_FORMAT_DOLBY_AC3 = 0x2000;
constexpr WORD WAVE_FORMAT_DTS = 0x2001;
constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

struct MPEG1WAVEFORMAT {
    WAVEFORMATEX wfx;
    WORD fwHeadLayer;
    DWORD dwHeadBitrate;
    WORD fwHeadMode;
    WORD fwHeadModeExt;
    WORD wHeadEmphasis;
    WORD fwHeadFlags;
    DWORD dwPTSLow;
    DWORD dwPTSHigh;
};
static_assert(sizeof(MPEG1WAVEFORMAT) == 40);

// MPEG1WAVEFORMAT field values
constexpr WORD ACM_MPEG_LAYER1 = 0x0001, ACM_MPEG_LAYER2 = 0x0002, ACM_MPEG_LAYER3 = 0x0004;
constexpr WORD ACM_MPEG_STEREO = 0x0001, ACM_MPEG_JOINTSTEREO = 0x0002,
               ACM_MPEG_DUALCHANNEL = 0x0004, ACM_MPEG_SINGLECHANNEL = 0x0008;
constexpr WORD ACM_MPEG_PRIVATEBIT = 0x0001, ACM_MPEG_COPYRIGHT = 0x0002,
               ACM_MPEG_ORIGINALHOME = 0x0004, ACM_MPEG_PROTECTIONBIT = 0x0008,
               ACM_MPEG_ID_MPEG1 = 0x0010;

struct WAVEFORMATEXTENSIBLE {
    WAVEFORMATEX Format;
    WORD wValidBitsPerSample;  // also wSamplesPerBlock
    DWORD dwChannelMask;
    GUID SubFormat;
};
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40);

#pragma pack(pop)

// Bytes per image row: whole 32-bit words, as bitmaps store them.
constexpr LONG WIDTHBYTES(LONG bits) { return ((bits + 31) / 32) * 4; }
// Image bytes of a bitmap header: rows rounded to 32 bits, times |height|.
constexpr DWORD DIBSIZE(const BITMAPINFOHEADER& bi) {
    return DWORD(WIDTHBYTES(bi.biWidth * bi.biBitCount)) *
           DWORD(bi.biHeight < 0 ? -bi.biHeight : bi.biHeight);
}
