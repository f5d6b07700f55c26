// libDvd over libdvdread.
//
// A title is described once, at open time, as a list of chapters, each a list
// of sector extents (the cells of its programs, first angle only). The record's
// chapter sizes are the sums of those extents, and reading walks exactly the
// same extents, so the length the reader computes from the record is the
// number of bytes reading delivers.
#include "platform/libdvd/libdvd.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win/messages.h"

#include <sys/stat.h>

namespace {

struct Extent {
    std::uint32_t first;  // sector, relative to the titleset's title VOBs
    std::uint32_t count;
};

struct ChapterLayout {
    std::vector<Extent> extents;
    std::int64_t sectors = 0;
};

struct TitleLayout {
    int titleset = 0;  // 0: the title could not be described
    std::vector<ChapterLayout> chapters;
};

// A sector run of the current area, with its byte offset inside the area.
struct AreaRun {
    std::int64_t areaSector;  // first sector of the run, counted in the area
    std::uint32_t discSector;
    std::uint32_t count;
};

constexpr int kReadRetries = 2;  // extra attempts before a sector is given up

void LogToDebug(void*, dvd_logger_level_t, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    OutputDebugString(std::string("libdvdread: ") + text + "\n");
}
const dvd_logger_cb kLogger = {LogToDebug};

// Two printable letters or nothing: a code with anything else in it is noise
// from the authoring tool, not a language.
std::int32_t CleanLanguage(std::uint16_t code) {
    auto letter = [](int c) { return c >= 0x21 && c <= 0x7E; };
    return letter(code >> 8) && letter(code & 0xFF) ? code : 0;
}

int Bcd(std::uint8_t v) { return (v >> 4) * 10 + (v & 0x0F); }

double PlaybackMs(const dvd_time_t& t) {
    double ms = (Bcd(t.hour) * 3600.0 + Bcd(t.minute) * 60.0 + Bcd(t.second)) * 1000.0;
    int frames = Bcd(t.frame_u & 0x3F);
    switch (t.frame_u >> 6) {
        case 1: ms += frames * 1000.0 / 25.0; break;
        case 3: ms += frames * 1001.0 / 30.0; break;  // 29.97 frames per second
        default: break;
    }
    return ms;
}

class Disc {
public:
    ~Disc() {
        for (auto& [n, file] : files_)
            if (file) DVDCloseFile(file);
        for (ifo_handle_t* ifo : vts_)
            if (ifo) ifoClose(ifo);
        if (vmg_) ifoClose(vmg_);
        if (dvd_) DVDClose(dvd_);
    }

    bool Open(const char* path) {
        dvd_ = DVDOpen2(nullptr, &kLogger, path);
        if (!dvd_) return false;
        vmg_ = ifoOpen(dvd_, 0);
        if (!vmg_ || !vmg_->tt_srpt || !vmg_->vmgi_mat) return false;
        vts_.assign(vmg_->vmgi_mat->vmg_nr_of_title_sets + 1, nullptr);
        Describe();
        return true;
    }

    void GetInfo(DvdInfo* out) {
        std::lock_guard lock(mutex_);
        *out = info_;
    }

    int SetArea(int title, int chapter) {
        std::lock_guard lock(mutex_);
        ClearArea();
        if (title < 0 || title >= int(layouts_.size())) return -1;
        const TitleLayout& layout = layouts_[title];
        if (layout.titleset == 0 || chapter < 0 || chapter >= int(layout.chapters.size())) return -1;
        title_ = title;
        startChapter_ = chapter;
        stopChapter_ = int(layout.chapters.size());
        BuildArea();
        return 0;
    }

    int SetStopPos(int title, int chapter) {
        std::lock_guard lock(mutex_);
        if (title_ < 0) return -1;
        int count = int(layouts_[title_].chapters.size());
        // A stop in another title (the usual "next title, chapter 0") or past
        // the last chapter ends the area with its title.
        stopChapter_ = (title == title_ && chapter >= 0 && chapter < count) ? chapter : count;
        std::int64_t keep = position_;
        BuildArea();
        position_ = std::min(keep, areaBytes_);
        return 0;
    }

