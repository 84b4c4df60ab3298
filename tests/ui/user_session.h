// One user's session with the main window, played the same on the Win32 and
// the Qt window through their controls: the windows must agree on what the
// user sees, so both compare it with one transcript.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "support/task_file_bytes.h"
#include "ui/form_layout.h"

namespace orvanta::testing {

// `Window` plays the user on one window, and reads off its screen:
// FocusedName() (the table's name of the control in focus), PressTab(),
// Focus(control), Click(button), TakesDrops(control) (whether a drop there
// reaches the program, by the control or the window), DropOnAddressBox(paths),
// TypeAndPressEnter(text) (in the new-address box), Text(box), and
// LastMessage(): the last message box's title, " plain: " when it had one
// button and no icon, and its text.
// The focus starts in the address box, and Tab skips Modify while it is off.
// Only the address box takes drops. Opened, dropped, typed and modified,
// each view call reaches its control; the message comes plain, with the
// program's title. Hangul is outside code page 936: a path that keeps it
// reached the window whole. The Open button chooses `chosen`.
template <class Window>
std::string PlayUserSession(Window& window, const TempFolder& folder,
                            std::optional<std::string>& chosen) {
  using form::Control;
  auto tabs = [&] {
    std::string order = " tabs";
    for (int i = 0; i < 5; ++i) window.PressTab(), order += " " + window.FocusedName();
    return order;
  };
  std::string seen = "focus " + window.FocusedName();
  seen += tabs();
  chosen = folder.MakeTaskFile("a.td.cfg");
  window.Click(Control::kCommand2);
  window.Focus(Control::kText1);
  seen += "; opened," + tabs() + "; drops:";
  for (const form::ControlLayout& control : form::kControls) {
    if (window.TakesDrops(control.control)) seen += std::string(" ") + control.name;
  }
  window.DropOnAddressBox({folder.MakeTaskFile("b.txt"), folder.MakeTaskFile("영화.td.cfg")});
  seen += "; dropped: " + window.Text(Control::kText3) + window.Text(Control::kText1);
  window.TypeAndPressEnter(" http://下载 ");
  window.Click(Control::kCommand1);
  return seen + "; modified: " + window.Text(Control::kText2) + " " + window.Text(Control::kText1) +
         "; told: " + window.LastMessage();
}

inline const std::string kUserSessionSeen =
    "focus Text1 tabs Text2 Text3 Command2 Text1 Text2; "
    "opened, tabs Text2 Command1 Text3 Command2 Text1; drops: Text1; dropped: na; "
    "modified: http://下载 http://下载; told: Orvanta plain: 修改完成...";

}  // namespace orvanta::testing
