#include "pipelines/filter_factory.h"

#include "demux/mpeg_splitter.h"
#include "dvd/dvd_reader.h"
#include "encoding/conv_filter.h"
#include "filters/audio_conv_filter.h"
#include "filters/video_conv_filter.h"
#include "platform/codecs/codecs.h"
#include "platform/win/messages.h"

#include <memory>

namespace {

// Class factories hand out objects with no reference yet; take one, ask for the
// filter interface, and let go of ours.
HRESULT Adopt(CUnknown* object, HRESULT hr, ComPtr<IBaseFilter>* out) {
    if (!object) return FAILED(hr) ? hr : E_OUTOFMEMORY;
    object->NonDelegatingAddRef();
    HRESULT q = FAILED(hr) ? hr : object->NonDelegatingQueryInterface(IID_IBaseFilter, out->ReleaseAndGetVoidAddress());
    object->NonDelegatingRelease();
    return q;
}

}  // namespace

HRESULT CreateDvdSourceFilter(ComPtr<IBaseFilter>* out) {
    HRESULT hr = S_OK;
    CUnknown* object = CDVDReader::CreateInstance(nullptr, &hr);
    return Adopt(object, hr, out);
}

HRESULT CreateMpegSplitterFilter(ComPtr<IBaseFilter>* out) {
    CMpegSplitterFilter* filter = nullptr;
    HRESULT hr = CMpegSplitterFilter::Create(&filter);
    if (FAILED(hr)) return hr;
    out->Attach(static_cast<IBaseFilter*>(filter));
    return S_OK;
}

HRESULT CreateVideoConverterFilter(ComPtr<IBaseFilter>* out) {
    HRESULT hr = S_OK;
    CUnknown* object = CMyVideoConveFilter::CreateInstance(nullptr, &hr);
    return Adopt(object, hr, out);
}

HRESULT CreateAudioConverterFilter(ComPtr<IBaseFilter>* out) {
    HRESULT hr = S_OK;
    CUnknown* object = CMyAudioConveFilter::CreateInstance(nullptr, &hr);
    return Adopt(object, hr, out);
}

HRESULT CreateConversionSink(ComPtr<IBaseFilter>* out) {
    HRESULT hr = S_OK;
    CConvFilter* sink = CConvFilter::Create(&hr);
    return Adopt(sink, hr, out);
}

bool AddDvdPlaybackFilters(IGraphBuilder* graph, DvdHandle handle, ComPtr<IBaseFilter>& source,
                           ComPtr<IBaseFilter>& splitter, ComPtr<IBaseFilter>& decoder) {
    if (FAILED(CreateDvdSourceFilter(&source)) || FAILED(graph->AddFilter(source.Get(), "Reader"))) {
        MessageBox("CLSID_DVDSource error");
        return false;
    }
    if (FAILED(CreateMpegSplitterFilter(&splitter)) || FAILED(graph->AddFilter(splitter.Get(), "Splitter"))) {
        MessageBox("CLSID_MpegSplitter error");
        return false;
    }
    if (FAILED(CoCreateInstance(CLSID_MpegDecoder, &decoder)) || FAILED(graph->AddFilter(decoder.Get(), "Decoder"))) {
        MessageBox("CLSID_MpegDecoder error");
        return false;
    }
    ComPtr<IMyDVDReader> reader;
    if (FAILED(source.As(&reader))) {
        MessageBox("IID_IMyDVDReader error");
        return false;
    }
    if (FAILED(reader->SetDvdReader(handle))) {
        MessageBox("SetDvdReader error");
        return false;
    }
    return true;
}

void HandTitleRecord(IBaseFilter* splitter, DvdHandle handle, int title) {
    ComPtr<IMyMpegSplitter> control;
    if (!splitter || FAILED(splitter->QueryInterface(IidOf<IMyMpegSplitter>(), control.ReleaseAndGetVoidAddress())))
        return;
    auto info = std::make_unique<DvdInfo>();
    if (MyDVDGetInfo(handle, info.get()) == 0 && title >= 0 && title < kDvdMaxTitles &&
        title < int(info->TitleCount))
        control->SetTitleInfo(&info->Titles[title]);
}

ComPtr<IPin> SplitterOutput(IBaseFilter* splitter, StreamKind kind) {
    for (int n = 0;; ++n) {
        ComPtr<IPin> pin = FindPin(splitter, PINDIR_OUTPUT, n);
        if (!pin) return nullptr;
        ComPtr<IEnumMediaTypes> types;
        if (FAILED(pin->EnumMediaTypes(types.ReleaseAndGetAddressOf())) || !types) continue;
        AM_MEDIA_TYPE* mt = nullptr;
        ULONG got = 0;
        if (types->Next(1, &mt, &got) != S_OK || !mt) continue;
        StreamKind k = StreamKind::Other;
        if (mt->majortype == MEDIATYPE_Video)
            k = mt->subtype == MEDIASUBTYPE_DVD_SUBPICTURE ? StreamKind::Subpicture
                                                           : StreamKind::Video;
        else if (mt->majortype == MEDIATYPE_Audio)
            k = StreamKind::Audio;
        DeleteMediaType(mt);
        if (k == kind) return pin;
    }
}

std::vector<ComPtr<IBaseFilter>> GraphFilters(IFilterGraph* graph) {
    std::vector<ComPtr<IBaseFilter>> filters;
    ComPtr<IEnumFilters> e;
    if (!graph || FAILED(graph->EnumFilters(e.ReleaseAndGetAddressOf())) || !e) return filters;
    IBaseFilter* f = nullptr;
    ULONG got = 0;
    while (e->Next(1, &f, &got) == S_OK && f) {
        ComPtr<IBaseFilter> held;
        held.Attach(f);
        filters.push_back(std::move(held));
        f = nullptr;
    }
    return filters;
}
