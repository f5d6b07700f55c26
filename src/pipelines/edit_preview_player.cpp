#include "pipelines/edit_preview_player.h"

#include <algorithm>

#include "demux/mpeg_splitter.h"
#include "dvd/dvd_reader.h"
#include "filters/filter_interfaces.h"
#include "filters/tee_filter.h"
#include "pipelines/filter_factory.h"
#include "platform/codecs/codecs.h"
#include "platform/win/messages.h"

namespace {

constexpr long kGraphNotify = long(WM_USER + 20);
constexpr COLORREF kFrameColour = 0x0000FFFF;  // yellow (R 255, G 255, B 0)
constexpr COLORREF kTransparent = 0;           // black: the overlay's colour key
constexpr int kPenWidth = 2;
constexpr int kDash = 6, kGap = 3;

HRESULT CreateTee(ComPtr<IBaseFilter>* out) {
    HRESULT hr = S_OK;
    CUnknown* object = CMyTeeFilter::CreateInstance(nullptr, &hr);
    if (!object) return FAILED(hr) ? hr : E_OUTOFMEMORY;
    // The factory hands out an object with no reference; hold one while asking.
    object->NonDelegatingAddRef();
    HRESULT q = FAILED(hr) ? hr
                           : object->NonDelegatingQueryInterface(IID_IBaseFilter,
                                                                 out->ReleaseAndGetVoidAddress());
    object->NonDelegatingRelease();
    return q;
}

RECT Intersect(const RECT& a, const RECT& b) {
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

bool IsEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

// A pen of width 2 straddles the line: rows (or columns) p - 1 and p.
void DashedHorizontal(CMemoryDC& dc, int x0, int x1, int y) {
    if (x1 < x0) std::swap(x0, x1);
    for (int x = x0; x <= x1; x += kDash + kGap)
        dc.FillRect(RECT{x, y - kPenWidth / 2, std::min(x + kDash, x1 + 1), y + kPenWidth / 2},
                    kFrameColour);
}

void DashedVertical(CMemoryDC& dc, int x, int y0, int y1) {
    if (y1 < y0) std::swap(y0, y1);
    for (int y = y0; y <= y1; y += kDash + kGap)
        dc.FillRect(RECT{x - kPenWidth / 2, y, x + kPenWidth / 2, std::min(y + kDash, y1 + 1)},
                    kFrameColour);
}

// The 7 x 7 handle box: outlined with the pen, filled with the brush (which
// the key makes transparent).
void Handle(CMemoryDC& dc, int x, int y) {
    dc.FillRect(RECT{x - 3, y - 3, x + 4, y + 4}, kFrameColour);
    dc.FillRect(RECT{x - 3 + kPenWidth, y - 3 + kPenWidth, x + 4 - kPenWidth, y + 4 - kPenWidth},
                kTransparent);
}

}  // namespace

bool EditPreviewPlayer::Open(DvdHandle handle, HWND window0, const RECT* rect0, HWND window1,
                             const RECT* rect1, int sourceWidth, int sourceHeight) {
    Close();
    RegisterPlatformCodecs();

    if (FAILED(CoCreateInstance(CLSID_FilterGraph, &builder_))) return false;
    builder_.As(&owner_.control);
    if (window0 && SUCCEEDED(builder_.As(&owner_.events))) {
        owner_.events->SetNotifyWindow(window0, kGraphNotify, 0);
        owner_.events->CancelDefaultHandling(EC_COMPLETE);
    }
    if (SUCCEEDED(builder_.As(&owner_.seeking)))
        owner_.seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);

    if (FAILED(CreateRenderer(window0, 0))) return false;
    if (window1 && FAILED(CreateRenderer(window1, 1))) return false;

    if (!BuildGraph(handle) || !windowless0_) return false;

    RECT dest0 = rect0 ? *rect0 : (window0 ? window0->GetClientRect() : RECT{});
    view0Size_ = RECT{0, 0, dest0.Width(), dest0.Height()};
    windowless0_->SetVideoPosition(nullptr, &dest0);
    if (window0) window0->Invalidate();  // the window's paint asks the renderers to draw
    windowless0_->SetBorderColor(0);

