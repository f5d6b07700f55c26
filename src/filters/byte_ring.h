#pragma once
// A fixed-capacity circular byte buffer for pending PCM. Writes beyond the free
// space and reads beyond the fill are truncated; both wrap at the end of the
// storage, so one call may move bytes in two pieces.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

class ByteRing {
  public:
    explicit ByteRing(std::size_t capacity) : buf_(capacity) {}

    std::size_t Capacity() const { return buf_.size(); }
    std::size_t Fill() const { return fill_; }
    std::size_t Free() const { return buf_.size() - fill_; }

    // Returns the number of bytes taken in.
    std::size_t Write(const void* src, std::size_t count) {
        count = std::min(count, Free());
        const auto* p = static_cast<const unsigned char*>(src);
        const std::size_t first = std::min(count, buf_.size() - write_);
        std::memcpy(buf_.data() + write_, p, first);
        std::memcpy(buf_.data(), p + first, count - first);
        write_ = (write_ + count) % buf_.size();
        fill_ += count;
        return count;
    }

    // Returns the number of bytes handed out.
    std::size_t Read(void* dst, std::size_t count) {
        count = std::min(count, fill_);
        auto* p = static_cast<unsigned char*>(dst);
        const std::size_t first = std::min(count, buf_.size() - read_);
        std::memcpy(p, buf_.data() + read_, first);
        std::memcpy(p + first, buf_.data(), count - first);
        read_ = (read_ + count) % buf_.size();
        fill_ -= count;
        return count;
    }

    void Clear() { read_ = write_ = fill_ = 0; }

  private:
    std::vector<unsigned char> buf_;
    std::size_t read_ = 0;
    std::size_t write_ = 0;
    std::size_t fill_ = 0;
};
