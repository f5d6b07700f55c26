#pragma once
// Threading primitives with the framework's names: a recursive critical
// section, its scoped lock, a manual- or auto-reset event, and a worker thread
// that takes commands one at a time (CallWorker / GetRequest / Reply).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "interfaces.h"

// Recursive: a thread that holds it may enter again (filters call their own
// locked methods from locked methods).
class CCritSec {
public:
    CCritSec() = default;
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;
    void Lock();
    void Unlock();
    // True when the calling thread holds it (for assertions).
    bool IsLockedByMe() const;
    std::recursive_mutex& Native() { return mutex_; }

private:
    std::recursive_mutex mutex_;
    std::atomic<std::thread::id> owner_{};
    int depth_ = 0;
};

class CAutoLock {
public:
    explicit CAutoLock(CCritSec* plock) : lock_(plock) { lock_->Lock(); }
    ~CAutoLock() { lock_->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    CCritSec* lock_;
};

// True when the calling thread holds the lock.
inline bool CritCheckIn(const CCritSec* pcCrit) { return pcCrit->IsLockedByMe(); }

// A manual-reset event stays set until Reset; an auto-reset event lets one
// waiter through per Set.
class CAMEvent {
public:
    explicit CAMEvent(BOOL fManualReset = FALSE) : manual_(fManualReset != FALSE) {}
    CAMEvent(const CAMEvent&) = delete;
    CAMEvent& operator=(const CAMEvent&) = delete;
    void Set();
    void Reset();
    // TRUE when the event was (or became) set within dwTimeout ms.
    BOOL Wait(DWORD dwTimeout = INFINITE);
    BOOL Check() { return Wait(0); }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool set_ = false;
    bool manual_;
};

// A worker thread driven by commands: the owner CallWorker(cmd)s and blocks
// until the worker Reply()s; the worker reads commands with GetRequest (blocks)
// or CheckRequest (polls). Derived classes supply ThreadProc.
class CAMThread {
public:
    CAMThread();
    virtual ~CAMThread();  // derived classes must Close() (or end the thread) first
    CAMThread(const CAMThread&) = delete;
    CAMThread& operator=(const CAMThread&) = delete;

    // Starts the thread; FALSE when it already runs.
    BOOL Create();
    // Sends a command and waits for the worker's reply; E_FAIL without a thread.
    DWORD CallWorker(DWORD dwParam);
    // Waits for the thread to end (it must have been told to).
    void Close();
    BOOL ThreadExists() const;

    // Worker side.
    DWORD GetRequest();
    BOOL CheckRequest(DWORD* pParam);
    void Reply(DWORD dw);
    // Set when a command waits (auto-reset is not applied: it stays set until
    // GetRequest/CheckRequest takes the command).
    CAMEvent& GetRequestEvent() { return m_EventSend; }

    // Scheduling hint for the worker (THREAD_PRIORITY_*). Lowering is applied
    // to the thread; raising above normal is recorded only.
    void SetPriority(int priority);
    int GetPriority() const { return m_priority.load(); }

    // Serialises owners that call the worker.
    CCritSec m_AccessLock;
    // Taken by the worker around work the owner must not overlap.
    CCritSec m_WorkerLock;

protected:
    virtual DWORD ThreadProc() = 0;

private:
    void ApplyPriority();
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<int> m_priority{THREAD_PRIORITY_NORMAL};
    std::atomic<std::uintptr_t> m_nativeId{0};
    CAMEvent m_EventSend{TRUE};
    CAMEvent m_EventComplete{FALSE};
    std::mutex m_paramMutex;
    DWORD m_dwParam = 0;
    DWORD m_dwReturnVal = 0;
    bool m_hasRequest = false;
};
