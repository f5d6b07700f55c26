#include "pipelines/preview_player.h"

#include <cerrno>
#include <string>

#include "pipelines/filter_factory.h"
#include "demux/mpeg_splitter.h"
#include "dvd/dvd_reader.h"
#include "pipelines/snapshot.h"
#include "platform/codecs/codecs.h"
#include "platform/codecs/video_renderer.h"
#include "platform/win/messages.h"

namespace {

// Renderer failures carry the platform's last error code after the text.
void RendererMessage(const char* text) { MessageBox(std::string(text) + std::to_string(errno)); }

}  // namespace

bool PreviewPlayer::Open(DvdHandle handle, HWND window, const RECT* videoRect) {
    Close();
    RegisterPlatformCodecs();
    handle_ = handle;

    if (FAILED(CoCreateInstance(CLSID_FilterGraph, &builder_))) {
        MessageBox("CoCreateInstance error");
        return false;
    }
    if (FAILED(builder_.As(&graph_))) return false;

    CreateRenderer(window);

    bool ok = SUCCEEDED(builder_.As(&control_));
    if (ok && window) {
        ok = SUCCEEDED(builder_.As(&events_));
        if (ok) {
            events_->SetNotifyWindow(window, long(WM_USER + 20), 0);
            events_->CancelDefaultHandling(EC_COMPLETE);
        }
    }
    if (ok) {
        ok = SUCCEEDED(builder_.As(&seeking_));
        if (ok) seeking_->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
    }
    if (!ok) {
        MessageBox("IID_IMediaSeeking error");
        return false;
    }
    if (!AddSourceFilters(handle)) return false;

    if (!windowless_) return true;
    RECT dest = videoRect ? *videoRect : (window ? window->GetClientRect() : RECT{});
    windowless_->SetVideoPosition(nullptr, &dest);
    if (window) window->Invalidate();  // the window's paint asks the renderer to draw
    windowless_->SetBorderColor(0);
    return true;
}

HRESULT PreviewPlayer::CreateRenderer(HWND window) {
    HRESULT hr = CoCreateInstance(CLSID_VideoMixingRenderer, &renderer_);
    if (FAILED(hr)) {
        RendererMessage("CLSID_VideoMixingRenderer9 error");
        return hr;
    }
    hr = builder_->AddFilter(renderer_.Get(), "Video Mixing Renderer");
    if (FAILED(hr)) {
        RendererMessage("Add Video Render Filter error");
        return hr;
    }
    ComPtr<IVMRFilterConfig> config;
    if (SUCCEEDED(renderer_.As(&config))) {
        config->SetNumberOfStreams(1);
        config->SetRenderingMode(VMRMode_Windowless);
        config->SetRenderingPrefs(0);
    } else {
        RendererMessage("IID_IVMRFilterConfig9 error");
    }
    hr = renderer_.As(&windowless_);
    if (FAILED(hr)) {
        windowless_.Reset();
        RendererMessage("IID_IVMRWindowlessControl9 error");
        return hr;
    }
    windowless_->SetVideoClippingWindow(window);
    windowless_->SetAspectRatioMode(VMR_ARMODE_LETTER_BOX);
    return S_OK;
}

bool PreviewPlayer::AddSourceFilters(DvdHandle handle) {
    if (FAILED(CreateDvdSourceFilter(&source_)) || FAILED(builder_->AddFilter(source_.Get(), "Reader"))) {
        MessageBox("CLSID_DVDSource error");
        return false;
    }
    if (FAILED(CreateMpegSplitterFilter(&splitter_)) ||
        FAILED(builder_->AddFilter(splitter_.Get(), "Splitter"))) {
        MessageBox("CLSID_MpegSplitter error");
        return false;
    }
    if (FAILED(CoCreateInstance(CLSID_MpegDecoder, &decoder_)) ||
        FAILED(builder_->AddFilter(decoder_.Get(), "Decoder"))) {
        MessageBox("CLSID_MpegDecoder error");
        return false;
    }
    ComPtr<IMyDVDReader> reader;
    if (FAILED(source_.As(&reader))) {
        MessageBox("IID_IMyDVDReader error");
        return false;
    }
    if (FAILED(reader->SetDvdReader(handle))) {
        MessageBox("SetDvdReader error");
        return false;
    }
    return true;
}

