#include "skin_control.h"

#include <QPainter>
#include <QVariant>
#include <QWidget>

#include "platform/win/qt/qt_window.h"

namespace {
constexpr const char* kIdProperty = "discreelCtrlId";
}

void SetDlgCtrlID(QWidget* control, int id) {
    if (control) control->setProperty(kIdProperty, id);
}

int GetDlgCtrlID(const QWidget* control) {
    if (!control) return 0;
    QVariant v = control->property(kIdProperty);
    return v.isValid() ? v.toInt() : 0;
}

void PostToParent(const QWidget* control, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!control || !control->parentWidget()) return;
    QtWindow::Attach(control->parentWidget())->PostMessage(msg, wParam, lParam);
}

QImage CopyUnder(const QImage* background, const QRect& rect) {
    if (!background || background->isNull() || rect.isEmpty()) return {};
    QImage out(rect.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPoint(0, 0), *background, rect);
    return out;
}
