#include "platform/codecs/video_renderer.h"

#include <cstring>
#include <numeric>

#include "platform/codecs/memory_dc.h"
#include "platform/framework/mediatype.h"

CUnknown* CVideoMixingRenderer::CreateInstance(IUnknown* pUnk, HRESULT* phr) {
    return new CVideoMixingRenderer(pUnk, phr);
}

CVideoMixingRenderer::CVideoMixingRenderer(IUnknown* pUnk, HRESULT* phr)
    : CBaseRenderer(CLSID_VideoMixingRenderer, "Video Mixing Renderer", pUnk, phr) {}

CVideoMixingRenderer::~CVideoMixingRenderer() = default;

HRESULT CVideoMixingRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IVMRFilterConfig) return GetInterfaceAs<IVMRFilterConfig>(this, ppv);
    if (riid == IID_IVMRWindowlessControl) return GetInterfaceAs<IVMRWindowlessControl>(this, ppv);
    if (riid == IID_IVMRMixerBitmap) return GetInterfaceAs<IVMRMixerBitmap>(this, ppv);
    return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CVideoMixingRenderer::CheckMediaType(const CMediaType* pmt) {
    if (!pmt || pmt->majortype != MEDIATYPE_Video || pmt->subtype != MEDIASUBTYPE_YV12)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (pmt->formattype != FORMAT_VideoInfo2 && pmt->formattype != FORMAT_VideoInfo)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const BITMAPINFOHEADER* bmi = GetBitmapInfoHeader(pmt);
    if (!bmi || bmi->biWidth <= 0 || bmi->biHeight <= 0 || (bmi->biWidth & 1) ||
        (bmi->biHeight & 1))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CVideoMixingRenderer::SetMediaType(const CMediaType* pmt) {
    const BITMAPINFOHEADER* bmi = GetBitmapInfoHeader(pmt);
    if (!bmi) return VFW_E_TYPE_NOT_ACCEPTED;
    m_stride = bmi->biWidth;
    m_height = bmi->biHeight;
    m_width = bmi->biWidth;
    m_aspectX = m_aspectY = 0;
    if (pmt->formattype == FORMAT_VideoInfo2 && pmt->FormatLength() >= sizeof(VIDEOINFOHEADER2)) {
        VIDEOINFOHEADER2 vih;
        std::memcpy(&vih, pmt->Format(), sizeof(vih));
        // The picture may be narrower than its rows.
        if (vih.rcSource.Width() > 0 && vih.rcSource.right <= m_stride)
            m_width = vih.rcSource.right;
        m_aspectX = int(vih.dwPictAspectRatioX);
        m_aspectY = int(vih.dwPictAspectRatioY);
    } else if (pmt->FormatLength() >= sizeof(VIDEOINFOHEADER)) {
        VIDEOINFOHEADER vih;
        std::memcpy(&vih, pmt->Format(), sizeof(vih));
        if (vih.rcSource.Width() > 0 && vih.rcSource.right <= m_stride)
            m_width = vih.rcSource.right;
    }
    return S_OK;
}

HRESULT CVideoMixingRenderer::ShowSample(IMediaSample* pSample) {
    BYTE* data = nullptr;
    if (FAILED(pSample->GetPointer(&data)) || !data || m_stride <= 0) return E_UNEXPECTED;
    if (size_t(pSample->GetActualDataLength()) < codecs::Yv12Size(m_stride, m_height))
        return S_OK;  // a short sample is not a picture: keep the last one
    m_composer.SetPicture(codecs::Yv12View(data, m_width & ~1, m_height, m_stride), m_aspectX,
                          m_aspectY);
    {
        std::lock_guard lock(m_pictureLock);
        ++m_pictureSerial;
    }
    m_pictureCv.notify_all();
    HWND hwnd;
    {
        std::lock_guard lock(m_controlLock);
        hwnd = m_hwnd;
    }
    // The window repaints on its own thread and calls RepaintVideo from its paint.
    if (hwnd) hwnd->Invalidate();
    return S_OK;
}

HRESULT CVideoMixingRenderer::DoRenderSample(IMediaSample* pMediaSample) {
    return ShowSample(pMediaSample);
}

void CVideoMixingRenderer::OnReceiveFirstSample(IMediaSample* pMediaSample) {
    ShowSample(pMediaSample);
}

HRESULT CVideoMixingRenderer::GetState(DWORD dwMSecs, FILTER_STATE* State) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMSecs);
    HRESULT hr = CBaseRenderer::GetState(dwMSecs, State);
    if (hr != S_OK || *State != State_Paused || IsEndOfStream() || !m_pInputPin ||
        !m_pInputPin->IsConnected())
        return hr;
    // The base marks the pause complete as the sample arrives, a moment before
    // the picture is taken from it.
    std::unique_lock lock(m_pictureLock);
    if (!m_pictureCv.wait_until(lock, deadline,
                                [&] { return m_pictureSerial > m_cueSerial || IsEndOfStream(); }))
        return VFW_S_STATE_INTERMEDIATE;
    return S_OK;
}

