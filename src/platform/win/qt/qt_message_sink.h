#pragma once
// Shows MessageBox texts as modal boxes with an OK button. Calls from threads
// other than the GUI thread wait until the user has closed the box.
#include "platform/win/messages.h"

// Installs the Qt sink and returns the one it replaced.
MessageSink InstallQtMessageSink();
