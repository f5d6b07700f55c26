#include "pipelines/convert_graph.h"

#include <cstdlib>
#include <functional>
#include <memory>

#include "demux/mpeg_splitter.h"
#include "dvd/dvd_reader.h"
#include "encoding/conv_filter.h"
#include "filters/filter_interfaces.h"
#include "pipelines/filter_factory.h"
#include "platform/codecs/codecs.h"
#include "platform/codecs/video_renderer.h"
#include "platform/win/messages.h"
#include "profiles/profile.h"

namespace {

bool Fail(const char* text) {
    MessageBox(text);
    return false;
}

CConvFilter* SinkOf(IBaseFilter* f) { return static_cast<CConvFilter*>(f); }

}  // namespace

CConvertGraph::~CConvertGraph() { Close(); }

int CConvertGraph::OpenOutput(const std::string& path, const EncoderSettings& settings) {
    settings_ = &settings;
    return writer_.Open(path, settings) ? 0 : -1;
}

void CConvertGraph::CloseOutput() { writer_.Close(); }
void CConvertGraph::CloseCutOutput() { writer_.Close(true); }

bool CConvertGraph::Open(int titleIndex, int chapterIndex, const ConversionItem& clip, HWND window) {
    return Open(handle_, titleIndex, chapterIndex, clip, window);
}

bool CConvertGraph::Open(DvdHandle handle, int titleIndex, int chapterIndex, const ConversionItem& clip,
                         HWND window) {
    Close();
    RegisterPlatformCodecs();
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, &graph_))) return false;
    bool queried = SUCCEEDED(graph_.As(&owner_.control));
    if (queried && window) {
        queried = SUCCEEDED(graph_.As(&owner_.events));
        if (queried) {
            owner_.events->SetNotifyWindow(window, long(WM_GRAPH_EVENT), 0);
            owner_.events->CancelDefaultHandling(EC_COMPLETE);
        }
    }
    clip_ = &clip;
    if (!settings_) return false;  // no output was opened: nothing to convert into
    if (!BuildFilters(handle, titleIndex, chapterIndex) || !ConnectFilters() || !queried) return false;
    owner_.control->Pause();
    return true;
}

