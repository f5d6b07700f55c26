#pragma once
// Recognises an MPEG program stream, discovers its elementary streams from the
// first chunks (steered by the DVD title record: the scan goes on until every
// listed audio track was seen) and identifies the stream of each PES packet
// while demultiplexing.
#include <array>
#include <climits>
#include <mutex>
#include <string>
#include <vector>

#include "demux/splitter_file_ex.h"
#include "platform/libdvd/libdvd.h"

struct SplitterStream {
    CMediaType mt;
    WORD pid = 0;    // non-zero only for transport streams and the no-subtitles placeholder
    BYTE pesid = 0;  // PES stream id
    BYTE ps1id = 0;  // private stream 1 sub-stream id

    DWORD GetKey() const { return pid ? pid : (DWORD(pesid) << 8) | ps1id; }
    bool operator==(const SplitterStream& s) const { return GetKey() == s.GetKey(); }
};

class CMpegSplitterFile : public CBaseSplitterFileEx {
public:
    enum class Kind { unknown, ps, ts, es, pva };
    enum { video = 0, audio = 1, subpic = 2, nStreamLists = 3 };

    class CStreamList : public std::vector<SplitterStream> {
    public:
        const SplitterStream* Find(const SplitterStream& s) const;
        const SplitterStream* FindKey(DWORD key) const;
        // Inserted before the first entry it ranks ahead of, so equal entries
        // keep their arrival order.
        void Insert(const SplitterStream& s, int group);
        static const char* ToString(int group);
    };

    // titleInfo may be null (no record: the scan stops once video is known).
    CMpegSplitterFile(std::shared_ptr<ISplitterSource> source, HRESULT& hr,
                      const DvdTitleInfo* titleInfo = nullptr);

    void OnComplete() override;

    // Called just after a PES header; returns the packet's stream key, adding
    // the stream to its list the first time it is met. Moves the position.
    DWORD AddStream(WORD pid, BYTE pesid, DWORD len);
    // Next presentation time of a stream relative to the first one seen, or -1.
    REFERENCE_TIME NextPTS(DWORD key);
    CStreamList* GetMasterStream();
    static std::string Describe(const CMediaType& mt);

    Kind m_type = Kind::unknown;
    DWORD m_rate = 0;  // bytes per second
    static constexpr REFERENCE_TIME kUnset = LLONG_MAX;
    REFERENCE_TIME m_rtMin = kUnset, m_rtMax = 0;
    LONGLONG m_posMin = 0, m_posMax = 0;
    // The demultiplexing thread adds streams as it meets them while the graph's
    // owner lists and switches them: it takes this lock to add, other threads
    // to read. The demultiplexing thread itself reads without it.
    std::array<CStreamList, nStreamLists> m_streams;
    mutable std::mutex m_csStreams;
    DvdTitleInfo m_titleInfo{};
    std::mutex m_csProps;  // guards the transport-stream tables (none kept for DVDs)

    // Audio ranking score: class, channels, rate, bits, bytes per second.
    static std::int64_t AudioScore(const CMediaType& mt);

private:
    HRESULT Init();
    HRESULT SearchStreams(LONGLONG start, LONGLONG stop);
    void UpdateRate();
};