HRESULT CVideoMixingRenderer::Pause() {
    {
        // Cueing from stopped waits for the next picture, not the one still
        // held from before; pausing a running stream keeps what it shows.
        std::lock_guard lock(m_pictureLock);
        if (State() == State_Stopped) m_cueSerial = m_pictureSerial;
    }
    return CBaseRenderer::Pause();
}

HRESULT CVideoMixingRenderer::EndFlush() {
    {
        // A seek while paused shows the picture at the new position.
        std::lock_guard lock(m_pictureLock);
        if (State() == State_Paused) m_cueSerial = m_pictureSerial;
    }
    return CBaseRenderer::EndFlush();
}

// ---------------------------------------------------------------- IVMRFilterConfig

HRESULT CVideoMixingRenderer::SetImageCompositor(IUnknown*) {
    return E_NOTIMPL;
}

HRESULT CVideoMixingRenderer::SetNumberOfStreams(DWORD dwMaxStreams) {
    // One picture stream is all this renderer mixes.
    if (dwMaxStreams != 1) return E_INVALIDARG;
    m_streams = dwMaxStreams;
    return S_OK;
}

HRESULT CVideoMixingRenderer::GetNumberOfStreams(DWORD* p) {
    if (!p) return E_POINTER;
    *p = m_streams;
    return S_OK;
}

HRESULT CVideoMixingRenderer::SetRenderingPrefs(DWORD dwRenderFlags) {
    m_prefs = dwRenderFlags;
    return S_OK;
}

HRESULT CVideoMixingRenderer::GetRenderingPrefs(DWORD* p) {
    if (!p) return E_POINTER;
    *p = m_prefs;
    return S_OK;
}

HRESULT CVideoMixingRenderer::SetRenderingMode(DWORD Mode) {
    if (Mode != VMRMode_Windowed && Mode != VMRMode_Windowless) return E_INVALIDARG;
    std::lock_guard lock(m_controlLock);
    m_mode = Mode;
    return S_OK;
}

HRESULT CVideoMixingRenderer::GetRenderingMode(DWORD* p) {
    if (!p) return E_POINTER;
    std::lock_guard lock(m_controlLock);
    *p = m_mode;
    return S_OK;
}

// ---------------------------------------------------------------- IVMRWindowlessControl

HRESULT CVideoMixingRenderer::GetNativeVideoSize(LONG* w, LONG* h, LONG* arW, LONG* arH) {
    SIZE size = m_composer.NativeSize();
    if (size.cx == 0) size = SIZE{m_width, m_height};
    SIZE ar = m_composer.HasPicture() ? m_composer.AspectRatio() : SIZE{m_aspectX, m_aspectY};
    if (ar.cx <= 0 || ar.cy <= 0) ar = size;
    if (w) *w = size.cx;
    if (h) *h = size.cy;
    if (arW) *arW = ar.cx;
    if (arH) *arH = ar.cy;
    return S_OK;
}

