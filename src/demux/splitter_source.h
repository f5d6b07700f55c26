#pragma once
// What the splitter's byte reader needs from its input: the total and available
// length, and positioned synchronous reads. The filter hands it an adapter over
// the upstream IAsyncReader; tests hand it bytes in memory.
#include <memory>
#include <vector>

#include "platform/com/hresult.h"
#include "platform/com/types.h"

class ISplitterSource {
public:
    virtual ~ISplitterSource() = default;
    // total is 0 for a source whose end is still growing.
    virtual HRESULT Length(LONGLONG* total, LONGLONG* available) = 0;
    // S_OK when all len bytes were read, S_FALSE when fewer exist, or a failure.
    virtual HRESULT SyncRead(LONGLONG pos, LONG len, BYTE* buffer) = 0;
};

// A source over bytes held in memory; the lengths it reports can be set to
// imitate a growing or shrinking stream.
class CMemorySplitterSource : public ISplitterSource {
public:
    explicit CMemorySplitterSource(std::vector<BYTE> data);
    HRESULT Length(LONGLONG* total, LONGLONG* available) override;
    HRESULT SyncRead(LONGLONG pos, LONG len, BYTE* buffer) override;

    // Streaming imitation: total 0, only the first `available` bytes readable.
    void SetStreaming(LONGLONG available);
    void SetComplete();
    int reads = 0;           // SyncRead calls so far
    LONGLONG bytesRead = 0;  // bytes asked for by them

private:
    std::vector<BYTE> data_;
    bool streaming_ = false;
    LONGLONG available_ = 0;
};
