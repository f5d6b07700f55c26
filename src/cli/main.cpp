// discreel-cli: the headless front end. Every command drives the same core the
// GUI does; user-facing messages go to stderr.
#include <cstdio>
#include <string>

#include "commands.h"
#include "platform/win/messages.h"

int main(int argc, char** argv) {
    SetMessageSink([](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });

    CLI::App app{"discreel-cli: convert the titles of a video DVD into video files"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "discreel-cli 0.1.0");
#ifdef DISCREEL_CLI_TITLES
    cli::RegisterTitlesCommand(app);
#endif
#ifdef DISCREEL_CLI_STREAMS
    cli::RegisterStreamsCommand(app);
#endif
#ifdef DISCREEL_CLI_PROFILES
    cli::RegisterProfilesCommand(app);
#endif
#ifdef DISCREEL_CLI_CONVERT
    cli::RegisterConvertCommand(app);
#endif
#ifdef DISCREEL_CLI_SNAPSHOT
    cli::RegisterSnapshotCommand(app);
#endif
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // CLI11 uses 0 for --help/--version and positive codes for usage errors.
        int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    } catch (const cli::CliExit& e) {
        return e.code;
    }
    return 0;
}
