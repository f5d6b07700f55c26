#pragma once
// The program-stream demultiplexer of every pipeline: pulls the DVD title
// stream, offers one video, one audio and one subtitle output, lets the
// pipelines pick streams and hand it the title record and the play range.
#include "demux/base_splitter.h"
#include "demux/mpeg_splitter_file.h"
#include "platform/libdvd/libdvd.h"

struct IMyMpegSplitter : IUnknown {
    // Copies the title's record; call before the input connects (it steers the scan).
    virtual HRESULT SetTitleInfo(DvdTitleInfo* pInfo) = 0;
    // Milliseconds: where delivery starts, how long it lasts, the title's length.
    virtual HRESULT SetPlayRange(LONGLONG startMs, LONGLONG lengthMs, LONGLONG durationMs) = 0;
};
DISCREEL_DECLARE_IID(IMyMpegSplitter, "{FB644229-D658-40AB-838D-619AD5A2DEB1}");

inline constexpr CLSID CLSID_MpegSplitter = MakeGuid("{DC257063-045F-4BE2-BD5B-E12279C464F0}");

class CMpegSplitterFilter : public CBaseSplitterFilter, public IAMStreamSelect, public IMyMpegSplitter {
public:
    CMpegSplitterFilter(IUnknown* pUnk, HRESULT* phr);
    ~CMpegSplitterFilter() override;
    // A new filter with one reference, or E_OUTOFMEMORY.
    static HRESULT Create(CMpegSplitterFilter** ppFilter);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMyMpegSplitter
    HRESULT SetTitleInfo(DvdTitleInfo* pInfo) override;
    HRESULT SetPlayRange(LONGLONG startMs, LONGLONG lengthMs, LONGLONG durationMs) override;

    // IAMStreamSelect
    HRESULT Count(DWORD* pcStreams) override;
    HRESULT Info(long lIndex, AM_MEDIA_TYPE** ppmt, DWORD* pdwFlags, LCID* plcid, DWORD* pdwGroup,
                 std::string* ppszName, IUnknown** ppObject, IUnknown** ppUnk) override;
    HRESULT Enable(long lIndex, DWORD dwFlags) override;

    // IMediaSeeking: the play length is the duration.
    HRESULT GetDuration(LONGLONG* pDuration) override;
    HRESULT GetCurrentPosition(LONGLONG* pCurrent) override;

    CMpegSplitterFile* File() const { return m_pFile.get(); }

protected:
    HRESULT CreateOutputs(IAsyncReader* pAsyncReader) override;
    bool DemuxInit() override;
    void DemuxSeek(REFERENCE_TIME rt) override;
    bool DemuxLoop() override;
    HRESULT DemuxNextPacket(REFERENCE_TIME rtStartOffset);

    std::unique_ptr<CMpegSplitterFile> m_pFile;
    DvdTitleInfo m_titleInfo{};
    REFERENCE_TIME m_rtPlayStart = 0, m_rtPlayLength = 0, m_rtTitleDuration = 0;
    REFERENCE_TIME m_rtStartOffset = 0;
};
