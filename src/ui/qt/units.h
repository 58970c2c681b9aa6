// Conversions between the models' units and the screen: twips (1/1440 inch)
// through the screen's logical DPI, Windows colour values through the palette,
// model fonts to QFont, and Qt key events to Windows key codes.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>
#include <string>

#include "ui/types.h"

class QKeyEvent;
class QMouseEvent;

namespace uiqt {

// Logical dots per inch of the primary screen (96 when there is none).
double logicalDpi();
inline double twipsPerPixel() { return 1440.0 / logicalDpi(); }
// Every length goes through this one rounding, so that sums of twips computed by
// the logic land on the same pixels as the widgets they were measured from.
int px(double twips);
double twips(double pixels);

QColor resolveColor(ui::Color c, const QPalette& pal);

QFont toQFont(const ui::Font& f, const QFont& base);
// The face the grid and the dialogs use when none is named: one with the metrics
// their twips layouts were designed for (Arial's), else the application's.
QFont designFont(double pointSize);
ui::Font fromQFont(const QFont& f);

inline QString qs(const std::string& s) { return QString::fromStdString(s); }
inline std::string ss(const QString& s) { return s.toStdString(); }

// The Windows virtual-key code of a key event (65 'A', 37 Left, 112 F1 ...); 0 when none.
int windowsKeyCode(const QKeyEvent& e);
// Shift, Ctrl and Alt as the shift-state bits of ui/types.h.
int shiftState(Qt::KeyboardModifiers m);
// The character code a key press types (13 Enter, 27 Esc, 8 Backspace), or 0.
int keyAscii(const QKeyEvent& e);
// 1 left, 2 right, 4 middle, as mouse events report them.
int mouseButton(Qt::MouseButton b);

}  // namespace uiqt
