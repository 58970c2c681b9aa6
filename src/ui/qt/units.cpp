#include "units.h"

#include <QGuiApplication>
#include <QFontInfo>
#include <QKeyEvent>
#include <QScreen>
#include <cmath>

namespace uiqt {

double logicalDpi() {
    QScreen* s = QGuiApplication::primaryScreen();
    double dpi = s ? s->logicalDotsPerInch() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

int px(double tw) { return static_cast<int>(std::lround(tw / twipsPerPixel())); }

double twips(double pixels) { return pixels * twipsPerPixel(); }

namespace {

int lightness(const QColor& c) { return c.lightness(); }

}  // namespace

QColor resolveColor(ui::Color c, const QPalette& pal) {
    if (!(c & 0x80000000u)) return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
    switch (c & 0xFF) {
    case 0: return pal.color(QPalette::Button);             // scroll bar
    case 1: return pal.color(QPalette::Dark);               // desktop
    case 2: case 13: return pal.color(QPalette::Highlight); // active caption, highlight
    case 3: return pal.color(QPalette::Mid);                // inactive caption
    case 4: return pal.color(QPalette::Window);             // menu
    case 5: return pal.color(QPalette::Base);               // window background
    case 6: case 21: return pal.color(QPalette::Shadow);    // window frame, 3-D dark shadow
    case 7: return pal.color(QPalette::WindowText);         // menu text
    case 8: return pal.color(QPalette::Text);               // window text
    case 9: case 14: return pal.color(QPalette::HighlightedText);
    case 10: case 11: case 15: return pal.color(QPalette::Button);  // borders, button face
    case 12: return pal.color(QPalette::Dark);              // application workspace
    case 16: return pal.color(QPalette::Dark);              // button shadow
    case 17: return pal.color(QPalette::Disabled, QPalette::Text);  // grey text
    case 18: return pal.color(QPalette::ButtonText);
    case 19: return pal.color(QPalette::Text);
    case 20: return pal.color(QPalette::Light);             // button highlight
    case 22: {                                              // 3-D light
        // Some styles make Midlight as white as the cells; totals must stand out from them.
        QColor m = pal.color(QPalette::Midlight);
        int base = lightness(pal.color(QPalette::Base));
        if (std::abs(lightness(m) - base) >= 10) return m;
        QColor b = pal.color(QPalette::Button);
        if (std::abs(lightness(b) - base) >= 10) return b;
        return base > 128 ? b.darker(110) : b.lighter(130);
    }
    case 23: return pal.color(QPalette::ToolTipText);
    case 24: return pal.color(QPalette::ToolTipBase);
    default: return pal.color(QPalette::Window);
    }
}

QFont toQFont(const ui::Font& f, const QFont& base) {
    QFont q = base;
    if (!f.name.empty()) q.setFamily(qs(f.name));
    q.setBold(f.bold);
    q.setItalic(f.italic);
    q.setUnderline(f.underline);
    if (f.size > 0) q.setPointSizeF(f.size);
    return q;
}

QFont designFont(double pointSize) {
    static const QString family = [] {
        // Families may be listed with their foundry ("Nimbus Sans [urw]"); ask what a request resolves to.
        for (const char* f : {"Arial", "Liberation Sans", "Nimbus Sans", "Helvetica", "Arimo"}) {
            QFont probe(QString::fromLatin1(f));
            probe.setStyleHint(QFont::AnyStyle, QFont::NoFontMerging);
            if (QFontInfo(probe).family().startsWith(QString::fromLatin1(f), Qt::CaseInsensitive))
                return QString::fromLatin1(f);
        }
        return QGuiApplication::font().family();
    }();
    QFont q = QGuiApplication::font();
    q.setFamily(family);
    q.setPointSizeF(pointSize);
    return q;
}

ui::Font fromQFont(const QFont& q) {
    ui::Font f;
    f.name = ss(q.family());
    f.bold = q.bold();
    f.italic = q.italic();
    f.underline = q.underline();
    f.size = q.pointSizeF() > 0 ? q.pointSizeF() : 8;
    return f;
}

int windowsKeyCode(const QKeyEvent& e) {
    int k = e.key();
    if (k >= Qt::Key_A && k <= Qt::Key_Z) return k;  // same codes, 65..90
    if (k >= Qt::Key_0 && k <= Qt::Key_9) return (e.modifiers() & Qt::KeypadModifier) ? 96 + (k - Qt::Key_0) : k;
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return 112 + (k - Qt::Key_F1);
    switch (k) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: case Qt::Key_Backtab: return 9;
    case Qt::Key_Return: case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Asterisk: return 106;
    case Qt::Key_Plus: return (e.modifiers() & Qt::KeypadModifier) ? 107 : 187;
    case Qt::Key_Minus: return (e.modifiers() & Qt::KeypadModifier) ? 109 : 189;
    case Qt::Key_Period: return (e.modifiers() & Qt::KeypadModifier) ? 110 : 190;
    case Qt::Key_Slash: return (e.modifiers() & Qt::KeypadModifier) ? 111 : 191;
    case Qt::Key_Semicolon: case Qt::Key_Colon: return 186;
    case Qt::Key_Comma: return 188;
    default: return 0;
    }
}

int shiftState(Qt::KeyboardModifiers m) {
    int s = 0;
    if (m & Qt::ShiftModifier) s |= ui::kShiftMask;
    if (m & Qt::ControlModifier) s |= ui::kCtrlMask;
    if (m & Qt::AltModifier) s |= ui::kAltMask;
    return s;
}

int keyAscii(const QKeyEvent& e) {
    switch (e.key()) {
    case Qt::Key_Return: case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Backspace: return 8;
    default: break;
    }
    QString t = e.text();
    if (t.isEmpty()) return 0;
    char16_t u = t.at(0).unicode();
    // Durations and notes typed through these events are ASCII; other characters
    // reach text widgets through their own editing.
    return (u > 0 && u < 128 && u != 127) ? int(u) : 0;
}

int mouseButton(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
    }
}

}  // namespace uiqt
