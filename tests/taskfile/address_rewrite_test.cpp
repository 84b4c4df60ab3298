// At any file operation of a rewrite the operation may fail, the program may
// die, or the power may fail. Whatever happens, the task file's name holds
// the complete old or the complete new content, never a mix; the old content
// is nowhere but in the task file or its backup; and a whole task that an
// earlier rewrite left as the backup survives. Done, the rewrite changes
// only the address and leaves nothing beside the task file.
#include "taskfile/address_rewrite.h"

#include <gtest/gtest.h>

#include <iostream>

#include "support/faulty_file_system.h"
#include "support/task_file_bytes.h"
#include "taskfile/task_file_reader.h"

namespace orvanta {
namespace {

using namespace testing;
namespace fs = std::filesystem;

struct RewriteCase {
  const char* label;
  TaskFileParts parts;
  std::string left_over = "";  // the backup an earlier rewrite left; none when empty
};

void PrintTo(const RewriteCase& c, std::ostream* out) { *out << c.label; }

// What happens at the chosen operation.
const struct Fault {
  const char* name;
  bool fails;  // else the program dies
  bool power_loss;
  bool backup_by_moving;  // as without hard links, or on Windows
} kFaults[] = {
    {"fails", true, false, false},
    {"crash", false, false, false},
    {"crash without hard links", false, false, true},
    {"crash and power loss", false, true, false},
    {"crash and power loss without hard links", false, true, true},
};

const std::string kNewAddress = "http://n/\xD0\xC2";
const std::string kKeptBefore = "a backup kept by an earlier rewrite";
const std::string kHalfWritten = "half of what an earlier rewrite wrote";

std::string Content(const fs::path& path) { return fs::exists(path) ? ReadBytes(path) : ""; }

bool IsWholeTask(const std::string& bytes) {
  MemoryFile file(bytes);  // only the lengths: decoding large names is slow
  return std::holds_alternative<TaskLengths>(ReadTaskLengths(file));
}

class AddressRewrite : public ::testing::TestWithParam<RewriteCase> {
 protected:
  // Writes the task file and, beside it, what earlier rewrites may have left;
  // then rewrites it through `file_system`.
  RewriteReport Rewrite(FaultyFileSystem& file_system) {
    for (const auto& entry : fs::directory_iterator(folder_.path())) fs::remove(entry.path());
    WriteBytes(path_, BuildTaskFile(GetParam().parts));
    if (!GetParam().left_over.empty()) WriteBytes(backup_, GetParam().left_over);
    WriteBytes(Numbered(1), kKeptBefore);
    WriteBytes(TemporaryPathFor(path_), kHalfWritten);
    return RewriteAsLoaded(path_, GetParam().parts, kNewAddress, file_system);
  }

  // What the user finds; empty when a promise is broken.
  std::string Outcome() const {
    TaskFileParts changed = GetParam().parts;
    changed.address = kNewAddress;
    const std::string task = Content(path_), old = BuildTaskFile(GetParam().parts);
    const std::string found = !fs::exists(path_)               ? "none"
                              : task == BuildTaskFile(changed) ? "new"
                              : task == old                    ? "old"
                                                               : "";
    const std::string backup = Content(backup_);
    if (found.empty() || Content(Numbered(1)) != kKeptBefore) return "";
    if (backup == old) return found + ", backup";
    return found == "none" || (!backup.empty() && backup != GetParam().left_over) ? "" : found;
  }

  bool FolderHolds(const std::string& bytes) const {
    for (const auto& entry : fs::directory_iterator(folder_.path())) {
      if (ReadBytes(entry.path()) == bytes) return true;
    }
    return false;
  }

  // A failed operation ends the rewrite cleanly: the old file, nothing new
  // beside it, and an error that does not claim the file changed elsewhere.
  void ExpectFailureUndone(const RewriteReport& report, const std::string& outcome) {
    const std::string temporary = Content(TemporaryPathFor(path_));
    EXPECT_TRUE(temporary.empty() || temporary == kHalfWritten);
    if (!report.error) {  // removing the backup at the end, or reading one left over
      EXPECT_TRUE(outcome.starts_with("new"));
      return;
    }
    // A left-over backup that is the task file again may stay.
    EXPECT_TRUE(outcome == "old" ||
                (outcome == "old, backup" && GetParam().left_over == Content(backup_)))
        << outcome;
    EXPECT_TRUE(report.error->restored);
    EXPECT_NE(report.error->step, RewriteStep::kCheckUnchanged);
  }

