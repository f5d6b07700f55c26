// Shows the skin for review without a display:
//   QT_QPA_PLATFORM=offscreen skin_gallery <output folder> [skin folder]
// Renders every dialog's background with its controls at their places, and a
// sheet of every control in each of its states, as PNG files. The skin folder
// defaults to skin/ of the data directories (beside the programs).
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <cstdio>
#include <memory>
#include <string>

#include "ui/skin/my_button.h"
#include "ui/skin/my_check_box.h"
#include "ui/skin/my_progress_ctrl.h"
#include "ui/skin/my_select_ctrl.h"
#include "ui/skin/my_slider_ctrl.h"
#include "ui/skin/my_static.h"
#include "ui/skin/skin_dialog.h"
#include "ui/skin/skin_files.h"
#include "ui/skin/skin_layout.h"

namespace {

QString g_skinDir;  // empty: the data directories
QString g_outDir;
int g_failures = 0;

std::string Skin(const char* name) {
    if (g_skinDir.isEmpty()) return name;
    return (g_skinDir + "/" + name).toStdString();
}

// Dialog-unit places of the templates, in pixels of the default dialog font.
QRect Dlu(int x, int y, int w, int h) {
    return QRect(x * 3 / 2, y * 13 / 8, w * 3 / 2, h * 13 / 8);
}

void Note(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "missing or unreadable: %s\n", what);
    ++g_failures;
}

CMyButton* Button(CSkinDialog& dlg, const char* image, int x, int y) {
    auto* b = new CMyButton(&dlg);
    Note(dlg.PlaceButton(b, Skin(image), x, y), image);
    return b;
}

CMyStatic* Label(CSkinDialog& dlg, const QString& text, QRect r, QColor fill = Qt::transparent) {
    auto* l = new CMyStatic(text, &dlg);
    l->setGeometry(r);
    if (fill.alpha() > 0) {
        // Labels drawn on a solid fill, as the preferences and progress dialogs do.
        QImage solid(dlg.size(), QImage::Format_ARGB32_Premultiplied);
        solid.fill(fill);
        l->CopyBackground(&solid);
    } else {
        l->CopyBackground(&dlg.Background());
    }
    return l;
}

QComboBox* Combo(QWidget* parent, QRect r, QStringList items) {
    auto* c = new QComboBox(parent);
    c->addItems(items);
    c->setGeometry(r.x(), r.y(), r.width(), std::min(r.height(), 22));
    return c;
}

QLineEdit* Edit(QWidget* parent, QRect r, const QString& text) {
    auto* e = new QLineEdit(text, parent);
    e->setGeometry(r);
    return e;
}

CMySliderCtrl* Slider(CSkinDialog& dlg, QPoint at, const char* bk, const char* fill,
                      const char* thumb, int max, int pos) {
    auto* s = new CMySliderCtrl(&dlg);
    s->move(at);
    Note(s->SetImages(Skin(bk), Skin(fill), Skin(thumb)), bk);
    s->SetRange(0, max);
    s->SetPos(pos);
    return s;
}

QLabel* Picture(QWidget* parent, const char* image, QRect r) {
    auto* l = new QLabel(parent);
    QImage img = LoadSkinImage(Skin(image));
    Note(!img.isNull(), image);
    l->setPixmap(QPixmap::fromImage(img));
    l->setGeometry(r);
    return l;
}

void Shoot(QWidget& w, const char* name) {
    w.show();
    QApplication::processEvents();
    const QString path = g_outDir + "/" + name;
    QImage shot = w.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (!w.mask().isEmpty()) {
        // The offscreen platform ignores window masks; show the clip as the
        // desktop would, with the corners cut away.
        QImage clipped(shot.size(), QImage::Format_ARGB32_Premultiplied);
        clipped.fill(Qt::transparent);
        QPainter p(&clipped);
        p.setClipRegion(w.mask());
        p.drawImage(0, 0, shot);
        p.end();
        shot = clipped;
    }
    if (!shot.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++g_failures;
    }
}

