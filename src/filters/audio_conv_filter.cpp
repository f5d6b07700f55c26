#include "filters/audio_conv_filter.h"

#include <algorithm>

CMyAudioConveFilter::CMyAudioConveFilter(IUnknown* pUnk, HRESULT* phr)
    : CTransformFilter("", pUnk, CLSID_MyAudioConveFilter) {
    if (phr) *phr = S_OK;
}

CMyAudioConveFilter::~CMyAudioConveFilter() = default;

CUnknown* CMyAudioConveFilter::CreateInstance(IUnknown* pUnk, HRESULT* phr) {
    return new CMyAudioConveFilter(pUnk, phr);
}

HRESULT CMyAudioConveFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IMyAudioConvFilter) return GetInterfaceAs<IMyAudioConvFilter>(this, ppv);
    return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CMyAudioConveFilter::SetOutputFormat(WORD channels, DWORD sampleRate) {
    CAutoLock lock(&m_csFilter);
    m_outChannels = channels;
    m_outRate = sampleRate;
    return S_OK;
}

HRESULT CMyAudioConveFilter::SetVolume(LONG volume) {
    m_volume = volume;
    return S_OK;
}

HRESULT CMyAudioConveFilter::CheckInputType(const CMediaType* mtIn) {
    if (!mtIn) return E_POINTER;
    if (*mtIn->Type() != MEDIATYPE_Audio || *mtIn->Subtype() != MEDIASUBTYPE_PCM ||
        *mtIn->FormatType() != FORMAT_WaveFormatEx)
        return VFW_E_TYPE_NOT_ACCEPTED;
    // All the arithmetic here is on 16-bit samples; other sample sizes would
    // come out as noise.
    const WAVEFORMATEX* wfx = GetWaveFormat(mtIn);
    if (!wfx || wfx->wBitsPerSample != 16 || wfx->nChannels == 0 || wfx->nSamplesPerSec == 0)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CMyAudioConveFilter::CheckTransform(const CMediaType*, const CMediaType*) {
    return S_OK;
}

HRESULT CMyAudioConveFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) {
    if (!pmt) return E_POINTER;
    CAutoLock lock(&m_csFilter);
    if (direction == PINDIR_INPUT) {
        m_inputType = *pmt;
        if (const WAVEFORMATEX* wfx = GetWaveFormat(pmt)) {
            if (m_outChannels == kChannelsNotSet) m_outChannels = wfx->nChannels;
            if (m_outRate == kRateNotSet) m_outRate = wfx->nSamplesPerSec;
        }
        m_outputType = m_inputType;
        return S_OK;
    }
    const WAVEFORMATEX* in = GetWaveFormat(&m_inputType);
    if (!in) return E_FAIL;
    if (in->nChannels != m_outChannels || in->nSamplesPerSec != m_outRate) m_resample = true;
    if (!m_converter.Configure(in->nChannels, int(in->nSamplesPerSec), m_outChannels,
                               int(m_outRate), m_resample))
        return E_FAIL;
    return S_OK;
}

HRESULT CMyAudioConveFilter::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (!pMediaType) return E_POINTER;
    if (!m_pInput || !m_pInput->IsConnected() || iPosition != 0) return VFW_S_NO_MORE_ITEMS;
    CAutoLock lock(&m_csFilter);
    const WAVEFORMATEX* wfx = GetWaveFormat(&m_outputType);
    if (!wfx) return VFW_S_NO_MORE_ITEMS;
    if (wfx->nChannels != m_outChannels || wfx->nSamplesPerSec != m_outRate) {
        // A channel mask of the input (extensible format) would describe the
        // wrong channels after conversion: the output is plain PCM.
        m_outputType.ReallocFormatBuffer(sizeof(WAVEFORMATEX));
        auto* out = reinterpret_cast<WAVEFORMATEX*>(m_outputType.Format());
        out->wFormatTag = WAVE_FORMAT_PCM;
        out->cbSize = 0;
        out->nChannels = m_outChannels;
        out->nSamplesPerSec = m_outRate;
        out->nBlockAlign = WORD(m_outChannels * 2);
        out->nAvgBytesPerSec = DWORD(m_outChannels * 2) * m_outRate;
    }
    *pMediaType = m_outputType;
    return S_OK;
}

HRESULT CMyAudioConveFilter::DecideBufferSize(IMemAllocator* pAllocator,
                                              ALLOCATOR_PROPERTIES* pprop) {
    if (!m_pInput || !m_pInput->IsConnected()) return E_UNEXPECTED;
    if (!pAllocator || !pprop) return E_POINTER;
    pprop->cBuffers = kBufferCount;
    pprop->cbBuffer = kBufferBytes;
    pprop->cbAlign = 1;
    pprop->cbPrefix = 0;
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = pAllocator->SetProperties(pprop, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < pprop->cBuffers || actual.cbBuffer < pprop->cbBuffer) return E_FAIL;
    return S_OK;
}

HRESULT CMyAudioConveFilter::Transform(IMediaSample* pIn, IMediaSample* pOut) {
    BYTE* in = nullptr;
    BYTE* out = nullptr;
    if (!pIn || !pOut || FAILED(pIn->GetPointer(&in)) || FAILED(pOut->GetPointer(&out)) || !in ||
        !out)
        return E_FAIL;
    const long n = std::max(pIn->GetActualDataLength(), 0L);
    const std::size_t got = m_converter.Process(
        in, std::size_t(n), out, std::size_t(std::max(pOut->GetSize(), 0L)), m_volume.load());
    pOut->SetActualDataLength(long(got));
    REFERENCE_TIME start = 0, stop = 0;
    if (SUCCEEDED(pIn->GetTime(&start, &stop))) {
        m_lastStop = stop;
        m_haveTime = true;
    }
    return S_OK;
}

HRESULT CMyAudioConveFilter::StartStreaming() {
    m_converter.Reset();
    m_haveTime = false;
    return S_OK;
}

HRESULT CMyAudioConveFilter::EndFlush() {
    // Sound from before a seek must not play after it.
    m_converter.Reset();
    m_haveTime = false;
    return CTransformFilter::EndFlush();
}

HRESULT CMyAudioConveFilter::EndOfStream() {
    m_converter.Flush();
    const long long bytesPerSecond = 2LL * m_outChannels * m_outRate;
    while (m_converter.Pending() > 0 && m_pOutput && m_pOutput->IsConnected()) {
        IMediaSample* sample = nullptr;
        if (FAILED(m_pOutput->GetDeliveryBuffer(&sample, nullptr, nullptr, 0)) || !sample) break;
        BYTE* out = nullptr;
        sample->GetPointer(&out);
        const std::size_t capacity = std::size_t(std::max(sample->GetSize(), 0L));
        const std::size_t got = out ? m_converter.Read(out, capacity, m_volume.load()) : 0;
        sample->SetActualDataLength(long(got));
        if (m_haveTime && bytesPerSecond > 0) {
            REFERENCE_TIME start = m_lastStop;
            REFERENCE_TIME stop = start + REFERENCE_TIME(got) * UNITS / bytesPerSecond;
            sample->SetTime(&start, &stop);
            m_lastStop = stop;
        }
        const HRESULT hr = got ? m_pOutput->Deliver(sample) : S_OK;
        sample->Release();
        if (got == 0 || FAILED(hr)) break;
    }
    return CTransformFilter::EndOfStream();
}
