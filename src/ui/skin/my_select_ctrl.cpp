#include "my_select_ctrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "skin_control.h"
#include "skin_files.h"

CMySelectCtrl::CMySelectCtrl(QWidget* parent) : QWidget(parent) {}

bool CMySelectCtrl::SetImage(const std::string& path, const QImage* background) {
    QImage image = LoadSkinImage(path);
    if (image.isNull()) return false;
    handle_ = image;
    background_ = CopyUnder(background, geometry());
    start_ = 0.f;
    end_ = 1.f;
    update();
    return true;
}

void CMySelectCtrl::SetRange(int minimum, int maximum) {
    min_ = minimum;
    max_ = maximum;
}

void CMySelectCtrl::GetRange(int& minimum, int& maximum) const {
    minimum = min_;
    maximum = max_;
}

void CMySelectCtrl::SetSel(float start, float end) {
    if (start >= 0.f) start_ = start;
    if (end >= 0.f) end_ = end;
    update();
}

void CMySelectCtrl::GetSel(float& start, float& end) const {
    start = start_;
    end = end_;
}

QRect CMySelectCtrl::HandleRect(float fraction) const {
    const int iw = handle_.width();
    const int x = static_cast<int>(float(width() - iw) * fraction);
    return QRect(x, 0, iw, height());
}

QRect CMySelectCtrl::StartHandleRect() const {
    return HandleRect(start_);
}
QRect CMySelectCtrl::EndHandleRect() const {
    return HandleRect(end_);
}

int CMySelectCtrl::ValueOf(float fraction) const {
    return min_ + static_cast<int>(float(max_ - min_) * fraction);
}

void CMySelectCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!background_.isNull()) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, background_);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    if (handle_.isNull()) return;
    p.drawImage(StartHandleRect().topLeft(), handle_);
    p.drawImage(EndHandleRect().topLeft(), handle_);
}

void CMySelectCtrl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || handle_.isNull()) return QWidget::mousePressEvent(e);
    const QPoint pt = e->position().toPoint();
    const QRect s = StartHandleRect(), en = EndHandleRect();
    const bool onStart = s.contains(pt), onEnd = en.contains(pt);
    if (onStart && onEnd) {
        // Overlapping handles: take the one that can still move, or the one on
        // the side of the click; always taking the start handle would leave two
        // handles parked at the left end stuck together for good.
        const int iw = handle_.width();
        if (s.left() <= 0)
            drag_ = 2;
        else if (en.left() >= width() - iw)
            drag_ = 1;
        else
            drag_ = pt.x() >= (s.center().x() + en.center().x() + 1) / 2 ? 2 : 1;
    } else if (onStart) {
        drag_ = 1;
    } else if (onEnd) {
        drag_ = 2;
    }
}

void CMySelectCtrl::mouseMoveEvent(QMouseEvent* e) {
    if (drag_ == 0) return QWidget::mouseMoveEvent(e);
    const int w = width();
    const int half = handle_.width() / 2;
    const int span = w - 2 * half;
    if (span <= 0) return;
    int x = static_cast<int>(e->position().x());
    if (drag_ == 1) {
        x = std::max(x, half);
        x = std::min(x, EndHandleRect().left() - half);
        start_ = std::clamp(float(x - half) / float(span), 0.f, 1.f);
    } else {
        x = std::min(x, w - half);
        x = std::max(x, StartHandleRect().right() + 1 + half);
        end_ = std::clamp(float(x - half) / float(span), 0.f, 1.f);
    }
    update();
    PostToParent(this, WM_SELECT_MOVED, static_cast<WPARAM>(ValueOf(start_)), ValueOf(end_));
}

void CMySelectCtrl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(e);
    drag_ = 0;
}
