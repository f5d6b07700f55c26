#include "pipelines/preview_player.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "demux/mpeg_splitter.h"
#include "dvd/dvd_reader.h"
#include "pipelines/filter_factory.h"
#include "pipelines/snapshot.h"
#include "platform/codecs/codecs.h"
#include "platform/codecs/video_renderer.h"
#include "platform/win/messages.h"

namespace {

// Renderer failures carry the platform's last error code after the text.
void RendererMessage(const char* text) {
    MessageBox(std::string(text) + std::to_string(errno));
}

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

    bool ok = SUCCEEDED(builder_.As(&owner_.control));
    if (ok && window) {
        ok = SUCCEEDED(builder_.As(&owner_.events));
        if (ok) {
            owner_.events->SetNotifyWindow(window, long(WM_USER + 20), 0);
            owner_.events->CancelDefaultHandling(EC_COMPLETE);
        }
    }
    if (ok) {
        ok = SUCCEEDED(builder_.As(&owner_.seeking));
        if (ok) owner_.seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
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
        // Not in the graph, it could never be connected: a title then fails
        // with the missing renderer's message instead of none at all.
        renderer_.Reset();
        return hr;
    }
    bool configured = false;
    hr = SetUpWindowless(renderer_.Get(), window, windowless_, &configured);
    if (!configured) RendererMessage("IID_IVMRFilterConfig9 error");
    if (FAILED(hr)) RendererMessage("IID_IVMRWindowlessControl9 error");
    return hr;
}

bool PreviewPlayer::AddSourceFilters(DvdHandle handle) {
    return AddDvdPlaybackFilters(builder_.Get(), handle, source_, splitter_, decoder_);
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
    HandTitleRecord(splitter_.Get(), handle_, title);

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
    // The sound path of the previous title would otherwise stay in the graph,
    // still counted as a renderer and possibly still the graph's clock.
    RemoveRenderedFilters();
    if (FAILED(builder_->ConnectDirect(sourceOut.Get(), splitterIn.Get(), nullptr))) return false;

    // The splitter makes only the outputs its title has, so the n-th output is
    // not always the same kind of stream: a title without sound has its
    // subpictures second. Find each output by what it carries.
    ComPtr<IPin> video = SplitterOutput(splitter_.Get(), StreamKind::Video);
    ComPtr<IPin> audio = SplitterOutput(splitter_.Get(), StreamKind::Audio);
    ComPtr<IPin> sub = SplitterOutput(splitter_.Get(), StreamKind::Subpicture);

    // Without pictures the decoder and the renderer stay unconnected and the
    // title could never play; say so rather than fail without a word.
    ComPtr<IPin> decoderIn = FindPin(decoder_.Get(), PINDIR_INPUT, 0);
    if (!video || !decoderIn || FAILED(builder_->Connect(video.Get(), decoderIn.Get()))) {
        MessageBox("connect splitter and decoder error(video)");
        return false;
    }
    if (audio) {
        if (FAILED(RenderSound(audio.Get()))) {
            MessageBox("render splitter error(audio)");
            return false;
        }
    }
    if (sub) {
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
        if (FAILED(builder_->ConnectDirect(decoderOut.Get(), rendererIn.Get(), nullptr)))
            return false;
    }

    ComPtr<IMyMpegSplitter> control;
    if (titleDuration_ > 0 && SUCCEEDED(splitter_.As(&control))) control->SetPlayRange(0, titleDuration_, titleDuration_);
    return true;
}

void PreviewPlayer::RemoveRenderedFilters() {
    for (ComPtr<IBaseFilter>& f : rendered_)
        if (builder_) builder_->RemoveFilter(f.Get());
    rendered_.clear();
}

void PreviewPlayer::Close() {
    owner_.Release(long(WM_USER + 20));
    for (ComPtr<IBaseFilter>* f : {&decoder_, &renderer_, &splitter_, &source_}) {
        if (*f && builder_) builder_->RemoveFilter(f->Get());
        f->Reset();
    }
    RemoveRenderedFilters();
    windowless_.Reset();
    builder_.Reset();
    graph_.Reset();
}

bool PreviewPlayer::Run() { return owner_.Run(); }
bool PreviewPlayer::Pause() { return owner_.Pause(); }
bool PreviewPlayer::Stop() { return owner_.Stop(); }
bool PreviewPlayer::IsRunning() { return owner_.InState(State_Running); }
bool PreviewPlayer::IsPaused() { return owner_.InState(State_Paused); }
bool PreviewPlayer::IsStopped() { return owner_.InState(State_Stopped); }
bool PreviewPlayer::SetPosition(double seconds) { return owner_.SetPosition(seconds); }
bool PreviewPlayer::GetDuration(double& seconds) { return owner_.Duration(seconds); }
bool PreviewPlayer::GetStopPosition(double& seconds) { return owner_.StopPosition(seconds); }
bool PreviewPlayer::GetCurrentPosition(double& seconds) { return owner_.CurrentPosition(seconds); }