  fs::path Numbered(int number) const {
    fs::path numbered = backup_;
    numbered += ".";
    return numbered += std::to_string(number);
  }

  TempFolder folder_;
  const fs::path path_ = folder_ / "任务.zip.td.cfg";
  const fs::path backup_ = fs::path(BackupPathFor(path_));
};

TEST_P(AddressRewrite, ChangesOnlyTheAddressWhateverFailsOnTheWay) {
  FaultyFileSystem counter;
  const RewriteReport done = Rewrite(counter);
  const std::vector<std::string> operations = counter.operations();
  ASSERT_EQ(Outcome(), "new");
  // A left-over backup stays only when it holds another whole task.
  const std::string& left_over = GetParam().left_over;
  const bool keeps = IsWholeTask(left_over) && left_over != BuildTaskFile(GetParam().parts);
  EXPECT_EQ(done.kept_backup, keeps ? FilePath(Numbered(2)) : FilePath());
  EXPECT_EQ(Content(Numbered(2)), keeps ? left_over : "");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), keeps ? 3 : 2);
  std::error_code no_links;
  fs::create_hard_link(path_, folder_ / "probe", no_links);
  const bool has_hard_links = !no_links;  // not on exFAT

  for (std::size_t at = 0; at <= operations.size(); ++at) {
    for (const Fault& fault : kFaults) {
      FaultyFileSystem file_system;
      (fault.fails ? file_system.fail_at : file_system.crash_at) = static_cast<int>(at);
      file_system.backup_by_moving = fault.backup_by_moving;
      const RewriteReport report = Rewrite(file_system);
      if (fault.power_loss) file_system.LoseUnsyncedWrites();
      const std::string outcome = Outcome();
      const std::string where =
          std::string(fault.name) + " at " + (at < operations.size() ? operations[at] : "the end");
      std::cout << GetParam().label << ": " << where << ": " << outcome << "\n";
      SCOPED_TRACE(where);
      EXPECT_FALSE(outcome.empty());
      if (fault.fails) ExpectFailureUndone(report, outcome);
      // Only where the old file is moved to the backup does its name go
      // missing for a moment.
      EXPECT_TRUE(fault.backup_by_moving || !has_hard_links || !outcome.starts_with("none"));
      EXPECT_TRUE(!keeps || FolderHolds(left_over));
    }
  }
}

// Every layout the reader knows, and what an earlier rewrite cut short may
// have left as the backup.
std::vector<RewriteCase> Cases() {
  std::vector<RewriteCase> cases;
  for (const auto& [label, parts] : TaskFileLayouts()) cases.push_back({label, parts});
  const TaskFileParts parts{.name = "n", .address = "old"};
  const std::string other_task = BuildTaskFile({.name = "n", .address = "earlier"});
  cases.push_back({"left_over_junk", parts, "not a task file"});
  cases.push_back({"left_over_torn_task", parts, other_task.substr(0, other_task.size() - 4)});
  cases.push_back({"left_over_same_task", parts, BuildTaskFile(parts)});
  cases.push_back({"left_over_other_task", parts, other_task});
  cases.push_back(
      {"left_over_task_of_same_size", parts, BuildTaskFile({.name = "n", .address = "OLD"})});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, AddressRewrite, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.label; });

TEST(AddressRewriteRefusal, RefusesAFileThatChangedOrWentSinceItWasLoaded) {
  TempFolder folder;
  const fs::path path = folder / "a.td.cfg";
  const std::string others[] = {
      BuildTaskFile({.name = "other", .address = "address"}),               // NameLength differs
      BuildTaskFile({.name = "name", .address = "address!"}),               // AddressLength differs
      BuildTaskFile({.name = "name", .address = "address"}).substr(0, 25),  // cut short
      "not a task file at all",
      "",  // removed
  };
  for (const std::string& now : others) {
    if (!now.empty()) WriteBytes(path, now);
    if (now.empty()) fs::remove(path);
    auto error = RewriteAddress(path, 4, 7, "new").error;
    ASSERT_TRUE(error);
    EXPECT_EQ(error->step, now.empty() ? RewriteStep::kOpenTaskFile : RewriteStep::kCheckUnchanged);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), now.empty() ? 0 : 1);
    EXPECT_EQ(Content(path), now);
  }
}

}  // namespace
}  // namespace orvanta