void MainWindow() {
    CSkinDialog dlg;
    Note(dlg.LoadBackground(Skin("maindlg.png")), "maindlg.png");
    const std::pair<const char*, QPoint> buttons[] = {
        {"file.png", {414, 0}},       {"edit.png", {468, 0}},     {"clip.png", {524, 0}},
        {"option.png", {585, 0}},     {"help.png", {658, 0}},     {"min.png", {755, 9}},
        {"close.png", {787, 9}},      {"addfile.png", {19, 40}},  {"effect.png", {134, 40}},
        {"crop.png", {248, 40}},      {"trim.png", {363, 40}},    {"Preferences.png", {477, 40}},
        {"settings.png", {428, 456}}, {"browse.png", {428, 491}}, {"openfolder.png", {532, 491}},
        {"star.png", {674, 416}}};
    for (const auto& [image, at] : buttons) Button(dlg, image, at.x(), at.y());
    const char* transport[] = {"play.png", "stop.png", "back.png",
                               "next.png", "snap.png", "open.png"};
    for (int i = 0; i < 6; ++i)
        Button(dlg, transport[i], skin_layout::kMainTransportX[i], skin_layout::kMainTransportY);
    auto* seek = Slider(dlg, skin_layout::kMainSeekSlider, "sliderbk_main1.png",
                        "sliderbk_main2.png", "thumb.png", 1000, 0);
    seek->SetPos(380);
    using namespace skin_layout;
    Label(dlg, "Discreel", kMainTitleLabel);
    Picture(&dlg, "video.bmp", kMainVideo);
    Picture(&dlg, "getting started.bmp", kMainTitleList);
    Label(dlg, "Audio Track:", kMainAudioCaption);
    Combo(&dlg, kMainAudioCombo, {"English AC-3 2ch"});
    Label(dlg, "SubTitle:", kMainSubtitleCaption);
    Combo(&dlg, kMainSubtitleCombo, {"No subtitle"});
    Label(dlg, "Profile:", kMainProfileCaption);
    Combo(&dlg, kMainProfileCombo, {"Flash Video (*.flv) 640x480"});
    Label(dlg, "Output:", kMainOutputCaption);
    Edit(&dlg, kMainOutputEdit, "/home/user/Videos");
    auto* merge = new CMyCheckBox("Merge into one file", &dlg);
    merge->setGeometry(kMainMergeCheck);
    Shoot(dlg, "main.png");
}

void Converting() {
    CSkinDialog dlg;
    Note(dlg.LoadBackground(Skin("convertingbk.png")), "convertingbk.png");
    using namespace skin_layout;
    const QColor brush(137, 139, 142);
    Label(dlg, "Converting", kConvTitleLabel);
    auto* preview = new QLabel(&dlg);
    preview->setGeometry(kConvPreview);
    preview->setPixmap(QPixmap::fromImage(LoadSkinImage(Skin("video.bmp")))
                           .scaled(kConvPreview.size(), Qt::KeepAspectRatioByExpanding));
    auto* file = new CMyProgressCtrl(&dlg);
    file->setGeometry(kConvFileProgress);
    Note(file->SetImage(Skin("progress1.png")), "progress1.png");
    file->setRange(0, 1000);
    file->setValue(333);
    auto* job = new CMyProgressCtrl(&dlg);
    job->setGeometry(kConvJobProgress);
    Note(job->SetImage(Skin("progress2.png")), "progress2.png");
    job->setRange(0, 1000);
    job->setValue(620);
    Label(dlg, "Converted length of the current file:  00:01:12 / 00:03:36", kConvLengthLabel,
          brush);
    Label(dlg, "Whole job", QRect(40, 384, 405, 16), brush);
    Label(dlg, "Elapsed time:  00:00:41", kConvElapsedLabel, brush);
    Label(dlg, "Remaining time:  00:01:22", kConvRemainingLabel, brush);
    auto* shutdown = new CMyCheckBox("Shut down computer when conversion completed", &dlg);
    shutdown->setGeometry(kConvShutdownCheck);
    auto* open = new CMyCheckBox("Open output folder when conversion completed", &dlg);
    open->setGeometry(kConvOpenFolderCheck);
    open->setChecked(true);
    auto* show = new CMyCheckBox("Show Preview", &dlg);
    show->setGeometry(kConvShowPreviewCheck);
    show->setChecked(true);
    Button(dlg, "Pause2.png", 315, 515);
    Button(dlg, "Cancel.png", 400, 515);
    Button(dlg, "close.png", 455, 8);
    Shoot(dlg, "converting.png");
}

