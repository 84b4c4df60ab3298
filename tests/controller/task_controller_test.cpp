#include "controller/task_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>

#include "support/faulty_file_system.h"
#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"
#include "taskfile/ansi_text.h"
#include "taskfile/task_file_reader.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

using testing::BuildTaskFile;
using ::testing::ElementsAre;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// A stand-alone view that keeps the boxes' texts and logs every message.
class RecordingView final : public TaskView {
 public:
  std::string address, new_address, name;
  bool modify_enabled = true;
  std::vector<std::string> messages;
  std::deque<std::optional<std::string>> chooser_answers;

  void SetAddressText(const std::string& text) override { address = text; }
  void SetNewAddressText(const std::string& text) override { new_address = text; }
  std::string GetNewAddressText() override { return new_address; }
  void SetTaskNameText(const std::string& text) override { name = text; }
  void SetModifyEnabled(bool enabled) override { modify_enabled = enabled; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::optional<std::string> ChooseTaskFile() override {
    auto answer = chooser_answers.front();
    chooser_answers.pop_front();
    return answer;
  }
};

class TaskControllerTest : public ::testing::Test {
 protected:
  std::string MakeFile(const std::string& name, const testing::TaskFileParts& parts) {
    auto path = folder_ / name;
    WriteBytes(path, BuildTaskFile(parts));
    return PathToUtf8(path);
  }

  void Open(const std::string& path) {
    view_.chooser_answers.push_back(path);
    controller_.OpenChosenFile();
  }

  TempFolder folder_;
  RecordingView view_;
  TaskController controller_{view_};
};

TEST_F(TaskControllerTest, StartDisablesModify) {
  controller_.Start();
  EXPECT_FALSE(view_.modify_enabled);
  EXPECT_EQ(view_.address + view_.new_address + view_.name, "");
}

TEST_F(TaskControllerTest, OpenShowsTheStoredNameAndAddress) {
  view_.new_address = "typed before";
  Open(MakeFile("a.td.cfg", {.name = "\xCF\xC2\xD4\xD8", .address = "http://h/x"}));
  EXPECT_EQ(view_.name, "下载");
  EXPECT_EQ(view_.address, "http://h/x");
  EXPECT_EQ(view_.new_address, "");
  EXPECT_TRUE(view_.modify_enabled);
  EXPECT_TRUE(controller_.State().TaskLoaded);
  EXPECT_TRUE(view_.messages.empty());
}

TEST_F(TaskControllerTest, OpenNamesANamelessTaskAfterItsFile) {
  Open(MakeFile("电影.mkv.td.cfg", {.name_length = -2, .address = "a"}));
  EXPECT_EQ(view_.name, "电影.mkv");
}

TEST_F(TaskControllerTest, CancelledOpenClearsAndDisablesButKeepsTheFile) {
  const std::string path = MakeFile("a.td.cfg", {.address = "a"});
  Open(path);
  view_.new_address = "x";
  view_.chooser_answers.push_back(std::nullopt);
  controller_.OpenChosenFile();
  EXPECT_EQ(view_.address + view_.new_address + view_.name, "");
  EXPECT_FALSE(view_.modify_enabled);
  EXPECT_EQ(controller_.State().TaskFilePath, path);
  EXPECT_TRUE(controller_.State().TaskLoaded);
}

struct BadFileCase {
  const char* label;
  std::string bytes;  // empty: no file at all; "/": a folder
  std::string message_start;
};

void PrintTo(const BadFileCase& c, std::ostream* out) { *out << c.label; }

class TaskControllerBadFile : public TaskControllerTest,
                              public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(TaskControllerBadFile, SaysWhyAndIsNotLoaded) {
  Open(MakeFile("good.td.cfg", {.address = "a"}));
  const auto path = folder_ / "bad.td.cfg";
  if (GetParam().bytes == "/") {
    std::filesystem::create_directory(path);
  } else if (!GetParam().bytes.empty()) {
    WriteBytes(path, GetParam().bytes);
  }
  Open(PathToUtf8(path));
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].substr(0, GetParam().message_start.size()), GetParam().message_start);
  EXPECT_FALSE(view_.modify_enabled);
  EXPECT_FALSE(controller_.State().TaskLoaded);
  EXPECT_EQ(controller_.State().TaskFilePath, PathToUtf8(path));
  EXPECT_EQ(view_.address + view_.name, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TaskControllerBadFile,
    ::testing::Values(BadFileCase{"NotTaskFile", "plain text", "非迅雷cfg文件！"},
                      BadFileCase{"Damaged", BuildTaskFile({.address_length = 99, .address = "a"}),
                                  "任务文件已损坏！"},
                      BadFileCase{"Missing", "", "无法读取文件！\n"},
                      BadFileCase{"Folder", "/", "无法读取文件！\n这是一个文件夹，不是文件"}),
    [](const auto& info) { return info.param.label; });

