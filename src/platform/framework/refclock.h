#pragma once
// Reference clocks. CBaseReferenceClock keeps the time monotonic and serves
// advise requests from a thread of its own; derived clocks say what their time
// is (GetPrivateTime), e.g. an audio device's played position. CSystemClock
// runs on the system's steady clock and is the graph's default.
#include <map>
#include <thread>

#include "filter.h"

class CBaseReferenceClock : public CUnknown, public IReferenceClock {
public:
    CBaseReferenceClock(const char* pName, IUnknown* pUnk, HRESULT* phr);
    ~CBaseReferenceClock() override;
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Never goes backwards: a private time below the last one is held.
    HRESULT GetTime(REFERENCE_TIME* pTime) override;
    // Sets hEvent once baseTime + streamTime has come (at once if it has).
    HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                       DWORD_PTR* pdwAdviseCookie) override;
    // Sets hSemaphore at startTime and then every periodTime.
    HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                           HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie) override;
    HRESULT Unadvise(DWORD_PTR dwAdviseCookie) override;

    // The derived clock's own notion of time (100 ns); the base uses the
    // steady system clock.
    virtual REFERENCE_TIME GetPrivateTime();
    // Wakes the advise thread to re-check due advises (after the private time jumped).
    void TriggerThread();

protected:
    // The advise thread (started by the first advise) calls GetPrivateTime; a
    // derived clock that overrides it must call this in its destructor.
    void StopAdviseThread();

private:
    struct Advise {
        REFERENCE_TIME due;
        REFERENCE_TIME period;  // 0: one-shot
        CAMEvent* event;
    };
    void AdviseThread();
    void StartAdviseThreadLocked();
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::map<DWORD_PTR, Advise> m_advises;
    DWORD_PTR m_nextCookie = 1;
    REFERENCE_TIME m_rtLastGotTime = 0;
    bool m_bStop = false;
    std::thread m_thread;
};

class CSystemClock : public CBaseReferenceClock {
public:
    CSystemClock(const char* pName, IUnknown* pUnk, HRESULT* phr);
    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr);
};

// Current time of the process-wide steady clock in 100 ns units.
REFERENCE_TIME SystemTimeNow();
