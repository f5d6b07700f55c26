#pragma once
// A pull-mode source: the output pin serves IAsyncReader (queued requests
// completed by a worker thread, synchronous and aligned reads, Length, flushing)
// over a CAsyncStream that the derived filter supplies. The pin offers the
// filter's media type; a GUID_NULL subtype accepts any subtype of the major type.
#include <cstdio>
#include <deque>
#include <list>
#include <string>
#include <thread>

#include "filter.h"

using PVOID = void*;

// The byte stream a reader reads. Every worker read is Lock, SetPointer, Read, Unlock.
class CAsyncStream {
public:
    virtual ~CAsyncStream() = default;
    virtual HRESULT SetPointer(LONGLONG llPos) = 0;
    // Reads up to dwBytesToRead at the pointer; *pdwBytesRead gets the count.
    // S_OK with fewer bytes at the end of the stream; a failure when nothing could be read.
    virtual HRESULT Read(BYTE* pbBuffer, DWORD dwBytesToRead, BOOL bAlign, DWORD* pdwBytesRead) = 0;
    // Total length; *pSizeAvailable (if given) gets what can be read now.
    virtual LONGLONG Size(LONGLONG* pSizeAvailable = nullptr) = 0;
    virtual DWORD Alignment() = 0;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

// One read: the range, where it goes and who asked.
class CAsyncRequest {
public:
    HRESULT Request(class CAsyncIo* pIo, CAsyncStream* pStream, LONGLONG llPos, LONG lLength,
                    BOOL bAligned, BYTE* pBuffer, LPVOID pContext, DWORD_PTR dwUser);
    // Performs the read (stream locked around it).
    HRESULT Complete();
    HRESULT Cancel() { return S_OK; }
    LPVOID GetContext() const { return m_pContext; }
    DWORD_PTR GetUser() const { return m_dwUser; }
    HRESULT GetHResult() const { return m_hr; }
    LONG GetActualLength() const { return m_cbActual; }
    LONGLONG GetStart() const { return m_llPos; }

private:
    CAsyncIo* m_pIo = nullptr;
    CAsyncStream* m_pStream = nullptr;
    LONGLONG m_llPos = 0;
    BOOL m_bAligned = FALSE;
    LONG m_lLength = 0;
    BYTE* m_pBuffer = nullptr;
    LPVOID m_pContext = nullptr;
    DWORD_PTR m_dwUser = 0;
    HRESULT m_hr = S_OK;
    LONG m_cbActual = 0;
};

// The request queue and its worker thread. Requests complete in order. A
// flush completes the pending ones unread (their result VFW_E_WRONG_STATE) so
// that WaitForNext can hand every sample back, and refuses new requests.
class CAsyncIo {
public:
    explicit CAsyncIo(CAsyncStream* pStream);
    ~CAsyncIo();
    CAsyncIo(const CAsyncIo&) = delete;
    CAsyncIo& operator=(const CAsyncIo&) = delete;

    // Starts/stops the worker (pin Active/Inactive; Request starts it too).
    HRESULT AsyncActive();
    HRESULT AsyncInactive();

