#include "zo_rezive_dlg.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QProcess>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <regex>

#include "dvd/catalogue.h"
#include "pipelines/stream_table.h"
#include "platform/framework/interfaces.h"
#include "platform/win/messages.h"
#include "platform/win/paths.h"
#include "platform/win/qt/qt_draw_context.h"
#include "ui/clip/crop_dlg.h"
#include "ui/convert/conver_dlg.h"
#include "ui/dialogs/about_dlg.h"
#include "ui/dialogs/properties_dlg.h"
#include "ui/dialogs/settings_dlg.h"
#include "ui/prefs/preferences.h"
#include "ui/prefs/preferences_dlg.h"
#include "ui/skin/my_button.h"
#include "ui/skin/my_check_box.h"
#include "ui/skin/my_slider_ctrl.h"
#include "ui/skin/my_static.h"
#include "ui/skin/skin_control.h"
#include "ui/skin/skin_files.h"
#include "ui/skin/skin_layout.h"

using namespace main_ids;
namespace fs = std::filesystem;

namespace {

constexpr int kColumnSource = 0, kColumnOriginal = 1, kColumnTrimmed = 2, kColumnOutput = 3;
const QRect kVideoArea(kPreviewVideoRect.left, kPreviewVideoRect.top,
                       kPreviewVideoRect.right - kPreviewVideoRect.left,
                       kPreviewVideoRect.bottom - kPreviewVideoRect.top);

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QImage LoadPicture(const char* name, const QSize& size) {
    QImage image = LoadSkinImage(name);
    if (image.isNull() || image.size() == size) return image;
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The entries under an entry, depth first.
void CollectEntries(const CColumnTreeCtrl* list, HTREEITEM parent, std::vector<HTREEITEM>& out) {
    for (HTREEITEM e = list->GetChildItem(parent); e; e = list->GetNextSiblingItem(e)) {
        out.push_back(e);
        CollectEntries(list, e, out);
    }
}

}  // namespace

CZoReziveDlg::CZoReziveDlg(QWidget* parent) : CSkinDialog(parent) {
    QFont captions("DejaVu Sans");
    captions.setPixelSize(11);
    setFont(captions);

    profiles::LoadAppSettings();
    setWindowTitle(Q(profiles::AppTitle()));
    LoadPreferences();
    // The clip editor works on the picture size of the title being edited;
    // until one is opened it assumes the DVD's NTSC frame.
    ProcessVideoSize = VideoSize{720, 480};

    LoadBackground("maindlg.png");
    BuildControls();
    BuildMenus();
    LoadProfiles();

    QtWindow* w = Window();
    w->OnMessage(WM_GRAPH_NOTIFY, [this](WPARAM, LPARAM) { OnGraphNotify(); });
    w->OnMessage(WM_SLIDER_RELEASED, [this](WPARAM id, LPARAM) {
        if (static_cast<int>(id) == kSeekSlider) OnSeekReleased();
    });
    w->OnMessage(WM_TIMER, [this](WPARAM id, LPARAM) {
        if (id == kPositionTimer) OnPositionTimer();
    });
}

CZoReziveDlg::~CZoReziveDlg() {
    // The graph posts to and paints through this window's handle, so it goes
    // before the window does, and before the DVD it reads.
    Window()->KillTimer(kPositionTimer);
    player_.Stop();
    player_.Close();
    ClearEntries();
    CloseDvd();
}

CMyButton* CZoReziveDlg::AddButton(int id, const char* image, int x, int y) {
    auto* b = new CMyButton(this);
    SetDlgCtrlID(b, id);
    PlaceButton(b, image, x, y);
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
    buttons_[id] = b;
    return b;
}

CMyButton* CZoReziveDlg::Button(int id) const {
    auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

void CZoReziveDlg::BuildControls() {
    using namespace skin_layout;
    const struct {
        int id;
        const char* image;
        int x, y;
    } buttons[] = {
        {kFileMenu, "file.png", 414, 0},
        {kEditMenu, "edit.png", 468, 0},
        {kClipMenu, "clip.png", 524, 0},
        {kOptionMenu, "option.png", 585, 0},
        {kHelpMenu, "help.png", 658, 0},
        {kMinimize, "min.png", 755, 9},
        {kClose, "close.png", 787, 9},
        {kAddFile, "addfile.png", 19, 40},
        {kEffect, "effect.png", 134, 40},
        {kCrop, "crop.png", 248, 40},
        {kTrim, "trim.png", 363, 40},
        {kPreferences, "Preferences.png", 477, 40},
        {kSettings, "settings.png", 428, 456},
        {kBrowse, "browse.png", 428, 491},
        {kOpenFolder, "openfolder.png", 532, 491},
        {kStart, "star.png", 674, 416},
        {kPlay, "play.png", kMainTransportX[0], kMainTransportY},
        {kPause, "pause.png", kMainTransportX[0], kMainTransportY},
        {kStop, "stop.png", kMainTransportX[1], kMainTransportY},
        {kPrevious, "back.png", kMainTransportX[2], kMainTransportY},
        {kNext, "next.png", kMainTransportX[3], kMainTransportY},
        {kSnapshot, "snap.png", kMainTransportX[4], kMainTransportY},
        {kOpenSnapFolder, "open.png", kMainTransportX[5], kMainTransportY},
    };
    for (const auto& b : buttons) AddButton(b.id, b.image, b.x, b.y);
    Button(kPause)->hide();

    titleLabel_ = new CMyStatic(Q(profiles::AppTitle()), this);
    SetDlgCtrlID(titleLabel_, kTitleLabel);
    titleLabel_->setGeometry(kMainTitleLabel);
    titleLabel_->CopyBackground(&Background());

    seek_ = new CMySliderCtrl(this);
    SetDlgCtrlID(seek_, kSeekSlider);
    seek_->move(kMainSeekSlider);
    seek_->SetImages(FindSkinFile("sliderbk_main1.png"), FindSkinFile("sliderbk_main2.png"),
                     FindSkinFile("thumb.png"));
    seek_->SetRange(0, 1000);
    seek_->SetPos(0);

    AddLabel("Audio Track:", kMainAudioCaption);
    audioCombo_ = new QComboBox(this);
    audioCombo_->setGeometry(kMainAudioCombo);
    SetDlgCtrlID(audioCombo_, kAudioCombo);
    AddLabel("SubTitle:", kMainSubtitleCaption);
    subtitleCombo_ = new QComboBox(this);
    subtitleCombo_->setGeometry(kMainSubtitleCombo);
    SetDlgCtrlID(subtitleCombo_, kSubtitleCombo);
    AddLabel("Profile:", kMainProfileCaption);
    profileCombo_ = new QComboBox(this);
    profileCombo_->setGeometry(kMainProfileCombo);
    SetDlgCtrlID(profileCombo_, kProfileCombo);
    AddLabel("Output:", kMainOutputCaption);
    outputEdit_ = new QLineEdit(this);
    outputEdit_->setGeometry(kMainOutputEdit);
    SetDlgCtrlID(outputEdit_, kOutputEdit);
    outputEdit_->setText(Q(ThePreferences().strOutFolder));
    merge_ = new CMyCheckBox("Merge into one file", this);
    merge_->setGeometry(kMainMergeCheck);
    SetDlgCtrlID(merge_, kMergeCheck);
    // Only a choice the user makes switches anything; filling a combo does not.
    connect(audioCombo_, &QComboBox::activated, this, [this] { OnTrackChange(true); });
    connect(subtitleCombo_, &QComboBox::activated, this, [this] { OnTrackChange(false); });
    connect(profileCombo_, &QComboBox::activated, this, [this] { OnProfileChange(); });

    list_ = new CColumnTreeCtrl(this);
    SetDlgCtrlID(list_, kTitleList);
    list_->setGeometry(kMainTitleList);
    list_->SetFullRowSelect(true);
    list_->InsertColumn(0, "Source file", LVCFMT_LEFT, 100);
    list_->InsertColumn(1, "Original Length", LVCFMT_LEFT, 120);
    list_->InsertColumn(2, "Trimmed Length", LVCFMT_LEFT, 100);
    list_->InsertColumn(3, "Output Format", LVCFMT_LEFT, 120);
    list_->hide();
    connect(list_, &CColumnTreeCtrl::Clicked, this,
            [this](HTREEITEM item, int, QPoint) { OnTitleClick(item); });

    startPicture_ = new QLabel(this);
    SetDlgCtrlID(startPicture_, kStartPicture);
    startPicture_->setGeometry(kMainTitleList);
    startPicture_->setPixmap(
        QPixmap::fromImage(LoadPicture("getting started.bmp", kMainTitleList.size())));
    startPicture_->setAttribute(Qt::WA_TransparentForMouseEvents);
    videoPicture_ = new QLabel(this);
    SetDlgCtrlID(videoPicture_, kVideoPicture);
    videoPicture_->setGeometry(kMainVideo);
    videoPicture_->setPixmap(QPixmap::fromImage(LoadPicture("video.bmp", kMainVideo.size())));
    videoPicture_->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CZoReziveDlg::BuildMenus() {
    struct Item {
        const char* text;  // null: a separator
        int id;
    };
    auto make = [this](std::initializer_list<Item> items) {
        auto* menu = new QMenu(this);
        for (const Item& i : items) {
            if (!i.text) {
                menu->addSeparator();
                continue;
            }
            QAction* a = menu->addAction(i.text);
            a->setData(i.id);
            const int id = i.id;
            connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
        }
        menus_.push_back(menu);
    };
    make({{"Load DVD", kLoadDvd},
          {"Load DVD Forlder", kLoadDvdFolder},
          {"Load ISO File", kLoadIso},
          {"Properties ", kFileProperties},
          {"Exit", kExit}});
    make({{"Properties", kEditProperties},
          {"Clear All", kClearAll},
          {nullptr, 0},
          {"Check All", kCheckAll},
          {"UnCheck All", kUncheckAll}});
    make({{"Trim", kMenuTrim}, {"Crop", kMenuCrop}, {"Effect", kMenuEffect}});
    make({{"Preferences", kMenuPreferences}});
    make({{"Help Content", kHelpContent},
          {"Support", kSupport},
          {nullptr, 0},
          {"Home Page", kHomePage},
          {nullptr, 0},
          {"About", kAbout}});
    make({{"Load DVD", kAddLoadDvd},
          {"Load DVD Folder", kAddLoadDvdFolder},
          {"Load ISO File", kAddLoadIso}});
}

void CZoReziveDlg::LoadProfiles() {
    auto& catalogue = profiles::ProfileCatalogue::Instance();
    if (!catalogue.LoadDefault()) {
        MessageBox("Load Format.xml error");
        if (CMyButton* settings = Button(kSettings)) settings->setEnabled(false);
        return;
    }
    std::lock_guard lock(catalogue.Lock());
    int selected = -1;
    catalogue.ForEach([&](const profiles::FormatProfile& p) {
        profileCombo_->addItem(Q(profiles::FieldUtf8(p.ProfileName)), p.Index);
        if (p.Index == 1) selected = profileCombo_->count() - 1;
    });
    if (profileCombo_->count() == 0) return;
    // Without a profile of index 1 the first one shown is the current one.
    if (selected < 0) selected = 0;
    profileCombo_->setCurrentIndex(selected);
    catalogue.FindByIndex(profileCombo_->itemData(selected).toInt(), current_);
}

void CZoReziveDlg::ShowPopup(int menuIndex, int buttonId) {
    QWidget* b = Button(buttonId);
    if (!b || menuIndex >= static_cast<int>(menus_.size())) return;
    activateWindow();
    menus_[menuIndex]->popup(b->mapToGlobal(QPoint(0, b->height())));
}

void CZoReziveDlg::OnCommand(int id) {
    switch (id) {
        case kFileMenu:
            return ShowPopup(0, id);
        case kEditMenu:
            return ShowPopup(1, id);
        case kClipMenu:
            return ShowPopup(2, id);
        case kOptionMenu:
            return ShowPopup(3, id);
        case kHelpMenu:
            return ShowPopup(4, id);
        case kAddFile:
            return ShowPopup(5, id);
        case kLoadDvd:
        case kAddLoadDvd:
            return LoadDvdFrom(PickDrive());
        case kLoadDvdFolder:
        case kAddLoadDvdFolder:
            return LoadDvdFrom(PickFolder());
        case kLoadIso:
        case kAddLoadIso:
            return LoadDvdFrom(PickIsoFile());
        case kFileProperties:
        case kEditProperties:
            return OnProperties();
        case kClearAll:
            return OnClearAll();
        case kCheckAll:
            return SetCheckAll(true);
        case kUncheckAll:
            return SetCheckAll(false);
        case kMenuTrim:
        case kTrim:
            return OpenClipEditor(0);
        case kMenuCrop:
        case kCrop:
            return OpenClipEditor(1);
        case kMenuEffect:
        case kEffect:
            return OpenClipEditor(2);
        case kMenuPreferences:
        case kPreferences:
            return OnPreferences();
        case kHelpContent:
            return OpenLocalPath(FindDataFile("help/index.html"));
        case kSupport:
            return OpenWebAddress(CAboutDlg::SupportAddress());
        case kHomePage:
            return OpenWebAddress(CAboutDlg::HomePageAddress());
        case kAbout:
            return OnAbout();
        case kExit:
        case kClose:
            reject();
            return;
        case kMinimize:
            showMinimized();
            return;
        case kSettings:
            return OnSettings();
        case kBrowse:
            return OnBrowse();
        case kOpenFolder:
            return OpenLocalPath(outputEdit_->text().toStdString());
        case kStart:
            return OnStart();
        case kPlay:
            return OnPlay();
        case kPause:
            return OnPause();
        case kStop:
            return OnStopPreview();
        case kPrevious:
            return OnPreviousNext(false);
        case kNext:
            return OnPreviousNext(true);
        case kSnapshot:
            OnSnapshot();
            return;
        case kOpenSnapFolder:
            return OpenLocalPath(ThePreferences().strSnapFolder);
        default:
            return;
    }
}

// ---- DVD loading ------------------------------------------------------------------

std::string CZoReziveDlg::PickDrive() {
    QStringList drives;
    std::error_code ec;
    static const std::regex kDrive("sr[0-9]+");
    for (const auto& e : fs::directory_iterator("/dev", ec)) {
        const std::string name = e.path().filename().string();
        if (std::regex_match(name, kDrive)) drives << Q(e.path().string());
    }
    drives.sort();
    if (drives.isEmpty()) {
        MessageBox("No DVD drive found");
        return {};
    }
    bool ok = false;
    const QString drive =
        QInputDialog::getItem(this, "Please Select DVD Folder", "DVD drive:", drives, 0, true, &ok);
    return ok ? drive.trimmed().toStdString() : std::string();
}

std::string CZoReziveDlg::PickFolder() {
    return QFileDialog::getExistingDirectory(this, "Please Select DVD Folder").toStdString();
}

std::string CZoReziveDlg::PickIsoFile() {
    return QFileDialog::getOpenFileName(this, QString(), QString(), "All Files (*)").toStdString();
}

void CZoReziveDlg::LoadDvdFrom(const std::string& path) {
    if (path.empty()) return;
    // The graph reads the open DVD, which LoadDvd is about to close; the
    // controls go back to stopped whatever comes of the load.
    OnStopPreview();
    player_.Close();
    if (!LoadDvd(path)) return;
    if (!player_.Open(OpenDvdHandle(), Window(), &kPreviewVideoRect)) {
        MessageBox("Load DVD error");
        return;
    }
    player_.SelectTitle(0, -1);

    ClearEntries();
    HTREEITEM root = list_->InsertItem("VIDEO_TS");
    list_->SetCheckState(root, kStateChecked);
    const DvdInfo& info = OpenDvdInfo();
    const std::string ext = profiles::FieldUtf8(current_.FormatExt);
    for (int t : ListedTitles(info)) {
        const std::string name = TitleName(t);
        const QString length = Q(DurationText(info.Titles[t].Duration));
        HTREEITEM entry = list_->InsertItem(
            Q(name) + '\t' + length + '\t' + length + '\t' + Q(OutputName(name, ext)) + '\t', root);
        list_->SetCheckState(entry, kStateChecked);
        auto item = std::make_unique<ConversionItem>();
        item->TitleIndex = t;
        item->ChapterIndex = -1;
        item->Duration = TitleDurationMs(info.Titles[t]);
        item->TrimStart = 0;
        item->TrimLength = item->Duration;
        item->Clip = ClipSettings{};
        if (t == 0) {
            CurrentClip.TrimStart = item->TrimStart;
            CurrentClip.TrimLength = item->TrimLength;
            CurrentClip.Clip = item->Clip;
            list_->SelectItem(entry);
        }
        list_->SetItemData(entry, item.get());
        items_.push_back(std::move(item));
    }
    list_->Expand(root);
    startPicture_->hide();
    list_->show();
    FillTrackCombos(0);
}

void CZoReziveDlg::FillTrackCombos(int title) {
    const DvdInfo& info = OpenDvdInfo();
    audioCombo_->clear();
    subtitleCombo_->clear();
    for (const TrackEntry& e : AudioTracks(info, title)) audioCombo_->addItem(Q(e.Label), e.Value);
    for (const TrackEntry& e : SubtitleTracks(info, title))
        subtitleCombo_->addItem(Q(e.Label), e.Value);
    if (audioCombo_->count() > 0) {
        audioCombo_->setCurrentIndex(0);
        SelectedAudioStream = audioCombo_->itemData(0).toInt();
    }
    if (subtitleCombo_->count() > 0) {
        subtitleCombo_->setCurrentIndex(0);
        SelectedSubtitleStream = subtitleCombo_->itemData(0).toInt();
    }
}

// ---- The title list ---------------------------------------------------------------

HTREEITEM CZoReziveDlg::RootEntry() const {
    return list_->GetRootItem();
}

ConversionItem* CZoReziveDlg::ItemData(HTREEITEM item) const {
    return item ? list_->GetItemData(item) : nullptr;
}

void CZoReziveDlg::ClearEntries() {
    lastClicked_ = nullptr;
    // The entries go first: they point at the data.
    if (list_) list_->DeleteAllItems();
    items_.clear();
}

void CZoReziveDlg::OnClearAll() {
    ClearEntries();
    audioCombo_->clear();
    subtitleCombo_->clear();
}

void CZoReziveDlg::SetCheckAll(bool checked) {
    HTREEITEM root = RootEntry();
    if (!root) return;
    const int state = checked ? kStateChecked : kStateUnchecked;
    list_->SetCheckState(root, state);
    list_->CheckSubtree(root, state);
}

HTREEITEM CZoReziveDlg::SelectedOrFirst() const {
    if (HTREEITEM selected = list_->GetSelectedItem()) return selected;
    HTREEITEM root = RootEntry();
    return root ? list_->GetChildItem(root) : nullptr;
}

void CZoReziveDlg::OnTitleClick(HTREEITEM item) {
    if (item == lastClicked_) return;
    lastClicked_ = item;
    if (!item) return;
    const auto index = ParseEntryName(list_->GetItemText(item, kColumnSource).toStdString());
    if (!index) return;
    FillTrackCombos(index->Title);
}

void CZoReziveDlg::OnProfileChange() {
    const int row = profileCombo_->currentIndex();
    if (row < 0) return;
    const int index = profileCombo_->itemData(row).toInt();
    if (index == current_.Index) return;
    profiles::FormatProfile picked{};
    if (!profiles::ProfileCatalogue::Instance().FindByIndex(index, picked)) {
        MessageBox("Cann`t get format");
        return;
    }
    current_ = picked;
    HTREEITEM root = RootEntry();
    if (!root || !list_->ItemHasChildren(root)) return;
    std::vector<HTREEITEM> entries;
    CollectEntries(list_, root, entries);
    const std::string ext = profiles::FieldUtf8(current_.FormatExt);
    for (HTREEITEM e : entries) {
        const std::string name = list_->GetItemText(e, kColumnSource).toStdString();
        list_->SetItemText(e, kColumnOutput, Q(OutputName(name, ext)));
    }
}

void CZoReziveDlg::OnTrackChange(bool audio) {
    StreamTable streams;
    if (!player_.ListStreams(streams)) return;
    QComboBox* combo = audio ? audioCombo_ : subtitleCombo_;
    const int row = combo->currentIndex();
    if (row < 0) return;
    const int id = combo->itemData(row).toInt();
    if (audio) {
        for (int i = streams.audioCount - 1; i >= 0; --i) {
            const auto& s = streams.audio[i];
            if (!MatchesTrack(s.pesStreamId, s.subStreamId, id)) continue;
            SelectedAudioStream = id;
            player_.EnableStream(s.index, true);
        }
    } else {
        for (int i = streams.subtitleCount - 1; i >= 0; --i) {
            const auto& s = streams.subtitle[i];
            if (!MatchesTrack(s.pesStreamId, s.subStreamId, id)) continue;
            SelectedSubtitleStream = id;
            player_.EnableStream(s.index, true);
        }
    }
}

// ---- Output and dialogs -----------------------------------------------------------

void CZoReziveDlg::OnStart() {
    const std::string folder = outputEdit_->text().toStdString();
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec)) {
        MessageBox("Invalid output directory");
        return;
    }
    if (folder != ThePreferences().strOutFolder) SaveOutFolder(folder);
    HTREEITEM root = RootEntry();
    if (!root || !list_->ItemHasChildren(root)) return;
    OnStopPreview();
    ConverDlgOptions options;
    options.outFolder = ThePreferences().strOutFolder;
    options.action = ThePreferences().strAction;
    if (conversionHook_) conversionHook_(options);
    CConverDlg dlg(this, list_, current_.Settings, merge_->isChecked(), options);
    dlg.exec();
}

void CZoReziveDlg::OnSettings() {
    CSettingsDlg dlg(current_, this);
    if (dlg.exec() != QDialog::Accepted) return;
    current_ = dlg.Profile();
    profiles::FormatProfile check{};
    if (!profiles::ProfileCatalogue::Instance().FindByIndex(current_.Index, check))
        MessageBox("get format error");
}

void CZoReziveDlg::OnBrowse() {
    const QString folder =
        QFileDialog::getExistingDirectory(nullptr, "Browser", outputEdit_->text());
    if (folder.isEmpty()) return;
    SaveOutFolder(folder.toStdString());
    outputEdit_->setText(folder);
}

void CZoReziveDlg::OnPreferences() {
    CPreferencesDlg dlg(this);
    if (dlg.exec() == QDialog::Accepted) outputEdit_->setText(Q(ThePreferences().strOutFolder));
}

void CZoReziveDlg::OnProperties() {
    StreamTable streams;
    if (!player_.ListStreams(streams)) return;
    CProperties(streams, this).exec();
}

void CZoReziveDlg::OnAbout() {
    CAboutDlg(this).exec();
}

void CZoReziveDlg::OpenClipEditor(int page) {
    HTREEITEM entry = SelectedOrFirst();
    if (!entry) {
        MessageBox("Please select one first");
        return;
    }
    ConversionItem* item = ItemData(entry);
    if (!item) {
        MessageBox("GetItemData error");
        return;
    }
    OnStopPreview();
    item->Clip = CurrentClip.Clip;
    {
        CCropDlg dlg(*item, current_.Settings, page, this);
        dlg.exec();
    }
    CurrentClip.Clip = item->Clip;
}

void CZoReziveDlg::OpenWebAddress(const QString& address) {
    if (address.isEmpty()) return;
    const QUrl url = QUrl::fromUserInput(address);
    if (opener_) {
        opener_(url);
        return;
    }
    if (QDesktopServices::openUrl(url)) return;
    // Without a desktop opener, any browser the system names will do.
    for (const char* browser : {"x-www-browser", "sensible-browser", "firefox", "chromium"})
        if (QProcess::startDetached(browser, {url.toString()})) return;
}

void CZoReziveDlg::OpenLocalPath(const std::string& path) {
    if (path.empty()) return;
    // Data files are found relative to the working directory; the desktop's
    // opener runs elsewhere and needs the whole path.
    const QUrl url = QUrl::fromLocalFile(QFileInfo(Q(path)).absoluteFilePath());
    if (opener_)
        opener_(url);
    else
        QDesktopServices::openUrl(url);
}

// ---- Painting ---------------------------------------------------------------------

void CZoReziveDlg::paintEvent(QPaintEvent* e) {
    CSkinDialog::paintEvent(e);
    if (!e->rect().intersects(kVideoArea) || !player_.Graph() || player_.IsStopped()) return;
    QPainter p(this);
    QtDrawContext dc(p);
    player_.Repaint(Window(), &dc);
}
