#include "demux/splitter_output_pin.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "demux/base_splitter.h"

namespace {
constexpr int kMaxQueueBytes = 209715200;  // 200 MiB on one queue blocks the worker
}

void Packet::Append(const Packet& p) {
    size_t oldSize = data.size(), newSize = oldSize + p.data.size();
    if (newSize > data.capacity()) data.reserve(data.capacity() + std::max<size_t>(1024, newSize));
    data.insert(data.end(), p.data.begin(), p.data.end());
    (void)oldSize;
}

// ---------------------------------------------------------------- CPacketQueue

void CPacketQueue::Add(std::unique_ptr<Packet> p) {
    CAutoLock lock(&m_cs);
    if (p) {
        m_size += int(p->GetDataSize());
        // Untimed continuation data joins the packet before it: fewer, larger samples.
        if (p->bAppendable && !p->bDiscontinuity && !p->pmt && p->rtStart == Packet::INVALID_TIME &&
            !m_list.empty() && m_list.back() && m_list.back()->rtStart != Packet::INVALID_TIME) {
            m_list.back()->Append(*p);
            return;
        }
    }
    m_list.push_back(std::move(p));
}

std::unique_ptr<Packet> CPacketQueue::Remove() {
    CAutoLock lock(&m_cs);
    if (m_list.empty()) return nullptr;
    std::unique_ptr<Packet> p = std::move(m_list.front());
    m_list.pop_front();
    if (p) m_size -= int(p->GetDataSize());
    return p;
}

void CPacketQueue::RemoveAll() {
    CAutoLock lock(&m_cs);
    m_size = 0;
    m_list.clear();
}

int CPacketQueue::GetCount() {
    CAutoLock lock(&m_cs);
    return int(m_list.size());
}

int CPacketQueue::GetSize() {
    CAutoLock lock(&m_cs);
    return m_size;
}

// ---------------------------------------------------------------- CBaseSplitterOutputPin

CBaseSplitterOutputPin::CBaseSplitterOutputPin(std::vector<CMediaType> mts, const char* pName,
                                               CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                                               int nBuffers)
    : CBaseOutputPin("CBaseSplitterOutputPin", pFilter, pLock, phr, pName),
      m_mts(std::move(mts)),
      m_nBuffers(std::max(nBuffers, 1)) {
    if (!m_mts.empty()) m_discontinuousType = IsDiscontinuousType(m_mts.front());
}

CBaseSplitterOutputPin::~CBaseSplitterOutputPin() {
    if (ThreadExists()) {
        CallWorker(0);
        Close();
    }
}

CBaseSplitterFilter* CBaseSplitterOutputPin::SplitterFilter() const {
    return static_cast<CBaseSplitterFilter*>(m_pFilter);
}

HRESULT CBaseSplitterOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IMediaSeeking) return GetInterfaceAs<IMediaSeeking>(this, ppv);
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

void CBaseSplitterOutputPin::SetOfferedType(const CMediaType& mt) {
    CAutoLock lock(&m_csMts);  // also called from stream selection on the application thread
    m_mts.clear();
    m_mts.push_back(mt);
    m_discontinuousType = IsDiscontinuousType(mt);
}

bool CBaseSplitterOutputPin::IsDiscontinuousType(const CMediaType& mt) const {
    return mt.majortype == MEDIATYPE_Text || mt.majortype == MEDIATYPE_ScriptCommand ||
           mt.majortype == MEDIATYPE_Subtitle || mt.subtype == MEDIASUBTYPE_DVD_SUBPICTURE ||
           mt.subtype == MEDIASUBTYPE_SVCD_SUBPICTURE || mt.subtype == MEDIASUBTYPE_CVD_SUBPICTURE;
}

HRESULT CBaseSplitterOutputPin::GetMediaType(int iPosition, CMediaType* pmt) {
    CAutoLock lock(&m_csMts);
    if (iPosition < 0) return E_INVALIDARG;
    if (size_t(iPosition) >= m_mts.size()) return VFW_S_NO_MORE_ITEMS;
    *pmt = m_mts[size_t(iPosition)];
    return S_OK;
}

HRESULT CBaseSplitterOutputPin::CheckMediaType(const CMediaType* pmt) {
    CAutoLock lock(&m_csMts);
    for (const CMediaType& mt : m_mts)
        if (mt == *pmt) return S_OK;
    return E_INVALIDARG;
}

