#pragma once
// Plays one DVD title in a rectangle of the main window before anything is
// converted: source, splitter, MPEG-2 decoder and the windowless video mixing
// renderer, with the audio left to the graph's automatic rendering. Lists and
// switches the title's streams and saves the current picture. Works with no
// window at all (CLI, tests): the renderer then only keeps the picture.
#include <string>
#include <vector>

#include "pipelines/graph_owner.h"
#include "pipelines/stream_table.h"
#include "platform/codecs/video_renderer.h"
#include "platform/com/comptr.h"
#include "platform/framework/framework.h"
#include "platform/libdvd/libdvd.h"
#include "platform/win/window.h"

constexpr RECT kPreviewVideoRect{32, 110, 311, 319};

class PreviewPlayer {
  public:
    PreviewPlayer() = default;
    ~PreviewPlayer() { Close(); }
    PreviewPlayer(const PreviewPlayer&) = delete;
    PreviewPlayer& operator=(const PreviewPlayer&) = delete;

    bool Open(DvdHandle handle, HWND window, const RECT* videoRect = nullptr);
    HRESULT CreateRenderer(HWND window);
    bool AddSourceFilters(DvdHandle handle);
    bool SelectTitle(int title, int chapter);
    bool ConnectGraph(int title);
    void Close();

    bool Run();
    bool Pause();
    bool Stop();
    bool IsRunning();
    bool IsPaused();
    bool IsStopped();

    bool SetPosition(double seconds);
    bool GetDuration(double& seconds);
    bool GetStopPosition(double& seconds);
    bool GetCurrentPosition(double& seconds);

    bool EnableStream(int index, bool enable);
    bool ListStreams(StreamTable& table);
    // Writes nothing when there is no picture, no encoder for the extension or
    // the folder is missing; the result (and `error`) say whether a file was
    // written, for callers (the CLI) that want to tell the user.
    bool SaveSnapshot(const std::string& path, std::string* error = nullptr);
    // Waits until a paused or running graph has finished its transition, so
    // that after Pause the picture at the position is in the renderer. False
    // when it did not complete in time or there is no graph.
    bool WaitUntilCued(long timeoutMs);
    void Repaint(HWND window, HDC dc);

    // Takes the next graph event (wait 0) and frees it; false when none.
    bool NextEvent(long& code, LONG_PTR* p1 = nullptr, LONG_PTR* p2 = nullptr);

    LONGLONG TitleDuration() const { return titleDuration_; }
    IVMRWindowlessControl* WindowlessControl() const { return windowless_.Get(); }
    IMediaEventEx* Events() const { return owner_.events.Get(); }
    IGraphBuilder* Graph() const { return builder_.Get(); }

  private:
    void RemoveRenderedFilters();
    HRESULT RenderSound(IPin* audio);
    HRESULT SwitchSoundPath(IAMStreamSelect* select, int index);

    ComPtr<IFilterGraph> graph_;
    ComPtr<IGraphBuilder> builder_;
    GraphOwner owner_;
    ComPtr<IBaseFilter> splitter_;
    ComPtr<IBaseFilter> source_;
    ComPtr<IBaseFilter> renderer_;
    ComPtr<IBaseFilter> decoder_;
    ComPtr<IVMRWindowlessControl> windowless_;
    // What Render put in the graph for the sound of the connected title.
    std::vector<ComPtr<IBaseFilter>> rendered_;
    LONGLONG titleDuration_ = 0;
    DvdHandle handle_ = 0;
};
