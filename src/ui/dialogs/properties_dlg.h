#pragma once
// The properties dialog: the video and audio properties of the title in the
// preview player. The main window fills a StreamTable from the player
// (PreviewPlayer::ListStreams) and runs the dialog only when that succeeded:
//
//   StreamTable streams;
//   if (player.ListStreams(streams)) CProperties(streams, this).exec();
//
// Only the first video and the first audio entry are shown; a half without an
// entry stays empty. Other callers may fill a TitleProperties by hand.
#include <QString>
#include <cstdint>

#include "pipelines/stream_table.h"
#include "ui/skin/skin_dialog.h"

class CMyStatic;

struct TitleProperties {
    bool hasVideo = false;
    int width = 0, height = 0;
    int videoBitRate = 0;            // bit/s
    std::int64_t frameDuration = 0;  // 100-ns units per frame; 0 when unknown
    bool hasAudio = false;
    int audioBitRate = 0;  // bit/s
    int sampleRate = 0;    // Hz
    int channels = 0;
};

// The first video and first audio entry of the table.
TitleProperties PropertiesFromStreams(const StreamTable& table);

class CProperties : public CSkinDialog {
  public:
    // Value fields.
    enum {
        IDC_RESOLUTION = 1111,
        IDC_VIDEO_BITRATE = 1112,
        IDC_FRAME_RATE = 1113,
        IDC_AUDIO_BITRATE = 1115,
        IDC_SAMPLE_RATE = 1116,
        IDC_CHANNELS = 1117,
        IDC_OK = 1,
        IDC_CLOSE = 1031
    };

    explicit CProperties(const StreamTable& table, QWidget* parent = nullptr);
    explicit CProperties(const TitleProperties& properties, QWidget* parent = nullptr);

    // The text a value field shows ("" for an unknown id or an empty field).
    QString FieldText(int id) const;

  private:
    void Init(const TitleProperties& p);
    CMyStatic* fields_[6] = {};
};

// The texts of the fields, by themselves.
QString ChannelsText(int channels);
QString FrameRateText(std::int64_t frameDuration);