HRESULT CBaseSplitterOutputPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProperties) {
    pProperties->cBuffers = m_nBuffers;
    pProperties->cbBuffer = long(std::max<ULONG>(m_mt.lSampleSize, 1));
    if (m_mt.subtype == MEDIASUBTYPE_Vorbis2 && m_mt.formattype == FORMAT_VorbisFormat2)
        pProperties->cBuffers = std::max<long>(pProperties->cBuffers, 2);
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = pAlloc->SetProperties(pProperties, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cbBuffer < pProperties->cbBuffer) return E_FAIL;
    return S_OK;
}

HRESULT CBaseSplitterOutputPin::Active() {
    CAutoLock lock(m_pLock);
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    if (m_Connected) Create();
    return hr;
}

HRESULT CBaseSplitterOutputPin::Inactive() {
    CAutoLock lock(m_pLock);
    // Decommitting first releases a delivery thread that waits for a sample.
    HRESULT hr = CBaseOutputPin::Inactive();
    if (ThreadExists()) {
        CallWorker(0);
        Close();
    }
    return hr;
}

HRESULT CBaseSplitterOutputPin::DeliverBeginFlush() {
    {
        // Under the queue lock so that a packet the worker is about to add
        // either lands before the flush (and is dropped) or is refused.
        CAutoLock lock(&m_queue.Lock());
        m_eEndFlush.Reset();
        m_fFlushed = false;
        m_fFlushing = true;
        m_hrDeliver = S_FALSE;
        m_queue.RemoveAll();
    }
    HRESULT hr = IsConnected() ? GetConnected()->BeginFlush() : S_OK;
    if (hr != S_OK) m_eEndFlush.Set();
    return hr;
}

HRESULT CBaseSplitterOutputPin::DeliverEndFlush() {
    if (!ThreadExists()) return S_FALSE;
    HRESULT hr = IsConnected() ? GetConnected()->EndFlush() : S_OK;
    {
        CAutoLock lock(&m_queue.Lock());
        m_hrDeliver = S_OK;
        m_fFlushing = false;
        m_fFlushed = true;
    }
    m_eEndFlush.Set();
    return hr;
}

HRESULT CBaseSplitterOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    {
        CAutoLock lock(&m_csStats);
        m_brs.rtLastDeliverTime = Packet::INVALID_TIME;
    }
    if (m_fFlushing || !ThreadExists()) return S_FALSE;
    m_rtStart = tStart;
    return CBaseOutputPin::DeliverNewSegment(tStart, tStop, dRate);
}

HRESULT CBaseSplitterOutputPin::QueuePacket(std::unique_ptr<Packet> p) {
    if (!ThreadExists()) return S_FALSE;
    CBaseSplitterFilter* filter = SplitterFilter();
    while (m_hrDeliver == S_OK && (!filter->IsAnyPinDrying() || m_queue.GetSize() > kMaxQueueBytes))
        filter->WaitForQueueSpace(100);
    CAutoLock lock(&m_queue.Lock());
    HRESULT hr = m_hrDeliver;
    if (hr != S_OK) return hr;
    m_queue.Add(std::move(p));
    return hr;
}

HRESULT CBaseSplitterOutputPin::QueueEndOfStream() { return QueuePacket(nullptr); }

CBaseSplitterOutputPin::BitRateStats CBaseSplitterOutputPin::GetBitRateStats() {
    CAutoLock lock(&m_csStats);
    return m_brs;
}

DWORD CBaseSplitterOutputPin::ThreadProc() {
    m_hrDeliver = S_OK;
    m_fFlushing = false;
    m_fFlushed = false;
    m_eEndFlush.Set();

    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        DWORD cmd;
        if (CheckRequest(&cmd)) {
            Reply(S_OK);
            return 0;
        }
        int cnt = 0;
        bool took = false;
        do {
            std::unique_ptr<Packet> p;
            {
                CAutoLock lock(&m_queue.Lock());
                if ((cnt = m_queue.GetCount()) > 0) p = m_queue.Remove();
            }
            if (cnt > 0) took = true;
            if (m_hrDeliver == S_OK && cnt > 0) {
                m_fFlushed = false;
                HRESULT hr = p ? DeliverPacket(std::move(p)) : DeliverEndOfStream();
                m_eEndFlush.Wait();  // a flush that began meanwhile completes first
                if (hr != S_OK && !m_fFlushed) {
                    m_hrDeliver = hr;
                    break;
                }
            }
        } while (--cnt > 0);
        if (took) SplitterFilter()->NotifyQueueDrained();
    }
}

