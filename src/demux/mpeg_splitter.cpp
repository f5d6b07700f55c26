#include "demux/mpeg_splitter.h"

#include <chrono>
#include <cstdio>
#include <new>
#include <thread>

#include "demux/async_source.h"
#include "platform/win/messages.h"

CMpegSplitterFilter::CMpegSplitterFilter(IUnknown* pUnk, HRESULT* phr)
    : CBaseSplitterFilter("CMpegSplitterFilter", pUnk, phr, CLSID_MpegSplitter) {}

CMpegSplitterFilter::~CMpegSplitterFilter() {
    // The worker uses the scanner: end it before the scanner goes.
    if (ThreadExists()) {
        CallWorker(CMD_EXIT);
        Close();
    }
}

HRESULT CMpegSplitterFilter::Create(CMpegSplitterFilter** ppFilter) {
    if (!ppFilter) return E_POINTER;
    HRESULT hr = S_OK;
    auto* f = new (std::nothrow) CMpegSplitterFilter(nullptr, &hr);
    if (!f) return E_OUTOFMEMORY;
    f->NonDelegatingAddRef();
    if (FAILED(hr)) {
        f->NonDelegatingRelease();
        return hr;
    }
    *ppFilter = f;
    return S_OK;
}

HRESULT CMpegSplitterFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IAMStreamSelect) return GetInterfaceAs<IAMStreamSelect>(this, ppv);
    if (riid == IID_IMyMpegSplitter) return GetInterfaceAs<IMyMpegSplitter>(this, ppv);
    return CBaseSplitterFilter::NonDelegatingQueryInterface(riid, ppv);
}

// ---------------------------------------------------------------- IMyMpegSplitter

HRESULT CMpegSplitterFilter::SetTitleInfo(DvdTitleInfo* pInfo) {
    if (!pInfo) return E_POINTER;
    m_titleInfo = *pInfo;
    return S_OK;
}

HRESULT CMpegSplitterFilter::SetPlayRange(LONGLONG startMs, LONGLONG lengthMs, LONGLONG durationMs) {
    m_rtPlayStart = startMs * 10000;
    m_rtPlayLength = lengthMs * 10000;
    m_rtTitleDuration = durationMs * 10000;
    return S_OK;
}

// ---------------------------------------------------------------- outputs

HRESULT CMpegSplitterFilter::CreateOutputs(IAsyncReader* pAsyncReader) {
    m_pFile.reset();
    HRESULT hr = E_FAIL;
    try {
        m_pFile = std::make_unique<CMpegSplitterFile>(std::make_shared<CAsyncReaderSource>(pAsyncReader),
                                                      hr, &m_titleInfo);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        m_pFile.reset();
        return hr;
    }

    m_rtNewStart = 0;
    m_rtCurrent = 0;
    m_rtNewStop = m_rtStop = m_rtDuration = 0;

    static const char* const kNames[CMpegSplitterFile::nStreamLists] = {"Video", "Audio", "Subtitle"};
    for (int i = 0; i < CMpegSplitterFile::nStreamLists; ++i) {
        for (const SplitterStream& s : m_pFile->m_streams[size_t(i)]) {
            HRESULT phr = S_OK;
            auto pin = std::make_unique<CMpegSplitterOutputPin>(std::vector<CMediaType>{s.mt}, kNames[i],
                                                                this, &m_csFilter, &phr);
            if (i == CMpegSplitterFile::subpic) pin->SetMaxShift(LLONG_MAX);
            if (S_OK == AddOutputPin(s.GetKey(), std::move(pin))) break;
        }
    }

    if (m_pFile->IsRandomAccess() && m_pFile->m_rate)
        m_rtNewStop = m_rtStop = m_rtDuration = 10000000LL * m_pFile->GetLength() / m_pFile->m_rate;

    return m_outputs.empty() ? E_FAIL : S_OK;
}

bool CMpegSplitterFilter::DemuxInit() {
    if (!m_pFile) return false;
    m_rtStartOffset = 0;
    if (m_rtTitleDuration > 0)
        m_rtDuration = m_rtTitleDuration;
    else
        m_rtTitleDuration = m_rtDuration;
    if (m_rtPlayLength == 0) m_rtPlayLength = m_rtDuration;
    return true;
}

