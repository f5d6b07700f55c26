#include "platform/codecs/audio_decoder.h"

#include <cstring>

#include "platform/codecs/codecs.h"
#include "platform/framework/mediatype.h"

using codecs::AudioCodec;
using codecs::kNoTime;

bool CDvdAudioDecoder::ConfigFor(const CMediaType& mt, codecs::AudioDecoderCore::Config* out) {
    if (mt.majortype != MEDIATYPE_Audio || mt.formattype != FORMAT_WaveFormatEx) return false;
    const BYTE* block = mt.Format();
    if (!block || mt.FormatLength() < sizeof(WAVEFORMATEX)) return false;
    WAVEFORMATEX wfx;
    std::memcpy(&wfx, block, sizeof(wfx));
    codecs::AudioDecoderCore::Config c;
    const GUID& s = mt.subtype;
    if (s == MEDIASUBTYPE_DOLBY_AC3 || s == MEDIASUBTYPE_WAVE_DOLBY_AC3) {
        c.codec = AudioCodec::Ac3;
    } else if (s == MEDIASUBTYPE_DTS || s == MEDIASUBTYPE_WAVE_DTS) {
        c.codec = AudioCodec::Dts;
    } else if (s == MEDIASUBTYPE_DVD_LPCM_AUDIO) {
        c.codec = AudioCodec::DvdLpcm;
        c.bitsPerSample = wfx.wBitsPerSample;
    } else if (s == MEDIASUBTYPE_MP3) {
        c.codec = AudioCodec::Mp3;
    } else if (s == MEDIASUBTYPE_MPEG1AudioPayload || s == MEDIASUBTYPE_MPEG1Payload ||
               s == MEDIASUBTYPE_MPEG1Packet || s == MEDIASUBTYPE_MPEG2_AUDIO) {
        c.codec = AudioCodec::MpegAudio;
        if (mt.FormatLength() >= sizeof(MPEG1WAVEFORMAT)) {
            MPEG1WAVEFORMAT mpeg;
            std::memcpy(&mpeg, block, sizeof(mpeg));
            if (mpeg.fwHeadLayer == ACM_MPEG_LAYER3) c.codec = AudioCodec::Mp3;
        }
    } else if (s == MEDIASUBTYPE_AAC) {
        c.codec = AudioCodec::Aac;
        const size_t extra = std::min<size_t>(wfx.cbSize, mt.FormatLength() - sizeof(WAVEFORMATEX));
        c.extradata.assign(block + sizeof(WAVEFORMATEX), block + sizeof(WAVEFORMATEX) + extra);
    } else {
        return false;
    }
    c.channels = wfx.nChannels;
    c.sampleRate = int(wfx.nSamplesPerSec);
    if (c.channels < 1 || c.channels > 8 || c.sampleRate < 4000 || c.sampleRate > 192000)
        return false;
    if (c.codec == AudioCodec::DvdLpcm && c.bitsPerSample != 16 && c.bitsPerSample != 20 &&
        c.bitsPerSample != 24)
        return false;
    if (out) *out = std::move(c);
    return true;
}

CUnknown* CDvdAudioDecoder::CreateInstance(IUnknown* pUnk, HRESULT* phr) {
    return new CDvdAudioDecoder(pUnk, phr);
}

CDvdAudioDecoder::CDvdAudioDecoder(IUnknown* pUnk, HRESULT*)
    : CTransformFilter("DVD audio decoder", pUnk, CLSID_MpaDecoder) {}

CDvdAudioDecoder::~CDvdAudioDecoder() = default;

HRESULT CDvdAudioDecoder::CheckInputType(const CMediaType* mtIn) {
    return mtIn && ConfigFor(*mtIn, nullptr) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CDvdAudioDecoder::GetMediaType(int iPosition, CMediaType* pmt) {
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
    codecs::AudioDecoderCore::Config c;
    if (!m_pInput || !m_pInput->IsConnected() || !ConfigFor(m_pInput->CurrentMediaType(), &c))
        return VFW_S_NO_MORE_ITEMS;
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = WORD(c.channels);
    wfx.nSamplesPerSec = DWORD(c.sampleRate);
    wfx.wBitsPerSample = 16;
    wfx.nBlockAlign = WORD(c.channels * 2);
    wfx.nAvgBytesPerSec = wfx.nSamplesPerSec * wfx.nBlockAlign;
    wfx.cbSize = 0;
    pmt->InitMediaType();
    pmt->SetType(&MEDIATYPE_Audio);
    pmt->SetSubtype(&MEDIASUBTYPE_PCM);
    pmt->SetFormatType(&FORMAT_WaveFormatEx);
    pmt->SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof(wfx));
    pmt->SetSampleSize(wfx.nBlockAlign);
    return S_OK;
}

