#pragma once
// The clip editor's player: one DVD title shown twice, side by side. View 0 is
// the picture as decoded, with the crop frame drawn over it; view 1 is the
// processed picture: only the cropped part, placed by the zoom mode, with
// brightness, saturation and hue applied. The sound goes through the audio
// conversion filter so that the volume is heard.
//
//   Reader -> Splitter -> Decoder -> Tee -> VideoConver0 -> renderer 0 (view 0)
//                                        -> VideoConver  -> renderer 1 (view 1)
//             Splitter (sound) -> decoder -> AudioConver -> audio renderer
//
// Neither picture converter crops or scales; renderer 1 does the crop with its
// source rectangle and the placement with its destination rectangle, so every
// change shows at once. Works with queue windows (tests) as with real ones.
// All calls belong on one thread (the user-interface thread).
//
// Usage: SetTitle(title, chapter); Open(...); then transport, positions and
// the picture settings; Close() (also run by Open and the destructor).
#include <memory>
#include <vector>

#include "pipelines/graph_owner.h"
#include "pipelines/stream_table.h"
#include "platform/codecs/memory_dc.h"
#include "platform/codecs/video_renderer.h"
#include "platform/com/comptr.h"
#include "platform/framework/framework.h"
#include "platform/libdvd/libdvd.h"
#include "platform/win/window.h"

class EditPreviewPlayer {
  public:
    EditPreviewPlayer() = default;
    ~EditPreviewPlayer() { Close(); }
    EditPreviewPlayer(const EditPreviewPlayer&) = delete;
    EditPreviewPlayer& operator=(const EditPreviewPlayer&) = delete;

    // The title (0-based) and chapter (-1: the whole title) the next Open plays.
    void SetTitle(int title, int chapter) {
        title_ = title;
        chapter_ = chapter;
    }
    int Title() const { return title_; }
    int Chapter() const { return chapter_; }

    // Builds the graph for the title, stopped. View 0 goes to rect0 of window0
    // (its client rectangle when rect0 is null); the processed branch exists
    // only when window1 is given. sourceWidth x sourceHeight is the frame the
    // crop is given in (the editor's 720 x 480 reference frame). False, after
    // the build's own message box where there is one, when the graph could not
    // be built or view 0 has no renderer.
    bool Open(DvdHandle handle, HWND window0, const RECT* rect0, HWND window1, const RECT* rect1,
              int sourceWidth, int sourceHeight);
    HRESULT CreateRenderer(HWND window, int view);
    bool BuildGraph(DvdHandle handle);
    void Close();

    bool Run();
    bool Pause();
    bool Stop();
    bool IsRunning();
    bool IsPaused();
    bool IsStopped();
    // Waits until a paused or running graph has finished its transition, so
    // that after Pause both views hold the picture at the position.
    bool WaitUntilCued(long timeoutMs);

    bool SetPosition(double seconds);
    bool GetDuration(double& seconds);
    bool GetStopPosition(double& seconds);
    bool GetCurrentPosition(double& seconds);

    bool EnableStream(int index, bool enable);
    bool ListStreams(StreamTable& table);

    // The crop in source-frame pixels; reduced to the frame, ignored when
    // nothing of it is inside or there is no processed view.
    void SetCropRect(const RECT& r);
    RECT GetCropRect() const { return crop_; }
    // Where the processed picture goes, in window 1's client coordinates.
    void SetProcessedViewRect(const RECT& r);
    // 0 stretches the crop over the processed rectangle, 1 letterboxes it.
    void SetProcessedAspectMode(int mode);
    void SetVolume(int volume);          // 0..512, 256 unchanged
    void SetSaturation(int saturation);  // 0..128, 64 unchanged
    void SetHue(int degrees);            // -180..180
    void SetBrightness(int brightness);  // 0..256, 128 unchanged

    // Draws both views (bars, picture, crop frame) into dc.
    void Repaint(HWND window, HDC dc);

    // Takes the next graph event (wait 0) and frees it; false when none.
    bool NextEvent(long& code, LONG_PTR* p1 = nullptr, LONG_PTR* p2 = nullptr);

    LONGLONG TitleDuration() const { return titleDuration_; }
    bool HasGraph() const { return bool(builder_); }
    bool HasEvents() const { return bool(owner_.events); }
    IGraphBuilder* Graph() const { return builder_.Get(); }
    IVMRWindowlessControl* WindowlessControl(int view) const {
        return view == 0 ? windowless0_.Get() : view == 1 ? windowless1_.Get() : nullptr;
    }
    // The crop frame as last handed to renderer 0 (black is transparent).
    const CMemoryDC* OverlaySurface() const { return overlay_.get(); }
    bool HasProcessedBranch() const { return bool(videoConv_); }
    bool HasAudioConverter() const { return bool(audioConv_); }

  private:
    void DrawOverlay();
    void ApplyProcessedSource();

    ComPtr<IGraphBuilder> builder_;
    GraphOwner owner_;  // media control, seeking and events of builder_
    ComPtr<IBaseFilter> splitter_;
    ComPtr<IBaseFilter> source_;
    ComPtr<IBaseFilter> tee_;
    ComPtr<IBaseFilter> videoConv_;
    ComPtr<IBaseFilter> audioConv_;
    ComPtr<IBaseFilter> renderer0_;
    ComPtr<IBaseFilter> renderer1_;
    ComPtr<IVMRWindowlessControl> windowless0_;
    ComPtr<IVMRWindowlessControl> windowless1_;
    ComPtr<IVMRMixerBitmap> mixerBitmap_;
    RECT view0Size_{};
    std::unique_ptr<CMemoryDC> overlay_;
    RECT sourceFrame_{};
    RECT crop_{};
    int title_ = 0;
    int chapter_ = -1;
    LONGLONG titleDuration_ = 0;
};
