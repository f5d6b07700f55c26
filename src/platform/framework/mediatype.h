#pragma once
// The media type a connection agrees on: major type, subtype, format type and
// the format block, which the type owns. AM_MEDIA_TYPE is this same value type,
// so a type can be copied, compared and stored without any manual freeing.
#include <string>
#include <vector>

#include "formats.h"
#include "guids.h"
#include "platform/com/hresult.h"

class CMediaType {
public:
    GUID majortype{};
    GUID subtype{};
    BOOL bFixedSizeSamples = TRUE;
    BOOL bTemporalCompression = FALSE;
    ULONG lSampleSize = 1;
    GUID formattype{};

    CMediaType() = default;
    explicit CMediaType(const GUID* type) { majortype = *type; }
    CMediaType(const CMediaType&) = default;
    CMediaType(CMediaType&&) noexcept = default;
    CMediaType& operator=(const CMediaType&) = default;
    CMediaType& operator=(CMediaType&&) noexcept = default;
    ~CMediaType() = default;

    // Every field and the format bytes equal.
    bool operator==(const CMediaType& rt) const;
    bool operator!=(const CMediaType& rt) const { return !(*this == rt); }

    // Copies another type (a null pointer leaves this unchanged and fails).
    HRESULT Set(const CMediaType& rt);
    BOOL IsValid() const { return majortype != GUID_NULL; }

    const GUID* Type() const { return &majortype; }
    void SetType(const GUID* ptype) { majortype = *ptype; }
    const GUID* Subtype() const { return &subtype; }
    void SetSubtype(const GUID* ptype) { subtype = *ptype; }
    const GUID* FormatType() const { return &formattype; }
    void SetFormatType(const GUID* pformattype) { formattype = *pformattype; }

    BOOL IsFixedSize() const { return bFixedSizeSamples; }
    BOOL IsTemporalCompressed() const { return bTemporalCompression; }
    ULONG GetSampleSize() const { return bFixedSizeSamples ? lSampleSize : 0; }
    void SetSampleSize(ULONG sz);
    void SetVariableSize() { bFixedSizeSamples = FALSE; }
    void SetTemporalCompression(BOOL bCompressed) { bTemporalCompression = bCompressed; }

    // The format block (null when there is none).
    BYTE* Format() { return format_.empty() ? nullptr : format_.data(); }
    const BYTE* Format() const { return format_.empty() ? nullptr : format_.data(); }
    ULONG FormatLength() const { return ULONG(format_.size()); }
    // Replaces the block with a copy of length bytes at pFormat (null: zeros).
    BOOL SetFormat(const BYTE* pFormat, ULONG length);
    // Resets the block to length zero bytes; returns it.
    BYTE* AllocFormatBuffer(ULONG length);
    // Resizes the block keeping its leading bytes; new bytes are zero.
    BYTE* ReallocFormatBuffer(ULONG length);
    void ResetFormatBuffer() { format_.clear(); }

    // Empties the type (GUID_NULLs, fixed size 1, no block).
    void InitMediaType();
    // True when the major type or the format type is GUID_NULL: such a type
    // only narrows down the types a connection tries.
    BOOL IsPartiallySpecified() const;
    // True when every field that the given type specifies (non-null GUIDs,
    // and the format when it has a format type) matches this one.
    BOOL MatchesPartial(const CMediaType* ppartial) const;

private:
    std::vector<BYTE> format_;
};
using AM_MEDIA_TYPE = CMediaType;

// Heap helpers with the usual names: CreateMediaType copies to a new object
// that DeleteMediaType frees; FreeMediaType empties a type in place.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* pSrc);
void DeleteMediaType(AM_MEDIA_TYPE* pmt);
void FreeMediaType(AM_MEDIA_TYPE& mt);
HRESULT CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource);

// The picture header inside a video type's format block for the four video
// format types (VideoInfo, VideoInfo2, MPEGVideo, MPEG2Video); null for other
// format types or a block too short to hold it.
BITMAPINFOHEADER* GetBitmapInfoHeader(CMediaType* pmt);
const BITMAPINFOHEADER* GetBitmapInfoHeader(const CMediaType* pmt);
// The wave format of an audio type with FORMAT_WaveFormatEx; null otherwise.
const WAVEFORMATEX* GetWaveFormat(const CMediaType* pmt);
// Readable dump for logs and test messages.
std::string MediaTypeToString(const CMediaType& mt);