bool CConvertGraph::BuildFilters(DvdHandle handle, int title, int chapter) {
    const EncoderSettings& s = *settings_;
    const bool video = s.HasVideo != 0, audio = s.HasAudio != 0;

    if (FAILED(CreateConversionSink(&sink_))) return false;
    graph_->AddFilter(sink_.Get(), "Conver");
    CConvFilter* sink = SinkOf(sink_.Get());
    sink->SetWriter(&writer_);
    sink->SetFrameDuration(s.FrameRate > 0 ? 1000000.0 / double(s.FrameRate) * 10000.0 : 0.0);
    sink->SetWindow(clip_->TrimStart * 10000, (clip_->TrimStart + clip_->TrimLength) * 10000);

    if (FAILED(CreateDvdSourceFilter(&source_))) return Fail("CLSID_DVDSource error");
    graph_->AddFilter(source_.Get(), "Reader");

    if (FAILED(CreateMpegSplitterFilter(&splitter_))) return Fail("CLSID_MpegSplitter error");
    graph_->AddFilter(splitter_.Get(), "Splitter");
    if (SUCCEEDED(splitter_.As(&owner_.seeking))) owner_.seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);

    if (video) {
        if (FAILED(CoCreateInstance(CLSID_MpegDecoder, &videoDecoder_))) return Fail("CLSID_MpegDecoder error");
        graph_->AddFilter(videoDecoder_.Get(), "VideoDecoder");
    }
    if (audio) {
        if (FAILED(CoCreateInstance(CLSID_MpaDecoder, &audioDecoder_))) return Fail("CLSID_MpaDecoder error");
        graph_->AddFilter(audioDecoder_.Get(), "AudioDecoder");
        if (FAILED(CreateAudioConverterFilter(&audioConverter_))) return Fail("CLSID_MyAudioConver error");
        graph_->AddFilter(audioConverter_.Get(), "AudioConver");
    }
    if (video) {
        if (FAILED(CreateVideoConverterFilter(&videoConverter_))) return Fail("CLSID_MyVideoConver error");
        graph_->AddFilter(videoConverter_.Get(), "VideoConver");
    }

    ComPtr<IMyDVDReader> reader;
    if (FAILED(source_.As(&reader))) return Fail("IID_IMyDVDReader error");
    if (FAILED(reader->SetDvdReader(handle))) return Fail("SetDvdReader error");
    if (FAILED(reader->SetTitleArea(title, chapter))) return Fail("SetDvdReader error");
    reader->GetTitleDuration(&titleDuration_);

    const ClipSettings& c = clip_->Clip;
    if (video) {
        ComPtr<IMyVideoConvFilter> conv;
        if (FAILED(videoConverter_.As(&conv))) return Fail("IID_IMyVideoConvFilter error");
        conv->SetGeometry(c.ZoomMode, RECT{c.CropLeft, c.CropTop, c.CropRight, c.CropBottom},
                          RECT{0, 0, s.Width, s.Height});
        conv->SetHue(c.Hue);
        conv->SetBrightness(c.Brightness);
        conv->SetSaturation(c.Saturation);
    }
    if (audio) {
        ComPtr<IMyAudioConvFilter> conv;
        if (FAILED(audioConverter_.As(&conv))) return Fail("IID_IMyAudioConvFilter error");
        conv->SetOutputFormat(WORD(s.Channel), DWORD(s.SampleRate));
        conv->SetVolume(c.Volume);
    }
    // Without the title's record the splitter would list a subtitle shown from
    // the second second onwards only once its reading got there, so whether the
    // chosen track could be enabled would depend on how fast the cued graph had
    // read.
    HandTitleRecord(splitter_.Get(), handle, title);
    ComPtr<IMyMpegSplitter> control;
    if (titleDuration_ > 0 && SUCCEEDED(splitter_.As(&control)))
        control->SetPlayRange(clip_->TrimStart, clip_->TrimLength, titleDuration_);
    return true;
}

bool CConvertGraph::Link(IPin* out, IPin* in) { return SUCCEEDED(graph_->ConnectDirect(out, in, nullptr)); }

