// Runs conversion jobs through the real graph on the authored discs, and judges
// what they wrote with ffprobe/ffmpeg: stream parameters, durations, pictures
// (as raw planes) and tones.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "../fixtures/fixtures.h"
#include "dvd/catalogue.h"
#include "pipelines/clip.h"
#include "pipelines/conversion_job.h"
#include "pipelines/convert_graph.h"
#include "platform/win/messages.h"
#include "platform/win/queue_window.h"
#include "profiles/profile.h"

namespace convtest {

namespace fs = std::filesystem;
using fixtures::Quote;
using json = nlohmann::json;

inline std::string Run(const std::string& cmd) { return fixtures::RunCommand(cmd).output; }

// A fresh folder for each job of the current test.
inline fs::path OutDir() {
    static int jobs = 0;
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name() + "_" + std::to_string(++jobs);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    fs::path dir = fs::path(DISCREEL_BINARY_DIR) / "tests" / "tmp-convert" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

template <std::size_t N>
void SetName(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::strncpy(field, text.c_str(), N - 1);
}

// Encoder settings for a test: empty codec names leave that branch out.
inline EncoderSettings Settings(const std::string& vcodec, int w, int h, int frameRate, const std::string& acodec,
                                int rate = 48000, int channels = 2, int vbr = 2000000, int abr = 128000) {
    EncoderSettings s{};
    s.HasVideo = !vcodec.empty();
    s.Width = w;
    s.Height = h;
    s.FrameRate = frameRate;
    s.VideoBitRate = vbr;
    SetName(s.VideoCodecName, vcodec);
    s.HasAudio = !acodec.empty();
    s.SampleRate = rate;
    s.Channel = channels;
    s.AudioBitRate = abr;
    SetName(s.AudioCodecName, acodec);
    return s;
}

struct Entry {
    int title;               // 1-based title number of the disc
    double trimStart = 0;    // seconds
    double trimLength = -1;  // seconds; below 0: to the title's end
    bool checked = true;
    int chapter = -1;
};

struct Job {
    fs::path disc;
    std::vector<Entry> entries;
    EncoderSettings settings{};
    std::string ext = ".mkv";
    bool merge = false;
    int audio = -1;     // track ids; -1 = none chosen
    int subtitle = -1;
    ClipSettings clip;  // applied to every entry, as the clip editor's last result
    // Asked after every pumped message and timer tick; true cancels the job.
    std::function<bool(ConversionJob&)> cancelWhen;
    double timeoutSeconds = 240;
};

struct JobResult {
    std::vector<EntryOutcome> outcomes;
    std::vector<std::string> outputs;
    std::vector<std::string> messages;  // message boxes shown while it ran
    double completedSeconds = 0, totalSeconds = 0;
    int jobBar = 0, fileBar = 0;
    bool finished = false;  // reached the end of the job (not cancelled)
    bool timedOut = false;
};

// Drives the job as the CLI does: the posted messages from a queue window and
// the progress timer every 200 ms.
inline JobResult RunJob(const Job& job) {
    JobResult result;
    auto old = SetMessageSink([&](const std::string& text) { result.messages.push_back(text); });
    if (!LoadDvd(job.disc.string())) {
        SetMessageSink(old);
        ADD_FAILURE() << "cannot load " << job.disc;
        return result;
    }
    const DvdInfo& info = OpenDvdInfo();
    std::vector<ConversionItem> items(job.entries.size());
    std::vector<JobEntry> list(job.entries.size());
    for (std::size_t i = 0; i < job.entries.size(); ++i) {
        const Entry& e = job.entries[i];
        ConversionItem& item = items[i];
        item.TitleIndex = e.title - 1;
        item.ChapterIndex = e.chapter;
        item.Duration = e.title >= 1 && e.title <= 32 ? TitleDurationMs(info.Titles[e.title - 1]) : 0;
        item.TrimStart = std::int64_t(std::llround(e.trimStart * 1000));
        item.TrimLength = e.trimLength < 0 ? item.Duration - item.TrimStart
                                           : std::int64_t(std::llround(e.trimLength * 1000));
        list[i] = {&item, e.checked, OutputName(TitleName(e.title - 1), job.ext)};
    }
    fs::path out = OutDir();
    JobOptions options;
    options.merge = job.merge;
    options.outFolder = out.string();
    options.selectedAudioStream = job.audio;
    options.selectedSubtitleStream = job.subtitle;
    CurrentClip.Clip = job.clip;

    QueueWindow window;
    CConvertGraph graph(OpenDvdHandle());
    bool done = false;
    JobActions actions;
    actions.endDialog = [&] { done = true; };
    actions.shutdown = [] { ADD_FAILURE() << "the job asked for a shutdown"; };
    ConversionJob conversion(graph, &window, &list, job.settings, options, actions);
    EXPECT_TRUE(conversion.Initialise());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(job.timeoutSeconds);
    auto nextTick = std::chrono::steady_clock::now();
    while (!done) {
        if (std::chrono::steady_clock::now() > deadline) {
            result.timedOut = true;
            ADD_FAILURE() << "the job did not end in " << job.timeoutSeconds << " s";
            conversion.OnCancel();
            break;
        }
        if (auto m = window.Wait(std::chrono::milliseconds(20))) {
            if (m->msg == WM_START_ENTRY) conversion.OnStartEntry();
            if (m->msg == WM_GRAPH_EVENT) conversion.OnGraphEvent();
        }
        if (std::chrono::steady_clock::now() >= nextTick) {
            nextTick += std::chrono::milliseconds(kProgressTimerMs);
            conversion.OnTimer();
        }
        if (!done && job.cancelWhen && job.cancelWhen(conversion)) conversion.OnCancel();
    }
    result.finished = conversion.Finished();
    result.jobBar = conversion.Display().jobBar;
    result.fileBar = conversion.Display().fileBar;
    conversion.OnDestroy();
    result.outcomes = conversion.Outcomes();
    result.outputs = conversion.OutputPaths();
    result.completedSeconds = conversion.CompletedSeconds();
    result.totalSeconds = conversion.TotalSeconds();
    CloseDvd();
    SetMessageSink(old);
    return result;
}

// --- Judging the files -----------------------------------------------------------

inline json Probe(const std::string& file) {
    auto j = json::parse(Run("ffprobe -v error -show_streams -show_format -of json " + Quote(file)), nullptr, false);
    return j.is_discarded() ? json::object() : j;
}

inline const json* StreamOf(const json& probe, const std::string& type) {
    if (!probe.contains("streams")) return nullptr;
    for (const json& s : probe["streams"])
        if (s.value("codec_type", "") == type) return &s;
    return nullptr;
}

inline double Rational(const std::string& text) {
    auto slash = text.find('/');
    if (slash == std::string::npos) return std::stod(text);
    double den = std::stod(text.substr(slash + 1));
    return den == 0 ? 0 : std::stod(text.substr(0, slash)) / den;
}

// How long each stream's packets last: from the first packet's time to the end
// of the last one, by stream type; packet counts beside.
struct Spans {
    std::map<std::string, double> seconds;
    std::map<std::string, int> packets;
};

inline Spans PacketSpans(const std::string& file) {
    Spans out;
    json probe = Probe(file);
    std::map<int, std::string> types;
    if (probe.contains("streams"))
        for (const json& s : probe["streams"]) types[s["index"].get<int>()] = s.value("codec_type", "");
    auto j = json::parse(Run("ffprobe -v error -show_entries packet=stream_index,pts_time,dts_time,duration_time "
                             "-of json " + Quote(file)),
                         nullptr, false);
    if (j.is_discarded() || !j.contains("packets")) return out;
    std::map<int, std::pair<double, double>> range;
    for (const json& p : j["packets"]) {
        std::string t = p.contains("pts_time") ? p["pts_time"].get<std::string>()
                        : p.contains("dts_time") ? p["dts_time"].get<std::string>()
                                                 : "";
        if (t.empty()) continue;
        double start = std::stod(t);
        double d = p.contains("duration_time") ? std::stod(p["duration_time"].get<std::string>()) : 0;
        int index = p["stream_index"].get<int>();
        auto [it, fresh] = range.try_emplace(index, start, start + d);
        if (!fresh) {
            it->second.first = std::min(it->second.first, start);
            it->second.second = std::max(it->second.second, start + d);
        }
        ++out.packets[types[index]];
    }
    for (auto& [index, r] : range) out.seconds[types[index]] = r.second - r.first;
    return out;
}

// One picture as raw planes: ffmpeg decodes `file` (optionally seeking to
// `at` seconds by decoding, so the position is exact) through `filter` into
// planar YUV 4:2:0, all three planes or (lumaOnly) the Y plane alone. The Y
// plane is taken as it is, not converted to full-range grey.
inline std::vector<std::uint8_t> Picture(const std::string& file, double at, const std::string& filter,
                                         bool lumaOnly = true) {
    char seek[64] = "";
    if (at > 0) std::snprintf(seek, sizeof seek, " -ss %.4f", at);
    std::string vf = filter.empty() ? "" : " -vf " + Quote(filter);
    std::string out = Run("ffmpeg -v error -nostdin -i " + Quote(file) + seek + " -frames:v 1" + vf +
                          " -pix_fmt yuv420p -f rawvideo -");
    std::vector<std::uint8_t> planes(out.begin(), out.end());
    if (lumaOnly) planes.resize(planes.size() / 3 * 2);
    return planes;
}

inline double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.empty() || a.size() != b.size()) return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    if (sum == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 / (sum / double(a.size())));
}