    overlay_ = std::make_unique<CMemoryDC>(std::max<LONG>(1, view0Size_.Width()),
                                           std::max<LONG>(1, view0Size_.Height()), kTransparent);

    if (!windowless1_) return true;
    RECT dest1 = rect1 ? *rect1 : window1->GetClientRect();
    sourceFrame_ = RECT{0, 0, sourceWidth, sourceHeight};
    crop_ = sourceFrame_;
    windowless1_->SetVideoPosition(nullptr, &dest1);
    if (window1 != window0) window1->Invalidate();
    windowless1_->SetBorderColor(0);
    return true;
}

HRESULT EditPreviewPlayer::CreateRenderer(HWND window, int view) {
    if (view != 0 && view != 1) return E_INVALIDARG;
    ComPtr<IBaseFilter>& renderer = view == 0 ? renderer0_ : renderer1_;
    ComPtr<IVMRWindowlessControl>& windowless = view == 0 ? windowless0_ : windowless1_;
    HRESULT hr = CoCreateInstance(CLSID_VideoMixingRenderer, &renderer);
    if (SUCCEEDED(hr)) hr = builder_->AddFilter(renderer.Get(), "Video Mixing Renderer");
    if (FAILED(hr)) {
        renderer.Reset();
        windowless.Reset();
        return hr;
    }
    hr = SetUpWindowless(renderer.Get(), window, windowless);
    if (FAILED(hr)) return hr;
    if (view == 0) {
        renderer.As(&mixerBitmap_);
    } else {
        // The processed view is placed by the zoom mode, not letterboxed by default.
        windowless->SetAspectRatioMode(VMR_ARMODE_NONE);
    }
    return S_OK;
}

