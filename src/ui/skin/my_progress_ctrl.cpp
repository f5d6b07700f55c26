#include "my_progress_ctrl.h"

#include <QPainter>
#include <algorithm>

#include "skin_files.h"

CMyProgressCtrl::CMyProgressCtrl(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
}

bool CMyProgressCtrl::SetImage(const std::string& path) {
    QImage image = LoadSkinImage(path);
    if (image.isNull()) return false;
    tile_ = image;
    resize(width(), tile_.height());
    Retile();
    update();
    return true;
}

void CMyProgressCtrl::Retile() {
    if (tile_.isNull() || width() <= 0 || height() <= 0) {
        tiled_ = QImage();
        return;
    }
    tiled_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    tiled_.fill(Qt::transparent);
    QPainter p(&tiled_);
    for (int x = 0; x < width(); x += tile_.width()) p.drawImage(x, 0, tile_);
}

void CMyProgressCtrl::resizeEvent(QResizeEvent* e) {
    QProgressBar::resizeEvent(e);
    Retile();
}

float CMyProgressCtrl::Percent() const {
    const int lower = minimum(), upper = maximum();
    if (upper == lower) return 0.f;
    // A bar that was never set holds minimum - 1; it shows empty, not "-0%".
    const int pos = std::max(value(), lower);
    return float(pos - lower) * 100.f / float(upper - lower);
}

QString CMyProgressCtrl::PercentText() const {
    return QString::asprintf("%d%%", static_cast<int>(Percent() + 0.5f));
}

void CMyProgressCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const float pct = Percent();
    const int filled = std::clamp(static_cast<int>(float(width()) * pct / 100.f), 0, width());
    if (!tiled_.isNull() && filled > 0)
        p.drawImage(QPoint(0, 0), tiled_, QRect(0, 0, filled, tiled_.height()));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(rect(), Qt::AlignCenter, PercentText());
}
