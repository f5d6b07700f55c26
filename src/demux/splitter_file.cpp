#include "demux/splitter_file.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>

CMemorySplitterSource::CMemorySplitterSource(std::vector<BYTE> data) : data_(std::move(data)) {}

HRESULT CMemorySplitterSource::Length(LONGLONG* total, LONGLONG* available) {
    LONGLONG size = LONGLONG(data_.size());
    if (total) *total = streaming_ ? 0 : size;
    if (available) *available = streaming_ ? std::min(available_, size) : size;
    return S_OK;
}

HRESULT CMemorySplitterSource::SyncRead(LONGLONG pos, LONG len, BYTE* buffer) {
    ++reads;
    bytesRead += len;
    LONGLONG end = streaming_ ? std::min<LONGLONG>(available_, LONGLONG(data_.size()))
                              : LONGLONG(data_.size());
    if (pos < 0 || len < 0) return E_INVALIDARG;
    LONGLONG n = std::max<LONGLONG>(0, std::min<LONGLONG>(len, end - pos));
    if (n > 0) std::memcpy(buffer, data_.data() + pos, size_t(n));
    return n == len ? S_OK : S_FALSE;
}

void CMemorySplitterSource::SetStreaming(LONGLONG available) {
    streaming_ = true;
    available_ = available;
}
void CMemorySplitterSource::SetComplete() { streaming_ = false; }

CBaseSplitterFile::CBaseSplitterFile(std::shared_ptr<ISplitterSource> source, HRESULT& hr,
                                     int cacheLen, bool requireFullyAvailable,
                                     bool allowStreaming)
    : m_src(std::move(source)) {
    if (!m_src) {
        hr = E_UNEXPECTED;
        return;
    }
    LONGLONG total = 0, available = 0;
    hr = m_src->Length(&total, &available);
    m_streaming = total == 0 && available > 0;
    m_fullyAvailable = total > 0 && total == available;
    m_len = total;
    if (FAILED(hr) || (requireFullyAvailable && !m_fullyAvailable) ||
        (!allowStreaming && m_streaming) || m_len < 0) {
        hr = E_FAIL;
        return;
    }
    if (!SetCacheSize(cacheLen)) {
        hr = E_OUTOFMEMORY;
        return;
    }
    hr = S_OK;
}

bool CBaseSplitterFile::SetCacheSize(int cacheLen) {
    m_cache.clear();
    m_cache.shrink_to_fit();
    m_cachetotal = 0;
    m_cachepos = m_cachelen = 0;
    try {
        m_cache.resize(size_t(std::max(cacheLen, 0)));
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_cachetotal = cacheLen > 0 ? cacheLen : 0;
    return true;
}

LONGLONG CBaseSplitterFile::GetLength(bool update) {
    if (m_streaming) {
        LONGLONG total = 0, available = 0;
        if (SUCCEEDED(m_src->Length(&total, &available))) m_len = available;
    } else if (update) {
        LONGLONG total = 0, available = 0;
        if (SUCCEEDED(m_src->Length(&total, &available))) m_len = total;
    }
    return m_len;
}

LONGLONG CBaseSplitterFile::GetRemaining() {
    return std::max<LONGLONG>(0, GetLength(true) - GetPos());
}

void CBaseSplitterFile::Seek(LONGLONG pos) {
    LONGLONG len = GetLength();
    m_pos = pos < 0 ? 0 : pos >= len ? len : pos;
    BitFlush();
}

HRESULT CBaseSplitterFile::Read(BYTE* data, LONGLONG len) {
    if (!m_src) return E_NOINTERFACE;
    HRESULT hr = S_OK;

    if (!m_fullyAvailable) {
        LONGLONG total = 0, available = 0;
        if (S_OK == m_src->Length(&total, &available) && total == available) {
            m_fullyAvailable = true;
            OnComplete();
        }
    }

    if (m_cachetotal == 0) {
        hr = m_src->SyncRead(m_pos, LONG(len), data);
        m_pos += len;
        return hr;
    }

    if (m_cachepos <= m_pos && m_pos < m_cachepos + m_cachelen) {
        LONGLONG n = std::min(len, m_cachelen - (m_pos - m_cachepos));
        std::memcpy(data, m_cache.data() + (m_pos - m_cachepos), size_t(n));
        len -= n;
        m_pos += n;
        data += n;
    }

    while (len > m_cachetotal) {
        hr = m_src->SyncRead(m_pos, LONG(m_cachetotal), data);
        if (hr != S_OK) return hr;
        len -= m_cachetotal;
        m_pos += m_cachetotal;
        data += m_cachetotal;
    }

    while (len > 0) {
        LONGLONG chunk = std::min(m_cachetotal, GetLength() - m_pos);
        LONGLONG n = std::min(len, chunk);
        if (n <= 0) return S_FALSE;
        hr = m_src->SyncRead(m_pos, LONG(chunk), m_cache.data());
        if (hr != S_OK) return hr;
        m_cachepos = m_pos;
        m_cachelen = chunk;
        std::memcpy(data, m_cache.data(), size_t(n));
        len -= n;
        m_pos += n;
        data += n;
    }
    return hr;
}

std::uint64_t CBaseSplitterFile::UExpGolombRead() {
    int n = -1;
    for (BYTE b = 0; !b && n < 64; ++n) b = BYTE(BitRead(1));
    if (n <= 0) return 0;
    return (1ull << n) - 1 + BitRead(n);
}

std::int64_t CBaseSplitterFile::SExpGolombRead() {
    std::uint64_t k = UExpGolombRead();
    return (k & 1) ? std::int64_t((k + 1) / 2) : -std::int64_t(k / 2);
}

HRESULT CBaseSplitterFile::HasMoreData(LONGLONG len, unsigned waitMs) {
    if (!m_streaming) return GetRemaining() > 0 ? S_OK : E_FAIL;
    if (GetRemaining() < len) {
        if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return S_FALSE;
    }
    return S_OK;
}
