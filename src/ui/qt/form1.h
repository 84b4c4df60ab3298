// The main window on Linux: the controls of form_layout.h as Qt widgets,
// forwarding their events to the TaskController it owns.
#pragma once

#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "controller/task_controller.h"
#include "controller/task_view.h"

namespace orvanta::qt {

// Returns the chosen file's full path (UTF-8), or nothing when cancelled.
using FileChooser = std::function<std::optional<std::string>(QWidget* owner)>;

// The address box: takes dropped files, and nothing else, in one drop.
class DropTextEdit final : public QPlainTextEdit {
 public:
  std::function<void(const std::vector<std::string>& paths)> on_files_dropped;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

class Form1 final : public QWidget, private TaskView {
 public:
  // `choose_file` stands in for the open-file dialog when given.
  explicit Form1(FileChooser choose_file = {}, QWidget* parent = nullptr);

  TaskController& controller() { return controller_; }

 private:
  void CreateControls();

  // TaskView
  void SetAddressText(const std::string& text) override;
  void SetNewAddressText(const std::string& text) override;
  std::string GetNewAddressText() override;
  void SetTaskNameText(const std::string& text) override;
  void SetModifyEnabled(bool enabled) override;
  void ShowMessage(const std::string& text) override;
  std::optional<std::string> ChooseTaskFile() override;

  FileChooser choose_file_;
  DropTextEdit* text1_ = nullptr;    // stored address
  QPlainTextEdit* text2_ = nullptr;  // new address
  QPlainTextEdit* text3_ = nullptr;  // task name
  QPushButton* command1_ = nullptr;  // Modify
  QPushButton* command2_ = nullptr;  // Open
  TaskController controller_;
};

}  // namespace orvanta::qt
