#include "controller/task_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/faulty_file_system.h"
#include "support/task_file_bytes.h"
#include "taskfile/task_file_reader.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

using namespace testing;
using ::testing::ElementsAre, ::testing::StartsWith;
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
    Log("message", text);
    messages_.push_back(text);
  }
  std::optional<std::string> ChooseTaskFile() override { return chosen_; }
  void Log(const std::string& what, const std::string& text) {
    calls_.push_back(what + ": " + text);
  }

  // The three boxes, and "on" while Modify is enabled.
  std::string Shown() const {
    return address_ + "|" + new_address_ + "|" + name_ + (modify_enabled_ ? "|on" : "|");
  }
  // Each starts with no message shown and no call logged.
  void Open(const std::optional<std::string>& path) {
    messages_.clear(), calls_.clear();
    chosen_ = path;
    controller_.OpenChosenFile();
  }
  void Modify(const std::string& typed) {
    messages_.clear(), calls_.clear();
    new_address_ = typed;
    controller_.ModifyAddress();
  }
  // The address the task file at `path` stores now; empty for no task.
  static std::string AddressIn(const std::string& path) {
    const TaskFileContent content = ReadTaskFile(PathFromUtf8(path));
    const auto* record = std::get_if<TaskRecord>(&content);
    return record ? record->AddressText : "";
  }

  std::string address_, new_address_, name_;
  bool modify_enabled_ = true;
  std::vector<std::string> messages_, calls_;
  std::optional<std::string> chosen_;  // what the open dialog returns
  TempFolder folder_;
  FaultyFileSystem file_system_;  // fails nothing until told
  TaskController controller_{*this, file_system_};
};

TEST_F(TaskControllerTest, StartsEmptyThenShowsWhatOpenChose) {
  controller_.Start();
  EXPECT_FALSE(modify_enabled_);
  Open(folder_.MakeTaskFile("a.td.cfg", {.name = "\xCF\xC2\xD4\xD8", .address = "http://h/x"}));
  EXPECT_EQ(Shown(), "http://h/x||下载|on");
  // No name stored: the file's name stands in, without the seven characters
  // of ".td.cfg" whatever they are; fewer than seven leave nothing.
  for (auto [file, name] :
       {std::pair{"电影.mkv.td.cfg", "电影.mkv"}, {"abctd.cfg", "ab"}, {"td.cfg", ""}}) {
    Open(folder_.MakeTaskFile(file, {.name_length = -2, .address = "a"}));
    EXPECT_EQ(name_, name);
  }

  const std::string loaded = PathToUtf8(folder_ / "td.cfg");
  new_address_ = "x";
  Open(std::nullopt);  // cancelled: cleared and disabled, the file kept
  EXPECT_EQ(Shown(), "|||");
  EXPECT_TRUE(messages_.empty());
  Modify("http://kept");
  EXPECT_EQ(AddressIn(loaded), "http://kept");
}

TEST_F(TaskControllerTest, SaysWhyAFileCannotBeLoaded) {
  for (auto [name, bytes, message] :
       {// bytes: "" for no file at all, "/" for a folder
        std::tuple{"not a task file", "plain text"s, "非迅雷cfg文件！"},
        {"damaged", BuildTaskFile({.address_length = 99, .address = "a"}), "任务文件已损坏！"},
        {"missing", ""s, "无法读取文件！\n"},
        {"folder", "/"s, "无法读取文件！\n这是一个文件夹，不是文件"}}) {
    SCOPED_TRACE(name);
    Open(folder_.MakeTaskFile("good.td.cfg", {.address = "a"}));
    const auto path = folder_ / name;
    if (bytes == "/") fs::create_directory(path);
    if (bytes.size() > 1) WriteBytes(path, bytes);
    Open(PathToUtf8(path));
    EXPECT_THAT(messages_, ElementsAre(StartsWith(message)));
    EXPECT_EQ(Shown(), "|||");
    Modify("http://not/loaded");  // neither that file nor the one before is changed
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(AddressIn(PathToUtf8(folder_ / "good.td.cfg")), "a");
  }
}

