#pragma once
// User-facing messages and debugger output. The front end installs the sink:
// the GUI shows a modal box with OK, the CLI prints to stderr, tests record.
#include <functional>
#include <string>

using MessageSink = std::function<void(const std::string& text)>;

// Replaces the sink and returns the previous one. The default prints to stderr.
MessageSink SetMessageSink(MessageSink sink);
// Shows a message the way the front end shows messages (a box with OK).
void MessageBox(const std::string& text);

// Diagnostic lines; silent unless DISCREEL_DEBUG is set in the environment
// (then written to stderr) or a test installs a listener.
void OutputDebugString(const std::string& text);
using DebugListener = std::function<void(const std::string& text)>;
DebugListener SetDebugListener(DebugListener listener);
