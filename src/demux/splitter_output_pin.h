#pragma once
// Output pins of the splitter. The demultiplexing thread queues packets on a
// pin; the pin's own delivery thread turns them into samples and pushes them
// downstream, so one slow decoder never stalls the reading of the others.
#include <atomic>
#include <climits>
#include <deque>
#include <memory>
#include <vector>

#include "platform/framework/filter.h"

class CBaseSplitterFilter;

class Packet {
public:
    static constexpr REFERENCE_TIME INVALID_TIME = LLONG_MIN;

    DWORD TrackNumber = 0;  // stream key; DWORD(-1) for a synthetic packet
    BOOL bDiscontinuity = FALSE, bSyncPoint = FALSE, bAppendable = FALSE;
    REFERENCE_TIME rtStart = INVALID_TIME, rtStop = INVALID_TIME;
    std::unique_ptr<CMediaType> pmt;  // set when the stream's type changes
    std::vector<BYTE> data;

    virtual ~Packet() = default;
    virtual size_t GetDataSize() const { return data.size(); }
    void SetData(const void* p, size_t n) {
        data.assign(static_cast<const BYTE*>(p), static_cast<const BYTE*>(p) + n);
    }
    // Grows in steps of at least 1024 bytes so that merged packets do not
    // reallocate for every small append.
    void Append(const Packet& p);
};

// FIFO of packets for one pin; a null packet means end of stream.
class CPacketQueue {
public:
    void Add(std::unique_ptr<Packet> p);
    std::unique_ptr<Packet> Remove();
    void RemoveAll();
    int GetCount();
    int GetSize();
    CCritSec& Lock() { return m_cs; }

private:
    CCritSec m_cs;
    std::deque<std::unique_ptr<Packet>> m_list;
    int m_size = 0;
};

class CBaseSplitterOutputPin : public CBaseOutputPin, public CAMThread, public IMediaSeeking {
public:
    CBaseSplitterOutputPin(std::vector<CMediaType> mts, const char* pName, CBaseFilter* pFilter,
                           CCritSec* pLock, HRESULT* phr, int nBuffers = 0);
    ~CBaseSplitterOutputPin() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return CBasePin::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return CBasePin::AddRef(); }
    ULONG Release() override { return CBasePin::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProperties) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    HRESULT DeliverBeginFlush() override;
    HRESULT DeliverEndFlush() override;
    HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // Worker side.
    HRESULT QueuePacket(std::unique_ptr<Packet> p);
    HRESULT QueueEndOfStream();
    int QueueCount() { return m_queue.GetCount(); }
    int QueueSize() { return m_queue.GetSize(); }
    bool IsDiscontinuous() const { return m_discontinuousType.load(); }
    bool IsFlushing() const { return m_fFlushing.load(); }
    HRESULT DeliverResult() const { return m_hrDeliver.load(); }
    // Start time (before the segment start is taken off) of the last timed
    // packet the worker handed this pin in the current pass.
    REFERENCE_TIME m_rtLastQueued = Packet::INVALID_TIME;

    // Bit-rate statistics of what was delivered.
    struct BitRateStats {
        REFERENCE_TIME rtLastDeliverTime = Packet::INVALID_TIME;
        std::uint64_t nBytesSinceLastDeliverTime = 0;
        REFERENCE_TIME rtTotalTimeDelivered = 0;
        std::uint64_t nTotalBytesDelivered = 0;
        double nCurrentBitRate = 0, nAverageBitRate = 0;
    };
    BitRateStats GetBitRateStats();

    // IMediaSeeking: the filter's, with this pin as the seeker.
    DECLARE_IMEDIASEEKING

    // Quality messages are not acted upon.
    HRESULT Notify(IBaseFilter*, Quality) override { return E_NOTIMPL; }

    // The one type offered to connections (stream selection changes it while
    // the pin is unconnected; a delivered sample's new type changes it too).
    void SetOfferedType(const CMediaType& mt);

protected:
    virtual HRESULT DeliverPacket(std::unique_ptr<Packet> p);
    virtual bool IsDiscontinuousType(const CMediaType& mt) const;

    DWORD ThreadProc() override;
    CBaseSplitterFilter* SplitterFilter() const;

    CCritSec m_csMts;  // the offered types change on the delivery thread
    std::vector<CMediaType> m_mts;
    int m_nBuffers;
    CPacketQueue m_queue;
    std::atomic<HRESULT> m_hrDeliver{S_OK};
    std::atomic<bool> m_fFlushing{false}, m_fFlushed{false};
    std::atomic<bool> m_discontinuousType{false};
    CAMEvent m_eEndFlush{TRUE};
    REFERENCE_TIME m_rtStart = 0;
    CCritSec m_csStats;
    BitRateStats m_brs;
};

class CMpegSplitterOutputPin : public CBaseSplitterOutputPin {
public:
    CMpegSplitterOutputPin(std::vector<CMediaType> mts, const char* pName, CBaseFilter* pFilter,
                           CCritSec* pLock, HRESULT* phr);

    // The largest jump between consecutive timestamps taken as real; larger
    // ones are discontinuities of the source and are smoothed over.
    void SetMaxShift(REFERENCE_TIME rt) { m_rtMaxShift = rt; }

    HRESULT DeliverEndFlush() override;
    HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

protected:
    HRESULT DeliverPacket(std::unique_ptr<Packet> p) override;

    CCritSec m_csMpeg;
    REFERENCE_TIME m_rtPrev = Packet::INVALID_TIME;
    REFERENCE_TIME m_rtOffset = 0;
    REFERENCE_TIME m_rtMaxShift = 50000000;
};
