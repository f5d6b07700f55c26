#include "mediatype.h"

#include <cstring>
#include <sstream>

bool CMediaType::operator==(const CMediaType& rt) const {
    return majortype == rt.majortype && subtype == rt.subtype && formattype == rt.formattype &&
           bFixedSizeSamples == rt.bFixedSizeSamples &&
           bTemporalCompression == rt.bTemporalCompression && lSampleSize == rt.lSampleSize &&
           format_ == rt.format_;
}

HRESULT CMediaType::Set(const CMediaType& rt) {
    if (&rt != this) *this = rt;
    return S_OK;
}

void CMediaType::SetSampleSize(ULONG sz) {
    if (sz == 0) {
        SetVariableSize();
    } else {
        bFixedSizeSamples = TRUE;
        lSampleSize = sz;
    }
}

BOOL CMediaType::SetFormat(const BYTE* pFormat, ULONG length) {
    if (pFormat == nullptr) {
        format_.assign(length, 0);
    } else {
        // The source may lie inside our own block: copy before replacing.
        std::vector<BYTE> copy(pFormat, pFormat + length);
        format_.swap(copy);
    }
    return TRUE;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
    format_.assign(length, 0);
    return Format();
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG length) {
    format_.resize(length, 0);
    return Format();
}

void CMediaType::InitMediaType() { *this = CMediaType(); }

BOOL CMediaType::IsPartiallySpecified() const {
    return majortype == GUID_NULL || formattype == GUID_NULL;
}

BOOL CMediaType::MatchesPartial(const CMediaType* ppartial) const {
    if (!ppartial) return FALSE;
    if (ppartial->majortype != GUID_NULL && majortype != ppartial->majortype) return FALSE;
    if (ppartial->subtype != GUID_NULL && subtype != ppartial->subtype) return FALSE;
    if (ppartial->formattype != GUID_NULL) {
        if (formattype != ppartial->formattype) return FALSE;
        if (format_ != ppartial->format_) return FALSE;
    }
    return TRUE;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* pSrc) {
    return pSrc ? new AM_MEDIA_TYPE(*pSrc) : new AM_MEDIA_TYPE();
}

void DeleteMediaType(AM_MEDIA_TYPE* pmt) { delete pmt; }

void FreeMediaType(AM_MEDIA_TYPE& mt) { mt.ResetFormatBuffer(); }

HRESULT CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource) {
    if (!pmtTarget || !pmtSource) return E_POINTER;
    *pmtTarget = *pmtSource;
    return S_OK;
}

namespace {

// Offset of the picture header for the video format types, or -1.
long PictureHeaderOffset(const GUID& ft) {
    if (ft == FORMAT_VideoInfo || ft == FORMAT_MPEGVideo) return offsetof(VIDEOINFOHEADER, bmiHeader);
    if (ft == FORMAT_VideoInfo2 || ft == FORMAT_MPEG2Video) return offsetof(VIDEOINFOHEADER2, bmiHeader);
    return -1;
}
}  // namespace

BITMAPINFOHEADER* GetBitmapInfoHeader(CMediaType* pmt) {
    return const_cast<BITMAPINFOHEADER*>(GetBitmapInfoHeader(static_cast<const CMediaType*>(pmt)));
}

const BITMAPINFOHEADER* GetBitmapInfoHeader(const CMediaType* pmt) {
    if (!pmt) return nullptr;
    long off = PictureHeaderOffset(pmt->formattype);
    if (off < 0 || pmt->FormatLength() < ULONG(off) + sizeof(BITMAPINFOHEADER)) return nullptr;
    return reinterpret_cast<const BITMAPINFOHEADER*>(pmt->Format() + off);
}

const WAVEFORMATEX* GetWaveFormat(const CMediaType* pmt) {
    if (!pmt || pmt->formattype != FORMAT_WaveFormatEx || pmt->FormatLength() < sizeof(WAVEFORMATEX))
        return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(pmt->Format());
}

std::string MediaTypeToString(const CMediaType& mt) {
    std::ostringstream os;
    os << "major " << GuidToString(mt.majortype) << " sub " << GuidToString(mt.subtype)
       << " format " << GuidToString(mt.formattype) << " (" << mt.FormatLength() << " bytes)";
    if (const BITMAPINFOHEADER* bih = GetBitmapInfoHeader(&mt))
        os << " " << bih->biWidth << "x" << bih->biHeight << "x" << bih->biBitCount;
    if (const WAVEFORMATEX* wf = GetWaveFormat(&mt))
        os << " tag " << wf->wFormatTag << " " << wf->nChannels << "ch " << wf->nSamplesPerSec << "Hz "
           << wf->wBitsPerSample << "bit";
    return os.str();
}
