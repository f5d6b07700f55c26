#pragma once
// Each sub-command of discreel-cli lives in its own file and registers itself
// on the application here. A command's callback returns the process exit code
// through CliExit (0 success, 1 failure, 2 bad usage, 130 cancelled).
#include <CLI/CLI.hpp>

namespace cli {

void RegisterTitlesCommand(CLI::App& app);
void RegisterStreamsCommand(CLI::App& app);
void RegisterProfilesCommand(CLI::App& app);
void RegisterConvertCommand(CLI::App& app);
void RegisterSnapshotCommand(CLI::App& app);

// Thrown from a command's callback to end the program with a given exit code
// after its message has been printed.
struct CliExit {
    int code;
};

}  // namespace cli
