#pragma once
// The program's own filters, created directly by the graph owners (never
// through the registry), and the control interfaces the owners talk to them
// through. One place that knows which library makes which filter.
#include "platform/com/comptr.h"
#include "platform/framework/framework.h"

class CMediaWriter;

// The DVD source ("Reader") and the MPEG splitter ("Splitter").
HRESULT CreateDvdSourceFilter(ComPtr<IBaseFilter>* out);
HRESULT CreateMpegSplitterFilter(ComPtr<IBaseFilter>* out);
// The picture and sound converters ("VideoConver", "AudioConver") and the
// conversion sink ("Conver").
HRESULT CreateVideoConverterFilter(ComPtr<IBaseFilter>* out);
HRESULT CreateAudioConverterFilter(ComPtr<IBaseFilter>* out);
HRESULT CreateConversionSink(ComPtr<IBaseFilter>* out);
