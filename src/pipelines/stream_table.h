#pragma once
// The streams of the title in a graph, read through the splitter's stream
// selection: fixed-capacity tables, each preceded by its count.
#include <cstdint>

struct IAMStreamSelect;

struct StreamTable {
    struct Video {
        std::int32_t index;
        std::int16_t width;
        std::int16_t height;
        std::int32_t bitRate;
        std::int32_t frameDuration;  // low 32 bits of the average time per frame
    };
    struct Audio {
        std::int32_t index;
        std::int16_t subStreamId;
        std::uint16_t sampleRate;
        std::int16_t channels;
        std::int32_t bitRate;
        std::uint8_t pesStreamId;  // second number of the name, 0 when unknown
    };
    struct Subtitle {
        std::int32_t index;
        std::int16_t subStreamId;
        std::uint8_t pesStreamId;
    };
    static constexpr int kMaxVideo = 8;
    static constexpr int kMaxAudio = 32;
    static constexpr int kMaxSubtitle = 64;

    std::int32_t videoCount = 0;
    Video video[kMaxVideo] = {};
    std::int32_t audioCount = 0;
    Audio audio[kMaxAudio] = {};
    std::int32_t subtitleCount = 0;
    Subtitle subtitle[kMaxSubtitle] = {};

    void Clear() { *this = StreamTable{}; }
};

// A track id is PES stream id x 256 + sub-stream id; a splitter stream matches
// it when its sub-stream id equals the id's low 8 bits. Subtitles compare the
// same way as audio, otherwise no subtitle track could ever be chosen. When the
// stream's PES id is known it must agree too: MPEG audio tracks all have
// sub-stream id 0 and differ only there (0xC000, 0xC100, ...).
inline bool MatchesTrack(int pesStreamId, int subStreamId, int trackId) {
    if (trackId < 0) return false;
    if ((trackId & 0xFF) != (subStreamId & 0xFF)) return false;
    return pesStreamId == 0 || ((trackId >> 8) & 0xFF) == (pesStreamId & 0xFF);
}

// Fills the table from a splitter's stream selection; false when it has none
// or cannot count its streams.
bool ListStreamsFrom(IAMStreamSelect* select, StreamTable& table);
