// The behaviour of the window without the window: which task file is
// loaded, and what each user action does with it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "controller/task_view.h"
#include "taskfile/file_path.h"
#include "taskfile/file_system.h"
#include "taskfile/task_file_reader.h"

namespace orvanta {

struct TaskState {
  FilePath TaskFilePath;  // last loaded or last chosen
  // The lengths its last load found, which say where the address is; none
  // when that load found no whole task file.
  std::optional<TaskLengths> TaskLoaded;
};

class TaskController {
 public:
  // Neither argument is owned; both must outlive the controller.
  explicit TaskController(TaskView& view, FileSystem& file_system = SystemFileSystem());

  void Start();  // the window has loaded
  void LoadTaskFile(const std::string& path);
  void OpenChosenFile();                                  // the Open button
  void DropFiles(const std::vector<std::string>& paths);  // files dropped on the address box
  // Paths the program was started with (a file manager's "Open with"): each
  // is opened in turn as if chosen with Open, so the last one decides.
  void OpenGivenFiles(const std::vector<std::string>& paths);
  void ModifyAddress();  // the Modify button

 private:
  void Load(const FilePath& path);
  void ClearBoxes();
  void MarkNotLoaded();

  TaskView& view_;
  FileSystem& file_system_;
  TaskState state_;
};

// The name shown for a task file that stores none: its file name without the
// seven characters of ".td.cfg". Empty when fewer than seven follow the last
// path separator.
std::string DisplayNameFromPath(const std::string& path);

// Removes from both ends what a paste or a key adds: spaces (U+0020),
// ideographic spaces (U+3000), tabs and line breaks (CR, LF).
std::string TrimSpaces(const std::string& text);

// Whether a dropped path names a task file: its last six characters are
// exactly "td.cfg".
bool HasTaskFileEnding(const std::string& path);

}  // namespace orvanta
