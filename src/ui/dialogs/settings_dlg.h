#pragma once
// The profile settings dialog: edits a copy of the current output profile from
// the profile's own choice lists (picture size may also be typed). The caller
// takes the copy back only when the dialog ends with OK; nothing is written to
// the catalogue or to Format.xml.
//
//   CSettingsDlg dlg(currentProfile, this);
//   if (dlg.exec() == QDialog::Accepted) currentProfile = dlg.Profile();
//
// Errors on OK ("Resolution Error\r\n", "error param") and on Default
// ("Cann`t get format") go through MessageBox and keep the dialog open.
#include "profiles/profile.h"
#include "ui/skin/skin_dialog.h"

class QComboBox;
class QWidget;

class CSettingsDlg : public CSkinDialog {
  public:
    enum {
        IDC_RESOLUTION = 1018,
        IDC_VIDEO_CODEC = 1019,
        IDC_FRAME_RATE = 1020,
        IDC_VIDEO_BITRATE = 1021,
        IDC_SAMPLE_RATE = 1022,
        IDC_CHANNELS = 1023,
        IDC_AUDIO_BITRATE = 1024,
        IDC_AUDIO_CODEC = 1025,
        IDC_DEFAULT = 1013,
        IDC_OK = 1014,
        IDC_CANCEL = 1015,
        IDC_CLOSE = 1031
    };

    explicit CSettingsDlg(const profiles::FormatProfile& profile, QWidget* parent = nullptr);

    // The working profile: after OK, what the user chose. A failed OK may have
    // written some values already; Cancel leaves it to the caller to drop them.
    const profiles::FormatProfile& Profile() const { return profile_; }

    // The commands of the Ok and Default buttons.
    void OnOK();
    void OnDefault();

    // The combo of a control id (IDC_RESOLUTION .. IDC_AUDIO_CODEC), or null.
    QComboBox* Combo(int id) const;

  private:
    void FillCombos();
    void SelectValues();

    profiles::FormatProfile profile_;
    QComboBox* resolution_ = nullptr;
    QComboBox* frameRate_ = nullptr;
    QComboBox* videoCodec_ = nullptr;
    QComboBox* videoBitRate_ = nullptr;
    QComboBox* sampleRate_ = nullptr;
    QComboBox* channels_ = nullptr;
    QComboBox* audioCodec_ = nullptr;
    QComboBox* audioBitRate_ = nullptr;
};

// Reads "<width>*<height>": blanks before each number, an optional sign, the
// "*" right after the first number; anything after the second number is
// ignored. False without two numbers.
bool ParseResolution(const QString& text, int& width, int& height);
