#pragma once
// Delivers samples to an input pin from a thread of its own (or directly,
// when the pin's Receive never blocks and no queue was asked for). End of
// stream and new segments travel through the queue in order with the samples;
// a flush discards what is queued and passes BeginFlush/EndFlush downstream.
#include <deque>
#include <thread>

#include "filter.h"

constexpr LONG DEFAULT_QUEUESIZE = 2;

class COutputQueue : public CCritSec {
public:
    // pInputPin: the connected input pin (referenced). bAuto: queue only when
    // the pin's ReceiveCanBlock says S_OK, otherwise bQueue decides. Samples are
    // delivered in batches of up to lBatchSize; with bBatchExact a batch waits
    // until full (or until SendAnyway, end of stream or a new segment),
    // otherwise whatever is queued goes as soon as the thread runs.
    // lListSize is a sizing hint; the producer's allocator bounds the queue.
    COutputQueue(IPin* pInputPin, HRESULT* phr, BOOL bAuto = TRUE, BOOL bQueue = TRUE,
                 LONG lBatchSize = 1, BOOL bBatchExact = FALSE, LONG lListSize = DEFAULT_QUEUESIZE,
                 DWORD dwPriority = THREAD_PRIORITY_NORMAL, bool bFlushingOpt = false);
    // Ends the thread after it has delivered nothing more; queued samples are released.
    ~COutputQueue();
    COutputQueue(const COutputQueue&) = delete;
    COutputQueue& operator=(const COutputQueue&) = delete;

    // Discards queued samples, refuses new ones until EndFlush, and passes
    // BeginFlush downstream at once (so a blocked downstream lets go).
    void BeginFlush();
    // Waits until the thread has dropped everything, then passes EndFlush.
    void EndFlush();
    // Queues an end of stream after the samples before it.
    void EOS();
    // Delivers a partial batch now.
    void SendAnyway();
    // Queues a new segment after the samples before it.
    void NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);
    // Takes over the caller's reference to the sample. Returns the result of
    // the last delivery (S_FALSE while flushing, an error once downstream failed).
    HRESULT Receive(IMediaSample* pSample);
    HRESULT ReceiveMultiple(IMediaSample** pSamples, long nSamples, long* nSamplesProcessed);
    // Forgets a delivery error so delivery can resume.
    void Reset();
    // True when nothing is queued and the thread is not delivering.
    BOOL IsIdle();
    BOOL IsQueued() const { return m_bQueue; }
    // Applies a THREAD_PRIORITY_* hint to the delivery thread.
    void SetPriority(int priority);

private:
    enum class Kind { Sample, EndOfStream, NewSegment, SendAnyway };
    struct Item {
        Kind kind;
        IMediaSample* sample = nullptr;  // referenced
        REFERENCE_TIME tStart = 0, tStop = 0;
        double dRate = 1.0;
    };
    void ThreadProc();
    void FreeSamplesLocked(std::deque<Item>& items);
    HRESULT DeliverBatch(std::vector<IMediaSample*>& batch);

    IPin* m_pPin = nullptr;             // referenced
    IMemInputPin* m_pInputPin = nullptr;  // referenced
    BOOL m_bBatchExact;
    LONG m_lBatchSize;
    BOOL m_bQueue;
    bool m_bFlushingOpt;
    std::mutex m_mutex;
    std::condition_variable m_cv;       // work for the thread / state changes
    std::condition_variable m_idleCv;   // the thread finished a step
    std::deque<Item> m_items;
    bool m_bTerminate = false;
    bool m_bFlushing = false;
    bool m_bFlushed = true;             // nothing sent since the last flush
    bool m_bPassedFlush = true;         // this flush went downstream
    bool m_bSendAnyway = false;
    bool m_bBusy = false;               // the thread is delivering
    HRESULT m_hr = S_OK;                // last delivery result
    std::vector<IMediaSample*> m_direct;  // batch of the unqueued mode
    std::thread m_thread;
    std::atomic<int> m_priority{THREAD_PRIORITY_NORMAL};
};
