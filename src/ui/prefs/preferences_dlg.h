#pragma once
// The preferences dialog: a General page (output and snapshot folders, image
// type, action when a conversion completes, processor usage) and an Options
// page (language and skin, which offer one choice each). OK stores every value
// that changed and ends with QDialog::Accepted; Cancel and the close button
// discard the edits.
//
//   CPreferencesDlg dlg(this);
//   if (dlg.exec() == QDialog::Accepted)
//       outputEdit->setText(QString::fromStdString(ThePreferences().strOutFolder));
#include <QImage>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "ui/prefs/preferences.h"
#include "ui/skin/skin_dialog.h"

class QComboBox;
class QLineEdit;
class QWidget;
class CMyButton;
class CMyStatic;

class CPreferencesDlg : public CSkinDialog {
  public:
    // Control ids of the dialog.
    enum {
        IDC_OUT_FOLDER = 1040,
        IDC_SNAP_FOLDER = 1041,
        IDC_IMAGE_TYPE = 1042,
        IDC_ACTION = 1043,
        IDC_CPU_USAGE = 1044,
        IDC_LANGUAGE = 1045,
        IDC_SKIN = 1046,
        IDC_OUT_BROWSE = 1050,
        IDC_OUT_OPEN = 1051,
        IDC_SNAP_BROWSE = 1052,
        IDC_SNAP_OPEN = 1053,
        IDC_GENERAL = 1054,
        IDC_OPTIONS = 1055,
        IDOK_BUTTON = 1,
        IDCANCEL_BUTTON = 2,
        IDC_CLOSE = 1031
    };

    // Edits the process's preferences, stored under PreferencesKey().
    explicit CPreferencesDlg(QWidget* parent = nullptr);
    // Edits `prefs` (which must outlive the dialog), stored under `key`.
    CPreferencesDlg(Preferences& prefs, std::string key, QWidget* parent = nullptr);

    // Asks for a folder, starting at `start`; "" when the user cancels.
    // Defaults to Qt's folder dialog titled "Browser".
    using FolderPicker = std::function<QString(const QString& start)>;
    // Shows a folder in the desktop's file manager; defaults to the desktop opener.
    using Opener = std::function<bool(const QString& path)>;
    void SetFolderPicker(FolderPicker picker) { picker_ = std::move(picker); }
    void SetOpener(Opener opener) { opener_ = std::move(opener); }

    // 0 General, 1 Options.
    int Page() const { return page_; }
    void ShowPage(int page);

    // The commands of the buttons, for callers and tests.
    void OnOK();
    void OnBrowse(bool snapshot);
    void OnOpen(bool snapshot);

    QLineEdit* OutFolderEdit() const { return outEdit_; }
    QLineEdit* SnapFolderEdit() const { return snapEdit_; }
    QComboBox* ImageTypeCombo() const { return imageType_; }
    QComboBox* ActionCombo() const { return action_; }
    QComboBox* UsageCombo() const { return usage_; }
    QComboBox* LanguageCombo() const { return language_; }
    QComboBox* SkinCombo() const { return skin_; }

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    void Init();
    CMyButton* AddButton(int id, const char* image, int x, int y);
    CMyStatic* AddLabel(const char* text, int x, int y, int w, int h);

    Preferences& prefs_;
    std::string key_;
    int page_ = -1;
    QImage pages_[2];
    QImage composed_;  // background with the General page, for the buttons over it
    FolderPicker picker_;
    Opener opener_;

    QLineEdit* outEdit_ = nullptr;
    QLineEdit* snapEdit_ = nullptr;
    QComboBox* imageType_ = nullptr;
    QComboBox* action_ = nullptr;
    QComboBox* usage_ = nullptr;
    QComboBox* language_ = nullptr;
    QComboBox* skin_ = nullptr;
    CMyButton* general_ = nullptr;
    CMyButton* options_ = nullptr;
    std::vector<QWidget*> generalPage_;
    std::vector<QWidget*> optionsPage_;
};
