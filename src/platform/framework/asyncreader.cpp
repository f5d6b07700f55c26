#include "asyncreader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

// ================================================================ CAsyncRequest

HRESULT CAsyncRequest::Request(CAsyncIo* pIo, CAsyncStream* pStream, LONGLONG llPos, LONG lLength,
                               BOOL bAligned, BYTE* pBuffer, LPVOID pContext, DWORD_PTR dwUser) {
    m_pIo = pIo;
    m_pStream = pStream;
    m_llPos = llPos;
    m_lLength = lLength;
    m_bAligned = bAligned;
    m_pBuffer = pBuffer;
    m_pContext = pContext;
    m_dwUser = dwUser;
    m_hr = VFW_E_TIMEOUT;  // not completed yet
    m_cbActual = 0;
    return S_OK;
}

HRESULT CAsyncRequest::Complete() {
    m_pStream->Lock();
    m_hr = m_pStream->SetPointer(m_llPos);
    if (m_hr == S_OK) {
        DWORD actual = 0;
        m_hr = m_pStream->Read(m_pBuffer, DWORD(std::max<LONG>(m_lLength, 0)), m_bAligned, &actual);
        if (SUCCEEDED(m_hr)) {
            if (actual > DWORD(std::max<LONG>(m_lLength, 0))) actual = DWORD(std::max<LONG>(m_lLength, 0));
            m_cbActual = LONG(actual);
            // A read cut short (the end of the stream) shortens the request.
            m_hr = m_cbActual == m_lLength ? S_OK : S_FALSE;
        }
    } else if (SUCCEEDED(m_hr)) {
        // A position the stream cannot reach (beyond its end).
        m_hr = S_FALSE;
        m_cbActual = 0;
    }
    m_pStream->Unlock();
    return m_hr;
}

// ================================================================ CAsyncIo

CAsyncIo::CAsyncIo(CAsyncStream* pStream) : m_pStream(pStream) {}

CAsyncIo::~CAsyncIo() {
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_bStop = true;
    }
    m_workCv.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

HRESULT CAsyncIo::AsyncActive() {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_bStop = false;
    if (!m_thread.joinable()) m_thread = std::thread([this] { ThreadProc(); });
    return S_OK;
}

HRESULT CAsyncIo::AsyncInactive() {
    BeginFlush();
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_bStop = true;
    }
    m_workCv.notify_all();
    if (m_thread.joinable()) m_thread.join();
    return EndFlush();
}

BOOL CAsyncIo::IsAligned(LONG l) const {
    LONG a = LONG(m_pStream->Alignment());
    return a <= 1 || (l & (a - 1)) == 0;
}

BOOL CAsyncIo::IsAligned(LONGLONG ll) const {
    LONGLONG a = LONGLONG(m_pStream->Alignment());
    return a <= 1 || (ll & (a - 1)) == 0;
}

HRESULT CAsyncIo::Request(LONGLONG llPos, LONG lLength, BOOL bAligned, BYTE* pBuffer, LPVOID pContext,
                          DWORD_PTR dwUser) {
    if (bAligned && (!IsAligned(llPos) || !IsAligned(lLength) ||
                     !IsAligned(LONGLONG(reinterpret_cast<std::uintptr_t>(pBuffer)))))
        return VFW_E_BADALIGN;
    CAsyncRequest req;
    req.Request(this, m_pStream, llPos, lLength, bAligned, pBuffer, pContext, dwUser);
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        if (m_bFlushing) return VFW_E_WRONG_STATE;
        m_listWork.push_back(req);
        if (!m_thread.joinable()) {
            m_bStop = false;
            m_thread = std::thread([this] { ThreadProc(); });
        }
    }
    m_workCv.notify_one();
    return S_OK;
}

void CAsyncIo::ThreadProc() {
    std::unique_lock<std::mutex> lk(m_mutex);
    for (;;) {
        m_workCv.wait(lk, [this] { return m_bStop || !m_listWork.empty(); });
        if (m_bStop) break;
        CAsyncRequest req = m_listWork.front();
        m_listWork.pop_front();
        ++m_cItemsOut;
        lk.unlock();
        req.Complete();
        lk.lock();
        --m_cItemsOut;
        m_listDone.push_back(req);
        m_doneCv.notify_all();
    }
}

