#include "es_source.h"

#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/framework/mediatype.h"

namespace codecs::test {
namespace {

CMediaType VideoType(const std::vector<TimedPacket>& packets) {
    // The sequence header and its extension, as they stand in the stream.
    std::vector<uint8_t> seq;
    for (const auto& p : packets) {
        const auto& d = p.data;
        for (size_t i = 0; i + 12 < d.size(); ++i) {
            if (d[i] || d[i + 1] || d[i + 2] != 1 || d[i + 3] != 0xB3) continue;
            size_t end = i + 4;
            for (;;) {
                while (end + 3 < d.size() && !(d[end] == 0 && d[end + 1] == 0 && d[end + 2] == 1))
                    ++end;
                if (end + 3 < d.size() && d[end + 3] == 0xB5 && end > i + 4) {
                    ++end;
                    continue;
                }
                break;
            }
            seq.assign(d.begin() + i, d.begin() + std::min(end, d.size()));
            break;
        }
        if (!seq.empty()) break;
    }
    if (seq.size() < 12) throw std::runtime_error("no sequence header");
    const int width = (seq[4] << 4) | (seq[5] >> 4);
    const int height = ((seq[5] & 0xF) << 8) | seq[6];
    const int aspect = seq[7] >> 4, rate = seq[7] & 0xF;
    const REFERENCE_TIME frame = rate == 3 ? 400000 : rate == 4 ? 333666 : 333333;
    std::vector<BYTE> block(offsetof(MPEG2VIDEOINFO, dwSequenceHeader) + seq.size(), 0);
    MPEG2VIDEOINFO info{};
    info.hdr.AvgTimePerFrame = frame;
    info.hdr.dwPictAspectRatioX = aspect == 3 ? 16 : 4;
    info.hdr.dwPictAspectRatioY = aspect == 3 ? 9 : 3;
    info.hdr.bmiHeader.biSize = 40;
    info.hdr.bmiHeader.biWidth = width;
    info.hdr.bmiHeader.biHeight = height;
    info.cbSequenceHeader = DWORD(seq.size());
    info.dwProfile = 4;
    info.dwLevel = 8;
    std::memcpy(block.data(), static_cast<const void*>(&info),
                offsetof(MPEG2VIDEOINFO, dwSequenceHeader));
    std::memcpy(block.data() + offsetof(MPEG2VIDEOINFO, dwSequenceHeader), seq.data(), seq.size());
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_MPEG2_VIDEO);
    mt.SetFormatType(&FORMAT_MPEG2Video);
    mt.SetFormat(block.data(), ULONG(block.size()));
    return mt;
}

CMediaType AudioType(const AVCodecParameters& par) {
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Audio);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    WAVEFORMATEX wfx{};
    wfx.nChannels = WORD(par.ch_layout.nb_channels);
    wfx.nSamplesPerSec = DWORD(par.sample_rate);
    switch (par.codec_id) {
        case AV_CODEC_ID_AC3:
            mt.SetSubtype(&MEDIASUBTYPE_DOLBY_AC3);
            wfx.wFormatTag = WAVE_FORMAT_DOLBY_AC3;
            break;
        case AV_CODEC_ID_DTS:
            mt.SetSubtype(&MEDIASUBTYPE_DTS);
            wfx.wFormatTag = WAVE_FORMAT_DTS;
            break;
        case AV_CODEC_ID_PCM_DVD:
            mt.SetSubtype(&MEDIASUBTYPE_DVD_LPCM_AUDIO);
            wfx.wFormatTag = WAVE_FORMAT_PCM;
            wfx.wBitsPerSample = WORD(par.bits_per_coded_sample ? par.bits_per_coded_sample : 16);
            wfx.nBlockAlign = WORD(wfx.nChannels * 2 * wfx.wBitsPerSample / 8);
            break;
        case AV_CODEC_ID_MP2:
        case AV_CODEC_ID_MP1: {
            mt.SetSubtype(&MEDIASUBTYPE_MPEG1AudioPayload);
            MPEG1WAVEFORMAT m{};
            m.wfx = wfx;
            m.wfx.wFormatTag = WAVE_FORMAT_MPEG;
            m.wfx.cbSize = 22;
            m.fwHeadLayer = par.codec_id == AV_CODEC_ID_MP2 ? ACM_MPEG_LAYER2 : ACM_MPEG_LAYER1;
            mt.SetFormat(reinterpret_cast<const BYTE*>(&m), sizeof(m));
            return mt;
        }
        default:
            throw std::runtime_error("unexpected audio codec");
    }
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof(wfx));
    return mt;
}

}  // namespace

const EsStream* DemuxedVob::Find(int id) const {
    for (const auto& s : streams)
        if (s.id == id) return &s;
    return nullptr;
}

const EsStream* DemuxedVob::Video() const {
    for (const auto& s : streams)
        if (s.type.majortype == MEDIATYPE_Video && s.type.subtype == MEDIASUBTYPE_MPEG2_VIDEO)
            return &s;
    return nullptr;
}

