#pragma once
// The platform's decoders and renderers, as framework filters registered under
// their well-known class ids so that CoCreateInstance, Connect and Render find them.
#include "platform/com/guid.h"

// The MPEG-2 video decoder (input 0 video, input 1 subpictures; output YV12).
inline constexpr CLSID CLSID_MpegDecoder = MakeGuid("{39F498AF-1A09-4275-B193-673B0BA3D478}");
// The DVD audio decoder (AC-3, DTS, DVD LPCM, MPEG audio, AAC; output 16-bit PCM).
inline constexpr CLSID CLSID_MpaDecoder = MakeGuid("{3D446B6F-71DE-4437-BE15-8CE47174340F}");

// Registers the decoders, the video mixing renderer and the default audio
// renderer in the framework's filter registry. Safe to call more than once.
void RegisterPlatformCodecs();
