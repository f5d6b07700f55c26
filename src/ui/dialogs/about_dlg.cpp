#include "about_dlg.h"

#include <QFileInfo>
#include <QUrl>

#include "platform/win/paths.h"
#include "profiles/profile.h"
#include "ui/dialogs/hyper_link.h"
#include "ui/skin/my_button.h"
#include "ui/skin/my_static.h"
#include "ui/skin/skin_control.h"

namespace {
// A link whose target is missing (no help page installed, no home page in
// Set.xml) stays visible but leads nowhere, rather than opening its own text.
void LinkTo(CHyperLink* link, const QString& address) {
    if (address.isEmpty()) {
        if (link->GetWindowText().isEmpty()) link->SetWindowText("-");
        link->setEnabled(false);
        return;
    }
    link->SetURL(address);
}
}  // namespace

QString CAboutDlg::SupportAddress() {
    const std::string help = FindDataFile("help/index.html");
    if (help.empty()) return {};
    return QUrl::fromLocalFile(QFileInfo(QString::fromStdString(help)).absoluteFilePath())
        .toString();
}

QString CAboutDlg::HomePageAddress() {
    return QString::fromStdString(profiles::HomePageTarget());
}

CAboutDlg::CAboutDlg(QWidget* parent) : CSkinDialog(parent) {
    setWindowTitle("About");
    LoadBackground(".\\skin\\aboutdlg.png");
    AddLabel("About", {16, 12, 200, 16});
    AddLabel("Support:", {44, 170, 80, 16});
    AddLabel("HomePage:", {44, 200, 80, 16});
    AddLabel("Free software for converting video DVDs; see the licence that came with it.",
          {44, 250, 360, 40});

    support_ = new CHyperLink(this);
    support_->move(130, 170);
    support_->SetWindowText("Help and support");
    LinkTo(support_, SupportAddress());
    SetDlgCtrlID(support_, IDC_SUPPORT);
    // The home page shows its address as Set.xml gives it.
    const QString home = QString::fromStdString(profiles::HomePageUrl());
    homePage_ = new CHyperLink(this);
    homePage_->move(130, 200);
    homePage_->SetWindowText(home);
    LinkTo(homePage_, HomePageAddress());
    SetDlgCtrlID(homePage_, IDC_HOMEPAGE);

    auto* ok = new CMyButton(this);
    SetDlgCtrlID(ok, IDC_OK);
    PlaceButton(ok, ".\\skin\\ok2.png", 340, 315);
    auto* close = new CMyButton(this);
    SetDlgCtrlID(close, IDC_CLOSE);
    PlaceButton(close, ".\\skin\\close.png", 410, 8);
    // Enter means OK wherever the focus is, as in any dialog.
    for (CMyButton* b : findChildren<CMyButton*>()) b->setAutoDefault(false);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { accept(); });
    connect(close, &QPushButton::clicked, this, [this] { reject(); });
}
