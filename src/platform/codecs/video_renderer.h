#pragma once
// The video mixing renderer, windowless: shows YV12 pictures at their time on
// the graph clock inside a destination rectangle of a window, letterboxed or
// stretched, with an optional colour-keyed overlay bitmap; keeps the current
// picture for GetCurrentImage even with no window at all.
#include "platform/codecs/video_composer.h"
#include "platform/framework/renderer.h"

// ---------------------------------------------------------------- interfaces

constexpr DWORD VMRMode_Windowed = 0x1;
constexpr DWORD VMRMode_Windowless = 0x2;
constexpr DWORD VMRMode_Renderless = 0x4;
constexpr DWORD VMR_ARMODE_NONE = 0;
constexpr DWORD VMR_ARMODE_LETTER_BOX = 1;

struct IVMRFilterConfig : IUnknown {
    virtual HRESULT SetImageCompositor(IUnknown* lpVMRImgCompositor) = 0;
    virtual HRESULT SetNumberOfStreams(DWORD dwMaxStreams) = 0;
    virtual HRESULT GetNumberOfStreams(DWORD* pdwMaxStreams) = 0;
    virtual HRESULT SetRenderingPrefs(DWORD dwRenderFlags) = 0;
    virtual HRESULT GetRenderingPrefs(DWORD* pdwRenderFlags) = 0;
    virtual HRESULT SetRenderingMode(DWORD Mode) = 0;
    virtual HRESULT GetRenderingMode(DWORD* pMode) = 0;
};
DISCREEL_DECLARE_IID(IVMRFilterConfig, "{9E5530C5-7034-48B4-BB46-0B8A6EFC8E36}");

struct IVMRWindowlessControl : IUnknown {
    virtual HRESULT GetNativeVideoSize(LONG* lpWidth, LONG* lpHeight, LONG* lpARWidth,
                                       LONG* lpARHeight) = 0;
    virtual HRESULT GetMinIdealVideoSize(LONG* lpWidth, LONG* lpHeight) = 0;
    virtual HRESULT GetMaxIdealVideoSize(LONG* lpWidth, LONG* lpHeight) = 0;
    // Either rectangle may be null: that one is left as it is.
    virtual HRESULT SetVideoPosition(const RECT* lpSRCRect, const RECT* lpDSTRect) = 0;
    virtual HRESULT GetVideoPosition(RECT* lpSRCRect, RECT* lpDSTRect) = 0;
    virtual HRESULT GetAspectRatioMode(DWORD* lpAspectRatioMode) = 0;
    virtual HRESULT SetAspectRatioMode(DWORD AspectRatioMode) = 0;
    virtual HRESULT SetVideoClippingWindow(HWND hwnd) = 0;
    // Draws the destination rectangle (bars, picture, overlay) into hdc.
    virtual HRESULT RepaintVideo(HWND hwnd, HDC hdc) = 0;
    virtual HRESULT DisplayModeChanged() = 0;
    // A packed DIB (40-byte header, bottom-up 32-bit rows) of the current
    // picture at its own size, from CoTaskMemAlloc; E_FAIL without a picture.
    virtual HRESULT GetCurrentImage(BYTE** lpDib) = 0;
    virtual HRESULT SetBorderColor(COLORREF Clr) = 0;
    virtual HRESULT GetBorderColor(COLORREF* lpClr) = 0;
    virtual HRESULT SetColorKey(COLORREF Clr) = 0;
    virtual HRESULT GetColorKey(COLORREF* lpClr) = 0;
};
DISCREEL_DECLARE_IID(IVMRWindowlessControl, "{0EB1088C-4DCD-46F0-878F-39DAE86A51B7}");

struct NORMALIZEDRECT {
    float left = 0, top = 0, right = 0, bottom = 0;
};

constexpr DWORD VMRBITMAP_DISABLE = 0x1;
constexpr DWORD VMRBITMAP_HDC = 0x2;
constexpr DWORD VMRBITMAP_ENTIREDDS = 0x4;
constexpr DWORD VMRBITMAP_SRCCOLORKEY = 0x8;
constexpr DWORD VMRBITMAP_SRCRECT = 0x10;

struct VMRALPHABITMAP {
    DWORD dwFlags = 0;
    HDC hdc = nullptr;     // with VMRBITMAP_HDC: a CMemoryDC whose pixels are copied
    void* pDDS = nullptr;  // surfaces are not supported
    RECT rSrc{};           // part of the bitmap to use
    NORMALIZEDRECT rDest;  // where on the video (0..1)
    float fAlpha = 1.0f;
    COLORREF clrSrcKey = 0;  // with VMRBITMAP_SRCCOLORKEY: transparent colour
};

