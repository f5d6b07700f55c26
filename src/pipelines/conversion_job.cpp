#include "pipelines/conversion_job.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "platform/framework/framework.h"
#include "platform/win/messages.h"

std::string FormatJobTime(std::int64_t hundredNs) {
    std::int64_t s = hundredNs / 10000000;
    if (s < 0) s = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", int(s / 3600), int(s / 60 % 60), int(s % 60));
    return buf;
}

ConversionJob::ConversionJob(IConversionGraph& graph, HWND self, std::vector<JobEntry>* list,
                             const EncoderSettings& settings, JobOptions options,
                             JobActions actions)
    : graph_(graph),
      self_(self),
      list_(list),
      settings_(settings),
      options_(std::move(options)),
      actions_(std::move(actions)) {}

std::uint64_t ConversionJob::Now() const {
    if (actions_.tickMs) return actions_.tickMs();
    using namespace std::chrono;
    return std::uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void ConversionJob::Post(UINT msg) { PostMessage(self_, msg, 0, 0); }

bool ConversionJob::Initialise() {
    if (!list_) {
        MessageBox("pList NULL");
        return false;
    }
    display_ = JobDisplay{};
    completedMs_ = 0;
    totalMs_ = 0;
    running_ = false;
    carried_ = 0;
    current_ = -1;
    for (int i = 0; i < int(list_->size()); ++i) {
        JobEntry& e = (*list_)[i];
        if (!e.checked || !e.item) continue;
        // The last clip-editor result applies to every entry; the trim stays its own.
        e.item->Clip = CurrentClip.Clip;
        totalMs_ += e.item->TrimLength;
        if (current_ < 0) current_ = i;
    }
    newFile_ = true;
    Post(WM_START_ENTRY);
    return true;
}

int ConversionJob::NextChecked(int after, std::int64_t minLength) const {
    for (int i = after + 1; i < int(list_->size()); ++i) {
        const JobEntry& e = (*list_)[i];
        if (e.checked && e.item && e.item->TrimLength >= minLength) return i;
    }
    return -1;
}

void ConversionJob::OnStartEntry() {
    if (ended_ || !list_ || current_ < 0 || current_ >= int(list_->size())) return;
    JobEntry& entry = (*list_)[current_];
    if (!entry.item) return;

    bool openedHere = false;
    if (newFile_) {
        openedHere = true;
        std::string path = options_.outFolder + "/" + entry.outputName;
        outputs_.push_back(path);
        // A file that cannot be opened is not reported here: the entry then
        // writes nothing, and the writer itself tells why.
        lastOpenResult_ = graph_.OpenOutput(path, settings_);
        newFile_ = false;
    }
    EntryOutcome outcome;
    outcome.index = current_;
    outcome.output = outputs_.empty() ? std::string() : outputs_.back();
    outcome.openResult = lastOpenResult_;

    outcome.built = graph_.Open(entry.item->TitleIndex, entry.item->ChapterIndex, *entry.item, self_);
    outcomes_.push_back(outcome);
    if (outcome.built) {
        static const RECT kPreview{86, 78, 408, 320};
        graph_.AttachPreview(self_, &kPreview);
        StreamTable table;
        if (graph_.ListStreams(table)) {
            bool subtitleChosen = false;
            for (int i = table.subtitleCount - 1; i >= 0; --i)
                if (MatchesTrack(table.subtitle[i].pesStreamId, table.subtitle[i].subStreamId,
                                 options_.selectedSubtitleStream)) {
                    graph_.EnableStream(table.subtitle[i].index, true);
                    subtitleChosen = true;
                }
            // No track of this title is the chosen one (or none was chosen): the
            // splitter's own pick, its first track, must not be burned in instead.
            if (!subtitleChosen)
                for (int i = 0; i < table.subtitleCount; ++i) graph_.EnableStream(table.subtitle[i].index, false);
            for (int i = table.audioCount - 1; i >= 0; --i)
                if (MatchesTrack(table.audio[i].pesStreamId, table.audio[i].subStreamId, options_.selectedAudioStream))
                    graph_.EnableStream(table.audio[i].index, true);
        }
        graph_.Run();
        graph_.ShowPreview(true);
        if (actions_.setTimer) actions_.setTimer(true);
        segmentStart_ = Now();
        carried_ = 0;
        running_ = true;
        return;
    }

    // The builder already said what failed; the entry counts as done.
    if (openedHere && !options_.merge) {
        // Nothing was written into the file opened for this entry. Left open,
        // the next entry would go into it under this entry's name; closed, it
        // would stay behind as an empty file. Remove it and let the next entry
        // open its own.
        graph_.CloseOutput();
        std::error_code ec;
        if (lastOpenResult_ == 0) std::filesystem::remove(outputs_.back(), ec);
        newFile_ = true;
    }
    completedMs_ += entry.item->TrimLength;
    current_ = NextChecked(current_, 0);
    if (current_ >= 0)
        Post(WM_START_ENTRY);
    else
        FinishJob();
}

void ConversionJob::OnGraphEvent() {
    if (ended_) return;
    long code = 0;
    while (graph_.NextEvent(code)) {
        switch (code) {
            case EC_COMPLETE: {
                OutputDebugString("EC_COMPLETE\r\n");
                running_ = false;
                display_.fileBar = 1000;
                if (!outcomes_.empty()) outcomes_.back().completed = true;
                graph_.Stop();
                if (!options_.merge) {
                    newFile_ = true;
                    graph_.CloseOutput();
                }
                if (current_ >= 0 && (*list_)[current_].item)
                    completedMs_ += (*list_)[current_].item->TrimLength;
                display_.jobBar = totalMs_ > 0 ? int(completedMs_ * 1000 / totalMs_) : 1000;
                current_ = current_ >= 0 ? NextChecked(current_, kMinEntryAfterCompleteMs) : -1;
                if (current_ >= 0) {
                    Post(WM_START_ENTRY);
                    break;
                }
                FinishJob();
                return;
            }
            case EC_USERABORT:
                OutputDebugString("EC_USERABORT\r\n");
                break;
            case EC_ERRORABORT:
                OutputDebugString("EC_ERRORABORT\r\n");
                break;
            case EC_PAUSED:
                OutputDebugString("EC_PAUSED\r\n");
                break;
            default: {
                char buf[48];
                std::snprintf(buf, sizeof buf, "other event:0x%lx\n", code);
                OutputDebugString(buf);
                break;
            }
        }
    }
}

void ConversionJob::OnTimer() {
    if (!running_ || ended_) return;
    double p = 0, d = 1;
    if (!graph_.GetCurrentPosition(p)) p = 0;
    if (!graph_.GetDuration(d)) d = 1;
    // A title that reports no duration must not turn the bars into garbage.
    double f = d > 0 ? p / d : 0;
    now_ = Now();
    std::uint64_t e = now_ - segmentStart_ + carried_;
    display_.elapsed = FormatJobTime(std::int64_t(e) * 10000);
    if (e > 100 && f > 0) {
        auto r = std::int64_t(std::trunc((1 - f) * double(e) / f + 0.5));
        display_.remaining = FormatJobTime(r * 10000);
    }
    int v = int(f * 1000 + 0.5);
    if (v != display_.fileBar) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "new pos:%d\n", v);
        OutputDebugString(buf);
        display_.fileBar = v;
    }
    if (totalMs_ > 0) display_.jobBar = int((double(completedMs_) + p * 1000.0) * 1000.0 / double(totalMs_));
    display_.converted = FormatJobTime(std::int64_t(p * 1e7)) + "/" + FormatJobTime(std::int64_t(d * 1e7));
}

