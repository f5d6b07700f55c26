#include "platform/codecs/mpeg_video_decoder.h"

#include <cstring>
#include <numeric>

#include "platform/codecs/codecs.h"
#include "platform/framework/mediatype.h"

using codecs::kNoTime;

namespace {

// The sequence header bytes and the picture description of an input type.
bool ParseInputType(const CMediaType& mt, codecs::VideoDecoderCore::Config* config,
                    CMpegVideoDecoder::Picture* picture) {
    if (mt.majortype != MEDIATYPE_Video) return false;
    const BYTE* block = mt.Format();
    const size_t length = mt.FormatLength();
    codecs::VideoDecoderCore::Config c;
    CMpegVideoDecoder::Picture p;
    if (mt.subtype == MEDIASUBTYPE_MPEG2_VIDEO && mt.formattype == FORMAT_MPEG2Video) {
        if (!block || length < offsetof(MPEG2VIDEOINFO, dwSequenceHeader)) return false;
        MPEG2VIDEOINFO info{};
        std::memcpy(static_cast<void*>(&info), block, offsetof(MPEG2VIDEOINFO, dwSequenceHeader));
        const size_t at = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);
        if (info.cbSequenceHeader > length - at) return false;
        c.sequenceHeader.assign(block + at, block + at + info.cbSequenceHeader);
        p.width = info.hdr.bmiHeader.biWidth;
        p.height = std::abs(info.hdr.bmiHeader.biHeight);
        p.aspectX = int(info.hdr.dwPictAspectRatioX);
        p.aspectY = int(info.hdr.dwPictAspectRatioY);
        p.avgTimePerFrame = info.hdr.AvgTimePerFrame;
        p.bitRate = info.hdr.dwBitRate;
    } else if ((mt.subtype == MEDIASUBTYPE_MPEG1Payload ||
                mt.subtype == MEDIASUBTYPE_MPEG1Packet) &&
               mt.formattype == FORMAT_MPEGVideo) {
        if (!block || length < offsetof(MPEG1VIDEOINFO, bSequenceHeader)) return false;
        MPEG1VIDEOINFO info{};
        std::memcpy(static_cast<void*>(&info), block, offsetof(MPEG1VIDEOINFO, bSequenceHeader));
        const size_t at = offsetof(MPEG1VIDEOINFO, bSequenceHeader);
        if (info.cbSequenceHeader > length - at) return false;
        c.mpeg1 = true;
        c.sequenceHeader.assign(block + at, block + at + info.cbSequenceHeader);
        const BITMAPINFOHEADER& bmi = info.hdr.bmiHeader;
        p.width = bmi.biWidth;
        p.height = std::abs(bmi.biHeight);
        // The splitter stores the aspect in the pels-per-meter fields
        // (width × Y, height × X).
        if (p.width > 0 && p.height > 0 && bmi.biXPelsPerMeter > 0 && bmi.biYPelsPerMeter > 0) {
            p.aspectX = bmi.biYPelsPerMeter / p.height;
            p.aspectY = bmi.biXPelsPerMeter / p.width;
        }
        p.avgTimePerFrame = info.hdr.AvgTimePerFrame;
        p.bitRate = info.hdr.dwBitRate;
    } else {
        return false;
    }
    if (p.width <= 0 || p.height <= 0 || p.width > 4096 || p.height > 4096) return false;
    if (p.aspectX <= 0 || p.aspectY <= 0) {
        p.aspectX = p.width;
        p.aspectY = p.height;
    }
    const int g = std::gcd(p.aspectX, p.aspectY);
    p.aspectX /= g;
    p.aspectY /= g;
    c.avgTimePerFrame = p.avgTimePerFrame;
    if (config) *config = std::move(c);
    if (picture) *picture = p;
    return true;
}

// YV12 wants even sizes; a picture never shrinks, the odd line is cut.
int Even(int v) {
    return v & ~1;
}

}  // namespace

// ------------------------------------------------------------------ input pins

CMpegVideoInputPin::CMpegVideoInputPin(CMpegVideoDecoder* filter, HRESULT* phr)
    : CBaseInputPin("Video input", filter, &filter->m_csFilter, phr, "Video"), m_pDecoder(filter) {}

