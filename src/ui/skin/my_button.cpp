#include "my_button.h"

#include <QMouseEvent>
#include <QPainter>

#include "skin_control.h"
#include "skin_files.h"

CMyButton::CMyButton(QWidget* parent) : QPushButton(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setFlat(true);
}

bool CMyButton::SetImage(const std::string& path, int x, int y, int /*width*/, int /*height*/,
                         const QImage* background) {
    QImage image = LoadSkinImage(path);
    if (image.isNull()) return false;
    image_ = image;
    const QSize frame(image_.width() / 4, image_.height());
    background_ = CopyUnder(background, QRect(QPoint(x, y), frame));
    setGeometry(x, y, frame.width(), frame.height());
    update();
    return true;
}

void CMyButton::SetChecked(int flag) {
    frame_ = flag == 1 ? kHover : kNormal;
    latched_ = flag != 0;
    update();
}

void CMyButton::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    if (isEnabled()) {
        if (isDown() || latched_) frame_ = kPressed;
    } else {
        frame_ = kDisabled;
    }
    const int fw = image_.width() / 4;
    QPainter p(this);
    if (!background_.isNull()) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, background_);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    p.drawImage(QPoint(0, 0), image_, QRect(frame_ * fw, 0, fw, image_.height()));
}

void CMyButton::mouseMoveEvent(QMouseEvent* e) {
    // The first move over the button arms hover tracking; hovering shows frame 1
    // at once, and the frame is kept until the mouse leaves.
    if (!tracking_) {
        tracking_ = true;
        frame_ = kHover;
        update();
    }
    QPushButton::mouseMoveEvent(e);
}

void CMyButton::leaveEvent(QEvent* e) {
    tracking_ = false;
    frame_ = kNormal;
    update();
    QPushButton::leaveEvent(e);
}

void CMyButton::changeEvent(QEvent* e) {
    // A button enabled again would otherwise keep its remembered disabled frame
    // until the mouse passed over it.
    if (e->type() == QEvent::EnabledChange && isEnabled() && frame_ == kDisabled) {
        frame_ = tracking_ ? kHover : kNormal;
        update();
    }
    QPushButton::changeEvent(e);
}

bool CMyButton::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}
