#include "settings_dlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <climits>

#include "platform/win/messages.h"
#include "ui/prefs/combo_search.h"
#include "ui/skin/my_button.h"
#include "ui/skin/my_static.h"
#include "ui/skin/skin_control.h"

using namespace profiles;

namespace {

// The template's places are in dialog units of the old dialog font.
QRect Dlu(int x, int y, int w, int h) {
    return QRect(x * 3 / 2, y * 13 / 8, w * 3 / 2, h);
}

QString Q16(std::u16string_view s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}
std::u16string U16(const QString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size()));
}

bool ReadNumber(const QString& s, int& i, int& out) {
    while (i < s.size() && s[i].isSpace()) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long long v = 0;
    int digits = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++digits)
        v = std::min<long long>(v * 10 + (s[i].unicode() - '0'), INT_MAX);
    if (digits == 0) return false;
    out = static_cast<int>(negative ? -v : v);
    return true;
}

// Selects the shown text of the stored value; a value the list does not hold
// looks for an empty text, as the old dialog did.
void SelectValue(QComboBox* combo, std::u16string_view list, std::u16string_view value) {
    SelectStringPrefix(combo, Q16(ChoiceTextForValue(list, value)));
}

std::u16string Number(int v) {
    return Utf8ToUtf16(std::to_string(v));
}

}  // namespace

bool ParseResolution(const QString& text, int& width, int& height) {
    int i = 0;
    if (!ReadNumber(text, i, width)) return false;
    if (i >= text.size() || text[i] != '*') return false;
    ++i;
    return ReadNumber(text, i, height);
}

CSettingsDlg::CSettingsDlg(const FormatProfile& profile, QWidget* parent)
    : CSkinDialog(parent), profile_(profile) {
    setWindowTitle("Settings");
    LoadBackground(".\\skin\\setdlgbk.png");
    AddLabel("Settings", {16, 12, 200, 16});
    AddLabel("Video", {32, 55, 100, 16});
    AddLabel("Audio", {32, 175, 100, 16});
    AddLabel("Help", {32, 285, 100, 16});
    AddLabel(
        "The \"Encoder\" stands for video codec,force the video codec to convert media files "
        "to that format",
        {32, 310, 510, 60});

    const struct {
        QComboBox** combo;
        int id;
        const char* caption;
        int x, y, w;
    } combos[] = {{&resolution_, IDC_RESOLUTION, "Resolution:", 96, 49, 73},
                  {&frameRate_, IDC_FRAME_RATE, "Frame Rate:", 261, 49, 75},
                  {&videoCodec_, IDC_VIDEO_CODEC, "Encoder:", 96, 74, 73},
                  {&videoBitRate_, IDC_VIDEO_BITRATE, "Bitrate:", 261, 74, 75},
                  {&sampleRate_, IDC_SAMPLE_RATE, "Sample Rate:", 97, 117, 73},
                  {&channels_, IDC_CHANNELS, "Channels:", 260, 117, 75},
                  {&audioCodec_, IDC_AUDIO_CODEC, "Encoder:", 97, 140, 73},
                  {&audioBitRate_, IDC_AUDIO_BITRATE, "Bitrate:", 260, 140, 75}};
    for (const auto& c : combos) {
        const QRect r = Dlu(c.x, c.y, c.w, 22);
        auto* combo = new QComboBox(this);
        SetDlgCtrlID(combo, c.id);
        combo->setGeometry(r);
        *c.combo = combo;
        AddLabel(c.caption, QRect(r.x() - 86, r.y() + 3, 84, 16));
    }
    resolution_->setEditable(true);
    // A typed size is read on OK; it never becomes a choice of the list.
    resolution_->setInsertPolicy(QComboBox::NoInsert);

    FillCombos();
    SelectValues();

    auto button = [&](int id, const char* image, int x, int y) {
        auto* b = new CMyButton(this);
        SetDlgCtrlID(b, id);
        PlaceButton(b, image, x, y);
        return b;
    };
    auto* def = button(IDC_DEFAULT, ".\\skin\\default.png", 100, 400);
    auto* ok = button(IDC_OK, ".\\skin\\ok2.png", 405, 400);
    auto* cancel = button(IDC_CANCEL, ".\\skin\\cancel.png", 489, 400);
    auto* close = button(IDC_CLOSE, ".\\skin\\close.png", 550, 8);
    // Enter means Ok wherever the focus is, as in any dialog, never Default.
    for (CMyButton* b : {def, ok, cancel, close}) b->setAutoDefault(false);
    ok->setDefault(true);
    connect(def, &QPushButton::clicked, this, [this] { OnDefault(); });
    connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(close, &QPushButton::clicked, this, [this] { reject(); });
}

QComboBox* CSettingsDlg::Combo(int id) const {
    for (QComboBox* c : {resolution_, frameRate_, videoCodec_, videoBitRate_, sampleRate_,
                         channels_, audioCodec_, audioBitRate_})
        if (GetDlgCtrlID(c) == id) return c;
    return nullptr;
}

