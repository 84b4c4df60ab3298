// At any file operation of a rewrite the operation may fail, the program may
// die, the power may fail, or a second rewrite may start. Whatever happens,
// the task file's name holds the whole old or the whole new content; the old
// content is nowhere but in the task file or its backup; a whole task an
// earlier rewrite left as the backup survives. Done, only the address
// changed and nothing is left over.
#include "taskfile/address_rewrite.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <set>

#include "support/faulty_file_system.h"
#include "support/task_file_bytes.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

using namespace testing;
namespace fs = std::filesystem;

struct RewriteCase {
  const char* label;
  TaskFileParts parts;
  std::string left_over = "";  // the backup an earlier rewrite left; none when empty
  bool keeps_left_over = false;
  // How much shorter than the longest name the folder allows the task
  // file's name is; an ordinary name when negative.
  int name_short_of_limit = -1;
};

void PrintTo(const RewriteCase& c, std::ostream* out) { *out << c.label; }

// What happens at the chosen operation: it fails, or the program dies there,
// maybe as the power fails too. Without hard links, and on Windows, a crash
// halfway through the replace leaves the old file moved to the backup.
const struct Fault {
  const char* name;
  bool fails, power_loss, backup_by_moving;
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

class AddressRewrite : public ::testing::TestWithParam<RewriteCase> {
 protected:
  // Writes the task file and, beside it, what earlier rewrites may have left;
  // then rewrites it through `file_system`.
  RewriteReport Rewrite(FaultyFileSystem& file_system) {
    for (const auto& entry : fs::directory_iterator(folder_.path())) fs::remove(entry.path());
    WriteBytes(path_, old_);
    if (!left_over_.empty()) WriteBytes(backup_, left_over_);
    WriteBytes(kept_before_, kKeptBefore);
    WriteBytes(TemporaryPathFor(path_), kHalfWritten);
    return RewriteAddress(path_, {parts_.NameLength(), parts_.AddressLength()},
                          AnsiBytes(kNewAddress), file_system);
  }

  // What the user finds; empty when a promise is broken.
  std::string Outcome() const {
    const std::string task = ReadBytes(path_), backup = ReadBytes(backup_);
    const std::string found = !fs::exists(path_) ? "none"
                              : task == new_     ? "new"
                              : task == old_     ? "old"
                                                 : "";
    if (found.empty() || ReadBytes(kept_before_) != kKeptBefore) return "";
    if (backup == old_) return found + ", backup";
    return found == "none" || (!backup.empty() && backup != left_over_) ? "" : found;
  }

  // A failed operation ends the rewrite cleanly: the old file, nothing new
  // beside it, and an error that does not claim the file changed elsewhere.
  void ExpectFailureUndone(const RewriteReport& report, const std::string& outcome) {
    const std::string temporary = ReadBytes(TemporaryPathFor(path_));
    EXPECT_TRUE(temporary.empty() || temporary == kHalfWritten);
    if (!report.error) {  // removing the backup at the end, or reading one left over
      EXPECT_TRUE(outcome.starts_with("new"));
      return;
    }
    // A left-over backup that is the task file again may stay.
    EXPECT_TRUE(outcome == "old" || (outcome == "old, backup" && left_over_ == old_)) << outcome;
    EXPECT_FALSE(report.error->not_restored);
    EXPECT_NE(report.error->step, RewriteStep::kCheckUnchanged);
  }

  const TaskFileParts& parts_ = GetParam().parts;
  const std::string& left_over_ = GetParam().left_over;
  const std::string old_ = BuildTaskFile(parts_);
  const std::string new_ = [this] {
    TaskFileParts changed = parts_;
    changed.address = kNewAddress;
    return BuildTaskFile(changed);
  }();
  // ASCII, so that the name is as long in UTF-16 units as in bytes: Wine
  // keeps Windows' names as UTF-8 names of the host's file system.
  std::string NameOfTheCase() const {
    const int short_of_limit = GetParam().name_short_of_limit;
    if (short_of_limit < 0) return "任务.zip.td.cfg";
    const auto limit = SystemFileSystem().MaxNameLength(folder_ / "x");
    return std::string(limit - static_cast<std::size_t>(short_of_limit) - 7, 'a') + ".td.cfg";
  }

  TempFolder folder_;
  const fs::path path_ = folder_ / NameOfTheCase();
  const fs::path backup_ = BackupPathFor(path_);
  const fs::path kept_before_ = BackupPathFor(path_, SystemFileSystem(), 1),
                 kept_now_ = BackupPathFor(path_, SystemFileSystem(), 2);
};

TEST_P(AddressRewrite, ChangesOnlyTheAddressWhateverFailsOnTheWay) {
  FaultyFileSystem counter;
  const RewriteReport done = Rewrite(counter);
  const std::vector<std::string>& operations = counter.operations;
  ASSERT_EQ(Outcome(), "new") << (done.error ? done.error->error.system_text : "");
  const bool keeps = GetParam().keeps_left_over;
  EXPECT_EQ(done.kept_backup, keeps ? FilePath(kept_now_) : FilePath());
  EXPECT_EQ(ReadBytes(kept_now_), keeps ? left_over_ : "");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), keeps ? 3 : 2);
  std::error_code no_links;  // as on exFAT
  fs::create_hard_link(path_, folder_ / "probe", no_links);

  for (std::size_t at = 0; at <= operations.size(); ++at) {
    for (const Fault& fault : kFaults) {
      FaultyFileSystem file_system;
      (fault.fails ? file_system.fail_at : file_system.crash_at) = static_cast<int>(at);
      file_system.backup_by_moving = fault.backup_by_moving;
      const RewriteReport report = Rewrite(file_system);
      if (fault.power_loss) file_system.LoseUnsyncedWrites();
      const std::string outcome = Outcome();
      SCOPED_TRACE(std::string(fault.name) + " at " +
                   (at < operations.size() ? operations[at] : "the end") + ": " + outcome);
      EXPECT_FALSE(outcome.empty());
      if (fault.fails) ExpectFailureUndone(report, outcome);
      // Only where the old file is moved to the backup does its name go
      // missing for a moment.
      EXPECT_TRUE(fault.backup_by_moving || no_links || !outcome.starts_with("none"));
      EXPECT_TRUE(!keeps || ReadBytes(backup_) == left_over_ || ReadBytes(kept_now_) == left_over_);
    }
    // Another window, or another user of a shared folder, presses Modify
    // here: once this rewrite holds the file, it is refused with nothing
    // touched, and this one is made whole. It keeps the address's length,
    // so that this one's length check does not refuse instead.
    FaultyFileSystem first;
    bool held = false;
    first.before_each = [&](const std::string& operation) {
      if (first.operations.size() == at) {
        const auto second = RewriteAddress(path_, {parts_.NameLength(), parts_.AddressLength()},
                                           AnsiBytes(std::string(parts_.address.size(), '2')))
                                .error;
        EXPECT_EQ(second ? std::optional(second->error.kind) : std::nullopt,
                  held ? std::optional(ErrorKind::kInUse) : std::nullopt)
            << "second started at " << operation;
      }
      held |= operation == "OpenForRewrite";
    };
    const RewriteReport report = Rewrite(first);
    EXPECT_FALSE(report.error) << report.error->error.system_text;
    EXPECT_EQ(Outcome(), "new") << "second started at " << at;
  }
}