HRESULT CBaseSplitterOutputPin::DeliverPacket(std::unique_ptr<Packet> p) {
    long nBytes = long(p->GetDataSize());
    if (nBytes == 0) return S_OK;

    {
        CAutoLock lock(&m_csStats);
        m_brs.nBytesSinceLastDeliverTime += std::uint64_t(nBytes);
        if (p->rtStart != Packet::INVALID_TIME) {
            if (m_brs.rtLastDeliverTime == Packet::INVALID_TIME) {
                m_brs.rtLastDeliverTime = p->rtStart;
                m_brs.nBytesSinceLastDeliverTime = 0;
            }
            if (m_brs.rtLastDeliverTime + 10000000 < p->rtStart) {
                REFERENCE_TIME rtDiff = p->rtStart - m_brs.rtLastDeliverTime;
                double secs = double(rtDiff) / 10000000;
                m_brs.nCurrentBitRate = 8.0 * double(m_brs.nBytesSinceLastDeliverTime) / secs;
                m_brs.rtTotalTimeDelivered += rtDiff;
                m_brs.nTotalBytesDelivered += m_brs.nBytesSinceLastDeliverTime;
                m_brs.nAverageBitRate = 8.0 * double(m_brs.nTotalBytesDelivered) /
                                        (double(m_brs.rtTotalTimeDelivered) / 10000000);
                m_brs.rtLastDeliverTime = p->rtStart;
                m_brs.nBytesSinceLastDeliverTime = 0;
            }
        }
    }

    if (p->rtStart != Packet::INVALID_TIME) {
        double rate = SplitterFilter()->GetPlaybackRate();
        if (rate != 1.0 && rate > 0) {
            p->rtStart = REFERENCE_TIME(double(p->rtStart) / rate);
            p->rtStop = REFERENCE_TIME(double(p->rtStop) / rate);
        }
    }

    ComPtr<IMediaSample> pSample;
    HRESULT hr = GetDeliveryBuffer(pSample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0);
    if (hr != S_OK) return hr;

    if (nBytes > pSample->GetSize()) {
        pSample = nullptr;
        ALLOCATOR_PROPERTIES props, actual;
        if ((hr = m_pAllocator->GetProperties(&props)) != S_OK) return hr;
        props.cbBuffer = nBytes * 3 / 2;
        if (props.cBuffers > 1) {
            if ((hr = CBaseOutputPin::DeliverBeginFlush()) != S_OK) return hr;
            if ((hr = CBaseOutputPin::DeliverEndFlush()) != S_OK) return hr;
        }
        if ((hr = m_pAllocator->Decommit()) != S_OK) return hr;
        if ((hr = m_pAllocator->SetProperties(&props, &actual)) != S_OK) return hr;
        if ((hr = m_pAllocator->Commit()) != S_OK) return hr;
        if ((hr = GetDeliveryBuffer(pSample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0)) != S_OK)
            return hr;
        if (nBytes > pSample->GetSize()) return E_OUTOFMEMORY;
    }

    if (p->pmt) {
        pSample->SetMediaType(p->pmt.get());
        p->bDiscontinuity = TRUE;
        CAutoLock lock(&m_csMts);
        SetOfferedType(*p->pmt);
    }

    BYTE* pData = nullptr;
    if ((hr = pSample->GetPointer(&pData)) != S_OK || !pData) return FAILED(hr) ? hr : E_POINTER;
    std::memcpy(pData, p->data.data(), size_t(nBytes));
    if ((hr = pSample->SetActualDataLength(nBytes)) != S_OK) return hr;
    bool timed = p->rtStart != Packet::INVALID_TIME;
    if ((hr = pSample->SetTime(timed ? &p->rtStart : nullptr, timed ? &p->rtStop : nullptr)) != S_OK)
        return hr;
    if ((hr = pSample->SetMediaTime(nullptr, nullptr)) != S_OK) return hr;
    if ((hr = pSample->SetDiscontinuity(p->bDiscontinuity)) != S_OK) return hr;
    if ((hr = pSample->SetSyncPoint(p->bSyncPoint)) != S_OK) return hr;
    if ((hr = pSample->SetPreroll(timed && p->rtStart < 0)) != S_OK) return hr;
    return Deliver(pSample.Get());
}

