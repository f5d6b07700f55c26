// libDvd against the authored discs: which paths open, and whether reading a
// title's area delivers the very bytes of its VOB, in every way the reader
// asks for them (whole blocks, odd sizes, seeks, chapter areas, damage).
#include "platform/libdvd/libdvd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include <unistd.h>

#include "fixtures.h"

namespace {

namespace fs = std::filesystem;
using fixtures::Disc;

std::vector<BYTE> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Closer {
    void operator()(DvdHandle* h) const {
        MyDVDClose(*h);
        delete h;
    }
};
using Handle = std::unique_ptr<DvdHandle, Closer>;

Handle Open(const fs::path& path) {
    DvdHandle h = MyDVDOpen(path.c_str());
    return h ? Handle(new DvdHandle(h)) : Handle();
}

std::unique_ptr<DvdInfo> Info(DvdHandle h) {
    auto info = std::make_unique<DvdInfo>();
    EXPECT_EQ(MyDVDGetInfo(h, info.get()), 0);
    return info;
}

std::int64_t TitleBytes(const DvdTitleInfo& t) {
    std::int64_t sectors = 0;
    for (int c = 0; c < t.ChapterCount; ++c) sectors += t.ChapterSectors[c];
    return sectors * kDvdSectorSize;
}

// Reads the rest of the area in pieces of `piece` bytes.
std::vector<BYTE> ReadAll(DvdHandle h, int piece = kDvdReadBlockSize) {
    std::vector<BYTE> out;
    std::vector<BYTE> buffer(static_cast<std::size_t>(piece));
    int n;
    while ((n = MyDVDRead(h, buffer.data(), piece)) > 0) out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    return out;
}

void SelectWholeTitle(DvdHandle h, int t) {
    ASSERT_EQ(MyDVDSetArea(h, t, 0), 0);
    ASSERT_EQ(MyDvdSetStopPos(h, t + 1, 0), 0);
}

TEST(LibDvdOpen, AcceptsFoldersImagesAndRejectsTheRest) {
    fs::path scratch = fs::temp_directory_path() / ("libdvd-open-" + std::to_string(::getpid()));
    fs::create_directories(scratch / "empty");
    std::ofstream(scratch / "noise.iso") << std::string(64 * 1024, 'x');
    struct Case {
        fs::path path;
        bool opens;
    } cases[] = {
        {fixtures::NtscFolder(), true},
        {fixtures::NtscFolder() / "VIDEO_TS", true},
        {fixtures::NtscIso(), true},
        {fixtures::PalIso(), true},
        {scratch / "missing", false},
        {scratch / "empty", false},
        {scratch / "noise.iso", false},
        {fixtures::VobPath(Disc::Ntsc, 1), false},
    };
    for (const Case& c : cases) {
        DvdHandle h = MyDVDOpen(c.path.c_str());
        EXPECT_EQ(h != 0, c.opens) << c.path;
        if (h) MyDVDClose(h);
    }
    EXPECT_EQ(MyDVDOpen(""), 0u);
    EXPECT_EQ(MyDVDOpen(nullptr), 0u);
    fs::remove_all(scratch);
}

TEST(LibDvdOpen, ClosedOrUnknownHandlesAreRefused) {
    DvdHandle h = MyDVDOpen(fixtures::NtscFolder().c_str());
    ASSERT_NE(h, 0u);
    EXPECT_EQ(MyDVDClose(h), 0);
    DvdInfo info{};
    BYTE buffer[kDvdReadBlockSize];
    for (DvdHandle bad : {h, DvdHandle(0), DvdHandle(0xDEADBEEF)}) {
        EXPECT_EQ(MyDVDGetInfo(bad, &info), -1);
        EXPECT_EQ(MyDVDSetArea(bad, 0, 0), -1);
        EXPECT_EQ(MyDvdSetStopPos(bad, 1, 0), -1);
        EXPECT_EQ(MyDVDRead(bad, buffer, sizeof buffer), -1);
        EXPECT_EQ(MyDVDSeek(bad, 0, 0), -1);
        EXPECT_EQ(MyDVDGetBadSectorCount(bad), -1);
        EXPECT_EQ(MyDVDClose(bad), -1);
    }
}

// Titles that are alone in their titleset: the area is the whole VOB file.
struct SoleTitle {
    Disc disc;
    int number;
    bool iso;
};

class SoleTitleRead : public testing::TestWithParam<SoleTitle> {};

TEST_P(SoleTitleRead, AreaIsTheVobAndItsLengthIsTheChapterSum) {
    const SoleTitle& p = GetParam();
    Handle h = Open(p.iso ? fixtures::Iso(p.disc) : fixtures::Folder(p.disc));
    ASSERT_TRUE(h);
    auto info = Info(*h);
    int t = p.number - 1;
    std::vector<BYTE> vob = FileBytes(fixtures::TitleVob(p.disc, p.number));
    ASSERT_FALSE(vob.empty());
    EXPECT_EQ(TitleBytes(info->Titles[t]), std::int64_t(vob.size()));
    SelectWholeTitle(*h, t);
    std::vector<BYTE> got = ReadAll(*h);
    EXPECT_EQ(got.size(), vob.size());
    EXPECT_TRUE(got == vob);
    EXPECT_EQ(MyDVDGetBadSectorCount(*h), 0);
    EXPECT_EQ(MyDVDGetScrambledSectorCount(*h), 0);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SoleTitleRead,
                         testing::Values(SoleTitle{Disc::Ntsc, 3, false}, SoleTitle{Disc::Ntsc, 3, true},
                                         SoleTitle{Disc::Pal, 1, false}, SoleTitle{Disc::Pal, 2, true},
                                         SoleTitle{Disc::Pal, 3, false}));

TEST(LibDvdRead, TwoTitlesOfOneTitlesetSplitTheirVob) {
    Handle h = Open(fixtures::NtscFolder());
    ASSERT_TRUE(h);
    auto info = Info(*h);
    std::vector<BYTE> vob = FileBytes(fixtures::VobPath(Disc::Ntsc, 1));
    SelectWholeTitle(*h, 0);
    std::vector<BYTE> first = ReadAll(*h);
    SelectWholeTitle(*h, 1);
    std::vector<BYTE> second = ReadAll(*h);
    EXPECT_EQ(std::int64_t(first.size()), TitleBytes(info->Titles[0]));
    EXPECT_EQ(std::int64_t(second.size()), TitleBytes(info->Titles[1]));
    std::vector<BYTE> both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_TRUE(both == vob);
}

TEST(LibDvdRead, OddSizedReadsDeliverTheSameStream) {
    Handle h = Open(fixtures::PalFolder());
    ASSERT_TRUE(h);
    std::vector<BYTE> vob = FileBytes(fixtures::TitleVob(Disc::Pal, 2));
    for (int piece : {1000, 2048, 3000, 65536}) {
        SelectWholeTitle(*h, 1);
        std::vector<BYTE> got = ReadAll(*h, piece);
        EXPECT_TRUE(got == vob) << "pieces of " << piece;
    }
}

TEST(LibDvdRead, ChapterAreasAndStopPositions) {
    Handle h = Open(fixtures::NtscIso());
    ASSERT_TRUE(h);
    auto info = Info(*h);
    const DvdTitleInfo& t0 = info->Titles[0];
    ASSERT_EQ(t0.ChapterCount, 2);
    std::int64_t ch0 = std::int64_t(t0.ChapterSectors[0]) * kDvdSectorSize;
    std::int64_t ch1 = std::int64_t(t0.ChapterSectors[1]) * kDvdSectorSize;
    std::vector<BYTE> vob = FileBytes(fixtures::VobPath(Disc::Ntsc, 1));

    // Chapter 1 alone: starts at its own first sector, offsets count from there.
    ASSERT_EQ(MyDVDSetArea(*h, 0, 1), 0);
    ASSERT_EQ(MyDvdSetStopPos(*h, 0, 2), 0);
    std::vector<BYTE> got = ReadAll(*h);
    ASSERT_EQ(std::int64_t(got.size()), ch1);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), vob.begin() + ch0));

    // Chapter 0 up to where chapter 1 begins.
    ASSERT_EQ(MyDVDSetArea(*h, 0, 0), 0);
    ASSERT_EQ(MyDvdSetStopPos(*h, 0, 1), 0);
    EXPECT_EQ(std::int64_t(ReadAll(*h).size()), ch0);

    // A stop in the next title ends the area with this title.
    SelectWholeTitle(*h, 0);
    EXPECT_EQ(std::int64_t(ReadAll(*h).size()), ch0 + ch1);

    // Indices outside the disc select nothing and reading fails.
    BYTE buffer[kDvdReadBlockSize];
    for (auto [title, chapter] : {std::pair{0, 2}, std::pair{0, -1}, std::pair{3, 0}, std::pair{-1, 0}}) {
        EXPECT_EQ(MyDVDSetArea(*h, title, chapter), -1) << title << "," << chapter;
        EXPECT_EQ(MyDVDRead(*h, buffer, sizeof buffer), -1);
    }
}

