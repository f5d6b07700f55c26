// The cached, bit-addressable reader under the MPEG parsers.
#include <gtest/gtest.h>

#include <numeric>

#include "demux/splitter_file.h"

namespace {

std::vector<BYTE> Ramp(size_t n) {
    std::vector<BYTE> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = BYTE(i * 7 + (i >> 8));
    return v;
}

struct Reader {
    explicit Reader(std::vector<BYTE> data, int cache = 1024, bool requireFull = false,
                    bool allowStreaming = true)
        : src(std::make_shared<CMemorySplitterSource>(data)), bytes(std::move(data)) {
        file = std::make_unique<CBaseSplitterFile>(src, hr, cache, requireFull, allowStreaming);
    }
    std::shared_ptr<CMemorySplitterSource> src;
    std::vector<BYTE> bytes;
    HRESULT hr = E_FAIL;
    std::unique_ptr<CBaseSplitterFile> file;
};

TEST(SplitterFile, ConstructionChecksTheSource) {
    HRESULT hr = S_OK;
    CBaseSplitterFile none(nullptr, hr);
    EXPECT_EQ(hr, E_UNEXPECTED);

    auto growing = std::make_shared<CMemorySplitterSource>(Ramp(100));
    growing->SetStreaming(50);
    CBaseSplitterFile needsFull(growing, hr, 64, true, true);
    EXPECT_EQ(hr, E_FAIL);
    CBaseSplitterFile noStreaming(growing, hr, 64, false, false);
    EXPECT_EQ(hr, E_FAIL);
    CBaseSplitterFile ok(growing, hr, 64, false, true);
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(ok.IsStreaming());
    EXPECT_EQ(ok.GetLength(), 50);
}

TEST(SplitterFile, ReadsOfOneCapacityGoThroughTheCacheLargerOnesAroundIt) {
    Reader r(Ramp(10000), 1024);
    ASSERT_EQ(r.hr, S_OK);
    std::vector<BYTE> out(1025);

    r.file->Seek(100);
    ASSERT_EQ(r.file->Read(out.data(), 1024), S_OK);
    EXPECT_EQ(r.src->reads, 1);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 1024, r.bytes.begin() + 100));
    // Now inside the cache: a short move back costs no source read.
    r.file->Seek(500);
    ASSERT_EQ(r.file->Read(out.data(), 100), S_OK);
    EXPECT_EQ(r.src->reads, 1);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 100, r.bytes.begin() + 500));

    // capacity + 1 from outside the cache: one direct read and one cache fill for the last byte
    r.src->reads = 0;
    r.src->bytesRead = 0;
    r.file->Seek(5000);
    ASSERT_EQ(r.file->Read(out.data(), 1025), S_OK);
    EXPECT_EQ(r.src->reads, 2);
    EXPECT_EQ(r.src->bytesRead, 1024 + 1024);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), r.bytes.begin() + 5000));
    EXPECT_EQ(r.file->GetPos(), 6025);
}

TEST(SplitterFile, SeekClampsToTheSource) {
    Reader r(Ramp(300));
    r.file->Seek(-5);
    EXPECT_EQ(r.file->GetPos(), 0);
    r.file->Seek(1000);
    EXPECT_EQ(r.file->GetPos(), 300);
    r.file->Seek(300);
    EXPECT_EQ(r.file->GetPos(), 300);
}

TEST(SplitterFile, PeekedBitsStayUnreadUntilConsumed) {
    Reader r({0x12, 0x34, 0x56, 0x78, 0x9A});
    EXPECT_EQ(r.file->BitRead(32, true), 0x12345678u);
    EXPECT_EQ(r.file->GetPos(), 0);
    EXPECT_EQ(r.file->BitRead(8), 0x12u);
    EXPECT_EQ(r.file->GetPos(), 1);
    EXPECT_EQ(r.file->BitRead(24, true), 0x345678u);
    EXPECT_EQ(r.file->BitRead(4), 0x3u);
    EXPECT_EQ(r.file->BitRead(12), 0x456u);
    // Aligned byte reads start at the current position, not at what was pulled in.
    r.file->BitRead(4, true);
    BYTE b[2] = {};
    EXPECT_EQ(r.file->ByteRead(b, 2), S_OK);
    EXPECT_EQ(b[0], 0x78);
    EXPECT_EQ(b[1], 0x9A);
}

TEST(SplitterFile, EndOfDataIsSFalseAndZeroBits) {
    Reader r(Ramp(10));
    r.file->Seek(10);
    BYTE b = 0;
    EXPECT_EQ(r.file->Read(&b, 1), S_FALSE);
    EXPECT_EQ(r.file->GetPos(), 10);
    EXPECT_EQ(r.file->BitRead(8), 0u);
    EXPECT_EQ(r.file->HasMoreData(), E_FAIL);
    r.file->Seek(9);
    EXPECT_EQ(r.file->HasMoreData(), S_OK);
    EXPECT_EQ(r.file->GetRemaining(), 1);
}

TEST(SplitterFile, ExpGolombCodes) {
    // 1 | 010 | 011 | 00100 | 00101 -> 0, 1, 2, 3, 4
    Reader r({0b10100110, 0b01000010, 0b10000000});
    EXPECT_EQ(r.file->UExpGolombRead(), 0u);
    EXPECT_EQ(r.file->UExpGolombRead(), 1u);
    EXPECT_EQ(r.file->UExpGolombRead(), 2u);
    EXPECT_EQ(r.file->UExpGolombRead(), 3u);
    EXPECT_EQ(r.file->UExpGolombRead(), 4u);
    // signed: 010 -> +1, 011 -> -1, 00100 -> +2
    Reader s({0b01001100, 0b10000000});
    EXPECT_EQ(s.file->SExpGolombRead(), 1);
    EXPECT_EQ(s.file->SExpGolombRead(), -1);
    EXPECT_EQ(s.file->SExpGolombRead(), 2);
}

class HookFile : public CBaseSplitterFile {
public:
    using CBaseSplitterFile::CBaseSplitterFile;
    void OnComplete() override { ++completions; }
    int completions = 0;
};

TEST(SplitterFile, GrowingSourceWaitsForDataAndCompletesOnce) {
    auto src = std::make_shared<CMemorySplitterSource>(Ramp(1000));
    src->SetStreaming(600);
    HRESULT hr = E_FAIL;
    HookFile f(src, hr, 256, false, true);
    ASSERT_EQ(hr, S_OK);
    f.Seek(500);
    EXPECT_EQ(f.HasMoreData(512000, 1), S_FALSE);
    EXPECT_EQ(f.HasMoreData(100, 0), S_OK);

    BYTE b[4];
    ASSERT_EQ(f.Read(b, 4), S_OK);
    EXPECT_EQ(f.completions, 0);
    src->SetComplete();
    ASSERT_EQ(f.Read(b, 4), S_OK);
    ASSERT_EQ(f.Read(b, 4), S_OK);
    EXPECT_EQ(f.completions, 1);
}

}  // namespace
