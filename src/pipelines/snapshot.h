#pragma once
// Saving the renderer's current picture (a packed DIB: 40-byte header, then
// bottom-up 32-bit rows) as an image file whose type follows the extension:
// BMP, JPEG/JPG, GIF or PNG, compared without regard to case.
#include <string>

#include "platform/com/types.h"

// True when the extension names a type we can write.
bool IsSnapshotExtension(const std::string& path);
// Writes the picture; false (and nothing on disk) when the extension is not an
// image type, the DIB is unusable or the file cannot be written. `error`, when
// given, says why.
bool SaveDibAsImage(const BYTE* dib, std::size_t dibBytes, const std::string& path,
                    std::string* error = nullptr);
