#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "pipelines/conversion_job.h"
#include "platform/framework/framework.h"
#include "platform/win/messages.h"
#include "platform/win/queue_window.h"
#include "profiles/profile.h"

namespace {

// A graph whose behaviour the test scripts: which titles fail to build, what
// streams the splitter lists, which events arrive.
class ScriptedGraph : public IConversionGraph {
public:
    std::vector<std::string> calls;
    std::map<int, bool> openFails;  // title index -> build fails
    std::deque<long> events;
    StreamTable streams;
    std::vector<int> enabled, disabled;
    double position = 0, duration = 10;
    bool running = false;
    int openOutputs = 0, closeOutputs = 0;

    int OpenOutput(const std::string& path, const EncoderSettings&) override {
        calls.push_back("OpenOutput " + path);
        ++openOutputs;
        return 0;
    }
    void CloseOutput() override {
        calls.push_back("CloseOutput");
        ++closeOutputs;
    }
    bool Open(int title, int, const ConversionItem&, HWND) override {
        calls.push_back("Open " + std::to_string(title));
        return !openFails[title];
    }
    bool AttachPreview(HWND, const RECT*) override { return true; }
    void ShowPreview(bool) override {}
    bool ListStreams(StreamTable& t) override {
        t = streams;
        return true;
    }
    bool EnableStream(int index, bool on) override {
        (on ? enabled : disabled).push_back(index);
        return true;
    }
    bool Run() override {
        running = true;
        return true;
    }
    bool Pause() override {
        running = false;
        return true;
    }
    bool Stop() override {
        running = false;
        calls.push_back("Stop");
        return true;
    }
    bool IsRunning() override { return running; }
    bool GetDuration(double& s) override {
        s = duration;
        return true;
    }
    bool GetCurrentPosition(double& s) override {
        s = position;
        return true;
    }
    void Close() override { calls.push_back("Close"); }
    bool NextEvent(long& code) override {
        if (events.empty()) return false;
        code = events.front();
        events.pop_front();
        return true;
    }
};

struct JobFixture {
    QueueWindow window;
    ScriptedGraph graph;
    std::vector<ConversionItem> items;
    std::vector<JobEntry> entries;
    EncoderSettings settings{};
    std::uint64_t tick = 1000;
    int shutdowns = 0, folderOpens = 0, finishedDialogs = 0, ends = 0;
    JobOptions options;

