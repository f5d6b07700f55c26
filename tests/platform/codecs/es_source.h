#pragma once
// Test harness for the codec filters: elementary streams demultiplexed from
// the authored VOBs with libavformat, typed as the splitter types them, pushed
// by a source filter (one thread per pin), and a sink that records samples.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/framework/filter.h"
#include "test_media.h"

namespace codecs::test {

struct EsStream {
    CMediaType type;
    int id = 0;  // PES stream id × 256 + sub-stream id
    std::vector<TimedPacket> packets;
};

struct DemuxedVob {
    std::vector<EsStream> streams;  // video first, then audio and subpictures in file order
    REFERENCE_TIME offset = 0;      // subtracted from every time: the first video time stamp
    const EsStream* Find(int id) const;
    const EsStream* Video() const;
};

// Payloads as the splitter delivers them: PES payloads without the private
// stream's sub-stream header (and without the LPCM header), times from the
// PES time stamps minus the first video time stamp.
DemuxedVob DemuxVob(const std::filesystem::path& vob);

class CTestSource;

class CTestSourcePin : public CBaseOutputPin {
  public:
    CTestSourcePin(CTestSource* filter, HRESULT* phr, const EsStream& stream, int index);
    ~CTestSourcePin() override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    // Packets [from, to) are pushed; a pause before each (ms).
    void SetRange(size_t from, size_t to) { from_ = from, to_ = to; }
    bool Finished() const { return finished_; }
    // Stops before pushing packet n until Resume(), as a source does around a
    // flush it starts itself: nothing is delivered while the flush runs.
    void HoldAt(size_t n) { holdAt_ = n; }
    bool WaitHeld(std::chrono::milliseconds timeout);
    void Resume();

  private:
    void Push();
    const EsStream& stream_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    size_t from_ = 0, to_ = SIZE_MAX;
    size_t holdAt_ = SIZE_MAX;
    std::mutex holdMutex_;
    std::condition_variable holdCv_;
    bool held_ = false, resumed_ = false;
};

class CTestSource : public CBaseFilter {
  public:
    explicit CTestSource(const std::vector<const EsStream*>& streams);
    ~CTestSource() override;
    int GetPinCount() override { return int(pins_.size()); }
    CBasePin* GetPin(int n) override { return n >= 0 && n < GetPinCount() ? pins_[n] : nullptr; }
    CTestSourcePin* Pin(int n) { return pins_[n]; }
    CCritSec lock_;

  private:
    std::vector<CTestSourcePin*> pins_;
};

struct ReceivedSample {
    std::vector<BYTE> data;
    REFERENCE_TIME start = kNoTime, stop = kNoTime;
    bool discontinuity = false;
};

class CTestSink;

class CTestSinkPin : public CBaseInputPin {
  public:
    CTestSinkPin(CTestSink* filter, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

  private:
    CTestSink* sink_;
};

// Records what arrives; accepts the first offered type whose format type matches
// (any when formatType is GUID_NULL).
class CTestSink : public CBaseFilter {
  public:
    CTestSink(GUID majorType, GUID formatType = GUID{});
    ~CTestSink() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? pin_ : nullptr; }
    CTestSinkPin* Pin() { return pin_; }
    bool WaitEndOfStream(std::chrono::milliseconds timeout);
    std::vector<ReceivedSample> Samples();
    int EndOfStreams() const { return eos_; }
    size_t SampleCount();
    // Index of the first sample received after the last flush (SIZE_MAX: none).
    size_t FlushedAt();

  private:
    friend class CTestSinkPin;
    CCritSec lock_;
    CTestSinkPin* pin_;
    GUID major_, format_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<ReceivedSample> samples_;
    size_t flushedAt_ = SIZE_MAX;
    std::atomic<int> eos_{0};
};

// Connects out to in directly (the types are negotiated by the pins).
HRESULT ConnectPins(IPin* out, IPin* in);
// Pause then run (clockless) every filter, downstream first.
void Start(const std::vector<IBaseFilter*>& filters);
void StopAll(const std::vector<IBaseFilter*>& filters);

}  // namespace codecs::test
