// The system's file system with a switch: operation number `fail_at` (or
// the first one named `fail_first`) fails, or from number `crash_at` (or the
// first one named `crash_before`) on all fail without effect, as when the
// program dies there. Operations are counted across the file system and
// every file it opened.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "taskfile/file_system.h"

namespace orvanta::testing {

inline const SystemError kInjectedFailure{ErrorKind::kOther, "injected failure"};

class FaultyFileSystem final : public FileSystem {
 public:
  std::optional<int> fail_at, crash_at;
  std::string fail_first, crash_before;
  // How a crash halfway through ReplaceKeepingBackup leaves the old file: with
  // the backup as a second name, or moved there (no hard links, Windows).
  bool backup_by_moving = false;

  // "OpenForRewrite", "ReadAt", "Append", "Sync"...: every operation tried.
  std::vector<std::string> operations;
  // Called with each operation's name before it is tried: what another
  // program does meanwhile.
  std::function<void(const std::string&)> before_each;

  // After a crash: empties every file created here and never synced, as a
  // power loss may.
  void LoseUnsyncedWrites() {
    std::error_code removed;
    for (const auto& path : unsynced_) std::filesystem::resize_file(path, 0, removed);
  }

  Result<FilePath> ResolveLinks(const FilePath& path) override {
    return Allow("ResolveLinks") ? System().ResolveLinks(path) : kInjectedFailure;
  }
  bool Exists(const FilePath& path) override { return System().Exists(path); }  // never fails
  Result<std::unique_ptr<ReadableFile>> OpenForReading(const FilePath& path) override {
    if (!Allow("OpenForReading")) return kInjectedFailure;
    auto opened = System().OpenForReading(path);
    if (!opened.ok()) return opened.error();
    return std::unique_ptr<ReadableFile>(new Reader(std::move(opened.value()), *this));
  }
  Result<std::unique_ptr<HeldTaskFile>> OpenForRewrite(const FilePath& path) override {
    if (!Allow("OpenForRewrite")) return kInjectedFailure;
    auto opened = System().OpenForRewrite(path);
    if (!opened.ok()) return opened.error();
    return std::unique_ptr<HeldTaskFile>(new Held(std::move(opened.value()), *this));
  }
  Result<std::unique_ptr<WritableFile>> CreateNew(const FilePath& path,
                                                  const FilePath& like) override {
    if (!Allow("CreateNew")) return kInjectedFailure;
    auto created = System().CreateNew(path, like);
    if (!created.ok()) return created.error();
    unsynced_.insert(path);
    return std::unique_ptr<WritableFile>(new Writer(std::move(created.value()), path, *this));
  }
  // Counts as two operations, the backup and the rename, so a crash can
  // fall between them.
  Status ReplaceKeepingBackup(const FilePath& target, const FilePath& replacement,
                              const FilePath& backup) override {
    if (!Allow("ReplaceKeepingBackup")) return kInjectedFailure;
    if (!Allow("ReplaceKeepingBackup, rename")) {
      // A failure is undone by the real file system; a crash is not.
      std::error_code no_links;
      if (crash_at && !backup_by_moving)
        std::filesystem::create_hard_link(target, backup, no_links);
      if (crash_at && (backup_by_moving || no_links)) std::filesystem::rename(target, backup);
      return kInjectedFailure;
    }
    return FollowRename(replacement, target,
                        System().ReplaceKeepingBackup(target, replacement, backup));
  }
  Status RenameReplacing(const FilePath& from, const FilePath& to) override {
    if (!Allow("RenameReplacing")) return kInjectedFailure;
    return FollowRename(from, to, System().RenameReplacing(from, to));
  }
  Status Remove(const FilePath& path) override {
    return Allow("Remove") ? System().Remove(path) : kInjectedFailure;
  }
  std::size_t MaxNameLength(const FilePath& path) override {
    return System().MaxNameLength(path);  // never fails
  }
  Status SyncFolderOf(const FilePath& path) override {
    return Allow("SyncFolderOf") ? System().SyncFolderOf(path) : kInjectedFailure;
  }

 private:
  template <class File = ReadableFile>
  struct Reader : File {
    Reader(std::unique_ptr<File> f, FaultyFileSystem& o) : file(std::move(f)), owner(o) {}
    std::uint64_t Size() const override { return file->Size(); }
    Status ReadAt(std::uint64_t offset, std::span<char> out) override {
      return owner.Allow("ReadAt") ? file->ReadAt(offset, out) : kInjectedFailure;
    }
    std::unique_ptr<File> file;
    FaultyFileSystem& owner;
  };

  struct Held final : Reader<HeldTaskFile> {
    using Reader::Reader;
    Status CheckNoWriter() override {
      return owner.Allow("CheckNoWriter") ? file->CheckNoWriter() : kInjectedFailure;
    }
    Status HoldAlso(const FilePath& path) override {
      return owner.Allow("HoldAlso") ? file->HoldAlso(path) : kInjectedFailure;
    }
    void LetGoBeforeReplace() override { file->LetGoBeforeReplace(); }
  };

  struct Writer final : WritableFile {
    Writer(std::unique_ptr<WritableFile> f, FilePath p, FaultyFileSystem& o)
        : file(std::move(f)), path(std::move(p)), owner(o) {}
    Status Append(std::span<const char> bytes) override {
      return owner.Allow("Append") ? file->Append(bytes) : kInjectedFailure;
    }
    Status Sync() override {
      if (!owner.Allow("Sync")) return kInjectedFailure;
      owner.unsynced_.erase(path);
      return file->Sync();
    }
    Status Close() override { return owner.Allow("Close") ? file->Close() : kInjectedFailure; }
    Status CopyExtraAttributesFrom(const FilePath& like) override {
      return owner.Allow("CopyExtraAttributesFrom") ? file->CopyExtraAttributesFrom(like)
                                                    : kInjectedFailure;
    }
    std::unique_ptr<WritableFile> file;
    FilePath path;
    FaultyFileSystem& owner;
  };

  static FileSystem& System() { return SystemFileSystem(); }

  // Counts an operation; false when it is to fail.
  bool Allow(const std::string& name) {
    if (before_each) before_each(name);
    const int number = static_cast<int>(operations.size());
    operations.push_back(name);
    if (name == crash_before && !crash_at) crash_at = number;
    if (name == fail_first && !fail_at) fail_at = number;
    return !(crash_at && number >= *crash_at) && !(fail_at && number == *fail_at);
  }

  // What a power loss would empty follows the file to its new name.
  Status FollowRename(const FilePath& from, const FilePath& to, Status renamed) {
    if (!renamed.ok()) return renamed;
    unsynced_.erase(to);
    if (unsynced_.erase(from) > 0) unsynced_.insert(to);
    return renamed;
  }

  std::set<std::filesystem::path> unsynced_;
};

}  // namespace orvanta::testing