DemuxedVob DemuxVob(const std::filesystem::path& vob) {
    av_log_set_level(AV_LOG_ERROR);
    AVFormatContext* fmt = avformat_alloc_context();
    // Raw PES payloads, cut where the program stream cuts them, as the splitter delivers.
    fmt->flags |= AVFMT_FLAG_NOPARSE;
    if (avformat_open_input(&fmt, vob.c_str(), nullptr, nullptr) < 0)
        throw std::runtime_error("cannot open " + vob.string());
    avformat_find_stream_info(fmt, nullptr);
    std::vector<std::vector<TimedPacket>> packets(fmt->nb_streams);
    AVPacket* pkt = av_packet_alloc();
    while (av_read_frame(fmt, pkt) >= 0) {
        const AVStream* st = fmt->streams[pkt->stream_index];
        TimedPacket p;
        size_t skip = 0;
        // The LPCM header is the splitter's to read, not the decoder's.
        if (st->codecpar->codec_id == AV_CODEC_ID_PCM_DVD) skip = 3;
        if (size_t(pkt->size) > skip) {
            p.data.assign(pkt->data + skip, pkt->data + pkt->size);
            if (pkt->pts != AV_NOPTS_VALUE)
                p.start = av_rescale_q(pkt->pts, st->time_base, AVRational{1, int(UNITS)});
            packets[pkt->stream_index].push_back(std::move(p));
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);

    DemuxedVob out;
    bool haveOffset = false;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !packets[i].empty()) {
            for (const auto& p : packets[i])
                if (p.start != kNoTime) {
                    out.offset = p.start;
                    haveOffset = true;
                    break;
                }
        }
    }
    if (!haveOffset) throw std::runtime_error("no video time stamp");
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        if (packets[i].empty()) continue;
        EsStream s;
        const int id = st->id;
        s.id = id >= 0x100 ? (id & 0xFF) << 8 : 0xBD00 | id;
        const AVCodecParameters& par = *st->codecpar;
        if (par.codec_type == AVMEDIA_TYPE_VIDEO) {
            s.type = VideoType(packets[i]);
        } else if (par.codec_type == AVMEDIA_TYPE_AUDIO) {
            s.type = AudioType(par);
        } else if (par.codec_id == AV_CODEC_ID_DVD_SUBTITLE) {
            s.type.SetType(&MEDIATYPE_Video);
            s.type.SetSubtype(&MEDIASUBTYPE_DVD_SUBPICTURE);
            s.type.SetFormatType(&FORMAT_None);
        } else {
            continue;
        }
        for (auto& p : packets[i])
            if (p.start != kNoTime) p.start -= out.offset;
        s.packets = std::move(packets[i]);
        if (par.codec_type == AVMEDIA_TYPE_VIDEO)
            out.streams.insert(out.streams.begin(), std::move(s));
        else
            out.streams.push_back(std::move(s));
    }
    avformat_close_input(&fmt);
    return out;
}

// ---------------------------------------------------------------- source

CTestSourcePin::CTestSourcePin(CTestSource* filter, HRESULT* phr, const EsStream& stream, int index)
    : CBaseOutputPin("test source pin", filter, &filter->lock_, phr,
                     ("Out" + std::to_string(index)).c_str()),
      stream_(stream) {}

CTestSourcePin::~CTestSourcePin() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

HRESULT CTestSourcePin::CheckMediaType(const CMediaType* pmt) {
    return pmt && *pmt == stream_.type ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTestSourcePin::GetMediaType(int i, CMediaType* pmt) {
    if (i < 0) return E_INVALIDARG;
    if (i > 0) return VFW_S_NO_MORE_ITEMS;
    *pmt = stream_.type;
    return S_OK;
}

HRESULT CTestSourcePin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES*) {
    size_t biggest = 1;
    for (const auto& p : stream_.packets) biggest = std::max(biggest, p.data.size());
    ALLOCATOR_PROPERTIES want{4, long(biggest), 1, 0}, actual;
    return pAlloc->SetProperties(&want, &actual);
}

HRESULT CTestSourcePin::Active() {
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    stop_ = false;
    finished_ = false;
    thread_ = std::thread([this] { Push(); });
    return S_OK;
}

bool CTestSourcePin::WaitHeld(std::chrono::milliseconds timeout) {
    std::unique_lock lock(holdMutex_);
    return holdCv_.wait_for(lock, timeout, [&] { return held_; });
}

void CTestSourcePin::Resume() {
    std::lock_guard lock(holdMutex_);
    resumed_ = true;
    holdCv_.notify_all();
}

HRESULT CTestSourcePin::Inactive() {
    {
        std::lock_guard lock(holdMutex_);
        stop_ = true;
        holdCv_.notify_all();
    }
    HRESULT hr = CBaseOutputPin::Inactive();  // frees a thread waiting for a buffer
    if (thread_.joinable()) thread_.join();
    return hr;
}

