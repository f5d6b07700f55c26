// discreel-cli convert: the conversion job of the progress dialog, driven from a
// terminal. Entries, clip settings and profile come from the options; the job
// logic, the graph and the writer are the GUI's own.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "commands.h"
#include "dvd/catalogue.h"
#include "pipelines/clip.h"
#include "pipelines/conversion_job.h"
#include "pipelines/convert_graph.h"
#include "platform/win/messages.h"
#include "platform/win/queue_window.h"
#include "profiles/profile.h"

namespace fs = std::filesystem;

namespace cli {
namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) { g_interrupted = true; }

[[noreturn]] void Fail(const std::string& text, int code = 1) {
    std::fprintf(stderr, "%s\n", text.c_str());
    throw CliExit{code};
}

// "HH:MM:SS", "MM:SS", "SS" or seconds with a fraction, to milliseconds.
std::optional<std::int64_t> ParseTimeMs(const std::string& text) {
    if (text.empty()) return std::nullopt;
    double total = 0;
    std::stringstream ss(text);
    std::string part;
    int parts = 0;
    while (std::getline(ss, part, ':')) {
        if (part.empty() || ++parts > 3) return std::nullopt;
        char* end = nullptr;
        double v = std::strtod(part.c_str(), &end);
        if (*end != '\0' || v < 0) return std::nullopt;
        total = total * 60 + v;
    }
    return std::int64_t(total * 1000.0 + 0.5);
}

std::optional<int> ParseTrackId(const std::string& text) {
    try {
        std::size_t used = 0;
        int v = std::stoi(text, &used, 0);
        if (used != text.size() || v < 0) return std::nullopt;
        return v;
    } catch (...) {
        return std::nullopt;
    }
}

struct ConvertOptions {
    std::string dvd, outDir, profile, titles, audio, subtitle;
    std::vector<std::string> trims;
    std::string crop, size;
    bool merge = false;
    std::optional<int> zoom, brightness, saturation, hue, volume;
    std::optional<double> fps;
    std::optional<int> videoBitrate, audioBitrate, sampleRate, channels;
};

profiles::FormatProfile ChooseProfile(const std::string& wanted) {
    auto& catalogue = profiles::ProfileCatalogue::Instance();
    if (!catalogue.LoadDefault() || catalogue.Count() == 0) Fail("Load Format.xml error");
    profiles::FormatProfile chosen{};
    if (wanted.empty()) {
        if (!catalogue.GetDefaultProfile(chosen)) Fail("Load Format.xml error");
        return chosen;
    }
    bool found = false;
    if (auto idx = ParseTrackId(wanted)) found = catalogue.FindByIndex(*idx, chosen);
    if (!found) {
        catalogue.ForEach([&](const profiles::FormatProfile& p) {
            if (!found && profiles::FieldUtf8(p.ProfileName) == wanted) {
                chosen = p;
                found = true;
            }
        });
    }
    if (!found) Fail("Unknown profile: " + wanted + " (see discreel-cli profiles)");
    return chosen;
}

void CheckEncoders(const profiles::EncoderSettings& s) {
    if (s.HasVideo && !avcodec_find_encoder_by_name(s.VideoCodecName))
        Fail(std::string("The video encoder \"") + s.VideoCodecName + "\" is not available in this FFmpeg");
    if (s.HasAudio && !avcodec_find_encoder_by_name(s.AudioCodecName))
        Fail(std::string("The audio encoder \"") + s.AudioCodecName + "\" is not available in this FFmpeg");
}

void CheckOutputFolder(const std::string& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) Fail("The output folder does not exist: " + dir);
    if (access(dir.c_str(), W_OK) != 0) Fail("The output folder is not writable: " + dir);
}

void ApplyProfileOverrides(const ConvertOptions& o, profiles::EncoderSettings& s) {
    if (!o.size.empty()) {
        int w = 0, h = 0;
        char x = 0;
        std::stringstream ss(o.size);
        if (!(ss >> w >> x >> h) || (x != 'x' && x != 'X') || w < 16 || h < 16 || w > 4096 || h > 4096 ||
            w % 2 || h % 2)
            Fail("--size must be WIDTHxHEIGHT with even values from 16 to 4096, e.g. 640x480", 2);
        s.Width = w;
        s.Height = h;
    }
    if (o.fps) {
        // Either frames per second (29.97) or the profile's own unit (29970).
        double f = *o.fps;
        int thousandths = f > 1000 ? int(f + 0.5) : int(f * 1000 + 0.5);
        if (thousandths < 1000 || thousandths > 120000) Fail("--fps must be between 1 and 120", 2);
        s.FrameRate = thousandths;
    }
    auto positive = [](std::optional<int> v, const char* name) {
        if (v && *v <= 0) Fail(std::string(name) + " must be positive", 2);
    };
    positive(o.videoBitrate, "--video-bitrate");
    positive(o.audioBitrate, "--audio-bitrate");
    positive(o.sampleRate, "--sample-rate");
    if (o.videoBitrate) s.VideoBitRate = *o.videoBitrate;
    if (o.audioBitrate) s.AudioBitRate = *o.audioBitrate;
    if (o.sampleRate) s.SampleRate = *o.sampleRate;
    if (o.channels) {
        if (*o.channels < 1 || *o.channels > 6) Fail("--channels must be between 1 and 6", 2);
        s.Channel = *o.channels;
    }
}

