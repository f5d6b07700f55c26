#include "sample.h"

#include <cstdlib>
#include <cstring>

// ================================================================ CMediaSample

CMediaSample::CMediaSample(const char*, CBaseAllocator* pAllocator, HRESULT* phr, BYTE* pBuffer,
                           long length)
    : m_pBuffer(pBuffer), m_cbBuffer(length), m_pAllocator(pAllocator) {
    if (!pAllocator && phr) *phr = E_OUTOFMEMORY;
}

CMediaSample::~CMediaSample() = default;

HRESULT CMediaSample::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IMediaSample || riid == IID_IUnknown) {
        *ppv = static_cast<IMediaSample*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CMediaSample::AddRef() { return ULONG(++m_cRef); }

ULONG CMediaSample::Release() {
    long ref = --m_cRef;
    if (ref == 0) {
        // Back to the pool: what this use attached does not travel to the next.
        ResetProperties();
        m_pAllocator->ReleaseBuffer(this);
    }
    return ULONG(ref < 0 ? 0 : ref);
}

void CMediaSample::ResetProperties() {
    m_bStartValid = m_bStopValid = false;
    m_bMediaTimeValid = false;
    m_bSyncPoint = m_bPreroll = m_bDiscontinuity = false;
    m_pMediaType.reset();
}

HRESULT CMediaSample::SetPointer(BYTE* ptr, long cBytes) {
    if (cBytes < 0) return VFW_E_BUFFER_OVERFLOW;
    m_pBuffer = ptr;
    m_cbBuffer = cBytes;
    m_lActual = cBytes;
    return S_OK;
}

HRESULT CMediaSample::GetPointer(BYTE** ppBuffer) {
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = m_pBuffer;
    return S_OK;
}

long CMediaSample::GetSize() { return m_cbBuffer; }

HRESULT CMediaSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
    if (!m_bStartValid) return VFW_E_SAMPLE_TIME_NOT_SET;
    if (pTimeStart) *pTimeStart = m_Start;
    if (!m_bStopValid) {
        if (pTimeEnd) *pTimeEnd = m_Start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    if (pTimeEnd) *pTimeEnd = m_End;
    return S_OK;
}

HRESULT CMediaSample::SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
    if (!pTimeStart) {
        m_bStartValid = m_bStopValid = false;
        return S_OK;
    }
    m_Start = *pTimeStart;
    m_bStartValid = true;
    if (pTimeEnd) {
        m_End = *pTimeEnd;
        m_bStopValid = true;
    } else {
        m_bStopValid = false;
    }
    return S_OK;
}

HRESULT CMediaSample::IsSyncPoint() { return m_bSyncPoint ? S_OK : S_FALSE; }
HRESULT CMediaSample::SetSyncPoint(BOOL b) {
    m_bSyncPoint = b != FALSE;
    return S_OK;
}
HRESULT CMediaSample::IsPreroll() { return m_bPreroll ? S_OK : S_FALSE; }
HRESULT CMediaSample::SetPreroll(BOOL b) {
    m_bPreroll = b != FALSE;
    return S_OK;
}
HRESULT CMediaSample::IsDiscontinuity() { return m_bDiscontinuity ? S_OK : S_FALSE; }
HRESULT CMediaSample::SetDiscontinuity(BOOL b) {
    m_bDiscontinuity = b != FALSE;
    return S_OK;
}

long CMediaSample::GetActualDataLength() { return m_lActual; }

HRESULT CMediaSample::SetActualDataLength(long lLen) {
    if (lLen < 0 || lLen > m_cbBuffer) return VFW_E_BUFFER_OVERFLOW;
    m_lActual = lLen;
    return S_OK;
}

HRESULT CMediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType) {
    if (!ppMediaType) return E_POINTER;
    if (!m_pMediaType) {
        *ppMediaType = nullptr;
        return S_FALSE;
    }
    *ppMediaType = CreateMediaType(m_pMediaType.get());
    return S_OK;
}

HRESULT CMediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType) {
    if (!pMediaType)
        m_pMediaType.reset();
    else
        m_pMediaType = std::make_unique<AM_MEDIA_TYPE>(*pMediaType);
    return S_OK;
}