HRESULT CMpegVideoInputPin::CheckMediaType(const CMediaType* pmt) {
    return pmt && ParseInputType(*pmt, nullptr, nullptr) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CMpegVideoInputPin::CompleteConnect(IPin* pReceivePin) {
    HRESULT hr = CBaseInputPin::CompleteConnect(pReceivePin);
    if (FAILED(hr)) return hr;
    // A new stream (another title) may keep the picture connection when its
    // pictures fit the agreed type; otherwise that connection has to go.
    CMpegVideoOutputPin* out = m_pDecoder->m_pOutput;
    if (out->IsConnected() && out->CheckMediaType(&out->CurrentMediaType()) != S_OK) {
        ComPtr<IPin> peer(out->GetConnected());
        peer->Disconnect();
        out->Disconnect();
    }
    return S_OK;
}

HRESULT CMpegVideoInputPin::Receive(IMediaSample* pSample) {
    CAutoLock lock(&m_pDecoder->m_csReceive);
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) return hr;
    if (!m_pDecoder->m_pOutput->IsConnected()) return S_OK;
    if (pSample->IsDiscontinuity() == S_OK) {
        m_pDecoder->m_core.Reset();
        m_pDecoder->m_bDiscontinuity = true;
    }
    BYTE* data = nullptr;
    pSample->GetPointer(&data);
    const long length = pSample->GetActualDataLength();
    REFERENCE_TIME start = kNoTime, stop = 0;
    if (FAILED(pSample->GetTime(&start, &stop))) start = kNoTime;
    if (!data || length <= 0) return S_OK;
    hr = m_pDecoder->m_core.Decode(data, size_t(length), start,
                                   [this](const AVFrame& f, REFERENCE_TIME s, REFERENCE_TIME e) {
                                       return m_pDecoder->DeliverPicture(f, s, e);
                                   });
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CMpegVideoInputPin::EndOfStream() {
    {
        CAutoLock lock(&m_pDecoder->m_csReceive);
        HRESULT hr = CheckStreaming();
        if (hr != S_OK) return hr;
        // The pictures still inside the decoder belong to this stream.
        m_pDecoder->m_core.Drain([this](const AVFrame& f, REFERENCE_TIME s, REFERENCE_TIME e) {
            return m_pDecoder->DeliverPicture(f, s, e);
        });
    }
    return m_pDecoder->m_pOutput->DeliverEndOfStream();
}

HRESULT CMpegVideoInputPin::BeginFlush() {
    CAutoLock lock(&m_pDecoder->m_csFilter);
    CBaseInputPin::BeginFlush();
    return m_pDecoder->m_pOutput->DeliverBeginFlush();
}

HRESULT CMpegVideoInputPin::EndFlush() {
    CAutoLock lock(&m_pDecoder->m_csFilter);
    {
        CAutoLock receive(&m_pDecoder->m_csReceive);
        m_pDecoder->m_core.Reset();
        m_pDecoder->m_bDiscontinuity = true;
    }
    CBaseInputPin::EndFlush();
    return m_pDecoder->m_pOutput->DeliverEndFlush();
}

HRESULT CMpegVideoInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    {
        CAutoLock receive(&m_pDecoder->m_csReceive);
        m_pDecoder->m_core.Reset();
        m_pDecoder->m_bDiscontinuity = true;
    }
    CBasePin::NewSegment(tStart, tStop, dRate);
    return m_pDecoder->m_pOutput->DeliverNewSegment(tStart, tStop, dRate);
}

CSubpictureInputPin::CSubpictureInputPin(CMpegVideoDecoder* filter, HRESULT* phr)
    : CBaseInputPin("Subpicture input", filter, &filter->m_csFilter, phr, "Subpicture"),
      m_pDecoder(filter) {}

HRESULT CSubpictureInputPin::CheckMediaType(const CMediaType* pmt) {
    if (!pmt || pmt->majortype != MEDIATYPE_Video) return VFW_E_TYPE_NOT_ACCEPTED;
    return pmt->subtype == MEDIASUBTYPE_DVD_SUBPICTURE ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSubpictureInputPin::Receive(IMediaSample* pSample) {
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) return hr;
    BYTE* data = nullptr;
    pSample->GetPointer(&data);
    const long length = pSample->GetActualDataLength();
    REFERENCE_TIME start = kNoTime, stop = 0;
    if (FAILED(pSample->GetTime(&start, &stop))) start = kNoTime;
    if (data && length > 0) m_pDecoder->m_subpictures.Decode(data, size_t(length), start);
    return S_OK;
}

// The picture stream decides when the graph is done; subpictures just stop.
HRESULT CSubpictureInputPin::EndOfStream() {
    return CheckStreaming() == S_OK ? S_OK : S_FALSE;
}

HRESULT CSubpictureInputPin::EndFlush() {
    m_pDecoder->m_subpictures.Reset();
    return CBaseInputPin::EndFlush();
}

// ------------------------------------------------------------------ output pin

CMpegVideoOutputPin::CMpegVideoOutputPin(CMpegVideoDecoder* filter, HRESULT* phr)
    : CBaseOutputPin("Video output", filter, &filter->m_csFilter, phr, "Output"),
      m_pDecoder(filter) {}

CMpegVideoOutputPin::~CMpegVideoOutputPin() {
    delete m_pPosition;
}

