#pragma once
// CConvFilter: the last filter of a conversion. It keeps the samples inside
// the clip's time window, holds the video at the profile's constant frame rate
// by repeating or skipping pictures, hands pictures and sound to the media
// writer, signals completion once every connected input has ended, and copies
// every fifth picture to an optional preview output.
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "encoding/media_writer.h"
#include "platform/framework/outputqueue.h"
#include "platform/framework/seeking.h"

class CConvFilter;

inline constexpr CLSID CLSID_ConvFilter = MakeGuid("{A4DA1077-2239-4C9E-AA16-C88DD9F35131}");

// Common part of the two inputs: the type as proposed and the end-of-stream flag.
class CConvInPin : public CBaseInputPin {
  public:
    CConvInPin(const char* objectName, CConvFilter* pFilter, HRESULT* phr, const char* pName);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    bool AtEndOfStream() const { return m_bEndOfStream; }
    const CMediaType& ProposedType() const { return m_proposed; }

  protected:
    CConvFilter* m_pConv;
    CMediaType m_proposed;
    bool m_bEndOfStream = false;  // guarded by the filter lock
};

class CAudioInPin : public CConvInPin {
  public:
    CAudioInPin(CConvFilter* pFilter, HRESULT* phr);
    HRESULT Receive(IMediaSample* pSample) override;
};

class CVideoInPin : public CConvInPin {
  public:
    CVideoInPin(CConvFilter* pFilter, HRESULT* phr);
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT Receive(IMediaSample* pSample) override;
};

class CVideoPrePin : public CBaseOutputPin {
  public:
    CVideoPrePin(CConvFilter* pFilter, HRESULT* phr);
    ~CVideoPrePin() override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT DeliverEndOfStream() override;
    HRESULT Notify(IBaseFilter* pSender, Quality q) override;

    // The video connection's type, offered to the renderer.
    void SetOfferedType(const CMediaType& mt);
    // Hands a filled sample (and the caller's reference) to the queue.
    HRESULT Queue(IMediaSample* pSample);
    LONG RendererStride() const { return m_rendererStride; }

  private:
    CConvFilter* m_pConv;
    CCritSec m_queueLock;  // the video thread queues while the graph may stop the pin
    COutputQueue* m_pOutputQueue = nullptr;
    LONG m_rendererStride = 0;
    BITMAPINFOHEADER m_header{};
    CMediaType m_offered;
};

class CConvFilter : public CBaseFilter {
  public:
    // Makes the filter and its three pins; null and E_OUTOFMEMORY on failure.
    static CConvFilter* Create(HRESULT* phr);
    ~CConvFilter() override;

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    int GetPinCount() override { return m_nPins; }
    CBasePin* GetPin(int n) override;

    // ---- set by the graph builder before the graph runs
    void SetWriter(CMediaWriter* writer);
    // 100-ns units per output picture, e.g. FrameDurationFor(settings.FrameRate).
    void SetFrameDuration(double duration) { m_frameDuration = duration; }
    // The clip's window in reference time: TrimStart and TrimStart + TrimLength.
    void SetWindow(REFERENCE_TIME start, REFERENCE_TIME stop);
    // (10^6 / frameRate) x 10^4: for 29970, 333667.0003...
    static double FrameDurationFor(int frameRate);

    // The progress dialog switches the preview copies.
    void SetPreview(bool on) { m_previewOn = on ? 1 : 0; }
    bool PreviewOn() const { return m_previewOn != 0; }

    // Read by the progress display without the lock.
    REFERENCE_TIME AudioPosition() const { return m_audioPosition; }
    REFERENCE_TIME VideoPosition() const { return m_videoPosition; }

    CAudioInPin* AudioPin() const { return m_pAudioPin; }
    CVideoInPin* VideoPin() const { return m_pVideoPin; }
    CVideoPrePin* PreviewPin() const { return m_pPreviewPin; }
    const BITMAPINFOHEADER& VideoHeader() const { return m_videoHeader; }

    // The preview copy counter is shared by every sink of the process.
    static void ResetPreviewCounter();

  private:
    friend class CConvInPin;
    friend class CAudioInPin;
    friend class CVideoInPin;
    friend class CVideoPrePin;

    CConvFilter();
    // While the graph is paused nothing may reach the file: a cued graph is
    // stopped and cued again (the preview is attached, streams are chosen),
    // and what it wrote would be written twice, and a paused conversion must
    // not go on converting. Returns false when the sample is to be dropped.
    bool WaitWhilePaused(const CConvInPin* pin);
    void WakeWaiters();
    HRESULT ReceiveVideo(IMediaSample* pSample);
    HRESULT ReceiveAudio(IMediaSample* pSample);
    void CheckComplete();
    void PreviewCopy(const BYTE* data, long length);

    std::mutex m_gateMutex;
    std::condition_variable m_gateCv;
    CPosPassThru* m_pPosition = nullptr;
    int m_nPins = 0;
    std::atomic<LONG> m_previewOn{1};
    CMediaWriter* m_pWriter = nullptr;
    CCritSec m_csFilter;
    CAudioInPin* m_pAudioPin = nullptr;
    CVideoInPin* m_pVideoPin = nullptr;
    CVideoPrePin* m_pPreviewPin = nullptr;
    std::atomic<REFERENCE_TIME> m_audioPosition{0};
    std::atomic<REFERENCE_TIME> m_videoPosition{0};
    double m_frameDuration = 0;
    BITMAPINFOHEADER m_videoHeader{};
    REFERENCE_TIME m_windowStart = 0;
    REFERENCE_TIME m_windowStop = 0x7FFFFFFFFFFFFFFF;
    // Where the last picture ended (unshifted), for a picture without times.
    REFERENCE_TIME m_lastVideoStop = 0;
    bool m_completeSent = false;
};
