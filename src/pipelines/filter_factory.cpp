#include "pipelines/filter_factory.h"

#include "demux/mpeg_splitter.h"
#include "dvd/dvd_reader.h"
#include "encoding/conv_filter.h"
#include "filters/audio_conv_filter.h"
#include "filters/video_conv_filter.h"

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