void CSettingsDlg::FillCombos() {
    const std::pair<QComboBox*, std::u16string_view> lists[] = {
        {resolution_, FieldView(profile_.Resolutions)},
        {frameRate_, FieldView(profile_.FrameRates)},
        {videoCodec_, FieldView(profile_.VideoCodecs)},
        {videoBitRate_, FieldView(profile_.VideoBitRates)},
        {sampleRate_, FieldView(profile_.SampleRates)},
        {channels_, FieldView(profile_.Channels)},
        {audioCodec_, FieldView(profile_.AudioCodecs)},
        {audioBitRate_, FieldView(profile_.AudioBitRates)}};
    for (const auto& [combo, list] : lists) {
        combo->clear();
        for (const std::u16string& text : ChoiceTexts(list)) combo->addItem(Q16(text));
        combo->setCurrentIndex(-1);
    }
}

void CSettingsDlg::SelectValues() {
    const EncoderSettings& s = profile_.Settings;
    const bool video = s.HasVideo != 0, audio = s.HasAudio != 0;
    // The half the profile does not produce is never written back, so it is not
    // offered for editing either.
    for (QComboBox* c : {resolution_, frameRate_, videoCodec_, videoBitRate_}) c->setEnabled(video);
    for (QComboBox* c : {sampleRate_, channels_, audioCodec_, audioBitRate_}) c->setEnabled(audio);
    if (video) {
        resolution_->setEditText(QString::asprintf("%d*%d", s.Width, s.Height));
        SelectValue(frameRate_, FieldView(profile_.FrameRates), Number(s.FrameRate));
        SelectValue(videoCodec_, FieldView(profile_.VideoCodecs),
                    Utf8ToUtf16(FieldView(s.VideoCodecName)));
        SelectValue(videoBitRate_, FieldView(profile_.VideoBitRates), Number(s.VideoBitRate));
    }
    if (audio) {
        SelectValue(sampleRate_, FieldView(profile_.SampleRates), Number(s.SampleRate));
        SelectValue(channels_, FieldView(profile_.Channels), Number(s.Channel));
        SelectValue(audioCodec_, FieldView(profile_.AudioCodecs),
                    Utf8ToUtf16(FieldView(s.AudioCodecName)));
        SelectValue(audioBitRate_, FieldView(profile_.AudioBitRates), Number(s.AudioBitRate));
    }
}

void CSettingsDlg::OnOK() {
    EncoderSettings& s = profile_.Settings;
    // The stored value of the combo's shown text; "" when the list has none.
    auto value = [](QComboBox* combo, std::u16string_view list) {
        return ChoiceValueForText(list, U16(combo->currentText()));
    };
    const QString size = resolution_->currentText();
    if (s.HasVideo) {
        int w = 0, h = 0;
        // A size of zero or less would only fail later, inside the encoder.
        if (size.isEmpty() || !ParseResolution(size, w, h) || w <= 0 || h <= 0) {
            MessageBox("Resolution Error\r\n");
            return;
        }
        s.Width = w;
        s.Height = h;
        const std::u16string rate = value(frameRate_, FieldView(profile_.FrameRates));
        if (rate.empty()) return MessageBox("error param");
        s.FrameRate = ParseDecimal(rate);
        const std::u16string codec = value(videoCodec_, FieldView(profile_.VideoCodecs));
        if (codec.empty()) return MessageBox("error param");
        StoreField(s.VideoCodecName, Utf16ToUtf8(codec));
        const std::u16string bitRate = value(videoBitRate_, FieldView(profile_.VideoBitRates));
        if (bitRate.empty()) return MessageBox("error param");
        s.VideoBitRate = ParseDecimal(bitRate);
    }
    if (s.HasAudio) {
        const std::u16string rate = value(sampleRate_, FieldView(profile_.SampleRates));
        if (rate.empty()) return MessageBox("error param");
        s.SampleRate = ParseDecimal(rate);
        const std::u16string channels = value(channels_, FieldView(profile_.Channels));
        if (channels.empty()) return MessageBox("error param");
        s.Channel = ParseDecimal(channels);
        const std::u16string codec = value(audioCodec_, FieldView(profile_.AudioCodecs));
        if (codec.empty()) return MessageBox("error param");
        StoreField(s.AudioCodecName, Utf16ToUtf8(codec));
        const std::u16string bitRate = value(audioBitRate_, FieldView(profile_.AudioBitRates));
        if (bitRate.empty()) return MessageBox("error param");
        s.AudioBitRate = ParseDecimal(bitRate);
    }
    accept();
}

void CSettingsDlg::OnDefault() {
    FormatProfile original;
    if (!ProfileCatalogue::Instance().FindByIndex(profile_.Index, original)) {
        MessageBox("Cann`t get format");
        return;
    }
    profile_ = original;
    SelectValues();
}
