#include "dvd/dvd_reader.h"

#include <new>

// ================================================================ CDVDReader

CUnknown* CDVDReader::CreateInstance(IUnknown* pUnk, HRESULT* phr) {
    HRESULT hr = S_OK;
    CDVDReader* reader = new (std::nothrow) CDVDReader(pUnk, &hr);
    if (!reader) hr = E_OUTOFMEMORY;
    if (phr) *phr = hr;
    return reader;
}

CDVDReader::CDVDReader(IUnknown* pUnk, HRESULT* phr)
    : CAsyncReader("DVD Reader", pUnk, &m_Stream, phr, CLSID_DVDSource) {}

CDVDReader::~CDVDReader() = default;

HRESULT CDVDReader::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IFileSourceFilter) return GetInterfaceAs<IFileSourceFilter>(this, ppv);
    if (riid == IID_IMyDVDReader) return GetInterfaceAs<IMyDVDReader>(this, ppv);
    return CAsyncReader::NonDelegatingQueryInterface(riid, ppv);
}

void CDVDReader::Attached(const std::string& fileName) {
    m_FileName = fileName;
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Stream);
    mt.SetSubtype(&GUID_NULL);
    SetMediaType(mt);
}

HRESULT CDVDReader::SetDvdReader(DvdHandle handle) {
    // No DVD to read: say so now rather than fail on the first read.
    if (handle == 0) return E_INVALIDARG;
    HRESULT hr = m_Stream.Attach(handle, false);
    if (FAILED(hr)) return hr;
    Attached("DVD");
    return S_OK;
}

HRESULT CDVDReader::Load(const char* pszFileName, const AM_MEDIA_TYPE* /*pmt*/) {
    if (!pszFileName) return E_POINTER;
    if (!m_Stream.AllocateBuffer()) return E_FAIL;
    // The whole path: a drive is /dev/sr0 or its mount point, not a letter.
    DvdHandle handle = MyDVDOpen(pszFileName);
    if (handle == 0) return E_FAIL;
    HRESULT hr = m_Stream.Attach(handle, true);
    if (FAILED(hr)) {
        MyDVDClose(handle);
        return hr;
    }
    Attached(pszFileName);
    return S_OK;
}

HRESULT CDVDReader::GetCurFile(std::string* ppszFileName, AM_MEDIA_TYPE* /*pmt*/) {
    if (!ppszFileName) return E_POINTER;
    *ppszFileName = m_FileName;
    return S_OK;
}

HRESULT CDVDReader::SetTitleArea(int title, int chapter) {
    m_Stream.SelectArea(title, chapter);
    return S_OK;
}

HRESULT CDVDReader::GetTitleDuration(LONGLONG* pDuration) {
    if (!pDuration) return E_POINTER;
    *pDuration = m_Stream.TitleDuration();
    return S_OK;
}
