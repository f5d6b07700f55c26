#pragma once
// The conversion progress dialog: converts the checked entries of the title
// list one after another (or into one file when merging), shows the current
// file's and the whole job's progress, the elapsed and remaining time and the
// converted length, lets the user pause, continue, cancel and hide the
// preview, and when all is done can shut the computer down or open the output
// folder, then shows the finish message.
//
// Usage (the main window, on Start):
//   ConverDlgOptions o;
//   o.outFolder = prefs.strOutFolder;
//   o.action = prefs.strAction;
//   CConverDlg dlg(this, titleList, currentProfile.Settings, mergeChecked, o);
//   dlg.exec();
//
// The job starts when the dialog is shown. The entries are the children of the
// list's root entry; a checked one (state image 3) is converted from its item
// data (a ConversionItem) into outFolder + "/" + its "Output Format" column
// text. The DVD is the catalogue's open one and the tracks are the process-wide
// SelectedAudioStream / SelectedSubtitleStream unless the options name others.
// The list and its item data must outlive the dialog. With no checked entry
// the dialog closes at once. exec() returns Accepted when every entry was
// done, Rejected when the job was cancelled or closed.
//
// The preview area shows what the graph paints through
// IConversionGraph::RepaintPreview; until the graph paints, it shows the
// background's dark well.
//
// The job logic itself is ConversionJob (pipelines/conversion_job.h); this
// class gives it a window, a timer and the controls.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pipelines/conversion_job.h"
#include "pipelines/convert_graph.h"
#include "profiles/profile.h"
#include "ui/skin/skin_dialog.h"

class CColumnTreeCtrl;
class CMyButton;
class CMyCheckBox;
class CMyProgressCtrl;
class CMyStatic;

// Control ids of the dialog.
namespace conver_ids {
constexpr int kTitle = 1070;
constexpr int kShowPreview = 1023;
constexpr int kFileProgress = 1024;
constexpr int kJobProgress = 1025;
constexpr int kElapsed = 1116;
constexpr int kRemaining = 1117;
constexpr int kConvertedLength = 1104;
constexpr int kShutdown = 1099;
constexpr int kOpenFolder = 1100;
constexpr int kPause = 3;
constexpr int kContinue = 1065;
constexpr int kCancel = 2;
constexpr int kClose = 1031;
}  // namespace conver_ids

struct ConverDlgOptions {
    std::string outFolder;  // the preference "strOutFolder"
    std::string action;     // the preference "strAction"; "Shut Down" powers off
    // The tracks to convert; unset: the process-wide selection.
    std::optional<int> selectedAudioStream;
    std::optional<int> selectedSubtitleStream;
    // The DVD to read; unset: the catalogue's open DVD.
    std::optional<DvdHandle> dvd;
    // What the end of the job does to the world. Unset: power the machine off
    // (systemctl poweroff), open the folder with the desktop's opener, show
    // CMsgDlg modally. Tests set all three.
    std::function<void()> shutdown;
    std::function<void(const std::string& folder)> openFolder;
    std::function<void()> showFinished;
};

class CConverDlg : public CSkinDialog {
  public:
    // Private messages and the progress timer.
    static constexpr UINT kGraphEventMessage = WM_GRAPH_EVENT;  // 0x414
    static constexpr UINT kStartEntryMessage = WM_START_ENTRY;  // 0x41A
    // Where the preview is drawn, and the area repainted when it is toggled.
    static constexpr RECT kPreviewRect{86, 78, 408, 320};
    static constexpr RECT kPreviewRepaintRect{85, 65, 410, 310};
    static const QColor kLabelBrush;

    // list may be null (the dialog then says "pList NULL" and closes).
    CConverDlg(QWidget* parent, CColumnTreeCtrl* list, const EncoderSettings& settings, bool merge,
               ConverDlgOptions options = {});
    ~CConverDlg() override;

    // Esc and the window's close act as Cancel: the partial file is finished.
    void reject() override;
    void done(int result) override;

    // What the controls show, for the main window's tests and our own.
    ConversionJob* Job() const { return job_.get(); }
    CConvertGraph& Graph() { return graph_; }
    CMyProgressCtrl* FileProgress() const { return fileBar_; }
    CMyProgressCtrl* JobProgress() const { return jobBar_; }
    CMyStatic* Label(int id) const;
    CMyCheckBox* Check(int id) const;
    CMyButton* Button(int id) const;
    // The entries as the job sees them (filled when the dialog is shown).
    const std::vector<JobEntry>& Entries() const { return entries_; }

    // The commands, as the buttons and check boxes issue them.
    void OnPause();
    void OnContinue();
    void OnCancel();
    void OnCloseButton();
    void OnShowPreview();

  protected:
    void showEvent(QShowEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

  private:
    void BuildControls();
    CMyStatic* AddLabel(int id, const QString& text, const QRect& place);
    // A caption with its value label right after it; returns the value label.
    CMyStatic* AddCaptionedValue(int id, const QString& caption, const QRect& place,
                                 const QString& value);
    CMyButton* AddButton(int id, const char* image, int x, int y);
    void StartJob();
    void UpdateDisplay();
    void Destroy();

    CColumnTreeCtrl* list_;
    EncoderSettings settings_;
    bool merge_;
    ConverDlgOptions options_;
    CConvertGraph graph_;
    std::vector<JobEntry> entries_;
    std::unique_ptr<ConversionJob> job_;
    bool started_ = false;
    bool destroyed_ = false;

    CMyProgressCtrl* fileBar_ = nullptr;
    CMyProgressCtrl* jobBar_ = nullptr;
    std::map<int, CMyStatic*> labels_;
    std::map<int, CMyCheckBox*> checks_;
    std::map<int, CMyButton*> buttons_;
    QImage labelBackground_;
};
