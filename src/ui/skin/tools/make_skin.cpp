// Draws every skin image of the program into one folder:
//   make_skin <folder>
// The images in data/skin are this program's output, committed, so the look
// can be changed here and redrawn in one go (target skin_images). Sizes follow
// the places the dialogs put their controls at; see ui/skin/skin_layout.h for
// the places the dialogs leave open.
#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdio>
#include <functional>

#include "../skin_layout.h"

namespace {

// ---- Palette ---------------------------------------------------------------

const QColor kInk(0x1E, 0x25, 0x2F);    // text and glyphs
const QColor kMuted(0x5B, 0x65, 0x72);  // secondary text
const QColor kDisabledInk(0xA4, 0xAB, 0xB4);
const QColor kBody(0xE9, 0xEC, 0xF0);   // dialog body
const QColor kPanel(0xF7, 0xF8, 0xFA);  // cards and pages
const QColor kLine(0xC3, 0xCA, 0xD3);   // borders
const QColor kOuter(0x8E, 0x97, 0xA3);  // dialog outline
const QColor kAccent(0x2F, 0x7B, 0xEA);
const QColor kAccentHover(0x4A, 0x8F, 0xF2);
const QColor kAccentDown(0x1F, 0x5F, 0xC4);
const QColor kVideo(0x12, 0x14, 0x18);
const QColor kPrefsPage(208, 211, 217);  // the preferences labels' fill
const QColor kConvBody(137, 139, 142);   // the progress dialog labels' brush
const QColor kDanger(0xE5, 0x48, 0x4D);

enum State { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };

QFont Font(int pixels, bool bold = false) {
    QFont f("DejaVu Sans");
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

QImage NewImage(int w, int h, QColor fill = Qt::transparent) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(fill);
    return img;
}

void Smooth(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QString g_out;
int g_written = 0;

void Save(const QImage& img, const QString& name) {
    const QString path = g_out + "/" + name;
    const QString lower = name.toLower();
    bool ok;
    if (lower.endsWith(".jpg"))
        ok = img.convertToFormat(QImage::Format_RGB32).save(path, "JPEG", 92);
    else if (lower.endsWith(".bmp"))
        ok = img.convertToFormat(QImage::Format_RGB888).save(path, "BMP");
    else
        ok = img.save(path, "PNG");
    if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    ++g_written;
}

// ---- Glyphs ----------------------------------------------------------------
// Each glyph draws inside box with the pen/brush colour c.

using Glyph = std::function<void(QPainter&, QRectF box, QColor c)>;

void GlyphPlay(QPainter& p, QRectF b, QColor c) {
    QPainterPath t;
    const double s = std::min(b.width(), b.height());
    const QPointF o = b.center();
    t.moveTo(o + QPointF(-s * 0.30, -s * 0.38));
    t.lineTo(o + QPointF(s * 0.40, 0));
    t.lineTo(o + QPointF(-s * 0.30, s * 0.38));
    t.closeSubpath();
    p.fillPath(t, c);
}

void GlyphPause(QPainter& p, QRectF b, QColor c) {
    const double s = std::min(b.width(), b.height());
    const QPointF o = b.center();
    p.fillRect(QRectF(o.x() - s * 0.32, o.y() - s * 0.36, s * 0.22, s * 0.72), c);
    p.fillRect(QRectF(o.x() + s * 0.10, o.y() - s * 0.36, s * 0.22, s * 0.72), c);
}

void GlyphStop(QPainter& p, QRectF b, QColor c) {
    const double s = std::min(b.width(), b.height()) * 0.66;
    QPainterPath r;
    r.addRoundedRect(QRectF(b.center().x() - s / 2, b.center().y() - s / 2, s, s), 1.5, 1.5);
    p.fillPath(r, c);
}

// Bar and triangle: skip to the previous (dir -1) or next (dir +1) title.
void GlyphSkip(QPainter& p, QRectF b, QColor c, int dir) {
    const double s = std::min(b.width(), b.height());
    const QPointF o = b.center();
    QPainterPath t;
    t.moveTo(o + QPointF(dir * s * 0.30, 0));
    t.lineTo(o + QPointF(-dir * s * 0.22, -s * 0.34));
    t.lineTo(o + QPointF(-dir * s * 0.22, s * 0.34));
    t.closeSubpath();
    p.fillPath(t, c);
    const double bx = dir > 0 ? o.x() + s * 0.30 : o.x() - s * 0.42;
    p.fillRect(QRectF(bx, o.y() - s * 0.34, s * 0.12, s * 0.68), c);
}

void GlyphCamera(QPainter& p, QRectF b, QColor c) {
    const double s = std::min(b.width(), b.height());
    const QPointF o = b.center();
    QPainterPath body;
    body.addRoundedRect(QRectF(o.x() - s * 0.48, o.y() - s * 0.28, s * 0.96, s * 0.66), 2.5, 2.5);
    body.addRect(QRectF(o.x() - s * 0.18, o.y() - s * 0.42, s * 0.36, s * 0.16));
    QPainterPath lens;
    lens.addEllipse(QPointF(o.x(), o.y() + s * 0.05), s * 0.20, s * 0.20);
    p.fillPath(body.subtracted(lens), c);
    p.setBrush(c);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(o.x(), o.y() + s * 0.05), s * 0.10, s * 0.10);
}

void GlyphFolder(QPainter& p, QRectF b, QColor c) {
    const double s = std::min(b.width(), b.height());
    const QPointF o = b.center();
    const double l = o.x() - s * 0.52, t = o.y() - s * 0.40, w = s * 1.04, h = s * 0.80;
    // Back of the folder with its tab, then the front flap opened forward.
    QPainterPath back;
    back.moveTo(l, t + h);
    back.lineTo(l, t + 1);
    back.lineTo(l + w * 0.36, t + 1);
    back.lineTo(l + w * 0.46, t + h * 0.20);
    back.lineTo(l + w - 1, t + h * 0.20);
    back.lineTo(l + w - 1, t + h * 0.38);
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(l, t + h);
    front.lineTo(l + w * 0.16, t + h * 0.42);
    front.lineTo(l + w + 1, t + h * 0.42);
    front.lineTo(l + w * 0.84, t + h);
    front.closeSubpath();
    p.fillPath(front, c);
}

// A bracket with a little triangle: mark the in (dir -1) or out (+1) point.
void GlyphMark(QPainter& p, QRectF b, QColor c, int dir) {
    const double s = std::min(b.width(), b.height());
    const QPointF o = b.center();
    QPen pen(c, s * 0.12, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const double bx = o.x() + dir * s * 0.30;
    QPainterPath br;
    br.moveTo(bx - dir * s * 0.14, o.y() - s * 0.40);
    br.lineTo(bx, o.y() - s * 0.40);
    br.lineTo(bx, o.y() + s * 0.40);
    br.lineTo(bx - dir * s * 0.14, o.y() + s * 0.40);
    p.drawPath(br);
    QPainterPath t;
    const double tx = o.x() - dir * s * 0.08;
    t.moveTo(tx + dir * s * 0.22, o.y());
    t.lineTo(tx - dir * s * 0.20, o.y() - s * 0.26);
    t.lineTo(tx - dir * s * 0.20, o.y() + s * 0.26);
    t.closeSubpath();
    p.fillPath(t, c);
}

// Back to the start of the trimmed range: bar, then two triangles.
void GlyphToStart(QPainter& p, QRectF b, QColor c) {
    const double s = std::min(b.width(), b.height());
    const QPointF o = b.center();
    p.fillRect(QRectF(o.x() - s * 0.46, o.y() - s * 0.34, s * 0.11, s * 0.68), c);
    for (double dx : {-0.02, 0.36}) {
        QPainterPath t;
        t.moveTo(o.x() + (dx - 0.32) * s, o.y());
        t.lineTo(o.x() + dx * s, o.y() - s * 0.32);
        t.lineTo(o.x() + dx * s, o.y() + s * 0.32);
        t.closeSubpath();
        p.fillPath(t, c);
    }
}

void GlyphMinimise(QPainter& p, QRectF b, QColor c) {
    p.fillRect(QRectF(b.center().x() - 4.5, b.center().y() + 1, 9, 2), c);
}

void GlyphClose(QPainter& p, QRectF b, QColor c) {
    QPen pen(c, 1.8, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    const QPointF o = b.center();
    p.drawLine(o + QPointF(-4, -4), o + QPointF(4, 4));
    p.drawLine(o + QPointF(4, -4), o + QPointF(-4, 4));
}

// Toolbar icons, drawn in a 30 x 30 box.
void IconDisc(QPainter& p, QRectF b, QColor c) {
    const QPointF o = b.center();
    const double r = std::min(b.width(), b.height()) / 2;
    QPainterPath d;
    d.addEllipse(o, r * 0.86, r * 0.86);
    QPainterPath hole;
    hole.addEllipse(o, r * 0.22, r * 0.22);
    p.fillPath(d.subtracted(hole), c);
    p.setPen(QPen(QColor(255, 255, 255, 150), 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(o.x() - r * 0.55, o.y() - r * 0.55, r * 1.1, r * 1.1), 30 * 16, 70 * 16);
}

void IconAdd(QPainter& p, QRectF b, QColor c) {
    IconDisc(p, b.adjusted(0, 0, -4, -4), c);
    const QPointF o(b.right() - 7, b.bottom() - 7);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(o, 7.5, 7.5);
    p.fillRect(QRectF(o.x() - 4, o.y() - 1, 8, 2), Qt::white);
    p.fillRect(QRectF(o.x() - 1, o.y() - 4, 2, 8), Qt::white);
}

void IconEffect(QPainter& p, QRectF b, QColor c) {
    // A sun for brightness and colour.
    const QPointF o = b.center();
    const double r = std::min(b.width(), b.height()) / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(o, r * 0.42, r * 0.42);
    p.setPen(QPen(c, 2.2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        p.drawLine(o + QPointF(std::cos(a), std::sin(a)) * r * 0.62,
                   o + QPointF(std::cos(a), std::sin(a)) * r * 0.92);
    }
}

void IconCrop(QPainter& p, QRectF b, QColor c) {
    const double l = b.left() + 4, t = b.top() + 4, r = b.right() - 4, bo = b.bottom() - 4;
    QPen pen(c, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath a;
    a.moveTo(l + 6, t);
    a.lineTo(l + 6, bo - 6);
    a.lineTo(r, bo - 6);
    QPainterPath d;
    d.moveTo(l, t + 6);
    d.lineTo(r - 6, t + 6);
    d.lineTo(r - 6, bo);
    p.drawPath(a);
    p.drawPath(d);
}

void IconTrim(QPainter& p, QRectF b, QColor c) {
    // A film strip with the kept part between two markers.
    const QRectF strip(b.left() + 1, b.center().y() - 7, b.width() - 2, 14);
    QPainterPath s;
    s.addRoundedRect(strip, 2, 2);
    for (int i = 0; i < 6; ++i) {
        s.addRect(QRectF(strip.left() + 2.5 + i * 4.7, strip.top() + 2, 2.4, 2.4));
        s.addRect(QRectF(strip.left() + 2.5 + i * 4.7, strip.bottom() - 4.4, 2.4, 2.4));
    }
    p.fillPath(s, c);
    p.fillRect(QRectF(strip.left() + 8, strip.top() - 5, 2.5, strip.height() + 10), kAccent);
    p.fillRect(QRectF(strip.right() - 10.5, strip.top() - 5, 2.5, strip.height() + 10), kAccent);
}

void IconGear(QPainter& p, QRectF b, QColor c) {
    const QPointF o = b.center();
    const double r = std::min(b.width(), b.height()) / 2;
    QPainterPath g;
    g.addEllipse(o, r * 0.66, r * 0.66);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-r * 0.16, -r * 0.96, r * 0.32, r * 0.5), 1, 1);
        QTransform t;
        t.translate(o.x(), o.y());
        t.rotate(i * 45);
        g = g.united(t.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(o, r * 0.28, r * 0.28);
    p.fillPath(g.subtracted(hole), c);
}

// ---- Button strips ---------------------------------------------------------

enum class Kind { Primary, Secondary, Toolbar, Menu, Window, Tab, Icon };

struct Look {
    QColor fill, border, ink;
};

// The colours of one frame of a button of a kind.
Look LookOf(Kind kind, State s) {
    switch (kind) {
        case Kind::Primary:
            switch (s) {
                case kNormal:
                    return {kAccent, kAccentDown, Qt::white};
                case kHover:
                    return {kAccentHover, kAccent, Qt::white};
                case kPressed:
                    return {kAccentDown, kAccentDown.darker(120), Qt::white};
                case kDisabled:
                    return {QColor(0xB8, 0xC6, 0xDA), QColor(0xA9, 0xB7, 0xCB),
                            QColor(0xF1, 0xF4, 0xF8)};
            }
            break;
        case Kind::Secondary:
        case Kind::Icon:
            switch (s) {
                case kNormal:
                    return {Qt::white, kLine, kInk};
                case kHover:
                    return {QColor(0xEE, 0xF4, 0xFE), kAccent, kAccentDown};
                case kPressed:
                    return {QColor(0xD6, 0xE4, 0xFA), kAccentDown, kAccentDown};
                case kDisabled:
                    return {QColor(0xF2, 0xF3, 0xF5), QColor(0xD6, 0xDA, 0xE0), kDisabledInk};
            }
            break;
        case Kind::Toolbar:
        case Kind::Menu:
            switch (s) {
                case kNormal:
                    return {Qt::transparent, Qt::transparent, kInk};
                case kHover:
                    return {QColor(255, 255, 255, 210), kLine, kInk};
                case kPressed:
                    return {QColor(0xD6, 0xE4, 0xFA), kAccent, kAccentDown};
                case kDisabled:
                    return {Qt::transparent, Qt::transparent, kDisabledInk};
            }
            break;
        case Kind::Window:
            switch (s) {
                case kNormal:
                    return {Qt::transparent, Qt::transparent, kMuted};
                case kHover:
                    return {QColor(0xD5, 0xDB, 0xE3), Qt::transparent, kInk};
                case kPressed:
                    return {QColor(0xBE, 0xC6, 0xD0), Qt::transparent, kInk};
                case kDisabled:
                    return {Qt::transparent, Qt::transparent, kDisabledInk};
            }
            break;
        case Kind::Tab:
            switch (s) {
                case kNormal:
                    return {QColor(0xDC, 0xE1, 0xE7), kLine, kMuted};
                case kHover:
                    return {QColor(0xE9, 0xEE, 0xF5), kAccentHover, kInk};
                case kPressed:
                    return {kPanel, kLine, kInk};  // the current page
                case kDisabled:
                    return {QColor(0xE4, 0xE7, 0xEB), QColor(0xD6, 0xDA, 0xE0), kDisabledInk};
            }
            break;
    }
    return {};
}

struct ButtonSpec {
    QString file;
    int w, h;  // one frame
    Kind kind;
    QString label = {};
    Glyph glyph = {};
    int fontPx = 11;
    QColor tabFill = kPanel;  // the page colour a current tab joins
};

void DrawFrame(QPainter& p, const ButtonSpec& b, State s, QRectF r) {
    Look look = LookOf(b.kind, s);
    if (b.kind == Kind::Tab && s == kPressed) look.fill = b.tabFill;
    const bool down = s == kPressed;
    QRectF box = r.adjusted(0.5, 0.5, -0.5, -0.5);
    switch (b.kind) {
        case Kind::Primary:
        case Kind::Secondary:
        case Kind::Icon: {
            const double radius = std::min(6.0, box.height() / 3);
            QPainterPath path;
            path.addRoundedRect(box, radius, radius);
            if (s != kDisabled && !down) {
                // A soft lower edge gives the button a little depth.
                QPainterPath shadow;
                shadow.addRoundedRect(box.translated(0, 1), radius, radius);
                p.fillPath(shadow, QColor(0, 0, 0, 28));
            }
            QLinearGradient g(box.topLeft(), box.bottomLeft());
            g.setColorAt(0, look.fill.lighter(down ? 100 : 106));
            g.setColorAt(1, look.fill);
            p.fillPath(path, g);
            p.setPen(QPen(look.border, 1));
            p.drawPath(path);
            break;
        }
        case Kind::Toolbar:
        case Kind::Menu: {
            if (look.fill.alpha() > 0) {
                QPainterPath path;
                path.addRoundedRect(box.adjusted(1, 1, -1, -1), 6, 6);
                p.fillPath(path, look.fill);
                p.setPen(QPen(look.border, 1));
                p.drawPath(path);
            }
            break;
        }
        case Kind::Window: {
            if (look.fill.alpha() > 0) {
                QColor f = look.fill;
                if (b.file == "close.png" && s != kDisabled)
                    f = down ? kDanger.darker(115) : kDanger;
                p.setPen(Qt::NoPen);
                p.setBrush(f);
                p.drawEllipse(box.adjusted(1, 1, -1, -1));
                if (b.file == "close.png") look.ink = Qt::white;
            }
            break;
        }
        case Kind::Tab: {
            QPainterPath path;
            const double rad = 6;
            path.moveTo(box.left(), box.bottom() + 0.5);
            path.lineTo(box.left(), box.top() + rad);
            path.quadTo(box.left(), box.top(), box.left() + rad, box.top());
            path.lineTo(box.right() - rad, box.top());
            path.quadTo(box.right(), box.top(), box.right(), box.top() + rad);
            path.lineTo(box.right(), box.bottom() + 0.5);
            p.fillPath(path, look.fill);
            p.setPen(QPen(look.border, 1));
            p.drawPath(path);
            if (s == kPressed) {
                QPainterPath bar;
                bar.addRoundedRect(QRectF(box.left() + 1, box.top(), box.width() - 2, 3), 1.5, 1.5);
                p.fillPath(bar, kAccent);
            } else {
                // Tabs that are not current sit behind the page: a line closes them.
                p.fillRect(QRectF(r.left(), r.bottom() - 1, r.width(), 1), kLine);
            }
            break;
        }
    }

    // Content: glyph and/or label, nudged down a pixel while pressed.
    const QPointF nudge = down && b.kind != Kind::Tab ? QPointF(0, 1) : QPointF(0, 0);
    p.setPen(look.ink);
    const bool bold = b.kind == Kind::Primary || b.kind == Kind::Toolbar ||
                      (b.kind == Kind::Tab && s == kPressed) || b.fontPx >= 15;
    p.setFont(Font(b.fontPx, bold));
    if (b.kind == Kind::Toolbar) {
        const QRectF iconBox(r.center().x() - 15, r.top() + 7, 30, 30);
        b.glyph(p, iconBox.translated(nudge), look.ink);
        p.setPen(look.ink);
        p.drawText(QRectF(r.left(), r.top() + 39, r.width(), 16).translated(nudge), Qt::AlignCenter,
                   b.label);
    } else if (b.glyph && b.label.isEmpty()) {
        const double side = std::min(r.width(), r.height()) * (b.kind == Kind::Window ? 1.0 : 0.62);
        b.glyph(p,
                QRectF(r.center().x() - side / 2, r.center().y() - side / 2, side, side)
                    .translated(nudge),
                look.ink);
    } else if (b.glyph) {
        // Big button: glyph in a circle above the label.
        const QPointF c(r.center().x(), r.top() + r.height() * 0.38);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, s == kDisabled ? 90 : 235));
        p.drawEllipse(c + nudge, 21, 21);
        b.glyph(p, QRectF(c.x() - 13, c.y() - 13, 26, 26).translated(nudge + QPointF(1.5, 0)),
                s == kDisabled ? LookOf(b.kind, s).fill : kAccent);
        p.setPen(look.ink);
        p.drawText(QRectF(r.left(), r.top() + r.height() * 0.66, r.width(), 24).translated(nudge),
                   Qt::AlignCenter, b.label);
    } else {
        p.drawText(r.translated(nudge), Qt::AlignCenter, b.label);
    }
}

void MakeButton(const ButtonSpec& b) {
    QImage img = NewImage(b.w * 4, b.h);
    QPainter p(&img);
    Smooth(p);
    for (int s = 0; s < 4; ++s) {
        p.save();
        QRectF frame(s * b.w, 0, b.w, b.h);
        p.setClipRect(frame);
        DrawFrame(p, b, static_cast<State>(s), frame);
        p.restore();
    }
    p.end();
    Save(img, b.file);
}

Glyph Skip(int dir) {
    return [dir](QPainter& p, QRectF b, QColor c) { GlyphSkip(p, b, c, dir); };
}
Glyph Mark(int dir) {
    return [dir](QPainter& p, QRectF b, QColor c) { GlyphMark(p, b, c, dir); };
}

void MakeButtons() {
    // Menu row of the main window; widths run up to the next menu's place.
    const std::pair<const char*, const char*> menus[] = {{"file.png", "File"},
                                                         {"edit.png", "Edit"},
                                                         {"clip.png", "Clip"},
                                                         {"option.png", "Option"},
                                                         {"help.png", "Help"}};
    const int menuW[] = {54, 56, 61, 73, 64};
    for (int i = 0; i < 5; ++i)
        MakeButton({menus[i].first, menuW[i], 32, Kind::Menu, menus[i].second, {}, 12});

    MakeButton({"min.png", 20, 20, Kind::Window, "", GlyphMinimise});
    MakeButton({"close.png", 20, 20, Kind::Window, "", GlyphClose});

    // Main toolbar: 108 x 60 tiles at 114-pixel steps.
    MakeButton({"addfile.png", 108, 60, Kind::Toolbar, "Add File", IconAdd});
    MakeButton({"effect.png", 108, 60, Kind::Toolbar, "Effect", IconEffect});
    MakeButton({"crop.png", 108, 60, Kind::Toolbar, "Crop", IconCrop});
    MakeButton({"trim.png", 108, 60, Kind::Toolbar, "Trim", IconTrim});
    MakeButton({"Preferences.png", 108, 60, Kind::Toolbar, "Preferences", IconGear});

    // Main window, lower panel.
    MakeButton({"settings.png", 100, 28, Kind::Secondary, "Settings...", {}, 12});
    MakeButton({"browse.png", 100, 28, Kind::Secondary, "Browse...", {}, 12});
    MakeButton({"openfolder.png", 100, 28, Kind::Secondary, "Open Folder", {}, 12});
    MakeButton({"star.png", 120, 96, Kind::Primary, "Start", GlyphPlay, 17});

    // Transport buttons (main window and clip editor).
    MakeButton({"play.png", 40, 26, Kind::Icon, "", GlyphPlay});
    MakeButton({"pause.png", 40, 26, Kind::Icon, "", GlyphPause});
    MakeButton({"stop.png", 40, 26, Kind::Icon, "", GlyphStop});
    MakeButton({"back.png", 40, 26, Kind::Icon, "", Skip(-1)});
    MakeButton({"next.png", 40, 26, Kind::Icon, "", Skip(1)});
    MakeButton({"snap.png", 40, 26, Kind::Icon, "", GlyphCamera});
    MakeButton({"open.png", 40, 26, Kind::Icon, "", GlyphFolder});
    MakeButton({"nextframe.png", 40, 26, Kind::Icon, "", GlyphToStart});
    MakeButton({"makein.png", 40, 26, Kind::Icon, "", Mark(-1)});
    MakeButton({"makeout.png", 40, 26, Kind::Icon, "", Mark(1)});

    // Dialog buttons, 72 x 20.
    MakeButton({"ok2.png", 72, 20, Kind::Primary, "OK"});
    MakeButton({"cancel.png", 72, 20, Kind::Secondary, "Cancel"});
    MakeButton({"default.png", 72, 20, Kind::Secondary, "Default"});
    MakeButton({"reset.png", 72, 20, Kind::Secondary, "Reset"});
    MakeButton({"Pause2.png", 72, 20, Kind::Secondary, "Pause"});
    MakeButton({"continue2.png", 72, 20, Kind::Primary, "Continue"});
    MakeButton({"ok.png", 50, 20, Kind::Secondary, "Set"});
    MakeButton({"browse2.png", 76, 20, Kind::Secondary, "Browse..."});
    MakeButton({"open2.png", 76, 20, Kind::Secondary, "Open"});

    // Page tabs: the current one (latched, frame 2) takes its page's colour.
    MakeButton({"crop2.png", 54, 28, Kind::Tab, "Crop", {}, 11, kPanel});
    MakeButton({"trim2.png", 54, 28, Kind::Tab, "Trim", {}, 11, kPanel});
    MakeButton({"effect2.png", 54, 28, Kind::Tab, "Effect", {}, 11, kPanel});
    MakeButton({"general.png", 72, 38, Kind::Tab, "General", {}, 12, kPrefsPage});
    MakeButton({"options.png", 72, 38, Kind::Tab, "Options", {}, 12, kPrefsPage});
}

// ---- Sliders, selector, progress -------------------------------------------

QImage Track(int w, int h, QColor groove, QColor edge) {
    QImage img = NewImage(w, h);
    QPainter p(&img);
    Smooth(p);
    QPainterPath g;
    const double gh = 5;
    g.addRoundedRect(QRectF(1, (h - gh) / 2, w - 2, gh), gh / 2, gh / 2);
    p.fillPath(g, groove);
    p.setPen(QPen(edge, 1));
    p.drawPath(g);
    return img;
}

void MakeSliders() {
    const QColor groove(0xC9, 0xD0, 0xD9), grooveEdge(0xB3, 0xBC, 0xC7);
    struct S {
        const char* back;
        const char* fill;
        int w;
    };
    const S sliders[] = {{"sliderbk_main1.png", "sliderbk_main2.png", 296},
                         {"sliderbk_crop1.png", "sliderbk_crop2.png", 748},
                         {"sliderbk1.png", "sliderbk2.png", 140}};
    for (const S& s : sliders) {
        Save(Track(s.w, 14, groove, grooveEdge), s.back);
        Save(Track(s.w, 14, kAccent, kAccentDown), s.fill);
    }
    // Effect sliders use one image for back and band: the knob shows the value.
    Save(Track(140, 14, groove, grooveEdge), "bg2-2.png");

    {
        QImage t = NewImage(14, 14);
        QPainter p(&t);
        Smooth(p);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 40));
        p.drawEllipse(QRectF(1, 1.6, 12, 12));
        p.setBrush(Qt::white);
        p.setPen(QPen(kAccent, 2));
        p.drawEllipse(QRectF(1.5, 1.5, 11, 11));
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawEllipse(QPointF(7, 7), 2.2, 2.2);
        p.end();
        Save(t, "thumb.png");
    }
    {
        QImage k = NewImage(10, 14);
        QPainter p(&k);
        Smooth(p);
        QPainterPath r;
        r.addRoundedRect(QRectF(1, 0.5, 8, 13), 2.5, 2.5);
        p.fillPath(r.translated(0, 0.6), QColor(0, 0, 0, 40));
        p.fillPath(r, Qt::white);
        p.setPen(QPen(kAccent, 1.5));
        p.drawPath(r);
        p.fillRect(QRectF(4.3, 4, 1.4, 6), kAccent);
        p.end();
        Save(k, "kuang-2.png");
    }
    {
        // Trim handle: a marker whose centre line sits on the band's end.
        QImage h = NewImage(18, 14);
        QPainter p(&h);
        Smooth(p);
        QPainterPath m;
        m.moveTo(9, 0.5);
        m.lineTo(16.5, 6);
        m.lineTo(16.5, 13.5);
        m.lineTo(1.5, 13.5);
        m.lineTo(1.5, 6);
        m.closeSubpath();
        p.fillPath(m, QColor(0xF2, 0x8C, 0x28));
        p.setPen(QPen(QColor(0xC4, 0x6A, 0x12), 1));
        p.drawPath(m);
        p.fillRect(QRectF(8.3, 5, 1.4, 7), Qt::white);
        p.end();
        Save(h, "select.png");
    }
    // Progress tiles: 16 wide so the diagonal stripes join across tiles.
    auto tile = [](QColor light, QColor dark, const char* name) {
        QImage t = NewImage(16, 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) t.setPixelColor(x, y, ((x + y) % 16) < 8 ? light : dark);
        QPainter p(&t);
        QLinearGradient g(0, 0, 0, 16);
        g.setColorAt(0, QColor(255, 255, 255, 70));
        g.setColorAt(0.5, QColor(255, 255, 255, 0));
        g.setColorAt(1, QColor(0, 0, 0, 25));
        p.fillRect(t.rect(), g);
        p.end();
        Save(t, name);
    };
    tile(QColor(0x8C, 0xBE, 0xFF), QColor(0x76, 0xB0, 0xFB), "progress1.png");
    tile(QColor(0x86, 0xD9, 0x9E), QColor(0x6F, 0xCC, 0x8B), "progress2.png");
}

// ---- Backgrounds -----------------------------------------------------------

// Body, header band and outline of a dialog clipped to 20 x 20 corners.
QImage DialogBase(int w, int h, int headerH, QColor body = kBody) {
    QImage img = NewImage(w, h, body);
    QPainter p(&img);
    Smooth(p);
    QLinearGradient g(0, 0, 0, headerH);
    g.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
    g.setColorAt(1, QColor(0xE2, 0xE7, 0xED));
    p.fillRect(QRect(0, 0, w, headerH), g);
    p.fillRect(QRect(0, 0, w, 3), kAccent);
    p.fillRect(QRect(0, headerH, w, 1), kLine);
    p.setPen(QPen(kOuter, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 10, 10);
    return img;
}

// A dialog background saved as `file`: the base, with what `draw` paints over it.
void MakeDialog(const QString& file, int w, int h, int headerH,
                const std::function<void(QPainter&)>& draw, QColor body = kBody) {
    QImage img = DialogBase(w, h, headerH, body);
    QPainter p(&img);
    Smooth(p);
    draw(p);
    p.end();
    Save(img, file);
}

void Card(QPainter& p, QRectF r, QColor fill = kPanel, double radius = 8) {
    QPainterPath path;
    path.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.fillPath(path.translated(0, 1), QColor(0, 0, 0, 18));
    p.fillPath(path, fill);
    p.setPen(QPen(kLine, 1));
    p.drawPath(path);
}

// A dark video well whose inside is exactly r.
void VideoWell(QPainter& p, QRect r) {
    p.fillRect(r.adjusted(-2, -2, 2, 2), QColor(0x6E, 0x77, 0x83));
    p.fillRect(r.adjusted(-1, -1, 1, 1), QColor(0x2A, 0x2E, 0x35));
    p.fillRect(r, kVideo);
}

void Caption(QPainter& p, QPointF at, const QString& text, QColor c = kMuted, int px = 11,
             bool bold = true) {
    p.setPen(c);
    p.setFont(Font(px, bold));
    p.drawText(at, text);
}

void Logo(QPainter& p, QPointF centre, double r) {
    QRadialGradient g(centre - QPointF(r * 0.3, r * 0.3), r * 1.3);
    g.setColorAt(0, QColor(0x7F, 0xB2, 0xFF));
    g.setColorAt(1, kAccentDown);
    QPainterPath d;
    d.addEllipse(centre, r, r);
    QPainterPath hole;
    hole.addEllipse(centre, r * 0.2, r * 0.2);
    p.fillPath(d.subtracted(hole), g);
    p.setPen(QPen(QColor(255, 255, 255, 120), r * 0.06));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(centre.x() - r * 0.62, centre.y() - r * 0.62, r * 1.24, r * 1.24), 20 * 16,
              80 * 16);
    // A play mark: the disc becomes video.
    QPainterPath t;
    t.moveTo(centre + QPointF(r * 0.42, r * 0.30));
    t.lineTo(centre + QPointF(r * 0.42, r * 0.98));
    t.lineTo(centre + QPointF(r * 1.00, r * 0.64));
    t.closeSubpath();
    p.fillPath(t, QColor(0xF2, 0x8C, 0x28));
}

void MakeMain() {
    using namespace skin_layout;
    const int w = 820, h = 545;
    MakeDialog("maindlg.png", w, h, 34, [&](QPainter& p) {
        // Toolbar band under the menu row.
        p.fillRect(QRect(1, 35, w - 2, 67), QColor(0xF3, 0xF5, 0xF8));
        p.fillRect(QRect(0, 102, w, 1), kLine);
        // Upper card: video with its seek slider and transport row; the title list.
        Card(p, QRectF(kMainUpperCard));
        VideoWell(p, kMainVideo);
        const QRect list = kMainTitleList;
        p.fillRect(list.adjusted(-1, -1, 1, 1), kLine);
        p.fillRect(list, Qt::white);
        // Lower card: track, profile and output rows, their buttons, and Start.
        Card(p, QRectF(kMainLowerCard));
    });
}

void MakeStills() {
    {
        // Shown in the video area while nothing plays.
        QImage img = NewImage(296, 209, kVideo);
        QPainter p(&img);
        Smooth(p);
        QRadialGradient g(QPointF(148, 95), 170);
        g.setColorAt(0, QColor(0x2A, 0x31, 0x3B));
        g.setColorAt(1, kVideo);
        p.fillRect(img.rect(), g);
        Logo(p, QPointF(140, 88), 34);
        p.setPen(QColor(0xB8, 0xC1, 0xCC));
        p.setFont(Font(13));
        p.drawText(QRectF(0, 146, 296, 20), Qt::AlignCenter, "Select a title and press Play");
        p.end();
        Save(img, "video.bmp");
    }
    {
        // Shown over the title list before a DVD is loaded.
        QImage img = NewImage(454, 238, Qt::white);
        QPainter p(&img);
        Smooth(p);
        Logo(p, QPointF(52, 50), 24);
        p.setPen(kInk);
        p.setFont(Font(20, true));
        p.drawText(QPointF(96, 50), "Getting started");
        p.setFont(Font(12));
        p.setPen(kMuted);
        p.drawText(QPointF(96, 70), "Convert the titles of a DVD into video files.");
        const char* steps[] = {"Click Add File and load a DVD, a DVD folder or an ISO image.",
                               "Check the titles to convert; pick audio and subtitle tracks.",
                               "Choose a profile and an output folder, then press Start."};
        for (int i = 0; i < 3; ++i) {
            const double y = 110 + i * 38;
            p.setPen(Qt::NoPen);
            p.setBrush(kAccent);
            p.drawEllipse(QPointF(40, y), 11, 11);
            p.setPen(Qt::white);
            p.setFont(Font(12, true));
            p.drawText(QRectF(29, y - 11, 22, 22), Qt::AlignCenter, QString::number(i + 1));
            p.setPen(kInk);
            p.setFont(Font(12));
            p.drawText(QRectF(62, y - 11, 380, 22), Qt::AlignVCenter | Qt::AlignLeft, steps[i]);
        }
        p.end();
        Save(img, "getting started.bmp");
    }
    {
        // Splash: light above, with the rights line drawn at (40, 215) in
        // black; a dark band below for the yellow version line at (160, 232).
        const int w = 420, h = 260;
        QImage img = NewImage(w, h, Qt::white);
        QPainter p(&img);
        Smooth(p);
        QLinearGradient g(0, 0, 0, 230);
        g.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
        g.setColorAt(1, QColor(0xDD, 0xE8, 0xF7));
        p.fillRect(QRect(0, 0, w, 230), g);
        p.fillRect(QRect(0, 230, w, 30), QColor(0x1C, 0x23, 0x2D));
        p.fillRect(QRect(0, 0, w, 4), kAccent);
        Logo(p, QPointF(92, 104), 50);
        p.setPen(kInk);
        p.setFont(Font(36, true));
        p.drawText(QPointF(164, 112), "Discreel");
        p.setPen(kMuted);
        p.setFont(Font(14));
        p.drawText(QPointF(166, 136), "DVD to video converter");
        p.setPen(QPen(kLine, 1));
        p.drawLine(QPointF(40, 196), QPointF(380, 196));
        p.end();
        Save(img, "starup.jpg");
    }
}

void MakeConverting() {
    const int w = 485, h = 550;
    MakeDialog("convertingbk.png", w, h, 36, [&](QPainter& p) {
        VideoWell(p, skin_layout::kConvPreview);
        // Quiet grooves under the two progress bars' places.
        for (QRect r : {skin_layout::kConvFileProgress, skin_layout::kConvJobProgress})
            p.fillRect(r.adjusted(-1, -1, 1, 1), QColor(0x6F, 0x72, 0x76));
        p.fillRect(QRect(16, 505, w - 32, 1), QColor(0x9E, 0xA1, 0xA5));
    }, kConvBody);
}

void MakeCropDialog() {
    MakeDialog("cropbk.png", 800, 600, 34, [](QPainter& p) {
        Caption(p, QPointF(16, 62), "ORIGINAL");
        Caption(p, QPointF(408, 62), "OUTPUT PREVIEW");
        VideoWell(p, QRect(14, 70, 380, 284));
        VideoWell(p, QRect(406, 70, 380, 284));
        // Time read-out beside the volume slider.
        p.fillRect(QRect(440, 413, 120, 23), QColor(73, 73, 73));
        // Speaker glyph before the volume slider at (627, 414).
        {
            QPainterPath s;
            s.moveTo(604, 418);
            s.lineTo(608, 418);
            s.lineTo(613, 413);
            s.lineTo(613, 428);
            s.lineTo(608, 423);
            s.lineTo(604, 423);
            s.closeSubpath();
            p.fillPath(s, kMuted);
            p.setPen(QPen(kMuted, 1.4));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(610, 415, 8, 11), -60 * 16, 120 * 16);
        }
        // The settings page under the tabs.
        const QRect page = skin_layout::kCropPagePanel;
        Card(p, QRectF(page), kPanel, 6);
    });
}