void CMpegSplitterFilter::DemuxSeek(REFERENCE_TIME rt) {
    CMpegSplitterFile* f = m_pFile.get();
    CMpegSplitterFile::CStreamList* master = f->GetMasterStream();

    if (f->IsStreaming()) {
        f->Seek(std::max<LONGLONG>(0, f->GetLength() - 102400));
        if (master && !master->empty()) m_rtStartOffset = f->m_rtMin + f->NextPTS(master->front().GetKey());
        return;
    }

    const REFERENCE_TIME rtPreroll = 10000000;
    if (rt <= rtPreroll || m_rtDuration <= 0) {
        f->Seek(0);
        return;
    }

    LONGLONG len = f->GetLength();
    LONGLONG seekpos = LONGLONG(double(rt) / double(m_rtDuration) * double(len));
    LONGLONG minseekpos = LLONG_MAX;
    REFERENCE_TIME rtmax = rt - rtPreroll, rtmin = rtmax - 5000000;

    if (m_rtStartOffset == 0) {
        for (int i = CMpegSplitterFile::video; i <= CMpegSplitterFile::audio; ++i) {
            for (const SplitterStream& s : f->m_streams[size_t(i)]) {
                CBaseSplitterOutputPin* pin = GetOutputPin(s.GetKey());
                if (!pin || !pin->IsConnected()) continue;
                f->Seek(seekpos);
                REFERENCE_TIME pdt = LLONG_MIN;
                for (int j = 0; j < 10; ++j) {
                    REFERENCE_TIME rt2 = f->NextPTS(s.GetKey());
                    if (rt2 < 0) break;
                    REFERENCE_TIME dt = rt2 - rtmax;
                    if (dt > 0 && dt == pdt) dt = 10000000;
                    if ((rtmin <= rt2 && rt2 <= rtmax) || (pdt > 0 && dt < 0)) {
                        minseekpos = std::min(minseekpos, f->GetPos());
                        break;
                    }
                    f->Seek(f->GetPos() - LONGLONG(double(dt) / double(m_rtDuration) * double(len)));
                    pdt = dt;
                }
            }
        }
    }

    if (minseekpos != LLONG_MAX) {
        f->Seek(minseekpos);
    } else {
        // Timestamps gave no answer: estimate by byte rate and shift the times.
        rt -= rtPreroll;
        seekpos = LONGLONG(double(rt) / double(m_rtDuration) * double(len));
        f->Seek(seekpos);
        if (master && !master->empty())
            m_rtStartOffset = f->m_rtMin + f->NextPTS(master->front().GetKey()) - rt;
        f->Seek(seekpos);
    }
}

