#include "my_static.h"

#include <QPainter>

#include "skin_control.h"

CMyStatic::CMyStatic(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

CMyStatic::CMyStatic(const QString& text, QWidget* parent) : CMyStatic(parent) {
    text_ = text;
}

void CMyStatic::CopyBackground(const QImage* background) {
    background_ = CopyUnder(background, geometry());
    update();
}

void CMyStatic::SetWindowText(const QString& text) {
    text_ = text;
    update();
}

void CMyStatic::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!background_.isNull()) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, background_);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    p.setPen(palette().color(QPalette::WindowText));
    // A label with room for several lines wraps a long note at word breaks; a
    // one-line caption stays on its line.
    const bool roomForLines = height() >= 2 * p.fontMetrics().lineSpacing();
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | (roomForLines ? Qt::TextWordWrap : 0), text_);
}
