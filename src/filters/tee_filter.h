#pragma once
// CMyTeeFilter: one decoded YV12 stream to two branches. Every sample is
// handed, with an added reference and without copying its data, to both
// outputs, each of which delivers from a queue thread of its own.
#include "filters/filter_interfaces.h"
#include "platform/framework/outputqueue.h"

class CMyTeeFilter;

class CMyTeeInputPin : public CBaseInputPin {
  public:
    CMyTeeInputPin(CMyTeeFilter* pFilter, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT SetMediaType(const CMediaType* pmt) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

  private:
    CMyTeeFilter* m_pTee;
};

class CMyTeeOutputPin : public CBaseOutputPin {
  public:
    CMyTeeOutputPin(CMyTeeFilter* pFilter, HRESULT* phr, const char* pName);
    ~CMyTeeOutputPin() override;
    // Seeking reaches the source along the graph's other paths, not through here.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT Deliver(IMediaSample* pSample) override;
    HRESULT DeliverEndOfStream() override;
    HRESULT DeliverBeginFlush() override;
    HRESULT DeliverEndFlush() override;
    HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;
    HRESULT Notify(IBaseFilter* pSender, Quality q) override;

  private:
    CMyTeeFilter* m_pTee;
    // The upstream thread may still deliver while the graph stops this pin, so
    // the queue pointer has a lock of its own (queueing never blocks).
    CCritSec m_queueLock;
    COutputQueue* m_pOutputQueue = nullptr;
};

class CMyTeeFilter : public CCritSec, public CBaseFilter {
  public:
    explicit CMyTeeFilter(IUnknown* pUnk = nullptr, HRESULT* phr = nullptr);
    ~CMyTeeFilter() override;
    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr);

    int GetPinCount() override { return 3; }
    CBasePin* GetPin(int n) override;

    const CMediaType& InputType() const { return m_mt; }

  private:
    friend class CMyTeeInputPin;
    friend class CMyTeeOutputPin;
    CMyTeeInputPin* m_pInput = nullptr;
    CMyTeeOutputPin* m_pOutput0 = nullptr;
    CMyTeeOutputPin* m_pOutput1 = nullptr;
    CMediaType m_mt;  // the type the input was connected with
};
