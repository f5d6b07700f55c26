// discreel-cli profiles [--json]: the output profiles of Format.xml in catalogue
// order, found the way the GUI finds them, with the default one marked.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "commands.h"
#include "platform/win/messages.h"
#include "profiles/profile.h"

namespace cli {
namespace {

// 29970 -> "29.97", 25000 -> "25".
std::string FrameRateText(int thousandths) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", thousandths / 1000.0);
    std::string s = text;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

std::string KbitText(int bitsPerSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%d kbit/s", bitsPerSecond / 1000);
    return text;
}

void PrintText(const profiles::ProfileCatalogue& catalogue, int defaultIndex) {
    catalogue.ForEach([&](const profiles::FormatProfile& p) {
        const profiles::EncoderSettings& s = p.Settings;
        std::printf("%s %2d  %s  %s%s\n", p.Index == defaultIndex ? "*" : " ", p.Index,
                    profiles::FieldUtf8(p.ProfileName).c_str(),
                    profiles::FieldUtf8(p.FormatExt).c_str(),
                    p.Index == defaultIndex ? "  (default)" : "");
        if (s.HasVideo) {
            std::printf("      video  %s  %dx%d  %s fps  %s\n", s.VideoCodecName, s.Width, s.Height,
                        FrameRateText(s.FrameRate).c_str(), KbitText(s.VideoBitRate).c_str());
        } else {
            std::printf("      video  none\n");
        }
        if (s.HasAudio) {
            std::printf("      audio  %s  %d Hz  %d ch  %s\n", s.AudioCodecName, s.SampleRate,
                        s.Channel, KbitText(s.AudioBitRate).c_str());
        } else {
            std::printf("      audio  none\n");
        }
    });
}

void PrintJson(const profiles::ProfileCatalogue& catalogue, int defaultIndex) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    catalogue.ForEach([&](const profiles::FormatProfile& p) {
        const profiles::EncoderSettings& s = p.Settings;
        // The codec names are raw bytes from the file; keep the output valid UTF-8.
        auto name8 = [](const char* field) {
            return profiles::Utf16ToUtf8(profiles::Utf8ToUtf16(field));
        };
        list.push_back({{"index", p.Index},
                        {"name", profiles::FieldUtf8(p.ProfileName)},
                        {"ext", profiles::FieldUtf8(p.FormatExt)},
                        {"has_video", s.HasVideo != 0},
                        {"video_encoder", name8(s.VideoCodecName)},
                        {"width", s.Width},
                        {"height", s.Height},
                        {"frame_rate", s.FrameRate},
                        {"video_bitrate", s.VideoBitRate},
                        {"has_audio", s.HasAudio != 0},
                        {"audio_encoder", name8(s.AudioCodecName)},
                        {"sample_rate", s.SampleRate},
                        {"channels", s.Channel},
                        {"audio_bitrate", s.AudioBitRate},
                        {"default", p.Index == defaultIndex}});
    });
    nlohmann::ordered_json out = {{"profiles", list}};
    std::printf("%s\n", out.dump(2).c_str());
}

}  // namespace

void RegisterProfilesCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("profiles", "List the output profiles of Format.xml");
    auto json = std::make_shared<bool>(false);
    cmd->add_flag("--json", *json, "Print JSON instead of text");
    cmd->callback([json] {
        profiles::ProfileCatalogue& catalogue = profiles::ProfileCatalogue::Instance();
        if (!catalogue.LoadDefault()) {
            MessageBox("Load Format.xml error");
            throw CliExit{1};
        }
        profiles::FormatProfile current;
        int defaultIndex = catalogue.GetDefaultProfile(current) ? current.Index : -1;
        if (*json) {
            PrintJson(catalogue, defaultIndex);
        } else {
            PrintText(catalogue, defaultIndex);
        }
        throw CliExit{0};
    });
}

}  // namespace cli