HRESULT CMpegVideoOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    // Without this a renderer fed only by this decoder cannot seek: titles
    // without sound would have no position at all.
    if (riid == IID_IMediaSeeking || riid == IID_IMediaPosition) {
        CAutoLock lock(m_pLock);
        if (!m_pPosition) {
            HRESULT hr = S_OK;
            m_pPosition = new CPosPassThru("Pass Through", GetOwner(), &hr, m_pDecoder->GetPin(0));
            if (FAILED(hr)) {
                delete m_pPosition;
                m_pPosition = nullptr;
                return hr;
            }
        }
        return m_pPosition->NonDelegatingQueryInterface(riid, ppv);
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CMpegVideoOutputPin::CheckConnect(IPin* pPin) {
    if (!m_pDecoder->m_pVideo->IsConnected()) return E_UNEXPECTED;
    return CBaseOutputPin::CheckConnect(pPin);
}

HRESULT CMpegVideoOutputPin::CheckMediaType(const CMediaType* pmt) {
    if (!pmt || pmt->majortype != MEDIATYPE_Video || pmt->subtype != MEDIASUBTYPE_YV12)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (pmt->formattype != FORMAT_VideoInfo2 && pmt->formattype != FORMAT_VideoInfo)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const BITMAPINFOHEADER* bmi = GetBitmapInfoHeader(pmt);
    const auto in = m_pDecoder->InputPicture();
    if (!bmi || in.width <= 0) return VFW_E_TYPE_NOT_ACCEPTED;
    // Rows may be wider than the picture (a stride), never narrower; the
    // height is positive: YV12 is always stored top-down.
    if (bmi->biHeight != Even(in.height) || bmi->biWidth < Even(in.width) || (bmi->biWidth & 1))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CMpegVideoOutputPin::GetMediaType(int iPosition, CMediaType* pmt) {
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 1) return VFW_S_NO_MORE_ITEMS;
    const auto in = m_pDecoder->InputPicture();
    if (in.width <= 0) return VFW_S_NO_MORE_ITEMS;
    const int w = Even(in.width), h = Even(in.height);
    BITMAPINFOHEADER bmi{};
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = w;
    bmi.biHeight = h;
    bmi.biPlanes = 1;
    bmi.biBitCount = 12;
    bmi.biCompression = MakeFourCC('Y', 'V', '1', '2');
    bmi.biSizeImage = DWORD(codecs::Yv12Size(w, h));
    const RECT full{0, 0, w, h};
    const REFERENCE_TIME frame = in.avgTimePerFrame;
    const DWORD rate = frame > 0 ? DWORD(double(bmi.biSizeImage) * 8 * UNITS / frame) : 0;

    pmt->InitMediaType();
    pmt->SetType(&MEDIATYPE_Video);
    pmt->SetSubtype(&MEDIASUBTYPE_YV12);
    pmt->SetSampleSize(bmi.biSizeImage);
    pmt->SetTemporalCompression(FALSE);
    if (iPosition == 0) {
        VIDEOINFOHEADER2 vih{};
        vih.rcSource = full;
        vih.rcTarget = full;
        vih.dwBitRate = rate;
        vih.AvgTimePerFrame = frame;
        vih.dwPictAspectRatioX = DWORD(in.aspectX);
        vih.dwPictAspectRatioY = DWORD(in.aspectY);
        vih.bmiHeader = bmi;
        pmt->SetFormatType(&FORMAT_VideoInfo2);
        pmt->SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih));
    } else {
        VIDEOINFOHEADER vih{};
        vih.rcSource = full;
        vih.rcTarget = full;
        vih.dwBitRate = rate;
        vih.AvgTimePerFrame = frame;
        vih.bmiHeader = bmi;
        pmt->SetFormatType(&FORMAT_VideoInfo);
        pmt->SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih));
    }
    return S_OK;
}

HRESULT CMpegVideoOutputPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) {
    const BITMAPINFOHEADER* bmi = GetBitmapInfoHeader(&CurrentMediaType());
    if (!bmi) return E_UNEXPECTED;
    ALLOCATOR_PROPERTIES want = *pProp;
    want.cBuffers = std::max<long>(want.cBuffers, 4);
    want.cbBuffer =
        std::max<long>(want.cbBuffer, long(codecs::Yv12Size(bmi->biWidth, bmi->biHeight)));
    want.cbAlign = std::max<long>(want.cbAlign, 1);
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = pAlloc->SetProperties(&want, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cbBuffer < want.cbBuffer || actual.cBuffers < 1) return E_FAIL;
    return S_OK;
}

// ------------------------------------------------------------------ filter

CUnknown* CMpegVideoDecoder::CreateInstance(IUnknown* pUnk, HRESULT* phr) {
    auto* f = new CMpegVideoDecoder(pUnk, phr);
    if (phr && FAILED(*phr)) {
        delete f;
        return nullptr;
    }
    return f;
}

