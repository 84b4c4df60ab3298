// What the task controller needs of a window. Every call is synchronous;
// texts and paths are UTF-8.
#pragma once

#include <optional>
#include <string>

namespace orvanta {

class TaskView {
 public:
  virtual ~TaskView() = default;

  virtual void SetAddressText(const std::string& text) = 0;     // the stored address
  virtual void SetNewAddressText(const std::string& text) = 0;  // the box the user types in
  virtual std::string GetNewAddressText() = 0;
  virtual void SetTaskNameText(const std::string& text) = 0;
  virtual void SetModifyEnabled(bool enabled) = 0;

  // A modal message with an OK button; returns once it is dismissed.
  virtual void ShowMessage(const std::string& text) = 0;

  // Runs the open-file dialog; the chosen file's full path, or nothing when
  // the user cancelled.
  virtual std::optional<std::string> ChooseTaskFile() = 0;
};

}  // namespace orvanta
