#include "platform/codecs/audio_renderer.h"

#include <SDL2/SDL.h>

#include "platform/framework/mediatype.h"
#include "platform/win/messages.h"

namespace {
// SDL's audio subsystem is process-wide; renderers start and end it in turn.
std::mutex g_sdlLock;
}  // namespace

CUnknown* CAudioRenderer::CreateInstance(IUnknown* pUnk, HRESULT* phr) {
    return new CAudioRenderer(pUnk, phr);
}

CAudioRenderer::CAudioRenderer(IUnknown* pUnk, HRESULT* phr)
    : CBaseRenderer(CLSID_DSoundRender, "Audio Renderer", pUnk, phr) {
    HRESULT hr = S_OK;
    m_pClock = new CBaseReferenceClock("Audio clock", GetOwner(), &hr);
    m_pClock->NonDelegatingAddRef();
    if (phr && FAILED(hr)) *phr = hr;
}

CAudioRenderer::~CAudioRenderer() {
    CloseDevice();
    m_pClock->NonDelegatingRelease();
}

HRESULT CAudioRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IReferenceClock) return m_pClock->NonDelegatingQueryInterface(riid, ppv);
    return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CAudioRenderer::CheckMediaType(const CMediaType* pmt) {
    if (!pmt || pmt->majortype != MEDIATYPE_Audio || pmt->subtype != MEDIASUBTYPE_PCM)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const WAVEFORMATEX* wfx = GetWaveFormat(pmt);
    if (!wfx || wfx->wBitsPerSample != 16 || wfx->nChannels < 1 || wfx->nChannels > 8 ||
        wfx->nSamplesPerSec < 4000 || wfx->nSamplesPerSec > 192000)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CAudioRenderer::SetMediaType(const CMediaType* pmt) {
    const WAVEFORMATEX* wfx = GetWaveFormat(pmt);
    if (!wfx) return VFW_E_TYPE_NOT_ACCEPTED;
    m_channels = wfx->nChannels;
    m_rate = int(wfx->nSamplesPerSec);
    return S_OK;
}

void CAudioRenderer::OpenDevice() {
    std::lock_guard lock(m_deviceLock);
    if (m_device || !m_bUseDevice || m_channels <= 0) return;
    {
        std::lock_guard sdl(g_sdlLock);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            OutputDebugString(
                "audio renderer: no sound system, playing against the system clock\n");
            return;
        }
    }
    m_bSdlAudio = true;
    SDL_AudioSpec want{}, have{};
    want.freq = m_rate;
    want.format = AUDIO_S16SYS;
    want.channels = Uint8(m_channels);
    want.samples = 1024;
    want.callback = nullptr;  // queued: SDL_QueueAudio
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (m_device == 0)
        OutputDebugString("audio renderer: no sound device, playing against the system clock\n");
}

void CAudioRenderer::CloseDevice() {
    std::lock_guard lock(m_deviceLock);
    if (m_device) {
        SDL_CloseAudioDevice(m_device);
        m_device = 0;
    }
    if (m_bSdlAudio) {
        std::lock_guard sdl(g_sdlLock);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_bSdlAudio = false;
    }
}

HRESULT CAudioRenderer::Pause() {
    {
        CAutoLock lock(&m_InterfaceLock);
        if (m_State == State_Stopped) {
            m_bytesRendered = 0;
            OpenDevice();
        }
    }
    HRESULT hr = CBaseRenderer::Pause();
    std::lock_guard lock(m_deviceLock);
    if (m_device) SDL_PauseAudioDevice(m_device, 1);
    return hr;
}

HRESULT CAudioRenderer::Run(REFERENCE_TIME tStart) {
    HRESULT hr = CBaseRenderer::Run(tStart);
    std::lock_guard lock(m_deviceLock);
    if (m_device) SDL_PauseAudioDevice(m_device, 0);
    return hr;
}

HRESULT CAudioRenderer::Stop() {
    HRESULT hr = CBaseRenderer::Stop();
    CloseDevice();
    return hr;
}

HRESULT CAudioRenderer::GetSampleTimes(IMediaSample* pSample, REFERENCE_TIME* pStart,
                                       REFERENCE_TIME* pEnd) {
    HRESULT hr = CBaseRenderer::GetSampleTimes(pSample, pStart, pEnd);
    if (hr == S_OK && HasSoundDevice()) {
        // The device plays what it has queued; hand it the sound a little early.
        *pStart -= kDeviceLead;
        *pEnd -= kDeviceLead;
    }
    return hr;
}

HRESULT CAudioRenderer::DoRenderSample(IMediaSample* pSample) {
    BYTE* data = nullptr;
    if (FAILED(pSample->GetPointer(&data)) || !data) return S_OK;
    const long length = pSample->GetActualDataLength();
    if (length <= 0) return S_OK;
    m_bytesRendered += length;
    std::lock_guard lock(m_deviceLock);
    // Without a device the sample was consumed by waiting for its time.
    if (m_device) SDL_QueueAudio(m_device, data, Uint32(length));
    return S_OK;
}
