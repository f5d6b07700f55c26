#include "preferences_dlg.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QPainter>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/win/registry.h"
#include "ui/prefs/combo_search.h"
#include "ui/skin/my_button.h"
#include "ui/skin/my_static.h"
#include "ui/skin/skin_control.h"
#include "ui/skin/skin_files.h"

namespace {
// The colour the page images are painted in; the captions sit on it.
const QColor kPageFill(208, 211, 217);
constexpr QPoint kPageAt(20, 88);

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QComboBox* MakeCombo(QWidget* parent, int id, QRect r, const QStringList& items) {
    auto* c = new QComboBox(parent);
    SetDlgCtrlID(c, id);
    c->addItems(items);
    c->setGeometry(r);
    c->setCurrentIndex(-1);  // a list shows nothing until a value is selected
    return c;
}
}  // namespace

CPreferencesDlg::CPreferencesDlg(QWidget* parent)
    : CPreferencesDlg(ThePreferences(), PreferencesKey(), parent) {}

CPreferencesDlg::CPreferencesDlg(Preferences& prefs, std::string key, QWidget* parent)
    : CSkinDialog(parent), prefs_(prefs), key_(std::move(key)) {
    picker_ = [this](const QString& start) {
        return QFileDialog::getExistingDirectory(nullptr, "Browser", start);
    };
    opener_ = [](const QString& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };
    Init();
}

CMyButton* CPreferencesDlg::AddButton(int id, const char* image, int x, int y) {
    auto* b = new CMyButton(this);
    SetDlgCtrlID(b, id);
    // Buttons over the page take the page's picture behind them.
    if (!b->SetImage(image, x, y, 0, 0, composed_.isNull() ? nullptr : &composed_)) b->move(x, y);
    return b;
}

CMyStatic* CPreferencesDlg::AddLabel(const char* text, int x, int y, int w, int h) {
    auto* l = new CMyStatic(text, this);
    // The places were drawn for a narrower font; a caption is never cut short.
    w = std::max(w, l->fontMetrics().horizontalAdvance(QString(text)) + 4);
    l->setGeometry(x, y, w, h);
    QImage fill(size(), QImage::Format_ARGB32_Premultiplied);
    fill.fill(kPageFill);
    l->CopyBackground(&fill);
    return l;
}

void CPreferencesDlg::Init() {
    setWindowTitle("Preferences");
    LoadBackground(".\\skin\\ProferencesDlg.png");
    pages_[0] = LoadSkinImage(".\\skin\\generalbk.png");
    pages_[1] = LoadSkinImage(".\\skin\\optionsbk.png");
    if (!Background().isNull()) {
        composed_ = Background().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter(&composed_).drawImage(kPageAt, pages_[0]);
    }

    auto* title = new CMyStatic("Preferences", this);
    title->setGeometry(16, 12, 200, 16);
    title->CopyBackground(&Background());

    outEdit_ = new QLineEdit(this);
    SetDlgCtrlID(outEdit_, IDC_OUT_FOLDER);
    outEdit_->setGeometry(162, 114, 200, 20);
    snapEdit_ = new QLineEdit(this);
    SetDlgCtrlID(snapEdit_, IDC_SNAP_FOLDER);
    snapEdit_->setGeometry(162, 142, 200, 20);
    imageType_ = MakeCombo(this, IDC_IMAGE_TYPE, {162, 170, 200, 20}, {"BMP", "JPEG", "GIF"});
    action_ = MakeCombo(this, IDC_ACTION, {162, 245, 200, 20}, {kNoAction, kShutDown});
    usage_ = MakeCombo(this, IDC_CPU_USAGE, {162, 324, 200, 20},
                       {"50%", "60%", "70%", "80%", "90%", "100%"});
    language_ = MakeCombo(this, IDC_LANGUAGE, {160, 150, 150, 20}, {"English"});
    language_->setCurrentIndex(0);
    skin_ = MakeCombo(this, IDC_SKIN, {160, 280, 150, 20}, {"Default"});
    skin_->setCurrentIndex(0);

    generalPage_ = {outEdit_, snapEdit_, imageType_, action_, usage_};
    struct Caption {
        const char* text;
        int x, y, w;
    };
    const Caption general[] = {{"OutPut", 60, 90, 80},
                               {"Output Folder", 60, 114, 80},
                               {"SnapShot Folder", 60, 142, 100},
                               {"Image Type", 60, 170, 80},
                               {"Converting Done", 60, 218, 100},
                               {"Action", 60, 250, 80},
                               {"CPU Usage", 60, 296, 80},
                               {"Max Usage", 60, 325, 80}};
    for (const Caption& c : general) generalPage_.push_back(AddLabel(c.text, c.x, c.y, c.w, 20));
    const Caption options[] = {{"Language", 60, 95, 80},
                               {"Change Language", 60, 150, 100},
                               {"Skin", 60, 230, 80},
                               {"Change Skin", 70, 280, 80}};
    optionsPage_ = {language_, skin_};
    for (const Caption& c : options) optionsPage_.push_back(AddLabel(c.text, c.x, c.y, c.w, 20));
    // A combo moves right rather than cover its widened caption.
    for (auto [combo, caption] : {std::pair{language_, optionsPage_[3]}, {skin_, optionsPage_[5]}})
        if (combo->x() < caption->geometry().right() + 6)
            combo->move(caption->geometry().right() + 6, combo->y());

    // The current values.
    outEdit_->setText(Q(prefs_.strOutFolder));
    snapEdit_->setText(Q(prefs_.strSnapFolder));
    SelectStringPrefix(imageType_, Q(prefs_.strImageType));
    SelectStringPrefix(action_, Q(prefs_.strAction));
    SelectStringPrefix(usage_, QString::asprintf("%d%%", prefs_.cpu_usage));

    auto* ok = AddButton(IDOK_BUTTON, ".\\skin\\ok2.png", 405, 405);
    auto* cancel = AddButton(IDCANCEL_BUTTON, ".\\skin\\cancel.png", 488, 405);
    general_ = AddButton(IDC_GENERAL, ".\\skin\\general.png", 20, 50);
    options_ = AddButton(IDC_OPTIONS, ".\\skin\\options.png", 92, 50);
    auto* close = AddButton(IDC_CLOSE, ".\\skin\\close.png", 545, 8);
    auto* outBrowse = AddButton(IDC_OUT_BROWSE, ".\\skin\\browse2.png", 370, 114);
    auto* outOpen = AddButton(IDC_OUT_OPEN, ".\\skin\\open2.png", 452, 114);
    auto* snapBrowse = AddButton(IDC_SNAP_BROWSE, ".\\skin\\browse2.png", 370, 140);
    auto* snapOpen = AddButton(IDC_SNAP_OPEN, ".\\skin\\open2.png", 452, 140);
    for (QWidget* b : {outBrowse, outOpen, snapBrowse, snapOpen}) generalPage_.push_back(b);

    // Enter means OK wherever the focus is, as in any dialog.
    for (CMyButton* b : findChildren<CMyButton*>()) b->setAutoDefault(false);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(close, &QPushButton::clicked, this, [this] { reject(); });
    connect(general_, &QPushButton::clicked, this, [this] { ShowPage(0); });
    connect(options_, &QPushButton::clicked, this, [this] { ShowPage(1); });
    connect(outBrowse, &QPushButton::clicked, this, [this] { OnBrowse(false); });
    connect(snapBrowse, &QPushButton::clicked, this, [this] { OnBrowse(true); });
    connect(outOpen, &QPushButton::clicked, this, [this] { OnOpen(false); });
    connect(snapOpen, &QPushButton::clicked, this, [this] { OnOpen(true); });

    ShowPage(0);
}

