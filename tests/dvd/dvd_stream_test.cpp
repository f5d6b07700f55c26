// CDVDStream, the DVD source's byte stream, on the authored discs: whole
// titles read the way the reader's worker reads them, the buffered fast path
// of SetPointer against library seeks, the end of the area, and damaged discs.
#include "dvd/dvd_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fixtures.h"

namespace {

namespace fs = std::filesystem;
using fixtures::Disc;

std::vector<BYTE> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// An open DVD for the duration of a test; the stream borrows it.
class DvdStreamTest : public testing::Test {
protected:
    void Open(const fs::path& path) {
        handle_ = MyDVDOpen(path.c_str());
        ASSERT_NE(handle_, 0u) << path;
        ASSERT_EQ(stream_.Attach(handle_, false), S_OK);
    }
    void TearDown() override {
        if (handle_) MyDVDClose(handle_);
    }
    // The library's own reading position (a seek by 0 from where it is).
    LONGLONG LibraryPosition() { return MyDVDSeek(handle_, 0, 1); }

    // Reads [pos, pos + count) the way the worker does: Lock, SetPointer, Read, Unlock.
    std::vector<BYTE> ReadAt(LONGLONG pos, DWORD count, HRESULT* phr = nullptr) {
        std::vector<BYTE> out(count);
        DWORD got = 0;
        stream_.Lock();
        HRESULT hr = stream_.SetPointer(pos);
        if (SUCCEEDED(hr)) hr = stream_.Read(out.data(), count, FALSE, &got);
        stream_.Unlock();
        out.resize(got);
        if (phr) *phr = hr;
        return out;
    }

    DvdHandle handle_ = 0;
    CDVDStream stream_;
};

TEST_F(DvdStreamTest, WholeTitleInRequestsOfManySizesIsItsVob) {
    Open(fixtures::PalIso());
    std::vector<BYTE> vob = FileBytes(fixtures::TitleVob(Disc::Pal, 1));
    stream_.SelectArea(0, -1);
    ASSERT_EQ(stream_.Size(), LONGLONG(vob.size()));
    std::vector<BYTE> got;
    const DWORD sizes[] = {65536, 1, 2047, 10240, 3333, 20480};
    for (std::size_t i = 0; got.size() < vob.size(); ++i) {
        std::vector<BYTE> piece = ReadAt(LONGLONG(got.size()), sizes[i % std::size(sizes)]);
        ASSERT_FALSE(piece.empty()) << "at " << got.size();
        got.insert(got.end(), piece.begin(), piece.end());
    }
    EXPECT_TRUE(got == vob);
    LONGLONG available = 0;
    EXPECT_EQ(stream_.Size(&available), LONGLONG(vob.size()));
    EXPECT_EQ(available, LONGLONG(vob.size()));
    EXPECT_EQ(stream_.TitleDuration(), 6000);
}

TEST_F(DvdStreamTest, LengthsOfTitlesAndChapterAreas) {
    Open(fixtures::NtscFolder());
    DvdInfo info{};
    MyDVDGetInfo(handle_, &info);
    const DvdTitleInfo& t0 = info.Titles[0];
    ASSERT_EQ(t0.ChapterCount, 2);
    const LONGLONG ch0 = LONGLONG(t0.ChapterSectors[0]) * 2048, ch1 = LONGLONG(t0.ChapterSectors[1]) * 2048;
    std::vector<BYTE> vob = FileBytes(fixtures::VobPath(Disc::Ntsc, 1));

    stream_.SelectArea(0, -1);
    EXPECT_EQ(stream_.Size(), ch0 + ch1);
    // One chapter: its own size, and its own bytes.
    stream_.SelectArea(0, 1);
    EXPECT_EQ(stream_.Size(), ch1);
    std::vector<BYTE> got = ReadAt(0, DWORD(ch1) + 5000);
    ASSERT_EQ(LONGLONG(got.size()), ch1);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), vob.begin() + ch0));
    stream_.SelectArea(0, 0);
    EXPECT_EQ(stream_.Size(), ch0);
    EXPECT_EQ(LONGLONG(ReadAt(0, DWORD(ch0) + 5000).size()), ch0);

    // The duration is the title's, whichever area of it is selected.
    EXPECT_EQ(stream_.TitleDuration(), 12000);
    stream_.SelectArea(1, -1);
    EXPECT_EQ(stream_.TitleDuration(), 2000);

    // Titles and chapters that do not exist: nothing to read.
    for (auto [title, chapter] : {std::pair{7, -1}, std::pair{-1, -1}, std::pair{0, 5}}) {
        stream_.SelectArea(title, chapter);
        EXPECT_EQ(stream_.Size(), 0) << title << "," << chapter;
        HRESULT hr = S_OK;
        EXPECT_TRUE(ReadAt(0, 100, &hr).empty());
        EXPECT_EQ(hr, E_FAIL);
    }
}