bool EditPreviewPlayer::BuildGraph(DvdHandle handle) {
    ComPtr<IBaseFilter> decoder;
    if (!AddDvdPlaybackFilters(builder_.Get(), handle, source_, splitter_, decoder)) return false;
    ComPtr<IMyDVDReader> reader;
    if (FAILED(source_.As(&reader))) return false;
    reader->SetTitleArea(title_, chapter_);
    reader->GetTitleDuration(&titleDuration_);

    // The editor must be able to show a chosen subtitle track that starts
    // later in the title.
    HandTitleRecord(splitter_.Get(), handle, title_);
    ComPtr<IMyMpegSplitter> splitterControl;
    if (titleDuration_ > 0 && SUCCEEDED(splitter_.As(&splitterControl)))
        splitterControl->SetPlayRange(0, titleDuration_, titleDuration_);

    ComPtr<IPin> sourceOut = FindPin(source_.Get(), PINDIR_OUTPUT, 0);
    if (!sourceOut) {
        MessageBox("get source output pin error");
        return false;
    }
    ComPtr<IPin> splitterIn = FindPin(splitter_.Get(), PINDIR_INPUT, 0);
    if (!splitterIn) {
        MessageBox("get splitter input pin error");
        return false;
    }
    if (FAILED(builder_->ConnectDirect(sourceOut.Get(), splitterIn.Get(), nullptr))) return false;

    // The splitter makes only the outputs the title has: find each by what it
    // carries rather than by its place.
    ComPtr<IPin> video = SplitterOutput(splitter_.Get(), StreamKind::Video);
    ComPtr<IPin> audio = SplitterOutput(splitter_.Get(), StreamKind::Audio);
    ComPtr<IPin> sub = SplitterOutput(splitter_.Get(), StreamKind::Subpicture);

    if (video) {
        ComPtr<IPin> decoderIn = FindPin(decoder.Get(), PINDIR_INPUT, 0);
        if (!decoderIn || FAILED(builder_->ConnectDirect(video.Get(), decoderIn.Get(), nullptr))) {
            MessageBox("connect splitter and decoder error(video)");
            return false;
        }
    }
    if (audio) {
        if (FAILED(CreateAudioConverterFilter(&audioConv_)) ||
            FAILED(builder_->AddFilter(audioConv_.Get(), "AudioConver"))) {
            audioConv_.Reset();
            MessageBox("CLSID_MyAudioConver error");
            return false;
        }
        // The sound passes through AudioConver on its way to the audio
        // renderer: the graph finds the decoder between the splitter and it,
        // and the renderer after it.
        ComPtr<IPin> convIn = FindPin(audioConv_.Get(), PINDIR_INPUT, 0);
        ComPtr<IPin> convOut = FindPin(audioConv_.Get(), PINDIR_OUTPUT, 0);
        if (!convIn || !convOut || FAILED(builder_->Connect(audio.Get(), convIn.Get())) ||
            FAILED(builder_->Render(convOut.Get()))) {
            MessageBox("render splitter error(audio)");
            return false;
        }
    }
    if (sub) {
        if (ComPtr<IPin> decoderSub = FindPin(decoder.Get(), PINDIR_INPUT, 1))
            builder_->ConnectDirect(sub.Get(), decoderSub.Get(), nullptr);
    }

    if (FAILED(CreateTee(&tee_)) || FAILED(builder_->AddFilter(tee_.Get(), "Tee"))) {
        tee_.Reset();
        MessageBox("Create Tee error");
        return false;
    }
    ComPtr<IPin> decoderOut = FindPin(decoder.Get(), PINDIR_OUTPUT, 0);
    if (!decoderOut) {
        MessageBox("get decoder output pin error");
        return false;
    }
    ComPtr<IPin> teeIn = FindPin(tee_.Get(), PINDIR_INPUT, 0);
    if (!teeIn) {
        MessageBox("get tee input pin error");
        return false;
    }
    if (FAILED(builder_->ConnectDirect(decoderOut.Get(), teeIn.Get(), nullptr))) {
        MessageBox("connect decoder and tee error");
        return false;
    }

    // The unprocessed branch: a converter with its defaults, so that both
    // views take the same time per picture.
    ComPtr<IBaseFilter> plainConv;
    if (FAILED(CreateVideoConverterFilter(&plainConv)) ||
        FAILED(builder_->AddFilter(plainConv.Get(), "VideoConver0"))) {
        MessageBox("CLSID_MyVideoConver0 error");
        return false;
    }
    ComPtr<IPin> teeOut0 = FindPin(tee_.Get(), PINDIR_OUTPUT, 0);
    if (!teeOut0) {
        MessageBox("get tee output pin0 error");
        return false;
    }
    ComPtr<IPin> plainIn = FindPin(plainConv.Get(), PINDIR_INPUT, 0);
    if (!plainIn) {
        MessageBox("get video conver0 input pin error");
        return false;
    }
    if (FAILED(builder_->ConnectDirect(teeOut0.Get(), plainIn.Get(), nullptr))) {
        MessageBox("connect tee output0 to videoconver0 error");
        return false;
    }
    ComPtr<IPin> plainOut = FindPin(plainConv.Get(), PINDIR_OUTPUT, 0);
    if (!plainOut) {
        MessageBox("get video conver0 output pin error");
        return false;
    }
    ComPtr<IPin> render0In = FindPin(renderer0_.Get(), PINDIR_INPUT, 0);
    if (!render0In) {
        MessageBox("get render0 input pin0 error");
        return false;
    }
    if (FAILED(builder_->ConnectDirect(plainOut.Get(), render0In.Get(), nullptr))) {
        MessageBox("connect videoconver0 output0 to render0 error");
        return false;
    }

    if (!renderer1_) return true;
    if (FAILED(CreateVideoConverterFilter(&videoConv_)) ||
        FAILED(builder_->AddFilter(videoConv_.Get(), "VideoConver"))) {
        videoConv_.Reset();
        MessageBox("CLSID_MyVideoConver error");
        return false;
    }
    ComPtr<IPin> teeOut1 = FindPin(tee_.Get(), PINDIR_OUTPUT, 1);
    if (!teeOut1) {
        MessageBox("get tee output pin1 error");
        return false;
    }
    ComPtr<IPin> convIn = FindPin(videoConv_.Get(), PINDIR_INPUT, 0);
    if (!convIn) {
        MessageBox("get video conver input pin error");
        return false;
    }
    if (FAILED(builder_->ConnectDirect(teeOut1.Get(), convIn.Get(), nullptr))) {
        MessageBox("connect tee to video conver error");
        return false;
    }
    ComPtr<IPin> convOut = FindPin(videoConv_.Get(), PINDIR_OUTPUT, 0);
    if (!convOut) {
        MessageBox("get video conver output pin error");
        return false;
    }
    ComPtr<IPin> render1In = FindPin(renderer1_.Get(), PINDIR_INPUT, 0);
    if (!render1In) {
        MessageBox("get render input pin1 error");
        return false;
    }
    if (FAILED(builder_->ConnectDirect(convOut.Get(), render1In.Get(), nullptr))) {
        MessageBox("connect tee output1 to render1 error");
        return false;
    }
    return true;
}