bool PreviewPlayer::SelectTitle(int title, int chapter) {
    ComPtr<IMyDVDReader> reader;
    if (!source_ || FAILED(source_.As(&reader))) return false;
    reader->SetTitleArea(title, chapter);
    reader->GetTitleDuration(&titleDuration_);
    return ConnectGraph(title);
}

bool PreviewPlayer::ConnectGraph(int title) {
    if (!builder_ || !source_ || !splitter_) return false;
    ComPtr<IMyMpegSplitter> control;
    if (SUCCEEDED(splitter_.As(&control))) {
        DvdInfo info{};
        MyDVDGetInfo(handle_, &info);
        if (title >= 0 && title < kDvdMaxTitles) control->SetTitleInfo(&info.Titles[title]);
    }

    ComPtr<IPin> sourceOut = FindPin(source_.Get(), PINDIR_OUTPUT, 0);
    if (!sourceOut) {
        MessageBox("get source output pin error");
        return false;
    }
    builder_->Disconnect(sourceOut.Get());
    ComPtr<IPin> splitterIn = FindPin(splitter_.Get(), PINDIR_INPUT, 0);
    if (!splitterIn) {
        MessageBox("get splitter input pin error");
        return false;
    }
    builder_->Disconnect(splitterIn.Get());
    if (FAILED(builder_->ConnectDirect(sourceOut.Get(), splitterIn.Get(), nullptr))) return false;

    if (ComPtr<IPin> video = FindPin(splitter_.Get(), PINDIR_OUTPUT, 0)) {
        ComPtr<IPin> decoderIn = FindPin(decoder_.Get(), PINDIR_INPUT, 0);
        if (!decoderIn || FAILED(builder_->Connect(video.Get(), decoderIn.Get()))) {
            MessageBox("connect splitter and decoder error(video)");
            return false;
        }
    }
    if (ComPtr<IPin> audio = FindPin(splitter_.Get(), PINDIR_OUTPUT, 1)) {
        if (FAILED(builder_->Render(audio.Get()))) {
            MessageBox("render splitter error(audio)");
            return false;
        }
    }
    if (ComPtr<IPin> sub = FindPin(splitter_.Get(), PINDIR_OUTPUT, 2)) {
        if (ComPtr<IPin> decoderSub = FindPin(decoder_.Get(), PINDIR_INPUT, 1))
            builder_->Connect(sub.Get(), decoderSub.Get());
    }

    ComPtr<IPin> decoderOut = FindPin(decoder_.Get(), PINDIR_OUTPUT, 0);
    if (!decoderOut) {
        MessageBox("get decoder output pin error");
        return false;
    }
    ComPtr<IPin> connected;
    if (decoderOut->ConnectedTo(connected.ReleaseAndGetAddressOf()) == VFW_E_NOT_CONNECTED) {
        ComPtr<IPin> rendererIn = FindPin(renderer_.Get(), PINDIR_INPUT, 0);
        if (!rendererIn) {
            MessageBox("get render0 input pin0 error");
            return false;
        }
        if (FAILED(builder_->ConnectDirect(decoderOut.Get(), rendererIn.Get(), nullptr))) return false;
    }

    if (titleDuration_ > 0 && control) control->SetPlayRange(0, titleDuration_, titleDuration_);
    return true;
}

void PreviewPlayer::Close() {
    if (control_) control_->Stop();
    if (events_) {
        events_->SetNotifyWindow(nullptr, long(WM_USER + 20), 0);
        events_.Reset();
    }
    for (ComPtr<IBaseFilter>* f : {&decoder_, &renderer_, &splitter_, &source_}) {
        if (*f && builder_) builder_->RemoveFilter(f->Get());
        f->Reset();
    }
    seeking_.Reset();
    windowless_.Reset();
    control_.Reset();
    builder_.Reset();
    graph_.Reset();
}

