#pragma once
// The DVD audio decoder filter: AC-3, DTS, DVD LPCM, MPEG-1/2 audio and AAC as
// the splitter types them in, interleaved 16-bit PCM with the stream's own
// channel count and rate out, timed and gapless.
#include "platform/codecs/audio_decoder_core.h"
#include "platform/framework/transform.h"

class CDvdAudioDecoder : public CTransformFilter {
  public:
    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr);
    CDvdAudioDecoder(IUnknown* pUnk, HRESULT* phr);
    ~CDvdAudioDecoder() override;

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;

    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // What the decoder makes of an input type; false when it cannot decode it.
    static bool ConfigFor(const CMediaType& mt, codecs::AudioDecoderCore::Config* config);

  private:
    HRESULT DeliverPcm(const int16_t* samples, int frames, REFERENCE_TIME start,
                       REFERENCE_TIME stop);

    codecs::AudioDecoderCore m_core;
    bool m_bDiscontinuity = true;
};
