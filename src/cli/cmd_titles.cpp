// discreel-cli titles <dvd> [--json]: the titles a user could convert, with
// their durations, chapters and tracks, as the main window would list them.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "dvd/catalogue.h"
#include "platform/win/messages.h"

namespace cli {
namespace {

struct TitlesOptions {
    std::string dvd;
    bool json = false;
};

std::string Hex(int id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", id);
    return text;
}

void PrintText(const DvdInfo& info) {
    std::vector<int> titles = ListedTitles(info);
    if (titles.empty()) std::printf("No title of at least 3 seconds.\n");
    for (int t : titles) {
        const DvdTitleInfo& title = info.Titles[t];
        std::printf("%s  %s  %d chapter%s\n", TitleName(t).c_str(), DurationText(title.Duration).c_str(),
                    title.ChapterCount, title.ChapterCount == 1 ? "" : "s");
        for (const TrackEntry& track : AudioTracks(info, t))
            std::printf("  audio     %s  %s\n", Hex(track.Value).c_str(), track.Label.c_str());
        for (const TrackEntry& track : SubtitleTracks(info, t))
            std::printf("  subtitle  %s  %s\n", Hex(track.Value).c_str(), track.Label.c_str());
    }
}

void PrintJson(const DvdInfo& info) {
    nlohmann::ordered_json titles = nlohmann::ordered_json::array();
    for (int t : ListedTitles(info)) {
        const DvdTitleInfo& title = info.Titles[t];
        nlohmann::ordered_json audio = nlohmann::ordered_json::array(), subtitles = nlohmann::ordered_json::array();
        for (const TrackEntry& track : AudioTracks(info, t))
            audio.push_back({{"id", track.Value}, {"label", track.Label}});
        for (const TrackEntry& track : SubtitleTracks(info, t))
            subtitles.push_back({{"id", track.Value}, {"label", track.Label}});
        titles.push_back({{"name", TitleName(t)},
                          {"index", t},
                          {"duration_ms", TitleDurationMs(title)},
                          {"duration", DurationText(title.Duration)},
                          {"chapters", title.ChapterCount},
                          {"audio", audio},
                          {"subtitles", subtitles}});
    }
    // Labels come from the disc's language table and are UTF-8; replace
    // anything else rather than fail on a damaged record.
    std::printf("%s\n", nlohmann::ordered_json{{"titles", titles}}.dump(-1, ' ', false,
                                                                 nlohmann::ordered_json::error_handler_t::replace).c_str());
}

void RunTitles(const TitlesOptions& options) {
    // The catalogue reports a failed open with its own short text; on the
    // command line the user also needs to know which path it was.
    std::vector<std::string> messages;
    MessageSink previous = SetMessageSink([&](const std::string& text) { messages.push_back(text); });
    bool loaded = LoadDvd(options.dvd);
    SetMessageSink(previous);
    for (const std::string& text : messages) std::fprintf(stderr, "%s: %s\n", text.c_str(), options.dvd.c_str());
    if (!loaded) throw CliExit{1};

    if (options.json)
        PrintJson(OpenDvdInfo());
    else
        PrintText(OpenDvdInfo());
    CloseDvd();
    throw CliExit{0};
}

}  // namespace

void RegisterTitlesCommand(CLI::App& app) {
    auto options = std::make_shared<TitlesOptions>();
    CLI::App* cmd = app.add_subcommand("titles", "List the titles of a DVD (at least 3 s long) with their tracks");
    cmd->add_option("dvd", options->dvd, "Optical drive (/dev/sr0 or its mount point), VIDEO_TS folder or ISO image")
        ->required();
    cmd->add_flag("--json", options->json, "Print the list as JSON");
    cmd->callback([options] { RunTitles(*options); });
}

}  // namespace cli
