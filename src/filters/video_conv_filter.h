#pragma once
// CMyVideoConveFilter: crops, places (zoom mode), scales and colour-adjusts
// every YV12 picture between the video decoder and the sink or a renderer.
// Sample times pass through unchanged.
#include <array>
#include <atomic>

#include "filters/filter_interfaces.h"
#include "filters/video_converter.h"
#include "platform/framework/transform.h"

class CMyVideoConveFilter : public CTransformFilter, public IMyVideoConvFilter {
  public:
    static constexpr std::size_t kOverlayBytes = 672;

    explicit CMyVideoConveFilter(IUnknown* pUnk = nullptr, HRESULT* phr = nullptr);
    ~CMyVideoConveFilter() override;
    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMyVideoConvFilter
    HRESULT SetGeometry(LONG zoomMode, RECT crop, RECT target) override;
    HRESULT SetSaturation(LONG value) override;
    HRESULT SetHue(LONG degrees) override;
    HRESULT SetBrightness(LONG value) override;
    HRESULT SetOverlay(const void* record) override;

    // CTransformFilter
    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop) override;
    HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut) override;

    // For the owner and tests.
    LONG ZoomMode() const { return m_zoomMode; }
    RECT CropRect() const { return m_crop; }
    RECT TargetRect() const { return m_target; }
    const VideoPlan& Plan() const { return m_converter.Plan(); }

  private:
    std::atomic<LONG> m_brightness{128};
    std::atomic<LONG> m_hue{0};
    std::atomic<LONG> m_saturation{64};
    CMediaType m_inputType, m_outputType;
    BITMAPINFOHEADER m_inputHeader{};
    RECT m_crop{}, m_target{};
    LONG m_zoomMode = ZOOM_STRETCH;
    VideoConverter m_converter;
    std::array<BYTE, kOverlayBytes> m_overlay{};
};
