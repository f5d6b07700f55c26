// discreel-cli streams <dvd> --title N [--json]: the elementary streams the
// demultiplexer finds in one title, as the pipelines see them through stream
// selection (index, group, enabled, name).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "demux/mpeg_splitter.h"
#include "dvd/catalogue.h"
#include "dvd/dvd_reader.h"
#include "platform/win/messages.h"

namespace cli {
namespace {

struct StreamsOptions {
    std::string dvd;
    int title = 0;
    bool json = false;
};

struct StreamEntry {
    long index;
    DWORD group;
    bool enabled;
    std::string name;
};

[[noreturn]] void Fail(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    throw CliExit{1};
}

std::vector<StreamEntry> ReadStreams(DvdHandle handle, const DvdInfo& info, int t) {
    HRESULT hr = S_OK;
    ComPtr<CDVDReader> source(static_cast<CDVDReader*>(CDVDReader::CreateInstance(nullptr, &hr)));
    if (!source || FAILED(hr)) Fail("CLSID_DVDSource error");
    ComPtr<IMyDVDReader> control;
    source->QueryInterface(IID_IMyDVDReader, control.ReleaseAndGetVoidAddress());
    if (!control || FAILED(control->SetDvdReader(handle)) || FAILED(control->SetTitleArea(t, -1)))
        Fail("Cannot select " + TitleName(t) + " on the DVD");

    CMpegSplitterFilter* raw = nullptr;
    if (FAILED(CMpegSplitterFilter::Create(&raw))) Fail("CLSID_MpegSplitter error");
    ComPtr<CMpegSplitterFilter> splitter;
    splitter.Attach(raw);
    DvdTitleInfo titleInfo = info.Titles[t];
    splitter->SetTitleInfo(&titleInfo);

    CBasePin* out = source->GetPin(0);
    CBasePin* in = splitter->GetPin(splitter->GetPinCount() - 1);
    if (!out) Fail("get source output pin error");
    if (!in) Fail("get splitter input pin error");
    hr = out->Connect(in, nullptr);
    if (FAILED(hr)) {
        char text[64];
        std::snprintf(text, sizeof text, " (0x%08X)", unsigned(hr));
        Fail(TitleName(t) + ": no MPEG program stream could be read from it; the title may be "
                            "scrambled or damaged" + text);
    }

    std::vector<StreamEntry> streams;
    DWORD count = 0;
    splitter->Count(&count);
    for (long i = 0; i < long(count); ++i) {
        StreamEntry e{i, 0, false, {}};
        DWORD flags = 0;
        if (splitter->Info(i, nullptr, &flags, nullptr, &e.group, &e.name, nullptr, nullptr) != S_OK) continue;
        e.enabled = (flags & AMSTREAMSELECTINFO_ENABLED) != 0;
        streams.push_back(e);
    }

    out->Disconnect();
    in->Disconnect();
    return streams;
}

void RunStreams(const StreamsOptions& options) {
    std::vector<std::string> messages;
    MessageSink previous = SetMessageSink([&](const std::string& text) { messages.push_back(text); });
    bool loaded = LoadDvd(options.dvd);
    SetMessageSink(previous);
    for (const std::string& text : messages) std::fprintf(stderr, "%s: %s\n", text.c_str(), options.dvd.c_str());
    if (!loaded) throw CliExit{1};

    const DvdInfo& info = OpenDvdInfo();
    int t = options.title - 1;
    if (t < 0 || t >= info.TitleCount) {
        CloseDvd();
        Fail("No title " + std::to_string(options.title) + " on this DVD (it has " +
             std::to_string(info.TitleCount) + ")");
    }

    std::vector<StreamEntry> streams;
    try {
        streams = ReadStreams(OpenDvdHandle(), info, t);
    } catch (const CliExit&) {
        CloseDvd();
        throw;
    }
    CloseDvd();

    if (options.json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const StreamEntry& e : streams)
            list.push_back({{"index", e.index}, {"group", e.group}, {"enabled", e.enabled}, {"name", e.name}});
        std::printf("%s\n", nlohmann::ordered_json{{"streams", list}}
                                .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                                .c_str());
    } else {
        for (const StreamEntry& e : streams)
            std::printf("%ld  group %lu  %-8s  %s\n", e.index, static_cast<unsigned long>(e.group),
                        e.enabled ? "enabled" : "-", e.name.c_str());
    }
    throw CliExit{0};
}

}  // namespace

void RegisterStreamsCommand(CLI::App& app) {
    auto options = std::make_shared<StreamsOptions>();
    CLI::App* cmd = app.add_subcommand("streams", "List the elementary streams of one title");
    cmd->add_option("dvd", options->dvd, "Optical drive (/dev/sr0 or its mount point), VIDEO_TS folder or ISO image")
        ->required();
    cmd->add_option("--title", options->title, "Title number, 1-based as in Title_NN")->required();
    cmd->add_flag("--json", options->json, "Print the list as JSON");
    cmd->callback([options] { RunStreams(*options); });
}

}  // namespace cli