// IMediaSeeking: everything goes to the filter, this pin being the seeker.
HRESULT CBaseSplitterOutputPin::GetCapabilities(DWORD* p) { return SplitterFilter()->GetCapabilities(p); }
HRESULT CBaseSplitterOutputPin::CheckCapabilities(DWORD* p) { return SplitterFilter()->CheckCapabilities(p); }
HRESULT CBaseSplitterOutputPin::IsFormatSupported(const GUID* p) { return SplitterFilter()->IsFormatSupported(p); }
HRESULT CBaseSplitterOutputPin::QueryPreferredFormat(GUID* p) { return SplitterFilter()->QueryPreferredFormat(p); }
HRESULT CBaseSplitterOutputPin::GetTimeFormat(GUID* p) { return SplitterFilter()->GetTimeFormat(p); }
HRESULT CBaseSplitterOutputPin::IsUsingTimeFormat(const GUID* p) { return SplitterFilter()->IsUsingTimeFormat(p); }
HRESULT CBaseSplitterOutputPin::SetTimeFormat(const GUID* p) { return SplitterFilter()->SetTimeFormat(p); }
HRESULT CBaseSplitterOutputPin::GetDuration(LONGLONG* p) { return SplitterFilter()->GetDuration(p); }
HRESULT CBaseSplitterOutputPin::GetStopPosition(LONGLONG* p) { return SplitterFilter()->GetStopPosition(p); }
HRESULT CBaseSplitterOutputPin::GetCurrentPosition(LONGLONG* p) { return SplitterFilter()->GetCurrentPosition(p); }
HRESULT CBaseSplitterOutputPin::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat,
                                                  LONGLONG Source, const GUID* pSourceFormat) {
    return SplitterFilter()->ConvertTimeFormat(pTarget, pTargetFormat, Source, pSourceFormat);
}
HRESULT CBaseSplitterOutputPin::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                             DWORD dwStopFlags) {
    return SplitterFilter()->SetPositionsInternal(this, pCurrent, dwCurrentFlags, pStop, dwStopFlags);
}
HRESULT CBaseSplitterOutputPin::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) {
    return SplitterFilter()->GetPositions(pCurrent, pStop);
}
HRESULT CBaseSplitterOutputPin::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) {
    return SplitterFilter()->GetAvailable(pEarliest, pLatest);
}
HRESULT CBaseSplitterOutputPin::SetRate(double dRate) { return SplitterFilter()->SetRate(dRate); }
HRESULT CBaseSplitterOutputPin::GetRate(double* p) { return SplitterFilter()->GetRate(p); }
HRESULT CBaseSplitterOutputPin::GetPreroll(LONGLONG* p) { return SplitterFilter()->GetPreroll(p); }

// ---------------------------------------------------------------- CMpegSplitterOutputPin

CMpegSplitterOutputPin::CMpegSplitterOutputPin(std::vector<CMediaType> mts, const char* pName,
                                               CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr)
    : CBaseSplitterOutputPin(std::move(mts), pName, pFilter, pLock, phr) {}

HRESULT CMpegSplitterOutputPin::DeliverEndFlush() {
    {
        CAutoLock lock(&m_csMpeg);
        // no reassembly state is kept for the stream types a DVD carries
    }
    return CBaseSplitterOutputPin::DeliverEndFlush();
}

HRESULT CMpegSplitterOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    {
        CAutoLock lock(&m_csMpeg);
        m_rtPrev = Packet::INVALID_TIME;
        m_rtOffset = 0;
    }
    return CBaseSplitterOutputPin::DeliverNewSegment(tStart, tStop, dRate);
}

HRESULT CMpegSplitterOutputPin::DeliverPacket(std::unique_ptr<Packet> p) {
    {
        CAutoLock lock(&m_csMpeg);
        if (p->rtStart != Packet::INVALID_TIME) {
            REFERENCE_TIME rt = p->rtStart + m_rtOffset;
            // A jump larger than the limit is a break in the source's clock
            // (a cell or a spliced stream), not a gap in the content: the
            // packet continues from the previous time instead.
            if (m_rtPrev != Packet::INVALID_TIME) {
                REFERENCE_TIME d = rt - m_rtPrev;
                if (d < 0) d = -d;
                if (d > m_rtMaxShift) m_rtOffset = m_rtPrev - p->rtStart;
            }
            p->rtStart += m_rtOffset;
            p->rtStop += m_rtOffset;
            m_rtPrev = p->rtStart;
        }
        if (p->pmt && !(*p->pmt == m_mt)) m_mt = *p->pmt;
    }
    return CBaseSplitterOutputPin::DeliverPacket(std::move(p));
}
