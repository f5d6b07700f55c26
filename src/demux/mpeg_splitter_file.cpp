#include "demux/mpeg_splitter_file.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>

namespace {
constexpr LONGLONG kChunk = 131072;
constexpr int kChunks = 40;
}  // namespace

const SplitterStream* CMpegSplitterFile::CStreamList::Find(const SplitterStream& s) const {
    return FindKey(s.GetKey());
}

const SplitterStream* CMpegSplitterFile::CStreamList::FindKey(DWORD key) const {
    for (const SplitterStream& e : *this)
        if (e.GetKey() == key) return &e;
    return nullptr;
}

std::int64_t CMpegSplitterFile::AudioScore(const CMediaType& mt) {
    const WAVEFORMATEX* wfe = GetWaveFormat(&mt);
    if (!wfe) return 0;
    std::int64_t cls = 0;
    if (mt.subtype == MEDIASUBTYPE_DVD_LPCM_AUDIO) cls = 12;
    else if (wfe->wFormatTag == WAVE_FORMAT_DTS) cls = 9;
    else if (wfe->wFormatTag == WAVE_FORMAT_DOLBY_AC3) cls = 8;
    else if (wfe->wFormatTag == WAVE_FORMAT_AAC) cls = 7;
    else if (wfe->wFormatTag == WAVE_FORMAT_MPEGLAYER3) cls = 6;
    else if (wfe->wFormatTag == WAVE_FORMAT_MPEG) cls = 5;
    return cls * 100000000000000000LL + std::int64_t(wfe->nChannels) * 1000000000000000LL +
           std::int64_t(wfe->nSamplesPerSec) * 10000000000LL +
           std::int64_t(wfe->wBitsPerSample) * 10000000LL + std::int64_t(wfe->nAvgBytesPerSec);
}

namespace {
bool RanksAhead(const SplitterStream& a, const SplitterStream& b, int group) {
    if (group == CMpegSplitterFile::audio) {
        bool wa = GetWaveFormat(&a.mt) != nullptr, wb = GetWaveFormat(&b.mt) != nullptr;
        if (wa != wb) return wa;
        std::int64_t sa = CMpegSplitterFile::AudioScore(a.mt);
        std::int64_t sb = CMpegSplitterFile::AudioScore(b.mt);
        if (sa != sb) return sa > sb;
    }
    return a.GetKey() < b.GetKey();
}
}  // namespace

void CMpegSplitterFile::CStreamList::Insert(const SplitterStream& s, int group) {
    for (auto it = begin(); it != end(); ++it) {
        if (RanksAhead(s, *it, group)) {
            insert(it, s);
            return;
        }
    }
    push_back(s);
}

const char* CMpegSplitterFile::CStreamList::ToString(int group) {
    return group == video ? "Video" : group == audio ? "Audio" : group == subpic ? "Subtitle" : "Unknown";
}

CMpegSplitterFile::CMpegSplitterFile(std::shared_ptr<ISplitterSource> source, HRESULT& hr,
                                     const DvdTitleInfo* titleInfo)
    : CBaseSplitterFileEx(std::move(source), hr, 65536, false, true) {
    if (titleInfo) m_titleInfo = *titleInfo;
    if (SUCCEEDED(hr)) hr = Init();
}