void MakePreferences() {
    MakeDialog("ProferencesDlg.png", 575, 440, 36, [](QPainter& p) {
        // The page frame; the page images are drawn at (20, 88) inside it.
        p.fillRect(QRect(19, 87, 537, 307), kLine);
        p.fillRect(QRect(20, 88, 535, 305), kPrefsPage);
    });

    // Pages: flat in the labels' colour, with quiet rules between sections.
    auto page = [](const char* name, std::initializer_list<int> rulesAt) {
        QImage img = NewImage(535, 305, kPrefsPage);
        QPainter p(&img);
        for (int y : rulesAt) {
            p.fillRect(QRect(30, y, 475, 1), QColor(0xB7, 0xBC, 0xC5));
            p.fillRect(QRect(30, y + 1, 475, 1), QColor(0xE4, 0xE7, 0xEC));
        }
        p.end();
        Save(img, name);
    };
    // Sections start at 90 ("OutPut"), 218 ("Converting Done") and 296 ("CPU
    // Usage") in the dialog, that is at 2, 130 and 208 on the page.
    page("generalbk.png", {120, 198});
    page("optionsbk.png", {124});
}

void MakeSettings() {
    MakeDialog("setdlgbk.png", 580, 440, 36, [](QPainter& p) {
        Card(p, QRectF(20, 52, 540, 110));   // Video
        Card(p, QRectF(20, 172, 540, 100));  // Audio
        Card(p, QRectF(20, 282, 540, 104));  // Help
    });
}