void CPreferencesDlg::ShowPage(int page) {
    if (page != 0 && page != 1) return;
    if (page == page_) return;
    page_ = page;
    for (QWidget* w : generalPage_) w->setVisible(page == 0);
    for (QWidget* w : optionsPage_) w->setVisible(page == 1);
    general_->SetChecked(page == 0 ? 1 : 0);
    options_->SetChecked(page == 1 ? 1 : 0);
    update();
}

void CPreferencesDlg::paintEvent(QPaintEvent* e) {
    CSkinDialog::paintEvent(e);
    if (page_ < 0 || pages_[page_].isNull()) return;
    QPainter p(this);
    p.drawImage(kPageAt, pages_[page_]);
}

void CPreferencesDlg::OnBrowse(bool snapshot) {
    QLineEdit* edit = snapshot ? snapEdit_ : outEdit_;
    const QString folder = picker_ ? picker_(edit->text()) : QString();
    // Only the edit changes; the folder is stored when the user presses OK.
    if (!folder.isEmpty()) edit->setText(folder);
}

void CPreferencesDlg::OnOpen(bool snapshot) {
    const QString path = (snapshot ? snapEdit_ : outEdit_)->text();
    if (opener_) opener_(path);
}

void CPreferencesDlg::OnOK() {
    auto key = RegKey::Create(key_);
    // A key that cannot be written keeps the dialog open with the edits.
    if (!key) return;

    auto store = [&](const char* name, std::string& variable, const QString& text) {
        const std::string value = text.toStdString();
        if (value == variable) return;
        variable = value;
        key->SetString(name, value);
    };
    store(kOutFolderValue, prefs_.strOutFolder, outEdit_->text());
    store(kSnapFolderValue, prefs_.strSnapFolder, snapEdit_->text());
    // A stored value the list does not offer shows no entry; pressing OK then
    // keeps that value rather than storing an empty one, which no snapshot and
    // no completed conversion could use.
    if (imageType_->currentIndex() >= 0)
        store(kImageTypeValue, prefs_.strImageType, imageType_->currentText());
    if (action_->currentIndex() >= 0) store(kActionValue, prefs_.strAction, action_->currentText());

    int usage = 0;
    const std::string usageText = usage_->currentText().toStdString();
    if (std::sscanf(usageText.c_str(), "%d%%", &usage) == 1 && usage != prefs_.cpu_usage) {
        prefs_.cpu_usage = usage;
        key->SetDword(kCpuUsageValue, static_cast<std::uint32_t>(usage));
    }
    accept();
}
