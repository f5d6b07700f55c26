#pragma once
// Small rules of the clip editor that need no window: where a picture of a
// given aspect sits inside a rectangle, and the editor's time texts.
#include <cstdint>
#include <string>

#include "platform/com/types.h"

// The largest rectangle of aspect a (width / height) centred in rect. The
// padding is split with integer division, so an odd remainder goes to the
// bottom or right.
RECT FitAspect(const RECT& rect, float a);

// "hh:mm:ss" of whole seconds (truncated).
std::string FormatClipTime(std::int64_t milliseconds);
// Reads "hh:mm:ss"; fields that cannot be read count as 0. Milliseconds.
std::int64_t ParseClipTime(const std::string& text);
