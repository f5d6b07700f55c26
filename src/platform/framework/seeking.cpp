#include "seeking.h"

#include <cmath>

// ================================================================ CPosPassThru

CPosPassThru::CPosPassThru(const char* pName, IUnknown* pUnk, HRESULT* phr, IPin* pPin)
    : CUnknown(pName, pUnk), m_pPin(pPin) {
    if (!pPin && phr) *phr = E_POINTER;
}

CPosPassThru::~CPosPassThru() = default;

HRESULT CPosPassThru::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IMediaSeeking) return GetInterfaceAs<IMediaSeeking>(this, ppv);
    if (riid == IID_IMediaPosition) return GetInterfaceAs<IMediaPosition>(this, ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CPosPassThru::GetPeerSeeking(IMediaSeeking** ppMS) {
    *ppMS = nullptr;
    if (!m_pPin) return E_NOTIMPL;
    IPin* connected = nullptr;
    if (FAILED(m_pPin->ConnectedTo(&connected)) || !connected) return VFW_E_NOT_CONNECTED;
    HRESULT hr = connected->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(ppMS));
    connected->Release();
    if (FAILED(hr) || !*ppMS) {
        *ppMS = nullptr;
        return E_NOTIMPL;
    }
    return S_OK;
}

HRESULT CPosPassThru::GetMediaTime(LONGLONG*, LONGLONG*) { return E_FAIL; }

#define DISCREEL_PASS(call)                       \
    do {                                          \
        IMediaSeeking* ms = nullptr;              \
        HRESULT hrPeer = GetPeerSeeking(&ms);     \
        if (FAILED(hrPeer)) return hrPeer;        \
        HRESULT hrCall = ms->call;                \
        ms->Release();                            \
        return hrCall;                            \
    } while (0)

HRESULT CPosPassThru::GetCapabilities(DWORD* p) { DISCREEL_PASS(GetCapabilities(p)); }
HRESULT CPosPassThru::CheckCapabilities(DWORD* p) { DISCREEL_PASS(CheckCapabilities(p)); }
HRESULT CPosPassThru::IsFormatSupported(const GUID* p) { DISCREEL_PASS(IsFormatSupported(p)); }
HRESULT CPosPassThru::QueryPreferredFormat(GUID* p) { DISCREEL_PASS(QueryPreferredFormat(p)); }
HRESULT CPosPassThru::GetTimeFormat(GUID* p) { DISCREEL_PASS(GetTimeFormat(p)); }
HRESULT CPosPassThru::IsUsingTimeFormat(const GUID* p) { DISCREEL_PASS(IsUsingTimeFormat(p)); }
HRESULT CPosPassThru::SetTimeFormat(const GUID* p) { DISCREEL_PASS(SetTimeFormat(p)); }
HRESULT CPosPassThru::GetDuration(LONGLONG* p) { DISCREEL_PASS(GetDuration(p)); }
HRESULT CPosPassThru::GetStopPosition(LONGLONG* p) { DISCREEL_PASS(GetStopPosition(p)); }
HRESULT CPosPassThru::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                                        const GUID* pSourceFormat) {
    DISCREEL_PASS(ConvertTimeFormat(pTarget, pTargetFormat, Source, pSourceFormat));
}
HRESULT CPosPassThru::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                   DWORD dwStopFlags) {
    DISCREEL_PASS(SetPositions(pCurrent, dwCurrentFlags, pStop, dwStopFlags));
}
HRESULT CPosPassThru::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) {
    DISCREEL_PASS(GetAvailable(pEarliest, pLatest));
}
HRESULT CPosPassThru::SetRate(double dRate) { DISCREEL_PASS(SetRate(dRate)); }
HRESULT CPosPassThru::GetRate(double* pdRate) { DISCREEL_PASS(GetRate(pdRate)); }
HRESULT CPosPassThru::GetPreroll(LONGLONG* p) { DISCREEL_PASS(GetPreroll(p)); }

HRESULT CPosPassThru::GetCurrentPosition(LONGLONG* pCurrent) {
    if (!pCurrent) return E_POINTER;
    LONGLONG start = 0, stop = 0;
    if (GetMediaTime(&start, &stop) == S_OK) {
        *pCurrent = start;
        return S_OK;
    }
    DISCREEL_PASS(GetCurrentPosition(pCurrent));
}

HRESULT CPosPassThru::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) {
    LONGLONG start = 0, stop = 0;
    if (pCurrent && GetMediaTime(&start, &stop) == S_OK) {
        IMediaSeeking* ms = nullptr;
        HRESULT hr = GetPeerSeeking(&ms);
        if (FAILED(hr)) return hr;
        hr = ms->GetPositions(nullptr, pStop);
        ms->Release();
        *pCurrent = start;
        return pStop ? hr : S_OK;
    }
    DISCREEL_PASS(GetPositions(pCurrent, pStop));
}

#undef DISCREEL_PASS

namespace {
REFERENCE_TIME SecondsToTime(REFTIME s) { return REFERENCE_TIME(std::llround(s * double(UNITS))); }
REFTIME TimeToSeconds(REFERENCE_TIME t) { return double(t) / double(UNITS); }
}  // namespace

