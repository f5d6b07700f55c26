#include "outputqueue.h"

COutputQueue::COutputQueue(IPin* pInputPin, HRESULT* phr, BOOL bAuto, BOOL bQueue, LONG lBatchSize,
                           BOOL bBatchExact, LONG, DWORD dwPriority, bool bFlushingOpt)
    : m_pPin(pInputPin),
      m_bBatchExact(bBatchExact),
      m_lBatchSize(lBatchSize < 1 ? 1 : lBatchSize),
      m_bQueue(bQueue),
      m_bFlushingOpt(bFlushingOpt) {
    m_priority = int(dwPriority);
    if (!m_pPin) {
        if (phr) *phr = E_POINTER;
        return;
    }
    m_pPin->AddRef();
    HRESULT hr = m_pPin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&m_pInputPin));
    if (FAILED(hr) || !m_pInputPin) {
        m_pInputPin = nullptr;
        if (phr) *phr = E_NOINTERFACE;
        return;
    }
    if (bAuto) m_bQueue = m_pInputPin->ReceiveCanBlock() == S_OK;
    if (m_bQueue) m_thread = std::thread([this] { ThreadProc(); });
}

COutputQueue::~COutputQueue() {
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_bTerminate = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
    FreeSamplesLocked(m_items);
    for (IMediaSample* s : m_direct) s->Release();
    m_direct.clear();
    if (m_pInputPin) m_pInputPin->Release();
    if (m_pPin) m_pPin->Release();
}

void COutputQueue::FreeSamplesLocked(std::deque<Item>& items) {
    for (Item& it : items)
        if (it.sample) it.sample->Release();
    items.clear();
}

HRESULT COutputQueue::DeliverBatch(std::vector<IMediaSample*>& batch) {
    HRESULT hr = S_OK;
    if (!batch.empty() && m_pInputPin) {
        long done = 0;
        hr = m_pInputPin->ReceiveMultiple(batch.data(), long(batch.size()), &done);
    }
    for (IMediaSample* s : batch) s->Release();
    batch.clear();
    return hr;
}

void COutputQueue::ThreadProc() {
    std::vector<IMediaSample*> batch;
    std::unique_lock<std::mutex> lk(m_mutex);
    // Whether the queue holds something to send now.
    auto hasWork = [this] {
        if (m_items.empty()) return false;
        if (m_items.front().kind != Kind::Sample) return true;
        if (!m_bBatchExact || m_bSendAnyway) return true;
        LONG n = 0;
        for (const Item& it : m_items) {
            if (it.kind != Kind::Sample) return true;  // a batch ends at a control item
            if (++n >= m_lBatchSize) return true;
        }
        return false;
    };
    for (;;) {
        m_cv.wait(lk, [&] { return m_bTerminate || hasWork(); });
        if (m_bTerminate) break;
        Item front = m_items.front();
        if (front.kind != Kind::Sample) {
            m_items.pop_front();
            m_bBusy = true;
            lk.unlock();
            if (front.kind == Kind::EndOfStream)
                m_pPin->EndOfStream();
            else if (front.kind == Kind::NewSegment)
                m_pPin->NewSegment(front.tStart, front.tStop, front.dRate);
            lk.lock();
        } else {
            while (!m_items.empty() && m_items.front().kind == Kind::Sample &&
                   LONG(batch.size()) < m_lBatchSize) {
                batch.push_back(m_items.front().sample);
                m_items.pop_front();
            }
            if (m_items.empty()) m_bSendAnyway = false;
            m_bBusy = true;
            lk.unlock();
            HRESULT hr = DeliverBatch(batch);
            lk.lock();
            // A failure (or downstream refusing) stops delivery until a flush
            // or Reset; refusals caused by our own flush do not count.
            if (hr != S_OK && !m_bFlushing && m_hr == S_OK) m_hr = hr;
        }
        m_bBusy = false;
        m_idleCv.notify_all();
    }
    m_bBusy = false;
    m_idleCv.notify_all();
}

HRESULT COutputQueue::Receive(IMediaSample* pSample) {
    if (!pSample) return E_POINTER;
    long done = 0;
    return ReceiveMultiple(&pSample, 1, &done);
}