bool PreviewPlayer::InState(FILTER_STATE state) {
    if (!control_) return false;
    OAFilterState fs = 0;
    HRESULT hr = control_->GetState(10, &fs);
    return SUCCEEDED(hr) && fs == state;
}

bool PreviewPlayer::Run() {
    if (control_ && !InState(State_Running)) control_->Run();
    return true;
}
bool PreviewPlayer::Pause() {
    if (control_ && !InState(State_Paused)) control_->Pause();
    return true;
}
bool PreviewPlayer::Stop() {
    if (control_ && !InState(State_Stopped)) control_->Stop();
    return true;
}
bool PreviewPlayer::IsRunning() { return InState(State_Running); }
bool PreviewPlayer::IsPaused() { return InState(State_Paused); }
bool PreviewPlayer::IsStopped() { return InState(State_Stopped); }

bool PreviewPlayer::SetPosition(double seconds) {
    if (!seeking_) return false;
    LONGLONG pos = LONGLONG(seconds * 10000000.0);
    return SUCCEEDED(seeking_->SetPositions(&pos, AM_SEEKING_AbsolutePositioning, nullptr,
                                            AM_SEEKING_NoPositioning));
}

bool PreviewPlayer::GetDuration(double& seconds) {
    LONGLONG v = 0;
    if (!seeking_ || FAILED(seeking_->GetDuration(&v))) return false;
    seconds = double(v) / 10000000.0;
    return true;
}

bool PreviewPlayer::GetStopPosition(double& seconds) {
    LONGLONG v = 0;
    if (!seeking_ || FAILED(seeking_->GetStopPosition(&v))) return false;
    seconds = double(v) / 10000000.0;
    return true;
}

bool PreviewPlayer::GetCurrentPosition(double& seconds) {
    LONGLONG v = 0;
    if (!seeking_ || FAILED(seeking_->GetCurrentPosition(&v))) return false;
    seconds = double(v) / 10000000.0;
    return true;
}

bool PreviewPlayer::EnableStream(int index, bool enable) {
    ComPtr<IAMStreamSelect> select;
    if (!splitter_ || FAILED(splitter_.As(&select))) return false;
    return SUCCEEDED(select->Enable(index, enable ? AMSTREAMSELECTENABLE_ENABLE : 0));
}

bool PreviewPlayer::ListStreams(StreamTable& table) {
    ComPtr<IAMStreamSelect> select;
    if (!splitter_ || FAILED(splitter_.As(&select))) return false;
    return ListStreamsFrom(select.Get(), table);
}

bool PreviewPlayer::SaveSnapshot(const std::string& path) {
    if (!windowless_) return false;
    BYTE* dib = nullptr;
    if (FAILED(windowless_->GetCurrentImage(&dib)) || !dib) return false;
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, dib, sizeof bih);
    std::size_t bytes = bih.biSize + std::size_t(bih.biWidth) * 4 * std::size_t(bih.biHeight < 0 ? -bih.biHeight : bih.biHeight);
    bool ok = SaveDibAsImage(dib, bytes, path);
    CoTaskMemFree(dib);
    return ok;
}

void PreviewPlayer::Repaint(HWND window, HDC dc) {
    if (windowless_) windowless_->RepaintVideo(window, dc);
}

bool PreviewPlayer::NextEvent(long& code, LONG_PTR* p1, LONG_PTR* p2) {
    if (!events_) return false;
    LONG_PTR a = 0, b = 0;
    if (events_->GetEvent(&code, &a, &b, 0) != S_OK) return false;
    if (p1) *p1 = a;
    if (p2) *p2 = b;
    events_->FreeEventParams(code, a, b);
    return true;
}
