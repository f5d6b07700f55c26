#include <mutex>

#include "platform/codecs/audio_decoder.h"
#include "platform/codecs/audio_renderer.h"
#include "platform/codecs/codecs.h"
#include "platform/codecs/mpeg_video_decoder.h"
#include "platform/codecs/video_renderer.h"
#include "platform/framework/graph.h"

void RegisterPlatformCodecs() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterFilter(CLSID_MpegDecoder, "MPEG-2 Video Decoder", MERIT_NORMAL,
                       CMpegVideoDecoder::CreateInstance,
                       {{MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO},
                        {MEDIATYPE_Video, MEDIASUBTYPE_MPEG1Payload},
                        {MEDIATYPE_Video, MEDIASUBTYPE_MPEG1Packet}});
        RegisterFilter(CLSID_MpaDecoder, "MPEG Audio Decoder", MERIT_NORMAL,
                       CDvdAudioDecoder::CreateInstance,
                       {{MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3},
                        {MEDIATYPE_Audio, MEDIASUBTYPE_WAVE_DOLBY_AC3},
                        {MEDIATYPE_Audio, MEDIASUBTYPE_DTS},
                        {MEDIATYPE_Audio, MEDIASUBTYPE_WAVE_DTS},
                        {MEDIATYPE_Audio, MEDIASUBTYPE_DVD_LPCM_AUDIO},
                        {MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1AudioPayload},
                        {MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Payload},
                        {MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Packet},
                        {MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO},
                        {MEDIATYPE_Audio, MEDIASUBTYPE_MP3},
                        {MEDIATYPE_Audio, MEDIASUBTYPE_AAC}});
        RegisterFilter(CLSID_VideoMixingRenderer, "Video Mixing Renderer", MERIT_NORMAL,
                       CVideoMixingRenderer::CreateInstance,
                       {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
        // The renderer Render ends an audio path with.
        RegisterFilter(CLSID_DSoundRender, "Default DirectSound Device", MERIT_PREFERRED,
                       CAudioRenderer::CreateInstance, {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}});
    });
}