void EditPreviewPlayer::Close() {
    owner_.Release(kGraphNotify);
    if (builder_) {
        // Take every filter out, the ones the graph alone holds too, so that
        // none keeps another (or a window) alive after the graph is gone.
        for (ComPtr<IBaseFilter>& f : GraphFilters(builder_.Get())) builder_->RemoveFilter(f.Get());
    }
    splitter_.Reset();
    source_.Reset();
    renderer0_.Reset();
    renderer1_.Reset();
    tee_.Reset();
    videoConv_.Reset();
    audioConv_.Reset();
    mixerBitmap_.Reset();
    windowless0_.Reset();
    windowless1_.Reset();
    builder_.Reset();
    overlay_.reset();
}

bool EditPreviewPlayer::Run() {
    return owner_.Run();
}
bool EditPreviewPlayer::Pause() {
    return owner_.Pause();
}
bool EditPreviewPlayer::Stop() {
    return owner_.Stop();
}
bool EditPreviewPlayer::IsRunning() {
    return owner_.InState(State_Running);
}
bool EditPreviewPlayer::IsPaused() {
    return owner_.InState(State_Paused);
}
bool EditPreviewPlayer::IsStopped() {
    return owner_.InState(State_Stopped);
}

bool EditPreviewPlayer::WaitUntilCued(long timeoutMs) {
    if (!owner_.control) return false;
    OAFilterState fs = State_Stopped;
    HRESULT hr = owner_.control->GetState(timeoutMs, &fs);
    return hr == S_OK && fs != State_Stopped;
}

bool EditPreviewPlayer::SetPosition(double seconds) {
    return owner_.SetPosition(seconds);
}
bool EditPreviewPlayer::GetDuration(double& seconds) {
    return owner_.Duration(seconds);
}
bool EditPreviewPlayer::GetStopPosition(double& seconds) {
    return owner_.StopPosition(seconds);
}
bool EditPreviewPlayer::GetCurrentPosition(double& seconds) {
    return owner_.CurrentPosition(seconds);
}

bool EditPreviewPlayer::EnableStream(int index, bool enable) {
    ComPtr<IAMStreamSelect> select;
    if (!splitter_ || FAILED(splitter_.As(&select))) return false;
    return SUCCEEDED(select->Enable(index, enable ? AMSTREAMSELECTENABLE_ENABLE : 0));
}

bool EditPreviewPlayer::ListStreams(StreamTable& table) {
    ComPtr<IAMStreamSelect> select;
    if (!splitter_ || FAILED(splitter_.As(&select))) return false;
    return ListStreamsFrom(select.Get(), table);
}

void EditPreviewPlayer::SetCropRect(const RECT& r) {
    if (!windowless1_) return;
    const RECT c = Intersect(r, sourceFrame_);
    if (IsEmpty(c)) return;
    crop_ = c;
    ApplyProcessedSource();
    DrawOverlay();
}

void EditPreviewPlayer::ApplyProcessedSource() {
    if (!windowless1_ || IsEmpty(crop_) || IsEmpty(sourceFrame_)) return;
    // The crop is given in the reference frame; a picture of another size (a
    // PAL title's 576 lines) is cropped at the same place relative to its
    // size, as the conversion does.
    RECT source = crop_;
    LONG w = 0, h = 0;
    if (SUCCEEDED(windowless1_->GetNativeVideoSize(&w, &h, nullptr, nullptr)) && w > 0 && h > 0 &&
        (w != sourceFrame_.Width() || h != sourceFrame_.Height())) {
        source = RECT{LONG(LONGLONG(crop_.left) * w / sourceFrame_.Width()),
                      LONG(LONGLONG(crop_.top) * h / sourceFrame_.Height()),
                      LONG(LONGLONG(crop_.right) * w / sourceFrame_.Width()),
                      LONG(LONGLONG(crop_.bottom) * h / sourceFrame_.Height())};
    }
    windowless1_->SetVideoPosition(&source, nullptr);
}

