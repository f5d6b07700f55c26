#include "pipelines/stream_table.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/framework/framework.h"

namespace {

// Reads the "(pid,stream id,sub-stream id)" that ends a splitter stream name.
bool ParseStreamKey(const std::string& name, unsigned& pesId, unsigned& subId) {
    auto open = name.find('(');
    if (open == std::string::npos) return false;
    unsigned pid = 0;
    return std::sscanf(name.c_str() + open, "(%04x,%02x,%02x)", &pid, &pesId, &subId) == 3;
}

template <class Header>
bool ReadHeader(const CMediaType& mt, Header& out) {
    if (mt.FormatLength() < sizeof(Header) || !mt.Format()) return false;
    std::memcpy(&out, mt.Format(), sizeof(Header));
    return true;
}

}  // namespace

bool ListStreamsFrom(IAMStreamSelect* select, StreamTable& table) {
    if (!select) return false;
    DWORD count = 0;
    if (FAILED(select->Count(&count))) return false;
    table.Clear();
    for (DWORD i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* pmt = nullptr;
        std::string name;
        if (FAILED(select->Info(long(i), &pmt, nullptr, nullptr, nullptr, &name, nullptr, nullptr)) || !pmt)
            continue;
        const CMediaType& mt = *pmt;
        if (mt.majortype == MEDIATYPE_Video &&
            (mt.formattype == FORMAT_MPEGVideo || mt.formattype == FORMAT_VideoInfo)) {
            VIDEOINFOHEADER vih{};
            if (ReadHeader(mt, vih) && table.videoCount < StreamTable::kMaxVideo)
                table.video[table.videoCount++] = {std::int32_t(i), std::int16_t(vih.bmiHeader.biWidth),
                                                   std::int16_t(vih.bmiHeader.biHeight),
                                                   std::int32_t(vih.dwBitRate),
                                                   std::int32_t(vih.AvgTimePerFrame & 0xFFFFFFFF)};
        } else if (mt.majortype == MEDIATYPE_Video &&
                   (mt.formattype == FORMAT_MPEG2Video || mt.formattype == FORMAT_VideoInfo2)) {
            VIDEOINFOHEADER2 vih{};
            if (ReadHeader(mt, vih) && table.videoCount < StreamTable::kMaxVideo)
                table.video[table.videoCount++] = {std::int32_t(i), std::int16_t(vih.bmiHeader.biWidth),
                                                   std::int16_t(vih.bmiHeader.biHeight),
                                                   std::int32_t(vih.dwBitRate),
                                                   std::int32_t(vih.AvgTimePerFrame & 0xFFFFFFFF)};
        } else if (mt.majortype == MEDIATYPE_Video && mt.subtype == MEDIASUBTYPE_DVD_SUBPICTURE) {
            unsigned pes = 0, sub = 0;
            if (ParseStreamKey(name, pes, sub) && table.subtitleCount < StreamTable::kMaxSubtitle)
                table.subtitle[table.subtitleCount++] = {std::int32_t(i), std::int16_t(sub), std::uint8_t(pes)};
        } else if (mt.majortype == MEDIATYPE_Audio) {
            unsigned pes = 0, sub = 0;
            ParseStreamKey(name, pes, sub);
            WAVEFORMATEX wfx{};
            ReadHeader(mt, wfx);
            if (table.audioCount < StreamTable::kMaxAudio)
                table.audio[table.audioCount++] = {std::int32_t(i), std::int16_t(sub),
                                                   std::uint16_t(wfx.nSamplesPerSec),
                                                   std::int16_t(wfx.nChannels),
                                                   std::int32_t(wfx.nAvgBytesPerSec * 8),
                                                   std::uint8_t(pes)};
        }
        DeleteMediaType(pmt);
    }
    return true;
}
