#include "hyper_link.h"

#include <QDesktopServices>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QUrl>

CHyperLink::CHyperLink(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
    SetUnderline(true);
    opener_ = &CHyperLink::OpenAddress;
}

CHyperLink::CHyperLink(const QString& text, const QString& url, QWidget* parent)
    : CHyperLink(parent) {
    text_ = text;
    SetURL(url);
}

void CHyperLink::SetURL(const QString& url) {
    url_ = url.isEmpty() ? text_ : url;
    if (text_.isEmpty()) text_ = url_;
    setToolTip(url_);
    FitToText();
    update();
}

void CHyperLink::SetWindowText(const QString& text) {
    text_ = text;
    FitToText();
    update();
}

void CHyperLink::SetAutoSize(bool on) {
    autoSize_ = on;
    FitToText();
}

void CHyperLink::SetUnderline(bool on) {
    underline_ = on;
    QFont f = font();
    f.setUnderline(on);
    setFont(f);
    FitToText();
    update();
}

void CHyperLink::SetVisited(bool on) {
    visited_ = on;
    update();
}

QColor CHyperLink::TextColor() const {
    if (hovered_) return kHover;
    return visited_ ? kVisited : kUnvisited;
}

void CHyperLink::FitToText() {
    if (!autoSize_) return;
    const QFontMetrics fm(font());
    const QSize want(fm.horizontalAdvance(text_) + 2, fm.height() + 2);
    QRect r = geometry();
    const int oldW = r.width();
    // Only as much of the control as the text covers reacts to the mouse.
    if (alignment_ & Qt::AlignRight)
        r.setLeft(r.left() + oldW - want.width());
    else if (alignment_ & Qt::AlignHCenter)
        r.setLeft(r.left() + (oldW - want.width()) / 2);
    r.setSize(want);
    setGeometry(r);
}

void CHyperLink::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(TextColor());
    p.setFont(font());
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text_);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* e) {
    if (!isEnabled() || e->button() != Qt::LeftButton || !rect().contains(e->position().toPoint()))
        return QWidget::mouseReleaseEvent(e);
    visited_ = true;
    update();
    if (opener_ && !url_.isEmpty()) opener_(url_);
}

void CHyperLink::enterEvent(QEnterEvent* e) {
    hovered_ = true;
    update();
    QWidget::enterEvent(e);
}

void CHyperLink::leaveEvent(QEvent* e) {
    hovered_ = false;
    update();
    QWidget::leaveEvent(e);
}

bool CHyperLink::OpenAddress(const QString& address) {
    if (address.isEmpty()) return false;
    const QUrl url = QUrl::fromUserInput(address);
    if (QDesktopServices::openUrl(url)) return true;
    // Without a desktop opener, any browser the system names will do.
    for (const char* browser : {"x-www-browser", "sensible-browser", "firefox", "chromium"})
        if (QProcess::startDetached(browser, {url.toString()})) return true;
    return false;
}