HRESULT CAsyncIo::WaitForNext(DWORD dwTimeout, LPVOID* ppContext, DWORD_PTR* pdwUser, LONG* pcbActual) {
    if (!ppContext) return E_POINTER;
    *ppContext = nullptr;
    std::unique_lock<std::mutex> lk(m_mutex);
    auto ready = [this] {
        return !m_listDone.empty() || (m_bFlushing && m_listWork.empty() && m_cItemsOut == 0);
    };
    if (dwTimeout == INFINITE)
        m_doneCv.wait(lk, ready);
    else
        m_doneCv.wait_for(lk, std::chrono::milliseconds(dwTimeout), ready);
    if (!m_listDone.empty()) {
        CAsyncRequest req = m_listDone.front();
        m_listDone.pop_front();
        *ppContext = req.GetContext();
        if (pdwUser) *pdwUser = req.GetUser();
        if (pcbActual) *pcbActual = req.GetActualLength();
        return req.GetHResult();
    }
    return m_bFlushing ? VFW_E_WRONG_STATE : VFW_E_TIMEOUT;
}

HRESULT CAsyncIo::SyncReadAligned(LONGLONG llPos, LONG lLength, BYTE* pBuffer, LONG* pcbActual,
                                  PVOID pvContext) {
    if (!IsAligned(llPos) || !IsAligned(lLength) ||
        !IsAligned(LONGLONG(reinterpret_cast<std::uintptr_t>(pBuffer))))
        return VFW_E_BADALIGN;
    CAsyncRequest req;
    req.Request(this, m_pStream, llPos, lLength, TRUE, pBuffer, pvContext, 0);
    HRESULT hr = req.Complete();
    if (pcbActual) *pcbActual = req.GetActualLength();
    return hr;
}

HRESULT CAsyncIo::SyncRead(LONGLONG llPos, LONG lLength, BYTE* pBuffer) {
    if (!pBuffer) return E_POINTER;
    CAsyncRequest req;
    req.Request(this, m_pStream, llPos, lLength, FALSE, pBuffer, nullptr, 0);
    return req.Complete();
}

HRESULT CAsyncIo::Length(LONGLONG* pllTotal, LONGLONG* pllAvailable) {
    if (!pllTotal) return E_POINTER;
    LONGLONG available = 0;
    *pllTotal = m_pStream->Size(&available);
    if (pllAvailable) *pllAvailable = available;
    return S_OK;
}

HRESULT CAsyncIo::Alignment(LONG* pl) {
    if (!pl) return E_POINTER;
    *pl = Alignment();
    return S_OK;
}

HRESULT CAsyncIo::BeginFlush() {
    std::unique_lock<std::mutex> lk(m_mutex);
    m_bFlushing = true;
    // Pending requests come back unread so the caller can have its samples.
    while (!m_listWork.empty()) {
        CAsyncRequest req = m_listWork.front();
        m_listWork.pop_front();
        req.Cancel();
        m_listDone.push_back(req);
    }
    // Wait for the read in progress; the reader hands it back too.
    m_doneCv.notify_all();
    m_doneCv.wait(lk, [this] { return m_cItemsOut == 0; });
    m_doneCv.notify_all();
    return S_OK;
}

HRESULT CAsyncIo::EndFlush() {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_bFlushing = false;
    m_doneCv.notify_all();
    return S_OK;
}

// ================================================================ CAsyncOutputPin

CAsyncOutputPin::CAsyncOutputPin(HRESULT* phr, CAsyncReader* pReader, CAsyncIo* pIo, CCritSec* pLock)
    : CBasePin("Async output pin", pReader, pLock, phr, "Output", PINDIR_OUTPUT),
      m_pReader(pReader),
      m_pIo(pIo) {}

CAsyncOutputPin::~CAsyncOutputPin() = default;

HRESULT CAsyncOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IAsyncReader) {
        m_bQueriedForAsyncReader = true;
        return GetInterfaceAs<IAsyncReader>(this, ppv);
    }
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CAsyncOutputPin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
    return CBasePin::Connect(pReceivePin, pmt);
}