HRESULT CVideoMixingRenderer::GetMinIdealVideoSize(LONG* w, LONG* h) {
    if (w) *w = 1;
    if (h) *h = 1;
    return S_OK;
}

HRESULT CVideoMixingRenderer::GetMaxIdealVideoSize(LONG* w, LONG* h) {
    if (w) *w = 8192;
    if (h) *h = 8192;
    return S_OK;
}

HRESULT CVideoMixingRenderer::SetVideoPosition(const RECT* src, const RECT* dst) {
    if (src) m_composer.SetSourceRect(*src);
    if (dst) m_composer.SetDestRect(*dst);
    return S_OK;
}

HRESULT CVideoMixingRenderer::GetVideoPosition(RECT* src, RECT* dst) {
    if (src) *src = m_composer.SourceRect();
    if (dst) *dst = m_composer.DestRect();
    return S_OK;
}

HRESULT CVideoMixingRenderer::GetAspectRatioMode(DWORD* p) {
    if (!p) return E_POINTER;
    *p = m_composer.GetAspectMode() == codecs::AspectMode::LetterBox ? VMR_ARMODE_LETTER_BOX
                                                                     : VMR_ARMODE_NONE;
    return S_OK;
}

HRESULT CVideoMixingRenderer::SetAspectRatioMode(DWORD mode) {
    if (mode != VMR_ARMODE_NONE && mode != VMR_ARMODE_LETTER_BOX) return E_INVALIDARG;
    m_composer.SetAspectMode(mode == VMR_ARMODE_LETTER_BOX ? codecs::AspectMode::LetterBox
                                                           : codecs::AspectMode::Stretch);
    return S_OK;
}

HRESULT CVideoMixingRenderer::SetVideoClippingWindow(HWND hwnd) {
    std::lock_guard lock(m_controlLock);
    m_hwnd = hwnd;
    return S_OK;
}

HRESULT CVideoMixingRenderer::RepaintVideo(HWND, HDC hdc) {
    if (!hdc) return E_POINTER;
    m_composer.Paint(*hdc);
    return S_OK;
}

HRESULT CVideoMixingRenderer::DisplayModeChanged() {
    return S_OK;
}

HRESULT CVideoMixingRenderer::GetCurrentImage(BYTE** lpDib) {
    if (!lpDib) return E_POINTER;
    *lpDib = nullptr;
    std::vector<uint32_t> pixels;
    int w = 0, h = 0;
    if (!m_composer.NativeImage(pixels, w, h)) return E_FAIL;
    const std::vector<BYTE> dib = codecs::PackDib(pixels.data(), w, h);
    auto* out = static_cast<BYTE*>(CoTaskMemAlloc(dib.size()));
    if (!out) return E_OUTOFMEMORY;
    std::memcpy(out, dib.data(), dib.size());
    *lpDib = out;
    return S_OK;
}

HRESULT CVideoMixingRenderer::SetBorderColor(COLORREF c) {
    m_composer.SetBorderColor(c);
    return S_OK;
}

HRESULT CVideoMixingRenderer::GetBorderColor(COLORREF* p) {
    if (!p) return E_POINTER;
    *p = m_composer.BorderColor();
    return S_OK;
}

HRESULT CVideoMixingRenderer::SetColorKey(COLORREF c) {
    std::lock_guard lock(m_controlLock);
    m_colorKey = c;
    return S_OK;
}

HRESULT CVideoMixingRenderer::GetColorKey(COLORREF* p) {
    if (!p) return E_POINTER;
    std::lock_guard lock(m_controlLock);
    *p = m_colorKey;
    return S_OK;
}

// ---------------------------------------------------------------- IVMRMixerBitmap