TEST_F(TaskControllerTest, DropLoadsEveryTaskFileInTurn) {
  const std::string first = MakeFile("first.td.cfg", {.address = "one"});
  const std::string second = MakeFile("second.td.cfg", {.address = "two"});
  const std::string other = MakeFile("other.txt", {.address = "three"});
  controller_.DropFiles({first, other, second});
  EXPECT_EQ(view_.address, "two");
  EXPECT_EQ(view_.name, "second");
  EXPECT_EQ(controller_.State().TaskFilePath, second);
}

TEST_F(TaskControllerTest, DropWithoutATaskFileOnlyClearsTheBoxes) {
  const std::string loaded = MakeFile("a.td.cfg", {.address = "a"});
  Open(loaded);
  view_.new_address = "x";
  controller_.DropFiles({MakeFile("B.TD.CFG", {.address = "b"}), "c.txt", "td.cf", ""});
  EXPECT_EQ(view_.address + view_.new_address + view_.name, "");
  EXPECT_TRUE(view_.modify_enabled);
  EXPECT_EQ(controller_.State().TaskFilePath, loaded);
  EXPECT_TRUE(view_.messages.empty());
}

TEST_F(TaskControllerTest, DropOfAFailingFileKeepsWhatAnEarlierOneShowed) {
  const std::string good = MakeFile("good.td.cfg", {.address = "shown"});
  const std::string bad = MakeFile("bad.td.cfg", {.address = "x", .remainder = ""});
  WriteBytes(PathFromUtf8(bad), "no header");
  controller_.DropFiles({good, bad});
  EXPECT_EQ(view_.address, "shown");
  EXPECT_THAT(view_.messages, ElementsAre("非迅雷cfg文件！"));
  EXPECT_FALSE(view_.modify_enabled);
}

TEST_F(TaskControllerTest, ModifyTrimsWritesReloadsAndSaysSoLast) {
  const std::string path = MakeFile("a.td.cfg", {.name = "n", .address = "old", .remainder = "r"});
  Open(path);
  view_.new_address = "\u3000  http://new/文件\t \u3000";
  controller_.ModifyAddress();
  EXPECT_EQ(view_.new_address, "http://new/文件\t");
  EXPECT_EQ(view_.address, "http://new/文件\t");
  EXPECT_EQ(controller_.State().LoadedAddressLength,
            static_cast<std::int32_t>(TextToAnsiBytes("http://new/文件\t").size()));
  EXPECT_EQ(
      ReadBytes(PathFromUtf8(path)),
      BuildTaskFile({.name = "n", .address = "http://new/\xCE\xC4\xBC\xFE\t", .remainder = "r"}));
  EXPECT_THAT(view_.messages, ElementsAre("修改完成..."));
}

TEST_F(TaskControllerTest, ModifyDoesNothingWithoutAnAddressOrAFile) {
  view_.new_address = "http://x";
  controller_.ModifyAddress();  // nothing loaded
  const std::string path = MakeFile("a.td.cfg", {.address = "old"});
  const std::string before = ReadBytes(PathFromUtf8(path));
  Open(path);
  controller_.ModifyAddress();  // empty box
  view_.new_address = "  \u3000 ";
  controller_.ModifyAddress();  // only spaces: would erase the address
  EXPECT_EQ(view_.new_address, "");
  EXPECT_EQ(ReadBytes(PathFromUtf8(path)), before);
  EXPECT_TRUE(view_.messages.empty());
}