    // VFW_E_WRONG_STATE while flushing; VFW_E_BADALIGN for a misaligned aligned request.
    HRESULT Request(LONGLONG llPos, LONG lLength, BOOL bAligned, BYTE* pBuffer, LPVOID pContext,
                    DWORD_PTR dwUser);
    // The next completed request. VFW_E_TIMEOUT after dwTimeout ms without one;
    // VFW_E_WRONG_STATE while flushing once none is left. On success the
    // request's own result is returned (S_FALSE for a short read).
    HRESULT WaitForNext(DWORD dwTimeout, LPVOID* ppContext, DWORD_PTR* pdwUser, LONG* pcbActual);
    HRESULT SyncReadAligned(LONGLONG llPos, LONG lLength, BYTE* pBuffer, LONG* pcbActual,
                            PVOID pvContext);
    // S_FALSE when fewer bytes than asked were read.
    HRESULT SyncRead(LONGLONG llPos, LONG lLength, BYTE* pBuffer);
    HRESULT Length(LONGLONG* pllTotal, LONGLONG* pllAvailable);
    HRESULT Alignment(LONG* pl);
    HRESULT BeginFlush();
    HRESULT EndFlush();
    LONG Alignment() { return LONG(m_pStream->Alignment()); }
    BOOL IsAligned(LONG l) const;
    BOOL IsAligned(LONGLONG ll) const;

private:
    void ThreadProc();
    CAsyncStream* m_pStream;
    std::mutex m_mutex;
    std::condition_variable m_workCv;   // requests to do / stop
    std::condition_variable m_doneCv;   // requests done / flush state changed
    std::deque<CAsyncRequest> m_listWork;
    std::deque<CAsyncRequest> m_listDone;
    int m_cItemsOut = 0;   // taken by the worker, not yet done
    bool m_bFlushing = false;
    bool m_bStop = false;
    std::thread m_thread;
};
class CAsyncReader;

class CAsyncOutputPin : public IAsyncReader, public CBasePin {
public:
    CAsyncOutputPin(HRESULT* phr, CAsyncReader* pReader, CAsyncIo* pIo, CCritSec* pLock);
    ~CAsyncOutputPin() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return CBasePin::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return CBasePin::AddRef(); }
    ULONG Release() override { return CBasePin::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPin
    HRESULT Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    // IPin and IAsyncReader share BeginFlush/EndFlush: both flush the request
    // queue (pending requests complete unread, new ones fail until EndFlush).
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

    // CBasePin
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT CheckMediaType(const CMediaType* pType) override;
    HRESULT CheckConnect(IPin* pPin) override;
    // The connection holds only when the input asked for IAsyncReader.
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // IAsyncReader
    HRESULT RequestAllocator(IMemAllocator* pPreferred, ALLOCATOR_PROPERTIES* pProps,
                             IMemAllocator** ppActual) override;
    HRESULT Request(IMediaSample* pSample, DWORD_PTR dwUser) override;
    HRESULT WaitForNext(DWORD dwTimeout, IMediaSample** ppSample, DWORD_PTR* pdwUser) override;
    HRESULT SyncReadAligned(IMediaSample* pSample) override;
    HRESULT SyncRead(LONGLONG llPosition, LONG lLength, BYTE* pBuffer) override;
    HRESULT Length(LONGLONG* pTotal, LONGLONG* pAvailable) override;

private:
    HRESULT InitAllocator(IMemAllocator** ppAlloc);
    CAsyncReader* m_pReader;
    CAsyncIo* m_pIo;
    std::atomic<bool> m_bQueriedForAsyncReader{false};
};

// The filter: one output pin "Output" over the given stream. Derived classes
// set m_mt (the offered type) and may add interfaces.
class CAsyncReader : public CBaseFilter {
public:
    CAsyncReader(const char* pName, IUnknown* pUnk, CAsyncStream* pStream, HRESULT* phr,
                 REFCLSID clsid = CLSID_AsyncReader);
    ~CAsyncReader() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    const CMediaType* LoadType() const { return &m_mt; }
    // Replaces the offered type (only while not connected).
    void SetMediaType(const CMediaType& mt);

protected:
    CCritSec m_csFilter;
    CAsyncIo m_Io;
    CAsyncOutputPin m_OutputPin;
    CMediaType m_mt;
};

// A stream over a plain file (pread), for sources and tests.
class CFileStream : public CAsyncStream {
public:
    CFileStream() = default;
    ~CFileStream() override;
    HRESULT Open(const char* path);  // E_FAIL when it cannot be opened
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    HRESULT SetPointer(LONGLONG llPos) override;
    HRESULT Read(BYTE* pbBuffer, DWORD dwBytesToRead, BOOL bAlign, DWORD* pdwBytesRead) override;
    LONGLONG Size(LONGLONG* pSizeAvailable = nullptr) override;
    DWORD Alignment() override { return 1; }
    void Lock() override { m_csLock.Lock(); }
    void Unlock() override { m_csLock.Unlock(); }

private:
    CCritSec m_csLock;
    int m_fd = -1;
    LONGLONG m_llPosition = 0;
    LONGLONG m_llLength = 0;
};

// A stream over bytes in memory (copied in), for tests.
class CMemStream : public CAsyncStream {
public:
    explicit CMemStream(std::vector<BYTE> data, DWORD alignment = 1)
        : m_data(std::move(data)), m_align(alignment) {}
    HRESULT SetPointer(LONGLONG llPos) override;
    HRESULT Read(BYTE* pbBuffer, DWORD dwBytesToRead, BOOL bAlign, DWORD* pdwBytesRead) override;
    LONGLONG Size(LONGLONG* pSizeAvailable = nullptr) override;
    DWORD Alignment() override { return m_align; }
    void Lock() override { m_csLock.Lock(); }
    void Unlock() override { m_csLock.Unlock(); }

private:
    CCritSec m_csLock;
    std::vector<BYTE> m_data;
    LONGLONG m_llPosition = 0;
    DWORD m_align;
};

// A ready-made file source: CAsyncReader + IFileSourceFilter over CFileStream.
// Load opens the file; the type is MEDIATYPE_Stream with the given (or a
// GUID_NULL) subtype.
class CFileSource : public CAsyncReader, public IFileSourceFilter {
public:
    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr);
    CFileSource(IUnknown* pUnk, HRESULT* phr);
    ~CFileSource() override;
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT Load(const char* pszFileName, const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetCurFile(std::string* ppszFileName, AM_MEDIA_TYPE* pmt) override;

private:
    CFileStream m_Stream;
    std::string m_FileName;
};
