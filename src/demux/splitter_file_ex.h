#pragma once
// Parsers for the headers of MPEG program streams and of the elementary
// streams a DVD carries. Each reads one header at the current position, checks
// it and fills a plain record; when asked it also builds the media type the
// splitter's output pin offers downstream.
#include "demux/media_types.h"
#include "demux/splitter_file.h"

class CBaseSplitterFileEx : public CBaseSplitterFile {
public:
    CBaseSplitterFileEx(std::shared_ptr<ISplitterSource> source, HRESULT& hr, int cacheLen = 2048,
                        bool requireFullyAvailable = true, bool allowStreaming = false)
        : CBaseSplitterFile(std::move(source), hr, cacheLen, requireFullyAvailable,
                            allowStreaming) {}

    struct pshdr {
        int type = 0;  // 1 MPEG-1, 2 MPEG-2
        std::uint64_t scr = 0, bitrate = 0;
    };
    struct pesheader {
        WORD len = 0;
        BYTE type = 0;
        bool fpts = false, fdts = false;
        BYTE scrambling = 0, priority = 0, alignment = 0, copyright = 0, original = 0;
        BYTE escr = 0, esrate = 0, dsmtrickmode = 0, morecopyright = 0, crc = 0, extension = 0;
        BYTE hdrlen = 0;
        int std_buff_size = 0;
        REFERENCE_TIME pts = 0, dts = 0;
    };
    struct seqhdr {
        WORD width = 0, height = 0;
        BYTE ar = 0, fps = 0;
        DWORD bitrate = 0;
        WORD vbv = 0;
        BYTE constrained = 0;
        BYTE fiqm = 0, iqm[64] = {};
        BYTE fniqm = 0, niqm[64] = {};
        // extension
        BYTE startcodeid = 0, profile_levelescape = 0, profile = 0, level = 0;
        BYTE progressive = 0, chroma = 0, lowdelay = 0;
        // derived
        REFERENCE_TIME ifps = 0;
        int arx = 0, ary = 0;
        int type = 0;  // 1 MPEG-1, 2 MPEG-2
    };
    struct mpahdr {
        WORD sync = 0;
        BYTE version = 0, layer = 0, crc = 0, bitrate = 0, freq = 0, padding = 0, privatebit = 0;
        BYTE channels = 0, modeext = 0, copyright = 0, original = 0, emphasis = 0;
        int nSamplesPerSec = 0, FrameSize = 0, nBytesPerSec = 0;
        REFERENCE_TIME rtDuration = 0;
    };
    struct ac3hdr {
        WORD sync = 0, crc1 = 0;
        BYTE fscod = 0, frmsizecod = 0, bsid = 0, bsmod = 0, acmod = 0;
        BYTE cmixlev = 0, surmixlev = 0, dsurmod = 0, lfeon = 0;
    };
    struct dtshdr {
        DWORD sync = 0;
        BYTE frametype = 0, deficitsamplecount = 0, fcrc = 0, nblocks = 0;
        WORD framebytes = 0;
        BYTE amode = 0, sfreq = 0, rate = 0;
        BYTE downmix = 0, dynrange = 0, timestamp = 0, aux_data = 0, hdcd = 0, ext_descr = 0;
        BYTE ext_coding = 0, aspf = 0, lfe = 0;
    };
    struct lpcmhdr {
        BYTE emphasis = 0, mute = 0, reserved1 = 0, framenum = 0;
        BYTE quantwordlen = 0, freq = 0, reserved2 = 0, channels = 0;
        BYTE drc = 0;
    };
    struct aachdr {
        WORD sync = 0;
        BYTE version = 0, layer = 0, fcrc = 0, profile = 0, freq = 0, privatebit = 0;
        BYTE channels = 0, original = 0, home = 0;
        WORD aac_frame_length = 0, adts_buffer_fullness = 0;
        BYTE no_raw_data_blocks_in_frame = 0;
        WORD crc = 0;
        REFERENCE_TIME rtDuration = 0;
    };

    bool NextMpegStartCode(BYTE& code, LONGLONG len = 65536);
    bool Read(pshdr& h);
    bool ReadSystemHeader();
    bool Read(pesheader& h, BYTE code);
    bool Read(seqhdr& h, int len, CMediaType* pmt = nullptr);
    bool Read(mpahdr& h, int len, bool fAllowV25, CMediaType* pmt = nullptr);
    bool Read(aachdr& h, int len, CMediaType* pmt = nullptr);
    bool Read(ac3hdr& h, int len, CMediaType* pmt = nullptr);
    bool Read(dtshdr& h, int len, CMediaType* pmt = nullptr);
    bool Read(lpcmhdr& h, CMediaType* pmt = nullptr);
    bool ReadDvdSubpicture(CMediaType* pmt = nullptr);
    bool ReadSvcdSubpicture(CMediaType* pmt = nullptr);
    bool ReadCvdSubpicture(CMediaType* pmt = nullptr);

    // Added to every converted timestamp (0 unless the source provides one).
    REFERENCE_TIME m_rtPTSOffset = 0;

protected:
    // 90 kHz ticks to 100-ns units.
    REFERENCE_TIME ConvertPts(std::uint64_t ticks) const {
        return REFERENCE_TIME(ticks * 10000 / 90) + m_rtPTSOffset;
    }
};

// Audio and channel facts that the stream ranking and descriptions need, read
// from a media type's wave-format block.
int Ac3Channels(BYTE acmod, BYTE lfeon);