struct IVMRMixerBitmap : IUnknown {
    virtual HRESULT SetAlphaBitmap(const VMRALPHABITMAP* pBmpParms) = 0;
    virtual HRESULT UpdateAlphaBitmapParameters(const VMRALPHABITMAP* pBmpParms) = 0;
    virtual HRESULT GetAlphaBitmapParameters(VMRALPHABITMAP* pBmpParms) = 0;
};
DISCREEL_DECLARE_IID(IVMRMixerBitmap, "{1E673275-0257-40AA-AF20-7C608D4A0428}");

// ---------------------------------------------------------------- filter

class CVideoMixingRenderer : public CBaseRenderer,
                             public IVMRFilterConfig,
                             public IVMRWindowlessControl,
                             public IVMRMixerBitmap {
  public:
    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr);
    CVideoMixingRenderer(IUnknown* pUnk, HRESULT* phr);
    ~CVideoMixingRenderer() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // CBaseRenderer
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT SetMediaType(const CMediaType* pmt) override;
    HRESULT DoRenderSample(IMediaSample* pMediaSample) override;
    void OnReceiveFirstSample(IMediaSample* pMediaSample) override;
    // A pause is complete only once its picture can be shown and fetched.
    HRESULT GetState(DWORD dwMSecs, FILTER_STATE* State) override;
    HRESULT Pause() override;
    HRESULT EndFlush() override;

    // IVMRFilterConfig
    HRESULT SetImageCompositor(IUnknown* lpVMRImgCompositor) override;
    HRESULT SetNumberOfStreams(DWORD dwMaxStreams) override;
    HRESULT GetNumberOfStreams(DWORD* pdwMaxStreams) override;
    HRESULT SetRenderingPrefs(DWORD dwRenderFlags) override;
    HRESULT GetRenderingPrefs(DWORD* pdwRenderFlags) override;
    HRESULT SetRenderingMode(DWORD Mode) override;
    HRESULT GetRenderingMode(DWORD* pMode) override;

    // IVMRWindowlessControl
    HRESULT GetNativeVideoSize(LONG* lpWidth, LONG* lpHeight, LONG* lpARWidth,
                               LONG* lpARHeight) override;
    HRESULT GetMinIdealVideoSize(LONG* lpWidth, LONG* lpHeight) override;
    HRESULT GetMaxIdealVideoSize(LONG* lpWidth, LONG* lpHeight) override;
    HRESULT SetVideoPosition(const RECT* lpSRCRect, const RECT* lpDSTRect) override;
    HRESULT GetVideoPosition(RECT* lpSRCRect, RECT* lpDSTRect) override;
    HRESULT GetAspectRatioMode(DWORD* lpAspectRatioMode) override;
    HRESULT SetAspectRatioMode(DWORD AspectRatioMode) override;
    HRESULT SetVideoClippingWindow(HWND hwnd) override;
    HRESULT RepaintVideo(HWND hwnd, HDC hdc) override;
    HRESULT DisplayModeChanged() override;
    HRESULT GetCurrentImage(BYTE** lpDib) override;
    HRESULT SetBorderColor(COLORREF Clr) override;
    HRESULT GetBorderColor(COLORREF* lpClr) override;
    HRESULT SetColorKey(COLORREF Clr) override;
    HRESULT GetColorKey(COLORREF* lpClr) override;

    // IVMRMixerBitmap
    HRESULT SetAlphaBitmap(const VMRALPHABITMAP* pBmpParms) override;
    HRESULT UpdateAlphaBitmapParameters(const VMRALPHABITMAP* pBmpParms) override;
    HRESULT GetAlphaBitmapParameters(VMRALPHABITMAP* pBmpParms) override;

    // The composition, for tests and for painting without a window object.
    const codecs::VideoComposer& Composer() const { return m_composer; }

  private:
    HRESULT ShowSample(IMediaSample* pSample);
    void ApplyOverlayLocked();

    codecs::VideoComposer m_composer;
    std::mutex m_pictureLock;
    std::condition_variable m_pictureCv;
    uint64_t m_pictureSerial = 0;  // pictures shown so far
    uint64_t m_cueSerial = 0;      // pictures shown before the current pause or flush
    std::mutex m_controlLock;      // window, mode and overlay parameters
    HWND m_hwnd = nullptr;
    DWORD m_mode = VMRMode_Windowed;
    DWORD m_streams = 1;
    DWORD m_prefs = 0;
    COLORREF m_colorKey = 0;
    VMRALPHABITMAP m_bitmapParams{};
    std::vector<uint32_t> m_bitmapPixels;
    int m_bitmapWidth = 0, m_bitmapHeight = 0;
    bool m_bitmapSet = false;
    // The agreed picture layout.
    int m_width = 0, m_height = 0, m_stride = 0;
    int m_aspectX = 0, m_aspectY = 0;
};