bool PreviewPlayer::EnableStream(int index, bool enable) {
    ComPtr<IAMStreamSelect> select;
    if (!splitter_ || FAILED(splitter_.As(&select))) return false;
    HRESULT hr = select->Enable(index, enable ? AMSTREAMSELECTENABLE_ENABLE : 0);
    DWORD group = 0;
    if (hr == VFW_E_TYPE_NOT_ACCEPTED && enable &&
        SUCCEEDED(
            select->Info(index, nullptr, nullptr, nullptr, &group, nullptr, nullptr, nullptr)) &&
        group == 1)
        hr = SwitchSoundPath(select.Get(), index);
    return SUCCEEDED(hr);
}

HRESULT PreviewPlayer::SwitchSoundPath(IAMStreamSelect* select, int index) {
    // The sound decoder was built for the old track's format and output (say
    // AC-3 5.1) and cannot take another (MPEG stereo) on the fly. Build the
    // sound path anew for the chosen track, where playback was.
    ComPtr<IPin> audio = SplitterOutput(splitter_.Get(), StreamKind::Audio);
    if (!audio || !owner_.control) return VFW_E_TYPE_NOT_ACCEPTED;
    OAFilterState state = State_Stopped;
    owner_.control->GetState(10, &state);
    double at = 0;
    const bool hasPosition = GetCurrentPosition(at);
    owner_.control->Stop();
    ComPtr<IPin> peer;
    if (SUCCEEDED(audio->ConnectedTo(peer.ReleaseAndGetAddressOf())) && peer)
        builder_->Disconnect(peer.Get());
    builder_->Disconnect(audio.Get());
    RemoveRenderedFilters();
    HRESULT hr = select->Enable(index, AMSTREAMSELECTENABLE_ENABLE);
    if (FAILED(hr)) return hr;
    hr = RenderSound(audio.Get());
    if (FAILED(hr)) {
        MessageBox("render splitter error(audio)");
        return hr;
    }
    if (hasPosition) SetPosition(at);
    if (state == State_Running)
        owner_.control->Run();
    else if (state == State_Paused)
        owner_.control->Pause();
    return S_OK;
}

HRESULT PreviewPlayer::RenderSound(IPin* audio) {
    std::vector<ComPtr<IBaseFilter>> before = GraphFilters(builder_.Get());
    HRESULT hr = builder_->Render(audio);
    for (ComPtr<IBaseFilter>& f : GraphFilters(builder_.Get())) {
        bool old = false;
        for (ComPtr<IBaseFilter>& b : before) old = old || b.Get() == f.Get();
        if (!old) rendered_.push_back(f);
    }
    return hr;
}

bool PreviewPlayer::ListStreams(StreamTable& table) {
    ComPtr<IAMStreamSelect> select;
    if (!splitter_ || FAILED(splitter_.As(&select))) return false;
    return ListStreamsFrom(select.Get(), table);
}

bool PreviewPlayer::SaveSnapshot(const std::string& path, std::string* error) {
    if (!windowless_) {
        if (error) *error = "no picture: the renderer cannot hand out pictures";
        return false;
    }
    BYTE* dib = nullptr;
    if (FAILED(windowless_->GetCurrentImage(&dib)) || !dib) {
        if (error) *error = "no picture has been shown yet";
        return false;
    }
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, dib, sizeof bih);
    const std::size_t rows =
        std::size_t(bih.biHeight < 0 ? -std::int64_t(bih.biHeight) : bih.biHeight);
    const std::size_t bytes =
        bih.biSize + std::size_t(bih.biWidth > 0 ? bih.biWidth : 0) * 4 * rows;
    bool ok = SaveDibAsImage(dib, bytes, path, error);
    CoTaskMemFree(dib);
    return ok;
}

bool PreviewPlayer::WaitUntilCued(long timeoutMs) {
    if (!owner_.control) return false;
    OAFilterState fs = State_Stopped;
    HRESULT hr = owner_.control->GetState(timeoutMs, &fs);
    return hr == S_OK && fs != State_Stopped;
}

void PreviewPlayer::Repaint(HWND window, HDC dc) {
    if (windowless_) windowless_->RepaintVideo(window, dc);
}

bool PreviewPlayer::NextEvent(long& code, LONG_PTR* p1, LONG_PTR* p2) { return owner_.NextEvent(code, p1, p2); }