void ClipEditor(int page, const char* out) {
    CSkinDialog dlg;
    Note(dlg.LoadBackground(Skin("cropbk.png")), "cropbk.png");
    Label(dlg, "Edit", QRect(16, 10, 200, 16));
    Button(dlg, "ok2.png", 625, 560);
    Button(dlg, "cancel.png", 705, 560);
    Button(dlg, "min.png", 730, 6);
    Button(dlg, "close.png", 760, 6);
    CMyButton* tabs[3] = {Button(dlg, "trim2.png", 94, 460), Button(dlg, "crop2.png", 40, 460),
                          Button(dlg, "effect2.png", 148, 460)};
    tabs[page]->SetChecked(1);
    Button(dlg, "pause.png", 45, 405);
    Button(dlg, "nextframe.png", 100, 405);
    Button(dlg, "makein.png", 155, 405);
    Button(dlg, "makeout.png", 210, 405);
    Button(dlg, "reset.png", 705, 515);
    for (QRect view : {QRect(14, 70, 380, 284), QRect(406, 70, 380, 284)}) {
        auto* v = new QLabel(&dlg);
        v->setGeometry(view);
        v->setPixmap(QPixmap::fromImage(LoadSkinImage(Skin("video.bmp")))
                         .scaled(view.size(), Qt::KeepAspectRatio));
        v->setAlignment(Qt::AlignCenter);
    }
    auto* position =
        Slider(dlg, {26, 367}, "sliderbk_crop1.png", "sliderbk_crop2.png", "thumb.png", 1000, 0);
    position->SetFollow(2);
    position->SetSelection(200, 700);
    position->SetThumbPos(350);
    auto* select = new CMySelectCtrl(&dlg);
    QRect below = position->geometry().translated(0, position->height()).adjusted(-9, 0, 9, 0);
    select->setGeometry(below);
    Note(select->SetImage(Skin("select.png"), &dlg.Background()), "select.png");
    select->SetSel(0.2f, 0.7f);
    Slider(dlg, {627, 414}, "sliderbk1.png", "sliderbk2.png", "thumb.png", 512, 256);
    auto* time = Label(dlg, " 00:00:42.5", QRect(445, 417, 110, 15), QColor(73, 73, 73));
    QPalette light = time->palette();
    light.setColor(QPalette::WindowText, Qt::white);
    time->setPalette(light);

    if (page == 0) {
        Label(dlg, "Start Time:", QRect(25, 518, 75, 20));
        Edit(&dlg, QRect(100, 515, 70, 20), "00:00:24");
        Button(dlg, "ok.png", 175, 515);
        Label(dlg, "End Time:", QRect(245, 518, 75, 20));
        Edit(&dlg, QRect(320, 515, 70, 20), "00:01:24");
        Button(dlg, "ok.png", 395, 515);
        Label(dlg, "Select Length:", QRect(460, 518, 100, 20));
        Edit(&dlg, QRect(560, 515, 75, 20), "00:01:00");
    } else if (page == 1) {
        Label(dlg, "Zoom Mode", QRect(30, 495, 150, 20));
        Combo(&dlg, QRect(30, 515, 150, 20), {"Keep Original", "Full Screen", "16:9", "4:3"});
        const char* names[] = {"Left", "Top", "Right", "Bottom"};
        const char* values[] = {"0", "0", "720", "480"};
        for (int i = 0; i < 4; ++i) {
            Label(dlg, names[i], QRect(200 + 110 * i, 495, 70, 20));
            Edit(&dlg, QRect(200 + 110 * i, 515, 90, 20), values[i]);
        }
    } else {
        const char* names[] = {"Brightness", "Contrast", "Saturation"};
        const int labelX[] = {72, 236, 384}, sliderX[] = {48, 204, 358};
        const int max[] = {256, 360, 128}, val[] = {128, 180, 64};
        for (int i = 0; i < 3; ++i) {
            Label(dlg, names[i], QRect(labelX[i], 492, 100, 20));
            Slider(dlg, {sliderX[i], 508}, "bg2-2.png", "bg2-2.png", "kuang-2.png", max[i], val[i]);
        }
    }
    Shoot(dlg, out);
}

