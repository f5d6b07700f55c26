#include "my_check_box.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

CMyCheckBox::CMyCheckBox(QWidget* parent) : QCheckBox(parent) {}
CMyCheckBox::CMyCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

void CMyCheckBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QStyleOptionButton box;
    box.initFrom(this);
    const int side = std::min(13, height());
    box.rect = QRect((15 - side) / 2, (height() - side) / 2, side, side);
    box.state &= ~(QStyle::State_On | QStyle::State_Off | QStyle::State_NoChange);
    box.state |= isChecked() ? QStyle::State_On : QStyle::State_Off;
    if (isDown()) box.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, &p, this);

    p.setFont(parentWidget() ? parentWidget()->font() : font());
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QRect textRect(20, 0, std::max(0, width() - 20), height());
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}

bool CMyCheckBox::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}
