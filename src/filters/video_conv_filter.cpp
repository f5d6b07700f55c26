#include "filters/video_conv_filter.h"

#include <algorithm>

CMyVideoConveFilter::CMyVideoConveFilter(IUnknown* pUnk, HRESULT* phr)
    : CTransformFilter("", pUnk, CLSID_MyVideoConveFilter) {
    GetHueTables();  // built once, before any streaming thread needs them
    if (phr) *phr = S_OK;
}

CMyVideoConveFilter::~CMyVideoConveFilter() = default;

CUnknown* CMyVideoConveFilter::CreateInstance(IUnknown* pUnk, HRESULT* phr) {
    return new CMyVideoConveFilter(pUnk, phr);
}

HRESULT CMyVideoConveFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IMyVideoConvFilter) return GetInterfaceAs<IMyVideoConvFilter>(this, ppv);
    return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CMyVideoConveFilter::SetGeometry(LONG zoomMode, RECT crop, RECT target) {
    CAutoLock lock(&m_csFilter);
    m_zoomMode = zoomMode;
    m_crop = crop;
    m_target = target;
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetSaturation(LONG value) {
    m_saturation = std::clamp<LONG>(value, 0, 128);
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetHue(LONG degrees) {
    m_hue = std::clamp<LONG>(degrees, -180, 180);
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetBrightness(LONG value) {
    m_brightness = std::clamp<LONG>(value, 0, 256);
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetOverlay(const void* record) {
    if (!record) return E_POINTER;
    CAutoLock lock(&m_csFilter);
    std::copy_n(static_cast<const BYTE*>(record), kOverlayBytes, m_overlay.begin());
    return S_OK;
}

HRESULT CMyVideoConveFilter::CheckInputType(const CMediaType* mtIn) {
    if (!mtIn) return E_POINTER;
    if (*mtIn->Type() != MEDIATYPE_Video || *mtIn->Subtype() != MEDIASUBTYPE_YV12)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (*mtIn->FormatType() != FORMAT_VideoInfo && *mtIn->FormatType() != FORMAT_VideoInfo2)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const BITMAPINFOHEADER* bih = GetBitmapInfoHeader(mtIn);
    if (!bih || bih->biHeight <= 0 || bih->biWidth <= 0) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) {
    if (direction != PINDIR_INPUT || !pmt) return S_OK;
    // The input fixes the picture size; the type that is connected is the one
    // kept (not merely the last one offered).
    CAutoLock lock(&m_csFilter);
    m_inputType = *pmt;
    if (const BITMAPINFOHEADER* bih = GetBitmapInfoHeader(pmt)) m_inputHeader = *bih;
    if (m_crop.right == m_crop.left) {
        m_crop = RECT{0, 0, m_inputHeader.biWidth, m_inputHeader.biHeight};
        m_target = m_crop;
        m_zoomMode = ZOOM_STRETCH;
    }
    return S_OK;
}

HRESULT CMyVideoConveFilter::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (!pMediaType) return E_POINTER;
    if (!m_pInput || !m_pInput->IsConnected() || iPosition != 0) return VFW_S_NO_MORE_ITEMS;
    CAutoLock lock(&m_csFilter);
    CMediaType out = m_inputType;
    BITMAPINFOHEADER* bih = GetBitmapInfoHeader(&out);
    if (!bih) return VFW_S_NO_MORE_ITEMS;
    // The output always states the target size. (Only stating it when target
    // and crop rectangles differ would, for a crop equal to the target but
    // smaller than the input, announce the input size while delivering the
    // smaller picture.)
    if (bih->biWidth != m_target.Width() || bih->biHeight != m_target.Height()) {
        bih->biWidth = m_target.Width();
        bih->biHeight = m_target.Height();
        bih->biSizeImage = DIBSIZE(*bih);
        // The input's source and target rectangles describe the input picture;
        // empty ones mean the whole (new) picture.
        BYTE* format = out.Format();
        if (*out.FormatType() == FORMAT_VideoInfo || *out.FormatType() == FORMAT_VideoInfo2) {
            auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(format);
            vih->rcSource = RECT{};
            vih->rcTarget = RECT{};
        }
    }
    m_outputType = out;
    *pMediaType = out;
    return S_OK;
}

HRESULT CMyVideoConveFilter::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) {
    if (!mtIn || !mtOut) return E_POINTER;
    CAutoLock lock(&m_csFilter);
    const BITMAPINFOHEADER* outHeader = GetBitmapInfoHeader(mtOut);
    const LONG stride = outHeader ? outHeader->biWidth : m_target.Width();
    if (!m_converter.Prepare(m_inputHeader.biWidth, m_inputHeader.biHeight, m_crop, m_target,
                             m_zoomMode, stride))
        return E_FAIL;
    return S_OK;
}

HRESULT CMyVideoConveFilter::DecideBufferSize(IMemAllocator* pAllocator,
                                              ALLOCATOR_PROPERTIES* pprop) {
    if (!m_pInput || !m_pInput->IsConnected()) return E_UNEXPECTED;
    if (!pAllocator || !pprop) return E_POINTER;
    const BITMAPINFOHEADER* bih = GetBitmapInfoHeader(&m_pOutput->CurrentMediaType());
    long size = bih ? long(bih->biSizeImage) : 0;
    if (size == 0 && bih) size = bih->biWidth * bih->biHeight * 4;
    pprop->cBuffers = 1;
    pprop->cbBuffer = size;
    pprop->cbAlign = 1;
    pprop->cbPrefix = 0;
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = pAllocator->SetProperties(pprop, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < pprop->cBuffers || actual.cbBuffer < pprop->cbBuffer) return E_FAIL;
    return S_OK;
}

HRESULT CMyVideoConveFilter::Transform(IMediaSample* pIn, IMediaSample* pOut) {
    BYTE* in = nullptr;
    BYTE* out = nullptr;
    if (!pIn || !pOut || FAILED(pIn->GetPointer(&in)) || FAILED(pOut->GetPointer(&out)) || !in ||
        !out)
        return E_FAIL;
    const long inLength = pIn->GetActualDataLength();
    const long outSize = pOut->GetSize();
    // A picture shorter than the connected size is skipped rather than read past.
    if (!m_converter.Process(in, std::size_t(std::max(inLength, 0L)), out,
                             std::size_t(std::max(outSize, 0L)), m_brightness.load(),
                             m_saturation.load(), m_hue.load()))
        return S_FALSE;
    const std::size_t produced = std::min<std::size_t>(
        std::size_t(outSize), std::size_t(m_converter.Plan().outStride) *
                                  std::size_t(m_converter.Plan().outHeight) * 3 / 2);
    pOut->SetActualDataLength(long(produced));
    return S_OK;
}