    int Read(BYTE* buffer, int byteCount) {
        std::lock_guard lock(mutex_);
        if (title_ < 0 || !buffer || byteCount < 0) return -1;
        dvd_file_t* file = TitleFile(layouts_[title_].titleset);
        if (!file) return -1;
        int titleset = layouts_[title_].titleset;
        int delivered = 0;
        while (delivered < byteCount && position_ < areaBytes_) {
            std::int64_t areaSector = position_ / kDvdSectorSize;
            int inSector = int(position_ % kDvdSectorSize);
            const AreaRun& run = RunFor(areaSector);
            std::uint32_t disc = run.discSector + std::uint32_t(areaSector - run.areaSector);
            if (!(cacheTitleset_ == titleset && disc >= cacheFirst_ && disc < cacheFirst_ + cacheCount_)) {
                // Read ahead within the run: callers ask for a few sectors at
                // a time, drives and files are far quicker in larger pieces.
                std::uint32_t leftInRun = run.count - std::uint32_t(areaSector - run.areaSector);
                cacheCount_ = std::min<std::uint32_t>(leftInRun, kCacheSectors);
                cacheFirst_ = disc;
                cacheTitleset_ = titleset;
                ReadSectors(file, disc, cacheCount_, cache_.data());
                CountScrambled(cache_.data(), cacheCount_);
            }
            std::size_t offset = std::size_t(disc - cacheFirst_) * kDvdSectorSize + std::size_t(inSector);
            std::size_t available = std::size_t(cacheFirst_ + cacheCount_ - disc) * kDvdSectorSize - std::size_t(inSector);
            int n = int(std::min<std::size_t>(available, std::size_t(byteCount - delivered)));
            std::memcpy(buffer + delivered, cache_.data() + offset, std::size_t(n));
            delivered += n;
            position_ += n;
        }
        return delivered;
    }

    LONGLONG Seek(LONGLONG offset, int origin) {
        std::lock_guard lock(mutex_);
        if (title_ < 0) return -1;
        LONGLONG base = origin == 0 ? 0 : origin == 1 ? position_ : origin == 2 ? areaBytes_ : -1;
        if (base < 0) return -1;
        LONGLONG target = base + offset;
        if (target < 0) return -1;
        target = std::min<LONGLONG>(target, areaBytes_);
        position_ = target - target % kDvdSectorSize;
        return position_;
    }

    LONGLONG BadSectors() {
        std::lock_guard lock(mutex_);
        return badSectors_;
    }

    LONGLONG ScrambledSectors() {
        std::lock_guard lock(mutex_);
        return scrambledSectors_;
    }

private:
    ifo_handle_t* Vts(int n) {
        if (n <= 0 || n >= int(vts_.size())) return nullptr;
        if (!vts_[n]) vts_[n] = ifoOpen(dvd_, n);
        return vts_[n];
    }

    dvd_file_t* TitleFile(int titleset) {
        auto it = files_.find(titleset);
        if (it != files_.end()) return it->second;
        dvd_file_t* file = DVDOpenFile(dvd_, titleset, DVD_READ_TITLE_VOBS);
        if (!file) OutputDebugString("libdvd: cannot open the title VOBs of titleset " + std::to_string(titleset) + "\n");
        files_[titleset] = file;
        return file;
    }

    static pgc_t* Pgc(ifo_handle_t* vts, int pgcn) {
        if (!vts->vts_pgcit || pgcn < 1 || pgcn > vts->vts_pgcit->nr_of_pgci_srp) return nullptr;
        return vts->vts_pgcit->pgci_srp[pgcn - 1].pgc;
    }

    // The extents of one chapter: the cells from its program's entry cell up to
    // the next chapter's entry cell when that follows in the same program
    // chain, else to the chain's end. Other angles of an angle block are left
    // out.
    static ChapterLayout DescribeChapter(const pgc_t* pgc, int pgn, int nextPgn) {
        ChapterLayout chapter;
        if (!pgc || !pgc->program_map || !pgc->cell_playback) return chapter;
        if (pgn < 1 || pgn > pgc->nr_of_programs) return chapter;
        int firstCell = pgc->program_map[pgn - 1];
        int lastCell = pgc->nr_of_cells;
        if (nextPgn > pgn && nextPgn <= pgc->nr_of_programs) lastCell = pgc->program_map[nextPgn - 1] - 1;
        for (int c = std::max(firstCell, 1); c <= lastCell && c <= pgc->nr_of_cells; ++c) {
            const cell_playback_t& cell = pgc->cell_playback[c - 1];
            if (cell.block_type == BLOCK_TYPE_ANGLE_BLOCK && cell.block_mode != BLOCK_MODE_FIRST_CELL) continue;
            if (cell.last_sector < cell.first_sector) continue;
            std::uint32_t count = cell.last_sector - cell.first_sector + 1;
            if (!chapter.extents.empty() &&
                chapter.extents.back().first + chapter.extents.back().count == cell.first_sector)
                chapter.extents.back().count += count;
            else
                chapter.extents.push_back({cell.first_sector, count});
            chapter.sectors += count;
        }
        return chapter;
    }

