#pragma once
// The generic half of the demultiplexer: one pull-mode input, any number of
// outputs, a worker thread that reads the input and queues packets on the
// outputs, seeking, flushing and the flow control that keeps every output
// queue filled without letting the total grow without bound.
#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "demux/splitter_output_pin.h"

class CBaseSplitterFilter;

class CBaseSplitterInputPin : public CBasePin {
public:
    CBaseSplitterInputPin(const char* pName, CBaseSplitterFilter* pFilter, CCritSec* pLock,
                          HRESULT* phr);

    HRESULT GetAsyncReader(IAsyncReader** ppAsyncReader);

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* pPin) override;

    // A pull pin receives no stream control.
    HRESULT BeginFlush() override { return E_UNEXPECTED; }
    HRESULT EndFlush() override { return E_UNEXPECTED; }

private:
    ComPtr<IAsyncReader> m_pAsyncReader;
};

class CBaseSplitterFilter : public CBaseFilter,
                            public CAMThread,
                            public IFileSourceFilter,
                            public IMediaSeeking,
                            public IKeyFrameInfo,
                            public IBufferInfo {
public:
    CBaseSplitterFilter(const char* pName, IUnknown* pUnk, HRESULT* phr, const CLSID& clsid);
    ~CBaseSplitterFilter() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Pins: outputs first, the input last.
    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;

    // Input connection (called by the input pin).
    HRESULT BreakInputConnect();
    HRESULT CompleteInputConnect(IAsyncReader* pReader);

    // IFileSourceFilter: never handed out while the input pin exists.
    HRESULT Load(const char*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT GetCurFile(std::string*, AM_MEDIA_TYPE*) override { return E_NOTIMPL; }

    // IMediaSeeking
    DECLARE_IMEDIASEEKING
    // The seek request with the asking object (a pin or the filter itself).
    HRESULT SetPositionsInternal(const void* seeker, LONGLONG* pCurrent, DWORD dwCurrentFlags,
                                 LONGLONG* pStop, DWORD dwStopFlags);

    // IKeyFrameInfo
    HRESULT GetKeyFrameCount(UINT&) override { return E_NOTIMPL; }
    HRESULT GetKeyFrames(const GUID*, REFERENCE_TIME*, UINT&) override { return E_NOTIMPL; }

    // IBufferInfo
    int GetCount() override;
    HRESULT GetStatus(int i, int& samples, int& size) override;
    DWORD GetPriority() override;

    // Flow control: whether the output queues want more data.
    bool IsAnyPinDrying();
    // Producer wait of the flow control: at most ms, woken early when a
    // delivery thread has taken packets.
    void WaitForQueueSpace(DWORD ms) { m_eQueueDrained.Wait(ms); }
    void NotifyQueueDrained() { m_eQueueDrained.Set(); }
    double GetPlaybackRate() const { return m_dRate; }

    // How far every stream has got: the smallest last start time among the
    // active pins that carry continuous media (worker thread).
    REFERENCE_TIME SlowestActivePosition();

    // Sends a packet to the pin registered under its key (worker thread).
    HRESULT DeliverPacket(std::unique_ptr<Packet> p);

    // Re-registers the pin of one stream under another (stream switching).
    HRESULT RenameOutputPin(DWORD TrackNumSrc, DWORD TrackNumDst, const CMediaType* pmt);
    CBaseSplitterOutputPin* GetOutputPin(DWORD TrackNum);
    const std::vector<CBaseSplitterOutputPin*>& Outputs() const { return m_outputs; }

    enum { CMD_EXIT = 0, CMD_SEEK = 1 };

protected:
    // Supplied by the derived filter.
    virtual HRESULT DeleteOutputs();
    virtual HRESULT CreateOutputs(IAsyncReader* pAsyncReader) = 0;
    virtual const char* GetPartFilename(IAsyncReader*) { return nullptr; }
    virtual bool DemuxInit() = 0;
    virtual void DemuxSeek(REFERENCE_TIME rt) = 0;
    virtual bool DemuxLoop() = 0;
    virtual HRESULT SetPositionsRequest(const void* seeker, LONGLONG* pCurrent,
                                        DWORD dwCurrentFlags, LONGLONG* pStop, DWORD dwStopFlags);

    HRESULT AddOutputPin(DWORD TrackNum, std::unique_ptr<CBaseSplitterOutputPin> pPin);
    void DeliverBeginFlush();
    void DeliverEndFlush();
    DWORD ThreadProc() override;

    CCritSec m_csFilter;  // the filter lock
    CCritSec m_csPinMap;
    CCritSec m_csmtnew;
    std::unique_ptr<CBaseSplitterInputPin> m_pInput;
    ComPtr<IAsyncReader> m_pSyncReader;
    std::vector<CBaseSplitterOutputPin*> m_outputs;  // owned through m_ownedOutputs
    std::vector<std::unique_ptr<CBaseSplitterOutputPin>> m_ownedOutputs;
    std::vector<std::unique_ptr<CBaseSplitterOutputPin>> m_retiredOutputs;
    std::map<DWORD, CBaseSplitterOutputPin*> m_pinMap;
    std::map<DWORD, CMediaType> m_mtnew;
    std::vector<CBaseSplitterOutputPin*> m_activePins;  // worker thread only
    std::set<DWORD> m_discontinuitySent;                // worker thread only

    REFERENCE_TIME m_rtDuration = 0;
    REFERENCE_TIME m_rtStart = 0, m_rtStop = 0;
    std::atomic<REFERENCE_TIME> m_rtCurrent{0};
    REFERENCE_TIME m_rtNewStart = 0, m_rtNewStop = 0;
    double m_dRate = 1.0;
    REFERENCE_TIME m_rtLastStart = LLONG_MIN, m_rtLastStop = LLONG_MIN;
    std::vector<const void*> m_lastSeekers;

    int m_priority = THREAD_PRIORITY_NORMAL;
    int m_nOpenProgress = 100;
    bool m_fAbort = false;
    CAMEvent m_eEndFlush{TRUE};
    std::atomic<bool> m_fFlushing{false};
    CAMEvent m_eQueueDrained{FALSE};
};
