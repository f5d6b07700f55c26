#pragma once
// Base classes for filters and pins: state changes, pin enumeration, the
// connection protocol (type negotiation on both sides), allocator negotiation
// for push-mode pins, flushing, new segments and end of stream.
//
// Lifetime: a pin's AddRef/Release count on its filter, and the filter deletes
// its pins. A filter does not reference its graph (the graph owns the filter).
#include <string>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/com/cunknown.h"
#include "sample.h"
#include "sync.h"

class CBasePin;
class CBaseFilter;

// Reference time as a small value class (milliseconds helpers).
class CRefTime {
public:
    REFERENCE_TIME m_time = 0;
    CRefTime() = default;
    CRefTime(LONG msecs) : m_time(REFERENCE_TIME(msecs) * MILLISECONDS) {}
    CRefTime(REFERENCE_TIME rt) : m_time(rt) {}
    operator REFERENCE_TIME() const { return m_time; }
    CRefTime& operator=(REFERENCE_TIME rt) {
        m_time = rt;
        return *this;
    }
    CRefTime& operator+=(const CRefTime& rt) {
        m_time += rt.m_time;
        return *this;
    }
    CRefTime& operator-=(const CRefTime& rt) {
        m_time -= rt.m_time;
        return *this;
    }
    LONG Millisecs() const { return LONG(m_time / MILLISECONDS); }
    LONGLONG GetUnits() const { return m_time; }
};

// ================================================================ CBaseFilter

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMFilterMiscFlags {
public:
    // pLock: the filter lock, owned by the derived class (it guards state and
    // connections). clsid: reported by GetClassID.
    CBaseFilter(const char* pName, IUnknown* pUnk, CCritSec* pLock, REFCLSID clsid,
                HRESULT* phr = nullptr);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPersist
    HRESULT GetClassID(CLSID* pClsID) override;
    // IMediaFilter: pins Active on pause from stopped, Run(tStart) on run,
    // Inactive on stop (connected pins only).
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT GetState(DWORD dwMSecs, FILTER_STATE* State) override;
    HRESULT SetSyncSource(IReferenceClock* pClock) override;
    HRESULT GetSyncSource(IReferenceClock** pClock) override;
    // IBaseFilter
    HRESULT EnumPins(IEnumPins** ppEnum) override;
    HRESULT FindPin(const char* Id, IPin** ppPin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* pInfo) override;
    HRESULT JoinFilterGraph(IFilterGraph* pGraph, const char* pName) override;
    HRESULT QueryVendorInfo(std::string* pVendorInfo) override;  // E_NOTIMPL
    // IAMFilterMiscFlags: 0 unless a derived class says otherwise (renderers do).
    ULONG GetMiscFlags() override { return 0; }

    // Pins, numbered from 0; null past the end.
    virtual int GetPinCount() = 0;
    virtual CBasePin* GetPin(int n) = 0;
    // Changes whenever the set of pins changes (enumerators resync on it).
    virtual LONG GetPinVersion() { return m_PinVersion; }
    void IncrementPinVersion();

    // Passes an event to the graph (nothing happens outside a graph). An
    // EC_COMPLETE without a sender gets this filter as its second parameter.
    HRESULT NotifyEvent(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2);
    IFilterGraph* GetFilterGraph() const { return m_pGraph; }
    // Asks the graph to reconnect a pin (Reconnect); VFW_E_NOT_IN_GRAPH outside one.
    HRESULT ReconnectPin(IPin* pPin, const AM_MEDIA_TYPE* pmt);

    BOOL IsActive() const;   // paused or running
    BOOL IsStopped() const;  // stopped
    FILTER_STATE State() const { return m_State.load(); }
    // Stream time: clock time minus the run start; VFW_E_NO_CLOCK without a clock.
    virtual HRESULT StreamTime(CRefTime& rtStream);
    const std::string& Name() const { return m_pName; }

protected:
    // Changed under *m_pLock; streaming threads read it without the lock.
    std::atomic<FILTER_STATE> m_State{State_Stopped};
    IReferenceClock* m_pClock = nullptr;   // referenced
    CRefTime m_tStart;                     // run start in clock time
    CLSID m_clsid;
    CCritSec* m_pLock;
    std::string m_pName;     // name in the graph
    IFilterGraph* m_pGraph = nullptr;   // not referenced
    IMediaEventSink* m_pSink = nullptr; // not referenced (it is the graph)
    LONG m_PinVersion = 1;

private:
    // Guards m_pSink against a graph leaving while a streaming thread notifies.
    std::mutex m_sinkLock;
};