HRESULT CMpegSplitterFile::Init() {
    m_type = Kind::unknown;

    // Transport streams, PVA and elementary streams of other origins never come
    // from a DVD; only program streams (and bare PES sequences) are recognised.
    Seek(0);
    for (int round = 0; m_type == Kind::unknown; ++round) {
        if (round > 4 && GetPos() > 65535) break;
        BYTE b = 0;
        if (!NextMpegStartCode(b)) break;
        if (b == 0xBA) {
            pshdr h;
            if (Read(h)) {
                m_type = Kind::ps;
                m_rate = DWORD(h.bitrate / 8);
                break;
            }
        } else if ((b & 0xE0) == 0xC0 || (b & 0xF0) == 0xE0 || b == 0xBD) {
            pesheader h;
            if (Read(h, b) && BitRead(24, true) == 0x000001) m_type = Kind::es;
        }
    }
    Seek(0);
    if (m_type == Kind::unknown) return E_FAIL;

    m_rtMin = kUnset;
    m_posMin = 0;
    m_rtMax = 0;
    m_posMax = 0;

    HRESULT hr = E_FAIL;
    bool anyGood = false;
    LONGLONG len = GetLength();
    for (int i = 0; i < kChunks; ++i) {
        LONGLONG start = i * kChunk, stop = start + kChunk;
        if (start > len) {
            // A title shorter than the scan whose record lists a track that
            // never occurs is still a title: what the scan found stands.
            hr = anyGood ? S_OK : E_FAIL;
            break;
        }
        stop = std::min(stop, len);
        hr = SearchStreams(start, stop);
        if (FAILED(hr)) continue;
        if (m_posMax - m_posMin <= 0 || m_rtMin == kUnset || m_rtMax - m_rtMin <= 0) {
            hr = E_FAIL;
            continue;
        }
        anyGood = true;
        if (m_streams[video].empty()) continue;
        bool allAudio = true;
        int audioCount = std::clamp(m_titleInfo.AudioCount, 0, kDvdMaxAudio);
        for (int a = 0; a < audioCount && allAudio; ++a) {
            SplitterStream s;
            s.pesid = BYTE(m_titleInfo.AudioId[a] >> 8);
            s.ps1id = BYTE(m_titleInfo.AudioId[a]);
            if (!m_streams[audio].Find(s)) allAudio = false;
        }
        if (allAudio) break;
    }
    if (FAILED(hr)) return hr;

    int subCount = std::clamp(m_titleInfo.SubpictureCount, 0, kDvdMaxSubpictures);
    for (int n = 0; n < subCount; ++n) {
        SplitterStream s;
        s.pesid = BYTE(m_titleInfo.SubpictureId[n] >> 8);
        s.ps1id = BYTE(m_titleInfo.SubpictureId[n]);
        if (!m_streams[subpic].Find(s)) {
            ReadDvdSubpicture(&s.mt);
            m_streams[subpic].Insert(s, subpic);
        }
    }

    UpdateRate();

    if (!m_streams[video].empty() && m_streams[subpic].empty()) {
        SplitterStream s;
        s.pid = 1;  // stands for the choice of no subtitles
        ReadDvdSubpicture(&s.mt);
        m_streams[subpic].Insert(s, subpic);
    }

    Seek(0);
    return S_OK;
}

void CMpegSplitterFile::UpdateRate() {
    if (m_rtMin == kUnset || m_rtMax - m_rtMin <= 0) return;
    std::int64_t r = (m_posMax - m_posMin) * 10000000LL / (m_rtMax - m_rtMin);
    if (r <= 0) return;
    if (m_rate == 0 || double(r) / m_rate < 1.1 || std::llabs(std::int64_t(m_rate) - r) < 51200)
        m_rate = DWORD(r);
}

void CMpegSplitterFile::OnComplete() {
    LONGLONG len = GetLength();
    if (SUCCEEDED(SearchStreams(std::max<LONGLONG>(0, len - 512000), len))) UpdateRate();
}

HRESULT CMpegSplitterFile::SearchStreams(LONGLONG start, LONGLONG stop) {
    Seek(start);
    stop = std::min(stop, GetLength());
    while (GetPos() < stop) {
        stop = std::min(stop, GetLength());
        BYTE b = 0;
        if (!NextMpegStartCode(b)) continue;
        if (b == 0xBA) {
            pshdr h;
            Read(h);
        } else if (b == 0xBB) {
            ReadSystemHeader();
        } else if (b >= 0xBD && b <= 0xEF) {
            pesheader h;
            if (!Read(h, b)) continue;
            if (h.type == 2 && h.scrambling) return E_FAIL;
            if (h.fpts) {
                if (m_rtMin == kUnset) {
                    m_rtMin = h.pts;
                    m_posMin = GetPos();
                }
                if (m_rtMin < h.pts && m_rtMax < h.pts) {
                    m_rtMax = h.pts;
                    m_posMax = GetPos();
                }
            }
            LONGLONG pos = GetPos();
            AddStream(0, b, h.len);
            if (h.len) Seek(pos + h.len);
        }
    }
    return S_OK;
}

