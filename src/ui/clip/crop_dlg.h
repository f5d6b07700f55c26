#pragma once
// The clip editor: trims one title and sets the crop, zoom mode, volume and
// picture effects that every title is converted with, while the edit preview
// plays the title twice, side by side: the plain picture with the crop frame
// (dragged with the mouse) and the processed picture as the output will look.
//
// Use from the main window:
//
//     ConversionItem& item = ...;            // the selected entry
//     item.Clip = CurrentClip.Clip;          // the editor starts from the shared settings
//     CCropDlg dlg(item, currentProfileSettings, CCropDlg::kCropPage, this);
//     dlg.exec();                            // OK writes trim and clip settings into item
//     CurrentClip.Clip = item.Clip;          // whatever the result
//
// The editor works on a copy and writes `item` (TrimStart, TrimLength, Clip)
// only on OK; Cancel and the close button leave it untouched. It plays from
// the catalogue's open DVD (OpenDvdHandle) and enables the tracks chosen in
// SelectedAudioStream / SelectedSubtitleStream. The settings are read for the
// output's Width and Height (the processed view's shape) and must outlive the
// dialog. Playback starts as soon as the dialog is shown.
#include <QPointer>
#include <array>
#include <string>

#include "pipelines/clip.h"
#include "pipelines/edit_preview_player.h"
#include "profiles/profile.h"
#include "ui/clip/crop_tracker.h"
#include "ui/skin/skin_dialog.h"

class CMyButton;
class CMySliderCtrl;
class CMySelectCtrl;
class CMyStatic;
class QComboBox;
class QLineEdit;
class QSpinBox;

class CCropDlg : public CSkinDialog {
  public:
    enum Page { kTrimPage = 0, kCropPage = 1, kEffectPage = 2 };

    // Control ids of the dialog template (kept for the messages that carry them).
    enum Id {
        IDOK_ = 1,
        IDCANCEL_ = 2,
        IDC_CROP_TAB = 1001,
        IDC_TRIM_TAB = 1002,
        IDC_EFFECT_TAB = 1012,
        IDC_MINIMIZE = 1030,
        IDC_CLOSE = 1031,
        IDC_POSITION = 1033,
        IDC_SET_START = 1035,
        IDC_SET_END = 1036,
        IDC_START_EDIT = 1037,
        IDC_END_EDIT = 1038,
        IDC_LENGTH_EDIT = 1039,
        IDC_RESET = 1040,
        IDC_ZOOM = 1044,
        IDC_LEFT = 1048,
        IDC_LEFT_SPIN = 1049,
        IDC_TOP = 1050,
        IDC_TOP_SPIN = 1051,
        IDC_RIGHT = 1052,
        IDC_RIGHT_SPIN = 1053,
        IDC_BOTTOM = 1054,
        IDC_BOTTOM_SPIN = 1055,
        IDC_PLAY = 1064,
        IDC_PAUSE = 1065,
        IDC_GOTO_START = 1101,
        IDC_MARK_IN = 1102,
        IDC_MARK_OUT = 1103,
        IDC_POSITION_TEXT = 1104,
        IDC_VOLUME = 1114,
        IDC_TRIM = 1115,
        IDC_SATURATION = 1138,
        IDC_BRIGHTNESS = 1140,
        IDC_CONTRAST = 1142,
    };

    // Private messages.
    static constexpr UINT kGraphNotify = WM_USER + 20;  // 0x414
    static constexpr UINT kStartPlaying = 0x41B;
    static constexpr UINT_PTR kPositionTimer = 200;

    // The views, in client coordinates.
    static constexpr RECT kView0{14, 70, 394, 354};
    static constexpr RECT kView1{406, 70, 786, 354};

    CCropDlg(ConversionItem& item, const profiles::EncoderSettings& settings, int firstPage,
             QWidget* parent = nullptr);
    ~CCropDlg() override;

    // The working copy (written into the item on OK).
    std::int64_t TrimStart() const { return trimStart_; }
    std::int64_t TrimLength() const { return trimLength_; }
    const ClipSettings& Clip() const { return clip_; }
    int CurrentPage() const { return page_; }

    // For tests and the main window's own checks.
    EditPreviewPlayer& Player() { return player_; }
    CropTracker& Tracker() { return tracker_; }
    RECT VideoArea() const { return videoArea_; }
    // Where the processed picture goes for the current zoom mode and profile.
    RECT ZoomRect() const;
    bool IsPlayingShown() const;  // Pause visible (playing)
    QWidget* Control(int id) const;

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void done(int result) override;

  private:
    void CreateControls();
    void ConnectControls();
    void ShowPage(int page, bool show);
    void SwitchPage(int page);
    void RefreshPage(int page);

    bool OnPlay();  // false when the preview could not be opened
    void OnPause();
    void OnTimer();
    void OnGraphEvent();
    void OnSeek();
    void OnGotoStart();
    void OnMarkIn();
    void OnMarkOut();
    void OnTrimMoved(int start, int end);
    void OnSetStart();
    void OnSetEnd();
    void OnZoomChanged(int index);
    void OnCropEdit(int id);
    void ApplyCrop();
    void OnTrackerChanged();
    void OnSliderValue(int id, int value);
    void OnReset();
    void OnOk();

    void WriteCropEdits();
    void ShowPlaying(bool playing);
    void StopTimer();
    double PlayerDuration();
    float TrimFraction(std::int64_t ms) const;
    int BandValue(std::int64_t ms) const;
    bool InView(const QPoint& p) const;

    ConversionItem& item_;
    const profiles::EncoderSettings& settings_;
    int page_;
    std::int64_t trimStart_ = 0;
    std::int64_t trimLength_ = 0;
    ClipSettings clip_;
    EditPreviewPlayer player_;
    CropTracker tracker_;
    RECT videoArea_{};
    UINT_PTR timerId_ = 0;
    bool refreshing_ = false;
    int editingId_ = 0;  // the crop edit whose change is being handled

    CMyButton *ok_, *cancel_, *minimize_, *close_;
    std::array<CMyButton*, 3> tabs_{};  // by page: trim, crop, effect
    CMyButton *play_, *pause_, *gotoStart_, *markIn_, *markOut_, *reset_;
    CMySliderCtrl *position_, *volume_;
    CMySelectCtrl* trim_;
    CMyStatic* positionText_;
    // Trim page
    CMyStatic *startLabel_, *endLabel_, *lengthLabel_;
    QLineEdit *startEdit_, *endEdit_, *lengthEdit_;
    CMyButton *setStart_, *setEnd_;
    // Crop page
    CMyStatic* zoomLabel_;
    QComboBox* zoom_;
    std::array<CMyStatic*, 4> cropLabels_{};
    std::array<QLineEdit*, 4> cropEdits_{};  // left, top, right, bottom
    std::array<QSpinBox*, 4> cropSpins_{};
    // Effect page
    CMyStatic *brightnessLabel_, *contrastLabel_, *saturationLabel_;
    CMySliderCtrl *brightness_, *contrast_, *saturation_;
};
