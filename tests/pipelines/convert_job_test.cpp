// The conversion job through the real graph: files per entry or one merged
// file, entries that cannot be built, short entries after a completed one, and
// a cancel that keeps a playable partial file.
#include <gtest/gtest.h>

#include "convert_support.h"

namespace {

using namespace convtest;
using fixtures::Disc;

// Small and quick, with both branches so that completion needs both ends of stream.
EncoderSettings SmallAv() { return Settings("mpeg4", 320, 240, 25000, "mp2", 48000, 2, 800000, 128000); }

struct Shape {
    const char* name;
    bool merge;
};

class ThreeEntries : public testing::TestWithParam<Shape> {};

TEST_P(ThreeEntries, GiveAFileEachOrOneMergedFile) {
    Job job;
    job.disc = fixtures::PalFolder();
    job.entries = {{1, 1.0, 1.6}, {2, 0.5, 1.2}, {3, 2.0, 1.4}};
    job.settings = SmallAv();
    job.ext = ".avi";
    job.merge = GetParam().merge;
    job.audio = 0xBD80;
    JobResult r = RunJob(job);
    EXPECT_TRUE(r.finished);
    EXPECT_TRUE(r.messages.empty()) << r.messages.front();
    ASSERT_EQ(r.outcomes.size(), 3u);
    for (const EntryOutcome& o : r.outcomes) EXPECT_TRUE(o.built && o.completed) << "entry " << o.index;
    EXPECT_DOUBLE_EQ(r.completedSeconds, 4.2);
    // The bar adds up seconds as doubles and truncates: 999 or 1000.
    EXPECT_NEAR(r.jobBar, 1000, 1);

    if (!job.merge) {
        ASSERT_EQ(r.outputs.size(), 3u);
        const double lengths[] = {1.6, 1.2, 1.4};
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(r.outputs[i]);
            EXPECT_EQ(fs::path(r.outputs[i]).filename(), "Title_0" + std::to_string(i + 1) + ".avi");
            Spans s = PacketSpans(r.outputs[i]);
            EXPECT_NEAR(s.seconds["video"], lengths[i], 0.081);
            EXPECT_NEAR(s.seconds["audio"], lengths[i], 0.081);
        }
    } else {
        // One file, named after the first entry, as long as all three.
        ASSERT_EQ(r.outputs.size(), 1u);
        EXPECT_EQ(fs::path(r.outputs[0]).filename(), "Title_01.avi");
        EXPECT_FALSE(fs::exists(fs::path(r.outputs[0]).parent_path() / "Title_02.avi"));
        Spans s = PacketSpans(r.outputs[0]);
        EXPECT_NEAR(s.seconds["video"], 4.2, 0.2);
        EXPECT_NEAR(s.seconds["audio"], 4.2, 0.2);
        // The pieces follow each other: the tone of the third (DTS, 1500 Hz) ends the file.
        auto pcm = Sound(r.outputs[0], 48000);
        std::vector<std::int16_t> tail(pcm.end() - std::min<std::size_t>(pcm.size(), 48000), pcm.end());
        EXPECT_NEAR(ToneHz(tail, 48000), 1500, 5);
        std::vector<std::int16_t> head(pcm.begin(), pcm.begin() + std::min<std::size_t>(pcm.size(), 48000));
        EXPECT_NEAR(ToneHz(head, 48000), 440, 5);
    }
}

INSTANTIATE_TEST_SUITE_P(Pal, ThreeEntries, testing::Values(Shape{"FilePerEntry", false}, Shape{"Merged", true}),
                         [](const testing::TestParamInfo<Shape>& info) { return std::string(info.param.name); });

TEST(JobEntries, AnEntryThatCannotBeBuiltIsSkippedAndTheNextOneConverted) {
    Job job;
    job.disc = fixtures::NtscFolder();
    // The NTSC disc has three titles; the first entry names a ninth.
    job.entries = {{9, 0, 2.0}, {3, 1.0, 1.0}};
    job.settings = SmallAv();
    job.ext = ".avi";
    job.audio = 0xBD80;
    JobResult r = RunJob(job);
    EXPECT_TRUE(r.finished);
    ASSERT_EQ(r.outcomes.size(), 2u);
    EXPECT_FALSE(r.outcomes[0].built);
    EXPECT_TRUE(r.outcomes[1].built && r.outcomes[1].completed);
    EXPECT_DOUBLE_EQ(r.completedSeconds, 3.0);
    // Nothing usable came of the first entry, so no file is left behind for it;
    // the second has its own file.
    ASSERT_EQ(r.outputs.size(), 2u);
    EXPECT_FALSE(fs::exists(r.outputs[0]));
    EXPECT_EQ(fs::path(r.outputs[1]).filename(), "Title_03.avi");
    EXPECT_NEAR(PacketSpans(r.outputs[1]).seconds["video"], 1.0, 0.081);
}