TEST_F(TaskControllerTest, ModifyOfAChangedFileAsksToReopen) {
  const std::string path = MakeFile("a.td.cfg", {.address = "old"});
  Open(path);
  const std::string changed = BuildTaskFile({.address = "changed elsewhere"});
  WriteBytes(PathFromUtf8(path), changed);
  view_.new_address = "new";
  controller_.ModifyAddress();
  EXPECT_THAT(view_.messages, ElementsAre("任务文件已被改动，请重新打开！"));
  EXPECT_FALSE(view_.modify_enabled);
  EXPECT_FALSE(controller_.State().TaskLoaded);
  EXPECT_EQ(ReadBytes(PathFromUtf8(path)), changed);
}

TEST_F(TaskControllerTest, FailedModifySaysSoAndStaysLoaded) {
  testing::FaultyFileSystem faulty;
  TaskController controller(view_, faulty);
  const std::string path = MakeFile("a.td.cfg", {.address = "old"});
  controller.LoadTaskFile(path);
  faulty.fail_at = static_cast<int>(faulty.operations().size());  // the rewrite's first
  view_.new_address = "new";
  controller.ModifyAddress();
  EXPECT_THAT(view_.messages, ElementsAre("修改失败！原文件未改动。\ninjected failure"));
  EXPECT_TRUE(controller.State().TaskLoaded);
  EXPECT_TRUE(view_.modify_enabled);
  EXPECT_EQ(view_.address, "old");
}

// An interrupted earlier change left a backup of another version of the
// task: it is kept, and the user is told where, after the usual message.
TEST_F(TaskControllerTest, ModifySaysWhereAnEarlierBackupWasKept) {
  const std::string path = MakeFile("a.td.cfg", {.address = "old"});
  const std::string earlier = BuildTaskFile({.address = "earlier"});
  WriteBytes(PathFromUtf8(path + ".bak"), earlier);
  Open(path);
  view_.new_address = "new";
  controller_.ModifyAddress();
  EXPECT_THAT(view_.messages, ElementsAre("修改完成...", "上次未完成的修改留下的备份已保存为：\n" +
                                                             path + ".bak.1"));
  EXPECT_EQ(ReadBytes(PathFromUtf8(path + ".bak.1")), earlier);
}

// Started with paths, as a file manager's "Open with" does: each is opened
// as if chosen with Open; the last decides, and empty ones are passed over.
TEST_F(TaskControllerTest, OpensTheFilesItWasStartedWith) {
  const std::string first = MakeFile("first.td.cfg", {.address = "one"});
  const std::string second = MakeFile("second.td.cfg", {.name = "二", .address = "two"});
  controller_.OpenGivenFiles({first, "", second});
  EXPECT_EQ(view_.address, "two");
  EXPECT_EQ(controller_.State().TaskFilePath, second);
  EXPECT_TRUE(view_.modify_enabled);

  // Any name will do, as with Open; a bad one leaves the window usable.
  const std::string other = MakeFile("task.txt", {.address = "three"});
  controller_.OpenGivenFiles({other, PathToUtf8(folder_ / "missing.td.cfg")});
  EXPECT_EQ(view_.address + view_.name, "");
  EXPECT_FALSE(view_.modify_enabled);
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].substr(0, 22), "无法读取文件！\n");
  controller_.OpenGivenFiles({other});
  EXPECT_EQ(view_.address, "three");
}

TEST(DisplayNameFromPath, DropsTheTaskFileSuffix) {
  EXPECT_EQ(DisplayNameFromPath("/dl/film.mkv.td.cfg"), "film.mkv");
  EXPECT_EQ(DisplayNameFromPath("/dl/abctd.cfg"), "ab");
  EXPECT_EQ(DisplayNameFromPath("/dl/电影.td.cfg"), "电影");
  EXPECT_EQ(DisplayNameFromPath("/dl/.td.cfg"), "");
  EXPECT_EQ(DisplayNameFromPath("/dl/td.cfg"), "");  // fewer than seven characters
  EXPECT_EQ(DisplayNameFromPath("x.td.cfg"), "x");
}

}  // namespace
}  // namespace orvanta
