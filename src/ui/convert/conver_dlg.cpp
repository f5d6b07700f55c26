#include "conver_dlg.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QUrl>

#include "dvd/catalogue.h"
#include "msg_dlg.h"
#include "platform/win/qt/qt_draw_context.h"
#include "ui/skin/my_button.h"
#include "ui/skin/my_check_box.h"
#include "ui/skin/my_progress_ctrl.h"
#include "ui/skin/my_static.h"
#include "ui/skin/skin_control.h"
#include "ui/skin/skin_layout.h"
#include "ui/titlelist/column_tree_ctrl.h"

namespace {

using namespace conver_ids;

QRect ToQRect(const RECT& r) {
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

void PowerOff() {
    // A session without a screen has no user who asked for this.
    if (QGuiApplication::platformName() == "offscreen") return;
    QProcess::startDetached("systemctl", {"poweroff"});
}

void OpenInDesktop(const std::string& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

}  // namespace

const QColor CConverDlg::kLabelBrush(137, 139, 142);

CConverDlg::CConverDlg(QWidget* parent, CColumnTreeCtrl* list, const EncoderSettings& settings,
                       bool merge, ConverDlgOptions options)
    : CSkinDialog(parent),
      list_(list),
      settings_(settings),
      merge_(merge),
      options_(std::move(options)),
      graph_(options_.dvd ? *options_.dvd : OpenDvdHandle()) {
    setModal(true);
    BuildControls();
    Window()->OnMessage(kStartEntryMessage, [this](WPARAM, LPARAM) {
        if (job_) job_->OnStartEntry();
        UpdateDisplay();
    });
    Window()->OnMessage(kGraphEventMessage, [this](WPARAM, LPARAM) {
        if (job_) job_->OnGraphEvent();
        UpdateDisplay();
    });
    Window()->OnMessage(WM_TIMER, [this](WPARAM id, LPARAM) {
        if (id != WPARAM(kProgressTimerId) || !job_) return;
        job_->OnTimer();
        UpdateDisplay();
    });
}

CConverDlg::~CConverDlg() {
    Destroy();
}

// ------------------------------------------------------------------ controls

CMyStatic* CConverDlg::AddLabel(int id, const QString& text, const QRect& place) {
    auto* label = new CMyStatic(text, this);
    label->setGeometry(place);
    label->CopyBackground(&labelBackground_);
    SetDlgCtrlID(label, id);
    if (id) labels_[id] = label;
    return label;
}

CMyStatic* CConverDlg::AddCaptionedValue(int id, const QString& caption, const QRect& place,
                                         const QString& value) {
    const int captionWidth = fontMetrics().horizontalAdvance(caption) + 6;
    AddLabel(0, caption, QRect(place.x(), place.y(), captionWidth, place.height()));
    return AddLabel(
        id, value,
        QRect(place.x() + captionWidth, place.y(), place.width() - captionWidth, place.height()));
}

CMyButton* CConverDlg::AddButton(int id, const char* image, int x, int y) {
    auto* button = new CMyButton(this);
    SetDlgCtrlID(button, id);
    if (!PlaceButton(button, image, x, y)) button->setGeometry(x, y, 72, 20);
    buttons_[id] = button;
    return button;
}

void CConverDlg::BuildControls() {
    using namespace skin_layout;
    LoadBackground("convertingbk.png");
    if (Background().isNull()) setFixedSize(485, 550);
    // Labels sit on the body's flat colour, whatever the picture has under them.
    labelBackground_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    labelBackground_.fill(kLabelBrush);

    auto* title = new CMyStatic("Converting", this);
    title->setGeometry(kConvTitleLabel);
    title->CopyBackground(&Background());
    SetDlgCtrlID(title, kTitle);
    labels_[kTitle] = title;

    auto* show = new CMyCheckBox("Show Preview", this);
    show->setGeometry(kConvShowPreviewCheck);
    show->setChecked(true);
    SetDlgCtrlID(show, kShowPreview);
    checks_[kShowPreview] = show;
    connect(show, &QCheckBox::clicked, this, [this] { OnShowPreview(); });

    AddCaptionedValue(kConvertedLength, "Converted length of the current file:", kConvLengthLabel,
                      "00:00:00/00:00:00");
    fileBar_ = new CMyProgressCtrl(this);
    fileBar_->setGeometry(kConvFileProgress);
    fileBar_->SetImage("progress1.png");
    fileBar_->setRange(0, 1000);
    fileBar_->setValue(0);
    SetDlgCtrlID(fileBar_, kFileProgress);
    jobBar_ = new CMyProgressCtrl(this);
    jobBar_->setGeometry(kConvJobProgress);
    jobBar_->SetImage("progress2.png");
    jobBar_->setRange(0, 1000);
    jobBar_->setValue(0);
    SetDlgCtrlID(jobBar_, kJobProgress);

    AddCaptionedValue(kElapsed, "Elapsed time:", kConvElapsedLabel, "00:00:00");
    AddCaptionedValue(kRemaining, "Remaining time:", kConvRemainingLabel, "00:00:00");

    auto* shutdown = new CMyCheckBox("Shut down computer when conversion completed", this);
    shutdown->setGeometry(kConvShutdownCheck);
    SetDlgCtrlID(shutdown, kShutdown);
    checks_[kShutdown] = shutdown;
    auto* open = new CMyCheckBox("Open output folder when conversion completed", this);
    open->setGeometry(kConvOpenFolderCheck);
    SetDlgCtrlID(open, kOpenFolder);
    checks_[kOpenFolder] = open;
    auto finishChoices = [this] {
        if (job_)
            job_->SetFinishChoices(checks_[kShutdown]->isChecked(),
                                   checks_[kOpenFolder]->isChecked());
    };
    connect(shutdown, &QCheckBox::toggled, this, finishChoices);
    connect(open, &QCheckBox::toggled, this, finishChoices);

    connect(AddButton(kPause, "Pause2.png", 315, 515), &CMyButton::clicked, this,
            [this] { OnPause(); });
    connect(AddButton(kContinue, "continue2.png", 315, 515), &CMyButton::clicked, this,
            [this] { OnContinue(); });
    connect(AddButton(kCancel, "Cancel.png", 400, 515), &CMyButton::clicked, this,
            [this] { OnCancel(); });
    connect(AddButton(kClose, "close.png", 455, 8), &CMyButton::clicked, this,
            [this] { OnCloseButton(); });
    buttons_[kContinue]->hide();
    buttons_[kPause]->show();
}

CMyStatic* CConverDlg::Label(int id) const {
    auto it = labels_.find(id);
    return it == labels_.end() ? nullptr : it->second;
}

CMyCheckBox* CConverDlg::Check(int id) const {
    auto it = checks_.find(id);
    return it == checks_.end() ? nullptr : it->second;
}

CMyButton* CConverDlg::Button(int id) const {
    auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

// ------------------------------------------------------------------ the job

void CConverDlg::showEvent(QShowEvent* e) {
    CSkinDialog::showEvent(e);
    if (!started_) {
        started_ = true;
        StartJob();
    }
}

void CConverDlg::StartJob() {
    JobOptions o;
    o.merge = merge_;
    o.outFolder = options_.outFolder;
    o.action = options_.action;
    o.shutdownChecked = checks_[kShutdown]->isChecked();
    o.openFolderChecked = checks_[kOpenFolder]->isChecked();
    o.selectedAudioStream = options_.selectedAudioStream.value_or(SelectedAudioStream);
    o.selectedSubtitleStream = options_.selectedSubtitleStream.value_or(SelectedSubtitleStream);

    JobActions a;
    a.setTimer = [this](bool on) {
        if (on)
            Window()->SetTimer(kProgressTimerId, kProgressTimerMs);
        else
            Window()->KillTimer(kProgressTimerId);
    };
    a.shutdown = options_.shutdown ? options_.shutdown : PowerOff;
    a.openFolder = options_.openFolder ? options_.openFolder : OpenInDesktop;
    a.showFinished = [this] {
        UpdateDisplay();
        if (options_.showFinished) {
            options_.showFinished();
            return;
        }
        CMsgDlg finished(this, CMsgDlg::kConversionFinished);
        finished.exec();
    };
    a.endDialog = [this] { done(job_ && job_->Finished() ? Accepted : Rejected); };

    // The entries are the root's children in list order; their data and names
    // are read once, as the job starts.
    entries_.clear();
    if (list_) {
        HTREEITEM root = list_->GetRootItem();
        for (HTREEITEM e = list_->GetChildItem(root); root && e; e = list_->GetNextSiblingItem(e))
            entries_.push_back({list_->GetItemData(e), list_->GetCheckState(e) == kStateChecked,
                                list_->GetItemText(e, 3).toStdString()});
    }
    job_ = std::make_unique<ConversionJob>(graph_, GetSafeHwnd(), list_ ? &entries_ : nullptr,
                                           settings_, o, a);
    if (!job_->Initialise()) {
        // Nothing can ever start: leave rather than wait for a Cancel.
        QMetaObject::invokeMethod(
            this, [this] { done(Rejected); }, Qt::QueuedConnection);
        return;
    }
    if (job_->CurrentIndex() < 0) {
        // No checked entry: the job would wait for ever with empty bars.
        QMetaObject::invokeMethod(
            this, [this] { job_->OnClose(); }, Qt::QueuedConnection);
        return;
    }
    UpdateDisplay();
}

void CConverDlg::UpdateDisplay() {
    if (!job_) return;
    const JobDisplay& d = job_->Display();
    if (fileBar_->value() != d.fileBar) fileBar_->setValue(d.fileBar);
    if (jobBar_->value() != d.jobBar) jobBar_->setValue(d.jobBar);
    labels_[kElapsed]->SetWindowText(QString::fromStdString(d.elapsed));
    labels_[kRemaining]->SetWindowText(QString::fromStdString(d.remaining));
    labels_[kConvertedLength]->SetWindowText(QString::fromStdString(d.converted));
    buttons_[kPause]->setVisible(d.pauseVisible);
    buttons_[kContinue]->setVisible(d.continueVisible);
}

void CConverDlg::OnPause() {
    if (!job_) return;
    job_->OnPause();
    UpdateDisplay();
}

void CConverDlg::OnContinue() {
    if (!job_) return;
    job_->OnContinue();
    UpdateDisplay();
}

void CConverDlg::OnCancel() {
    if (!job_ || job_->Ended()) {
        done(Rejected);
        return;
    }
    job_->OnCancel();
}

void CConverDlg::OnCloseButton() {
    if (!job_ || job_->Ended()) {
        done(Rejected);
        return;
    }
    job_->OnClose();
}

void CConverDlg::OnShowPreview() {
    if (job_) job_->OnShowPreview(checks_[kShowPreview]->isChecked());
    update(ToQRect(kPreviewRepaintRect));
}

void CConverDlg::reject() {
    // Esc and the window manager's close: the job is cancelled as with the
    // Cancel button, so the partial file gets its trailer.
    OnCancel();
}

void CConverDlg::done(int result) {
    CSkinDialog::done(result);
    Destroy();
}

void CConverDlg::Destroy() {
    if (destroyed_) return;
    if (!job_) {
        destroyed_ = true;
        return;
    }
    // The graph lets go of this window (events, the preview) before the
    // window goes away.
    destroyed_ = true;
    job_->OnDestroy();
}

void CConverDlg::paintEvent(QPaintEvent* e) {
    CSkinDialog::paintEvent(e);
    if (!job_ || destroyed_ || !checks_[kShowPreview]->isChecked()) return;
    QPainter p(this);
    p.setClipRect(ToQRect(kPreviewRect));
    QtDrawContext dc(p);
    graph_.RepaintPreview(GetSafeHwnd(), &dc);
}
