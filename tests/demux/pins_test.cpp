// Output pins and their queues: merging of untimed packets, the flow-control
// thresholds, timestamp repair, sample buffers that grow, and a downstream
// failure that takes one pin out while the others go on.
#include <gtest/gtest.h>

#include <thread>

#include "demux/mpeg_splitter.h"
#include "ps_builder.h"
#include "test_filters.h"

namespace {

using testfilters::CByteSourceFilter;
using testfilters::CRecordingSink;

std::unique_ptr<Packet> MakePacket(size_t size, REFERENCE_TIME start = Packet::INVALID_TIME,
                                   bool appendable = false) {
    auto p = std::make_unique<Packet>();
    p->data.assign(size, BYTE(size));
    p->rtStart = start;
    p->rtStop = start == Packet::INVALID_TIME ? start : start + 1;
    p->bAppendable = appendable;
    return p;
}

TEST(PacketQueue, UntimedPacketsJoinTheTimedOneBefore) {
    CPacketQueue q;
    q.Add(MakePacket(10, 0));
    q.Add(MakePacket(20, Packet::INVALID_TIME, true));
    q.Add(MakePacket(30, Packet::INVALID_TIME, true));
    EXPECT_EQ(q.GetCount(), 1);
    EXPECT_EQ(q.GetSize(), 60);
    auto p = q.Remove();
    ASSERT_TRUE(p);
    ASSERT_EQ(p->data.size(), 60u);
    EXPECT_EQ(p->data[9], 10);
    EXPECT_EQ(p->data[10], 20);
    EXPECT_EQ(p->data[59], 30);
    EXPECT_EQ(q.GetSize(), 0);

    // An untimed packet on an empty queue, or after another untimed one, stays whole;
    // so does one that starts a discontinuity or carries a type.
    q.Add(MakePacket(5, Packet::INVALID_TIME, true));
    q.Add(MakePacket(6, Packet::INVALID_TIME, true));
    q.Add(MakePacket(7, 100));
    auto disc = MakePacket(8, Packet::INVALID_TIME, true);
    disc->bDiscontinuity = TRUE;
    q.Add(std::move(disc));
    auto typed = MakePacket(9, Packet::INVALID_TIME, true);
    typed->pmt = std::make_unique<CMediaType>();
    q.Add(std::move(typed));
    q.Add(MakePacket(4, 200));
    q.Add(MakePacket(3, Packet::INVALID_TIME, false));  // not appendable
    q.Add(nullptr);                                      // end of stream
    EXPECT_EQ(q.GetCount(), 8);
    EXPECT_EQ(q.GetSize(), 5 + 6 + 7 + 8 + 9 + 4 + 3);
    for (int i = 0; i < 7; ++i) ASSERT_TRUE(q.Remove());
    EXPECT_FALSE(q.Remove());  // the end-of-stream marker
    EXPECT_EQ(q.GetCount(), 0);
}

// A filter whose pins are filled by hand, to ask the flow control.
class PinForTest : public CBaseSplitterOutputPin {
public:
    PinForTest(const CMediaType& mt, CBaseFilter* f, CCritSec* lock, HRESULT* hr)
        : CBaseSplitterOutputPin({mt}, "Pin", f, lock, hr) {}
    void Fill(int count, int bytes) {
        m_queue.RemoveAll();
        for (int i = 0; i < count; ++i) m_queue.Add(MakePacket(size_t(bytes), i));
    }
};

class FilterForTest : public CBaseSplitterFilter {
public:
    explicit FilterForTest(HRESULT* hr) : CBaseSplitterFilter("test", nullptr, hr, GUID_NULL) {}
    PinForTest* Add(DWORD key, const GUID& major, const GUID& sub) {
        CMediaType mt;
        mt.majortype = major;
        mt.subtype = sub;
        HRESULT hr = S_OK;
        auto pin = std::make_unique<PinForTest>(mt, this, &m_csFilter, &hr);
        PinForTest* raw = pin.get();
        AddOutputPin(key, std::move(pin));
        m_activePins.push_back(raw);
        return raw;
    }
    int Priority() const { return m_priority; }

protected:
    HRESULT CreateOutputs(IAsyncReader*) override { return E_NOTIMPL; }
    bool DemuxInit() override { return false; }
    void DemuxSeek(REFERENCE_TIME) override {}
    bool DemuxLoop() override { return true; }
};

TEST(FlowControl, CountsAndSizesDecide) {
    HRESULT hr = S_OK;
    ComPtr<FilterForTest> f(new FilterForTest(&hr));
    PinForTest* audio = f->Add(0xBD80, MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3);
    PinForTest* video = f->Add(0xE000, MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO);
    PinForTest* subs = f->Add(0xBD20, MEDIATYPE_Video, MEDIASUBTYPE_DVD_SUBPICTURE);

    audio->Fill(2999, 100);
    video->Fill(150, 2048);
    EXPECT_FALSE(f->IsAnyPinDrying());  // 3149 packets in all
    video->Fill(99, 2048);
    EXPECT_TRUE(f->IsAnyPinDrying());  // below 100 packets
    video->Fill(120, 2048);
    EXPECT_TRUE(f->IsAnyPinDrying());  // 245760 bytes: below 256 KiB
    video->Fill(128, 2048);
    audio->Fill(1000, 300);
    EXPECT_TRUE(f->IsAnyPinDrying());  // 1128 packets, 562144 bytes: room left
    audio->Fill(220, 9000);
    EXPECT_FALSE(f->IsAnyPinDrying());  // 2 MiB reached
    // An empty subtitle queue is no reason to read on.
    subs->Fill(0, 0);
    EXPECT_FALSE(f->IsAnyPinDrying());

    // A nearly dry queue lowers the delivery threads; two-thirds full raises them again.
    EXPECT_EQ(f->Priority(), THREAD_PRIORITY_NORMAL);
    video->Fill(10, 2048);
    EXPECT_TRUE(f->IsAnyPinDrying());
    EXPECT_EQ(f->Priority(), THREAD_PRIORITY_BELOW_NORMAL);
    EXPECT_EQ(video->GetPriority(), THREAD_PRIORITY_BELOW_NORMAL);
    EXPECT_EQ(f->GetPriority(), DWORD(THREAD_PRIORITY_BELOW_NORMAL));
    video->Fill(1900, 200);
    audio->Fill(200, 2000);
    EXPECT_TRUE(f->IsAnyPinDrying());
    EXPECT_EQ(f->Priority(), THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(audio->GetPriority(), THREAD_PRIORITY_NORMAL);
}

// Runs a synthetic program stream through source, splitter and sinks.
struct Graph {
    ComPtr<CByteSourceFilter> source;
    ComPtr<CMpegSplitterFilter> splitter;
    std::vector<ComPtr<CRecordingSink>> sinks;

    explicit Graph(std::vector<BYTE> bytes) : source(new CByteSourceFilter(std::move(bytes))) {
        CMpegSplitterFilter* raw = nullptr;
        CMpegSplitterFilter::Create(&raw);
        splitter.Attach(raw);
        EXPECT_EQ(source->Pin()->Connect(splitter->GetPin(splitter->GetPinCount() - 1), nullptr), S_OK);
        for (CBaseSplitterOutputPin* out : splitter->Outputs()) {
            sinks.emplace_back(new CRecordingSink());
            EXPECT_EQ(out->Connect(sinks.back()->Pin(), nullptr), S_OK);
        }
    }
    void Start() {
        for (auto& s : sinks) s->Pause();
        splitter->Pause();
    }
    ~Graph() {
        splitter->Stop();
        for (auto& s : sinks) s->Stop();
        for (size_t i = 0; i < sinks.size(); ++i) {
            sinks[i]->Pin()->Disconnect();
            splitter->Outputs()[i]->Disconnect();
        }
        source->Pin()->Disconnect();
        splitter->GetPin(splitter->GetPinCount() - 1)->Disconnect();
    }
    std::vector<REFERENCE_TIME> Times(size_t i) {
        std::lock_guard<std::mutex> l(sinks[i]->m);
        std::vector<REFERENCE_TIME> t;
        for (const auto& s : sinks[i]->samples)
            if (s.timed) t.push_back(s.start);
        return t;
    }
};

constexpr std::int64_t kMs = 90;  // ticks

TEST(TimestampRepair, JumpsOnAudioAreClosedSubtitlesPassThrough) {
    std::vector<BYTE> ps;
    auto pes = [&](int id, std::vector<BYTE> payload, std::int64_t ms) {
        psb::Append(ps, psb::Pack(0));
        psb::Append(ps, psb::Pes(id, payload, ms * kMs));
    };
    std::vector<BYTE> seq = psb::SequenceHeader();
    seq.resize(500, 0x11);
    pes(0xE0, seq, 10000);
    for (std::int64_t ms : {10000, 10020, 40000, 40020}) pes(0xC0, psb::MpaFrame(), ms);
    for (std::int64_t ms : {10000, 40000}) pes(0xBD, {0x20, 0, 8, 0, 4, 0xFF, 0, 0}, ms);
    pes(0xE0, std::vector<BYTE>(500, 0x22), 10500);

    Graph r(ps);
    ASSERT_EQ(r.sinks.size(), 3u);
    r.Start();
    for (auto& s : r.sinks) ASSERT_TRUE(s->WaitForEos(10000));
    EXPECT_EQ(r.Times(1), (std::vector<REFERENCE_TIME>{0, 200000, 200000, 400000}));
    EXPECT_EQ(r.Times(2), (std::vector<REFERENCE_TIME>{0, 300000000}));
    EXPECT_EQ(r.Times(0), (std::vector<REFERENCE_TIME>{0, 5000000}));
}

TEST(SampleBuffers, GrowToHoldALargePacket) {
    std::vector<BYTE> ps;
    std::vector<BYTE> seq = psb::SequenceHeader();
    seq.resize(1000, 0x11);
    psb::Append(ps, psb::Pack(0));
    psb::Append(ps, psb::Pes(0xE0, seq, 0));
    psb::Append(ps, psb::Pes(0xE0, std::vector<BYTE>(1000, 0x12), 40 * kMs));
    for (int i = 0; i < 5; ++i) psb::Append(ps, psb::Pes(0xE0, std::vector<BYTE>(61440, BYTE(i)), -1));
    psb::Append(ps, psb::Pes(0xE0, std::vector<BYTE>(1000, 0x13), 80 * kMs));

    Graph r(ps);
    ASSERT_FALSE(r.sinks.empty());
    r.sinks[0]->SetGate(false);  // the first sample waits, the rest gathers behind it
    r.Start();
    ASSERT_TRUE(r.sinks[0]->WaitFor([&] { return true; }, 10));
    for (int i = 0; i < 200 && r.splitter->Outputs()[0]->QueueCount() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    r.sinks[0]->SetGate(true);
    ASSERT_TRUE(r.sinks[0]->WaitForEos(10000));

    std::lock_guard<std::mutex> l(r.sinks[0]->m);
    size_t largest = 0;
    for (const auto& s : r.sinks[0]->samples) largest = std::max(largest, s.size);
    EXPECT_EQ(largest, 1000u + 5 * 61440);  // one sample for the timed packet and its continuation
    ALLOCATOR_PROPERTIES props;
    ASSERT_EQ(r.splitter->Outputs()[0]->Allocator()->GetProperties(&props), S_OK);
    EXPECT_GE(props.cbBuffer, long(largest * 3 / 2));
    EXPECT_LT(props.cbBuffer, long(largest * 3 / 2) + 4096);
}

TEST(DeliveryFailure, ARefusingDecoderLeavesTheOthersRunning) {
    std::vector<BYTE> ps;
    for (int i = 0; i < 50; ++i) {
        std::vector<BYTE> v = i == 0 ? psb::SequenceHeader() : std::vector<BYTE>{};
        v.resize(1500, 0x21);
        psb::Append(ps, psb::Pack(0));
        psb::Append(ps, psb::Pes(0xE0, v, i * 40 * kMs));
        psb::Append(ps, psb::Pes(0xC0, psb::MpaFrame(), i * 40 * kMs));
    }
    Graph r(ps);
    ASSERT_EQ(r.sinks.size(), 3u);
    r.sinks[1]->failReceive = E_FAIL;
    r.Start();
    ASSERT_TRUE(r.sinks[0]->WaitForEos(10000));
    for (int i = 0; i < 500 && r.splitter->Outputs()[1]->DeliverResult() == S_OK; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(r.splitter->Outputs()[1]->DeliverResult(), E_FAIL);
    std::lock_guard<std::mutex> l(r.sinks[0]->m);
    EXPECT_EQ(r.sinks[0]->samples.size(), 50u);
    EXPECT_EQ(r.sinks[1]->eos, 0);
}

}  // namespace