ClipSettings ClipFromOptions(const ConvertOptions& o) {
    ClipSettings c;
    if (!o.crop.empty()) {
        int l, t, r, b;
        char c1, c2, c3;
        std::stringstream ss(o.crop);
        if (!(ss >> l >> c1 >> t >> c2 >> r >> c3 >> b) || c1 != ',' || c2 != ',' || c3 != ',' || l < 0 ||
            t < 0 || r > 720 || b > 480 || l >= r || t >= b)
            Fail("--crop must be LEFT,TOP,RIGHT,BOTTOM inside 720x480 with LEFT<RIGHT and TOP<BOTTOM", 2);
        c.CropLeft = l, c.CropTop = t, c.CropRight = r, c.CropBottom = b;
    }
    auto ranged = [](std::optional<int> v, int lo, int hi, const char* name, std::int32_t& field) {
        if (!v) return;
        if (*v < lo || *v > hi)
            Fail(std::string(name) + " must be between " + std::to_string(lo) + " and " + std::to_string(hi), 2);
        field = *v;
    };
    ranged(o.zoom, 0, 3, "--zoom", c.ZoomMode);
    ranged(o.brightness, 0, 256, "--brightness", c.Brightness);
    ranged(o.saturation, 0, 128, "--saturation", c.Saturation);
    ranged(o.hue, -180, 180, "--hue", c.Hue);
    ranged(o.volume, 0, 512, "--volume", c.Volume);
    return c;
}

void DrawProgress(const JobDisplay& d, int fileNo, int files, bool tty) {
    if (!tty) return;
    const int width = 30;
    int filled = d.fileBar * width / 1000;
    std::string bar(std::size_t(std::max(0, std::min(width, filled))), '#');
    bar.resize(width, '-');
    std::fprintf(stderr, "\r[%s] file %d/%d %3d%%  job %3d%%  elapsed %s  left %s  %s ", bar.c_str(), fileNo,
                 files, d.fileBar / 10, d.jobBar / 10, d.elapsed.c_str(), d.remaining.c_str(),
                 d.converted.c_str());
    std::fflush(stderr);
}