    void Describe() {
        std::memset(&info_, 0, sizeof info_);
        const tt_srpt_t* tt = vmg_->tt_srpt;
        int titles = std::min<int>(tt->nr_of_srpts, kDvdMaxTitles);
        info_.TitleCount = titles;
        layouts_.assign(std::size_t(titles), TitleLayout{});
        for (int t = 0; t < titles; ++t) DescribeTitle(t, tt->title[t]);
    }

    void DescribeTitle(int t, const title_info_t& entry) {
        DvdTitleInfo& out = info_.Titles[t];
        ifo_handle_t* vts = Vts(entry.title_set_nr);
        if (!vts || !vts->vts_ptt_srpt || !vts->vtsi_mat) {
            OutputDebugString("libdvd: title " + std::to_string(t + 1) + " has no readable titleset\n");
            return;
        }
        if (entry.vts_ttn < 1 || entry.vts_ttn > vts->vts_ptt_srpt->nr_of_srpts) return;
        const ttu_t& ttu = vts->vts_ptt_srpt->title[entry.vts_ttn - 1];
        if (ttu.nr_of_ptts == 0 || !ttu.ptt) return;

        TitleLayout layout;
        layout.titleset = entry.title_set_nr;
        double duration = 0;
        int lastPgcn = -1;
        for (int i = 0; i < ttu.nr_of_ptts; ++i) {
            const ptt_info_t& ptt = ttu.ptt[i];
            int nextPgn = (i + 1 < ttu.nr_of_ptts && ttu.ptt[i + 1].pgcn == ptt.pgcn) ? ttu.ptt[i + 1].pgn : 0;
            const pgc_t* pgc = Pgc(vts, ptt.pgcn);
            ChapterLayout chapter = DescribeChapter(pgc, ptt.pgn, nextPgn);
            if (pgc && ptt.pgcn != lastPgcn) duration += PlaybackMs(pgc->playback_time);
            lastPgcn = ptt.pgcn;
            // The record holds 64 chapters; later ones join the last entry so
            // that the sizes still add up to the whole title.
            if (int(layout.chapters.size()) < kDvdMaxChapters) {
                layout.chapters.push_back(std::move(chapter));
            } else {
                ChapterLayout& last = layout.chapters.back();
                last.extents.insert(last.extents.end(), chapter.extents.begin(), chapter.extents.end());
                last.sectors += chapter.sectors;
            }
        }
        out.ChapterCount = int(layout.chapters.size());
        out.Duration = duration;
        for (int i = 0; i < out.ChapterCount; ++i)
            out.ChapterSectors[i] = std::int32_t(std::min<std::int64_t>(layout.chapters[i].sectors, INT32_MAX));

        const pgc_t* pgc = Pgc(vts, ttu.ptt[0].pgcn);
        if (pgc) DescribeTracks(out, *vts->vtsi_mat, *pgc);
        layouts_[t] = std::move(layout);
    }

