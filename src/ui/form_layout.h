// The main window's controls: what each is for, where it stands, what it
// says and how it behaves, shared by the Win32 and the Qt window and their
// tests. Positions are in twips (1/1440 inch; 15 twips make a pixel at
// 96 DPI).
#pragma once

#include <array>
#include <cstddef>

namespace orvanta::form {

enum class ControlKind { kLabel, kTextBox, kButton };

// What a box takes when something is dragged onto it.
enum class Drops {
  kNothing,
  kFiles,  // task files, opened in turn; a drag without files changes nothing
  kLinks,  // text, such as a link from a browser, put in as a paste would be
};

// In focus order, the order in which the windows create them: Text1, Text2,
// Command1, Text3, Command2 (labels take no focus).
enum class Control : std::size_t {
  kLabel1,    // "原下载地址:", names Text1
  kText1,     // the address stored in the task file; files are dropped here
  kLabel2,    // "修改下载地址为:", names Text2
  kText2,     // the new address, typed, pasted or dragged in by the user
  kCommand1,  // 修改: stores the new address
  kLabel3,    // "任务文件名:", names Text3
  kText3,     // the task's name
  kCommand2,  // 打开: chooses a task file with the open-file dialog
};

struct ControlLayout {
  Control control;
  const char* name;  // as the windows name it, for screen readers and styles
  ControlKind kind;
  const char* text;  // UTF-8
  int left, top, width, height;
  bool grey = false;  // black on grey: shows what was read from the file
  Drops drops = Drops::kNothing;
};

inline constexpr int kClientWidth = 6930;
inline constexpr int kClientHeight = 5175;
inline constexpr int kTwipsPerInch = 1440;
inline constexpr unsigned kGrey = 0xE0E0E0;  // red, green and blue 224

inline constexpr std::array kControls = {
    ControlLayout{Control::kLabel1, "Label1", ControlKind::kLabel, "原下载地址:", 120, 1080, 1095,
                  255},
    ControlLayout{Control::kText1, "Text1", ControlKind::kTextBox, "", 120, 1320, 6735, 1455, true,
                  Drops::kFiles},
    ControlLayout{Control::kLabel2, "Label2", ControlKind::kLabel, "修改下载地址为:", 120, 2880,
                  1455, 255},
    ControlLayout{Control::kText2, "Text2", ControlKind::kTextBox, "", 120, 3120, 6735, 1455, false,
                  Drops::kLinks},
    ControlLayout{Control::kCommand1, "Command1", ControlKind::kButton, "修改", 3960, 4680, 1455,
                  375},
    ControlLayout{Control::kLabel3, "Label3", ControlKind::kLabel, "任务文件名:", 120, 120, 990,
                  180},
    ControlLayout{Control::kText3, "Text3", ControlKind::kTextBox, "", 120, 360, 6735, 615, true},
    ControlLayout{Control::kCommand2, "Command2", ControlKind::kButton, "打开", 1560, 4680, 1455,
                  375},
};

constexpr std::size_t IndexOf(Control control) { return static_cast<std::size_t>(control); }

constexpr const ControlLayout& LayoutOf(Control control) { return kControls[IndexOf(control)]; }

static_assert(
    [] {
      for (std::size_t i = 0; i < kControls.size(); ++i) {
        if (IndexOf(kControls[i].control) != i) return false;
      }
      return true;
    }(),
    "kControls lists the controls in the order of Control");

// The open-file dialog's title, and the name of the one filter it offers,
// which lets every file be chosen.
inline constexpr const char* kOpenDialogTitle = "打开文件";
inline constexpr const char* kAllFilesName = "所有文件";

// Twips to pixels at `dpi` dots per inch, rounded to the nearest.
constexpr int TwipsToPixels(int twips, int dpi) {
  return (twips * dpi + kTwipsPerInch / 2) / kTwipsPerInch;
}

}  // namespace orvanta::form