bool CConvertGraph::ConnectFilters() {
    const bool video = settings_->HasVideo != 0, audio = settings_->HasAudio != 0;

    ComPtr<IPin> out = FindPin(source_.Get(), PINDIR_OUTPUT, 0);
    if (!out) return Fail("get source output pin error");
    graph_->Disconnect(out.Get());
    ComPtr<IPin> in = FindPin(splitter_.Get(), PINDIR_INPUT, 0);
    if (!in) return Fail("get splitter input pin error");
    graph_->Disconnect(in.Get());
    if (!Link(out.Get(), in.Get())) return false;

    if (video) {
        if (ComPtr<IPin> v = FindPin(splitter_.Get(), PINDIR_OUTPUT, 0)) {
            ComPtr<IPin> d = FindPin(videoDecoder_.Get(), PINDIR_INPUT, 0);
            if (!d || !Link(v.Get(), d.Get())) return Fail("connect splitter and decoder error(video)");
        }
    }
    if (audio) {
        if (ComPtr<IPin> a = FindPin(splitter_.Get(), PINDIR_OUTPUT, 1)) {
            ComPtr<IPin> d = FindPin(audioDecoder_.Get(), PINDIR_INPUT, 0);
            if (!d || !Link(a.Get(), d.Get())) return Fail("connect splitter and decoder error(audio)");
        }
    }
    if (video) {
        ComPtr<IPin> sub = FindPin(splitter_.Get(), PINDIR_OUTPUT, 2);
        ComPtr<IPin> d = FindPin(videoDecoder_.Get(), PINDIR_INPUT, 1);
        if (sub && d) Link(sub.Get(), d.Get());  // pictures convert without subtitles too
    }
    if (video) {
        ComPtr<IPin> o = FindPin(videoDecoder_.Get(), PINDIR_OUTPUT, 0);
        if (!o) return Fail("get video decoder output pin error");
        graph_->Disconnect(o.Get());
        ComPtr<IPin> i = FindPin(videoConverter_.Get(), PINDIR_INPUT, 0);
        if (!i) return Fail("get video conver input pin error");
        graph_->Disconnect(i.Get());
        if (!Link(o.Get(), i.Get())) return Fail("connect video decoder and video conver error");
        FitCropToPicture(i.Get());
    }
    if (audio) {
        ComPtr<IPin> o = FindPin(audioDecoder_.Get(), PINDIR_OUTPUT, 0);
        if (!o) return Fail("get audio decoder output pin error");
        graph_->Disconnect(o.Get());
        ComPtr<IPin> i = FindPin(audioConverter_.Get(), PINDIR_INPUT, 0);
        if (!i) return Fail("get audio conver input pin error");
        graph_->Disconnect(i.Get());
        // A title without sound leaves the audio decoder unlinked, and the link fails here.
        if (!Link(o.Get(), i.Get())) return Fail("connect audio decoder and audio conver error");

        ComPtr<IPin> co = FindPin(audioConverter_.Get(), PINDIR_OUTPUT, 0);
        if (!co) return Fail("get audio conver output pin error");
        graph_->Disconnect(co.Get());
        ComPtr<IPin> si = FindPin(sink_.Get(), PINDIR_INPUT, 0);
        if (!si) return Fail("get mConver input pin 0 error");
        graph_->Disconnect(si.Get());
        if (!Link(co.Get(), si.Get())) return Fail("connect audio conver out pin to mConver error");
    }
    if (video) {
        ComPtr<IPin> co = FindPin(videoConverter_.Get(), PINDIR_OUTPUT, 0);
        if (!co) return Fail("get video conver output pin error");
        graph_->Disconnect(co.Get());
        ComPtr<IPin> si = FindPin(sink_.Get(), PINDIR_INPUT, 1);
        if (!si) return Fail("get mConver input pin error");
        graph_->Disconnect(si.Get());
        if (!Link(co.Get(), si.Get())) return Fail("connect video conver out pin to mConver error");
    }
    return true;
}

// The clip editor gives the crop in the 720 x 480 frame it shows every title in.
// A picture of another size (PAL's 720 x 576) gets the same part of itself, not
// the top-left 720 x 480 pixels: the untouched crop must keep the whole picture.
// The converter plans its geometry only when its output connects, so the
// rectangle can still be replaced here.
void CConvertGraph::FitCropToPicture(IPin* converterInput) {
    CMediaType mt;
    if (FAILED(converterInput->ConnectionMediaType(&mt))) return;
    const BITMAPINFOHEADER* bih = GetBitmapInfoHeader(&mt);
    const long w = bih ? bih->biWidth : 0, h = bih ? std::labs(long(bih->biHeight)) : 0;
    const long refW = ProcessVideoSize.Width, refH = ProcessVideoSize.Height;
    if (w <= 0 || h <= 0 || refW <= 0 || refH <= 0 || (w == refW && h == refH)) return;
    const ClipSettings& c = clip_->Clip;
    if (c.CropRight <= c.CropLeft || c.CropBottom <= c.CropTop) return;
    ComPtr<IMyVideoConvFilter> conv;
    if (FAILED(videoConverter_.As(&conv))) return;
    RECT crop{LONG(c.CropLeft * w / refW), LONG(c.CropTop * h / refH), LONG(c.CropRight * w / refW),
              LONG(c.CropBottom * h / refH)};
    conv->SetGeometry(c.ZoomMode, crop, RECT{0, 0, settings_->Width, settings_->Height});
}

