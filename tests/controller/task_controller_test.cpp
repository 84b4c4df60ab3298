#include "controller/task_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "support/faulty_file_system.h"
#include "support/task_file_bytes.h"
#include "taskfile/task_file_reader.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

using namespace testing;
using ::testing::StartsWith;
using std::string_literals::operator""s;
namespace fs = std::filesystem;

// The fixture is the controller's view: it keeps the boxes' texts, and logs
// every call that changes what the user sees, messages too, in order.
class TaskControllerTest : public ::testing::Test, public TaskView {
 protected:
  void SetAddressText(const std::string& text) override { Log("Text1", address_ = text); }
  void SetNewAddressText(const std::string& text) override { Log("Text2", new_address_ = text); }
  std::string GetNewAddressText() override { return new_address_; }
  void SetTaskNameText(const std::string& text) override { Log("Text3", name_ = text); }
  void SetModifyEnabled(bool enabled) override {
    Log("Command1", (modify_enabled_ = enabled) ? "on" : "off");
  }
  void ShowMessage(const std::string& text) override {
    Log("message", text), told_ += " » " + text;
  }
  std::optional<std::string> ChooseTaskFile() override { return chosen_; }
  void Log(const std::string& what, const std::string& text) {
    calls_ += (calls_.empty() ? "" : "; ") + what + ": " + text;
  }

  // The three boxes, and "on" while Modify is enabled.
  std::string Shown() const {
    return address_ + "|" + new_address_ + "|" + name_ + (modify_enabled_ ? "|on" : "|");
  }
  // The address the task file at `path` stores now; empty for no task.
  static std::string AddressIn(const std::string& path) {
    const TaskFileContent content = ReadTaskFile(PathFromUtf8(path));
    const auto* record = std::get_if<TaskRecord>(&content);
    return record ? record->AddressText : "";
  }

  // Does what `step` says, with files named as in the folder: "start", "open
  // NAME" ("open" alone cancels the dialog), "drop NAME;NAME...", "given
  // NAME;NAME...", "type TEXT" into the new-address box, "modify TEXT"
  // (types, then Modify). Returns what the boxes show then, with each
  // message after " » ". "stored NAME" returns the address the file stores,
  // "bytes NAME" its bytes, "calls" the view calls of the step before.
  std::string Do(const std::string& step) {
    const std::string verb = step.substr(0, step.find(' '));
    const std::string rest = step.substr(std::min(step.size(), verb.size() + 1));
    std::vector<std::string> paths;
    std::istringstream names(rest);
    for (std::string name; std::getline(names, name, ';');)
      paths.push_back(name.empty() ? "" : PathToUtf8(folder_ / name));
    if (verb == "stored") return AddressIn(paths.back());
    if (verb == "bytes") return ReadBytes(PathFromUtf8(paths.back()));
    if (verb == "calls") return calls_;
    told_.clear(), calls_.clear();
    if (verb == "type" || verb == "modify") new_address_ = rest;
    if (verb == "open") chosen_ = paths.empty() ? std::nullopt : std::optional(paths.back());
    if (verb == "start") controller_.Start();
    if (verb == "open") controller_.OpenChosenFile();
    if (verb == "drop") controller_.DropFiles(paths);
    if (verb == "given") controller_.OpenGivenFiles(paths);
    if (verb == "modify") controller_.ModifyAddress();
    return Shown() + told_;
  }

  std::string address_, new_address_, name_;
  bool modify_enabled_ = true;
  std::string told_;                   // " » " and each message
  std::string calls_;                  // "Text1: text; message: text..."
  std::optional<std::string> chosen_;  // what the open dialog returns
  TempFolder folder_;
  FaultyFileSystem file_system_;  // fails nothing until told
  TaskController controller_{*this, file_system_};
};