DWORD CMpegSplitterFile::AddStream(WORD pid, BYTE pesid, DWORD len) {
    SplitterStream s;
    s.pid = pid;
    s.pesid = pesid;
    int type = -1;
    int n = int(std::min<DWORD>(len ? len : 65536, 65536));
    LONGLONG pos = GetPos();

    if (pesid >= 0xE0 && pesid < 0xF0) {
        if (!m_streams[video].Find(s)) {
            seqhdr h;
            if (Read(h, n, &s.mt)) type = video;
        }
    } else if (pesid >= 0xC0 && pesid < 0xE0) {
        if (!m_streams[audio].Find(s)) {
            mpahdr h;
            if (Read(h, n, false, &s.mt)) {
                type = audio;
            } else {
                Seek(pos);
                aachdr a;
                if (Read(a, n, &s.mt)) type = audio;
            }
        }
    } else if ((pesid == 0xBD || pesid == 0xFD) && pid == 0) {
        BYTE b = BYTE(BitRead(8, true));
        WORD w = WORD(BitRead(16, true));
        DWORD dw = DWORD(BitRead(32, true));
        if ((b >= 0x80 && b < 0x88) || w == 0x0B77) {
            if (b >= 0x80 && b < 0x88) {
                s.ps1id = b;
                BitRead(32);
            } else {
                s.ps1id = 0x80;
            }
            if (!m_streams[audio].Find(s)) {
                ac3hdr h;
                if (Read(h, n, &s.mt)) type = audio;
            }
        } else if ((b >= 0x88 && b < 0x90) || dw == 0x7FFE8001) {
            if (b >= 0x88 && b < 0x90) {
                s.ps1id = b;
                BitRead(32);
            } else {
                s.ps1id = 0x88;
            }
            if (!m_streams[audio].Find(s)) {
                dtshdr h;
                if (Read(h, n, &s.mt)) type = audio;
            }
        } else if (b >= 0xA0 && b < 0xA8) {
            s.ps1id = b;
            BitRead(32);
            lpcmhdr h;
            if (Read(h, &s.mt) && !m_streams[audio].Find(s)) type = audio;
        } else if (b >= 0x20 && b < 0x40) {
            s.ps1id = b;
            BitRead(8);
            if (!m_streams[subpic].Find(s)) {
                ReadDvdSubpicture(&s.mt);
                type = subpic;
            }
        } else if (b >= 0x70 && b < 0x80) {
            s.ps1id = b;
            BitRead(8);
            if (!m_streams[subpic].Find(s)) {
                ReadSvcdSubpicture(&s.mt);
                type = subpic;
            }
        } else if (b <= 0x0F) {
            s.ps1id = b;
            BitRead(8);
            if (!m_streams[subpic].Find(s)) {
                ReadCvdSubpicture(&s.mt);
                type = subpic;
            }
        }
    }

    if (type >= 0 && !m_streams[type].Find(s)) {
        std::lock_guard lock(m_csStreams);
        m_streams[type].Insert(s, type);
    }
    return s.GetKey();
}

REFERENCE_TIME CMpegSplitterFile::NextPTS(DWORD key) {
    REFERENCE_TIME rt = -1;
    LONGLONG rtpos = -1;
    while (GetRemaining() > 0) {
        BYTE b = 0;
        if (!NextMpegStartCode(b)) break;
        rtpos = GetPos() - 4;
        if (b >= 0xBD && b < 0xF0) {
            pesheader h;
            if (Read(h, b) && h.len) {
                LONGLONG pos = GetPos();
                if (h.fpts && AddStream(0, b, h.len) == key) {
                    rt = h.pts;
                    break;
                }
                Seek(pos + h.len);
            }
        }
    }
    if (rtpos >= 0) Seek(rtpos);
    if (rt >= 0 && m_rtMin != kUnset) rt -= m_rtMin;
    return rt;
}

CMpegSplitterFile::CStreamList* CMpegSplitterFile::GetMasterStream() {
    if (!m_streams[video].empty()) return &m_streams[video];
    if (!m_streams[audio].empty()) return &m_streams[audio];
    if (!m_streams[subpic].empty()) return &m_streams[subpic];
    return nullptr;
}

namespace {
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

std::string BitRateText(std::uint64_t bps) {
    return bps > 20000000 ? Format("%.2f mbit/s", double(bps) / 1000000)
                          : Format("%.1f kbit/s", double(bps) / 1000);
}

const char* ProfileWord(DWORD p) {
    switch (p) {
    case 5: return "Simple Profile";
    case 4: return "Main Profile";
    case 3: return "SNR Scalable Profile";
    case 2: return "Spatially Scalable Profile";
    case 1: return "High Profile";
    default: return nullptr;
    }
}
const char* LevelWord(DWORD l) {
    switch (l) {
    case 10: return "Low Level";
    case 8: return "Main Level";
    case 6: return "High-1440 Level";
    case 4: return "High Level";
    default: return nullptr;
    }
}
}  // namespace