// ================================================================ CBasePin

class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    CBasePin(const char* pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
             const char* pName, PIN_DIRECTION dir);
    ~CBasePin() override;

    // Identity of its own for QueryInterface; the counts go to the filter.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG NonDelegatingAddRef() override;
    ULONG NonDelegatingRelease() override;

    // IPin
    HRESULT Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    HRESULT ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pPin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    HRESULT QueryPinInfo(PIN_INFO* pInfo) override;
    HRESULT QueryDirection(PIN_DIRECTION* pPinDir) override;
    HRESULT QueryId(std::string* Id) override;
    HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    HRESULT QueryInternalConnections(IPin** apPin, ULONG* nPin) override;  // E_NOTIMPL
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override = 0;
    HRESULT EndFlush() override = 0;
    // Records the segment (CurrentStartTime/StopTime/Rate).
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;
    // IQualityControl: E_NOTIMPL unless overridden; SetSink records the sink.
    HRESULT Notify(IBaseFilter* pSelf, Quality q) override;
    HRESULT SetSink(IQualityControl* piqc) override;

    // Overridables of the connection protocol.
    // S_OK accepts; anything else (also S_FALSE) refuses.
    virtual HRESULT CheckMediaType(const CMediaType* pmt) = 0;
    virtual HRESULT SetMediaType(const CMediaType* pmt);
    virtual HRESULT CheckConnect(IPin* pPin);   // direction check, derived add interface checks
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin* pReceivePin);
    // Types this pin offers, from position 0: S_OK, VFW_S_NO_MORE_ITEMS past the
    // end, E_INVALIDARG below 0. The base offers none.
    virtual HRESULT GetMediaType(int iPosition, CMediaType* pMediaType);
    virtual LONG GetMediaTypeVersion() { return m_TypeVersion; }
    void IncrementTypeVersion();

    // State changes forwarded by the filter.
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }
    virtual HRESULT Run(REFERENCE_TIME) { return S_OK; }

    BOOL IsConnected() const { return m_Connected != nullptr; }
    IPin* GetConnected() const { return m_Connected; }  // no reference taken
    BOOL IsStopped() const { return m_pFilter->IsStopped(); }
    const CMediaType& CurrentMediaType() const { return m_mt; }
    REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
    REFERENCE_TIME CurrentStopTime() const { return m_tStop; }
    double CurrentRate() const { return m_dRate; }
    const std::string& Name() const { return m_pName; }
    CBaseFilter* Filter() const { return m_pFilter; }
    BOOL CanReconnectWhenActive() const { return m_bCanReconnectWhenActive; }
    void SetReconnectWhenActive(BOOL bCanReconnect) { m_bCanReconnectWhenActive = bCanReconnect; }

protected:
    // Connect helpers: try a given type; try the types of an enumerator.
    HRESULT AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt);
    HRESULT AttemptConnection(IPin* pReceivePin, const CMediaType* pmt);
    HRESULT TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum);
    HRESULT DisconnectInternal();

    std::string m_pName;
    IPin* m_Connected = nullptr;  // referenced
    PIN_DIRECTION m_dir;
    CCritSec* m_pLock;
    std::atomic<bool> m_bRunTimeError{false};
    BOOL m_bCanReconnectWhenActive = FALSE;
    BOOL m_bTryMyTypesFirst = FALSE;  // input pins try the output's types first
    CBaseFilter* m_pFilter;
    IQualityControl* m_pQSink = nullptr;
    LONG m_TypeVersion = 1;
    CMediaType m_mt;
    REFERENCE_TIME m_tStart = 0, m_tStop = 0x7FFFFFFFFFFFFFFF;
    double m_dRate = 1.0;
};

// ================================================================ enumerators

class CEnumPins : public CUnknown, public IEnumPins {
public:
    CEnumPins(CBaseFilter* pFilter, const CEnumPins* pEnumPins = nullptr);
    ~CEnumPins() override;
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cPins) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumPins** ppEnum) override;

private:
    BOOL AreWeOutOfSync() const;
    int m_Position = 0;
    int m_PinCount = 0;
    CBaseFilter* m_pFilter;  // referenced
    LONG m_Version = 0;
};

