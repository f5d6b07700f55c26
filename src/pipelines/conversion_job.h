#pragma once
// The logic of the conversion progress dialog, free of any widget: which
// entries are converted and in what order, when output files are opened and
// closed, how graph events advance the job, and what the progress bars and
// time labels show. The GUI dialog and `discreel-cli convert` both drive it by
// forwarding the posted messages 0x41A and 0x414 and a 200 ms timer.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pipelines/clip.h"
#include "pipelines/stream_table.h"
#include "platform/win/window.h"

namespace profiles {
struct EncoderSettings;
}
using profiles::EncoderSettings;

constexpr UINT WM_GRAPH_EVENT = 0x414;
constexpr UINT WM_START_ENTRY = 0x41A;
constexpr int kProgressTimerId = 100;
constexpr int kProgressTimerMs = 200;
// An entry shorter than this is passed over when it follows a completed one.
constexpr std::int64_t kMinEntryAfterCompleteMs = 1000;

// What the job needs of the conversion graph; CConvertGraph provides it, tests
// substitute a scripted one.
class IConversionGraph {
public:
    virtual ~IConversionGraph() = default;
    virtual int OpenOutput(const std::string& path, const EncoderSettings& settings) = 0;
    virtual void CloseOutput() = 0;
    // The job was cut short: the partial file is finished, its sound ending
    // with its last picture.
    virtual void CloseCutOutput() { CloseOutput(); }
    virtual bool Open(int titleIndex, int chapterIndex, const ConversionItem& clip, HWND window) = 0;
    virtual bool AttachPreview(HWND window, const RECT* rect) = 0;
    virtual void ShowPreview(bool on) = 0;
    virtual bool ListStreams(StreamTable& table) = 0;
    virtual bool EnableStream(int index, bool enable) = 0;
    virtual bool Run() = 0;
    virtual bool Pause() = 0;
    virtual bool Stop() = 0;
    virtual bool IsRunning() = 0;
    virtual bool GetDuration(double& seconds) = 0;
    virtual bool GetCurrentPosition(double& seconds) = 0;
    virtual void Close() = 0;
    // Takes the next queued graph event (wait 0) and frees its parameters;
    // false when none is left or the graph has no event interface.
    virtual bool NextEvent(long& code) = 0;
    // Paints the preview's latest picture into the window's paint; false when
    // the graph has no preview to paint (the window then shows its own well).
    virtual bool RepaintPreview(HWND /*window*/, HDC /*dc*/) { return false; }
};

struct JobEntry {
    ConversionItem* item = nullptr;
    bool checked = true;
    std::string outputName;  // display name + profile extension
};

struct JobOptions {
    bool merge = false;
    std::string outFolder;
    std::string action;  // the preference "strAction"; "Shut Down" shuts down
    bool shutdownChecked = false;
    bool openFolderChecked = false;
    int selectedAudioStream = -1;
    int selectedSubtitleStream = -1;
};

// Everything the job does to the world outside the graph, injectable so that a
// test never shuts a machine down.
struct JobActions {
    std::function<std::uint64_t()> tickMs;                    // monotonic milliseconds
    std::function<void(bool on)> setTimer;                    // timer 100 on/off
    std::function<void()> shutdown;                           // ask the system to power off
    std::function<void(const std::string& folder)> openFolder;
    std::function<void()> showFinished;                       // the finish dialog
    std::function<void()> endDialog;                          // the job is over
};

struct JobDisplay {
    int fileBar = 0;  // 0..1000
    int jobBar = 0;   // 0..1000
    std::string elapsed = "00:00:00";
    std::string remaining = "00:00:00";
    std::string converted = "00:00:00/00:00:00";
    bool pauseVisible = true;
    bool continueVisible = false;
};

// What became of one started entry, for front ends that report per file.
struct EntryOutcome {
    int index = -1;           // into the job's list
    std::string output;       // the file it was written into
    int openResult = 0;       // the writer's Open result when this entry opened the file
    bool built = false;       // the graph was built
    bool completed = false;   // the graph reported completion
};

// "%02d:%02d:%02d" of a value in 100 ns units.
std::string FormatJobTime(std::int64_t hundredNs);

class ConversionJob {
public:
    ConversionJob(IConversionGraph& graph, HWND self, std::vector<JobEntry>* list,
                  const EncoderSettings& settings, JobOptions options, JobActions actions);

    // Collects the checked entries and posts 0x41A; false ("pList NULL") without a list.
    bool Initialise();
    void OnStartEntry();  // 0x41A
    void OnGraphEvent();  // 0x414
    void OnTimer();       // timer 100
    void OnPause();
    void OnContinue();
    void OnCancel();
    void OnShowPreview(bool on);
    void OnClose();
    void OnDestroy();
    // The two after-job check boxes, which the user may change while the job
    // runs; read when the job finishes.
    void SetFinishChoices(bool shutdownChecked, bool openFolderChecked);

    const JobDisplay& Display() const { return display_; }
    bool Running() const { return running_; }
    bool Ended() const { return ended_; }
    bool Finished() const { return finished_; }
    double CompletedSeconds() const { return double(completedMs_) / 1000.0; }
    double TotalSeconds() const { return double(totalMs_) / 1000.0; }
    // Index into the list of the entry being converted, -1 when none.
    int CurrentIndex() const { return current_; }
    // Output paths opened so far, in order.
    const std::vector<std::string>& OutputPaths() const { return outputs_; }
    const std::vector<EntryOutcome>& Outcomes() const { return outcomes_; }

private:
    int NextChecked(int after, std::int64_t minLength) const;
    void FinishJob();
    void Post(UINT msg);
    std::uint64_t Now() const;

    IConversionGraph& graph_;
    HWND self_;
    std::vector<JobEntry>* list_;
    const EncoderSettings& settings_;
    JobOptions options_;
    JobActions actions_;
    JobDisplay display_;

    // Kept in milliseconds, as the entries give them: summed in seconds, 0.1 s
    // and 1.0 s come to a hair under the 1.1 s total, and a finished job's bar
    // would stop at 999.
    std::int64_t completedMs_ = 0;
    std::int64_t totalMs_ = 0;
    bool newFile_ = true;
    int current_ = -1;
    std::uint64_t segmentStart_ = 0;
    std::uint64_t now_ = 0;
    std::uint64_t carried_ = 0;
    bool running_ = false;
    bool ended_ = false;
    bool finished_ = false;
    std::vector<std::string> outputs_;
    std::vector<EntryOutcome> outcomes_;
    int lastOpenResult_ = 0;
};