void Preferences() {
    CSkinDialog dlg;
    Note(dlg.LoadBackground(Skin("ProferencesDlg.png")), "ProferencesDlg.png");
    Picture(&dlg, "generalbk.png", QRect(20, 88, 535, 305));
    const QColor fill(208, 211, 217);
    Label(dlg, "Preferences", QRect(16, 12, 200, 16));
    Button(dlg, "ok2.png", 405, 405);
    Button(dlg, "cancel.png", 488, 405);
    Button(dlg, "general.png", 20, 50)->SetChecked(1);
    Button(dlg, "options.png", 92, 50);
    Button(dlg, "close.png", 545, 8);
    Button(dlg, "browse2.png", 370, 114);
    Button(dlg, "open2.png", 452, 114);
    Button(dlg, "browse2.png", 370, 140);
    Button(dlg, "open2.png", 452, 140);
    Label(dlg, "OutPut", QRect(60, 90, 80, 20), fill);
    Label(dlg, "Output Folder", QRect(60, 114, 80, 20), fill);
    Label(dlg, "SnapShot Folder", QRect(60, 142, 100, 20), fill);
    Label(dlg, "Image Type", QRect(60, 170, 80, 20), fill);
    Label(dlg, "Converting Done", QRect(60, 218, 100, 20), fill);
    Label(dlg, "Action", QRect(60, 250, 80, 20), fill);
    Label(dlg, "CPU Usage", QRect(60, 296, 80, 20), fill);
    Label(dlg, "Max Usage", QRect(60, 325, 80, 20), fill);
    Edit(&dlg, QRect(162, 114, 200, 20), "/home/user/Videos");
    Edit(&dlg, QRect(162, 142, 200, 20), "/home/user/Pictures");
    Combo(&dlg, QRect(162, 170, 200, 20), {"BMP", "JPEG", "GIF"});
    Combo(&dlg, QRect(162, 245, 200, 20), {"No Action", "Shut Down"});
    Combo(&dlg, QRect(162, 324, 200, 20), {"100%"});
    Shoot(dlg, "preferences.png");
}

void Settings() {
    CSkinDialog dlg;
    Note(dlg.LoadBackground(Skin("setdlgbk.png")), "setdlgbk.png");
    Label(dlg, "Settings", QRect(16, 12, 200, 16));
    Button(dlg, "default.png", 100, 400);
    Button(dlg, "ok2.png", 405, 400);
    Button(dlg, "cancel.png", 489, 400);
    Button(dlg, "close.png", 550, 8);
    Label(dlg, "Video", QRect(32, 55, 100, 16));
    Label(dlg, "Audio", QRect(32, 175, 100, 16));
    Label(dlg, "Help", QRect(32, 285, 100, 16));
    const struct {
        const char* caption;
        int x, y, w;
        const char* value;
    } combos[] = {{"Resolution:", 96, 49, 73, "640*480"}, {"Frame Rate:", 261, 49, 75, "25"},
                  {"Encoder:", 96, 74, 73, "flv"},        {"Bitrate:", 261, 74, 75, "768 kbps"},
                  {"Sample Rate:", 97, 117, 73, "44100"}, {"Channels:", 260, 117, 75, "2"},
                  {"Encoder:", 97, 140, 73, "mp3"},       {"Bitrate:", 260, 140, 75, "128 kbps"}};
    for (const auto& c : combos) {
        QRect r = Dlu(c.x, c.y, c.w, 30);
        Label(dlg, c.caption, QRect(r.x() - 86, r.y() + 3, 84, 16));
        Combo(&dlg, r, {c.value});
    }
    auto* note = Label(dlg,
                       "The \"Encoder\" stands for video codec,force the video codec to convert "
                       "media files to that format",
                       QRect(32, 310, 510, 60));
    note->setToolTip({});
    Shoot(dlg, "settings.png");
}

void Properties() {
    CSkinDialog dlg;
    Note(dlg.LoadBackground(Skin("propertiesbk.png")), "propertiesbk.png");
    Label(dlg, "Properties", QRect(16, 12, 200, 16));
    Button(dlg, "ok2.png", 488, 396);
    Button(dlg, "close.png", 550, 8);
    Label(dlg, "Video Information", QRect(34, 60, 200, 16));
    Label(dlg, "Audio Infomation", QRect(34, 230, 200, 16));
    const char* video[][2] = {
        {"Resolution", "720x480"}, {"Video Bitrate", "6000.00 kbps"}, {"Frame Rate", "29.970 fps"}};
    const char* audio[][2] = {
        {"Audio Bitrate", "448.000 kbps"}, {"Audio Sample Rate", "48000 Hz"}, {"Channels", "5.1"}};
    for (int i = 0; i < 3; ++i) {
        Label(dlg, video[i][0], QRect(60, 94 + 32 * i, 150, 16));
        Label(dlg, video[i][1], QRect(230, 94 + 32 * i, 200, 16));
        Label(dlg, audio[i][0], QRect(60, 264 + 32 * i, 150, 16));
        Label(dlg, audio[i][1], QRect(230, 264 + 32 * i, 200, 16));
    }
    Shoot(dlg, "properties.png");
}