std::string CMpegSplitterFile::Describe(const CMediaType& mt) {
    std::vector<std::string> parts;
    const char* group = nullptr;

    if (mt.majortype == MEDIATYPE_Video) {
        group = "Video";
        if (mt.subtype == MEDIASUBTYPE_DVD_SUBPICTURE) parts.push_back("DVD Sub Picture");
        else if (mt.subtype == MEDIASUBTYPE_SVCD_SUBPICTURE) parts.push_back("SVCD Sub Picture");
        else if (mt.subtype == MEDIASUBTYPE_CVD_SUBPICTURE) parts.push_back("CVD Sub Picture");

        const VIDEOINFOHEADER* vih = nullptr;
        const VIDEOINFOHEADER2* vih2 = nullptr;
        if (mt.formattype == FORMAT_MPEGVideo && mt.FormatLength() >= sizeof(VIDEOINFOHEADER)) {
            parts.push_back("MPEG");
            vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.Format());
        } else if (mt.formattype == FORMAT_MPEG2Video &&
                   mt.FormatLength() >= offsetof(MPEG2VIDEOINFO, dwSequenceHeader)) {
            auto* mvi = reinterpret_cast<const MPEG2VIDEOINFO*>(mt.Format());
            std::string codec = "MPEG2";
            const char* p = ProfileWord(mvi->dwProfile);
            const char* l = LevelWord(mvi->dwLevel);
            if (p) codec += std::string(" ") + p;
            if (l) codec += std::string(p ? "@" : " ") + l;
            parts.push_back(codec);
            vih2 = &mvi->hdr;
        }
        const BITMAPINFOHEADER* bih = vih ? &vih->bmiHeader : vih2 ? &vih2->bmiHeader : nullptr;
        REFERENCE_TIME atpf = vih ? vih->AvgTimePerFrame : vih2 ? vih2->AvgTimePerFrame : 0;
        DWORD bitrate = vih ? vih->dwBitRate : vih2 ? vih2->dwBitRate : 0;
        if (bih) parts.push_back(Format("%dx%d", int(bih->biWidth), int(bih->biHeight)));
        if (atpf > 0) parts.push_back(Format("%.3f fps", 10000000.0 / double(atpf)));
        if (bitrate) parts.push_back(BitRateText(bitrate));
    } else if (mt.majortype == MEDIATYPE_Audio) {
        group = "Audio";
        const WAVEFORMATEX* wfe = GetWaveFormat(&mt);
        if (mt.subtype == MEDIASUBTYPE_DVD_LPCM_AUDIO) parts.push_back("DVD LPCM");
        else if (wfe && wfe->wFormatTag == WAVE_FORMAT_DTS) parts.push_back("DTS");
        else if (wfe && wfe->wFormatTag == WAVE_FORMAT_DOLBY_AC3) parts.push_back("Dolby Digital");
        else if (wfe && wfe->wFormatTag == WAVE_FORMAT_AAC) parts.push_back("AAC");
        else if (wfe && wfe->wFormatTag == WAVE_FORMAT_MPEGLAYER3) parts.push_back("MP3");
        else if (wfe && wfe->wFormatTag == WAVE_FORMAT_MPEG &&
                 mt.FormatLength() >= sizeof(MPEG1WAVEFORMAT)) {
            auto* f = reinterpret_cast<const MPEG1WAVEFORMAT*>(mt.Format());
            int layer = f->fwHeadLayer == 4 ? 3 : f->fwHeadLayer == 2 ? 2 : 1;
            parts.push_back(Format("MPEG1 - Layer %d", layer));
        }
        if (wfe) {
            if (wfe->nSamplesPerSec) parts.push_back(Format("%.1f kHz", wfe->nSamplesPerSec / 1000.0));
            if (wfe->nChannels) parts.push_back(Format("%d chn", int(wfe->nChannels)));
            if (wfe->wBitsPerSample) parts.push_back(Format("%d bit", int(wfe->wBitsPerSample)));
            if (wfe->nAvgBytesPerSec) parts.push_back(BitRateText(std::uint64_t(wfe->nAvgBytesPerSec) * 8));
        }
    } else if (mt.majortype == MEDIATYPE_Subtitle) {
        group = "Subtitle";
    }

    if (parts.empty() || !group) return {};
    std::string d = std::string(group) + " - ";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) d += ", ";
        d += parts[i];
    }
    return d;
}