HRESULT CMediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    if (!m_bMediaTimeValid) return VFW_E_MEDIA_TIME_NOT_SET;
    if (pTimeStart) *pTimeStart = m_MediaStart;
    if (pTimeEnd) *pTimeEnd = m_MediaEnd;
    return S_OK;
}

HRESULT CMediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    if (!pTimeStart) {
        m_bMediaTimeValid = false;
        return S_OK;
    }
    if (!pTimeEnd) return E_POINTER;
    m_MediaStart = *pTimeStart;
    m_MediaEnd = *pTimeEnd;
    m_bMediaTimeValid = true;
    return S_OK;
}

// ================================================================ CBaseAllocator

CBaseAllocator::CBaseAllocator(const char* pName, IUnknown* pUnk, HRESULT*) : CUnknown(pName, pUnk) {}

CBaseAllocator::~CBaseAllocator() = default;

HRESULT CBaseAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IMemAllocator) return GetInterfaceAs<IMemAllocator>(this, ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) {
    if (!pRequest || !pActual) return E_POINTER;
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_bCommitted) return VFW_E_ALREADY_COMMITTED;
    if (m_lAllocated != long(m_lFree.size())) return VFW_E_BUFFERS_OUTSTANDING;
    if (pRequest->cBuffers < 0 || pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0)
        return E_INVALIDARG;
    long align = pRequest->cbAlign == 0 ? 1 : pRequest->cbAlign;
    if (align < 0 || (align & (align - 1)) != 0) return VFW_E_BADALIGN;
    m_lCount = pRequest->cBuffers;
    m_lSize = pRequest->cbBuffer;
    m_lAlignment = align;
    m_lPrefix = pRequest->cbPrefix;
    m_bChanged = true;
    *pActual = ALLOCATOR_PROPERTIES{m_lCount, m_lSize, m_lAlignment, m_lPrefix};
    return S_OK;
}

HRESULT CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* pProps) {
    if (!pProps) return E_POINTER;
    std::lock_guard<std::mutex> lk(m_mutex);
    *pProps = ALLOCATOR_PROPERTIES{m_lCount, m_lSize, m_lAlignment, m_lPrefix};
    return S_OK;
}

HRESULT CBaseAllocator::Commit() {
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_bCommitted) return S_OK;
    if (m_lSize <= 0 && m_lCount > 0) return VFW_E_SIZENOTSET;
    if (m_lCount <= 0 || m_lSize <= 0) return VFW_E_SIZENOTSET;
    m_bCommitted = true;
    if (m_bDecommitInProgress) {
        // The old samples are still out; they go back to a live pool.
        m_bDecommitInProgress = false;
        if (!m_bChanged) return S_OK;
    }
    if (m_lAllocated != long(m_lFree.size())) {
        // Properties changed while samples were out cannot happen (SetProperties
        // refuses); keep the pool as it is.
        return S_OK;
    }
    HRESULT hr = Alloc();
    if (FAILED(hr)) {
        m_bCommitted = false;
        return hr;
    }
    m_bChanged = false;
    return S_OK;
}

HRESULT CBaseAllocator::Decommit() {
    std::unique_lock<std::mutex> lk(m_mutex);
    if (!m_bCommitted) return S_OK;
    m_bCommitted = false;
    if (m_lAllocated == long(m_lFree.size())) {
        Free();
        m_bDecommitInProgress = false;
    } else {
        // Memory goes once the last sample comes back (ReleaseBuffer).
        m_bDecommitInProgress = true;
    }
    lk.unlock();
    // Wake every GetBuffer waiter: they fail now.
    m_freeCv.notify_all();
    return S_OK;
}

HRESULT CBaseAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                                  REFERENCE_TIME* pEndTime, DWORD dwFlags) {
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = nullptr;
    CMediaSample* sample = nullptr;
    {
        std::unique_lock<std::mutex> lk(m_mutex);
        for (;;) {
            if (!m_bCommitted) return VFW_E_NOT_COMMITTED;
            if (!m_lFree.empty()) break;
            if (dwFlags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
            m_freeCv.wait(lk);
        }
        sample = m_lFree.back();
        m_lFree.pop_back();
    }
    // Each sample out keeps the allocator alive; ReleaseBuffer gives it back.
    AddRef();
    sample->m_cRef = 1;
    sample->ResetProperties();
    if (pStartTime) sample->SetTime(pStartTime, pEndTime);
    *ppBuffer = sample;
    return S_OK;
}

HRESULT CBaseAllocator::ReleaseBuffer(IMediaSample* pBuffer) {
    if (!pBuffer) return E_POINTER;
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_lFree.push_back(static_cast<CMediaSample*>(pBuffer));
        if (m_bDecommitInProgress && m_lAllocated == long(m_lFree.size())) {
            Free();
            m_bDecommitInProgress = false;
        }
    }
    m_freeCv.notify_one();
    Release();  // the reference GetBuffer took for this sample
    return S_OK;
}

