#include "splash_wnd.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

CSplashWnd::CSplashWnd(const std::string& picturePath)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    if (!picturePath.empty()) picture_.load(QString::fromStdString(picturePath));
    loaded_ = !picture_.isNull();
    if (loaded_) setFixedSize(picture_.size());
}

bool CSplashWnd::Create() {
    if (!loaded_) return false;
    move(0, 0);
    if (QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    show();
    repaint();
    return isVisible();
}

void CSplashWnd::DrawText(const QString& text, int x, int y, const QColor& color) {
    if (!loaded_) return;
    QPainter p(&picture_);
    p.setFont(font());
    p.setPen(color);
    p.drawText(QPoint(x, y + p.fontMetrics().ascent()), text);
    p.end();
    update();
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    if (!loaded_) return;
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}
