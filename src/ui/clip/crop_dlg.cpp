#include "ui/clip/crop_dlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSpinBox>
#include <algorithm>

#include "dvd/catalogue.h"
#include "platform/framework/framework.h"
#include "platform/win/qt/qt_draw_context.h"
#include "ui/clip/clip_geometry.h"
#include "ui/skin/my_button.h"
#include "ui/skin/my_select_ctrl.h"
#include "ui/skin/my_slider_ctrl.h"
#include "ui/skin/my_static.h"
#include "ui/skin/skin_control.h"

namespace {

const QRect kProcessedArea{406, 70, 380, 282};  // (406, 70)-(786, 352)

QRect ToQRect(const RECT& r) {
    return QRect(int(r.left), int(r.top), int(r.Width()), int(r.Height()));
}

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

Qt::CursorShape ShapeOf(CropTracker::Cursor c) {
    switch (c) {
        case CropTracker::kSizeNWSE:
            return Qt::SizeFDiagCursor;
        case CropTracker::kSizeNS:
            return Qt::SizeVerCursor;
        case CropTracker::kSizeNESW:
            return Qt::SizeBDiagCursor;
        case CropTracker::kSizeWE:
            return Qt::SizeHorCursor;
        case CropTracker::kSizeAll:
            return Qt::SizeAllCursor;
        default:
            return Qt::ArrowCursor;
    }
}

}  // namespace

CCropDlg::CCropDlg(ConversionItem& item, const profiles::EncoderSettings& settings, int firstPage,
                   QWidget* parent)
    : CSkinDialog(parent), item_(item), settings_(settings), page_(std::clamp(firstPage, 0, 2)) {
    setWindowTitle("Edit");
    setMouseTracking(true);
    // The background first: the controls copy the part of it under them.
    LoadBackground("cropbk.png");
    trimStart_ = item_.TrimStart;
    trimLength_ = item_.TrimLength;
    clip_ = item_.Clip;

    CreateControls();
    for (int page = 0; page < 3; ++page) ShowPage(page, page == page_);
    tabs_[page_]->SetChecked(1);
    for (int page = 0; page < 3; ++page) RefreshPage(page);
    ConnectControls();

    // Before any playback the frame covers view 0, as the picture will.
    tracker_.Init(Window(), kView0, 32, 32);
    Window()->PostMessage(kStartPlaying, 0, 0);
}

CCropDlg::~CCropDlg() {
    StopTimer();
    // The renderers paint into this window and the graph posts to it: both
    // must be gone before the window is.
    player_.Close();
}

