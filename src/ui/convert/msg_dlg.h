#pragma once
// The finish message of a conversion: a skinned dialog whose background picture
// carries the whole message, with one OK button.
#include "ui/skin/skin_dialog.h"

class CMyButton;

class CMsgDlg : public CSkinDialog {
  public:
    static constexpr int kOkId = 1065;
    // The one kind there is: the conversion has finished.
    static constexpr int kConversionFinished = 0;

    explicit CMsgDlg(QWidget* parent = nullptr, int kind = kConversionFinished);

    int Kind() const { return kind_; }
    CMyButton* OkButton() const { return ok_; }

  private:
    int kind_;
    CMyButton* ok_;
};