HRESULT CVideoMixingRenderer::SetAlphaBitmap(const VMRALPHABITMAP* p) {
    if (!p) return E_POINTER;
    std::lock_guard lock(m_controlLock);
    if (p->dwFlags & VMRBITMAP_DISABLE) {
        m_bitmapSet = false;
        m_bitmapPixels.clear();
        m_composer.SetOverlay(std::nullopt);
        return S_OK;
    }
    // Only memory drawing surfaces can be read back.
    if (!(p->dwFlags & VMRBITMAP_HDC) || !p->hdc) return E_INVALIDARG;
    auto* dc = dynamic_cast<CMemoryDC*>(p->hdc);
    if (!dc) return E_INVALIDARG;
    RECT src = p->rSrc;
    if (src.Width() <= 0 || src.Height() <= 0) src = RECT{0, 0, dc->Width(), dc->Height()};
    src.left = std::max<LONG>(0, src.left);
    src.top = std::max<LONG>(0, src.top);
    src.right = std::min<LONG>(dc->Width(), src.right);
    src.bottom = std::min<LONG>(dc->Height(), src.bottom);
    if (src.Width() <= 0 || src.Height() <= 0) return E_INVALIDARG;
    if (p->fAlpha < 0.0f || p->fAlpha > 1.0f) return E_INVALIDARG;
    m_bitmapWidth = src.Width();
    m_bitmapHeight = src.Height();
    m_bitmapPixels.resize(size_t(m_bitmapWidth) * m_bitmapHeight);
    for (int y = 0; y < m_bitmapHeight; ++y)
        for (int x = 0; x < m_bitmapWidth; ++x)
            m_bitmapPixels[size_t(y) * m_bitmapWidth + x] = dc->Pixel(src.left + x, src.top + y);
    m_bitmapParams = *p;
    m_bitmapParams.hdc = nullptr;  // the pixels were copied; the surface is the caller's
    m_bitmapSet = true;
    ApplyOverlayLocked();
    return S_OK;
}

HRESULT CVideoMixingRenderer::UpdateAlphaBitmapParameters(const VMRALPHABITMAP* p) {
    if (!p) return E_POINTER;
    std::lock_guard lock(m_controlLock);
    if (p->dwFlags & VMRBITMAP_DISABLE) {
        m_bitmapSet = false;
        m_composer.SetOverlay(std::nullopt);
        return S_OK;
    }
    if (!m_bitmapSet) return E_UNEXPECTED;
    if (p->fAlpha < 0.0f || p->fAlpha > 1.0f) return E_INVALIDARG;
    // The bitmap stays; placement, blending and key change.
    m_bitmapParams.dwFlags = p->dwFlags;
    m_bitmapParams.rDest = p->rDest;
    m_bitmapParams.fAlpha = p->fAlpha;
    m_bitmapParams.clrSrcKey = p->clrSrcKey;
    ApplyOverlayLocked();
    return S_OK;
}

HRESULT CVideoMixingRenderer::GetAlphaBitmapParameters(VMRALPHABITMAP* p) {
    if (!p) return E_POINTER;
    std::lock_guard lock(m_controlLock);
    if (m_bitmapSet) {
        *p = m_bitmapParams;
    } else {
        *p = VMRALPHABITMAP{};
        p->dwFlags = VMRBITMAP_DISABLE;
    }
    return S_OK;
}

void CVideoMixingRenderer::ApplyOverlayLocked() {
    codecs::OverlayBitmap o;
    o.pixels = m_bitmapPixels;
    o.width = m_bitmapWidth;
    o.height = m_bitmapHeight;
    o.left = m_bitmapParams.rDest.left;
    o.top = m_bitmapParams.rDest.top;
    o.right = m_bitmapParams.rDest.right;
    o.bottom = m_bitmapParams.rDest.bottom;
    o.alpha = m_bitmapParams.fAlpha;
    o.useColorKey = (m_bitmapParams.dwFlags & VMRBITMAP_SRCCOLORKEY) != 0;
    o.colorKey = m_bitmapParams.clrSrcKey;
    m_composer.SetOverlay(std::move(o));
}