void About() {
    CSkinDialog dlg;
    Note(dlg.LoadBackground(Skin("aboutdlg.png")), "aboutdlg.png");
    Label(dlg, "About", QRect(16, 12, 200, 16));
    Button(dlg, "ok2.png", 340, 315);
    Button(dlg, "close.png", 410, 8);
    Label(dlg, "Support:", QRect(44, 170, 80, 16));
    Label(dlg, "HomePage:", QRect(44, 200, 80, 16));
    auto* link = Label(dlg, "https://example.org/support", QRect(130, 170, 260, 16));
    QPalette blue = link->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    link->setPalette(blue);
    Label(dlg, "https://example.org", QRect(130, 200, 260, 16))->setPalette(blue);
    Label(dlg, "Free software; see the licence that came with it.", QRect(44, 260, 360, 16));
    Shoot(dlg, "about.png");
}

void Finished() {
    CSkinDialog dlg;
    Note(dlg.LoadBackground(Skin("converterok_bg.png")), "converterok_bg.png");
    Button(dlg, "ok2.png", 240, 140);
    Shoot(dlg, "finished.png");
}

void Splash() {
    QImage img = LoadSkinImage(Skin("starup.jpg"));
    Note(!img.isNull(), "starup.jpg");
    if (img.isNull()) return;
    QPainter p(&img);
    QFontMetrics fm(p.font());
    p.setPen(Qt::black);
    p.drawText(QPoint(40, 215 + fm.ascent()), "Free software for converting video DVDs.");
    p.setPen(QColor(255, 255, 0));
    p.drawText(QPoint(160, 232 + fm.ascent()), "Version 2.01");
    p.end();
    img.save(g_outDir + "/splash.png");
}

// Every button strip as real buttons in their four states, on a dialog body.
void StateSheet() {
    const char* strips[] = {
        "file.png",    "edit.png",        "clip.png",     "option.png",    "help.png",
        "min.png",     "close.png",       "addfile.png",  "effect.png",    "crop.png",
        "trim.png",    "Preferences.png", "settings.png", "browse.png",    "openfolder.png",
        "star.png",    "play.png",        "pause.png",    "stop.png",      "back.png",
        "next.png",    "snap.png",        "open.png",     "nextframe.png", "makein.png",
        "makeout.png", "ok2.png",         "cancel.png",   "default.png",   "reset.png",
        "Pause2.png",  "continue2.png",   "ok.png",       "browse2.png",   "open2.png",
        "crop2.png",   "trim2.png",       "effect2.png",  "general.png",   "options.png"};
    const int columns = 2;
    const int cellW = 4 * 132 + 130, rowsPerColumn = 20;
    QWidget sheet;
    sheet.resize(columns * cellW + 20, 40 + rowsPerColumn * 110);
    QImage body(sheet.size(), QImage::Format_ARGB32_Premultiplied);
    body.fill(QColor(0xE9, 0xEC, 0xF0));
    {
        QPainter p(&body);
        p.setPen(QColor(0x5B, 0x65, 0x72));
        const char* heads[] = {"normal", "hover", "pressed", "disabled"};
        for (int c = 0; c < columns; ++c)
            for (int s = 0; s < 4; ++s) p.drawText(c * cellW + 130 + s * 132, 24, heads[s]);
    }
    auto* bg = new QLabel(&sheet);
    bg->setPixmap(QPixmap::fromImage(body));
    bg->setGeometry(body.rect());
    int i = 0;
    for (const char* strip : strips) {
        const int col = i / rowsPerColumn, row = i % rowsPerColumn;
        ++i;
        const int y = 40 + row * 110;
        auto* name = new CMyStatic(strip, &sheet);
        name->setGeometry(col * cellW + 10, y, 118, 16);
        for (int s = 0; s < 4; ++s) {
            auto* b = new CMyButton(&sheet);
            const int x = col * cellW + 130 + s * 132;
            Note(b->SetImage(Skin(strip), x, y, 0, 0, &body), strip);
            if (s == 1) {
                QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), Qt::NoButton,
                                 Qt::NoButton, Qt::NoModifier);
                QApplication::sendEvent(b, &move);
            } else if (s == 2) {
                b->setDown(true);
            } else if (s == 3) {
                b->setEnabled(false);
            }
        }
    }
    Shoot(sheet, "states.png");
}