HRESULT CAsyncOutputPin::BeginFlush() { return m_pIo->BeginFlush(); }
HRESULT CAsyncOutputPin::EndFlush() { return m_pIo->EndFlush(); }

HRESULT CAsyncOutputPin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (iPosition < 0) return E_INVALIDARG;
    if (!pMediaType) return E_POINTER;
    CAutoLock lock(m_pLock);
    const CMediaType* mt = m_pReader->LoadType();
    if (iPosition > 0 || !mt->IsValid()) return VFW_S_NO_MORE_ITEMS;
    *pMediaType = *mt;
    return S_OK;
}

HRESULT CAsyncOutputPin::CheckMediaType(const CMediaType* pType) {
    if (!pType) return E_POINTER;
    CAutoLock lock(m_pLock);
    const CMediaType* mt = m_pReader->LoadType();
    // A GUID_NULL subtype stands for every subtype of the major type.
    if (mt->IsValid() && pType->majortype == mt->majortype &&
        (mt->subtype == GUID_NULL || pType->subtype == mt->subtype))
        return S_OK;
    return S_FALSE;
}

HRESULT CAsyncOutputPin::CheckConnect(IPin* pPin) {
    m_bQueriedForAsyncReader = false;
    return CBasePin::CheckConnect(pPin);
}

HRESULT CAsyncOutputPin::CompleteConnect(IPin* pReceivePin) {
    // Only a pin that pulls through IAsyncReader can use this one.
    if (!m_bQueriedForAsyncReader) return VFW_E_NO_TRANSPORT;
    return CBasePin::CompleteConnect(pReceivePin);
}

HRESULT CAsyncOutputPin::BreakConnect() {
    m_bQueriedForAsyncReader = false;
    return CBasePin::BreakConnect();
}

HRESULT CAsyncOutputPin::Active() { return m_pIo->AsyncActive(); }
HRESULT CAsyncOutputPin::Inactive() { return m_pIo->AsyncInactive(); }

HRESULT CAsyncOutputPin::InitAllocator(IMemAllocator** ppAlloc) { return CreateMemoryAllocator(ppAlloc); }

HRESULT CAsyncOutputPin::RequestAllocator(IMemAllocator* pPreferred, ALLOCATOR_PROPERTIES* pProps,
                                          IMemAllocator** ppActual) {
    if (!pProps || !ppActual) return E_POINTER;
    *ppActual = nullptr;
    ALLOCATOR_PROPERTIES props = *pProps;
    LONG align = m_pIo->Alignment();
    if (props.cbAlign < align) props.cbAlign = align;
    if (props.cbAlign == 0) props.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    if (pPreferred) {
        HRESULT hr = pPreferred->SetProperties(&props, &actual);
        if (SUCCEEDED(hr) && m_pIo->IsAligned(LONG(actual.cbAlign))) {
            pPreferred->AddRef();
            *ppActual = pPreferred;
            return S_OK;
        }
    }
    IMemAllocator* alloc = nullptr;
    HRESULT hr = InitAllocator(&alloc);
    if (FAILED(hr)) return hr;
    hr = alloc->SetProperties(&props, &actual);
    if (SUCCEEDED(hr) && !m_pIo->IsAligned(LONG(actual.cbAlign))) hr = VFW_E_BADALIGN;
    if (FAILED(hr)) {
        alloc->Release();
        return hr;
    }
    *ppActual = alloc;
    return S_OK;
}