    void AddEntry(int title, std::int64_t lengthMs, bool checked = true) {
        ConversionItem it;
        it.TitleIndex = title;
        it.Duration = lengthMs;
        it.TrimLength = lengthMs;
        items.push_back(it);
        entries.push_back({nullptr, checked, "Title_0" + std::to_string(title + 1) + ".flv"});
    }
    std::unique_ptr<ConversionJob> Make() {
        for (size_t i = 0; i < entries.size(); ++i) entries[i].item = &items[i];
        options.outFolder = "/out";
        JobActions a;
        a.tickMs = [this] { return tick; };
        a.shutdown = [this] { ++shutdowns; };
        a.openFolder = [this](const std::string&) { ++folderOpens; };
        a.showFinished = [this] { ++finishedDialogs; };
        a.endDialog = [this] { ++ends; };
        return std::make_unique<ConversionJob>(graph, &window, &entries, settings, options, a);
    }
    // Delivers what the job posted to itself, as the dialog's message loop would.
    void Pump(ConversionJob& job) {
        for (;;) {
            auto msgs = window.TakeAll();
            if (msgs.empty()) return;
            for (auto& m : msgs) {
                if (m.msg == WM_START_ENTRY) job.OnStartEntry();
                if (m.msg == WM_GRAPH_EVENT) job.OnGraphEvent();
            }
        }
    }
    void Complete(ConversionJob& job) {
        graph.events.push_back(EC_COMPLETE);
        job.OnGraphEvent();
        Pump(job);
    }
    std::vector<std::string> Outputs() const {
        std::vector<std::string> out;
        for (auto& c : graph.calls)
            if (c.rfind("OpenOutput ", 0) == 0) out.push_back(c.substr(11));
        return out;
    }
};

TEST(ConversionJob, ShortEntryAfterCompletedOneIsPassedOver) {
    for (bool merge : {false, true}) {
        SCOPED_TRACE(merge ? "merge" : "separate files");
        JobFixture f;
        f.options.merge = merge;
        f.options.openFolderChecked = true;
        f.AddEntry(0, 60000);
        f.AddEntry(1, 500);
        f.AddEntry(2, 30000);
        auto job = f.Make();
        ASSERT_TRUE(job->Initialise());
        EXPECT_DOUBLE_EQ(job->TotalSeconds(), 90.5);
        f.Pump(*job);
        EXPECT_EQ(job->CurrentIndex(), 0);
        f.Complete(*job);
        EXPECT_EQ(job->Display().fileBar, 1000);
        EXPECT_EQ(job->CurrentIndex(), 2) << "the 0.5 s entry is passed over";
        f.Complete(*job);
        EXPECT_TRUE(job->Finished());
        EXPECT_TRUE(job->Ended());
        EXPECT_EQ(job->Display().jobBar, 994);
        if (merge) {
            EXPECT_EQ(f.Outputs(), std::vector<std::string>{"/out/Title_01.flv"});
        } else {
            EXPECT_EQ(f.Outputs(), (std::vector<std::string>{"/out/Title_01.flv", "/out/Title_03.flv"}));
        }
        EXPECT_GE(f.graph.closeOutputs, merge ? 1 : 2);
        EXPECT_EQ(f.folderOpens, 1);
        EXPECT_EQ(f.shutdowns, 0);
        EXPECT_EQ(f.finishedDialogs, 1);
    }
}

// Lengths whose sum in seconds falls a hair short of the job's total.
TEST(ConversionJob, EveryEntryDoneFillsTheJobBar) {
    for (auto lengths : {std::pair{100, 1000}, std::pair{200, 1400}, std::pair{100, 2100}}) {
        SCOPED_TRACE(testing::Message() << lengths.first << " + " << lengths.second << " ms");
        JobFixture f;
        f.AddEntry(0, lengths.first);
        f.AddEntry(1, lengths.second);
        auto job = f.Make();
        ASSERT_TRUE(job->Initialise());
        f.Pump(*job);
        f.Complete(*job);
        EXPECT_LT(job->Display().jobBar, 1000);
        f.Complete(*job);
        EXPECT_TRUE(job->Finished());
        EXPECT_EQ(job->Display().jobBar, 1000);
    }
}

TEST(ConversionJob, FailedBuildCountsAsDoneAndNextEntryStartsWhateverItsLength) {
    std::vector<std::string> messages;
    auto old = SetMessageSink([&](const std::string& t) { messages.push_back(t); });
    JobFixture f;
    f.AddEntry(0, 10000);
    f.AddEntry(1, 500);
    f.AddEntry(2, 20000, /*checked=*/false);
    f.graph.openFails[0] = true;
    auto job = f.Make();
    ASSERT_TRUE(job->Initialise());
    f.Pump(*job);
    EXPECT_DOUBLE_EQ(job->CompletedSeconds(), 10.0);
    EXPECT_EQ(job->CurrentIndex(), 1);
    f.Complete(*job);
    EXPECT_TRUE(job->Finished());
    EXPECT_EQ(f.finishedDialogs, 1);
    SetMessageSink(old);
}

TEST(ConversionJob, CopiesCurrentClipIntoCheckedEntriesOnly) {
    JobFixture f;
    f.AddEntry(0, 5000);
    f.AddEntry(1, 5000, false);
    CurrentClip.Clip.Brightness = 200;
    auto job = f.Make();
    ASSERT_TRUE(job->Initialise());
    EXPECT_EQ(f.items[0].Clip.Brightness, 200);
    EXPECT_EQ(f.items[1].Clip.Brightness, 128);
    CurrentClip.Clip = ClipSettings{};
}

TEST(ConversionJob, ElapsedTimeCountsOnlyRunningPeriods) {
    JobFixture f;
    f.AddEntry(0, 100000);
    auto job = f.Make();
    ASSERT_TRUE(job->Initialise());
    f.Pump(*job);
    f.tick += 5000;  // 5 s running
    job->OnPause();
    EXPECT_FALSE(job->Display().pauseVisible);
    EXPECT_TRUE(job->Display().continueVisible);
    f.tick += 60000;  // paused a minute
    job->OnContinue();
    f.tick += 3000;  // 3 s running
    job->OnPause();
    f.tick += 60000;
    job->OnContinue();
    f.tick += 2000;
    f.graph.position = 5;
    f.graph.duration = 100;
    job->OnTimer();
    EXPECT_EQ(job->Display().elapsed, "00:00:10");
    // 5 % done in 10 s: 190 s remain.
    EXPECT_EQ(job->Display().remaining, "00:03:10");
    EXPECT_EQ(job->Display().fileBar, 50);
    EXPECT_EQ(job->Display().converted, "00:00:05/00:01:40");
}

TEST(ConversionJob, ShutDownActionWinsOverUncheckedBox) {
    JobFixture f;
    f.options.action = "Shut Down";
    f.options.openFolderChecked = true;
    f.AddEntry(0, 5000);
    auto job = f.Make();
    ASSERT_TRUE(job->Initialise());
    f.Pump(*job);
    f.Complete(*job);
    EXPECT_EQ(f.shutdowns, 1);
    EXPECT_EQ(f.folderOpens, 0) << "shutting down replaces opening the folder";
}

TEST(ConversionJob, FinishChoicesChangedWhileRunningAreTheOnesActedOn) {
    struct Case {
        const char* what;
        bool shutdownAtStart, openAtStart;  // as the job was made
        bool shutdownNow, openNow;          // as the boxes stand at the end
        int shutdowns, opens;
    };
    const Case cases[] = {
        {"open folder ticked during the job", false, false, false, true, 0, 1},
        {"shut down ticked during the job wins over open folder", false, true, true, true, 1, 0},
        {"both cleared during the job", true, true, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        JobFixture f;
        f.options.shutdownChecked = c.shutdownAtStart;
        f.options.openFolderChecked = c.openAtStart;
        f.AddEntry(0, 5000);
        auto job = f.Make();
        ASSERT_TRUE(job->Initialise());
        f.Pump(*job);
        job->SetFinishChoices(c.shutdownNow, c.openNow);
        f.Complete(*job);
        EXPECT_TRUE(job->Finished()) << c.what;
        EXPECT_EQ(f.shutdowns, c.shutdowns) << c.what;
        EXPECT_EQ(f.folderOpens, c.opens) << c.what;
    }
}

TEST(ConversionJob, CancelFinishesThePartialFile) {
    JobFixture f;
    f.AddEntry(0, 5000);
    f.AddEntry(1, 5000);
    auto job = f.Make();
    ASSERT_TRUE(job->Initialise());
    f.Pump(*job);
    job->OnCancel();
    EXPECT_TRUE(job->Ended());
    EXPECT_FALSE(job->Finished());
    EXPECT_EQ(f.ends, 1);
    EXPECT_EQ(f.graph.closeOutputs, 1);
    // Events arriving after the cancel change nothing.
    f.Complete(*job);
    EXPECT_EQ(f.Outputs().size(), 1u);
}

TEST(ConversionJob, EnablesTheStreamsOfTheChosenTracks) {
    struct Case {
        const char* what;
        int subtitle;
        std::vector<int> enabled, disabled;
    };
    const Case cases[] = {
        {"second subtitle track", 0xBD21, {5, 3}, {}},
        // Nothing chosen, or a track this title lacks: the splitter's own
        // pick must be switched off, not burned in.
        {"no subtitle", -1, {3}, {4, 5}},
        {"a track the title lacks", 0xBD25, {3}, {4, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        JobFixture f;
        f.options.selectedAudioStream = 0xC100;  // the second MPEG audio track
        f.options.selectedSubtitleStream = c.subtitle;
        f.AddEntry(0, 5000);
        StreamTable& t = f.graph.streams;
        t.audioCount = 3;
        t.audio[0] = {1, 0x80, 48000, 6, 448000, 0xBD};
        t.audio[1] = {2, 0x00, 48000, 2, 192000, 0xC0};
        t.audio[2] = {3, 0x00, 48000, 2, 192000, 0xC1};
        t.subtitleCount = 2;
        t.subtitle[0] = {4, 0x20, 0xBD};
        t.subtitle[1] = {5, 0x21, 0xBD};
        auto job = f.Make();
        ASSERT_TRUE(job->Initialise());
        f.Pump(*job);
        EXPECT_EQ(f.graph.enabled, c.enabled);
        EXPECT_EQ(f.graph.disabled, c.disabled);
    }
}

TEST(ConversionJob, MissingListIsReported) {
    std::vector<std::string> messages;
    auto old = SetMessageSink([&](const std::string& t) { messages.push_back(t); });
    JobFixture f;
    EncoderSettings s{};
    ConversionJob job(f.graph, &f.window, nullptr, s, {}, {});
    EXPECT_FALSE(job.Initialise());
    EXPECT_EQ(messages, std::vector<std::string>{"pList NULL"});
    SetMessageSink(old);
}

TEST(ConversionJob, TimeFormat) {
    struct {
        std::int64_t t;
        const char* text;
    } cases[] = {{0, "00:00:00"}, {(3723LL) * 10000000, "01:02:03"}, {9999999, "00:00:00"},
                 {(100LL * 3600 + 59) * 10000000, "100:00:59"}};
    for (auto& c : cases) EXPECT_EQ(FormatJobTime(c.t), c.text);
}

}  // namespace
