#pragma once
// What every owner of a playing graph (the conversion graph, the preview
// players) does the same way: ask the graph's state, move it between stopped,
// paused and running, read positions in seconds, drain its events, and set up
// a windowless video renderer.
#include "platform/codecs/video_renderer.h"
#include "platform/com/comptr.h"
#include "platform/framework/framework.h"
#include "platform/win/window.h"

class GraphOwner {
public:
    ComPtr<IMediaControl> control;
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IMediaEventEx> events;

    // A short wait: a graph still on its way to the state counts as being in it.
    bool InState(FILTER_STATE state) const {
        if (!control) return false;
        OAFilterState fs = 0;
        return SUCCEEDED(control->GetState(10, &fs)) && fs == state;
    }
    // Each asks the graph only when it is not already in that state.
    bool Run() {
        if (control && !InState(State_Running)) control->Run();
        return true;
    }
    bool Pause() {
        if (control && !InState(State_Paused)) control->Pause();
        return true;
    }
    bool Stop() {
        if (control && !InState(State_Stopped)) control->Stop();
        return true;
    }

    bool Duration(double& seconds) const { return Seconds(&IMediaSeeking::GetDuration, seconds); }
    bool CurrentPosition(double& seconds) const {
        return Seconds(&IMediaSeeking::GetCurrentPosition, seconds);
    }
    bool StopPosition(double& seconds) const { return Seconds(&IMediaSeeking::GetStopPosition, seconds); }
    bool SetPosition(double seconds) {
        if (!seeking) return false;
        LONGLONG pos = LONGLONG(seconds * 10000000.0);
        return SUCCEEDED(
            seeking->SetPositions(&pos, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    }

    // One waiting event, its parameters freed; false when none waits.
    bool NextEvent(long& code, LONG_PTR* p1 = nullptr, LONG_PTR* p2 = nullptr) {
        if (!events) return false;
        LONG_PTR a = 0, b = 0;
        if (events->GetEvent(&code, &a, &b, 0) != S_OK) return false;
        if (p1) *p1 = a;
        if (p2) *p2 = b;
        events->FreeEventParams(code, a, b);
        return true;
    }

    // Lets go of the graph's interfaces: the window stops getting events
    // first, the graph is stopped before it is released.
    void Release(long eventMessage) {
        if (control) {
            control->Stop();
            control.Reset();
        }
        if (events) {
            events->SetNotifyWindow(nullptr, eventMessage, 0);
            events.Reset();
        }
        seeking.Reset();
    }

private:
    bool Seconds(HRESULT (IMediaSeeking::*get)(LONGLONG*), double& seconds) const {
        LONGLONG v = 0;
        if (!seeking || FAILED((seeking.Get()->*get)(&v))) return false;
        seconds = double(v) / 10000000.0;
        return true;
    }
};

// Puts a video renderer into windowless mode with one stream, clipped to the
// window and letterboxed. Fails (with the renderer's control left empty) when
// the renderer does not offer windowless control.
inline HRESULT SetUpWindowless(IBaseFilter* renderer, HWND window, ComPtr<IVMRWindowlessControl>& windowless,
                               bool* configured = nullptr) {
    ComPtr<IVMRFilterConfig> config;
    const bool canConfigure = renderer && SUCCEEDED(renderer->QueryInterface(IidOf<IVMRFilterConfig>(),
                                                                              config.ReleaseAndGetVoidAddress()));
    if (canConfigure) {
        config->SetNumberOfStreams(1);
        config->SetRenderingMode(VMRMode_Windowless);
        config->SetRenderingPrefs(0);
    }
    if (configured) *configured = canConfigure;
    HRESULT hr = renderer ? renderer->QueryInterface(IidOf<IVMRWindowlessControl>(), windowless.ReleaseAndGetVoidAddress())
                          : E_POINTER;
    if (FAILED(hr)) {
        windowless.Reset();
        return hr;
    }
    windowless->SetVideoClippingWindow(window);
    windowless->SetAspectRatioMode(VMR_ARMODE_LETTER_BOX);
    return S_OK;
}
