#include "my_slider_ctrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstdint>

#include "skin_control.h"
#include "skin_files.h"

CMySliderCtrl::CMySliderCtrl(QWidget* parent) : QWidget(parent) {}

bool CMySliderCtrl::SetImages(const std::string& background, const std::string& fill,
                              const std::string& thumb) {
    QImage t = LoadSkinImage(thumb);
    QImage b = LoadSkinImage(background);
    QImage f = LoadSkinImage(fill);
    if (!t.isNull()) thumbImage_ = t;
    if (!b.isNull()) {
        resize(b.size());
        // The surfaces are the control's size; each picture sits at its natural
        // size in the top-left corner.
        auto surface = [&](const QImage& src) {
            QImage s(b.size(), QImage::Format_ARGB32_Premultiplied);
            s.fill(Qt::transparent);
            if (!src.isNull()) {
                QPainter p(&s);
                p.drawImage(0, 0, src);
            }
            return s;
        };
        background_ = surface(b);
        fill_ = surface(f);
    }
    update();
    return !t.isNull() && !b.isNull() && !f.isNull();
}

void CMySliderCtrl::SetRange(int minimum, int maximum) {
    min_ = minimum;
    max_ = maximum;
}

void CMySliderCtrl::GetRange(int& minimum, int& maximum) const {
    minimum = min_;
    maximum = max_;
}

void CMySliderCtrl::SetPos(int value) {
    if (dragging_) return;
    position_ = value;
    if (follow_ == 1) thumb_ = value;
    update();
}

void CMySliderCtrl::SetThumbPos(int value) {
    if (dragging_) return;
    thumb_ = value;
    update();
}

void CMySliderCtrl::SetSelection(int start, int position) {
    if (dragging_) return;
    if (start >= 0) bandStart_ = start;
    if (position >= 0) position_ = position;
    update();
}

void CMySliderCtrl::GetSelection(int& start, int& position) const {
    start = bandStart_;
    position = position_;
}

int CMySliderCtrl::ColumnOf(int value, int span) const {
    // An empty range has no scale; everything sits at the left end instead of
    // dividing by zero.
    const std::int64_t r = std::int64_t(max_) - min_;
    if (r == 0 || span <= 0) return 0;
    const std::int64_t x = std::int64_t(span) * (std::int64_t(value) - min_) / r;
    return static_cast<int>(std::clamp<std::int64_t>(x, 0, span));
}

void CMySliderCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width();
    if (!background_.isNull()) p.drawImage(0, 0, background_);
    if (!fill_.isNull()) {
        const int x1 = ColumnOf(bandStart_, w);
        const int x2 = ColumnOf(position_, w);
        if (x2 > x1) p.drawImage(QPoint(x1, 0), fill_, QRect(x1, 0, x2 - x1, fill_.height()));
    }
    if (!thumbImage_.isNull()) {
        const int x = ColumnOf(thumb_, std::max(0, w - thumbImage_.width()));
        p.drawImage(x, 0, thumbImage_);
    }
}

void CMySliderCtrl::TrackTo(int x) {
    const int w = width();
    const float r = float(max_) - float(min_);
    // Single precision, truncated, as the value has always been computed.
    const int value = w > 0 ? min_ + static_cast<int>(r * (float(x) / float(w))) : min_;
    thumb_ = value;
    PostToParent(this, WM_SLIDER_DRAGGING, static_cast<WPARAM>(GetDlgCtrlID(this)), value);
    if (follow_ == 1) position_ = value;
    update();
}

void CMySliderCtrl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    dragging_ = true;  // Qt grabs the mouse for the widget until release
    TrackTo(static_cast<int>(e->position().x()));
}

void CMySliderCtrl::mouseMoveEvent(QMouseEvent* e) {
    if (!dragging_) return QWidget::mouseMoveEvent(e);
    TrackTo(std::clamp(static_cast<int>(e->position().x()), 0, width()));
}

void CMySliderCtrl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(e);
    dragging_ = false;
    PostToParent(this, WM_SLIDER_RELEASED, static_cast<WPARAM>(GetDlgCtrlID(this)),
                 reinterpret_cast<LPARAM>(this));
}
