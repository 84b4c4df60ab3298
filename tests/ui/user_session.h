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

// `Window` plays the user on one window and reads off its screen:
// FocusedName() (the table's name), PressTab(), PressEnter(keypad),
// Focus(control), DropOnAddressBox(paths) (as old programs drop),
// DragFiles(box, paths), DragLink(box, text), TypeAndPressEnter(text) (in
// the new-address box), Text(box), and LastMessage(): the last message
// box's title and text. Hangul is outside code page 936: a path that keeps
// it reached the window whole. The Open button chooses `chosen`.
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
  seen += "; opened," + tabs();
  window.DropOnAddressBox(
      {folder.MakeTaskFile("b.txt"),
       folder.MakeTaskFile("영화.td.cfg", {.name = "y", .address = "http://y/"})});
  seen += "; dropped: " + window.Text(Control::kText3) + window.Text(Control::kText1);
  window.DragLink(Control::kText1, "http://link/");
  window.DragLink(Control::kText3, "http://link/");
  seen += "; link on the address and name boxes: " + window.Text(Control::kText3) +
          window.Text(Control::kText1);
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
    "opened, tabs Text2 Command1 Text3 Command2 Text1; dropped: yhttp://y/; "
    "link on the address and name boxes: yhttp://y/; link on the new-address box: http://link/; "
    "files on the new-address box: http://link/; files dragged: chttp://c/; "
    "modified: http://下载 http://下载; told: Orvanta: 修改完成...";

}  // namespace orvanta::testing