// `count` bytes that repeat no short pattern, so a misplaced copy shows.
std::string PatternBytes(std::size_t count, unsigned seed = 1) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
  return bytes;
}

// What makes the sweep's outcomes differ: files that take several copy
// chunks, and what an earlier rewrite cut short may have left as the backup
// (only another whole task is kept), or names too long for the suffixes.
// Every layout the reader knows is rewritten and checked byte by byte in
// the corpus replay (fuzz/).
const TaskFileParts kPlain{.name = "n", .address = "old"};
const std::string kOtherTask = BuildTaskFile({.name = "n", .address = "earlier"});
const RewriteCase kCases[] = {
    {"four_byte_name", {.name = "abcd", .address = std::string(30, 'o'), .remainder = "r"}},
    // Longer than a copy chunk (1 MiB), and not a multiple of it.
    {"large_remainder", {.name = "n", .address = "a", .remainder = PatternBytes(3'500'001)}},
    {"large_name", {.name = PatternBytes(2'100'000, 7), .address = "a"}},
    {"left_over_junk", kPlain, "not a task file"},
    {"left_over_torn_task", kPlain, kOtherTask.substr(0, kOtherTask.size() - 4)},
    {"left_over_same_task", kPlain, BuildTaskFile(kPlain)},
    {"left_over_other_task", kPlain, kOtherTask, true},
    {"left_over_task_of_same_size", kPlain, BuildTaskFile({.name = "n", .address = "OLD"}), true},
    // Names the suffixes of the files beside the task file do not fit.
    {"name_at_the_limit", kPlain, kOtherTask, true, 0},
    {"name_the_temporary_fits", kPlain, "", false, 12},
    {"name_the_temporary_does_not_fit", kPlain, kOtherTask, true, 11},
};

// A name cut short never splits a character, never ends in "td.cfg", and
// stays apart from every other task's.
TEST(SidePath, FitsTheLongestNameWithoutSplittingCharacters) {
  const std::string folder = "下载/";
  std::set<std::string> made;
  for (const char* name : {"电影第一集.mkv.td.cfg", "电影第一集.mkv.td.cfg.bak",
                           "电影第一集.mp4.td.cfg", "电影第一集.td.cfg"}) {
    const FilePath task_file = PathFromUtf8(folder + name);
    for (std::size_t limit = 24; limit <= 40; ++limit) {
      const std::string side = PathToUtf8(SidePath(task_file, ".bak", limit));
      const std::string side_name = side.substr(folder.size());
      EXPECT_LE(PathFromUtf8(side_name).native().size(), limit) << side_name;
      EXPECT_TRUE(side.starts_with(folder) && side_name.ends_with(".bak")) << side;
      EXPECT_EQ(Utf8ToCodePoints(side_name).find(kReplacementCharacter), std::u32string::npos);
      EXPECT_TRUE(made.insert(std::to_string(limit) + " " + side).second) << side_name;
      EXPECT_EQ(PathToUtf8(SidePath(task_file, ".bak", limit)), side);
    }
  }
  EXPECT_EQ(SidePath(PathFromUtf8("a.td.cfg"), ".bak", 12), PathFromUtf8("a.td.cfg.bak"));
}

INSTANTIATE_TEST_SUITE_P(Cases, AddressRewrite, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace orvanta