HRESULT COutputQueue::ReceiveMultiple(IMediaSample** pSamples, long nSamples, long* nSamplesProcessed) {
    if (!pSamples) return E_POINTER;
    if (nSamplesProcessed) *nSamplesProcessed = 0;
    if (m_bQueue) {
        std::unique_lock<std::mutex> lk(m_mutex);
        if (m_bFlushing || m_hr != S_OK || m_bTerminate) {
            HRESULT hr = m_bFlushing ? S_FALSE : m_hr;
            if (hr == S_OK) hr = S_FALSE;
            for (long i = 0; i < nSamples; ++i) pSamples[i]->Release();
            return hr;
        }
        for (long i = 0; i < nSamples; ++i) m_items.push_back(Item{Kind::Sample, pSamples[i]});
        m_bFlushed = false;
        if (nSamplesProcessed) *nSamplesProcessed = nSamples;
        lk.unlock();
        m_cv.notify_all();
        return S_OK;
    }
    // Unqueued: deliver on the caller's thread (in batches when exact).
    std::unique_lock<std::mutex> lk(m_mutex);
    if (m_bFlushing || m_hr != S_OK) {
        HRESULT hr = m_bFlushing ? S_FALSE : m_hr;
        for (long i = 0; i < nSamples; ++i) pSamples[i]->Release();
        return hr;
    }
    for (long i = 0; i < nSamples; ++i) m_direct.push_back(pSamples[i]);
    m_bFlushed = false;
    if (nSamplesProcessed) *nSamplesProcessed = nSamples;
    if (m_bBatchExact && LONG(m_direct.size()) < m_lBatchSize) return S_OK;
    std::vector<IMediaSample*> batch;
    batch.swap(m_direct);
    lk.unlock();
    HRESULT hr = DeliverBatch(batch);
    lk.lock();
    if (hr != S_OK && !m_bFlushing) m_hr = hr;
    return m_hr;
}

void COutputQueue::EOS() {
    if (m_bQueue) {
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            if (m_bFlushing || m_bTerminate) return;
            m_items.push_back(Item{Kind::EndOfStream});
            m_bFlushed = false;
        }
        m_cv.notify_all();
        return;
    }
    SendAnyway();
    m_pPin->EndOfStream();
}

void COutputQueue::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    if (m_bQueue) {
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            if (m_bFlushing || m_bTerminate) return;
            Item it{Kind::NewSegment};
            it.tStart = tStart;
            it.tStop = tStop;
            it.dRate = dRate;
            m_items.push_back(it);
            m_bFlushed = false;
        }
        m_cv.notify_all();
        return;
    }
    SendAnyway();
    m_pPin->NewSegment(tStart, tStop, dRate);
}

void COutputQueue::SendAnyway() {
    if (m_bQueue) {
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            m_bSendAnyway = true;
        }
        m_cv.notify_all();
        return;
    }
    std::vector<IMediaSample*> batch;
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        batch.swap(m_direct);
    }
    HRESULT hr = DeliverBatch(batch);
    std::lock_guard<std::mutex> lk(m_mutex);
    if (hr != S_OK && !m_bFlushing && m_hr == S_OK) m_hr = hr;
}

void COutputQueue::BeginFlush() {
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_bFlushing = true;
        // With the optimisation, a queue that sent nothing since the last
        // flush does not bother downstream again.
        m_bPassedFlush = !(m_bFlushingOpt && m_bFlushed);
        if (!m_bPassedFlush) {
            if (m_hr == S_OK) m_hr = S_FALSE;
            return;
        }
        m_bFlushed = false;
        if (m_hr == S_OK) m_hr = S_FALSE;
        FreeSamplesLocked(m_items);
        for (IMediaSample* s : m_direct) s->Release();
        m_direct.clear();
        m_bSendAnyway = false;
    }
    m_cv.notify_all();
    // Downstream lets go of anything the delivery thread waits on.
    m_pPin->BeginFlush();
}

void COutputQueue::EndFlush() {
    {
        std::unique_lock<std::mutex> lk(m_mutex);
        // Whatever the thread was delivering when the flush began ends first.
        m_idleCv.wait(lk, [this] { return !m_bBusy; });
        FreeSamplesLocked(m_items);
        m_bFlushing = false;
        m_bFlushed = true;
        m_hr = S_OK;
        if (!m_bPassedFlush) return;
    }
    m_pPin->EndFlush();
}

void COutputQueue::Reset() {
    std::lock_guard<std::mutex> lk(m_mutex);
    if (!m_bFlushing) m_hr = S_OK;
}

BOOL COutputQueue::IsIdle() {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_items.empty() && !m_bBusy && m_direct.empty();
}

void COutputQueue::SetPriority(int priority) { m_priority = priority; }