TEST(LibDvdSeek, LandsOnTheSectorAtOrBeforeTheTargetWithinTheArea) {
    Handle h = Open(fixtures::PalFolder());
    ASSERT_TRUE(h);
    std::vector<BYTE> vob = FileBytes(fixtures::TitleVob(Disc::Pal, 3));
    const LONGLONG size = LONGLONG(vob.size());
    SelectWholeTitle(*h, 2);
    struct Case {
        LONGLONG offset;
        int origin;
        LONGLONG reached;
    } cases[] = {
        {0, 0, 0},
        {2048, 0, 2048},
        {5000, 0, 4096},             // inside a sector: its start
        {size + 12345, 0, size},     // past the end: the end
        {-1, 0, -1},                 // before the start: refused
        {100, 3, -1},                // unknown origin
        {-2048, 2, size - 2048},     // from the end
    };
    for (const Case& c : cases) EXPECT_EQ(MyDVDSeek(*h, c.offset, c.origin), c.reached) << c.offset;

    // From the current position, and reading resumes exactly there.
    ASSERT_EQ(MyDVDSeek(*h, 10 * 2048, 0), 10 * 2048);
    ASSERT_EQ(MyDVDSeek(*h, 4096 + 100, 1), 12 * 2048);
    BYTE buffer[3000];
    ASSERT_EQ(MyDVDRead(*h, buffer, sizeof buffer), int(sizeof buffer));
    EXPECT_TRUE(std::equal(buffer, buffer + sizeof buffer, vob.begin() + 12 * 2048));

    // At the end of the area reading delivers nothing.
    ASSERT_EQ(MyDVDSeek(*h, 0, 2), size);
    EXPECT_EQ(MyDVDRead(*h, buffer, sizeof buffer), 0);
}