bool CConvertGraph::AttachPreview(HWND window, const RECT* rect) {
    if (!writer_.HasVideoStream()) return true;
    if (!graph_ || !sink_) return false;
    Stop();
    if (FAILED(CoCreateInstance(CLSID_VideoMixingRenderer, &previewRenderer_)) ||
        FAILED(graph_->AddFilter(previewRenderer_.Get(), "Video Mixing Renderer"))) {
        previewControl_.Reset();
        return false;
    }
    if (FAILED(SetUpWindowless(previewRenderer_.Get(), window, previewControl_))) return false;

    ComPtr<IPin> pre = FindPin(sink_.Get(), PINDIR_OUTPUT, 0);
    if (!pre) return Fail("get mConver preview pin error");
    graph_->Disconnect(pre.Get());
    ComPtr<IPin> in = FindPin(previewRenderer_.Get(), PINDIR_INPUT, 0);
    if (!in) return Fail("get preview renderer input pin error");
    graph_->Disconnect(in.Get());
    if (!Link(pre.Get(), in.Get())) return Fail("connect preview pin to renderer error");

    previewRect_ = rect ? *rect : (window ? window->GetClientRect() : RECT{});
    previewControl_->SetVideoPosition(nullptr, &previewRect_);
    if (window) window->Invalidate();
    previewControl_->SetBorderColor(0);
    if (owner_.control) owner_.control->Pause();
    return true;
}

void CConvertGraph::ShowPreview(bool on) {
    if (!previewControl_) return;
    RECT empty{0, 0, 0, 0};
    previewControl_->SetVideoPosition(nullptr, on ? &previewRect_ : &empty);
    if (sink_) SinkOf(sink_.Get())->SetPreview(on);
}

bool CConvertGraph::RepaintPreview(HWND window, HDC dc) {
    return previewControl_ && SUCCEEDED(previewControl_->RepaintVideo(window, dc));
}

bool CConvertGraph::ListStreams(StreamTable& table) {
    ComPtr<IAMStreamSelect> select;
    if (!splitter_ || FAILED(splitter_.As(&select))) return false;
    return ListStreamsFrom(select.Get(), table);
}

bool CConvertGraph::EnableStream(int index, bool enable) {
    ComPtr<IAMStreamSelect> select;
    if (!splitter_ || FAILED(splitter_.As(&select))) return false;
    AM_MEDIA_TYPE* pmt = nullptr;
    DWORD flags = 0;
    if (FAILED(select->Info(index, &pmt, &flags, nullptr, nullptr, nullptr, nullptr, nullptr)) || !pmt)
        return SUCCEEDED(select->Enable(index, enable ? 1 : 0));
    const bool audio = pmt->majortype == MEDIATYPE_Audio;
    const bool subtitle = pmt->majortype == MEDIATYPE_Video && pmt->subtype == MEDIASUBTYPE_DVD_SUBPICTURE;
    DeleteMediaType(pmt);
    if (!enable) return subtitle && (flags & AMSTREAMSELECTINFO_ENABLED) ? DropSubtitles() : false;
    if (flags & AMSTREAMSELECTINFO_ENABLED) return true;
    // The cued graph is already reading the title: a stream switched on now
    // would miss what was read before (a subtitle shown from the first second
    // is a single packet near the start). Switched while stopped, the splitter
    // starts again from the beginning of the play range for every stream.
    return WhileStopped([&] {
        return audio && audioDecoder_ ? SwitchAudioTrack(select.Get(), index) : SUCCEEDED(select->Enable(index, 1));
    });
}

bool CConvertGraph::WhileStopped(const std::function<bool()>& change) {
    OAFilterState state = State_Stopped;
    if (owner_.control) owner_.control->GetState(100, &state);
    Stop();
    const bool ok = change();
    if (state == State_Paused)
        Pause();
    else if (state == State_Running)
        Run();
    return ok;
}

