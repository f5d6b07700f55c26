#pragma once
// Builds, runs and tears down the pipeline that converts one entry of the
// conversion job: DVD source -> splitter -> decoders -> picture and sound
// converters -> conversion sink, with an optional preview renderer fed by the
// sink. Owns the writer, so one output file can stay open over several entries.
// Used from one thread (the GUI's, or the CLI's main thread).
#include <functional>
#include <string>

#include "encoding/media_writer.h"
#include "pipelines/clip.h"
#include "pipelines/graph_owner.h"
#include "pipelines/conversion_job.h"
#include "pipelines/stream_table.h"
#include "platform/com/comptr.h"
#include "platform/framework/framework.h"
#include "platform/libdvd/libdvd.h"
#include "platform/win/window.h"

#include "platform/codecs/video_renderer.h"
class CConvFilter;

class CConvertGraph : public IConversionGraph {
public:
    explicit CConvertGraph(DvdHandle handle = 0) : handle_(handle) {}
    ~CConvertGraph() override;
    CConvertGraph(const CConvertGraph&) = delete;
    CConvertGraph& operator=(const CConvertGraph&) = delete;

    void SetDvdHandle(DvdHandle handle) { handle_ = handle; }

    // The writer's Open result: 0 when the file and its encoders are open.
    int OpenOutput(const std::string& path, const EncoderSettings& settings) override;
    void CloseOutput() override;
    void CloseCutOutput() override;
    bool Open(int titleIndex, int chapterIndex, const ConversionItem& clip, HWND window) override;
    bool Open(DvdHandle handle, int titleIndex, int chapterIndex, const ConversionItem& clip, HWND window);
    bool AttachPreview(HWND window, const RECT* rect) override;
    void ShowPreview(bool on) override;
    bool RepaintPreview(HWND window, HDC dc) override;
    bool ListStreams(StreamTable& table) override;
    bool EnableStream(int index, bool enable) override;
    bool Run() override;
    bool Pause() override;
    bool Stop() override;
    bool IsRunning() override;
    bool IsPaused();
    bool IsStopped();
    bool GetDuration(double& seconds) override;
    bool GetCurrentPosition(double& seconds) override;
    void Close() override;
    bool NextEvent(long& code) override;

    CMediaWriter& Writer() { return writer_; }
    const std::string& LastOutputError() const { return writer_.LastError(); }

private:
    bool BuildFilters(DvdHandle handle, int title, int chapter);
    bool ConnectFilters();
    bool Link(IPin* out, IPin* in);
    void FitCropToPicture(IPin* converterInput);
    bool SwitchAudioTrack(IAMStreamSelect* select, int index);
    bool DropSubtitles();
    // Stops the graph for a change that needs it stopped, then brings it back
    // to the state it was in.
    bool WhileStopped(const std::function<bool()>& change);

    DvdHandle handle_ = 0;
    ComPtr<IVMRWindowlessControl> previewControl_;
    ComPtr<IGraphBuilder> graph_;
    GraphOwner owner_;
    ComPtr<IBaseFilter> sink_;
    ComPtr<IBaseFilter> splitter_, source_;
    ComPtr<IBaseFilter> videoDecoder_, audioDecoder_;
    ComPtr<IBaseFilter> videoConverter_, audioConverter_;
    ComPtr<IBaseFilter> previewRenderer_;
    RECT previewRect_{};
    const EncoderSettings* settings_ = nullptr;
    const ConversionItem* clip_ = nullptr;
    CMediaWriter writer_;
    LONGLONG titleDuration_ = 0;
};