TEST_F(TaskControllerTest, DropLoadsEveryTaskFileInTurnAndSkipsOtherNames) {
  const std::string first = folder_.MakeTaskFile("first.td.cfg", {.address = "one"});
  const std::string bad = folder_.MakeTaskFile("bad.td.cfg", {});
  WriteBytes(PathFromUtf8(bad), "no header");
  // Only the exact ending "td.cfg" counts: not case, not another ".cfg".
  const std::string upper = folder_.MakeTaskFile("B.TD.CFG", {}),
                    other = folder_.MakeTaskFile("x.cfg", {});
  controller_.DropFiles({first, upper, other, "c.txt", "td.cf", "", bad});
  EXPECT_EQ(Shown(), "one||first|");  // the failing file leaves what the first showed
  EXPECT_THAT(messages_, ElementsAre("非迅雷cfg文件！"));
  Modify("http://x");  // the last file decides: not loaded
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(AddressIn(first), "one");

  // No task file: the boxes show none, so Modify is off and changes nothing.
  controller_.DropFiles({first});
  new_address_ = "x";
  controller_.DropFiles({upper, other});
  EXPECT_EQ(Shown(), "|||");
  Modify("http://meant/for/the/dropped/file");
  EXPECT_EQ(ReadBytes(PathFromUtf8(first)), BuildTaskFile({.address = "one"}));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(TaskControllerTest, ModifyTrimsWritesReloadsAndSaysSo) {
  Modify("http://x");  // nothing loaded: nothing happens
  const std::string path =
      folder_.MakeTaskFile("a.td.cfg", {.name = "n", .address = "old", .remainder = "r"});
  Open(path);
  Modify("");
  Modify("  \u3000 ");  // only spaces: would erase the address
  EXPECT_EQ(new_address_, "");
  EXPECT_TRUE(messages_.empty());
  // Pasted with its line end, or Enter pressed after it. The trimmed text
  // goes back to its box, and the reload shows what the file now stores,
  // before the message says it is done.
  Modify("\u3000 \thttp://new/文件\r\n");
  EXPECT_THAT(calls_, ElementsAre("Text2: http://new/文件", "Text3: n", "Text1: http://new/文件",
                                  "Command1: on", "message: 修改完成..."));
  const std::string stored =
      BuildTaskFile({.name = "n", .address = "http://new/\xCE\xC4\xBC\xFE", .remainder = "r"});
  EXPECT_EQ(ReadBytes(PathFromUtf8(path)), stored);
  EXPECT_THAT(messages_, ElementsAre("修改完成..."));

  // What the task file cannot hold as typed is refused, never stored altered.
  for (auto [typed, message] :
       {std::pair{"http://a/\r\nhttp://b/", "新地址中不能有换行符或其他控制字符！"},
        {"http://a/\tb", "新地址中不能有换行符或其他控制字符！"},
        {"http://a/\u2028b", "新地址中不能有换行符或其他控制字符！"},
        {"http://a/😀ő😀.mkv", "任务文件无法保存新地址中的这些字符：😀、ő"},
        {"http://a/안녕.mkv", "任务文件无法保存新地址中的这些字符：안、녕"}}) {
    Modify(typed);
    EXPECT_THAT(messages_, ElementsAre(message)) << typed;
    EXPECT_EQ(new_address_, typed);
    EXPECT_EQ(ReadBytes(PathFromUtf8(path)), stored);
    EXPECT_TRUE(modify_enabled_);
  }
  Modify("again");  // with the lengths the reload found
  EXPECT_EQ(address_, "again");
}

TEST_F(TaskControllerTest, SaysWhyModifyFailed) {
  const std::string path = folder_.MakeTaskFile("a.td.cfg", {.address = "old"});
  const fs::path file = PathFromUtf8(path), backup = PathFromUtf8(path + ".bak");
  const std::string earlier = BuildTaskFile({.address = "earlier"});
  WriteBytes(backup, earlier);
  Open(path);
  Modify("new");  // an earlier change's backup is kept, and the user told where
  EXPECT_THAT(messages_, ElementsAre("修改完成...",
                                     "上次未完成的修改留下的备份已保存为：\n" + path + ".bak.1"));
  EXPECT_EQ(ReadBytes(PathFromUtf8(path + ".bak.1")), earlier);
  // Kept, and told, when the change then fails too; the folder that
  // refuses the new file is named.
  WriteBytes(backup, earlier);
  file_system_.crash_before = "CreateNew";
  Modify("newer");
  EXPECT_THAT(messages_, ElementsAre("修改失败！原文件未改动。\n无法在文件夹中创建文件：" +
                                         PathToUtf8(folder_.path()) + "\ninjected failure",
                                     "上次未完成的修改留下的备份已保存为：\n" + path + ".bak.2"));
  EXPECT_EQ(ReadBytes(PathFromUtf8(path + ".bak.2")), earlier);
  file_system_ = FaultyFileSystem();
  for (const char* kept : {".bak.1", ".bak.2"}) fs::remove(PathFromUtf8(path + kept));

  const std::string failed = "修改失败！原文件未改动。\ninjected failure";
  file_system_.fail_at = static_cast<int>(file_system_.operations.size());
  Modify("newer");  // the rewrite's first operation fails: the file stays loaded
  EXPECT_THAT(messages_, ElementsAre(failed));
  EXPECT_TRUE(modify_enabled_);
  // The folder cannot be made durable after the replace, and then the old
  // file cannot be put back either: the user is told where it is.
  file_system_.fail_at.reset();
  file_system_.crash_before = "SyncFolderOf";
  Modify("newer");
  EXPECT_THAT(messages_,
              ElementsAre(failed + "\ninjected failure\n原文件内容保存在：\n" + path + ".bak"));
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
    Open(path);
    fs::remove(file);
    if (!now.empty()) WriteBytes(file, now);
    Modify("newest");
    EXPECT_THAT(messages_, ElementsAre(StartsWith(now.empty() ? "修改失败！原文件未改动。"
                                                              : "任务文件已被改动，请重新打开！")));
    EXPECT_EQ(modify_enabled_, now.empty());
    EXPECT_EQ(ReadBytes(file), now);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 1 - now.empty());
  }
}