namespace {
// The byte range a sample asks for, trimmed at the end of the stream.
HRESULT SampleRange(IMediaSample* pSample, CAsyncIo* io, LONGLONG* pos, LONG* len, BYTE** buffer) {
    REFERENCE_TIME tStart = 0, tStop = 0;
    HRESULT hr = pSample->GetTime(&tStart, &tStop);
    if (FAILED(hr)) return hr;
    *pos = tStart / UNITS;
    LONGLONG length = (tStop - tStart) / UNITS;
    if (*pos < 0 || length < 0) return E_INVALIDARG;
    LONGLONG total = 0, available = 0;
    io->Length(&total, &available);
    if (*pos + length > total) {
        LONGLONG a = io->Alignment() > 0 ? io->Alignment() : 1;
        LONGLONG rounded = (total + a - 1) / a * a;
        if (*pos + length > rounded) {
            length = std::max<LONGLONG>(rounded - *pos, 0);
            tStop = (*pos + length) * UNITS;
            pSample->SetTime(&tStart, &tStop);
        }
    }
    if (length > pSample->GetSize()) return VFW_E_BUFFER_OVERFLOW;
    *len = LONG(length);
    return pSample->GetPointer(buffer);
}

void SetActual(IMediaSample* pSample, LONG cbActual) {
    pSample->SetActualDataLength(cbActual);
    REFERENCE_TIME tStart = 0, tStop = 0;
    if (SUCCEEDED(pSample->GetTime(&tStart, &tStop))) {
        tStop = tStart + REFERENCE_TIME(cbActual) * UNITS;
        pSample->SetTime(&tStart, &tStop);
    }
}
}  // namespace

HRESULT CAsyncOutputPin::Request(IMediaSample* pSample, DWORD_PTR dwUser) {
    if (!pSample) return E_POINTER;
    LONGLONG pos = 0;
    LONG len = 0;
    BYTE* buffer = nullptr;
    HRESULT hr = SampleRange(pSample, m_pIo, &pos, &len, &buffer);
    if (FAILED(hr)) return hr;
    return m_pIo->Request(pos, len, TRUE, buffer, pSample, dwUser);
}

HRESULT CAsyncOutputPin::WaitForNext(DWORD dwTimeout, IMediaSample** ppSample, DWORD_PTR* pdwUser) {
    if (!ppSample) return E_POINTER;
    LPVOID ctx = nullptr;
    LONG cbActual = 0;
    DWORD_PTR user = 0;
    HRESULT hr = m_pIo->WaitForNext(dwTimeout, &ctx, &user, &cbActual);
    auto* sample = static_cast<IMediaSample*>(ctx);
    if (sample && SUCCEEDED(hr)) SetActual(sample, cbActual);
    *ppSample = sample;
    if (pdwUser) *pdwUser = user;
    return hr;
}

HRESULT CAsyncOutputPin::SyncReadAligned(IMediaSample* pSample) {
    if (!pSample) return E_POINTER;
    LONGLONG pos = 0;
    LONG len = 0;
    BYTE* buffer = nullptr;
    HRESULT hr = SampleRange(pSample, m_pIo, &pos, &len, &buffer);
    if (FAILED(hr)) return hr;
    LONG cbActual = 0;
    hr = m_pIo->SyncReadAligned(pos, len, buffer, &cbActual, pSample);
    if (SUCCEEDED(hr)) SetActual(pSample, cbActual);
    return hr;
}

HRESULT CAsyncOutputPin::SyncRead(LONGLONG llPosition, LONG lLength, BYTE* pBuffer) {
    return m_pIo->SyncRead(llPosition, lLength, pBuffer);
}

HRESULT CAsyncOutputPin::Length(LONGLONG* pTotal, LONGLONG* pAvailable) {
    return m_pIo->Length(pTotal, pAvailable);
}

// ================================================================ CAsyncReader

CAsyncReader::CAsyncReader(const char* pName, IUnknown* pUnk, CAsyncStream* pStream, HRESULT* phr,
                           REFCLSID clsid)
    : CBaseFilter(pName, pUnk, &m_csFilter, clsid, phr),
      m_Io(pStream),
      m_OutputPin(phr, this, &m_Io, &m_csFilter) {}

CAsyncReader::~CAsyncReader() = default;

CBasePin* CAsyncReader::GetPin(int n) { return n == 0 ? &m_OutputPin : nullptr; }

void CAsyncReader::SetMediaType(const CMediaType& mt) {
    CAutoLock lock(&m_csFilter);
    m_mt = mt;
    m_OutputPin.IncrementTypeVersion();
}

// ================================================================ CFileStream

CFileStream::~CFileStream() { Close(); }

HRESULT CFileStream::Open(const char* path) {
    if (!path) return E_POINTER;
    CAutoLock lock(&m_csLock);
    Close();
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return E_FAIL;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return E_FAIL;
    }
    m_fd = fd;
    m_llLength = LONGLONG(st.st_size);
    m_llPosition = 0;
    return S_OK;
}

