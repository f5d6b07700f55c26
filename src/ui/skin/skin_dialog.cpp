#include "skin_dialog.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWindow>

#include "my_button.h"
#include "my_static.h"
#include "skin_files.h"

CSkinDialog::CSkinDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), window_(QtWindow::Attach(this)) {}

bool CSkinDialog::LoadBackground(const std::string& name) {
    QImage image = LoadSkinImage(name);
    if (image.isNull()) return false;
    background_ = image;
    setFixedSize(background_.size());
    setMask(RoundedRegion(width(), height()));
    CenterWindow();
    update();
    return true;
}

bool CSkinDialog::PlaceButton(CMyButton* button, const std::string& image, int x, int y) {
    if (!button) return false;
    if (button->parentWidget() != this) button->setParent(this);
    const bool ok =
        button->SetImage(image, x, y, 0, 0, background_.isNull() ? nullptr : &background_);
    if (!ok) button->move(x, y);
    return ok;
}

void CSkinDialog::CenterWindow() {
    QRect area;
    if (QWidget* owner = parentWidget(); owner && owner->isVisible())
        area = owner->window()->frameGeometry();
    else if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    if (area.isEmpty()) return;
    move(area.center() - QPoint(width() / 2, height() / 2));
}

QRegion CSkinDialog::RoundedRegion(int width, int height) {
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width, height), 10, 10);
    return QRegion(path.toFillPolygon().toPolygon(), Qt::WindingFill);
}

void CSkinDialog::paintEvent(QPaintEvent* e) {
    if (background_.isNull()) return QDialog::paintEvent(e);
    QPainter p(this);
    p.drawImage(0, 0, background_);
}

void CSkinDialog::mousePressEvent(QMouseEvent* e) {
    // Presses reach the dialog only where no control took them, i.e. its body.
    if (e->button() != Qt::LeftButton) return QDialog::mousePressEvent(e);
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CSkinDialog::mouseMoveEvent(QMouseEvent* e) {
    if (!dragging_) return QDialog::mouseMoveEvent(e);
    move(e->globalPosition().toPoint() - dragOffset_);
}

void CSkinDialog::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) dragging_ = false;
    QDialog::mouseReleaseEvent(e);
}

CMyStatic* CSkinDialog::AddLabel(const QString& text, const QRect& place) {
    auto* label = new CMyStatic(text, this);
    label->setGeometry(place);
    label->CopyBackground(background_.isNull() ? nullptr : &background_);
    return label;
}
