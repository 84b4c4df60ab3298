// The main window's controls, where they stand and what they say, shared by
// the Win32 and the Qt window. Positions are in twips (1/1440 inch; 15 twips
// make a pixel at 96 DPI).
#pragma once

#include <array>

namespace orvanta::form {

enum class ControlKind { kLabel, kTextBox, kButton };

struct ControlLayout {
  const char* name;
  ControlKind kind;
  const char* text;  // UTF-8
  int left, top, width, height;
  bool grey;  // the two boxes that show what was read from the file
};

inline constexpr int kClientWidth = 6930;
inline constexpr int kClientHeight = 5175;
inline constexpr int kTwipsPerInch = 1440;
inline constexpr unsigned kGrey = 0xE0E0E0;  // red, green and blue 224

// In focus order: Text1, Text2, Command1, Text3, Command2 (labels take none).
inline constexpr std::array kControls = {
    ControlLayout{"Label1", ControlKind::kLabel, "原下载地址:", 120, 1080, 1095, 255, false},
    ControlLayout{"Text1", ControlKind::kTextBox, "", 120, 1320, 6735, 1455, true},
    ControlLayout{"Label2", ControlKind::kLabel, "修改下载地址为:", 120, 2880, 1455, 255, false},
    ControlLayout{"Text2", ControlKind::kTextBox, "", 120, 3120, 6735, 1455, false},
    ControlLayout{"Command1", ControlKind::kButton, "修改", 3960, 4680, 1455, 375, false},
    ControlLayout{"Label3", ControlKind::kLabel, "任务文件名:", 120, 120, 990, 180, false},
    ControlLayout{"Text3", ControlKind::kTextBox, "", 120, 360, 6735, 615, true},
    ControlLayout{"Command2", ControlKind::kButton, "打开", 1560, 4680, 1455, 375, false},
};

// Twips to pixels at `dpi` dots per inch, rounded to the nearest.
constexpr int TwipsToPixels(int twips, int dpi) {
  return (twips * dpi + kTwipsPerInch / 2) / kTwipsPerInch;
}

}  // namespace orvanta::form
