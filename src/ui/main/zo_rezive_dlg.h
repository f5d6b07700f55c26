#pragma once
// The main window: the DVD's titles to convert, the output profile, the audio
// and subtitle choices, the output folder, the preview area with its transport
// controls, and the menu buttons that open every other dialog.
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pipelines/clip.h"
#include "pipelines/preview_player.h"
#include "profiles/profile.h"
#include "ui/skin/skin_dialog.h"
#include "ui/titlelist/column_tree_ctrl.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class CMyButton;
class CMyCheckBox;
class CMySliderCtrl;
class CMyStatic;
class QUrl;
struct ConverDlgOptions;

// Control and command ids, as the dialog's handlers know them.
namespace main_ids {
// Buttons.
constexpr int kFileMenu = 1123, kEditMenu = 1122, kClipMenu = 1124, kOptionMenu = 1126,
              kHelpMenu = 1125;
constexpr int kMinimize = 1030, kClose = 1031;
constexpr int kAddFile = 1000, kEffect = 1012, kCrop = 1001, kTrim = 1002, kPreferences = 1003;
constexpr int kSettings = 1008, kBrowse = 1009, kOpenFolder = 1011, kStart = 1005;
constexpr int kPlay = 1028, kPause = 1065, kStop = 1029, kPrevious = 1067, kNext = 1068,
              kSnapshot = 1066, kOpenSnapFolder = 1069;
constexpr int kSeekSlider = 1033;
constexpr int kTitleList = 1004, kProfileCombo = 1006, kOutputEdit = 1007, kMergeCheck = 1010,
              kAudioCombo = 1136, kSubtitleCombo = 1137, kTitleLabel = 1070;
constexpr int kStartPicture = 1120, kVideoPicture = 1121;
// Menu commands.
constexpr int kLoadDvd = 32794, kLoadDvdFolder = 32795, kLoadIso = 32798, kFileProperties = 32800,
              kExit = 32773;
constexpr int kEditProperties = 32793, kClearAll = 32778, kCheckAll = 32779, kUncheckAll = 32780;
constexpr int kMenuTrim = 32781, kMenuCrop = 32782, kMenuEffect = 32792;
constexpr int kMenuPreferences = 32783;
constexpr int kHelpContent = 32785, kSupport = 32786, kHomePage = 32787, kAbout = 32788;
constexpr int kAddLoadDvd = 32789, kAddLoadDvdFolder = 32790, kAddLoadIso = 32791;
}  // namespace main_ids

// Private messages of this window.
constexpr UINT WM_GRAPH_NOTIFY = 0x414;
constexpr UINT_PTR kPositionTimer = 100;
constexpr UINT kPositionTimerMs = 100;

class CZoReziveDlg : public CSkinDialog {
  public:
    explicit CZoReziveDlg(QWidget* parent = nullptr);
    ~CZoReziveDlg() override;

    // Runs a command as if its button or menu item had been chosen. Commands
    // that ask for a path open their picker.
    void OnCommand(int id);
    // The DVD loading steps that follow a picker; also the entry point for a
    // path given on the command line.
    void LoadDvdFrom(const std::string& path);

    // The preview commands.
    void OnPlay();
    void OnPause();
    void OnStopPreview();
    void OnPreviousNext(bool next);
    void OnSeekReleased();
    void OnPositionTimer();
    void OnGraphNotify();
    // The snapshot's file; "" when nothing was written.
    std::string OnSnapshot();

    void OnStart();
    void OnProfileChange();
    void OnTrackChange(bool audio);
    void OnTitleClick(HTREEITEM item);
    void OnClearAll();
    void SetCheckAll(bool checked);

    // Lets the caller adjust what the conversion dialog is handed on Start
    // (tests keep the finish message and the after-job actions to themselves).
    void SetConversionOptionsHook(std::function<void(ConverDlgOptions&)> hook) {
        conversionHook_ = std::move(hook);
    }

    // Hands a folder, a file or a web address to the desktop; false when it
    // could not. Defaults to the desktop's opener, then for web addresses a
    // browser of the system's.
    using Opener = std::function<bool(const QUrl& url)>;
    void SetOpener(Opener opener) { opener_ = std::move(opener); }

    // Read access for the tests and the dialogs this window opens.
    PreviewPlayer& Player() { return player_; }
    const profiles::FormatProfile& CurrentProfile() const { return current_; }
    CColumnTreeCtrl* TitleList() const { return list_; }
    HTREEITEM RootEntry() const;
    // The entry's data; null for the root or an entry without data.
    ConversionItem* ItemData(HTREEITEM item) const;
    QComboBox* ProfileCombo() const { return profileCombo_; }
    QComboBox* AudioCombo() const { return audioCombo_; }
    QComboBox* SubtitleCombo() const { return subtitleCombo_; }
    QLineEdit* OutputEdit() const { return outputEdit_; }
    CMyCheckBox* MergeCheck() const { return merge_; }
    CMySliderCtrl* SeekSlider() const { return seek_; }
    CMyButton* Button(int id) const;
    QLabel* StartPicture() const { return startPicture_; }
    QLabel* VideoPicture() const { return videoPicture_; }
    bool PositionTimerRunning() const { return timerRunning_; }

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    void BuildControls();
    void BuildMenus();
    void LoadProfiles();
    CMyButton* AddButton(int id, const char* image, int x, int y);
    void ShowPopup(int menuIndex, int buttonId);

    // The three pickers; each yields "" when cancelled.
    std::string PickDrive();
    std::string PickFolder();
    std::string PickIsoFile();

    void FillTrackCombos(int title);
    void ClearEntries();
    HTREEITEM SelectedOrFirst() const;
    void OpenClipEditor(int page);
    void OnSettings();
    void OnBrowse();
    void OnPreferences();
    void OnProperties();
    void OnAbout();
    void OpenWebAddress(const QString& address);
    void OpenLocalPath(const std::string& path);

    profiles::FormatProfile current_{};
    PreviewPlayer player_;
    bool timerRunning_ = false;
    std::function<void(ConverDlgOptions&)> conversionHook_;
    Opener opener_;
    std::map<int, CMyButton*> buttons_;
    std::vector<QMenu*> menus_;  // File, Edit, Clip, Option, Help, AddFile
    CColumnTreeCtrl* list_ = nullptr;
    HTREEITEM lastClicked_ = nullptr;
    // The data of the list's entries; the list only points at it.
    std::vector<std::unique_ptr<ConversionItem>> items_;
    QComboBox* profileCombo_ = nullptr;
    QComboBox* audioCombo_ = nullptr;
    QComboBox* subtitleCombo_ = nullptr;
    QLineEdit* outputEdit_ = nullptr;
    CMyCheckBox* merge_ = nullptr;
    CMySliderCtrl* seek_ = nullptr;
    CMyStatic* titleLabel_ = nullptr;
    QLabel* startPicture_ = nullptr;
    QLabel* videoPicture_ = nullptr;
};