    static void DescribeTracks(DvdTitleInfo& out, const vtsi_mat_t& mat, const pgc_t& pgc) {
        // A stream is in the title when its control entry says so. Some discs
        // leave every entry clear; their streams are numbered in order.
        int audio = std::min<int>(mat.nr_of_vts_audio_streams, 8);
        bool anyAudio = false;
        for (int i = 0; i < audio; ++i) anyAudio |= (pgc.audio_control[i] & 0x8000) != 0;
        for (int i = 0; i < audio && out.AudioCount < kDvdMaxAudio; ++i) {
            if (anyAudio && !(pgc.audio_control[i] & 0x8000)) continue;
            int n = anyAudio ? (pgc.audio_control[i] >> 8) & 7 : i;
            const audio_attr_t& attr = mat.vts_audio_attr[i];
            std::int32_t id, format;
            switch (attr.audio_format) {
                case 0: id = 0xBD80 + n; format = kDvdAudioAc3; break;
                case 2: id = (0xC0 + n) << 8; format = kDvdAudioMpeg1; break;
                case 3: id = (0xC0 + n) << 8; format = kDvdAudioMpeg2; break;
                case 4: id = 0xBDA0 + n; format = kDvdAudioLpcm; break;
                case 6: id = 0xBD88 + n; format = kDvdAudioDts; break;
                default: continue;  // SDDS and reserved codes: nothing decodes them
            }
            int k = out.AudioCount++;
            out.AudioId[k] = id;
            out.AudioFormat[k] = format;
            out.AudioChannels[k] = attr.channels;
            out.AudioLanguage[k] = CleanLanguage(attr.lang_code);
        }

        int subs = std::min<int>(mat.nr_of_vts_subp_streams, 32);
        bool anySub = false;
        for (int i = 0; i < subs; ++i) anySub |= (pgc.subp_control[i] & 0x80000000u) != 0;
        // A wide title shows its wide subpicture stream; a 4:3 one its 4:3 stream.
        bool wide = mat.vts_video_attr.display_aspect_ratio != 0;
        for (int i = 0; i < subs && out.SubpictureCount < kDvdMaxSubpictures; ++i) {
            if (anySub && !(pgc.subp_control[i] & 0x80000000u)) continue;
            int n = !anySub ? i : wide ? (pgc.subp_control[i] >> 16) & 0x1F : (pgc.subp_control[i] >> 24) & 0x1F;
            int k = out.SubpictureCount++;
            out.SubpictureId[k] = 0xBD20 + n;
            out.SubpictureLanguage[k] = CleanLanguage(mat.vts_subp_attr[i].lang_code);
        }
    }

    void ClearArea() {
        title_ = -1;
        runs_.clear();
        areaBytes_ = 0;
        position_ = 0;
    }

    void BuildArea() {
        runs_.clear();
        std::int64_t sectors = 0;
        const TitleLayout& layout = layouts_[title_];
        for (int c = startChapter_; c < stopChapter_; ++c)
            for (const Extent& e : layout.chapters[c].extents) {
                runs_.push_back({sectors, e.first, e.count});
                sectors += e.count;
            }
        areaBytes_ = sectors * kDvdSectorSize;
        position_ = 0;
    }

    const AreaRun& RunFor(std::int64_t areaSector) const {
        auto it = std::upper_bound(runs_.begin(), runs_.end(), areaSector,
                                   [](std::int64_t s, const AreaRun& r) { return s < r.areaSector; });
        return *(it - 1);
    }

    // Reads n sectors. A sector that still fails after the retries is handed
    // on as zeroes: the demultiplexer finds the next start code, so a scratch
    // costs a glitch in the output rather than the rest of the title.
    void ReadSectors(dvd_file_t* file, std::uint32_t sector, std::uint32_t n, BYTE* dst) {
        while (n > 0) {
            ssize_t got = DVDReadBlocks(file, int(sector), n, dst);
            if (got > 0) {
                std::uint32_t k = std::min<std::uint32_t>(std::uint32_t(got), n);
                sector += k;
                n -= k;
                dst += std::size_t(k) * kDvdSectorSize;
                continue;
            }
            bool ok = false;
            for (int attempt = 0; attempt < kReadRetries && !ok; ++attempt)
                ok = DVDReadBlocks(file, int(sector), 1, dst) == 1;
            if (!ok) {
                std::memset(dst, 0, kDvdSectorSize);
                ++badSectors_;
                OutputDebugString("libdvd: sector " + std::to_string(sector) + " unreadable, zero-filled (" +
                                  std::to_string(badSectors_) + " so far)\n");
            }
            sector += 1;
            n -= 1;
            dst += kDvdSectorSize;
        }
    }

    // A pack whose first PES packet says it is scrambled: what an encrypted
    // disc delivers when libdvdcss is not there to descramble it.
    static bool Scrambled(const BYTE* s) {
        if (s[0] || s[1] || s[2] != 1 || s[3] != 0xBA || (s[4] & 0xC0) != 0x40) return false;
        std::size_t p = 14 + (s[13] & 7);
        if (s[p] || s[p + 1] || s[p + 2] != 1) return false;
        BYTE id = s[p + 3];
        bool media = id == 0xBD || (id >= 0xC0 && id <= 0xEF);
        return media && (s[p + 6] & 0x30) != 0;
    }