void RunConvert(const ConvertOptions& o) {
    // The libraries' own chatter (encoder statistics, a decoder resyncing after a
    // trim's seek) would bury the progress line; their errors still show, and
    // DISCREEL_DEBUG brings the rest back.
    if (!std::getenv("DISCREEL_DEBUG")) av_log_set_level(AV_LOG_ERROR);
    profiles::FormatProfile profile = ChooseProfile(o.profile);
    profiles::EncoderSettings settings = profile.Settings;
    ApplyProfileOverrides(o, settings);
    if (!settings.HasVideo && !settings.HasAudio) Fail("The profile has neither video nor audio");
    CheckEncoders(settings);
    CheckOutputFolder(o.outDir);
    ClipSettings clip = ClipFromOptions(o);

    if (!LoadDvd(o.dvd)) Fail(o.dvd);  // LoadDvd already said "Open DVD error"
    const DvdInfo& info = OpenDvdInfo();
    std::vector<int> listed = ListedTitles(info);
    if (listed.empty()) Fail("The DVD has no title of 3 seconds or more");

    // Entries in list order, all checked unless --titles narrows them.
    std::vector<ConversionItem> items(listed.size());
    std::vector<JobEntry> entries(listed.size());
    const std::string ext = profiles::FieldUtf8(profile.FormatExt);
    for (std::size_t i = 0; i < listed.size(); ++i) {
        int t = listed[i];
        items[i].TitleIndex = t;
        items[i].ChapterIndex = -1;
        items[i].Duration = TitleDurationMs(info.Titles[t]);
        items[i].TrimStart = 0;
        items[i].TrimLength = items[i].Duration;
        entries[i] = {&items[i], true, OutputName(TitleName(t), ext)};
    }
    auto entryForTitle = [&](int titleNumber) -> int {
        for (std::size_t i = 0; i < listed.size(); ++i)
            if (listed[i] == titleNumber - 1) return int(i);
        Fail("Title " + std::to_string(titleNumber) + " is not listed on this DVD (see discreel-cli titles)");
    };
    if (!o.titles.empty() && o.titles != "all") {
        for (auto& e : entries) e.checked = false;
        std::stringstream ss(o.titles);
        std::string part;
        while (std::getline(ss, part, ',')) {
            auto n = ParseTrackId(part);
            if (!n || *n < 1) Fail("--titles takes title numbers such as 1,3 or all", 2);
            entries[std::size_t(entryForTitle(*n))].checked = true;
        }
    }
    for (const std::string& trim : o.trims) {
        auto colon = trim.find(':');
        auto dash = trim.find('-', colon == std::string::npos ? 0 : colon);
        auto n = colon == std::string::npos ? std::nullopt : ParseTrackId(trim.substr(0, colon));
        if (!n || dash == std::string::npos) Fail("--trim takes N:START-END, e.g. 1:00:00:10-00:01:00", 2);
        auto start = ParseTimeMs(trim.substr(colon + 1, dash - colon - 1));
        auto end = ParseTimeMs(trim.substr(dash + 1));
        if (!start || !end || *end <= *start) Fail("--trim " + trim + ": START must come before END", 2);
        ConversionItem& item = items[std::size_t(entryForTitle(*n))];
        if (*start >= item.Duration) Fail("--trim " + trim + ": START lies beyond the title's end");
        item.TrimStart = *start;
        item.TrimLength = std::min(*end, item.Duration) - *start;
    }

    // Tracks: the first of the first title, as the main window picks them.
    JobOptions options;
    options.merge = o.merge;
    options.outFolder = fs::path(o.outDir).lexically_normal().string();
    if (options.outFolder.size() > 1 && options.outFolder.back() == '/') options.outFolder.pop_back();
    auto audio = AudioTracks(info, listed.front());
    auto subs = SubtitleTracks(info, listed.front());
    options.selectedAudioStream = audio.empty() ? -1 : audio.front().Value;
    options.selectedSubtitleStream = subs.empty() ? -1 : subs.front().Value;
    // A track id that no title to convert has would be ignored without a word
    // and the title's first track converted instead.
    auto onSomeTitle = [&](int id, auto tracksOf) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (!entries[i].checked) continue;
            for (const TrackEntry& t : tracksOf(info, listed[i]))
                if (t.Value == id) return true;
        }
        return false;
    };
    if (!o.audio.empty()) {
        auto id = ParseTrackId(o.audio);
        if (!id) Fail("--audio takes a track id such as 48512 or 0xBD80", 2);
        if (!onSomeTitle(*id, AudioTracks))
            Fail("--audio " + o.audio + ": no title to convert has this audio track (see discreel-cli titles)", 2);
        options.selectedAudioStream = *id;
    }
    if (!o.subtitle.empty()) {
        if (o.subtitle == "none") {
            options.selectedSubtitleStream = -1;
        } else {
            auto id = ParseTrackId(o.subtitle);
            if (!id) Fail("--subtitle takes a track id such as 48416 or 0xBD20, or none", 2);
            if (!onSomeTitle(*id, SubtitleTracks))
                Fail("--subtitle " + o.subtitle +
                         ": no title to convert has this subtitle track (see discreel-cli titles)",
                     2);
            options.selectedSubtitleStream = *id;
        }
    }
    SelectedAudioStream = options.selectedAudioStream;
    SelectedSubtitleStream = options.selectedSubtitleStream;
    CurrentClip.Clip = clip;

    int files = 0;
    for (auto& e : entries) files += e.checked ? 1 : 0;
    if (files == 0) Fail("No title to convert");
    if (o.merge) files = 1;

    QueueWindow window;
    CConvertGraph graph(OpenDvdHandle());
    bool done = false;
    JobActions actions;
    actions.endDialog = [&] { done = true; };
    ConversionJob job(graph, &window, &entries, settings, options, actions);
    if (!job.Initialise()) Fail("Nothing to convert");

    g_interrupted = false;
    auto oldInt = std::signal(SIGINT, OnInterrupt);
    auto oldTerm = std::signal(SIGTERM, OnInterrupt);
    const bool tty = isatty(STDERR_FILENO);
    std::size_t reported = 0;
    auto reportFinished = [&] {
        // One line per finished file, as soon as it is finished.
        const auto& outcomes = job.Outcomes();
        for (; reported < outcomes.size(); ++reported) {
            const EntryOutcome& r = outcomes[reported];
            if (!r.completed && !(reported + 1 < outcomes.size() || done)) break;
            if (tty) std::fprintf(stderr, "\r\033[K");
            const JobEntry& e = entries[std::size_t(r.index)];
            if (r.completed)
                std::printf("%s -> %s\n", TitleName(e.item->TitleIndex).c_str(), r.output.c_str());
            else
                std::printf("%s: not converted\n", TitleName(e.item->TitleIndex).c_str());
            std::fflush(stdout);
        }
    };
    auto nextTick = std::chrono::steady_clock::now();
    while (!done) {
        if (g_interrupted) {
            job.OnCancel();
            break;
        }
        if (auto m = window.Wait(std::chrono::milliseconds(50))) {
            if (m->msg == WM_START_ENTRY) job.OnStartEntry();
            if (m->msg == WM_GRAPH_EVENT) job.OnGraphEvent();
        }
        if (std::chrono::steady_clock::now() >= nextTick) {
            nextTick += std::chrono::milliseconds(kProgressTimerMs);
            job.OnTimer();
            int fileNo = int(job.Outcomes().size());
            DrawProgress(job.Display(), o.merge ? 1 : std::max(1, fileNo), files, tty);
        }
        if (!o.merge) reportFinished();
    }
    job.OnDestroy();
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
    if (tty) std::fprintf(stderr, "\r\033[K");
    if (g_interrupted) {
        std::fprintf(stderr, "Conversion cancelled; the partial file was finished and kept.\n");
        CloseDvd();
        throw CliExit{130};
    }
    int failures = 0;
    if (o.merge) {
        bool any = false;
        for (const auto& r : job.Outcomes()) any = any || r.completed;
        for (const auto& r : job.Outcomes()) failures += r.completed ? 0 : 1;
        if (any && !job.OutputPaths().empty()) std::printf("merged -> %s\n", job.OutputPaths().front().c_str());
    } else {
        reportFinished();
        for (const auto& r : job.Outcomes()) failures += r.completed ? 0 : 1;
    }
    for (const auto& r : job.Outcomes()) {
        if (r.openResult != 0) {
            std::fprintf(stderr, "Could not write %s: %s\n", r.output.c_str(), graph.LastOutputError().c_str());
            ++failures;
            break;
        }
    }
    // A damaged or encrypted disc still converts, with glitches or garbage where
    // sectors could not be read: say so rather than let the files look sound.
    const LONGLONG bad = MyDVDGetBadSectorCount(OpenDvdHandle());
    const LONGLONG scrambled = MyDVDGetScrambledSectorCount(OpenDvdHandle());
    if (bad > 0)
        std::fprintf(stderr, "Warning: %lld sectors of the DVD could not be read and were replaced by zeroes.\n",
                     (long long)bad);
    if (scrambled > 0)
        std::fprintf(stderr,
                     "Warning: %lld sectors were still encrypted; install libdvdcss to read this disc.\n",
                     (long long)scrambled);
    CloseDvd();
    if (failures) throw CliExit{1};
}

}  // namespace

