#include "properties_dlg.h"

#include "ui/skin/my_button.h"
#include "ui/skin/my_static.h"
#include "ui/skin/skin_control.h"

namespace {
constexpr int kFieldIds[6] = {CProperties::IDC_RESOLUTION,  CProperties::IDC_VIDEO_BITRATE,
                              CProperties::IDC_FRAME_RATE,  CProperties::IDC_AUDIO_BITRATE,
                              CProperties::IDC_SAMPLE_RATE, CProperties::IDC_CHANNELS};
}

TitleProperties PropertiesFromStreams(const StreamTable& table) {
    TitleProperties p;
    if (table.videoCount > 0) {
        const StreamTable::Video& v = table.video[0];
        p.hasVideo = true;
        p.width = v.width;
        p.height = v.height;
        p.videoBitRate = v.bitRate;
        p.frameDuration = v.frameDuration;
    }
    if (table.audioCount > 0) {
        const StreamTable::Audio& a = table.audio[0];
        p.hasAudio = true;
        p.audioBitRate = a.bitRate;
        p.sampleRate = a.sampleRate;
        p.channels = a.channels;
    }
    return p;
}

QString ChannelsText(int channels) {
    switch (channels) {
        case 1:
            return "Channel Mono";
        case 2:
            return "Channels Stereo";
        case 6:
            return "5.1";
        default:
            return channels > 0 ? QString("%1 Channels").arg(channels) : QString();
    }
}

QString FrameRateText(std::int64_t frameDuration) {
    // A stream that does not say how long its frames last has no rate to show.
    if (frameDuration <= 0) return {};
    return QString::asprintf("%.3f fps", 10000000.0 / double(frameDuration));
}

CProperties::CProperties(const StreamTable& table, QWidget* parent)
    : CProperties(PropertiesFromStreams(table), parent) {}

CProperties::CProperties(const TitleProperties& properties, QWidget* parent) : CSkinDialog(parent) {
    Init(properties);
}

void CProperties::Init(const TitleProperties& p) {
    setWindowTitle("Properties");
    LoadBackground(".\\skin\\propertiesbk.png");
    AddLabel("Properties", {16, 12, 200, 16});
    AddLabel("Video Information", {34, 60, 200, 16});
    AddLabel("Audio Infomation", {34, 230, 200, 16});
    const char* captions[6] = {"Resolution",    "Video Bitrate",     "Frame Rate",
                               "Audio Bitrate", "Audio Sample Rate", "Channels"};
    for (int i = 0; i < 6; ++i) {
        const int y = (i < 3 ? 94 : 264) + 32 * (i % 3);
        AddLabel(captions[i], {60, y, 150, 16});
        fields_[i] = AddLabel(QString(), {230, y, 300, 16});
        SetDlgCtrlID(fields_[i], kFieldIds[i]);
    }
    if (p.hasVideo) {
        fields_[0]->SetWindowText(QString::asprintf("%dx%d", p.width, p.height));
        fields_[1]->SetWindowText(QString::asprintf("%.2f kbps", p.videoBitRate / 1000.0));
        fields_[2]->SetWindowText(FrameRateText(p.frameDuration));
    }
    if (p.hasAudio) {
        fields_[3]->SetWindowText(QString::asprintf("%.3f kbps", p.audioBitRate / 1000.0));
        fields_[4]->SetWindowText(QString::asprintf("%d Hz", p.sampleRate));
        fields_[5]->SetWindowText(ChannelsText(p.channels));
    }

    auto* ok = new CMyButton(this);
    SetDlgCtrlID(ok, IDC_OK);
    PlaceButton(ok, ".\\skin\\ok2.png", 488, 396);
    auto* close = new CMyButton(this);
    SetDlgCtrlID(close, IDC_CLOSE);
    PlaceButton(close, ".\\skin\\close.png", 550, 8);
    // Enter means OK wherever the focus is, as in any dialog.
    for (CMyButton* b : findChildren<CMyButton*>()) b->setAutoDefault(false);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { accept(); });
    connect(close, &QPushButton::clicked, this, [this] { reject(); });
}

QString CProperties::FieldText(int id) const {
    for (int i = 0; i < 6; ++i)
        if (kFieldIds[i] == id) return fields_[i]->GetWindowText();
    return {};
}
