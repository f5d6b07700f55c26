#pragma once
// The about dialog: the support and home-page links and a rights notice.
// OK ends it with QDialog::Accepted, the close button with Rejected.
//
//   CAboutDlg(this).exec();
#include <QString>

#include "ui/skin/skin_dialog.h"

class CHyperLink;

class CAboutDlg : public CSkinDialog {
  public:
    enum { IDC_SUPPORT = 1132, IDC_HOMEPAGE = 1133, IDC_OK = 1, IDC_CLOSE = 1031 };

    explicit CAboutDlg(QWidget* parent = nullptr);

    CHyperLink* SupportLink() const { return support_; }
    CHyperLink* HomePageLink() const { return homePage_; }

    // Where the links lead: the help page shipped beside the program, and the
    // home page of Set.xml (a file it names is resolved beside the program).
    static QString SupportAddress();
    static QString HomePageAddress();

  private:
    CHyperLink* support_ = nullptr;
    CHyperLink* homePage_ = nullptr;
};
