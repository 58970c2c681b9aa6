// Basic values shared by the window layer and the logic: Windows-style colour
// values, fonts, message-box choices. Lengths are twips (1/1440 inch) unless a
// name says pixels.
#pragma once

#include <cstdint>
#include <string>

namespace ui {

// &H00BBGGRR; &H80000000 + n is system colour n, resolved only when drawn.
using Color = uint32_t;
constexpr Color kSysWindowBackground = 0x80000005;
constexpr Color kSysWindowText = 0x80000008;
constexpr Color kSys3DLight = 0x80000016;
constexpr Color rgb(int r, int g, int b) {
    return static_cast<Color>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

struct Font {
    std::string name;  // empty: the platform's default face
    bool bold = false;
    bool italic = false;
    double size = 8;  // points
    bool underline = false;
    bool operator==(const Font&) const = default;
};

enum class Buttons { OK, OKCancel, YesNo, YesNoCancel };
enum class Icon { None, Question, Exclamation, Information, Critical };
enum class Answer { OK, Cancel, Yes, No };

enum class WindowState { Normal = 0, Minimized = 1, Maximized = 2 };
enum class MousePointer { Default, Hourglass, Hand };

// Shift-state bits as key and mouse events report them.
constexpr int kShiftMask = 1;
constexpr int kCtrlMask = 2;
constexpr int kAltMask = 4;

}  // namespace ui
