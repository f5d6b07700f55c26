#pragma once
// Media types the splitter builds for the decoders it feeds.
#include "platform/framework/mediatype.h"

// Wave format tags embedded in the standard subtype pattern.
constexpr GUID WaveSubtype(WORD tag) {
    GUID g = MakeGuid("{00000000-0000-0010-8000-00AA00389B71}");
    g.Data1 = tag;
    return g;
}