// The sound of a file as mono 16-bit samples at `rate` (the first channel).
inline std::vector<std::int16_t> Sound(const std::string& file, int rate) {
    std::string out = Run("ffmpeg -v error -nostdin -i " + Quote(file) + " -map 0:a:0 -af " + Quote("pan=mono|c0=c0") + " -ar " +
                          std::to_string(rate) + " -f s16le -acodec pcm_s16le -");
    std::vector<std::int16_t> pcm(out.size() / 2);
    std::memcpy(pcm.data(), out.data(), pcm.size() * 2);
    return pcm;
}

// Frequency of a steady tone by counting rising zero crossings over the middle
// of the sound (the edges may carry encoder ramps).
inline double ToneHz(const std::vector<std::int16_t>& pcm, int rate) {
    if (pcm.size() < std::size_t(rate) / 5) return 0;
    std::size_t from = pcm.size() / 10, to = pcm.size() - pcm.size() / 10;
    int crossings = 0;
    std::size_t first = 0, last = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        if (pcm[i - 1] < 0 && pcm[i] >= 0) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return double(crossings - 1) * rate / double(last - first);
}

inline int Peak(const std::vector<std::int16_t>& pcm) {
    int peak = 0;
    for (std::int16_t s : pcm) peak = std::max(peak, std::abs(int(s)));
    return peak;
}

}  // namespace convtest
