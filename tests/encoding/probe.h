#pragma once
// Helpers for judging written files with the ffprobe/ffmpeg command-line tools
// and for making synthetic pictures and tones.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "profiles/profile.h"

namespace testutil {

inline std::string Run(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

inline std::vector<std::uint8_t> RunBinary(const std::string& cmd) {
    const std::string s = Run(cmd);
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

inline std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

inline nlohmann::json Probe(const std::string& file) {
    const std::string out =
        Run("ffprobe -v error -show_streams -show_format -of json " + Quote(file));
    auto j = nlohmann::json::parse(out, nullptr, false);
    return j.is_discarded() ? nlohmann::json::object() : j;
}

inline int StreamIndex(const std::string& file, const std::string& type) {
    const auto info = Probe(file);
    if (info.contains("streams"))
        for (const auto& st : info["streams"])
            if (st["codec_type"] == type) return st["index"].get<int>();
    return -1;
}

// Per stream: how much time its packets cover (end of the last minus start of
// the first), the number of packets and the key-frame positions.
struct StreamSpan {
    double first = 1e18, end = -1e18;
    int packets = 0;
    std::vector<int> keys;
    double Span() const { return packets ? end - first : 0; }
};

inline std::map<int, StreamSpan> PacketSpans(const std::string& file) {
    const std::string out = Run(
        "ffprobe -v error -show_entries packet=stream_index,pts_time,dts_time,duration_time,flags "
        "-of json " +
        Quote(file));
    std::map<int, StreamSpan> spans;
    auto j = nlohmann::json::parse(out, nullptr, false);
    if (j.is_discarded() || !j.contains("packets")) return spans;
    auto num = [](const nlohmann::json& p, const char* key, double& v) {
        if (!p.contains(key) || !p[key].is_string()) return false;
        v = std::stod(p[key].get<std::string>());
        return true;
    };
    for (const auto& p : j["packets"]) {
        StreamSpan& s = spans[p["stream_index"].get<int>()];
        double t = 0, d = 0;
        if (!num(p, "pts_time", t) && !num(p, "dts_time", t)) continue;
        num(p, "duration_time", d);
        s.first = std::min(s.first, t);
        s.end = std::max(s.end, t + d);
        if (p.contains("flags") && p["flags"].get<std::string>().find('K') != std::string::npos)
            s.keys.push_back(s.packets);
        ++s.packets;
    }
    return spans;
}

template <class F>
void SetText(F& field, const char* text) {
    if constexpr (std::is_array_v<F>) {
        std::memset(field, 0, sizeof field);
        std::strncpy(field, text, sizeof field - 1);
    } else {
        field = text;
    }
}

inline EncoderSettings MakeSettings(const char* vcodec, int w, int h, int frameRate,
                                    const char* acodec, int rate, int channels, int vbr = 800000,
                                    int abr = 128000) {
    EncoderSettings s{};
    s.HasVideo = vcodec != nullptr;
    s.Width = w;
    s.Height = h;
    s.VideoBitRate = vbr;
    s.FrameRate = frameRate;
    SetText(s.VideoCodecName, vcodec ? vcodec : "");
    s.HasAudio = acodec != nullptr;
    s.SampleRate = rate;
    s.Channel = channels;
    s.AudioBitRate = abr;
    SetText(s.AudioCodecName, acodec ? acodec : "");
    return s;
}

// A packed YV12 picture: a moving diagonal ramp in Y, fixed V and U values.
inline std::vector<std::uint8_t> Yv12(int w, int h, int index, std::uint8_t v = 100,
                                      std::uint8_t u = 160) {
    std::vector<std::uint8_t> pic(std::size_t(w) * h * 3 / 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pic[std::size_t(y) * w + x] = std::uint8_t(x + y + 2 * index);
    const std::size_t c = std::size_t(w / 2) * (h / 2);
    std::memset(pic.data() + std::size_t(w) * h, v, c);
    std::memset(pic.data() + std::size_t(w) * h + c, u, c);
    return pic;
}

// Interleaved 16-bit PCM: a 440 Hz tone in every channel, starting at sample `from`.
inline std::vector<std::uint8_t> Tone(int rate, int channels, std::int64_t from, int samples,
                                      double amplitude = 8000) {
    std::vector<std::uint8_t> pcm(std::size_t(samples) * channels * 2);
    auto* out = reinterpret_cast<std::int16_t*>(pcm.data());
    for (int i = 0; i < samples; ++i) {
        const auto v = std::int16_t(
            std::lround(amplitude * std::sin(2 * M_PI * 440.0 * double(from + i) / rate)));
        for (int c = 0; c < channels; ++c) out[std::size_t(i) * channels + c] = v;
    }
    return pcm;
}

inline std::string TempPath(const std::string& name) {
    auto dir = std::filesystem::path(DISCREEL_BINARY_DIR) / "tests" / "tmp-encoding";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

}  // namespace testutil