CMpegVideoDecoder::CMpegVideoDecoder(IUnknown* pUnk, HRESULT* phr)
    : CBaseFilter("MPEG-2 video decoder", pUnk, &m_csFilter, CLSID_MpegDecoder, phr) {
    HRESULT hr = S_OK;
    m_pVideo = new CMpegVideoInputPin(this, &hr);
    m_pSubpicture = new CSubpictureInputPin(this, &hr);
    m_pOutput = new CMpegVideoOutputPin(this, &hr);
    if (phr && FAILED(hr)) *phr = hr;
}

CMpegVideoDecoder::~CMpegVideoDecoder() {
    delete m_pVideo;
    delete m_pSubpicture;
    delete m_pOutput;
}

CBasePin* CMpegVideoDecoder::GetPin(int n) {
    switch (n) {
        case 0:
            return m_pVideo;
        case 1:
            return m_pSubpicture;
        case 2:
            return m_pOutput;
        default:
            return nullptr;
    }
}

CMpegVideoDecoder::Picture CMpegVideoDecoder::InputPicture() const {
    Picture p;
    if (m_pVideo && m_pVideo->IsConnected())
        ParseInputType(m_pVideo->CurrentMediaType(), nullptr, &p);
    return p;
}

HRESULT CMpegVideoDecoder::OpenDecoder() {
    codecs::VideoDecoderCore::Config config;
    if (!ParseInputType(m_pVideo->CurrentMediaType(), &config, nullptr))
        return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = m_core.Open(config);
    if (FAILED(hr)) return hr;
    m_bDiscontinuity = true;
    return m_subpictures.Open();
}

HRESULT CMpegVideoDecoder::Pause() {
    CAutoLock lock(&m_csFilter);
    if (m_State == State_Stopped && m_pVideo->IsConnected()) {
        CAutoLock receive(&m_csReceive);
        HRESULT hr = OpenDecoder();
        if (FAILED(hr)) return hr;
    }
    HRESULT hr = CBaseFilter::Pause();
    // Nothing will ever arrive on an unconnected input: end the output's stream now.
    if (SUCCEEDED(hr) && !m_pVideo->IsConnected() && m_pOutput->IsConnected())
        m_pOutput->DeliverEndOfStream();
    return hr;
}

HRESULT CMpegVideoDecoder::Stop() {
    CAutoLock lock(&m_csFilter);
    if (m_State == State_Stopped) return S_OK;
    // Refuse new samples and free a thread blocked on an output buffer before
    // waiting for the streaming thread to leave the decoder.
    if (m_pVideo->IsConnected()) m_pVideo->Inactive();
    if (m_pSubpicture->IsConnected()) m_pSubpicture->Inactive();
    if (m_pOutput->IsConnected()) m_pOutput->Inactive();
    {
        CAutoLock receive(&m_csReceive);
        m_core.Close();
        m_subpictures.Reset();
    }
    return CBaseFilter::Stop();
}

HRESULT CMpegVideoDecoder::DeliverPicture(const AVFrame& frame, REFERENCE_TIME start,
                                          REFERENCE_TIME stop) {
    // After a seek the splitter starts up to a second and a half early, so
    // that a whole group of pictures leads up to the position; pictures that
    // end before the segment starts only feed the decoder. Delivered, they
    // would be the paused picture and a burst of late ones when running.
    if (stop <= 0) return S_OK;
    const BITMAPINFOHEADER* bmi = GetBitmapInfoHeader(&m_pOutput->CurrentMediaType());
    if (!bmi) return E_UNEXPECTED;
    const int stride = bmi->biWidth, height = bmi->biHeight;
    IMediaSample* out = nullptr;
    HRESULT hr = m_pOutput->GetDeliveryBuffer(&out, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    ComPtr<IMediaSample> sample;
    sample.Attach(out);
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    const size_t size = codecs::Yv12Size(stride, height);
    if (!buffer || size_t(sample->GetSize()) < size) return E_UNEXPECTED;

    codecs::PlanarPicture view = codecs::Yv12View(buffer, std::min(Even(frame.width), stride),
                                                  std::min(Even(frame.height), height), stride);
    if (frame.width < stride || frame.height < height) {
        // Black around a picture smaller than the agreed one.
        std::memset(buffer, 16, size_t(stride) * height);
        std::memset(buffer + size_t(stride) * height, 128, size - size_t(stride) * height);
    }
    codecs::CopyFrame(frame, view);
    m_subpictures.BlendInto(view, start);

    sample->SetActualDataLength(long(size));
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetPreroll(FALSE);
    sample->SetDiscontinuity(m_bDiscontinuity ? TRUE : FALSE);
    sample->SetMediaTime(nullptr, nullptr);
    m_bDiscontinuity = false;
    return m_pOutput->Deliver(sample.Get());
}
