#pragma once
// The DVD source filter: one area of the open DVD (a whole title, or one
// chapter of it) as a seekable byte stream on the framework's asynchronous
// reader, which the splitter pulls through IAsyncReader.
#include <memory>
#include <string>

#include "platform/framework/framework.h"
#include "platform/libdvd/libdvd.h"

// Control interface of the DVD source.
struct IMyDVDReader : IUnknown {
    // Attaches the catalogue's open DVD; the filter reads through it and never
    // closes it. Selects title 0 as a whole title.
    virtual HRESULT SetDvdReader(DvdHandle handle) = 0;
    // Selects title `title`, whole (chapter -1) or one chapter; the stream
    // starts over at position 0.
    virtual HRESULT SetTitleArea(int title, int chapter) = 0;
    // The selected title's duration in whole milliseconds.
    virtual HRESULT GetTitleDuration(LONGLONG* pDuration) = 0;
};
DISCREEL_DECLARE_IID(IMyDVDReader, "{1ADB4EE7-45A0-4459-A508-AD77B32C01B2}");

DISCREEL_DEFINE_GUID(CLSID_DVDSource, "{783EAEDE-D5EE-4FCE-1C8F-A4F53D0A2F73}");

// libDvd as the reader's stream. Reads go through a five-sector buffer so the
// splitter's many short seeks inside one block never reach the library.
class CDVDStream : public CAsyncStream {
public:
    static constexpr LONG kBufferSize = kDvdReadBlockSize;

    CDVDStream();
    ~CDVDStream() override;
    CDVDStream(const CDVDStream&) = delete;
    CDVDStream& operator=(const CDVDStream&) = delete;

    // Attaches a handle; `owns`: close it when done. A handle the stream owned
    // before is closed first. E_FAIL when the buffer cannot be had.
    HRESULT Attach(DvdHandle handle, bool owns);
    // Area selection: title t, chapter c (-1 = whole title).
    void SelectArea(int title, int chapter);
    LONGLONG TitleDuration();
    bool HasBuffer() const { return m_pBuffer != nullptr; }
    bool AllocateBuffer();

    // CAsyncStream
    HRESULT SetPointer(LONGLONG llPos) override;
    HRESULT Read(BYTE* pbBuffer, DWORD dwBytesToRead, BOOL bAlign, DWORD* pdwBytesRead) override;
    LONGLONG Size(LONGLONG* pSizeAvailable = nullptr) override;
    DWORD Alignment() override { return 1; }
    void Lock() override { m_csLock.Lock(); }
    void Unlock() override { m_csLock.Unlock(); }

    // For diagnostics and tests.
    DvdHandle Handle();
    LONGLONG Position();
    LONG Remaining();

private:
    void CloseOwned();

    CCritSec m_csLock;
    bool m_bOwnsHandle = false;
    DvdHandle m_hDvd = 0;
    LONGLONG m_llPosition = 0;
    LONGLONG m_llLength = 0;
    std::unique_ptr<BYTE[]> m_pBuffer;
    BYTE* m_pCursor = nullptr;
    LONG m_lRemaining = 0;
    int m_nTitle = 0;
    int m_nChapter = -1;
    std::unique_ptr<DvdInfo> m_pInfo;
};

namespace dvd_detail {
// Holds the stream so that it is built before, and torn down after, the
// reader base that keeps a pointer to it (and whose worker may still use it).
struct DVDStreamHolder {
    CDVDStream m_Stream;
};
}  // namespace dvd_detail

class CDVDReader : private dvd_detail::DVDStreamHolder,
                   public CAsyncReader,
                   public IFileSourceFilter,
                   public IMyDVDReader {
public:
    // *phr = E_OUTOFMEMORY (and null returned) when the object cannot be made.
    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr);
    CDVDReader(IUnknown* pUnk, HRESULT* phr);
    ~CDVDReader() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IFileSourceFilter: opens a drive, folder or ISO image itself (and closes
    // it when done); the media type argument is ignored.
    HRESULT Load(const char* pszFileName, const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetCurFile(std::string* ppszFileName, AM_MEDIA_TYPE* pmt) override;

    // IMyDVDReader
    HRESULT SetDvdReader(DvdHandle handle) override;
    HRESULT SetTitleArea(int title, int chapter) override;
    HRESULT GetTitleDuration(LONGLONG* pDuration) override;

    CDVDStream& Stream() { return m_Stream; }

private:
    void Attached(const std::string& fileName);

    std::string m_FileName;
};