// As a terminal, a link or a file manager hands over the path: a bare name
// in the current folder, a link into another folder (on another file system
// where there is one), a file gone by the time it is read.
TEST_F(TaskControllerTest, OpensFilesAsUsersNameThem) {
  const std::string bare = folder_.MakeTaskFile("bare.td.cfg", {.address = "old"});
  const fs::path before = fs::current_path();
  fs::current_path(folder_.path());
  controller_.DropFiles({"bare.td.cfg"});
  Modify("http://bare");
  fs::current_path(before);
  EXPECT_EQ(AddressIn(bare), "http://bare");
  EXPECT_THAT(messages_, ElementsAre("修改完成..."));

  const bool tmpfs = fs::is_directory("/dev/shm");
  TempFolder elsewhere;
  const fs::path target = (tmpfs ? fs::path("/dev/shm") : elsewhere.path()) / "任务.td.cfg";
  WriteBytes(target, BuildTaskFile({.address = "old"}));
  const fs::path link = folder_ / "link.td.cfg";
  std::error_code no_links;  // Windows without the right to make them
  fs::create_symlink(target, link, no_links);
  if (!no_links) {
    controller_.DropFiles({PathToUtf8(link)});
    Modify("http://linked");
    EXPECT_EQ(AddressIn(PathToUtf8(target)) + " " + address_, "http://linked http://linked");
    EXPECT_TRUE(fs::is_symlink(link));
  }
  fs::remove(target);

  messages_.clear();
  controller_.DropFiles({PathToUtf8(target)});
  EXPECT_THAT(messages_, ElementsAre(StartsWith("无法读取文件！\n")));
  EXPECT_EQ(Shown(), "|||");
}

// Started with paths, as a file manager's "Open with" does: each is opened
// as if chosen with Open, whatever its name; the last decides.
TEST_F(TaskControllerTest, OpensTheFilesItWasStartedWith) {
  const std::string task = folder_.MakeTaskFile("task.txt", {.name = "n", .address = "one"});
  new_address_ = "typed before";
  controller_.OpenGivenFiles({folder_.MakeTaskFile("a.td.cfg", {.address = "two"}), "", task});
  EXPECT_EQ(Shown(), "one||n|on");
  EXPECT_TRUE(messages_.empty());
  Modify("http://three");
  EXPECT_EQ(AddressIn(task), "http://three");
}

}  // namespace
}  // namespace orvanta