// What the user does, step by step, and what the window shows after each.
TEST_F(TaskControllerTest, ShowsWhatEachStepLoadedAndSaysWhyNot) {
  folder_.MakeTaskFile("a.td.cfg", {.name = "\xCF\xC2\xD4\xD8", .address = "http://h/x"});
  for (const char* unnamed : {"电影.mkv.td.cfg", "abctd.cfg", "td.cfg"})
    folder_.MakeTaskFile(unnamed, {.name_length = -2, .address = "a"});
  folder_.MakeTaskFile("first.td.cfg", {.address = "one"});
  for (const char* other : {"B.TD.CFG", "x.cfg"}) folder_.MakeTaskFile(other);
  folder_.MakeTaskFile("n.txt", {.name = "n", .address = "txt"});
  const std::string stored = BuildTaskFile({.name = "n", .address = "old", .remainder = "r"});
  WriteBytes(folder_ / "r.td.cfg", stored);
  WriteBytes(folder_ / "text.td.cfg", "plain text");
  WriteBytes(folder_ / "damaged.td.cfg", BuildTaskFile({.address_length = 99, .address = "a"}));
  fs::create_directory(folder_ / "folder.td.cfg");
  const std::string changed =
      BuildTaskFile({.name = "n", .address = "http://new/\xCE\xC4\xBC\xFE", .remainder = "r"});
  const std::string no_control = " » 新地址中不能有换行符或其他控制字符！";
  for (auto [step, seen] : std::initializer_list<std::pair<std::string, std::string>>{
           {"start", "|||"},
           {"open a.td.cfg", "http://h/x||下载|on"},
           // No name stored: the file's name stands in, without the seven
           // characters of ".td.cfg" whatever they are; fewer leave nothing.
           {"open 电影.mkv.td.cfg", "a||电影.mkv|on"},
           {"open abctd.cfg", "a||ab|on"},
           {"open td.cfg", "a|||on"},
           {"type x", "a|x||on"},
           {"open", "|||"},  // cancelled: cleared and disabled, the file kept
           {"modify http://kept", "http://kept|http://kept||on » 修改完成..."},
           {"stored td.cfg", "http://kept"},
           // A file that fails to load leaves nothing to change, neither
           // itself nor the one before.
           {"open text.td.cfg", "||| » 非迅雷cfg文件！"},
           {"modify http://not/loaded", "|http://not/loaded||"},
           {"open a.td.cfg", "http://h/x||下载|on"},
           {"open damaged.td.cfg", "||| » 任务文件已损坏！"},
           {"open a.td.cfg", "http://h/x||下载|on"},
           {"open folder.td.cfg", "||| » 无法读取文件！\n这是一个文件夹，不是文件"},
           {"modify http://not/loaded", "|http://not/loaded||"},
           {"stored td.cfg", "http://kept"},
           // A drop loads every file named exactly "...td.cfg" in turn, not
           // B.TD.CFG or another ".cfg"; the last decides.
           {"drop first.td.cfg;B.TD.CFG;x.cfg;c.txt;td.cf;;text.td.cfg",
            "one||first| » 非迅雷cfg文件！"},
           {"modify http://x", "one|http://x|first|"},
           // A drop without a task file leaves the boxes empty and Modify off.
           {"drop first.td.cfg", "one||first|on"},
           {"type x", "one|x|first|on"},
           {"drop B.TD.CFG;x.cfg", "|||"},
           {"modify http://meant/for/the/dropped/file", "|http://meant/for/the/dropped/file||"},
           {"stored first.td.cfg", "one"},
           // Nothing typed, or only spaces, would erase the address.
           {"open r.td.cfg", "old||n|on"},
           {"modify ", "old||n|on"},
           {"modify  \u3000 ", "old||n|on"},
           // Pasted with its line end, or Enter pressed after it. The trimmed
           // text goes back to its box, and the reload shows what the file
           // now stores, before the message says it is done.
           {"modify \u3000 \thttp://new/文件\r\n",
            "http://new/文件|http://new/文件|n|on » 修改完成..."},
           {"calls",
            "Text2: http://new/文件; Text3: n; Text1: http://new/文件; Command1: on; message: "
            "修改完成..."},
           {"bytes r.td.cfg", changed},
           // What the task file cannot hold as typed is refused, never
           // stored altered.
           {"modify http://a/\r\nhttp://b/",
            "http://new/文件|http://a/\r\nhttp://b/|n|on" + no_control},
           {"modify http://a/\tb", "http://new/文件|http://a/\tb|n|on" + no_control},
           {"modify http://a/\u2028b", "http://new/文件|http://a/\u2028b|n|on" + no_control},
           {"modify http://a/😀ő😀.mkv",
            "http://new/文件|http://a/😀ő😀.mkv|n|on » "
            "新地址中的以下字符无法保存到任务文件：😀、ő，地址未修改。"},
           {"modify http://a/안녕.mkv",
            "http://new/文件|http://a/안녕.mkv|n|on » "
            "新地址中的以下字符无法保存到任务文件：안、녕，地址未修改。"},
           // Spaces and zero-width characters a web page adds go; named by
           // their code points where they stand inside.
           {"modify \uFEFF\u200Bhttp://new/文件\u00A0\u2060\u3000",
            "http://new/文件|http://new/文件|n|on » 修改完成..."},
           {"modify http://a/\u00A0b\u200Bc",
            "http://new/文件|http://a/\u00A0b\u200Bc|n|on » "
            "新地址中的以下字符无法保存到任务文件：U+00A0、U+200B，地址未修改。"},
           {"bytes r.td.cfg", changed},
           {"modify again", "again|again|n|on » 修改完成..."},  // the lengths the reload found
           // Started with paths, as a file manager's "Open with" does: each is
           // opened as if chosen with Open, whatever its name; the last decides.
           {"given a.td.cfg;;n.txt", "txt||n|on"},
           {"modify http://given", "http://given|http://given|n|on » 修改完成..."},
           {"stored n.txt", "http://given"},
       }) {
    EXPECT_EQ(Do(step), seen) << step;
  }
}