TEST_F(DvdStreamTest, SetPointerInsideTheBlockStaysAwayFromTheLibrary) {
    Open(fixtures::PalFolder());
    std::vector<BYTE> vob = FileBytes(fixtures::TitleVob(Disc::Pal, 2));
    stream_.SelectArea(1, -1);
    ASSERT_EQ(ReadAt(0, 100), std::vector<BYTE>(vob.begin(), vob.begin() + 100));
    ASSERT_EQ(stream_.Remaining(), CDVDStream::kBufferSize - 100);
    const LONGLONG library = LibraryPosition();

    // Forward inside the buffered block: no library call, the block goes on.
    ASSERT_EQ(stream_.SetPointer(5000), S_OK);
    EXPECT_EQ(stream_.Remaining(), CDVDStream::kBufferSize - 5000);
    EXPECT_EQ(LibraryPosition(), library);
    // To the very end of the block: nothing left buffered, and the next read
    // fetches the following block.
    ASSERT_EQ(stream_.SetPointer(CDVDStream::kBufferSize), S_OK);
    EXPECT_EQ(stream_.Remaining(), 0);
    EXPECT_EQ(LibraryPosition(), library);
    std::vector<BYTE> got = ReadAt(CDVDStream::kBufferSize, 10);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), vob.begin() + CDVDStream::kBufferSize));
    EXPECT_EQ(stream_.Remaining(), CDVDStream::kBufferSize - 10);

    // One byte back leaves the block: the library seeks to its sector and the
    // stream reads up to the byte.
    const LONGLONG back = CDVDStream::kBufferSize + 9;
    got = ReadAt(back, 3);
    EXPECT_EQ(got, std::vector<BYTE>(vob.begin() + back, vob.begin() + back + 3));
    EXPECT_EQ(stream_.Position(), back + 3);

    // Far jumps both ways, at odd offsets.
    for (LONGLONG pos : {LONGLONG(vob.size()) / 2 + 7, LONGLONG(333), LONGLONG(vob.size()) - 2049}) {
        got = ReadAt(pos, 4096);
        ASSERT_EQ(got.size(), std::min<std::size_t>(4096, vob.size() - std::size_t(pos))) << pos;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), vob.begin() + pos)) << pos;
    }
}

TEST_F(DvdStreamTest, ReadAcrossTheEndOfTheArea) {
    Open(fixtures::PalFolder());
    std::vector<BYTE> vob = FileBytes(fixtures::TitleVob(Disc::Pal, 3));
    const LONGLONG size = LONGLONG(vob.size());
    stream_.SelectArea(2, -1);
    HRESULT hr = E_FAIL;
    std::vector<BYTE> got = ReadAt(size - 1000, 4000, &hr);
    EXPECT_EQ(hr, S_OK);
    ASSERT_EQ(got.size(), 1000u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), vob.end() - 1000));
    // Nothing more: the next read fails, and the length is where reading stopped.
    DWORD n = 1;
    BYTE byte;
    EXPECT_EQ(stream_.Read(&byte, 1, FALSE, &n), E_FAIL);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(stream_.Size(), size);
    // Past the end: the library stops at the end, nothing is read.
    EXPECT_TRUE(ReadAt(size + 100000, 10, &hr).empty());
    EXPECT_EQ(hr, E_FAIL);
    // And the stream recovers with a seek back into the area.
    EXPECT_EQ(ReadAt(0, 16), std::vector<BYTE>(vob.begin(), vob.begin() + 16));
}

class DamagedDiscTest : public DvdStreamTest {
protected:
    void SetUp() override {
        copy_ = fs::temp_directory_path() / ("dvd-stream-damage-" + std::to_string(::getpid()));
        fs::remove_all(copy_);
        fs::copy(fixtures::PalFolder(), copy_, fs::copy_options::recursive);
    }
    void TearDown() override {
        DvdStreamTest::TearDown();
        fs::remove_all(copy_);
    }
    fs::path copy_;
};

TEST_F(DamagedDiscTest, TruncatedVobReadsToTheEndWithZeroFilledSectors) {
    fs::path vobPath = copy_ / "VIDEO_TS" / "VTS_02_1.VOB";
    std::vector<BYTE> vob = FileBytes(vobPath);
    const std::size_t kept = 300 * 2048;
    fs::resize_file(vobPath, kept);
    Open(copy_);
    stream_.SelectArea(1, -1);
    ASSERT_EQ(stream_.Size(), LONGLONG(vob.size()));
    std::vector<BYTE> got;
    for (;;) {
        std::vector<BYTE> piece = ReadAt(LONGLONG(got.size()), 65536);
        if (piece.empty()) break;
        got.insert(got.end(), piece.begin(), piece.end());
    }
    ASSERT_EQ(got.size(), vob.size());
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + kept, vob.begin()));
    EXPECT_TRUE(std::all_of(got.begin() + kept, got.end(), [](BYTE b) { return b == 0; }));
    EXPECT_EQ(stream_.Size(), LONGLONG(vob.size()));
    EXPECT_EQ(MyDVDGetBadSectorCount(handle_), LONGLONG(vob.size() - kept) / 2048);
}

TEST_F(DamagedDiscTest, MissingVobEndsTheAreaAtOnce) {
    fs::remove(copy_ / "VIDEO_TS" / "VTS_03_1.VOB");
    Open(copy_);
    stream_.SelectArea(2, -1);
    EXPECT_GT(stream_.Size(), 0);
    HRESULT hr = S_OK;
    EXPECT_TRUE(ReadAt(0, 100, &hr).empty());
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(stream_.Size(), 0);
    // A failed library read keeps failing reads until a seek outside the buffer...
    BYTE buffer[16];
    DWORD n = 0;
    EXPECT_EQ(stream_.Read(buffer, sizeof buffer, FALSE, &n), E_FAIL);
    // ...and a readable title afterwards reads again.
    stream_.SelectArea(0, -1);
    EXPECT_EQ(ReadAt(0, 16).size(), 16u);
}

TEST(DvdStreamDetached, FailsWithoutADvd) {
    CDVDStream stream;
    BYTE buffer[16];
    DWORD n = 7;
    EXPECT_EQ(stream.Read(buffer, sizeof buffer, FALSE, &n), E_FAIL);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(stream.SetPointer(0), E_FAIL);
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_EQ(stream.Alignment(), 1u);
}

}  // namespace