BOOL CBaseAllocator::IsCommitted() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_bCommitted;
}

long CBaseAllocator::OutstandingBuffers() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_lAllocated - long(m_lFree.size());
}

// ================================================================ CMemAllocator

CMemAllocator::CMemAllocator(const char* pName, IUnknown* pUnk, HRESULT* phr)
    : CBaseAllocator(pName ? pName : "CMemAllocator", pUnk, phr) {}

CMemAllocator::~CMemAllocator() {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_bCommitted = false;
    ReallyFree();
}

CUnknown* CMemAllocator::CreateInstance(IUnknown* pUnk, HRESULT* phr) {
    return new CMemAllocator("CMemAllocator", pUnk, phr);
}

HRESULT CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) {
    if (!pRequest || !pActual) return E_POINTER;
    ALLOCATOR_PROPERTIES req = *pRequest;
    long align = req.cbAlign == 0 ? 1 : req.cbAlign;
    if (align > 0 && (align & (align - 1)) == 0) {
        // prefix + size must be a whole number of alignment units so that
        // every buffer after the first stays aligned.
        long total = req.cbBuffer + req.cbPrefix;
        long rem = total % align;
        if (rem) req.cbBuffer += align - rem;
    }
    return CBaseAllocator::SetProperties(&req, pActual);
}

HRESULT CMemAllocator::Alloc() {
    // Called with m_mutex held and every sample back in the pool.
    if (m_pBuffer && m_lAllocatedCount == m_lCount && m_lAllocatedSize == m_lSize &&
        m_lAllocatedAlign == m_lAlignment && m_lAllocatedPrefix == m_lPrefix)
        return S_OK;  // the memory of the last commit still fits
    ReallyFree();
    std::size_t stride = std::size_t(m_lSize) + std::size_t(m_lPrefix);
    std::size_t bytes = stride * std::size_t(m_lCount) + std::size_t(m_lAlignment);
    m_pBuffer = static_cast<BYTE*>(std::calloc(bytes, 1));
    if (!m_pBuffer) return E_OUTOFMEMORY;
    m_cbBlock = bytes;
    std::uintptr_t base = reinterpret_cast<std::uintptr_t>(m_pBuffer) + std::uintptr_t(m_lPrefix);
    std::uintptr_t aligned = (base + std::uintptr_t(m_lAlignment) - 1) & ~std::uintptr_t(m_lAlignment - 1);
    BYTE* first = reinterpret_cast<BYTE*>(aligned);
    for (long i = 0; i < m_lCount; ++i) {
        HRESULT hr = S_OK;
        auto* s = new CMediaSample("CMemAllocator sample", this, &hr, first + std::size_t(i) * stride,
                                   m_lSize);
        m_lFree.push_back(s);
    }
    m_lAllocated = m_lCount;
    m_lAllocatedCount = m_lCount;
    m_lAllocatedSize = m_lSize;
    m_lAllocatedAlign = m_lAlignment;
    m_lAllocatedPrefix = m_lPrefix;
    return S_OK;
}

void CMemAllocator::Free() {
    // Memory is kept for the next Commit with the same properties; a changed
    // size reallocates there, and destruction frees it.
}

void CMemAllocator::ReallyFree() {
    for (CMediaSample* s : m_lFree) delete s;
    m_lFree.clear();
    m_lAllocated = 0;
    std::free(m_pBuffer);
    m_pBuffer = nullptr;
    m_cbBlock = 0;
    m_lAllocatedCount = m_lAllocatedSize = 0;
}

HRESULT CreateMemoryAllocator(IMemAllocator** ppAllocator) {
    if (!ppAllocator) return E_POINTER;
    auto* a = new CMemAllocator("CMemAllocator", nullptr, nullptr);
    return a->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(ppAllocator));
}