HRESULT CPosPassThru::get_Duration(REFTIME* plength) {
    if (!plength) return E_POINTER;
    LONGLONG d = 0;
    HRESULT hr = GetDuration(&d);
    if (SUCCEEDED(hr)) *plength = TimeToSeconds(d);
    return hr;
}
HRESULT CPosPassThru::put_CurrentPosition(REFTIME llTime) {
    LONGLONG t = SecondsToTime(llTime);
    return SetPositions(&t, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}
HRESULT CPosPassThru::get_CurrentPosition(REFTIME* pllTime) {
    if (!pllTime) return E_POINTER;
    LONGLONG t = 0;
    HRESULT hr = GetCurrentPosition(&t);
    if (SUCCEEDED(hr)) *pllTime = TimeToSeconds(t);
    return hr;
}
HRESULT CPosPassThru::get_StopTime(REFTIME* pllTime) {
    if (!pllTime) return E_POINTER;
    LONGLONG t = 0;
    HRESULT hr = GetStopPosition(&t);
    if (SUCCEEDED(hr)) *pllTime = TimeToSeconds(t);
    return hr;
}
HRESULT CPosPassThru::put_StopTime(REFTIME llTime) {
    LONGLONG t = SecondsToTime(llTime);
    return SetPositions(nullptr, AM_SEEKING_NoPositioning, &t, AM_SEEKING_AbsolutePositioning);
}
HRESULT CPosPassThru::get_PrerollTime(REFTIME* pllTime) {
    if (!pllTime) return E_POINTER;
    LONGLONG t = 0;
    HRESULT hr = GetPreroll(&t);
    if (SUCCEEDED(hr)) *pllTime = TimeToSeconds(t);
    return hr;
}
HRESULT CPosPassThru::put_PrerollTime(REFTIME) { return E_NOTIMPL; }
HRESULT CPosPassThru::put_Rate(double dRate) { return SetRate(dRate); }
HRESULT CPosPassThru::get_Rate(double* pdRate) { return GetRate(pdRate); }
HRESULT CPosPassThru::CanSeekForward(LONG* p) {
    if (!p) return E_POINTER;
    DWORD caps = AM_SEEKING_CanSeekForwards;
    HRESULT hr = CheckCapabilities(&caps);
    *p = hr == S_OK ? -1 : 0;  // OATRUE / OAFALSE
    return S_OK;
}
HRESULT CPosPassThru::CanSeekBackward(LONG* p) {
    if (!p) return E_POINTER;
    DWORD caps = AM_SEEKING_CanSeekBackwards;
    HRESULT hr = CheckCapabilities(&caps);
    *p = hr == S_OK ? -1 : 0;
    return S_OK;
}

// ================================================================ CRendererPosPassThru

CRendererPosPassThru::CRendererPosPassThru(const char* pName, IUnknown* pUnk, HRESULT* phr, IPin* pPin)
    : CPosPassThru(pName, pUnk, phr, pPin) {}

HRESULT CRendererPosPassThru::RegisterMediaTime(IMediaSample* pMediaSample) {
    if (!pMediaSample) return E_POINTER;
    LONGLONG start = 0, stop = 0;
    HRESULT hr = pMediaSample->GetMediaTime(&start, &stop);
    if (hr != S_OK) {
        hr = pMediaSample->GetTime(&start, &stop);
        if (FAILED(hr)) return hr;
    }
    return RegisterMediaTime(start, stop);
}

HRESULT CRendererPosPassThru::RegisterMediaTime(LONGLONG StartTime, LONGLONG EndTime) {
    std::lock_guard<std::mutex> lk(m_PositionLock);
    m_StartMedia = StartTime;
    m_EndMedia = EndTime;
    m_bReset = FALSE;
    return S_OK;
}

HRESULT CRendererPosPassThru::ResetMediaTime() {
    std::lock_guard<std::mutex> lk(m_PositionLock);
    m_StartMedia = m_EndMedia = 0;
    m_bReset = TRUE;
    return S_OK;
}

HRESULT CRendererPosPassThru::EOS() {
    LONGLONG stop = 0;
    HRESULT hr = GetStopPosition(&stop);
    if (SUCCEEDED(hr)) RegisterMediaTime(stop, stop);
    return hr;
}

HRESULT CRendererPosPassThru::GetMediaTime(LONGLONG* pStartTime, LONGLONG* pEndTime) {
    std::lock_guard<std::mutex> lk(m_PositionLock);
    if (m_bReset) return E_FAIL;
    if (pStartTime) *pStartTime = m_StartMedia;
    if (pEndTime) *pEndTime = m_EndMedia;
    return S_OK;
}

// ================================================================ CSourceSeeking

CSourceSeeking::CSourceSeeking(const char* pName, IUnknown* pUnk, HRESULT*, CCritSec* pLock)
    : CUnknown(pName, pUnk), m_pLock(pLock) {
    m_rtStop = REFERENCE_TIME(0x7FFFFFFFFFFFFFFF);
    m_rtDuration = m_rtStop;
}

HRESULT CSourceSeeking::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IMediaSeeking) return GetInterfaceAs<IMediaSeeking>(this, ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CSourceSeeking::IsFormatSupported(const GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}
HRESULT CSourceSeeking::QueryPreferredFormat(GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    *pFormat = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}
HRESULT CSourceSeeking::SetTimeFormat(const GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}
HRESULT CSourceSeeking::IsUsingTimeFormat(const GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}
HRESULT CSourceSeeking::GetTimeFormat(GUID* pFormat) {
    if (!pFormat) return E_POINTER;
    *pFormat = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}
HRESULT CSourceSeeking::GetDuration(LONGLONG* pDuration) {
    if (!pDuration) return E_POINTER;
    CAutoLock lock(m_pLock);
    *pDuration = m_rtDuration;
    return S_OK;
}
HRESULT CSourceSeeking::GetStopPosition(LONGLONG* pStop) {
    if (!pStop) return E_POINTER;
    CAutoLock lock(m_pLock);
    *pStop = m_rtStop;
    return S_OK;
}
HRESULT CSourceSeeking::GetCurrentPosition(LONGLONG*) { return E_NOTIMPL; }
HRESULT CSourceSeeking::GetCapabilities(DWORD* pCapabilities) {
    if (!pCapabilities) return E_POINTER;
    *pCapabilities = m_dwSeekingCaps;
    return S_OK;
}
HRESULT CSourceSeeking::CheckCapabilities(DWORD* pCapabilities) {
    if (!pCapabilities) return E_POINTER;
    DWORD asked = *pCapabilities;
    *pCapabilities &= m_dwSeekingCaps;
    if (*pCapabilities == asked) return S_OK;
    return *pCapabilities ? S_FALSE : E_FAIL;
}
HRESULT CSourceSeeking::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                                          const GUID* pSourceFormat) {
    if (!pTarget) return E_POINTER;
    auto isMedia = [](const GUID* f) { return !f || *f == TIME_FORMAT_MEDIA_TIME; };
    if (isMedia(pTargetFormat) && isMedia(pSourceFormat)) {
        *pTarget = Source;
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT CSourceSeeking::SetPositions(LONGLONG* pCurrent, DWORD CurrentFlags, LONGLONG* pStop,
                                     DWORD StopFlags) {
    DWORD startBits = CurrentFlags & AM_SEEKING_PositioningBitsMask;
    DWORD stopBits = StopFlags & AM_SEEKING_PositioningBitsMask;
    if (startBits && !pCurrent) return E_POINTER;
    if (stopBits && !pStop) return E_POINTER;
    bool startChanged = false, stopChanged = false;
    {
        CAutoLock lock(m_pLock);
        REFERENCE_TIME start = m_rtStart, stop = m_rtStop;
        if (startBits == AM_SEEKING_AbsolutePositioning)
            start = *pCurrent;
        else if (startBits == AM_SEEKING_RelativePositioning || startBits == AM_SEEKING_IncrementalPositioning)
            start += *pCurrent;
        if (stopBits == AM_SEEKING_AbsolutePositioning)
            stop = *pStop;
        else if (stopBits == AM_SEEKING_IncrementalPositioning)
            stop = start + *pStop;
        else if (stopBits == AM_SEEKING_RelativePositioning)
            stop += *pStop;
        if (startBits) {
            startChanged = true;
            m_rtStart = start;
            if (CurrentFlags & AM_SEEKING_ReturnTime) *pCurrent = start;
        }
        if (stopBits) {
            stopChanged = true;
            m_rtStop = stop;
            if (StopFlags & AM_SEEKING_ReturnTime) *pStop = stop;
        }
    }
    HRESULT hr = S_OK;
    if (startChanged) hr = ChangeStart();
    if (stopChanged && SUCCEEDED(hr)) hr = ChangeStop();
    return hr;
}

HRESULT CSourceSeeking::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) {
    CAutoLock lock(m_pLock);
    if (pCurrent) *pCurrent = m_rtStart;
    if (pStop) *pStop = m_rtStop;
    return S_OK;
}
HRESULT CSourceSeeking::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) {
    if (pEarliest) *pEarliest = 0;
    if (pLatest) {
        CAutoLock lock(m_pLock);
        *pLatest = m_rtDuration;
    }
    return S_OK;
}
HRESULT CSourceSeeking::SetRate(double dRate) {
    if (dRate <= 0.0) return E_INVALIDARG;
    {
        CAutoLock lock(m_pLock);
        m_dRateSeeking = dRate;
    }
    return ChangeRate();
}
HRESULT CSourceSeeking::GetRate(double* pdRate) {
    if (!pdRate) return E_POINTER;
    CAutoLock lock(m_pLock);
    *pdRate = m_dRateSeeking;
    return S_OK;
}
HRESULT CSourceSeeking::GetPreroll(LONGLONG* pPreroll) {
    if (!pPreroll) return E_POINTER;
    *pPreroll = 0;
    return S_OK;
}