void RegisterConvertCommand(CLI::App& app) {
    auto o = std::make_shared<ConvertOptions>();
    CLI::App* cmd = app.add_subcommand("convert", "Convert the titles of a DVD into video files");
    cmd->add_option("dvd", o->dvd, "DVD drive, VIDEO_TS folder or ISO image")->required();
    cmd->add_option("-o,--output", o->outDir, "Output folder")->required();
    cmd->add_option("--profile", o->profile, "Profile index or name (default: the catalogue's default)");
    cmd->add_option("--titles", o->titles, "Title numbers to convert, e.g. 1,3, or all (default)");
    cmd->add_flag("--merge", o->merge, "Merge all titles into one file");
    cmd->add_option("--audio", o->audio, "Audio track id (decimal or 0x hex), as `titles` prints");
    cmd->add_option("--subtitle", o->subtitle, "Subtitle track id to burn in, or none");
    cmd->add_option("--trim", o->trims, "Trim title N to START-END (HH:MM:SS or seconds), e.g. 1:10-70");
    cmd->add_option("--crop", o->crop, "Crop LEFT,TOP,RIGHT,BOTTOM in the 720x480 frame");
    cmd->add_option("--zoom", o->zoom, "0 keep original, 1 full screen, 2 16:9, 3 4:3");
    cmd->add_option("--brightness", o->brightness, "0..256 (128 unchanged)");
    cmd->add_option("--saturation", o->saturation, "0..128 (64 unchanged)");
    cmd->add_option("--hue", o->hue, "-180..180 degrees");
    cmd->add_option("--volume", o->volume, "0..512 (256 unchanged)");
    cmd->add_option("--size", o->size, "Output picture size WIDTHxHEIGHT");
    cmd->add_option("--fps", o->fps, "Output frame rate, e.g. 25 or 29.97");
    cmd->add_option("--video-bitrate", o->videoBitrate, "Video bit rate in bit/s");
    cmd->add_option("--audio-bitrate", o->audioBitrate, "Audio bit rate in bit/s");
    cmd->add_option("--sample-rate", o->sampleRate, "Audio sample rate in Hz");
    cmd->add_option("--channels", o->channels, "Audio channels (1..6)");
    cmd->callback([o] { RunConvert(*o); });
}

}  // namespace cli
