// Demultiplexes one DVD title through the DVD source and the splitter into
// sinks that only count what they receive, and prints the wall time.
//   demux_bench <dvd> <title, 1-based> [runs]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "demux/mpeg_splitter.h"
#include "dvd/catalogue.h"
#include "dvd/dvd_reader.h"
#include "test_filters.h"

using testfilters::CRecordingSink;

static double RunOnce(DvdHandle handle, const DvdInfo& info, int t, std::uint64_t& bytes) {
    HRESULT hr = S_OK;
    ComPtr<CDVDReader> source(static_cast<CDVDReader*>(CDVDReader::CreateInstance(nullptr, &hr)));
    ComPtr<IMyDVDReader> control;
    source->QueryInterface(IID_IMyDVDReader, control.ReleaseAndGetVoidAddress());
    control->SetDvdReader(handle);
    control->SetTitleArea(t, -1);

    auto began = std::chrono::steady_clock::now();
    CMpegSplitterFilter* raw = nullptr;
    CMpegSplitterFilter::Create(&raw);
    ComPtr<CMpegSplitterFilter> splitter;
    splitter.Attach(raw);
    DvdTitleInfo title = info.Titles[t];
    splitter->SetTitleInfo(&title);
    LONGLONG ms = LONGLONG(title.Duration);
    splitter->SetPlayRange(0, ms, ms);
    CBasePin* out = source->GetPin(0);
    CBasePin* in = splitter->GetPin(splitter->GetPinCount() - 1);
    if (FAILED(out->Connect(in, nullptr))) {
        std::fprintf(stderr, "the splitter refused the title\n");
        std::exit(1);
    }
    std::vector<ComPtr<CRecordingSink>> sinks;
    for (CBaseSplitterOutputPin* pin : splitter->Outputs()) {
        sinks.emplace_back(new CRecordingSink(false));
        pin->Connect(sinks.back()->Pin(), nullptr);
    }
    for (auto& s : sinks) s->Pause();
    splitter->Pause();
    for (auto& s : sinks) s->WaitForEos(600000);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

    splitter->Stop();
    for (auto& s : sinks) s->Stop();
    bytes = 0;
    for (size_t i = 0; i < sinks.size(); ++i) {
        bytes += sinks[i]->byteCount;
        sinks[i]->Pin()->Disconnect();
        splitter->Outputs()[i]->Disconnect();
    }
    out->Disconnect();
    in->Disconnect();
    return seconds;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: demux_bench <dvd> <title> [runs]\n");
        return 2;
    }
    int t = std::atoi(argv[2]) - 1;
    int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    if (!LoadDvd(argv[1])) return 1;
    const DvdInfo& info = OpenDvdInfo();
    if (t < 0 || t >= info.TitleCount) return 1;
    double best = 1e9;
    std::uint64_t bytes = 0;
    for (int i = 0; i < runs; ++i) best = std::min(best, RunOnce(OpenDvdHandle(), info, t, bytes));
    std::printf("%.4f %llu\n", best, static_cast<unsigned long long>(bytes));
    CloseDvd();
    return 0;
}