void EditPreviewPlayer::DrawOverlay() {
    if (!overlay_ || IsEmpty(sourceFrame_)) return;
    CMemoryDC& dc = *overlay_;
    dc.FillRect(view0Size_, kTransparent);
    const double vw = view0Size_.Width(), vh = view0Size_.Height();
    const double sw = sourceFrame_.Width(), sh = sourceFrame_.Height();
    const int l = int(vw * (crop_.left / sw) + 0.5);
    const int r = int(vw * (crop_.right / sw) + 0.5);
    const int t = int(vh * (crop_.top / sh) + 0.5);
    const int b = int(vh * (crop_.bottom / sh) + 0.5);
    DashedHorizontal(dc, l, r, t);
    DashedVertical(dc, r, t, b);
    DashedHorizontal(dc, l, r, b);
    DashedVertical(dc, l, t, b);
    const int mx = l + (r - l) / 2, my = t + (b - t) / 2;
    const int handles[8][2] = {{l, t}, {mx, t}, {r, t}, {r, my}, {r, b}, {mx, b}, {l, b}, {l, my}};
    for (const auto& p : handles) Handle(dc, p[0], p[1]);

    if (!mixerBitmap_) return;
    VMRALPHABITMAP bmp;
    bmp.dwFlags = VMRBITMAP_HDC | VMRBITMAP_SRCCOLORKEY;
    bmp.hdc = overlay_.get();
    bmp.rSrc = view0Size_;
    bmp.rDest = NORMALIZEDRECT{0, 0, 1, 1};
    bmp.fAlpha = 1.0f;
    bmp.clrSrcKey = kTransparent;
    mixerBitmap_->SetAlphaBitmap(&bmp);
}

void EditPreviewPlayer::SetProcessedViewRect(const RECT& r) {
    if (windowless1_) windowless1_->SetVideoPosition(nullptr, &r);
}

void EditPreviewPlayer::SetProcessedAspectMode(int mode) {
    if (!windowless1_) return;
    if (mode == 0)
        windowless1_->SetAspectRatioMode(VMR_ARMODE_NONE);
    else if (mode == 1)
        windowless1_->SetAspectRatioMode(VMR_ARMODE_LETTER_BOX);
}

void EditPreviewPlayer::SetVolume(int volume) {
    if (!audioConv_) return;
    ComPtr<IMyAudioConvFilter> conv;
    if (FAILED(audioConv_.As(&conv))) {
        MessageBox("IID_IMyAudioConvFilter error");
        return;
    }
    conv->SetVolume(volume);
}

void EditPreviewPlayer::SetSaturation(int saturation) {
    if (!videoConv_) return;
    ComPtr<IMyVideoConvFilter> conv;
    if (FAILED(videoConv_.As(&conv))) {
        MessageBox("IID_IMyVideoConvFilter error");
        return;
    }
    conv->SetSaturation(saturation);
}

void EditPreviewPlayer::SetHue(int degrees) {
    if (!videoConv_) return;
    ComPtr<IMyVideoConvFilter> conv;
    if (FAILED(videoConv_.As(&conv))) {
        MessageBox("IID_IMyVideoConvFilter error");
        return;
    }
    conv->SetHue(degrees);
}

void EditPreviewPlayer::SetBrightness(int brightness) {
    if (!videoConv_) return;
    ComPtr<IMyVideoConvFilter> conv;
    if (FAILED(videoConv_.As(&conv))) {
        MessageBox("IID_IMyVideoConvFilter error");
        return;
    }
    conv->SetBrightness(brightness);
}

void EditPreviewPlayer::Repaint(HWND window, HDC dc) {
    if (windowless0_) windowless0_->RepaintVideo(window, dc);
    if (!windowless1_) return;
    // The renderer lets go of its source rectangle when the picture size
    // changes, as it does with the first picture after a crop set while
    // stopped; handing it again before each paint keeps the crop on screen.
    ApplyProcessedSource();
    windowless1_->RepaintVideo(window, dc);
}

bool EditPreviewPlayer::NextEvent(long& code, LONG_PTR* p1, LONG_PTR* p2) {
    return owner_.NextEvent(code, p1, p2);
}
