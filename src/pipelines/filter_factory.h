#pragma once
#include <vector>
// The program's own filters, created directly by the graph owners (never
// through the registry), and the control interfaces the owners talk to them
// through. One place that knows which library makes which filter.
#include "platform/com/comptr.h"
#include "platform/framework/framework.h"
#include "platform/libdvd/libdvd.h"

class CMediaWriter;

// The DVD source ("Reader") and the MPEG splitter ("Splitter").
HRESULT CreateDvdSourceFilter(ComPtr<IBaseFilter>* out);
HRESULT CreateMpegSplitterFilter(ComPtr<IBaseFilter>* out);
// The picture and sound converters ("VideoConver", "AudioConver") and the
// conversion sink ("Conver").
HRESULT CreateVideoConverterFilter(ComPtr<IBaseFilter>* out);
HRESULT CreateAudioConverterFilter(ComPtr<IBaseFilter>* out);
HRESULT CreateConversionSink(ComPtr<IBaseFilter>* out);

// The players' front of the graph: the DVD source ("Reader") set to the disc,
// the splitter ("Splitter") and the MPEG-2 decoder ("Decoder") added to the
// graph. On failure the user is told which step failed, as the players do.
bool AddDvdPlaybackFilters(IGraphBuilder* graph, DvdHandle handle, ComPtr<IBaseFilter>& source,
                           ComPtr<IBaseFilter>& splitter, ComPtr<IBaseFilter>& decoder);

// Hands the splitter the title's record from the disc's information, so that
// every track the title lists has a stream from the start (without it the
// scan lists only what it meets in the title's first chunk).
void HandTitleRecord(IBaseFilter* splitter, DvdHandle handle, int title);

// What a splitter output carries, told by the first type it offers.
enum class StreamKind { Video, Audio, Subpicture, Other };

// The splitter's first output pin that carries `kind`; null when there is none.
ComPtr<IPin> SplitterOutput(IBaseFilter* splitter, StreamKind kind);

// The filters in the graph now, each held (empty without a graph).
std::vector<ComPtr<IBaseFilter>> GraphFilters(IFilterGraph* graph);