void CTestSourcePin::Push() {
    DeliverNewSegment(0, INT64_MAX, 1.0);
    bool first = true;
    for (size_t i = from_; i < std::min(to_, stream_.packets.size()) && !stop_; ++i) {
        if (i == holdAt_) {
            std::unique_lock lock(holdMutex_);
            held_ = true;
            holdCv_.notify_all();
            holdCv_.wait(lock, [&] { return resumed_ || stop_; });
            first = true;  // what follows the flush is a new stretch of stream
        }
        const TimedPacket& p = stream_.packets[i];
        IMediaSample* raw = nullptr;
        if (FAILED(GetDeliveryBuffer(&raw, nullptr, nullptr, 0))) break;
        BYTE* buf = nullptr;
        raw->GetPointer(&buf);
        std::memcpy(buf, p.data.data(), p.data.size());
        raw->SetActualDataLength(long(p.data.size()));
        if (p.start != kNoTime) {
            REFERENCE_TIME s = p.start, e = p.start + 1;
            raw->SetTime(&s, &e);
            raw->SetSyncPoint(TRUE);
        } else {
            raw->SetTime(nullptr, nullptr);
            raw->SetSyncPoint(FALSE);
        }
        raw->SetDiscontinuity(first);
        first = false;
        HRESULT hr = Deliver(raw);
        raw->Release();
        if (FAILED(hr)) break;
    }
    if (!stop_) DeliverEndOfStream();
    finished_ = true;
}

CTestSource::CTestSource(const std::vector<const EsStream*>& streams)
    : CBaseFilter("test source", nullptr, &lock_, GUID{}) {
    HRESULT hr = S_OK;
    for (size_t i = 0; i < streams.size(); ++i)
        pins_.push_back(new CTestSourcePin(this, &hr, *streams[i], int(i)));
}

CTestSource::~CTestSource() {
    for (auto* p : pins_) delete p;
}

// ---------------------------------------------------------------- sink

CTestSinkPin::CTestSinkPin(CTestSink* filter, HRESULT* phr)
    : CBaseInputPin("test sink pin", filter, &filter->lock_, phr, "In"), sink_(filter) {}

HRESULT CTestSinkPin::CheckMediaType(const CMediaType* pmt) {
    if (!pmt || pmt->majortype != sink_->major_) return VFW_E_TYPE_NOT_ACCEPTED;
    if (sink_->format_ != GUID{} && pmt->formattype != sink_->format_)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CTestSinkPin::Receive(IMediaSample* pSample) {
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) return hr;
    ReceivedSample r;
    BYTE* p = nullptr;
    pSample->GetPointer(&p);
    r.data.assign(p, p + pSample->GetActualDataLength());
    REFERENCE_TIME s, e;
    if (SUCCEEDED(pSample->GetTime(&s, &e))) {
        r.start = s;
        r.stop = e;
    }
    r.discontinuity = pSample->IsDiscontinuity() == S_OK;
    std::lock_guard lock(sink_->mutex_);
    sink_->samples_.push_back(std::move(r));
    return S_OK;
}

HRESULT CTestSinkPin::EndOfStream() {
    {
        std::lock_guard lock(sink_->mutex_);
        ++sink_->eos_;
    }
    sink_->cv_.notify_all();
    return S_OK;
}

HRESULT CTestSinkPin::BeginFlush() {
    return CBaseInputPin::BeginFlush();
}

// Marked at the end of the flush: a sample that slipped in just as the flush
// began belongs to the time before it.
HRESULT CTestSinkPin::EndFlush() {
    {
        std::lock_guard lock(sink_->mutex_);
        sink_->flushedAt_ = sink_->samples_.size();
    }
    return CBaseInputPin::EndFlush();
}

CTestSink::CTestSink(GUID major, GUID format)
    : CBaseFilter("test sink", nullptr, &lock_, GUID{}), major_(major), format_(format) {
    HRESULT hr = S_OK;
    pin_ = new CTestSinkPin(this, &hr);
}

CTestSink::~CTestSink() {
    delete pin_;
}

bool CTestSink::WaitEndOfStream(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return eos_ > 0; });
}

size_t CTestSink::SampleCount() {
    std::lock_guard lock(mutex_);
    return samples_.size();
}

size_t CTestSink::FlushedAt() {
    std::lock_guard lock(mutex_);
    return flushedAt_;
}

std::vector<ReceivedSample> CTestSink::Samples() {
    std::lock_guard lock(mutex_);
    return samples_;
}

HRESULT ConnectPins(IPin* out, IPin* in) {
    return out->Connect(in, nullptr);
}

void Start(const std::vector<IBaseFilter*>& filters) {
    for (auto it = filters.rbegin(); it != filters.rend(); ++it) (*it)->Pause();
    for (auto it = filters.rbegin(); it != filters.rend(); ++it) (*it)->Run(0);
}

void StopAll(const std::vector<IBaseFilter*>& filters) {
    // Upstream first: the pushing threads end before the filters below them stop.
    for (auto* f : filters) f->Stop();
}

}  // namespace codecs::test