void ConversionJob::OnPause() {
    if (ended_) return;
    if (graph_.IsRunning()) {
        running_ = false;
        now_ = Now();
        carried_ += now_ - segmentStart_;
        graph_.Pause();
        display_.pauseVisible = false;
        display_.continueVisible = true;
    } else {
        graph_.Run();
        display_.pauseVisible = true;
        display_.continueVisible = false;
    }
}

void ConversionJob::OnContinue() {
    if (ended_) return;
    if (graph_.IsRunning()) {
        OnPause();
        return;
    }
    segmentStart_ = Now();
    running_ = true;
    graph_.Run();
    display_.pauseVisible = true;
    display_.continueVisible = false;
}

void ConversionJob::OnCancel() {
    if (ended_) return;
    graph_.Stop();
    // The partial file is finished with its trailer and kept (after a
    // finished job the file is closed already and this does nothing).
    graph_.CloseCutOutput();
    running_ = false;
    ended_ = true;
    if (actions_.endDialog) actions_.endDialog();
}

void ConversionJob::OnShowPreview(bool on) { graph_.ShowPreview(on); }

void ConversionJob::OnClose() {
    if (ended_) return;
    ended_ = true;
    if (actions_.endDialog) actions_.endDialog();
}

void ConversionJob::OnDestroy() {
    if (actions_.setTimer) actions_.setTimer(false);
    graph_.Stop();
    graph_.Close();
    graph_.CloseCutOutput();
    running_ = false;
}

void ConversionJob::SetFinishChoices(bool shutdownChecked, bool openFolderChecked) {
    options_.shutdownChecked = shutdownChecked;
    options_.openFolderChecked = openFolderChecked;
}

void ConversionJob::FinishJob() {
    if (options_.merge) graph_.CloseOutput();
    if (options_.shutdownChecked || options_.action == "Shut Down") {
        if (actions_.shutdown) actions_.shutdown();
    } else if (options_.openFolderChecked) {
        if (actions_.openFolder) actions_.openFolder(options_.outFolder);
    }
    finished_ = true;
    if (actions_.showFinished) actions_.showFinished();
    OnCancel();
}
