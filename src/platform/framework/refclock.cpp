#include "refclock.h"

#include <chrono>

REFERENCE_TIME SystemTimeNow() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
}

CBaseReferenceClock::CBaseReferenceClock(const char* pName, IUnknown* pUnk, HRESULT*)
    : CUnknown(pName, pUnk) {
    m_rtLastGotTime = 0;
}

CBaseReferenceClock::~CBaseReferenceClock() { StopAdviseThread(); }

void CBaseReferenceClock::StopAdviseThread() {
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_bStop = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void CBaseReferenceClock::StartAdviseThreadLocked() {
    if (!m_thread.joinable() && !m_bStop) m_thread = std::thread([this] { AdviseThread(); });
}

HRESULT CBaseReferenceClock::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IReferenceClock) return GetInterfaceAs<IReferenceClock>(this, ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

REFERENCE_TIME CBaseReferenceClock::GetPrivateTime() { return SystemTimeNow(); }

HRESULT CBaseReferenceClock::GetTime(REFERENCE_TIME* pTime) {
    if (!pTime) return E_POINTER;
    REFERENCE_TIME t = GetPrivateTime();
    std::lock_guard<std::mutex> lk(m_mutex);
    if (t < m_rtLastGotTime) {
        *pTime = m_rtLastGotTime;
        return S_FALSE;
    }
    m_rtLastGotTime = t;
    *pTime = t;
    return S_OK;
}

HRESULT CBaseReferenceClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime,
                                        HEVENT hEvent, DWORD_PTR* pdwAdviseCookie) {
    if (!hEvent || !pdwAdviseCookie) return E_POINTER;
    REFERENCE_TIME due = baseTime + streamTime;
    if (due <= 0 || streamTime < 0) return E_INVALIDARG;
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        StartAdviseThreadLocked();
        *pdwAdviseCookie = m_nextCookie++;
        m_advises[*pdwAdviseCookie] = Advise{due, 0, hEvent};
    }
    m_cv.notify_all();
    return S_OK;
}

HRESULT CBaseReferenceClock::AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                            HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie) {
    if (!hSemaphore || !pdwAdviseCookie) return E_POINTER;
    if (startTime < 0 || periodTime <= 0) return E_INVALIDARG;
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        StartAdviseThreadLocked();
        *pdwAdviseCookie = m_nextCookie++;
        m_advises[*pdwAdviseCookie] = Advise{startTime, periodTime, hSemaphore};
    }
    m_cv.notify_all();
    return S_OK;
}

HRESULT CBaseReferenceClock::Unadvise(DWORD_PTR dwAdviseCookie) {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_advises.erase(dwAdviseCookie) ? S_OK : S_FALSE;
}

void CBaseReferenceClock::TriggerThread() { m_cv.notify_all(); }

void CBaseReferenceClock::AdviseThread() {
    std::unique_lock<std::mutex> lk(m_mutex);
    while (!m_bStop) {
        lk.unlock();
        REFERENCE_TIME now = GetPrivateTime();
        lk.lock();
        if (now < m_rtLastGotTime) now = m_rtLastGotTime;
        REFERENCE_TIME next = -1;
        for (auto it = m_advises.begin(); it != m_advises.end();) {
            Advise& a = it->second;
            if (a.due <= now) {
                a.event->Set();
                if (a.period > 0) {
                    while (a.due <= now) a.due += a.period;
                } else {
                    it = m_advises.erase(it);
                    continue;
                }
            }
            if (next < 0 || a.due < next) next = a.due;
            ++it;
        }
        // The private time may not run at the system clock's pace (an audio
        // device), so sleep no longer than 10 ms between checks.
        auto wait = std::chrono::milliseconds(10);
        if (next >= 0) {
            REFERENCE_TIME left = next - now;
            if (left < 10 * MILLISECONDS) wait = std::chrono::milliseconds(left / MILLISECONDS + 1);
        } else {
            wait = std::chrono::milliseconds(1000);
        }
        m_cv.wait_for(lk, wait);
    }
}

CSystemClock::CSystemClock(const char* pName, IUnknown* pUnk, HRESULT* phr)
    : CBaseReferenceClock(pName, pUnk, phr) {}

CUnknown* CSystemClock::CreateInstance(IUnknown* pUnk, HRESULT* phr) {
    return new CSystemClock("System clock", pUnk, phr);
}
