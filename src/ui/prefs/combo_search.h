#pragma once
// Selecting a combo box entry by text the way the dialogs have always done it:
// the first entry that begins with the text, ignoring case, searched from the
// entry after `after` and wrapping around. An empty text therefore matches the
// entry after `after`. When nothing matches the selection stays as it was.
// An entry equal to the text wins over one that merely begins with it, so "MP3"
// never selects a later "MP3 Pro" and hands back that entry's value.
#include <QString>

class QComboBox;

// The index found, or -1.
int FindStringPrefix(const QComboBox* combo, const QString& text, int after = 0);
// Selects what FindStringPrefix finds; returns its index, or -1 (unchanged).
int SelectStringPrefix(QComboBox* combo, const QString& text, int after = 0);
