#include "qt_draw_context.h"

#include <QImage>
#include <QPainter>

namespace {
QRect ToQRect(const RECT& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}
}  // namespace

void QtDrawContext::FillRect(const RECT& r, COLORREF color) {
    if (r.Width() <= 0 || r.Height() <= 0) return;
    painter_.fillRect(ToQRect(r), QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
}

void QtDrawContext::DrawBitmap(const RECT& dst, const void* pixels, int width, int height,
                               int strideBytes) {
    if (!pixels || width <= 0 || height <= 0 || strideBytes < width * 4) return;
    if (dst.Width() <= 0 || dst.Height() <= 0) return;
    // B G R X in memory is Qt's RGB32 on little-endian machines. The fourth byte
    // is whatever the producer left there, so the wrapper is converted to an
    // image that is opaque by definition before it is scaled.
    QImage wrapped(static_cast<const uchar*>(pixels), width, height, strideBytes,
                   QImage::Format_RGB32);
    QImage opaque = wrapped.convertToFormat(QImage::Format_RGB888);
    painter_.save();
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter_.drawImage(ToQRect(dst), opaque);
    painter_.restore();
}