// The splitter always offers one subtitle track on its subpicture output (the
// first one listed); a conversion that wants none unlinks that output, and the
// decoder then passes its pictures on untouched.
bool CConvertGraph::DropSubtitles() {
    ComPtr<IPin> sub = FindPin(videoDecoder_.Get(), PINDIR_INPUT, 1);
    if (!sub) return true;
    ComPtr<IPin> from;
    if (FAILED(sub->ConnectedTo(from.ReleaseAndGetAddressOf())) || !from) return true;
    return WhileStopped(
        [&] { return SUCCEEDED(graph_->Disconnect(from.Get())) && SUCCEEDED(graph_->Disconnect(sub.Get())); });
}

// The audio branch was linked with the title's first audio track: the decoder
// set up for its codec, the decoder's output for its channels and rate. Another
// track often differs in all three (AC-3 5.1 beside MPEG stereo), which a linked
// branch refuses, and a decoder handed another codec mid-stream would not
// decode it anyway. So the branch is taken apart, the splitter's audio output
// switched while unlinked, and the branch linked again for the new track.
// Called with the graph stopped.
bool CConvertGraph::SwitchAudioTrack(IAMStreamSelect* select, int index) {
    ComPtr<IPin> split = FindPin(splitter_.Get(), PINDIR_OUTPUT, 1);
    ComPtr<IPin> decIn = FindPin(audioDecoder_.Get(), PINDIR_INPUT, 0);
    ComPtr<IPin> decOut = FindPin(audioDecoder_.Get(), PINDIR_OUTPUT, 0);
    ComPtr<IPin> convIn = FindPin(audioConverter_.Get(), PINDIR_INPUT, 0);
    ComPtr<IPin> convOut = FindPin(audioConverter_.Get(), PINDIR_OUTPUT, 0);
    ComPtr<IPin> sinkIn = FindPin(sink_.Get(), PINDIR_INPUT, 0);
    if (!split || !decIn || !decOut || !convIn || !convOut || !sinkIn) return SUCCEEDED(select->Enable(index, 1));
    for (IPin* pin : {split.Get(), decIn.Get(), decOut.Get(), convIn.Get(), convOut.Get(), sinkIn.Get()})
        graph_->Disconnect(pin);
    const HRESULT hr = select->Enable(index, 1);
    if (!Link(split.Get(), decIn.Get())) return Fail("connect splitter and decoder error(audio)");
    if (!Link(decOut.Get(), convIn.Get())) return Fail("connect audio decoder and audio conver error");
    if (!Link(convOut.Get(), sinkIn.Get())) return Fail("connect audio conver out pin to mConver error");
    return SUCCEEDED(hr);
}

bool CConvertGraph::Run() { return owner_.Run(); }
bool CConvertGraph::Pause() { return owner_.Pause(); }
bool CConvertGraph::Stop() { return owner_.Stop(); }
bool CConvertGraph::IsRunning() { return owner_.InState(State_Running); }
bool CConvertGraph::IsPaused() { return owner_.InState(State_Paused); }
bool CConvertGraph::IsStopped() { return owner_.InState(State_Stopped); }
bool CConvertGraph::GetDuration(double& seconds) { return owner_.Duration(seconds); }

bool CConvertGraph::GetCurrentPosition(double& seconds) {
    if (settings_ && sink_ && settings_->HasVideo) {
        seconds = double(SinkOf(sink_.Get())->VideoPosition()) / 1e7;
        return true;
    }
    if (settings_ && sink_ && settings_->HasAudio) {
        seconds = double(SinkOf(sink_.Get())->AudioPosition()) / 1e7;
        return true;
    }
    return owner_.CurrentPosition(seconds);
}

bool CConvertGraph::NextEvent(long& code) { return graph_ && owner_.NextEvent(code); }

void CConvertGraph::Close() {
    owner_.Release(long(WM_GRAPH_EVENT));
    splitter_.Reset();
    source_.Reset();
    videoDecoder_.Reset();
    audioDecoder_.Reset();
    videoConverter_.Reset();
    audioConverter_.Reset();
    if (sink_ && graph_) graph_->RemoveFilter(sink_.Get());
    sink_.Reset();
    previewControl_.Reset();
    previewRenderer_.Reset();
    graph_.Reset();
    clip_ = nullptr;
    titleDuration_ = 0;
}