// A disc copied with holes: the missing sectors come back as zeroes, the
// title keeps its length and the damage is counted.
TEST(LibDvdDamage, TruncatedVobReadsToTheEndWithZeroes) {
    fs::path copy = fs::temp_directory_path() / ("libdvd-damage-" + std::to_string(::getpid()));
    fs::remove_all(copy);
    fs::copy(fixtures::PalFolder(), copy, fs::copy_options::recursive);
    fs::path vobPath = copy / "VIDEO_TS" / "VTS_02_1.VOB";
    std::vector<BYTE> vob = FileBytes(vobPath);
    const std::size_t kept = vob.size() / 2 + 777;  // cuts a sector in two
    fs::resize_file(vobPath, kept);

    Handle h = Open(copy);
    ASSERT_TRUE(h);
    SelectWholeTitle(*h, 1);
    std::vector<BYTE> got = ReadAll(*h);
    ASSERT_EQ(got.size(), vob.size());
    const std::size_t whole = kept / kDvdSectorSize * kDvdSectorSize;
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + whole, vob.begin()));
    EXPECT_TRUE(std::all_of(got.begin() + whole, got.end(), [](BYTE b) { return b == 0; }));
    EXPECT_EQ(MyDVDGetBadSectorCount(*h), LONGLONG((vob.size() - whole) / kDvdSectorSize));

    // A title whose VOB is gone entirely is an error, not a title of zeroes.
    fs::remove(copy / "VIDEO_TS" / "VTS_03_1.VOB");
    SelectWholeTitle(*h, 2);
    BYTE buffer[kDvdReadBlockSize];
    EXPECT_EQ(MyDVDRead(*h, buffer, sizeof buffer), -1);
    h.reset();
    fs::remove_all(copy);
}

// An encrypted disc read without libdvdcss delivers packs marked scrambled;
// they are counted so that the front end can say why the picture is garbage.
TEST(LibDvdDamage, ScrambledPacksAreCounted) {
    fs::path copy = fs::temp_directory_path() / ("libdvd-scrambled-" + std::to_string(::getpid()));
    fs::remove_all(copy);
    fs::copy(fixtures::PalFolder(), copy, fs::copy_options::recursive);
    fs::path vobPath = copy / "VIDEO_TS" / "VTS_02_1.VOB";
    std::vector<BYTE> vob = FileBytes(vobPath);
    int marked = 0;
    for (std::size_t at = 0; at + kDvdSectorSize <= vob.size() && marked < 3; at += kDvdSectorSize) {
        BYTE* pack = vob.data() + at;
        std::size_t pes = 14 + (pack[13] & 7);
        if (pack[pes + 3] != 0xE0 && pack[pes + 3] != 0xBD) continue;  // not the navigation pack
        pack[pes + 6] |= 0x10;
        ++marked;
    }
    ASSERT_EQ(marked, 3);
    std::ofstream(vobPath, std::ios::binary).write(reinterpret_cast<const char*>(vob.data()), std::streamsize(vob.size()));

    Handle h = Open(copy);
    ASSERT_TRUE(h);
    EXPECT_EQ(MyDVDGetScrambledSectorCount(*h), 0);
    SelectWholeTitle(*h, 1);
    EXPECT_EQ(ReadAll(*h).size(), vob.size());
    EXPECT_EQ(MyDVDGetScrambledSectorCount(*h), 3);
    EXPECT_EQ(MyDVDGetBadSectorCount(*h), 0);
    h.reset();
    fs::remove_all(copy);
    EXPECT_EQ(MyDVDGetScrambledSectorCount(0), -1);
}

}  // namespace