TEST_F(TaskControllerTest, SaysWhyModifyFailed) {
  const std::string path = folder_.MakeTaskFile("a.td.cfg", {.address = "old"});
  const fs::path file = PathFromUtf8(path), backup = PathFromUtf8(path + ".bak");
  const std::string earlier = BuildTaskFile({.address = "earlier"});
  const std::string kept = " » 发现上次未完成的修改留下的备份文件，已将其另存为：\n" + path;
  WriteBytes(backup, earlier);
  Do("open a.td.cfg");
  // An earlier change's backup is kept, and the user told where.
  EXPECT_EQ(Do("modify new"), "new|new|a|on » 修改完成..." + kept + ".bak.1");
  EXPECT_EQ(Do("bytes a.td.cfg.bak.1"), earlier);
  // Kept, and told, when the change then fails too; the folder that
  // refuses the new file is named.
  WriteBytes(backup, earlier);
  file_system_.crash_before = "CreateNew";
  EXPECT_EQ(Do("modify newer"), "new|newer|a|on » 修改失败！原文件未改动。\n无法在文件夹“" +
                                    PathToUtf8(folder_.path()) + "”中创建新文件：injected failure" +
                                    kept + ".bak.2");
  EXPECT_EQ(Do("bytes a.td.cfg.bak.2"), earlier);
  file_system_ = FaultyFileSystem();
  for (const char* kept : {".bak.1", ".bak.2"}) fs::remove(PathFromUtf8(path + kept));

  // The rewrite's first operation fails: the file stays loaded.
  const std::string failed = "new|newer|a|on » 修改失败！原文件未改动。\ninjected failure";
  file_system_.fail_at = static_cast<int>(file_system_.operations.size());
  EXPECT_EQ(Do("modify newer"), failed);
  // The folder cannot be made durable after the replace, and then the old
  // file cannot be put back either: the user is told where it is.
  file_system_ = FaultyFileSystem();
  file_system_.fail_first = "SyncFolderOf";
  file_system_.crash_before = "RenameReplacing";
  EXPECT_EQ(Do("modify newer"),
            failed + "\ninjected failure\n原文件内容保存在：\n" + path + ".bak");
  EXPECT_EQ(ReadBytes(backup), BuildTaskFile({.address = "new"}));

  // Changed or gone since it was loaded: left alone, and a change is no
  // plain failure, as the file must be opened again.
  file_system_ = FaultyFileSystem();
  fs::remove(backup);
  for (const std::string& now :
       {BuildTaskFile({.name = "n", .address = "new"}),         // another name length
        BuildTaskFile({.address = "changed"}),                  // another address length
        BuildTaskFile({.address = "new"}).substr(0, 20), "x"s,  // cut short; no task file
        ""s}) {                                                 // gone
    WriteBytes(file, BuildTaskFile({.address = "new"}));
    Do("open a.td.cfg");
    fs::remove(file);
    if (!now.empty()) WriteBytes(file, now);
    EXPECT_THAT(
        Do("modify newest"),
        StartsWith(
            now.empty()
                ? "new|newest|a|on » 修改失败！原文件未改动。"
                : "new|newest|a| » 修改失败！任务文件在打开后已被其他程序改动，请重新打开。"));
    EXPECT_EQ(ReadBytes(file), now);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 1 - now.empty());
  }
}

// As a terminal, a link or a file manager hands over the path: a bare name
// in the current folder, a link into another folder (on another file system
// where there is one), a file gone by the time it is read.
TEST_F(TaskControllerTest, OpensFilesAsUsersNameThem) {
  folder_.MakeTaskFile("bare.td.cfg", {.address = "old"});
  const fs::path before = fs::current_path();
  fs::current_path(folder_.path());
  controller_.DropFiles({"bare.td.cfg"});
  const std::string modified = Do("modify http://bare");
  fs::current_path(before);
  EXPECT_EQ(modified + " " + Do("stored bare.td.cfg"),
            "http://bare|http://bare|bare|on » 修改完成... http://bare");

  TempFolder elsewhere;
  const fs::path target =
      (fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : elsewhere.path()) / "任务.td.cfg";
  WriteBytes(target, BuildTaskFile({.address = "old"}));
  std::error_code no_links;  // Windows without the right to make them
  fs::create_symlink(target, folder_ / "link.td.cfg", no_links);
  if (!no_links) {
    Do("drop link.td.cfg");
    EXPECT_EQ(Do("modify http://linked"), "http://linked|http://linked|link|on » 修改完成...");
    EXPECT_EQ(AddressIn(PathToUtf8(target)), "http://linked");
    EXPECT_TRUE(fs::is_symlink(folder_ / "link.td.cfg"));
  }
  fs::remove(target);
  EXPECT_THAT(Do("drop " + PathToUtf8(target)), StartsWith("||| » 无法读取文件！\n"));
}

}  // namespace
}  // namespace orvanta
