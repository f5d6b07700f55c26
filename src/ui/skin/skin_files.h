#pragma once
// Skin images live in skin/ of the data directory. The names used across the
// program differ in case for the same file ("Cancel.png", "cancel.png") and may
// arrive in the old ".\skin\name" form, so lookups ignore case and accept both.
#include <QImage>
#include <string>

// The path of an existing skin file, or "" when there is none. An existing path
// (absolute or relative to the working directory) is taken as it is; otherwise
// the name is looked up under skin/ of every data directory, ignoring case.
std::string FindSkinFile(const std::string& name);

// Loads a skin image; a null image when the file is missing or unreadable.
QImage LoadSkinImage(const std::string& name);

// Resolves "dir/relative" on disk, matching each component of relative without
// regard to case when the exact name does not exist. "" when nothing matches.
std::string ResolveIgnoringCase(const std::string& dir, const std::string& relative);
