#pragma once
// The custom interfaces the graph owners configure the conversion filters
// through, and the class ids of the filters in this folder.
#include "platform/com/unknown.h"

// Picture conversion between the video decoder and the sink or a renderer.
struct IMyVideoConvFilter : IUnknown {
    // Zoom mode (see ZOOM_*), crop rectangle in input pixels, target rectangle
    // whose size is the output size. Takes effect at the next output connection.
    virtual HRESULT SetGeometry(LONG zoomMode, RECT crop, RECT target) = 0;
    virtual HRESULT SetSaturation(LONG value) = 0;  // 0..128, 64 = unchanged
    virtual HRESULT SetHue(LONG degrees) = 0;       // -180..180
    virtual HRESULT SetBrightness(LONG value) = 0;  // 0..256, 128 = unchanged
    // A 672-byte overlay record; kept, never drawn (no pipeline asks for one).
    virtual HRESULT SetOverlay(const void* record) = 0;
};
DISCREEL_DECLARE_IID(IMyVideoConvFilter, "{A264C372-A83D-42E1-9D93-D6F10B3D95CD}");

// Sound conversion between the audio decoder and the sink or the audio renderer.
struct IMyAudioConvFilter : IUnknown {
    // Takes effect at the next connection.
    virtual HRESULT SetOutputFormat(WORD channels, DWORD sampleRate) = 0;
    // Gain in 1/256 steps (256 = unchanged); may change while streaming.
    virtual HRESULT SetVolume(LONG volume) = 0;
};
DISCREEL_DECLARE_IID(IMyAudioConvFilter, "{D9983DA2-084D-4BA4-BCD4-9C61DB0FC2B3}");

inline constexpr CLSID CLSID_MyVideoConveFilter =
    MakeGuid("{4BB8A01A-CC73-4F1B-AB7B-18E7209C3E9D}");
inline constexpr CLSID CLSID_MyAudioConveFilter =
    MakeGuid("{F410BCFF-57B4-4A02-A1EE-41FC4C22A1C9}");
inline constexpr CLSID CLSID_MyTeeFilter = MakeGuid("{116A8145-0946-11CF-ACB1-444553540000}");
