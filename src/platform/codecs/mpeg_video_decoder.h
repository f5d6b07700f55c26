#pragma once
// The MPEG-2 video decoder filter: input 0 takes the splitter's MPEG-1/MPEG-2
// video, input 1 its DVD subpictures, output 0 gives YV12 pictures (VideoInfo2
// or VideoInfo) with start and stop times, the chosen subtitle burned in.
#include "platform/codecs/subpicture.h"
#include "platform/codecs/video_decoder_core.h"
#include "platform/framework/filter.h"
#include "platform/framework/seeking.h"

class CMpegVideoDecoder;

class CMpegVideoInputPin : public CBaseInputPin {
  public:
    CMpegVideoInputPin(CMpegVideoDecoder* filter, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;

  private:
    CMpegVideoDecoder* m_pDecoder;
};

class CSubpictureInputPin : public CBaseInputPin {
  public:
    CSubpictureInputPin(CMpegVideoDecoder* filter, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;

  private:
    CMpegVideoDecoder* m_pDecoder;
};

class CMpegVideoOutputPin : public CBaseOutputPin {
  public:
    CMpegVideoOutputPin(CMpegVideoDecoder* filter, HRESULT* phr);
    ~CMpegVideoOutputPin() override;
    // Seeking goes upstream through the video input, as in a transform.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;

  private:
    CMpegVideoDecoder* m_pDecoder;
    CPosPassThru* m_pPosition = nullptr;  // made on first query
};

class CMpegVideoDecoder : public CBaseFilter {
  public:
    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr);
    CMpegVideoDecoder(IUnknown* pUnk, HRESULT* phr);
    ~CMpegVideoDecoder() override;

    int GetPinCount() override { return 3; }
    CBasePin* GetPin(int n) override;
    HRESULT Stop() override;
    HRESULT Pause() override;

    // The stream's picture: size and display aspect from the input type.
    struct Picture {
        int width = 0, height = 0;
        int aspectX = 0, aspectY = 0;
        REFERENCE_TIME avgTimePerFrame = 0;
        DWORD bitRate = 0;
    };
    Picture InputPicture() const;

  private:
    friend class CMpegVideoInputPin;
    friend class CSubpictureInputPin;
    friend class CMpegVideoOutputPin;

    HRESULT DeliverPicture(const AVFrame& frame, REFERENCE_TIME start, REFERENCE_TIME stop);
    HRESULT OpenDecoder();

    CCritSec m_csFilter;
    CCritSec m_csReceive;  // held while the video input streams
    CMpegVideoInputPin* m_pVideo = nullptr;
    CSubpictureInputPin* m_pSubpicture = nullptr;
    CMpegVideoOutputPin* m_pOutput = nullptr;
    codecs::VideoDecoderCore m_core;
    codecs::SubpictureDecoder m_subpictures;
    bool m_bDiscontinuity = true;
};