void MakeProperties() {
    MakeDialog("propertiesbk.png", 580, 430, 36, [](QPainter& p) {
        Card(p, QRectF(20, 52, 540, 160));   // Video Information
        Card(p, QRectF(20, 222, 540, 160));  // Audio Infomation
    });
}

void MakeAbout() {
    MakeDialog("aboutdlg.png", 440, 350, 36, [](QPainter& p) {
        Card(p, QRectF(20, 52, 400, 250));
        Logo(p, QPointF(66, 96), 26);
        p.setPen(kInk);
        p.setFont(Font(24, true));
        p.drawText(QPointF(108, 104), "Discreel");
        p.setPen(kMuted);
        p.setFont(Font(12));
        p.drawText(QPointF(110, 122), "DVD to video converter");
    });
}

void MakeFinished() {
    // The whole message is part of the picture; OK sits at (240, 140).
    MakeDialog("converterok_bg.png", 360, 180, 0, [](QPainter& p) {
        const QPointF c(52, 74);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2E, 0xA0, 0x5A));
        p.drawEllipse(c, 24, 24);
        p.setPen(QPen(Qt::white, 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        QPainterPath tick;
        tick.moveTo(c + QPointF(-11, 1));
        tick.lineTo(c + QPointF(-3, 9));
        tick.lineTo(c + QPointF(12, -8));
        p.drawPath(tick);
        p.setPen(kInk);
        p.setFont(Font(17, true));
        p.drawText(QPointF(92, 70), "Conversion completed");
        p.setPen(kMuted);
        p.setFont(Font(12));
        p.drawText(QPointF(93, 92), "The files are in the output folder.");
    });
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_skin <output folder>\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(g_out)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    MakeButtons();
    MakeSliders();
    MakeMain();
    MakeStills();
    MakeConverting();
    MakeCropDialog();
    MakePreferences();
    MakeSettings();
    MakeProperties();
    MakeAbout();
    MakeFinished();
    std::printf("%d images written to %s\n", g_written, argv[1]);
    return 0;
}