HRESULT CDvdAudioDecoder::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) {
    codecs::AudioDecoderCore::Config c;
    if (!mtIn || !mtOut || !ConfigFor(*mtIn, &c)) return VFW_E_TYPE_NOT_ACCEPTED;
    if (mtOut->majortype != MEDIATYPE_Audio || mtOut->subtype != MEDIASUBTYPE_PCM ||
        mtOut->formattype != FORMAT_WaveFormatEx)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const WAVEFORMATEX* wfx = GetWaveFormat(mtOut);
    if (!wfx || wfx->wBitsPerSample != 16 || wfx->nChannels != c.channels ||
        int(wfx->nSamplesPerSec) != c.sampleRate)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CDvdAudioDecoder::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) {
    codecs::AudioDecoderCore::Config c;
    if (!ConfigFor(m_pInput->CurrentMediaType(), &c)) return E_UNEXPECTED;
    ALLOCATOR_PROPERTIES want = *pProp;
    // A quarter of a second per buffer holds any frame of these codecs.
    want.cBuffers = std::max<long>(want.cBuffers, 8);
    want.cbBuffer =
        std::max<long>(want.cbBuffer, std::max(c.sampleRate * c.channels * 2 / 4, 32768));
    want.cbAlign = std::max<long>(want.cbAlign, 1);
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = pAlloc->SetProperties(&want, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cbBuffer < want.cbBuffer || actual.cBuffers < 1) return E_FAIL;
    return S_OK;
}

HRESULT CDvdAudioDecoder::StartStreaming() {
    codecs::AudioDecoderCore::Config c;
    if (!ConfigFor(m_pInput->CurrentMediaType(), &c)) return VFW_E_TYPE_NOT_ACCEPTED;
    m_bDiscontinuity = true;
    return m_core.Open(c);
}

HRESULT CDvdAudioDecoder::StopStreaming() {
    m_core.Close();
    return S_OK;
}

HRESULT CDvdAudioDecoder::Receive(IMediaSample* pSample) {
    CAutoLock lock(&m_csReceive);
    if (!m_core.IsOpen()) return VFW_E_WRONG_STATE;
    if (pSample->IsDiscontinuity() == S_OK) {
        m_core.Reset();
        m_bDiscontinuity = true;
    }
    BYTE* data = nullptr;
    pSample->GetPointer(&data);
    const long length = pSample->GetActualDataLength();
    REFERENCE_TIME start = kNoTime, stop = 0;
    if (FAILED(pSample->GetTime(&start, &stop))) start = kNoTime;
    if (!data || length <= 0) return S_OK;
    HRESULT hr = m_core.Decode(data, size_t(length), start,
                               [this](const int16_t* s, int n, REFERENCE_TIME a, REFERENCE_TIME b) {
                                   return DeliverPcm(s, n, a, b);
                               });
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CDvdAudioDecoder::DeliverPcm(const int16_t* samples, int frames, REFERENCE_TIME start,
                                     REFERENCE_TIME stop) {
    // Sound that ends before the segment starts only leads up to it (the
    // splitter starts early after a seek); played, it would come out late.
    if (stop <= 0) return S_OK;
    const int channels = m_core.Channels();
    while (frames > 0) {
        IMediaSample* raw = nullptr;
        HRESULT hr = m_pOutput->GetDeliveryBuffer(&raw, nullptr, nullptr, 0);
        if (FAILED(hr)) return hr;
        ComPtr<IMediaSample> out;
        out.Attach(raw);
        BYTE* buffer = nullptr;
        out->GetPointer(&buffer);
        const int fit = std::min(frames, int(out->GetSize() / (channels * 2)));
        if (!buffer || fit <= 0) return E_UNEXPECTED;
        std::memcpy(buffer, samples, size_t(fit) * channels * 2);
        // A frame larger than a buffer goes out in pieces, timed by their share.
        REFERENCE_TIME pieceStop = fit == frames ? stop : start + (stop - start) * fit / frames;
        out->SetActualDataLength(fit * channels * 2);
        out->SetTime(&start, &pieceStop);
        out->SetSyncPoint(TRUE);
        out->SetDiscontinuity(m_bDiscontinuity ? TRUE : FALSE);
        m_bDiscontinuity = false;
        hr = m_pOutput->Deliver(out.Get());
        if (FAILED(hr)) return hr;
        samples += size_t(fit) * channels;
        frames -= fit;
        start = pieceStop;
    }
    return S_OK;
}

HRESULT CDvdAudioDecoder::EndOfStream() {
    {
        CAutoLock lock(&m_csReceive);
        if (m_core.IsOpen())
            m_core.Drain([this](const int16_t* s, int n, REFERENCE_TIME a, REFERENCE_TIME b) {
                return DeliverPcm(s, n, a, b);
            });
    }
    return CTransformFilter::EndOfStream();
}

HRESULT CDvdAudioDecoder::EndFlush() {
    {
        CAutoLock lock(&m_csReceive);
        m_core.Reset();
        m_bDiscontinuity = true;
    }
    return CTransformFilter::EndFlush();
}

HRESULT CDvdAudioDecoder::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    {
        CAutoLock lock(&m_csReceive);
        m_core.Reset();
        m_bDiscontinuity = true;
    }
    return CTransformFilter::NewSegment(tStart, tStop, dRate);
}