void CCropDlg::CreateControls() {
    const QImage* bk = Background().isNull() ? nullptr : &Background();
    auto button = [&](int id, const char* image, int x, int y) {
        auto* b = new CMyButton(this);
        SetDlgCtrlID(b, id);
        PlaceButton(b, image, x, y);
        b->setFocusPolicy(Qt::NoFocus);
        // Enter in an edit must not close the editor through a default button.
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    auto edit = [&](int id, QRect r) {
        auto* e = new QLineEdit(this);
        SetDlgCtrlID(e, id);
        e->setGeometry(r);
        return e;
    };
    auto slider = [&](int id, QPoint at, const char* back, const char* fill, const char* thumb,
                      int maximum) {
        auto* s = new CMySliderCtrl(this);
        SetDlgCtrlID(s, id);
        s->move(at);
        s->SetImages(back, fill, thumb);
        s->SetRange(0, maximum);
        return s;
    };

    auto* caption = AddLabel("Edit", QRect(16, 10, 200, 16));
    caption->setObjectName("caption");

    ok_ = button(IDOK_, "ok2.png", 625, 560);
    cancel_ = button(IDCANCEL_, "cancel.png", 705, 560);
    minimize_ = button(IDC_MINIMIZE, "min.png", 730, 6);
    close_ = button(IDC_CLOSE, "close.png", 760, 6);
    tabs_[kTrimPage] = button(IDC_TRIM_TAB, "trim2.png", 94, 460);
    tabs_[kCropPage] = button(IDC_CROP_TAB, "crop2.png", 40, 460);
    tabs_[kEffectPage] = button(IDC_EFFECT_TAB, "effect2.png", 148, 460);
    play_ = button(IDC_PLAY, "play.png", 45, 405);
    pause_ = button(IDC_PAUSE, "pause.png", 45, 405);
    pause_->hide();
    gotoStart_ = button(IDC_GOTO_START, "nextframe.png", 100, 405);
    markIn_ = button(IDC_MARK_IN, "makein.png", 155, 405);
    markOut_ = button(IDC_MARK_OUT, "makeout.png", 210, 405);
    reset_ = button(IDC_RESET, "reset.png", 705, 515);

    position_ = slider(IDC_POSITION, QPoint(26, 367), "sliderbk_crop1.png", "sliderbk_crop2.png",
                       "thumb.png", 1000);
    // The band shows the trim range, the thumb the playing position.
    position_->SetFollow(2);
    position_->SetSelection(BandValue(trimStart_), BandValue(trimStart_ + trimLength_));
    trim_ = new CMySelectCtrl(this);
    SetDlgCtrlID(trim_, IDC_TRIM);
    trim_->setGeometry(
        position_->geometry().translated(0, position_->height()).adjusted(-9, 0, 9, 0));
    trim_->SetImage("select.png", bk);
    trim_->SetRange(0, 1000);
    trim_->SetSel(TrimFraction(trimStart_), TrimFraction(trimStart_ + trimLength_));
    volume_ =
        slider(IDC_VOLUME, QPoint(627, 414), "sliderbk1.png", "sliderbk2.png", "thumb.png", 512);

    positionText_ = new CMyStatic(this);
    SetDlgCtrlID(positionText_, IDC_POSITION_TEXT);
    positionText_->setGeometry(445, 417, 110, 15);
    QImage grey(size(), QImage::Format_ARGB32_Premultiplied);
    grey.fill(QColor(73, 73, 73));
    positionText_->CopyBackground(&grey);
    QPalette light = positionText_->palette();
    light.setColor(QPalette::WindowText, Qt::white);
    positionText_->setPalette(light);

    // Trim page.
    startLabel_ = AddLabel("Start Time:", QRect(25, 515, 75, 20));
    startEdit_ = edit(IDC_START_EDIT, QRect(100, 515, 70, 20));
    setStart_ = button(IDC_SET_START, "ok.png", 175, 515);
    endLabel_ = AddLabel("End Time:", QRect(245, 515, 75, 20));
    endEdit_ = edit(IDC_END_EDIT, QRect(320, 515, 70, 20));
    setEnd_ = button(IDC_SET_END, "ok.png", 395, 515);
    lengthLabel_ = AddLabel("Select Length:", QRect(460, 515, 100, 20));
    lengthEdit_ = edit(IDC_LENGTH_EDIT, QRect(560, 515, 75, 20));

    // Crop page.
    zoomLabel_ = AddLabel("Zoom Mode", QRect(30, 495, 150, 20));
    zoom_ = new QComboBox(this);
    SetDlgCtrlID(zoom_, IDC_ZOOM);
    zoom_->addItems({"Keep Original", "Full Screen", "16:9", "4:3"});
    zoom_->setGeometry(30, 515, 150, 20);
    const char* names[4] = {"Left", "Top", "Right", "Bottom"};
    const int editIds[4] = {IDC_LEFT, IDC_TOP, IDC_RIGHT, IDC_BOTTOM};
    for (int i = 0; i < 4; ++i) {
        const int x = 200 + 110 * i;
        cropLabels_[i] = AddLabel(names[i], QRect(x, 495, 70, 20));
        cropEdits_[i] = edit(editIds[i], QRect(x, 515, 70, 20));
        cropEdits_[i]->setAlignment(Qt::AlignRight);
        // The up-down arrows beside the edit; they write the edit's text.
        auto* spin = new QSpinBox(this);
        SetDlgCtrlID(spin, editIds[i] + 1);
        spin->setGeometry(x + 70, 515, 20, 20);
        spin->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        if (auto* text = spin->findChild<QLineEdit*>()) text->hide();
        spin->setFrame(false);
        cropSpins_[i] = spin;
    }

    // Effect page.
    brightnessLabel_ = AddLabel("Brightness", QRect(72, 492, 100, 20));
    brightness_ =
        slider(IDC_BRIGHTNESS, QPoint(48, 508), "bg2-2.png", "bg2-2.png", "kuang-2.png", 256);
    contrastLabel_ = AddLabel("Contrast", QRect(236, 492, 100, 20));
    contrast_ =
        slider(IDC_CONTRAST, QPoint(204, 508), "bg2-2.png", "bg2-2.png", "kuang-2.png", 360);
    saturationLabel_ = AddLabel("Saturation", QRect(384, 492, 100, 20));
    saturation_ =
        slider(IDC_SATURATION, QPoint(358, 508), "bg2-2.png", "bg2-2.png", "kuang-2.png", 128);
}

void CCropDlg::ConnectControls() {
    QObject::connect(ok_, &QPushButton::clicked, this, [this] { OnOk(); });
    QObject::connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
    QObject::connect(close_, &QPushButton::clicked, this, [this] { reject(); });
    QObject::connect(minimize_, &QPushButton::clicked, this, [this] { showMinimized(); });
    for (int page = 0; page < 3; ++page)
        QObject::connect(tabs_[page], &QPushButton::clicked, this,
                         [this, page] { SwitchPage(page); });
    QObject::connect(play_, &QPushButton::clicked, this, [this] { OnPlay(); });
    QObject::connect(pause_, &QPushButton::clicked, this, [this] { OnPause(); });
    QObject::connect(gotoStart_, &QPushButton::clicked, this, [this] { OnGotoStart(); });
    QObject::connect(markIn_, &QPushButton::clicked, this, [this] { OnMarkIn(); });
    QObject::connect(markOut_, &QPushButton::clicked, this, [this] { OnMarkOut(); });
    QObject::connect(reset_, &QPushButton::clicked, this, [this] { OnReset(); });
    QObject::connect(setStart_, &QPushButton::clicked, this, [this] { OnSetStart(); });
    QObject::connect(setEnd_, &QPushButton::clicked, this, [this] { OnSetEnd(); });
    // Only the user's choice counts, not the page refresh setting the list.
    QObject::connect(zoom_, &QComboBox::activated, this, [this](int i) { OnZoomChanged(i); });
    const int editIds[4] = {IDC_LEFT, IDC_TOP, IDC_RIGHT, IDC_BOTTOM};
    for (int i = 0; i < 4; ++i) {
        QLineEdit* e = cropEdits_[i];
        QSpinBox* spin = cropSpins_[i];
        const int id = editIds[i];
        QObject::connect(e, &QLineEdit::textChanged, this, [this, id, e, spin] {
            {
                // The arrows step from what the edit holds.
                QSignalBlocker block(spin);
                spin->setValue(e->text().toInt());
            }
            // The corrected value is written back once the user is done with
            // the edit: rewriting it at every key would turn "600" typed into
            // Right after a Left of 100 into 101, 1010, 720.
            editingId_ = id;
            OnCropEdit(id);
            editingId_ = 0;
        });
        QObject::connect(e, &QLineEdit::editingFinished, this, [this] { WriteCropEdits(); });
        QObject::connect(spin, &QSpinBox::valueChanged, this, [this, e](int v) {
            e->setText(QString::number(v));
            // An arrow click is a finished edit: show the corrected value.
            WriteCropEdits();
        });
    }

    QtWindow* w = Window();
    w->OnMessage(kGraphNotify, [this](WPARAM, LPARAM) { OnGraphEvent(); });
    w->OnMessage(kStartPlaying, [this](WPARAM, LPARAM) {
        if (OnPlay()) {
            Window()->SetTimer(kPositionTimer, 100);
            timerId_ = kPositionTimer;
        }
    });
    w->OnMessage(WM_SELECT_MOVED, [this](WPARAM s, LPARAM e) { OnTrimMoved(int(s), int(e)); });
    w->OnMessage(WM_SLIDER_DRAGGING,
                 [this](WPARAM id, LPARAM v) { OnSliderValue(int(id), int(v)); });
    w->OnMessage(WM_SLIDER_RELEASED, [this](WPARAM id, LPARAM) {
        if (int(id) == IDC_POSITION) OnSeek();
    });
    w->OnMessage(WM_CROP_TRACKER_CHANGED, [this](WPARAM, LPARAM) { OnTrackerChanged(); });
    w->OnMessage(WM_TIMER, [this](WPARAM id, LPARAM) {
        if (id == kPositionTimer) OnTimer();
    });
}

QWidget* CCropDlg::Control(int id) const {
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (GetDlgCtrlID(w) == id) return w;
    return nullptr;
}

bool CCropDlg::IsPlayingShown() const {
    return !pause_->isHidden();
}

// ---------------------------------------------------------------- pages

void CCropDlg::ShowPage(int page, bool show) {
    std::vector<QWidget*> controls;
    if (page == kTrimPage)
        controls = {startLabel_, startEdit_, setStart_,    endLabel_,
                    endEdit_,    setEnd_,    lengthLabel_, lengthEdit_};
    else if (page == kCropPage) {
        controls = {zoomLabel_, zoom_};
        for (int i = 0; i < 4; ++i)
            controls.insert(controls.end(), {cropLabels_[i], cropEdits_[i], cropSpins_[i]});
    } else {
        controls = {brightnessLabel_, brightness_,      contrastLabel_,
                    contrast_,        saturationLabel_, saturation_};
    }
    for (QWidget* c : controls) c->setVisible(show);
}

void CCropDlg::SwitchPage(int page) {
    if (page == page_) return;
    ShowPage(page_, false);
    tabs_[page_]->SetChecked(0);
    page_ = page;
    ShowPage(page_, true);
    tabs_[page_]->SetChecked(1);
}

void CCropDlg::RefreshPage(int page) {
    refreshing_ = true;
    if (page == kTrimPage) {
        startEdit_->setText(Text(FormatClipTime(trimStart_)));
        endEdit_->setText(Text(FormatClipTime(trimStart_ + trimLength_)));
        lengthEdit_->setText(Text(FormatClipTime(trimLength_)));
    } else if (page == kCropPage) {
        zoom_->setCurrentIndex(std::clamp(clip_.ZoomMode, 0, 3));
        cropSpins_[0]->setRange(0, clip_.CropRight);
        cropSpins_[1]->setRange(0, clip_.CropBottom);
        cropSpins_[2]->setRange(clip_.CropLeft + 1, ProcessVideoSize.Width);
        cropSpins_[3]->setRange(clip_.CropTop + 1, ProcessVideoSize.Height);
        WriteCropEdits();
    } else {
        saturation_->SetPos(clip_.Saturation);
        brightness_->SetPos(clip_.Brightness);
        contrast_->SetPos(clip_.Hue + 180);
    }
    volume_->SetPos(clip_.Volume);
    refreshing_ = false;
}

void CCropDlg::WriteCropEdits() {
    const int values[4] = {clip_.CropLeft, clip_.CropTop, clip_.CropRight, clip_.CropBottom};
    const int ids[4] = {IDC_LEFT, IDC_TOP, IDC_RIGHT, IDC_BOTTOM};
    for (int i = 0; i < 4; ++i) {
        if (ids[i] == editingId_) continue;
        const QString text = QString::number(values[i]);
        if (cropEdits_[i]->text() != text) cropEdits_[i]->setText(text);
    }
}

// ---------------------------------------------------------------- playback

bool CCropDlg::OnPlay() {
    if (!player_.IsPaused()) {
        player_.SetTitle(item_.TitleIndex, item_.ChapterIndex);
        if (!player_.Open(OpenDvdHandle(), Window(), &kView0, Window(), &kView1,
                          ProcessVideoSize.Width, ProcessVideoSize.Height))
            return false;
        videoArea_ =
            FitAspect(kView0, float(ProcessVideoSize.Width) / float(ProcessVideoSize.Height));
        tracker_.Init(Window(), videoArea_, 32, 32);
        player_.SetProcessedAspectMode(clip_.ZoomMode == 0 ? 1 : 0);
        ApplyCrop();
        player_.SetPosition(0);
        player_.SetVolume(clip_.Volume);
        // The stored picture settings show from the first picture, so the
        // preview never misrepresents what will be converted.
        player_.SetBrightness(clip_.Brightness);
        player_.SetSaturation(clip_.Saturation);
        player_.SetHue(clip_.Hue);
        StreamTable streams;
        if (player_.ListStreams(streams)) {
            // Track ids carry the PES stream id above the sub-stream id; the
            // splitter's streams are matched by the sub-stream id alone.
            if (SelectedSubtitleStream >= 0)
                for (int i = streams.subtitleCount - 1; i >= 0; --i)
                    if (streams.subtitle[i].subStreamId == (SelectedSubtitleStream & 0xFF))
                        player_.EnableStream(streams.subtitle[i].index, true);
            if (SelectedAudioStream >= 0)
                for (int i = streams.audioCount - 1; i >= 0; --i)
                    if (streams.audio[i].subStreamId == (SelectedAudioStream & 0xFF))
                        player_.EnableStream(streams.audio[i].index, true);
        }
        update();
    }
    player_.Run();
    if (!timerId_) {
        Window()->SetTimer(kPositionTimer, 100);
        timerId_ = kPositionTimer;
    }
    ShowPlaying(true);
    return true;
}

void CCropDlg::OnPause() {
    player_.Pause();
    ShowPlaying(false);
}

void CCropDlg::ShowPlaying(bool playing) {
    play_->setVisible(!playing);
    pause_->setVisible(playing);
}

void CCropDlg::StopTimer() {
    if (timerId_) Window()->KillTimer(timerId_);
    timerId_ = 0;
}

double CCropDlg::PlayerDuration() {
    double d = 0;
    if (!player_.GetDuration(d) || d <= 0) d = 1;
    return d;
}

void CCropDlg::OnTimer() {
    double current = 0;
    player_.GetCurrentPosition(current);
    const double duration = PlayerDuration();
    const int value = int(current * 1000 / duration);
    if (value != position_->GetThumbPos()) position_->SetThumbPos(value);
    positionText_->SetWindowText(Text(FormatClipTime(std::int64_t(current * 1000)) + "/" +
                                      FormatClipTime(std::int64_t(duration * 1000))));
}

void CCropDlg::OnGraphEvent() {
    if (!player_.HasGraph() || !player_.HasEvents()) return;
    long code = 0;
    bool complete = false;
    while (player_.NextEvent(code)) complete = complete || code == EC_COMPLETE;
    if (!complete) return;
    player_.Stop();
    StopTimer();
    ShowPlaying(false);
    position_->SetThumbPos(0);
}

void CCropDlg::OnSeek() {
    player_.SetPosition(position_->GetThumbPos() * PlayerDuration() / 1000);
}

void CCropDlg::OnGotoStart() {
    int minimum = 0, maximum = 0, bandStart = 0, bandEnd = 0;
    position_->GetRange(minimum, maximum);
    position_->GetSelection(bandStart, bandEnd);
    if (maximum == minimum) return;
    player_.SetPosition(float(bandStart) / float(maximum - minimum) * float(PlayerDuration()));
}

void CCropDlg::OnMarkIn() {
    int minimum = 0, maximum = 0;
    position_->GetRange(minimum, maximum);
    float start = 0, end = 0;
    trim_->GetSel(start, end);
    position_->SetSelection(int(float(maximum - minimum) * start), -1);
}

void CCropDlg::OnMarkOut() {
    int minimum = 0, maximum = 0;
    position_->GetRange(minimum, maximum);
    float start = 0, end = 0;
    trim_->GetSel(start, end);
    position_->SetSelection(-1, int(float(maximum - minimum) * end));
}

// ---------------------------------------------------------------- trim

float CCropDlg::TrimFraction(std::int64_t ms) const {
    if (item_.Duration <= 0) return ms > 0 ? 1.f : 0.f;
    return float(ms) / float(item_.Duration);
}

int CCropDlg::BandValue(std::int64_t ms) const {
    int minimum = 0, maximum = 1000;
    if (position_) position_->GetRange(minimum, maximum);
    if (item_.Duration <= 0) return ms > 0 ? maximum : minimum;
    return int(float(minimum) + float(maximum - minimum) * float(ms) / float(item_.Duration));
}

void CCropDlg::OnTrimMoved(int start, int end) {
    int minimum = 0, maximum = 0;
    trim_->GetRange(minimum, maximum);
    const float span = float(maximum - minimum);
    if (span <= 0) return;
    const float duration = float(item_.Duration);
    if (start >= 0) {
        const std::int64_t oldEnd = trimStart_ + trimLength_;
        const std::int64_t newStart = std::int64_t(duration * (float(start) / span));
        trimLength_ = oldEnd - newStart;
        trimStart_ = newStart;
        startEdit_->setText(Text(FormatClipTime(trimStart_)));
        lengthEdit_->setText(Text(FormatClipTime(trimLength_)));
    }
    if (end >= 0) {
        const std::int64_t newEnd = std::int64_t(duration * (float(end) / span));
        trimLength_ = newEnd - trimStart_;
        endEdit_->setText(Text(FormatClipTime(newEnd)));
        lengthEdit_->setText(Text(FormatClipTime(trimLength_)));
    }
}

void CCropDlg::OnSetStart() {
    std::int64_t v = ParseClipTime(startEdit_->text().toStdString());
    const std::int64_t end = trimStart_ + trimLength_;
    if (v > end) v = end - 1000;
    if (v < 0) v = 0;
    trimLength_ = end - v;
    trimStart_ = v;
    startEdit_->setText(Text(FormatClipTime(trimStart_)));
    lengthEdit_->setText(Text(FormatClipTime(trimLength_)));
    position_->SetSelection(BandValue(v), -1);
    // The selector reports both handles on every drag: left where it was, the
    // start handle would undo the typed start at the next drag of the end.
    trim_->SetSel(TrimFraction(v), -1);
}

void CCropDlg::OnSetEnd() {
    std::int64_t v = ParseClipTime(endEdit_->text().toStdString());
    if (v > item_.Duration) v = item_.Duration;
    if (v < trimStart_) v = trimStart_ + 1000;
    trimLength_ = v - trimStart_;
    endEdit_->setText(Text(FormatClipTime(v)));
    lengthEdit_->setText(Text(FormatClipTime(trimLength_)));
    position_->SetSelection(-1, BandValue(v));
    trim_->SetSel(-1, TrimFraction(v));
}

// ---------------------------------------------------------------- crop and zoom

RECT CCropDlg::ZoomRect() const {
    RECT r = kView1;
    if (settings_.Width > 0 && settings_.Height > 0)
        r = FitAspect(kView1, float(settings_.Width) / float(settings_.Height));
    if (clip_.ZoomMode == 2) return FitAspect(r, 16.f / 9.f);
    if (clip_.ZoomMode == 3) return FitAspect(r, 4.f / 3.f);
    return r;
}

void CCropDlg::OnZoomChanged(int index) {
    clip_.ZoomMode = std::clamp(index, 0, 3);
    player_.SetProcessedAspectMode(clip_.ZoomMode == 0 ? 1 : 0);
    player_.SetProcessedViewRect(ZoomRect());
    update(kProcessedArea);
}

void CCropDlg::OnCropEdit(int id) {
    int* edge = nullptr;
    QLineEdit* e = nullptr;
    switch (id) {
        case IDC_LEFT:
            edge = &clip_.CropLeft, e = cropEdits_[0];
            break;
        case IDC_TOP:
            edge = &clip_.CropTop, e = cropEdits_[1];
            break;
        case IDC_RIGHT:
            edge = &clip_.CropRight, e = cropEdits_[2];
            break;
        case IDC_BOTTOM:
            edge = &clip_.CropBottom, e = cropEdits_[3];
            break;
        default:
            return;
    }
    if (!e) return;
    int v = e->text().toInt();
    if (id == IDC_LEFT && v >= clip_.CropRight) v = clip_.CropRight - 1;
    if (id == IDC_TOP && v >= clip_.CropBottom) v = clip_.CropBottom - 1;
    if (id == IDC_RIGHT && v <= clip_.CropLeft) v = clip_.CropLeft + 1;
    if (id == IDC_BOTTOM && v <= clip_.CropTop) v = clip_.CropTop + 1;
    if (v == *edge) return;
    *edge = v;
    ApplyCrop();
}

void CCropDlg::ApplyCrop() {
    const RECT asked{clip_.CropLeft, clip_.CropTop, clip_.CropRight, clip_.CropBottom};
    player_.SetCropRect(asked);
    // The frame's reduction is done here as well, so that the settings stay
    // sound when there is no preview to reduce them.
    const RECT frame{0, 0, ProcessVideoSize.Width, ProcessVideoSize.Height};
    const RECT kept{std::max(asked.left, frame.left), std::max(asked.top, frame.top),
                    std::min(asked.right, frame.right), std::min(asked.bottom, frame.bottom)};
    if (kept.right > kept.left && kept.bottom > kept.top) {
        clip_.CropLeft = kept.left;
        clip_.CropTop = kept.top;
        clip_.CropRight = kept.right;
        clip_.CropBottom = kept.bottom;
    }
    WriteCropEdits();

    if (videoArea_.Width() > 0 && videoArea_.Height() > 0) {
        const float sx = float(ProcessVideoSize.Width) / float(videoArea_.Width());
        const float sy = float(ProcessVideoSize.Height) / float(videoArea_.Height());
        tracker_.SetRect(RECT{
            LONG(float(clip_.CropLeft) / sx + 0.5f), LONG(float(clip_.CropTop) / sy + 0.5f),
            LONG(float(clip_.CropRight) / sx + 0.5f), LONG(float(clip_.CropBottom) / sy + 0.5f)});
    }
    player_.SetProcessedViewRect(ZoomRect());
    update(ToQRect(kView0));
}

void CCropDlg::OnTrackerChanged() {
    if (videoArea_.Width() <= 0 || videoArea_.Height() <= 0) return;
    const float sx = float(ProcessVideoSize.Width) / float(videoArea_.Width());
    const float sy = float(ProcessVideoSize.Height) / float(videoArea_.Height());
    const RECT r = tracker_.GetRect();
    const RECT crop{LONG(float(r.left) * sx + 0.5f), LONG(float(r.top) * sy + 0.5f),
                    LONG(float(r.right) * sx + 0.5f), LONG(float(r.bottom) * sy + 0.5f)};
    player_.SetCropRect(crop);
    clip_.CropLeft = crop.left;
    clip_.CropTop = crop.top;
    clip_.CropRight = crop.right;
    clip_.CropBottom = crop.bottom;
    WriteCropEdits();
    update(ToQRect(kView0));
}

// ---------------------------------------------------------------- effects, reset, OK

void CCropDlg::OnSliderValue(int id, int value) {
    switch (id) {
        case IDC_VOLUME:
            clip_.Volume = value;
            player_.SetVolume(value);
            break;
        case IDC_SATURATION:
            clip_.Saturation = value;
            player_.SetSaturation(value);
            break;
        case IDC_BRIGHTNESS:
            clip_.Brightness = value;
            player_.SetBrightness(value);
            break;
        case IDC_CONTRAST:
            clip_.Hue = value - 180;
            player_.SetHue(value - 180);
            break;
        default:
            break;
    }
}

void CCropDlg::OnReset() {
    if (page_ == kTrimPage) {
        trimStart_ = 0;
        trimLength_ = item_.Duration;
        trim_->SetSel(0, 1);
        position_->SetSelection(BandValue(0), BandValue(item_.Duration));
    } else if (page_ == kCropPage) {
        clip_.ZoomMode = 0;
        clip_.CropLeft = 0;
        clip_.CropTop = 0;
        clip_.CropRight = ProcessVideoSize.Width;
        clip_.CropBottom = ProcessVideoSize.Height;
        player_.SetProcessedAspectMode(1);
        ApplyCrop();
        update(kProcessedArea);
    } else {
        clip_.Brightness = 128;
        clip_.Saturation = 64;
        clip_.Hue = 0;
        player_.SetSaturation(64);
        player_.SetHue(0);
        player_.SetBrightness(128);
    }
    clip_.Volume = 256;
    player_.SetVolume(256);
    RefreshPage(page_);
}

void CCropDlg::OnOk() {
    item_.TrimStart = trimStart_;
    item_.TrimLength = trimLength_;
    item_.Clip = clip_;
    accept();
}

void CCropDlg::done(int result) {
    player_.Stop();
    StopTimer();
    CSkinDialog::done(result);
}

// ---------------------------------------------------------------- window

bool CCropDlg::InView(const QPoint& p) const {
    return ToQRect(kView0).contains(p) || ToQRect(kView1).contains(p);
}

void CCropDlg::paintEvent(QPaintEvent* e) {
    CSkinDialog::paintEvent(e);
    if (!e->rect().intersects(ToQRect(kView0)) && !e->rect().intersects(ToQRect(kView1))) return;
    QPainter p(this);
    QtDrawContext dc(p);
    player_.Repaint(Window(), &dc);
}

void CCropDlg::mousePressEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (e->button() == Qt::LeftButton && tracker_.BeginTrack(POINT{at.x(), at.y()})) return;
    // The views are not part of the body: pressing them does not drag the dialog.
    if (InView(at)) return;
    CSkinDialog::mousePressEvent(e);
}

void CCropDlg::mouseMoveEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (tracker_.IsTracking()) {
        tracker_.Drag(POINT{at.x(), at.y()});
        return;
    }
    if (e->buttons() == Qt::NoButton) {
        const int part = tracker_.HitTest(POINT{at.x(), at.y()});
        if (part)
            setCursor(ShapeOf(CropTracker::CursorOf(part)));
        else
            unsetCursor();
    }
    CSkinDialog::mouseMoveEvent(e);
}

void CCropDlg::mouseReleaseEvent(QMouseEvent* e) {
    if (tracker_.IsTracking() && e->button() == Qt::LeftButton) {
        const QPoint at = e->position().toPoint();
        tracker_.Drag(POINT{at.x(), at.y()});
        tracker_.EndTrack();
        return;
    }
    CSkinDialog::mouseReleaseEvent(e);
}