void CFileStream::Close() {
    CAutoLock lock(&m_csLock);
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_llLength = 0;
    m_llPosition = 0;
}

HRESULT CFileStream::SetPointer(LONGLONG llPos) {
    CAutoLock lock(&m_csLock);
    if (llPos < 0 || llPos > m_llLength) return S_FALSE;
    m_llPosition = llPos;
    return S_OK;
}

HRESULT CFileStream::Read(BYTE* pbBuffer, DWORD dwBytesToRead, BOOL, DWORD* pdwBytesRead) {
    CAutoLock lock(&m_csLock);
    if (pdwBytesRead) *pdwBytesRead = 0;
    if (m_fd < 0) return E_FAIL;
    if (!pbBuffer && dwBytesToRead) return E_POINTER;
    DWORD done = 0;
    while (done < dwBytesToRead) {
        ssize_t n = ::pread(m_fd, pbBuffer + done, dwBytesToRead - done, off_t(m_llPosition));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (done == 0) return E_FAIL;
            break;
        }
        if (n == 0) break;
        done += DWORD(n);
        m_llPosition += n;
    }
    if (pdwBytesRead) *pdwBytesRead = done;
    return S_OK;
}

LONGLONG CFileStream::Size(LONGLONG* pSizeAvailable) {
    CAutoLock lock(&m_csLock);
    if (pSizeAvailable) *pSizeAvailable = m_llLength;
    return m_llLength;
}

// ================================================================ CMemStream

HRESULT CMemStream::SetPointer(LONGLONG llPos) {
    CAutoLock lock(&m_csLock);
    if (llPos < 0 || llPos > LONGLONG(m_data.size())) return S_FALSE;
    m_llPosition = llPos;
    return S_OK;
}

HRESULT CMemStream::Read(BYTE* pbBuffer, DWORD dwBytesToRead, BOOL, DWORD* pdwBytesRead) {
    CAutoLock lock(&m_csLock);
    LONGLONG left = LONGLONG(m_data.size()) - m_llPosition;
    DWORD n = DWORD(std::min<LONGLONG>(left > 0 ? left : 0, dwBytesToRead));
    if (n) std::memcpy(pbBuffer, m_data.data() + m_llPosition, n);
    m_llPosition += n;
    if (pdwBytesRead) *pdwBytesRead = n;
    return S_OK;
}

LONGLONG CMemStream::Size(LONGLONG* pSizeAvailable) {
    CAutoLock lock(&m_csLock);
    if (pSizeAvailable) *pSizeAvailable = LONGLONG(m_data.size());
    return LONGLONG(m_data.size());
}

// ================================================================ CFileSource

CFileSource::CFileSource(IUnknown* pUnk, HRESULT* phr)
    : CAsyncReader("File Source", pUnk, &m_Stream, phr, CLSID_AsyncReader) {}

CFileSource::~CFileSource() = default;

CUnknown* CFileSource::CreateInstance(IUnknown* pUnk, HRESULT* phr) { return new CFileSource(pUnk, phr); }

HRESULT CFileSource::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IFileSourceFilter) return GetInterfaceAs<IFileSourceFilter>(this, ppv);
    return CAsyncReader::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CFileSource::Load(const char* pszFileName, const AM_MEDIA_TYPE* pmt) {
    if (!pszFileName) return E_POINTER;
    CAutoLock lock(&m_csFilter);
    if (m_OutputPin.IsConnected()) return VFW_E_ALREADY_CONNECTED;
    HRESULT hr = m_Stream.Open(pszFileName);
    if (FAILED(hr)) return hr;
    m_FileName = pszFileName;
    CMediaType mt;
    mt.majortype = MEDIATYPE_Stream;
    mt.subtype = pmt ? pmt->subtype : GUID_NULL;
    SetMediaType(mt);
    return S_OK;
}

HRESULT CFileSource::GetCurFile(std::string* ppszFileName, AM_MEDIA_TYPE* pmt) {
    if (!ppszFileName) return E_POINTER;
    CAutoLock lock(&m_csFilter);
    *ppszFileName = m_FileName;
    if (pmt) *pmt = m_mt;
    return S_OK;
}
