// discreel-cli snapshot <dvd> --title N --at SECONDS -o FILE: the preview
// player's snapshot without a window. The player is opened on the title, seeks,
// cues the picture at that time (paused, as the GUI's preview would show it)
// and saves it; the file type follows the extension.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "dvd/catalogue.h"
#include "pipelines/preview_player.h"
#include "pipelines/snapshot.h"
#include "platform/win/messages.h"

namespace fs = std::filesystem;

namespace cli {
namespace {

struct SnapshotOptions {
    std::string dvd;
    int title = 0;
    double at = 0;
    std::string output;
};

// How long the picture at the position may take to arrive. Seeking reads from
// the start of a group of pictures, which is quick; a slow drive is not.
constexpr long kCueTimeoutMs = 30000;

[[noreturn]] void Fail(const std::string& text, int code = 1) {
    std::fprintf(stderr, "%s\n", text.c_str());
    throw CliExit{code};
}

void CheckOutput(const std::string& output) {
    if (!IsSnapshotExtension(output))
        Fail("Cannot save a snapshot as \"" + output +
                 "\": the file name must end in .bmp, .jpg, .jpeg, .gif or .png",
             2);
    fs::path folder = fs::path(output).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        Fail("The folder for the snapshot does not exist: " + folder.string());
    if (access(folder.c_str(), W_OK) != 0)
        Fail("The folder for the snapshot is not writable: " + folder.string());
}

void RunSnapshot(const SnapshotOptions& o) {
    if (!std::isfinite(o.at) || o.at < 0) Fail("--at must be a number of seconds, 0 or more", 2);
    CheckOutput(o.output);
    // A still picture needs no loudspeaker: keep the sound library from
    // looking for devices (and complaining about missing ones) unless the
    // user asked for a driver.
    setenv("SDL_AUDIODRIVER", "dummy", 0);

    // The catalogue's and the player's own messages name no file: add the DVD.
    std::vector<std::string> messages;
    MessageSink previous =
        SetMessageSink([&](const std::string& text) { messages.push_back(text); });
    struct Restore {
        MessageSink& previous;
        std::vector<std::string>& messages;
        const std::string& dvd;
        ~Restore() {
            SetMessageSink(previous);
            for (const std::string& text : messages)
                std::fprintf(stderr, "%s: %s\n", text.c_str(), dvd.c_str());
            messages.clear();
        }
    };

    auto player = std::make_unique<PreviewPlayer>();
    auto finish = [&](const std::string& text) {
        player.reset();
        CloseDvd();
        Fail(text);
    };
    {
        Restore restore{previous, messages, o.dvd};
        if (!LoadDvd(o.dvd)) throw CliExit{1};
    }
    const DvdInfo& info = OpenDvdInfo();
    const int t = o.title - 1;
    if (t < 0 || t >= info.TitleCount)
        finish("No title " + std::to_string(o.title) + " on this DVD (it has " +
               std::to_string(info.TitleCount) + ")");
    const double seconds = TitleDurationMs(info.Titles[t]) / 1000.0;
    if (o.at >= seconds) {
        char text[160];
        std::snprintf(text, sizeof text, "--at %.3f is not inside %s, which lasts %.3f s", o.at,
                      TitleName(t).c_str(), seconds);
        finish(text);
    }

    bool opened, selected = false;
    {
        Restore restore{previous, messages, o.dvd};
        opened = player->Open(OpenDvdHandle(), nullptr);
        if (opened) selected = player->SelectTitle(t, -1);
    }
    if (!opened) finish("Cannot open the preview of this DVD");
    if (!selected) finish("Cannot play " + TitleName(t) + " of this DVD");

    player->SetPosition(o.at);
    player->Pause();
    if (!player->WaitUntilCued(kCueTimeoutMs))
        finish("No picture arrived at that position of " + TitleName(t));
    std::string why;
    if (!player->SaveSnapshot(o.output, &why))
        finish("Could not save the snapshot to " + o.output + ": " + why);
    player->Stop();
    player.reset();
    CloseDvd();
    std::printf("%s\n", o.output.c_str());
    throw CliExit{0};
}

}  // namespace

void RegisterSnapshotCommand(CLI::App& app) {
    auto options = std::make_shared<SnapshotOptions>();
    CLI::App* cmd =
        app.add_subcommand("snapshot", "Save the picture of a title at a given time as an image");
    cmd->add_option("dvd", options->dvd,
                    "Optical drive (/dev/sr0 or its mount point), VIDEO_TS folder or ISO image")
        ->required();
    cmd->add_option("--title", options->title, "Title number, 1-based as in Title_NN")->required();
    cmd->add_option("--at", options->at, "Time in the title, in seconds (fractions allowed)")
        ->required();
    cmd->add_option("-o,--output", options->output, "Image file: .bmp, .jpg/.jpeg, .gif or .png")
        ->required();
    cmd->callback([options] { RunSnapshot(*options); });
}

}  // namespace cli
