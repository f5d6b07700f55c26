#pragma once
// CMyAudioConveFilter: converts decoded 16-bit PCM to the profile's channel
// count and sample rate and applies the volume gain, between the audio decoder
// and the sink or the audio renderer.
#include <atomic>

#include "filters/audio_converter.h"
#include "filters/filter_interfaces.h"
#include "platform/framework/transform.h"

class CMyAudioConveFilter : public CTransformFilter, public IMyAudioConvFilter {
  public:
    static constexpr WORD kChannelsNotSet = 0xFFFF;
    static constexpr DWORD kRateNotSet = 0x0FFFFFFF;
    static constexpr long kBufferBytes = 115200;
    static constexpr long kBufferCount = 4;

    explicit CMyAudioConveFilter(IUnknown* pUnk = nullptr, HRESULT* phr = nullptr);
    ~CMyAudioConveFilter() override;
    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMyAudioConvFilter
    HRESULT SetOutputFormat(WORD channels, DWORD sampleRate) override;
    HRESULT SetVolume(LONG volume) override;

    // CTransformFilter
    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop) override;
    HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut) override;
    HRESULT StartStreaming() override;
    // Delivers what the resampler and the ring still hold, then passes the end
    // of stream on: the last moments of sound are not lost.
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;

    bool IsResampling() const { return m_resample; }
    WORD OutputChannels() const { return m_outChannels; }
    DWORD OutputRate() const { return m_outRate; }

  private:
    WORD m_outChannels = kChannelsNotSet;
    DWORD m_outRate = kRateNotSet;
    std::atomic<LONG> m_volume{256};
    bool m_resample = false;  // once set, stays set for the filter's life
    CMediaType m_inputType, m_outputType;
    AudioConverter m_converter;
    // Where the sound delivered so far ends, for the times of the tail.
    REFERENCE_TIME m_lastStop = 0;
    bool m_haveTime = false;
};
