// The main window on Windows: the controls of form_layout.h as native
// controls, forwarding their events to the TaskController it owns.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controller/task_controller.h"
#include "controller/task_view.h"
#include "ui/form_layout.h"
#include "ui/win32/form_controls.h"
#include "ui/win32/scoped_gdi.h"

namespace orvanta::win32 {

// Returns the chosen file's full path (UTF-8), or nothing when cancelled.
using FileChooser = std::function<std::optional<std::string>(HWND owner)>;

// Whether the user has turned Windows' high contrast on.
using HighContrastSetting = std::function<bool()>;
bool HighContrastIsOn();

class Form1 final : private TaskView {
 public:
  // Creates the window, hidden, sized for its screen's DPI and centred on
  // it, and starts the controller. `choose_file` stands in for the
  // open-file dialog, and `high_contrast` for the system's setting, when
  // given. Null when the window cannot be created.
  static std::unique_ptr<Form1> Create(HINSTANCE instance, FileChooser choose_file = {},
                                       HighContrastSetting high_contrast = HighContrastIsOn);

  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  ~Form1() override;

  HWND hwnd() const { return hwnd_; }

  // Called once the user has closed the window: the program's end.
  void WhenClosed(std::function<void()> closed) { closed_ = std::move(closed); }

  // Opens each of the files the program was started with, in turn.
  void OpenGivenFiles(const std::vector<std::string>& paths) { controller_.OpenGivenFiles(paths); }

  // Gives the window's keyboard navigation (Tab) its turn at a message from
  // the loop; true when the message was handled.
  bool HandleDialogKeys(MSG& message);

 private:
  Form1(FileChooser choose_file, HighContrastSetting high_contrast);

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK TextBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR id, DWORD_PTR form);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  void OnCreate();
  void OnCommand(int id, int code);
  LRESULT OnCtlColorEdit(HDC dc, HWND box);
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnActivate(bool active);
  void OnColoursChanged();
  void OnDropFiles(HDROP drop);
  void RegisterDropTargets();
  void RevokeDropTargets();
  void LayOut(UINT dpi);
  HWND ControlWindow(form::Control control) const { return controls_[form::IndexOf(control)]; }

  // TaskView
  void SetAddressText(const std::string& text) override;
  void SetNewAddressText(const std::string& text) override;
  std::string GetNewAddressText() override;
  void SetTaskNameText(const std::string& text) override;
  void SetModifyEnabled(bool enabled) override;
  void ShowMessage(const std::string& text) override;
  std::optional<std::string> ChooseTaskFile() override;

  HWND hwnd_ = nullptr;
  FormControls controls_{};
  ScopedFont font_;
  ScopedBrush grey_brush_;
  HWND focus_when_inactive_ = nullptr;
  FileChooser choose_file_;
  HighContrastSetting high_contrast_setting_;
  std::function<void()> closed_;
  bool high_contrast_ = false;
  bool ole_initialized_ = false;
  TaskController controller_;
};

}  // namespace orvanta::win32