bool CMpegSplitterFilter::DemuxLoop() {
    REFERENCE_TIME rtStartOffset = m_rtStartOffset ? m_rtStartOffset : m_pFile->m_rtMin;
    if (m_rtPlayStart) DemuxSeek(m_rtPlayStart);

    HRESULT hr = S_OK;
    while (SUCCEEDED(hr) && !CheckRequest(nullptr)) {
        // Streams are interleaved with an offset (audio runs ahead of video),
        // so the range ends once every stream has reached its end, not the
        // first one: stopping at the first would cut the others short.
        REFERENCE_TIME end = m_rtPlayStart + m_rtPlayLength;
        if (m_rtCurrent >= end && SlowestActivePosition() >= end) break;
        if ((hr = m_pFile->HasMoreData(1024 * 500, 1)) == S_OK) {
            // Waiting only makes sense while the source is still growing.
            if ((hr = DemuxNextPacket(rtStartOffset)) == S_FALSE && m_pFile->IsStreaming())
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
    return true;
}

HRESULT CMpegSplitterFilter::DemuxNextPacket(REFERENCE_TIME rtStartOffset) {
    CMpegSplitterFile* f = m_pFile.get();
    BYTE b = 0;
    if (!f->NextMpegStartCode(b)) return S_FALSE;

    if (b == 0xBA) {
        CMpegSplitterFile::pshdr h;
        if (!f->Read(h)) return S_FALSE;
    } else if (b == 0xBB) {
        if (!f->ReadSystemHeader()) return S_FALSE;
    } else if (b >= 0xBD && b < 0xF0) {
        CMpegSplitterFile::pesheader h;
        if (!f->Read(h, b) || !h.len) return S_FALSE;
        if (h.type == 2 && h.scrambling) return E_FAIL;

        LONGLONG pos = f->GetPos();
        DWORD key = f->AddStream(0, b, h.len);
        if (GetOutputPin(key)) {
            auto p = std::make_unique<Packet>();
            p->TrackNumber = key;
            p->bSyncPoint = h.fpts;
            p->bAppendable = !h.fpts;
            if (h.fpts) {
                p->rtStart = h.pts - rtStartOffset;
                p->rtStop = p->rtStart + 1;
            }
            LONGLONG n = LONGLONG(h.len) - (f->GetPos() - pos);
            bool ok = true;
            if (n > 0) {
                p->data.resize(size_t(n));
                ok = f->ByteRead(p->data.data(), n) == S_OK;
            }
            // A packet cut short by the end of the source is not delivered half-read.
            if (ok) DeliverPacket(std::move(p));
        }
        f->Seek(pos + h.len);
    }
    return S_OK;
}

// ---------------------------------------------------------------- IMediaSeeking

HRESULT CMpegSplitterFilter::GetDuration(LONGLONG* pDuration) {
    if (!pDuration) return E_POINTER;
    *pDuration = m_rtPlayLength;
    return S_OK;
}

HRESULT CMpegSplitterFilter::GetCurrentPosition(LONGLONG* pCurrent) {
    HRESULT hr = CBaseSplitterFilter::GetCurrentPosition(pCurrent);
    if (SUCCEEDED(hr)) {
        char text[64];
        std::snprintf(text, sizeof text, "curpos:%lld\n", static_cast<long long>(*pCurrent));
        OutputDebugString(text);
    }
    return hr;
}

// ---------------------------------------------------------------- IAMStreamSelect

HRESULT CMpegSplitterFilter::Count(DWORD* pcStreams) {
    if (!pcStreams) return E_POINTER;
    *pcStreams = 0;
    if (!m_pFile) return S_OK;
    std::lock_guard lock(m_pFile->m_csStreams);
    for (const auto& list : m_pFile->m_streams) *pcStreams += DWORD(list.size());
    return S_OK;
}

HRESULT CMpegSplitterFilter::Info(long lIndex, AM_MEDIA_TYPE** ppmt, DWORD* pdwFlags, LCID* plcid,
                                  DWORD* pdwGroup, std::string* ppszName, IUnknown** ppObject,
                                  IUnknown** ppUnk) {
    if (!m_pFile) return E_UNEXPECTED;
    std::lock_guard lock(m_pFile->m_csStreams);
    long j = 0;
    for (int i = 0; i < CMpegSplitterFile::nStreamLists; ++i) {
        const auto& list = m_pFile->m_streams[size_t(i)];
        long cnt = long(list.size());
        if (lIndex >= j && lIndex < j + cnt) {
            const SplitterStream& s = list[size_t(lIndex - j)];
            bool placeholder = i == CMpegSplitterFile::subpic && s.pid == 1;
            if (ppmt) *ppmt = CreateMediaType(&s.mt);
            if (pdwFlags)
                *pdwFlags = GetOutputPin(s.GetKey()) ? (AMSTREAMSELECTINFO_ENABLED | AMSTREAMSELECTINFO_EXCLUSIVE) : 0;
            if (plcid) *plcid = placeholder ? LCID(-1) : 0;
            if (pdwGroup) *pdwGroup = DWORD(i);
            if (ppObject) *ppObject = nullptr;
            if (ppUnk) *ppUnk = nullptr;
            if (ppszName) {
                if (placeholder) {
                    *ppszName = "No subtitles";
                } else {
                    std::string d = CMpegSplitterFile::Describe(s.mt);
                    const char* text = d.empty() ? CMpegSplitterFile::CStreamList::ToString(i) : d.c_str();
                    char name[512];
                    std::snprintf(name, sizeof name, "%s (%04x,%02x,%02x)", text, unsigned(s.pid),
                                  unsigned(s.pesid), unsigned(s.ps1id));
                    *ppszName = name;
                }
            }
            return S_OK;
        }
        j += cnt;
    }
    return E_UNEXPECTED;
}

HRESULT CMpegSplitterFilter::Enable(long lIndex, DWORD dwFlags) {
    if (!(dwFlags & AMSTREAMSELECTENABLE_ENABLE)) return E_NOTIMPL;
    if (!m_pFile) return S_FALSE;
    // The switch itself happens outside the stream lock: renaming a pin may
    // wait for the demultiplexing thread, which may be waiting to add a stream.
    SplitterStream to;
    DWORD fromKey = 0;
    bool found = false;
    {
        std::lock_guard lock(m_pFile->m_csStreams);
        long j = 0;
        for (int i = 0; i < CMpegSplitterFile::nStreamLists && !found; ++i) {
            const auto& list = m_pFile->m_streams[size_t(i)];
            long cnt = long(list.size());
            if (lIndex >= j && lIndex < j + cnt) {
                to = list[size_t(lIndex - j)];
                for (const SplitterStream& from : list)
                    if (GetOutputPin(from.GetKey())) {
                        fromKey = from.GetKey();
                        found = true;
                        break;
                    }
                if (!found) return S_FALSE;  // this group has no output
            }
            j += cnt;
        }
    }
    if (!found) return S_FALSE;
    HRESULT hr = RenameOutputPin(fromKey, to.GetKey(), &to.mt);
    return FAILED(hr) ? hr : S_OK;
}
