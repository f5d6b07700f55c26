#pragma once
// Seeking helpers. CPosPassThru answers IMediaSeeking and IMediaPosition of a
// pin or filter by asking the pin connected to a given input pin (so a seek on
// a renderer or transform travels upstream to the source). CSourceSeeking is
// the IMediaSeeking of a push source that keeps start, stop and rate.
#include <mutex>

#include "platform/com/cunknown.h"
#include "filter.h"

class CPosPassThru : public CUnknown, public IMediaSeeking, public IMediaPosition {
public:
    // pUnk: the owner that aggregates this object (its QueryInterface answers
    // for both); pPin: the input pin whose upstream peer is asked (not referenced).
    CPosPassThru(const char* pName, IUnknown* pUnk, HRESULT* phr, IPin* pPin);
    ~CPosPassThru() override;
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMediaSeeking (each forwards; E_NOTIMPL when the peer has no seeking,
    // VFW_E_NOT_CONNECTED when the pin is not connected)
    DECLARE_IMEDIASEEKING

    // IMediaPosition (seconds; through the peer's IMediaSeeking in media time)
    DECLARE_IMEDIAPOSITION

    // A different input pin to ask from now on.
    HRESULT ForceRefresh() { return S_OK; }
    void SetPin(IPin* pPin) { m_pPin = pPin; }

protected:
    // The upstream peer's seeking interface (referenced), or an error.
    HRESULT GetPeerSeeking(IMediaSeeking** ppMS);
    // The current position the peer reports; renderers refine it.
    virtual HRESULT GetMediaTime(LONGLONG* pStartTime, LONGLONG* pEndTime);

    IPin* m_pPin;
};

// Pass-through for renderers: the current position is the media time (or
// stream time) of the last sample the renderer rendered, when it has one.
class CRendererPosPassThru : public CPosPassThru {
public:
    CRendererPosPassThru(const char* pName, IUnknown* pUnk, HRESULT* phr, IPin* pPin);
    // Remembers the sample's start time as the current position.
    HRESULT RegisterMediaTime(IMediaSample* pMediaSample);
    HRESULT RegisterMediaTime(LONGLONG StartTime, LONGLONG EndTime);
    HRESULT ResetMediaTime();  // after a flush or stop
    // The end of stream: the position stays at the stop position.
    HRESULT EOS();

protected:
    HRESULT GetMediaTime(LONGLONG* pStartTime, LONGLONG* pEndTime) override;

private:
    std::mutex m_PositionLock;
    LONGLONG m_StartMedia = 0, m_EndMedia = 0;
    BOOL m_bReset = TRUE;
};

// IMediaSeeking of a source that produces its own times. Derived classes act
// on changes in ChangeStart/ChangeStop/ChangeRate (typically: flush, restart
// the worker at m_rtStart).
class CSourceSeeking : public IMediaSeeking, public CUnknown {
public:
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // GetCurrentPosition answers E_NOTIMPL: only the renderers know it.
    DECLARE_IMEDIASEEKING

protected:
    CSourceSeeking(const char* pName, IUnknown* pUnk, HRESULT* phr, CCritSec* pLock);
    virtual HRESULT ChangeStart() = 0;
    virtual HRESULT ChangeStop() = 0;
    virtual HRESULT ChangeRate() = 0;

    CRefTime m_rtDuration = 0;
    CRefTime m_rtStart = 0;
    CRefTime m_rtStop = 0;
    double m_dRateSeeking = 1.0;
    DWORD m_dwSeekingCaps = AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
                            AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanGetStopPos |
                            AM_SEEKING_CanGetDuration;
    CCritSec* m_pLock;
};
