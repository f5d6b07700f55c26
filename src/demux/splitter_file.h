#pragma once
// The splitter's positioned, cached, bit-addressable view of its input.
// MPEG parsing reads a few bytes at a time and seeks back by short distances,
// so reads are served from one cached block; reads larger than the block skip it.
#include <cstring>
#include <memory>
#include <vector>

#include "demux/splitter_source.h"

class CBaseSplitterFile {
public:
    CBaseSplitterFile(std::shared_ptr<ISplitterSource> source, HRESULT& hr, int cacheLen = 2048,
                      bool requireFullyAvailable = true, bool allowStreaming = false);
    virtual ~CBaseSplitterFile() = default;

    virtual HRESULT Read(BYTE* data, LONGLONG len);
    virtual void OnComplete() {}
    virtual void Seek(LONGLONG pos);

    bool SetCacheSize(int cacheLen);
    LONGLONG GetPos() const { return m_pos - (m_bitlen >> 3); }
    LONGLONG GetLength(bool update = false);
    LONGLONG GetRemaining();
    bool IsStreaming() const { return m_streaming; }
    bool IsRandomAccess() const { return m_fullyAvailable; }

    // n = 1..64, most significant bit first; 0 at the end of the data.
    inline std::uint64_t BitRead(int nBits, bool peek = false) {
        while (m_bitlen < nBits) {
            BYTE b;
            if (ReadByte(&b) != S_OK) return 0;
            m_bitbuff = (m_bitbuff << 8) | b;
            m_bitlen += 8;
        }
        int shift = m_bitlen - nBits;
        std::uint64_t mask = nBits >= 64 ? ~0ull : ((1ull << nBits) - 1);
        std::uint64_t ret = (m_bitbuff >> shift) & mask;
        if (!peek) {
            m_bitlen -= nBits;
            m_bitbuff &= m_bitlen >= 64 ? ~0ull : ((1ull << m_bitlen) - 1);
        }
        return ret;
    }
    void BitByteAlign() {
        m_bitlen &= ~7;
        m_bitbuff &= m_bitlen >= 64 ? ~0ull : ((1ull << m_bitlen) - 1);
    }
    void BitFlush() { m_bitlen = 0; m_bitbuff = 0; }
    HRESULT ByteRead(BYTE* data, LONGLONG len) {
        Seek(GetPos());
        return Read(data, len);
    }
    std::uint64_t UExpGolombRead();
    std::int64_t SExpGolombRead();
    HRESULT HasMoreData(LONGLONG len = 1, unsigned waitMs = 1);

    // Bytes of the cached block from the current byte position on, without
    // consuming them (only valid while the bit buffer is empty). Lets the start
    // code search scan memory instead of pulling one byte at a time.
    const BYTE* CachedAhead(LONGLONG& avail) const {
        if (m_bitlen == 0 && m_cachepos <= m_pos && m_pos < m_cachepos + m_cachelen) {
            avail = m_cachepos + m_cachelen - m_pos;
            return m_cache.data() + (m_pos - m_cachepos);
        }
        avail = 0;
        return nullptr;
    }
    void SkipCached(LONGLONG n) { m_pos += n; }

protected:
    std::shared_ptr<ISplitterSource> m_src;

private:
    // One byte for the bit reader: straight from the cache when it is there,
    // through the full read path (which refills the cache) otherwise.
    inline HRESULT ReadByte(BYTE* b) {
        if (m_fullyAvailable && m_cachepos <= m_pos && m_pos < m_cachepos + m_cachelen) {
            *b = m_cache[size_t(m_pos - m_cachepos)];
            ++m_pos;
            return S_OK;
        }
        return Read(b, 1);
    }

    std::vector<BYTE> m_cache;
    LONGLONG m_cachetotal = 0;  // capacity
    LONGLONG m_cachepos = 0, m_cachelen = 0;
    bool m_streaming = false, m_fullyAvailable = false;
    LONGLONG m_pos = 0, m_len = 0;
    std::uint64_t m_bitbuff = 0;
    int m_bitlen = 0;
};
