// Builds small MPEG program-stream byte fixtures bit by bit, so each test shows
// the exact field that a rule is about.
#pragma once
#include <cstdint>
#include <vector>

namespace psb {

class BitWriter {
public:
    BitWriter& Bits(std::uint64_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            acc_ = (acc_ << 1) | ((value >> i) & 1);
            if (++count_ == 8) {
                bytes_.push_back(std::uint8_t(acc_));
                acc_ = 0;
                count_ = 0;
            }
        }
        return *this;
    }
    BitWriter& Byte(int b) { return Bits(std::uint64_t(b & 0xFF), 8); }
    BitWriter& Bytes(const std::vector<std::uint8_t>& v) {
        for (auto b : v) Byte(b);
        return *this;
    }
    BitWriter& Marker() { return Bits(1, 1); }
    // 33-bit timestamp in three parts, each followed by a marker.
    BitWriter& Ts33(std::uint64_t t) {
        Bits(t >> 30, 3).Marker();
        Bits((t >> 15) & 0x7FFF, 15).Marker();
        return Bits(t & 0x7FFF, 15).Marker();
    }
    std::vector<std::uint8_t> Take() {
        while (count_ != 0) Bits(0, 1);
        return std::move(bytes_);
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t acc_ = 0;
    int count_ = 0;
};

inline void Append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& v) {
    out.insert(out.end(), v.begin(), v.end());
}

// MPEG-2 pack header with the given 90 kHz clock base and mux rate (50 byte/s units).
inline std::vector<std::uint8_t> Pack(std::uint64_t scrBase, int muxRate = 25200) {
    BitWriter w;
    w.Bytes({0, 0, 1, 0xBA}).Bits(1, 2).Ts33(scrBase).Bits(0, 9).Marker();
    w.Bits(std::uint64_t(muxRate), 22).Marker().Marker().Bits(0x1F, 5).Bits(0, 3);
    return w.Take();
}

// MPEG-2 PES packet. pts < 0: none. scrambling: the 2-bit field.
inline std::vector<std::uint8_t> Pes(int streamId, const std::vector<std::uint8_t>& payload,
                                     std::int64_t pts = -1, int scrambling = 0) {
    int hdrlen = pts >= 0 ? 5 : 0;
    int len = 3 + hdrlen + int(payload.size());
    BitWriter w;
    w.Bytes({0, 0, 1, std::uint8_t(streamId)}).Bits(std::uint64_t(len), 16);
    w.Bits(2, 2).Bits(std::uint64_t(scrambling), 2).Bits(0, 4);
    w.Bits(pts >= 0 ? 2 : 0, 2).Bits(0, 6).Byte(hdrlen);
    if (pts >= 0) w.Bits(2, 4).Ts33(std::uint64_t(pts));
    w.Bytes(payload);
    return w.Take();
}

// MPEG-2 sequence header + sequence extension (720x480 by default).
inline std::vector<std::uint8_t> SequenceHeader(int width = 720, int height = 480, int aspect = 2,
                                                int frameRate = 4, bool extension = true,
                                                int fpsN = 0, int fpsD = 0) {
    BitWriter w;
    w.Bytes({0, 0, 1, 0xB3}).Bits(std::uint64_t(width & 0xFFF), 12).Bits(std::uint64_t(height & 0xFFF), 12);
    w.Bits(std::uint64_t(aspect), 4).Bits(std::uint64_t(frameRate), 4).Bits(20000, 18).Marker();
    w.Bits(112, 10).Bits(0, 1).Bits(0, 1).Bits(0, 1);
    if (extension) {
        w.Bytes({0, 0, 1, 0xB5}).Bits(1, 4).Bits(0, 1).Bits(4, 3).Bits(8, 4).Bits(0, 1).Bits(1, 2);
        w.Bits(0, 2).Bits(0, 2).Bits(0, 12).Marker().Bits(0, 8).Bits(0, 1);
        w.Bits(std::uint64_t(fpsN), 2).Bits(std::uint64_t(fpsD), 5);
    }
    // a picture start code after the headers, as in a real stream
    w.Bytes({0, 0, 1, 0x00, 0, 0x0F, 0xFF, 0xF8});
    return w.Take();
}

// AC-3 sync frame start (only the header fields the parser reads, then padding).
inline std::vector<std::uint8_t> Ac3Frame(int acmod = 2, int lfeon = 0, int fscod = 0,
                                          int frmsizecod = 30, int bsid = 8) {
    BitWriter w;
    w.Bits(0x0B77, 16).Bits(0, 16).Bits(std::uint64_t(fscod), 2).Bits(std::uint64_t(frmsizecod), 6);
    w.Bits(std::uint64_t(bsid), 5).Bits(0, 3).Bits(std::uint64_t(acmod), 3);
    if ((acmod & 1) && acmod != 1) w.Bits(0, 2);
    if (acmod & 4) w.Bits(0, 2);
    if (acmod == 2) w.Bits(0, 2);
    w.Bits(std::uint64_t(lfeon), 1);
    auto v = w.Take();
    v.resize(v.size() + 16, 0);
    return v;
}

// MPEG audio frame header (+ a few payload bytes).
inline std::vector<std::uint8_t> MpaFrame(int version = 3, int layerCode = 2, int bitrate = 10,
                                          int freq = 1, int padding = 0, int mode = 0,
                                          int emphasis = 0) {
    BitWriter w;
    w.Bits(0x7FF, 11).Bits(std::uint64_t(version), 2).Bits(std::uint64_t(layerCode), 2).Bits(1, 1);
    w.Bits(std::uint64_t(bitrate), 4).Bits(std::uint64_t(freq), 2).Bits(std::uint64_t(padding), 1).Bits(0, 1);
    w.Bits(std::uint64_t(mode), 2).Bits(0, 2).Bits(0, 1).Bits(1, 1).Bits(std::uint64_t(emphasis), 2);
    auto v = w.Take();
    v.resize(v.size() + 8, 0);
    return v;
}

// DVD LPCM: 3 header bytes.
inline std::vector<std::uint8_t> LpcmHeader(int quant, int freq, int channelsMinus1, int reserved1 = 0,
                                            int reserved2 = 0) {
    BitWriter w;
    w.Bits(0, 1).Bits(0, 1).Bits(std::uint64_t(reserved1), 1).Bits(0, 5);
    w.Bits(std::uint64_t(quant), 2).Bits(std::uint64_t(freq), 2).Bits(std::uint64_t(reserved2), 1);
    w.Bits(std::uint64_t(channelsMinus1), 3).Byte(0x80);
    return w.Take();
}

// DTS core frame header.
inline std::vector<std::uint8_t> DtsFrame(int amode = 9, int sfreq = 13, int rate = 15, int lfe = 1,
                                          int frameBytes = 1006) {
    BitWriter w;
    w.Bits(0x7FFE8001, 32).Bits(1, 1).Bits(31, 5).Bits(0, 1).Bits(15, 7);
    w.Bits(std::uint64_t(frameBytes - 1), 14).Bits(std::uint64_t(amode), 6).Bits(std::uint64_t(sfreq), 4);
    w.Bits(std::uint64_t(rate), 5).Bits(0, 5).Bits(0, 3).Bits(0, 1).Bits(0, 1).Bits(std::uint64_t(lfe), 2);
    auto v = w.Take();
    v.resize(v.size() + 16, 0);
    return v;
}

}  // namespace psb
