// The main window on Linux: the controls of form_layout.h as Qt widgets,
// forwarding their events to the TaskController it owns.
#pragma once

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "controller/task_controller.h"
#include "controller/task_view.h"
#include "ui/form_layout.h"
#include "ui/qt/form_controls.h"

namespace orvanta::qt {

// Qt's own texts (the standard buttons: 确定, 取消) in Chinese, as the
// window's are, where Qt's translations are installed.
void InstallChineseQtTexts(QCoreApplication& app);

// Returns the chosen file's full path (UTF-8), or nothing when cancelled.
using FileChooser = std::function<std::optional<std::string>(QWidget* owner)>;

class Form1 final : public QWidget, private TaskView {
 public:
  // `choose_file` stands in for the open-file dialog when given.
  explicit Form1(FileChooser choose_file = {}, QWidget* parent = nullptr);

  // Opens each of the files the program was started with, in turn.
  void OpenGivenFiles(const std::vector<std::string>& paths) { controller_.OpenGivenFiles(paths); }

 private:
  QPlainTextEdit* Box(form::Control control) const;

  // TaskView
  void SetAddressText(const std::string& text) override;
  void SetNewAddressText(const std::string& text) override;
  std::string GetNewAddressText() override;
  void SetTaskNameText(const std::string& text) override;
  void SetModifyEnabled(bool enabled) override;
  void ShowMessage(const std::string& text) override;
  std::optional<std::string> ChooseTaskFile() override;

  FileChooser choose_file_;
  FormControls controls_{};
  TaskController controller_;
};

}  // namespace orvanta::qt
