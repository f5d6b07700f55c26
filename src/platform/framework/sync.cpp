#include "sync.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void CCritSec::Lock() {
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    ++depth_;
}

void CCritSec::Unlock() {
    if (--depth_ == 0) owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
}

bool CCritSec::IsLockedByMe() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void CAMEvent::Set() {
    {
        std::lock_guard<std::mutex> lk(mutex_);
        set_ = true;
    }
    if (manual_)
        cv_.notify_all();
    else
        cv_.notify_one();
}

void CAMEvent::Reset() {
    std::lock_guard<std::mutex> lk(mutex_);
    set_ = false;
}

BOOL CAMEvent::Wait(DWORD dwTimeout) {
    std::unique_lock<std::mutex> lk(mutex_);
    auto ready = [this] { return set_; };
    if (dwTimeout == INFINITE) {
        cv_.wait(lk, ready);
    } else if (!cv_.wait_for(lk, std::chrono::milliseconds(dwTimeout), ready)) {
        return FALSE;
    }
    if (!manual_) set_ = false;
    return TRUE;
}

// ---------------------------------------------------------------- CAMThread

CAMThread::CAMThread() = default;

CAMThread::~CAMThread() {
    // A derived class should have ended its thread; joining here is the last
    // resort (the derived part is gone, so ThreadProc must already be over).
    if (m_thread.joinable()) m_thread.join();
}

BOOL CAMThread::Create() {
    CAutoLock lock(&m_AccessLock);
    if (ThreadExists()) return FALSE;
    if (m_thread.joinable()) m_thread.join();  // a thread that ended by itself
    {
        std::lock_guard<std::mutex> lk(m_paramMutex);
        m_hasRequest = false;
        m_EventSend.Reset();
        m_EventComplete.Reset();
    }
    m_running = true;
    m_thread = std::thread([this] {
        m_nativeId = std::uintptr_t(::syscall(SYS_gettid));
        ApplyPriority();
        ThreadProc();
        m_running = false;
    });
    return TRUE;
}

DWORD CAMThread::CallWorker(DWORD dwParam) {
    CAutoLock lock(&m_AccessLock);
    if (!ThreadExists()) return DWORD(E_FAIL);
    {
        std::lock_guard<std::mutex> lk(m_paramMutex);
        m_dwParam = dwParam;
        m_hasRequest = true;
    }
    m_EventSend.Set();
    // The worker may end without replying (it returned from ThreadProc);
    // poll for that so the caller is not stuck.
    while (!m_EventComplete.Wait(50)) {
        if (!m_running) {
            std::lock_guard<std::mutex> lk(m_paramMutex);
            if (m_hasRequest) {
                m_hasRequest = false;
                m_EventSend.Reset();
            }
            return DWORD(E_FAIL);
        }
    }
    return m_dwReturnVal;
}

void CAMThread::Close() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

BOOL CAMThread::ThreadExists() const { return m_running.load() ? TRUE : FALSE; }

DWORD CAMThread::GetRequest() {
    for (;;) {
        m_EventSend.Wait();
        std::lock_guard<std::mutex> lk(m_paramMutex);
        if (m_hasRequest) {
            m_hasRequest = false;
            m_EventSend.Reset();
            return m_dwParam;
        }
        m_EventSend.Reset();
    }
}

BOOL CAMThread::CheckRequest(DWORD* pParam) {
    std::lock_guard<std::mutex> lk(m_paramMutex);
    if (!m_hasRequest) return FALSE;
    if (pParam) {
        // Like a peek: the command stays until GetRequest takes it.
        *pParam = m_dwParam;
    }
    return TRUE;
}

void CAMThread::Reply(DWORD dw) {
    {
        // An answered command is no longer pending, even when the worker only
        // peeked at it with CheckRequest.
        std::lock_guard<std::mutex> lk(m_paramMutex);
        m_hasRequest = false;
        m_EventSend.Reset();
    }
    m_dwReturnVal = dw;
    m_EventComplete.Set();
}

void CAMThread::SetPriority(int priority) {
    m_priority = priority;
    ApplyPriority();
}

void CAMThread::ApplyPriority() {
    std::uintptr_t tid = m_nativeId.load();
    if (!tid || !m_running) return;
    // Map the hint onto the thread's nice value; raising above the process's
    // own level needs privileges, so it falls back to normal silently.
    int p = m_priority.load();
    int nice = p < 0 ? (p <= THREAD_PRIORITY_IDLE ? 19 : -p * 2) : 0;
    ::setpriority(PRIO_PROCESS, id_t(tid), nice);
}
