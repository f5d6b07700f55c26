// CDVDStream lives apart from the filter so that it can be used (and tested)
// without the reader's pin and worker.
#include "dvd/dvd_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/win/messages.h"

// ================================================================ CDVDStream

CDVDStream::CDVDStream() = default;

CDVDStream::~CDVDStream() {
    CAutoLock lock(&m_csLock);
    CloseOwned();
}

void CDVDStream::CloseOwned() {
    if (m_bOwnsHandle && m_hDvd != 0) MyDVDClose(m_hDvd);
    m_bOwnsHandle = false;
    m_hDvd = 0;
}

bool CDVDStream::AllocateBuffer() {
    CAutoLock lock(&m_csLock);
    if (!m_pBuffer) {
        m_pBuffer.reset(new (std::nothrow) BYTE[kBufferSize]);
        m_pCursor = m_pBuffer.get();
    }
    if (!m_pInfo) m_pInfo.reset(new (std::nothrow) DvdInfo);
    return m_pBuffer && m_pInfo;
}

HRESULT CDVDStream::Attach(DvdHandle handle, bool owns) {
    CAutoLock lock(&m_csLock);
    if (!AllocateBuffer()) return E_FAIL;
    // A handle of our own would otherwise stay open for the life of the process.
    if (m_hDvd != handle) CloseOwned();
    m_hDvd = handle;
    std::memset(m_pInfo.get(), 0, sizeof(DvdInfo));
    MyDVDGetInfo(m_hDvd, m_pInfo.get());
    SelectArea(0, -1);
    m_bOwnsHandle = owns;
    return S_OK;
}

void CDVDStream::SelectArea(int title, int chapter) {
    CAutoLock lock(&m_csLock);
    if (m_pBuffer) std::memset(m_pBuffer.get(), 0, kBufferSize);
    m_pCursor = m_pBuffer.get();
    m_lRemaining = 0;
    m_nTitle = title;
    m_nChapter = chapter;
    MyDVDSetArea(m_hDvd, title, chapter == -1 ? 0 : chapter);
    if (chapter == -1)
        MyDvdSetStopPos(m_hDvd, title + 1, 0);
    else
        MyDvdSetStopPos(m_hDvd, title, chapter + 1);
    m_llPosition = 0;

    // A chapter area reports the chapter's own size: that is what reading it
    // delivers, so the splitter sees the true end from the start.
    m_llLength = 0;
    if (m_pInfo && title >= 0 && title < std::min(m_pInfo->TitleCount, kDvdMaxTitles)) {
        const DvdTitleInfo& t = m_pInfo->Titles[title];
        int chapters = std::clamp(t.ChapterCount, 0, kDvdMaxChapters);
        LONGLONG sectors = 0;
        if (chapter == -1) {
            for (int c = 0; c < chapters; ++c) sectors += t.ChapterSectors[c];
        } else if (chapter >= 0 && chapter < chapters) {
            sectors = t.ChapterSectors[chapter];
        }
        m_llLength = sectors * kDvdSectorSize;
    }
}

LONGLONG CDVDStream::TitleDuration() {
    CAutoLock lock(&m_csLock);
    if (!m_pInfo || m_nTitle < 0 || m_nTitle >= std::min(m_pInfo->TitleCount, kDvdMaxTitles)) return 0;
    return static_cast<LONGLONG>(m_pInfo->Titles[m_nTitle].Duration);
}

HRESULT CDVDStream::Read(BYTE* pbBuffer, DWORD dwBytesToRead, BOOL /*bAlign*/, DWORD* pdwBytesRead) {
    CAutoLock lock(&m_csLock);
    if (pdwBytesRead) *pdwBytesRead = 0;
    if (!m_pBuffer || m_lRemaining < 0) return E_FAIL;
    DWORD delivered = 0;
    while (delivered < dwBytesToRead) {
        if (m_lRemaining <= 0) {
            m_pCursor = m_pBuffer.get();
            m_lRemaining = MyDVDRead(m_hDvd, m_pBuffer.get(), kBufferSize);
            if (m_lRemaining <= 0) {
                // The area ends where reading stopped.
                m_llLength = m_llPosition;
                OutputDebugString("MyDVDRead error\n");
                break;
            }
        }
        DWORD n = std::min<DWORD>(DWORD(m_lRemaining), dwBytesToRead - delivered);
        std::memcpy(pbBuffer + delivered, m_pCursor, n);
        delivered += n;
        m_pCursor += n;
        m_llPosition += n;
        m_lRemaining -= LONG(n);
    }
    if (pdwBytesRead) *pdwBytesRead = delivered;
    return delivered > 0 ? S_OK : E_FAIL;
}

HRESULT CDVDStream::SetPointer(LONGLONG llPos) {
    CAutoLock lock(&m_csLock);
    if (!m_pBuffer) return E_FAIL;
    if (m_llPosition <= llPos && llPos <= m_llPosition + m_lRemaining) {
        LONG skip = LONG(llPos - m_llPosition);
        m_pCursor += skip;
        m_lRemaining -= skip;
        m_llPosition = llPos;
        return S_OK;
    }
    LONGLONG reached = MyDVDSeek(m_hDvd, llPos, 0);
    if (reached < 0) return E_FAIL;
    m_llPosition = reached;
    m_lRemaining = 0;
    m_pCursor = m_pBuffer.get();
    // Bytes past the target cannot be given back: better a failed request
    // than a stream with a hole in it.
    if (reached > llPos) return E_FAIL;

    // Read up to the target in pieces, whatever the distance.
    BYTE scratch[kBufferSize];
    LONGLONG left = llPos - reached;
    HRESULT hr = S_OK;
    while (left > 0) {
        DWORD piece = DWORD(std::min<LONGLONG>(left, kBufferSize)), got = 0;
        hr = Read(scratch, piece, FALSE, &got);
        if (FAILED(hr) || got < piece) break;
        left -= got;
    }
    return hr;
}

LONGLONG CDVDStream::Size(LONGLONG* pSizeAvailable) {
    CAutoLock lock(&m_csLock);
    if (pSizeAvailable) *pSizeAvailable = m_llLength;
    return m_llLength;
}

DvdHandle CDVDStream::Handle() {
    CAutoLock lock(&m_csLock);
    return m_hDvd;
}

LONGLONG CDVDStream::Position() {
    CAutoLock lock(&m_csLock);
    return m_llPosition;
}

LONG CDVDStream::Remaining() {
    CAutoLock lock(&m_csLock);
    return m_lRemaining;
}
