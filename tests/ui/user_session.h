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
// PressEnter(keypad) (Return, or the keypad's Enter), Focus(control),
// Click(button), TakesDrops(control) (whether a drop there reaches the
// program, by the control or the window), DropOnAddressBox(paths) (as an
// old program drops files), DragFiles(box, paths) and DragLink(box, text)
// (as a file manager or a browser drags them today), TypeAndPressEnter(text)
// (in the new-address box), Text(box), and LastMessage(): the last message
// box's title, " plain: " when it had one button and no icon, and its text.
// The focus starts in the address box, Tab skips Modify while it is off, and
// Enter presses the button in focus. Only the address box takes files; a
// link dragged there changes nothing, and one dragged onto the new-address
// box lands there. Opened, dropped, typed and modified, each view call
// reaches its control; the message comes plain, with the program's title.
// Hangul is outside code page 936: a path that keeps it reached the window
// whole. The Open button chooses `chosen`.
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
  window.Focus(Control::kCommand2);
  window.PressEnter(false);
  window.Focus(Control::kText1);
  seen += "; opened," + tabs() + "; drops:";
  for (const form::ControlLayout& control : form::kControls) {
    if (window.TakesDrops(control.control)) seen += std::string(" ") + control.name;
  }
  window.DropOnAddressBox(
      {folder.MakeTaskFile("b.txt"),
       folder.MakeTaskFile("영화.td.cfg", {.name = "y", .address = "http://y/"})});
  seen += "; dropped: " + window.Text(Control::kText3) + window.Text(Control::kText1);
  window.DragLink(Control::kText1, "http://link/");
  seen +=
      "; link on the address box: " + window.Text(Control::kText3) + window.Text(Control::kText1);
  window.DragLink(Control::kText2, "http://link/");
  seen += "; link on the new-address box: " + window.Text(Control::kText2);
  window.DragFiles(Control::kText2, {folder.MakeTaskFile("c.td.cfg")});
  seen += "; files on the new-address box: " + window.Text(Control::kText2);
  window.DragFiles(Control::kText1,
                   {folder.MakeTaskFile("c.td.cfg", {.name = "c", .address = "http://c/"})});
  seen += "; files dragged: " + window.Text(Control::kText3) + window.Text(Control::kText1);
  window.TypeAndPressEnter(" http://下载 ");
  window.Focus(Control::kCommand1);
  window.PressEnter(true);
  return seen + "; modified: " + window.Text(Control::kText2) + " " + window.Text(Control::kText1) +
         "; told: " + window.LastMessage();
}

inline const std::string kUserSessionSeen =
    "focus Text1 tabs Text2 Text3 Command2 Text1 Text2; "
    "opened, tabs Text2 Command1 Text3 Command2 Text1; drops: Text1 Text2; dropped: yhttp://y/; "
    "link on the address box: yhttp://y/; link on the new-address box: http://link/; "
    "files on the new-address box: http://link/; files dragged: chttp://c/; "
    "modified: http://下载 http://下载; told: Orvanta plain: 修改完成...";

}  // namespace orvanta::testing