    void CountScrambled(const BYTE* sectors, std::uint32_t n) {
        for (std::uint32_t i = 0; i < n; ++i) {
            if (!Scrambled(sectors + std::size_t(i) * kDvdSectorSize)) continue;
            if (scrambledSectors_++ == 0)
                OutputDebugString("libdvd: scrambled sectors: the disc is encrypted and libdvdcss is not available\n");
        }
    }

    std::mutex mutex_;
    dvd_reader_t* dvd_ = nullptr;
    ifo_handle_t* vmg_ = nullptr;
    std::vector<ifo_handle_t*> vts_;
    std::map<int, dvd_file_t*> files_;
    DvdInfo info_{};
    std::vector<TitleLayout> layouts_;

    int title_ = -1;
    int startChapter_ = 0;
    int stopChapter_ = 0;
    std::vector<AreaRun> runs_;
    std::int64_t areaBytes_ = 0;
    std::int64_t position_ = 0;
    std::int64_t badSectors_ = 0;
    std::int64_t scrambledSectors_ = 0;

    static constexpr std::uint32_t kCacheSectors = 32;
    std::vector<BYTE> cache_ = std::vector<BYTE>(std::size_t(kCacheSectors) * kDvdSectorSize);
    int cacheTitleset_ = 0;  // 0: empty
    std::uint32_t cacheFirst_ = 0;
    std::uint32_t cacheCount_ = 0;
};

// The library's handle table. Operations hold a reference to the disc, so a
// close racing a read cannot pull the disc from under it.
struct Registry {
    std::mutex mutex;
    std::map<DvdHandle, std::shared_ptr<Disc>> discs;
    DvdHandle next = 1;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

std::shared_ptr<Disc> Find(DvdHandle handle) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    auto it = r.discs.find(handle);
    return it == r.discs.end() ? nullptr : it->second;
}

}  // namespace

DvdHandle MyDVDOpen(const char* path) {
    // libdvdread reports a missing path on stderr by itself; keep it quiet.
    struct stat st;
    if (!path || !*path || ::stat(path, &st) != 0) return 0;
    auto disc = std::make_shared<Disc>();
    if (!disc->Open(path)) return 0;
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    DvdHandle handle = r.next++;
    if (r.next == 0) r.next = 1;
    r.discs[handle] = std::move(disc);
    return handle;
}

int MyDVDGetInfo(DvdHandle handle, DvdInfo* info) {
    auto disc = Find(handle);
    if (!disc || !info) return -1;
    disc->GetInfo(info);
    return 0;
}

int MyDVDClose(DvdHandle handle) {
    std::shared_ptr<Disc> disc;
    {
        Registry& r = TheRegistry();
        std::lock_guard lock(r.mutex);
        auto it = r.discs.find(handle);
        if (it == r.discs.end()) return -1;
        disc = std::move(it->second);
        r.discs.erase(it);
    }
    return 0;  // the disc closes when its last user lets go
}

int MyDVDSetArea(DvdHandle handle, int title, int chapter) {
    auto disc = Find(handle);
    return disc ? disc->SetArea(title, chapter) : -1;
}

int MyDvdSetStopPos(DvdHandle handle, int title, int chapter) {
    auto disc = Find(handle);
    return disc ? disc->SetStopPos(title, chapter) : -1;
}

int MyDVDRead(DvdHandle handle, BYTE* buffer, int byteCount) {
    auto disc = Find(handle);
    return disc ? disc->Read(buffer, byteCount) : -1;
}

LONGLONG MyDVDSeek(DvdHandle handle, LONGLONG offset, int origin) {
    auto disc = Find(handle);
    return disc ? disc->Seek(offset, origin) : -1;
}

LONGLONG MyDVDGetBadSectorCount(DvdHandle handle) {
    auto disc = Find(handle);
    return disc ? disc->BadSectors() : -1;
}

LONGLONG MyDVDGetScrambledSectorCount(DvdHandle handle) {
    auto disc = Find(handle);
    return disc ? disc->ScrambledSectors() : -1;
}
