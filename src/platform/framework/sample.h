#pragma once
// Media samples and the allocator that pools them. A sample whose last
// reference goes away returns to its allocator's free list; the allocator
// stays alive while any of its samples is out.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/com/cunknown.h"
#include "sync.h"

class CBaseAllocator;

class CMediaSample : public IMediaSample {
public:
    // pBuffer/length: the memory the sample hands out (owned by the allocator).
    CMediaSample(const char* pName, CBaseAllocator* pAllocator, HRESULT* phr,
                 BYTE* pBuffer = nullptr, long length = 0);
    virtual ~CMediaSample();

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // Points the sample at new memory (allocators use it on Commit).
    HRESULT SetPointer(BYTE* ptr, long cBytes);

    HRESULT GetPointer(BYTE** ppBuffer) override;
    long GetSize() override;
    HRESULT GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    HRESULT SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    HRESULT IsSyncPoint() override;
    HRESULT SetSyncPoint(BOOL bIsSyncPoint) override;
    HRESULT IsPreroll() override;
    HRESULT SetPreroll(BOOL bIsPreroll) override;
    long GetActualDataLength() override;
    HRESULT SetActualDataLength(long lLen) override;
    HRESULT GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
    HRESULT SetMediaType(AM_MEDIA_TYPE* pMediaType) override;
    HRESULT IsDiscontinuity() override;
    HRESULT SetDiscontinuity(BOOL bDiscontinuity) override;
    HRESULT GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
    HRESULT SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;

    // Clears flags, times and the attached type (done when it returns to the pool).
    void ResetProperties();

protected:
    friend class CBaseAllocator;
    BYTE* m_pBuffer;
    long m_cbBuffer;
    long m_lActual = 0;
    bool m_bStartValid = false, m_bStopValid = false;
    REFERENCE_TIME m_Start = 0, m_End = 0;
    bool m_bMediaTimeValid = false;
    LONGLONG m_MediaStart = 0, m_MediaEnd = 0;
    bool m_bSyncPoint = false, m_bPreroll = false, m_bDiscontinuity = false;
    std::unique_ptr<AM_MEDIA_TYPE> m_pMediaType;
    CBaseAllocator* m_pAllocator;  // not referenced: the allocator owns the sample
    std::atomic<long> m_cRef{0};
};

// Pool logic shared by allocators: free list, commit/decommit, blocking
// GetBuffer. Derived classes supply the memory (Alloc/Free).
class CBaseAllocator : public CUnknown, public IMemAllocator {
public:
    CBaseAllocator(const char* pName, IUnknown* pUnk, HRESULT* phr);
    ~CBaseAllocator() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) override;
    HRESULT GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
    HRESULT Commit() override;
    HRESULT Decommit() override;
    HRESULT GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                      REFERENCE_TIME* pEndTime, DWORD dwFlags) override;
    HRESULT ReleaseBuffer(IMediaSample* pBuffer) override;

    BOOL IsCommitted() const;
    // Samples handed out and not yet returned.
    long OutstandingBuffers() const;

protected:
    // Makes the samples and their memory for the current properties.
    virtual HRESULT Alloc() = 0;
    // Frees the samples and memory (called once all samples are back).
    virtual void Free() = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_freeCv;
    std::vector<CMediaSample*> m_lFree;  // samples in the pool
    long m_lAllocated = 0;               // samples made by Alloc
    long m_lCount = 0, m_lSize = 0, m_lAlignment = 0, m_lPrefix = 0;
    bool m_bChanged = false;          // properties changed since the last Alloc
    bool m_bCommitted = false;
    bool m_bDecommitInProgress = false;
};

// Allocator over plain heap memory: one block holding every buffer, each
// buffer aligned as asked and preceded by its prefix bytes.
class CMemAllocator : public CBaseAllocator {
public:
    CMemAllocator(const char* pName, IUnknown* pUnk, HRESULT* phr);
    ~CMemAllocator() override;
    // Rounds the size so that prefix + size keeps every buffer aligned.
    HRESULT SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) override;
    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr);

protected:
    HRESULT Alloc() override;
    void Free() override;

private:
    void ReallyFree();
    BYTE* m_pBuffer = nullptr;  // the whole block (over-allocated for alignment)
    std::size_t m_cbBlock = 0;
    long m_lAllocatedCount = 0, m_lAllocatedSize = 0, m_lAllocatedAlign = 0, m_lAllocatedPrefix = 0;
};

// A new CMemAllocator with one reference.
HRESULT CreateMemoryAllocator(IMemAllocator** ppAllocator);