TEST(JobEntries, AShortEntryAfterACompletedOneIsPassedOver) {
    Job job;
    job.disc = fixtures::PalFolder();
    job.entries = {{1, 0, 1.5}, {2, 0, 0.5}, {3, 0, 1.2}};
    job.settings = SmallAv();
    job.ext = ".avi";
    job.audio = 0xBD80;
    JobResult r = RunJob(job);
    EXPECT_TRUE(r.finished);
    ASSERT_EQ(r.outcomes.size(), 2u);
    EXPECT_EQ(r.outcomes[0].index, 0);
    EXPECT_EQ(r.outcomes[1].index, 2);
    ASSERT_EQ(r.outputs.size(), 2u);
    EXPECT_EQ(fs::path(r.outputs[1]).filename(), "Title_03.avi");
    EXPECT_FALSE(fs::exists(fs::path(r.outputs[0]).parent_path() / "Title_02.avi"));
    // The passed-over entry is not counted: (1.5 + 1.2) / 3.2 of the job bar.
    EXPECT_EQ(r.jobBar, int((1.5 + 1.2) * 1000 / 3.2));
}

TEST(JobEntries, AWholeTitleConvertsToItsFullLength) {
    Job job;
    job.disc = fixtures::PalFolder();
    job.entries = {{2}};
    job.settings = SmallAv();
    job.ext = ".avi";
    job.audio = 0xBDA0;
    JobResult r = RunJob(job);
    ASSERT_EQ(r.outputs.size(), 1u);
    Spans s = PacketSpans(r.outputs[0]);
    EXPECT_NEAR(s.seconds["video"], fixtures::TitleOf(Disc::Pal, 2).Seconds(), 0.081);
    EXPECT_NEAR(s.seconds["audio"], fixtures::TitleOf(Disc::Pal, 2).Seconds(), 0.081);
}

TEST(JobCancel, MidWayKeepsAPlayablePartialFile) {
    Job job;
    job.disc = fixtures::NtscFolder();
    job.entries = {{1}, {3}};
    job.settings = SmallAv();
    job.ext = ".avi";
    job.audio = 0xBD80;
    int cancelledAt = -1;
    job.cancelWhen = [&](ConversionJob& j) {
        // The progress timer shows the sink's position ("00:00:SS/..."); stop
        // once a second of the first title is written.
        const std::string& shown = j.Display().converted;
        int seconds = std::stoi(shown.substr(6, 2)) + 60 * std::stoi(shown.substr(3, 2));
        if (j.CurrentIndex() != 0 || seconds < 1) return false;
        cancelledAt = seconds;
        return true;
    };
    JobResult r = RunJob(job);
    EXPECT_FALSE(r.finished);
    EXPECT_GE(cancelledAt, 1);
    ASSERT_EQ(r.outputs.size(), 1u);
    ASSERT_EQ(r.outcomes.size(), 1u);
    EXPECT_FALSE(r.outcomes[0].completed);
    json probe = Probe(r.outputs[0]);
    ASSERT_NE(StreamOf(probe, "video"), nullptr) << "ffprobe cannot read the partial file";
    ASSERT_NE(StreamOf(probe, "audio"), nullptr);
    // The pictures stop about where the job was cancelled. Sound runs ahead of
    // the pictures by as much as the splitter queues, so it may be longer.
    Spans spans = PacketSpans(r.outputs[0]);
    EXPECT_GT(spans.seconds["video"], 0.9);
    EXPECT_NEAR(spans.seconds["video"], cancelledAt, 1.5);
    EXPECT_GT(spans.seconds["audio"], 0.9);
    EXPECT_LT(spans.seconds["audio"], fixtures::TitleOf(Disc::Ntsc, 1).Seconds() + 0.5);
    // The sound decoded ahead of the pictures does not run on past them.
    EXPECT_LT(spans.seconds["audio"], spans.seconds["video"] + 0.1);
    // Every picture that was written decodes.
    auto decoded = fixtures::RunCommand("ffmpeg -v error -nostdin -i " + Quote(r.outputs[0]) + " -f null - 2>&1");
    EXPECT_EQ(decoded.exitCode, 0);
    EXPECT_EQ(decoded.output, "");
}

}  // namespace