// Sliders, selector, progress bars, labels and check boxes in a few states.
void ControlSheet() {
    CSkinDialog dlg;
    dlg.resize(940, 330);
    QImage body(dlg.size(), QImage::Format_ARGB32_Premultiplied);
    body.fill(QColor(0xE9, 0xEC, 0xF0));
    auto* bg = new QLabel(&dlg);
    bg->setPixmap(QPixmap::fromImage(body));
    bg->setGeometry(body.rect());
    auto caption = [&](const QString& t, int x, int y) {
        auto* l = new CMyStatic(t, &dlg);
        l->setGeometry(x, y, 300, 16);
    };
    caption("seek slider at 0, 380 and 1000 (follow mode 1)", 10, 10);
    const int seekPos[] = {0, 380, 1000};
    for (int i = 0; i < 3; ++i)
        Slider(dlg, {10 + 306 * i, 35}, "sliderbk_main1.png", "sliderbk_main2.png", "thumb.png",
               1000, seekPos[i]);
    caption("clip slider: band 200..700, thumb 350 (follow mode 2); trim selector below", 10, 80);
    auto* crop =
        Slider(dlg, {26, 100}, "sliderbk_crop1.png", "sliderbk_crop2.png", "thumb.png", 1000, 0);
    crop->SetFollow(2);
    crop->SetSelection(200, 700);
    crop->SetThumbPos(350);
    auto* select = new CMySelectCtrl(&dlg);
    select->setGeometry(crop->geometry().translated(0, crop->height()).adjusted(-9, 0, 9, 0));
    Note(select->SetImage(Skin("select.png"), &body), "select.png");
    select->SetSel(0.2f, 0.7f);
    caption("volume 256 of 512; effect sliders 0, half, full", 10, 140);
    Slider(dlg, {10, 160}, "sliderbk1.png", "sliderbk2.png", "thumb.png", 512, 256);
    const int effect[] = {0, 128, 256};
    for (int i = 0; i < 3; ++i)
        Slider(dlg, {170 + 150 * i, 160}, "bg2-2.png", "bg2-2.png", "kuang-2.png", 256, effect[i]);
    caption("progress 0%, 33% and 100% (file, job)", 10, 190);
    const int values[] = {0, 333, 1000};
    for (int i = 0; i < 3; ++i) {
        auto* bar = new CMyProgressCtrl(&dlg);
        bar->setGeometry(10 + 270 * i, 210, 250, 16);
        Note(bar->SetImage(Skin(i == 2 ? "progress2.png" : "progress1.png")), "progress");
        bar->setRange(0, 1000);
        bar->setValue(values[i]);
    }
    caption("check boxes and labels", 10, 245);
    auto* off = new CMyCheckBox("Merge into one file", &dlg);
    off->setGeometry(10, 265, 200, 16);
    auto* on = new CMyCheckBox("Show Preview", &dlg);
    on->setGeometry(220, 265, 200, 16);
    on->setChecked(true);
    auto* disabled = new CMyCheckBox("Disabled", &dlg);
    disabled->setGeometry(430, 265, 200, 16);
    disabled->setEnabled(false);
    caption("A transparent label over the background", 10, 295);
    Shoot(dlg, "controls.png");
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: skin_gallery <output folder> [skin folder]\n");
        return 2;
    }
    g_outDir = QString::fromLocal8Bit(argv[1]);
    if (argc == 3) g_skinDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(g_outDir);
    QFont f("DejaVu Sans");
    f.setPixelSize(11);
    QApplication::setFont(f);

    MainWindow();
    Converting();
    ClipEditor(0, "clip_trim.png");
    ClipEditor(1, "clip_crop.png");
    ClipEditor(2, "clip_effect.png");
    Preferences();
    Settings();
    Properties();
    About();
    Finished();
    Splash();
    StateSheet();
    ControlSheet();
    if (g_failures) std::fprintf(stderr, "%d images missing or unreadable\n", g_failures);
    std::printf("gallery written to %s\n", argv[1]);
    return g_failures ? 1 : 0;
}
