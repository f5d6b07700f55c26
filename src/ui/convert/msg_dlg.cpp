#include "msg_dlg.h"

#include "ui/skin/my_button.h"
#include "ui/skin/skin_control.h"

CMsgDlg::CMsgDlg(QWidget* parent, int kind)
    : CSkinDialog(parent), kind_(kind), ok_(new CMyButton(this)) {
    setModal(true);
    // Without its picture the dialog would have no size at all; keep the one
    // the picture is drawn for, so OK can still be pressed.
    if (!LoadBackground("converterok_bg.png")) setFixedSize(360, 180);
    SetDlgCtrlID(ok_, kOkId);
    PlaceButton(ok_, "ok2.png", 240, 140);
    ok_->setDefault(true);
    connect(ok_, &CMyButton::clicked, this, &CMsgDlg::accept);
}