class CEnumMediaTypes : public CUnknown, public IEnumMediaTypes {
public:
    CEnumMediaTypes(CBasePin* pPin, const CEnumMediaTypes* pEnumMediaTypes = nullptr);
    ~CEnumMediaTypes() override;
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cMediaTypes) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumMediaTypes** ppEnum) override;

private:
    BOOL AreWeOutOfSync() const;
    int m_Position = 0;
    CBasePin* m_pPin;  // referenced
    LONG m_Version = 0;
};

// ================================================================ CBaseInputPin

// Push-mode input: IMemInputPin with the allocator the upstream pin chose,
// flushing state and the streaming checks.
class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(const char* pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                  const char* pName);
    ~CBaseInputPin() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return CBasePin::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return CBasePin::AddRef(); }
    ULONG Release() override { return CBasePin::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemInputPin
    // Offers (creating on first use) a CMemAllocator.
    HRESULT GetAllocator(IMemAllocator** ppAllocator) override;
    HRESULT NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;  // E_NOTIMPL
    // Checks that streaming is allowed (CheckStreaming) and that a type
    // change on the sample is acceptable; derived classes do the work.
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT ReceiveMultiple(IMediaSample** pSamples, long nSamples, long* nSamplesProcessed) override;
    HRESULT ReceiveCanBlock() override;  // S_OK unless every downstream pin says no

    HRESULT BeginFlush() override;  // sets the flushing flag
    HRESULT EndFlush() override;    // clears it
    HRESULT BreakConnect() override;
    HRESULT Inactive() override;    // decommits the allocator

    BOOL IsReadOnly() const { return m_bReadOnly; }
    BOOL IsFlushing() const { return m_bFlushing; }
    // S_OK when samples may be received; S_FALSE while flushing;
    // VFW_E_WRONG_STATE when stopped; VFW_E_RUNTIME_ERROR after a run-time error.
    virtual HRESULT CheckStreaming();
    // Passes a quality message on (to the sink or the upstream pin).
    HRESULT PassNotify(Quality& q);
    HRESULT Notify(IBaseFilter* pSender, Quality q) override;

protected:
    IMemAllocator* m_pAllocator = nullptr;  // referenced
    BOOL m_bReadOnly = FALSE;
    std::atomic<bool> m_bFlushing{false};
};

// ================================================================ CBaseOutputPin

// Push-mode output: negotiates the allocator with the input pin it connects
// to, commits it on Active and decommits it on Inactive, and delivers.
class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(const char* pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                   const char* pName);
    ~CBaseOutputPin() override;

    HRESULT CompleteConnect(IPin* pReceivePin) override;  // DecideAllocator
    HRESULT CheckConnect(IPin* pPin) override;            // requires IMemInputPin
    HRESULT BreakConnect() override;                      // drops allocator and input pin
    HRESULT Active() override;                            // Commit
    HRESULT Inactive() override;                          // Decommit

    // The input pin's allocator if it suits, else InitAllocator's; either way
    // DecideBufferSize sets it up and NotifyAllocator tells the input pin.
    virtual HRESULT DecideAllocator(IMemInputPin* pPin, IMemAllocator** pAlloc);
    virtual HRESULT InitAllocator(IMemAllocator** ppAlloc);  // a new CMemAllocator
    // Sizes the buffers (pProp holds the input pin's requirements, or zeros);
    // call pAlloc->SetProperties and check what it really gives.
    virtual HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) = 0;

    // A sample from the allocator (blocks while all are in use; fails once the
    // allocator is decommitted).
    virtual HRESULT GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                      REFERENCE_TIME* pEndTime, DWORD dwFlags);
    // Hands a sample to the connected input pin (VFW_E_NOT_CONNECTED otherwise).
    virtual HRESULT Deliver(IMediaSample* pSample);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

    // An output pin receives no stream control from downstream.
    HRESULT EndOfStream() override { return E_UNEXPECTED; }
    HRESULT BeginFlush() override { return E_UNEXPECTED; }
    HRESULT EndFlush() override { return E_UNEXPECTED; }

    IMemAllocator* Allocator() const { return m_pAllocator; }
    IMemInputPin* InputPin() const { return m_pInputPin; }

protected:
    IMemAllocator* m_pAllocator = nullptr;  // referenced
    IMemInputPin* m_pInputPin = nullptr;    // referenced
};
