#pragma once
// Shows MessageBox texts as modal boxes with an OK button. On the GUI thread
// the call returns when the user has closed the box; from other threads the box
// is queued to the GUI thread and the call returns at once.
#include "platform/win/messages.h"

// Installs the Qt sink and returns the one it replaced.
MessageSink InstallQtMessageSink();
