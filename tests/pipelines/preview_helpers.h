// Pictures for the preview tests: packed DIBs like the renderer's, images read
// back through the ffmpeg command line (an independent judge), PSNR and the
// best-matching picture of a VOB; and a log of the messages the user is shown.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "../fixtures/fixtures.h"
#include "platform/framework/formats.h"
#include "platform/win/messages.h"

namespace preview_test {

class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "discreel-preview-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        path_ = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Records every user-facing message while a test runs.
class MessageLog {
  public:
    MessageLog() {
        previous_ = SetMessageSink([this](const std::string& text) {
            std::lock_guard lock(mutex_);
            texts_.push_back(text);
        });
    }
    ~MessageLog() { SetMessageSink(previous_); }
    std::vector<std::string> Texts() {
        std::lock_guard lock(mutex_);
        return texts_;
    }

  private:
    MessageSink previous_;
    std::mutex mutex_;
    std::vector<std::string> texts_;
};

// Packed RGB, 3 bytes a pixel, rows top-down.
struct Rgb {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
    const std::uint8_t* At(int x, int y) const { return &pixels[(std::size_t(y) * width + x) * 3]; }
};

// A packed DIB as the renderer hands it out: 40-byte header, then 32-bit BGRX
// rows, bottom-up unless topDown.
inline std::vector<BYTE> MakeDib(const Rgb& image, bool topDown = false) {
    BITMAPINFOHEADER bih{};
    bih.biSize = sizeof bih;
    bih.biWidth = image.width;
    bih.biHeight = topDown ? -image.height : image.height;
    bih.biPlanes = 1;
    bih.biBitCount = 32;
    bih.biSizeImage = DWORD(image.width * image.height * 4);
    std::vector<BYTE> dib(sizeof bih + bih.biSizeImage);
    std::memcpy(dib.data(), &bih, sizeof bih);
    for (int y = 0; y < image.height; ++y) {
        int row = topDown ? y : image.height - 1 - y;
        BYTE* out = dib.data() + sizeof bih + std::size_t(row) * image.width * 4;
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = image.At(x, y);
            out[x * 4 + 0] = p[2];
            out[x * 4 + 1] = p[1];
            out[x * 4 + 2] = p[0];
            out[x * 4 + 3] = 0;
        }
    }
    return dib;
}

// The picture a packed 32-bit DIB holds.
inline Rgb FromDib(const BYTE* dib) {
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, dib, sizeof bih);
    Rgb image;
    image.width = bih.biWidth;
    image.height = bih.biHeight < 0 ? -bih.biHeight : bih.biHeight;
    image.pixels.resize(std::size_t(image.width) * image.height * 3);
    for (int y = 0; y < image.height; ++y) {
        int row = bih.biHeight < 0 ? y : image.height - 1 - y;
        const BYTE* in = dib + bih.biSize + std::size_t(row) * image.width * 4;
        for (int x = 0; x < image.width; ++x) {
            std::uint8_t* p = &image.pixels[(std::size_t(y) * image.width + x) * 3];
            p[0] = in[x * 4 + 2];
            p[1] = in[x * 4 + 1];
            p[2] = in[x * 4 + 0];
        }
    }
    return image;
}

// Decodes frames of any file ffmpeg reads into RGB pictures of the given size;
// `filter` picks frames (e.g. "select='between(n,10,12)'"). Empty on failure.
inline std::vector<Rgb> DecodeWithFfmpeg(const std::string& file, int width, int height,
                                         const std::string& filter = "") {
    std::string cmd = "ffmpeg -nostdin -v error -i " + fixtures::Quote(file);
    if (!filter.empty()) cmd += " -vf " + fixtures::Quote(filter) + " -vsync 0";
    cmd += " -f rawvideo -pix_fmt rgb24 -";
    fixtures::CommandResult r = fixtures::RunCommand(cmd);
    std::vector<Rgb> frames;
    const std::size_t frameBytes = std::size_t(width) * height * 3;
    if (r.exitCode != 0 || r.output.size() % frameBytes != 0) return frames;
    for (std::size_t off = 0; off < r.output.size(); off += frameBytes) {
        Rgb f{width, height, {}};
        f.pixels.assign(r.output.begin() + long(off), r.output.begin() + long(off + frameBytes));
        frames.push_back(std::move(f));
    }
    return frames;
}

// What ffprobe calls the codec of a file's first stream ("png", "mjpeg", ...).
inline std::string ProbeCodec(const std::string& file) {
    fixtures::CommandResult r = fixtures::RunCommand(
        "ffprobe -v error -select_streams 0 -show_entries stream=codec_name -of csv=p=0 " +
        fixtures::Quote(file));
    std::string s = r.output;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// PSNR over all channels in dB; 99 for identical pictures, 0 when the sizes differ.
inline double Psnr(const Rgb& a, const Rgb& b) {
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size() ||
        a.pixels.empty())
        return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        double d = double(a.pixels[i]) - double(b.pixels[i]);
        sum += d * d;
    }
    double mse = sum / double(a.pixels.size());
    if (mse == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 / mse);
}

// The picture number (0-based, in the title) whose decoding by ffmpeg is
// closest to `shot`, among pictures [first, last] of the VOB, and its PSNR.
inline std::pair<int, double> BestMatch(const Rgb& shot, const std::filesystem::path& vob,
                                        int first, int last) {
    char filter[96];
    std::snprintf(filter, sizeof filter, "select='between(n,%d,%d)'", first, last);
    std::vector<Rgb> refs = DecodeWithFfmpeg(vob.string(), shot.width, shot.height, filter);
    std::pair<int, double> best{-1, 0};
    for (std::size_t i = 0; i < refs.size(); ++i) {
        double p = Psnr(shot, refs[i]);
        if (p > best.second) best = {first + int(i), p};
    }
    return best;
}

}  // namespace preview_test
