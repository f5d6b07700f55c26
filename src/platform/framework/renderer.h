#pragma once
// Base class of renderers and sinks with one input pin. It schedules each
// sample by its start time against the graph clock relative to Run's start
// time, cues on Pause (GetState answers VFW_S_STATE_INTERMEDIATE until a first
// sample or end of stream arrives; the first sample is held, and shown through
// OnReceiveFirstSample), sends EC_COMPLETE to the graph once end of stream
// arrives while running and the last sample has been rendered, and releases a
// waiting sample on flush and stop.
#include "filter.h"
#include "seeking.h"

class CBaseRenderer;

class CRendererInputPin : public CBaseInputPin {
public:
    CRendererInputPin(CBaseRenderer* pRenderer, HRESULT* phr, const char* Name);
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT SetMediaType(const CMediaType* pmt) override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT QueryId(std::string* Id) override;  // "In"
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;
    HRESULT Receive(IMediaSample* pMediaSample) override;
    const CMediaType* MediaType() const { return &m_mt; }

protected:
    CBaseRenderer* m_pRenderer;
};

class CBaseRenderer : public CBaseFilter {
public:
    CBaseRenderer(REFCLSID RenderClass, const char* pName, IUnknown* pUnk, HRESULT* phr);
    ~CBaseRenderer() override;

    // IMediaSeeking / IMediaPosition through a CRendererPosPassThru on the input.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME StartTime) override;
    // Paused without a sample or end of stream: VFW_S_STATE_INTERMEDIATE after
    // waiting up to dwMSecs for one.
    HRESULT GetState(DWORD dwMSecs, FILTER_STATE* State) override;
    HRESULT FindPin(const char* Id, IPin** ppPin) override;  // "In"
    int GetPinCount() override;
    CBasePin* GetPin(int n) override;  // the input pin "In", made on first request

    // ---- what a renderer supplies
    virtual HRESULT CheckMediaType(const CMediaType*) = 0;
    // Called on the streaming thread when the sample is due, with no framework
    // lock held; must return in bounded time (Stop and flush wait for it).
    virtual HRESULT DoRenderSample(IMediaSample* pMediaSample) = 0;

    // ---- optional overrides
    virtual HRESULT SetMediaType(const CMediaType*) { return S_OK; }
    virtual HRESULT CompleteConnect(IPin*) { return S_OK; }
    virtual HRESULT BreakConnect() { return S_OK; }
    virtual HRESULT OnStartStreaming() { return S_OK; }
    virtual HRESULT OnStopStreaming() { return S_OK; }
    // The first sample after Pause (or a flush while paused): a poster frame.
    virtual void OnReceiveFirstSample(IMediaSample*) {}
    virtual void OnRenderStart(IMediaSample*) {}
    virtual void OnRenderEnd(IMediaSample*) {}
    // Whether the sample should be shown now regardless of the clock; S_FALSE
    // schedules it by time. The base: S_FALSE.
    virtual HRESULT ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*) { return S_FALSE; }
    // Start/stop of the sample in stream time: S_OK when it should wait for its
    // time, S_FALSE to render at once (no time, or no clock), an error to drop it.
    virtual HRESULT GetSampleTimes(IMediaSample* pMediaSample, REFERENCE_TIME* pStartTime,
                                   REFERENCE_TIME* pEndTime);
    // The streaming path; derived classes rarely override these.
    virtual HRESULT Receive(IMediaSample* pMediaSample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }
    // Sends EC_COMPLETE when end of stream has arrived, nothing is pending and
    // the filter runs.
    virtual HRESULT SendEndOfStream();

    BOOL IsEndOfStream() {
        std::lock_guard<std::mutex> lk(m_RendererLock);
        return m_bEOS;
    }
    BOOL IsStreaming() {
        std::lock_guard<std::mutex> lk(m_RendererLock);
        return m_bStreaming;
    }
    // Samples rendered since the last Pause from stopped.
    long RenderedCount() const { return m_cRendered.load(); }
    CRendererInputPin* InputPin() { return GetPinCount() ? m_pInputPin : nullptr; }

protected:
    friend class CRendererInputPin;
    // Marks the pause as complete (a sample or end of stream is here).
    void Ready() { m_evComplete.Set(); }
    void NotReady() { m_evComplete.Reset(); }
    BOOL CheckReady() { return m_evComplete.Check(); }

    CCritSec m_InterfaceLock;  // the filter lock: state changes, connections
    // Guards the fields below; m_cv signals state changes to a waiting Receive.
    std::mutex m_RendererLock;
    std::condition_variable m_cv;
    CRendererInputPin* m_pInputPin = nullptr;
    CRendererPosPassThru* m_pPosition = nullptr;  // made on first query
    CAMEvent m_evComplete{TRUE};   // set: the pause is complete
    IMediaSample* m_pMediaSample = nullptr;  // the sample being received (referenced)
    BOOL m_bEOS = FALSE;           // end of stream arrived
    BOOL m_bEOSDelivered = FALSE;  // EC_COMPLETE sent
    BOOL m_bStreaming = FALSE;
    BOOL m_bAbort = FALSE;         // flush or stop: let go of the sample
    BOOL m_bInReceive = FALSE;
    BOOL m_bFirstSampleShown = FALSE;
    FILTER_STATE m_streamState = State_Stopped;  // m_State as seen under m_RendererLock
    REFERENCE_TIME m_rtRunStart = 0;             // m_tStart as seen under m_RendererLock
    std::atomic<long> m_cRendered{0};
};
