#pragma once
// One input, one output transform filter. Derived classes supply the type
// checks, the output types, the buffer sizes and Transform; the base does the
// connection rules, allocator negotiation, streaming, flushing and seeking
// pass-through on the output pin.
#include "filter.h"
#include "seeking.h"

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
public:
    CTransformInputPin(const char* pObjectName, CTransformFilter* pTransformFilter, HRESULT* phr,
                       const char* pName);
    // CheckInputType, and CheckTransform against the output type when the
    // output is already connected.
    HRESULT CheckMediaType(const CMediaType* mtIn) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    // Takes the streaming lock, checks, and hands the sample to the filter.
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;
    HRESULT QueryId(std::string* Id) override;  // "In"

protected:
    CTransformFilter* m_pTransformFilter;
};

class CTransformOutputPin : public CBaseOutputPin {
public:
    CTransformOutputPin(const char* pObjectName, CTransformFilter* pTransformFilter, HRESULT* phr,
                        const char* pName);
    ~CTransformOutputPin() override;

    // IMediaSeeking and IMediaPosition go upstream through the input pin.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckConnect(IPin* pPin) override;     // the input must be connected
    HRESULT CheckMediaType(const CMediaType* mtOut) override;  // CheckTransform
    HRESULT SetMediaType(const CMediaType* pmt) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT Notify(IBaseFilter* pSender, Quality q) override;
    HRESULT QueryId(std::string* Id) override;  // "Out"

protected:
    CTransformFilter* m_pTransformFilter;
    CPosPassThru* m_pPosition = nullptr;  // made on first query
};

class CTransformFilter : public CBaseFilter {
public:
    CTransformFilter(const char* pName, IUnknown* pUnk, REFCLSID clsid);
    ~CTransformFilter() override;

    // Pins are made on first request: 0 input "XForm In", 1 output "XForm Out".
    int GetPinCount() override;
    CBasePin* GetPin(int n) override;
    HRESULT FindPin(const char* Id, IPin** ppPin) override;  // "In", "Out"

    // Stop waits for the streaming thread to leave Receive, then StopStreaming.
    HRESULT Stop() override;
    // From stopped: StartStreaming; an unconnected input sends end of stream
    // downstream at once.
    HRESULT Pause() override;

    // ---- what a transform supplies
    // Fills pOut from pIn. S_OK delivers pOut; S_FALSE drops it (a quality
    // decision); an error goes back upstream. The base returns E_UNEXPECTED.
    virtual HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut);
    virtual HRESULT CheckInputType(const CMediaType* mtIn) = 0;
    virtual HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) = 0;
    virtual HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop) = 0;
    virtual HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) = 0;

    // ---- optional overrides
    virtual HRESULT StartStreaming() { return S_OK; }
    virtual HRESULT StopStreaming() { return S_OK; }
    virtual HRESULT AlterQuality(Quality) { return S_FALSE; }
    virtual HRESULT SetMediaType(PIN_DIRECTION, const CMediaType*) { return S_OK; }
    virtual HRESULT CheckConnect(PIN_DIRECTION, IPin*) { return S_OK; }
    virtual HRESULT BreakConnect(PIN_DIRECTION) { return S_OK; }
    virtual HRESULT CompleteConnect(PIN_DIRECTION, IPin*) { return S_OK; }
    // Streaming: InitializeOutputSample, Transform, Deliver.
    virtual HRESULT Receive(IMediaSample* pSample);
    // Passed straight downstream.
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);
    // An output sample carrying the input's times, media times, sync point,
    // preroll and discontinuity flags (the caller releases it).
    virtual HRESULT InitializeOutputSample(IMediaSample* pSample, IMediaSample** ppOutSample);

    CTransformInputPin* InputPin() const { return m_pInput; }
    CTransformOutputPin* OutputPin() const { return m_pOutput; }

protected:
    friend class CTransformInputPin;
    friend class CTransformOutputPin;

    BOOL m_bEOSDelivered = FALSE;
    BOOL m_bSampleSkipped = FALSE;
    BOOL m_bQualityChanged = FALSE;
    // Guards state and connections (the filter lock).
    CCritSec m_csFilter;
    // Held while a sample is received, so Stop can wait for streaming to end.
    CCritSec m_csReceive;
    CTransformInputPin* m_pInput = nullptr;
    CTransformOutputPin* m_pOutput = nullptr;
};
