#pragma once
// The default audio renderer: plays interleaved 16-bit PCM through SDL2 and
// offers the graph its reference clock. Where no sound device can be opened
// it consumes the samples in real time all the same, so timing and completion
// do not depend on the machine having sound.
#include <cstdint>
#include <mutex>

#include "platform/framework/refclock.h"
#include "platform/framework/renderer.h"

class CAudioRenderer : public CBaseRenderer {
  public:
    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr);
    CAudioRenderer(IUnknown* pUnk, HRESULT* phr);
    ~CAudioRenderer() override;

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT SetMediaType(const CMediaType* pmt) override;
    HRESULT DoRenderSample(IMediaSample* pMediaSample) override;
    HRESULT GetSampleTimes(IMediaSample* pMediaSample, REFERENCE_TIME* pStartTime,
                           REFERENCE_TIME* pEndTime) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;

    // Whether a sound device may be opened at all (tests turn it off).
    void UseSoundDevice(bool use) { m_bUseDevice = use; }
    // Whether samples currently go to a sound device.
    bool HasSoundDevice() const { return m_device != 0; }
    // Bytes handed to the device or consumed in its place since the last Pause from stopped.
    int64_t BytesRendered() const { return m_bytesRendered.load(); }

    // How far ahead of their time samples go to the device, so it never starves.
    static constexpr REFERENCE_TIME kDeviceLead = 100 * MILLISECONDS;

  private:
    void OpenDevice();
    void CloseDevice();

    CBaseReferenceClock* m_pClock = nullptr;  // aggregated: answers IReferenceClock for us
    std::mutex m_deviceLock;
    uint32_t m_device = 0;  // SDL_AudioDeviceID, 0 without a device
    bool m_bSdlAudio = false;
    bool m_bUseDevice = true;
    int m_channels = 0, m_rate = 0;
    std::atomic<int64_t> m_bytesRendered{0};
};
