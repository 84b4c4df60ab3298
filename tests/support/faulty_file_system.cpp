#include "support/faulty_file_system.h"

namespace orvanta::testing {
namespace {

class FaultyReadableFile final : public ReadableFile {
 public:
  FaultyReadableFile(std::unique_ptr<ReadableFile> file, FaultyFileSystem& owner)
      : file_(std::move(file)), owner_(owner) {}

  std::uint64_t Size() const override { return file_->Size(); }

  Status ReadAt(std::uint64_t offset, std::span<char> out) override {
    if (!owner_.Allow("ReadAt")) return kInjectedFailure;
    return file_->ReadAt(offset, out);
  }

 private:
  std::unique_ptr<ReadableFile> file_;
  FaultyFileSystem& owner_;
};

class FaultyWritableFile final : public WritableFile {
 public:
  FaultyWritableFile(std::unique_ptr<WritableFile> file, std::filesystem::path path,
                     FaultyFileSystem& owner)
      : file_(std::move(file)), path_(std::move(path)), owner_(owner) {
    owner_.RecordSynced(path_, 0);
  }

  Status Append(std::span<const char> bytes) override {
    if (!owner_.Allow("Append")) return kInjectedFailure;
    Status status = file_->Append(bytes);
    if (status.ok()) written_ += bytes.size();
    return status;
  }

  Status Sync() override {
    if (!owner_.Allow("Sync")) return kInjectedFailure;
    Status status = file_->Sync();
    if (status.ok()) owner_.RecordSynced(path_, written_);
    return status;
  }

  Status Close() override {
    if (!owner_.Allow("Close")) return kInjectedFailure;
    return file_->Close();
  }

 private:
  std::unique_ptr<WritableFile> file_;
  std::filesystem::path path_;
  FaultyFileSystem& owner_;
  std::uint64_t written_ = 0;
};

template <class File>
Result<std::unique_ptr<ReadableFile>> WrapReader(Result<std::unique_ptr<File>> opened,
                                                 FaultyFileSystem& owner) {
  if (!opened.ok()) return opened.error();
  return std::unique_ptr<ReadableFile>(new FaultyReadableFile(std::move(opened.value()), owner));
}

}  // namespace

bool FaultyFileSystem::Allow(const std::string& name) {
  int number = static_cast<int>(operations_.size());
  operations_.push_back(name);
  if (crash_at && number >= *crash_at) return false;
  return !(fail_at && number == *fail_at);
}

bool FaultyFileSystem::Crashed() const {
  return crash_at && static_cast<int>(operations_.size()) > *crash_at;
}

void FaultyFileSystem::RecordSynced(const std::filesystem::path& path, std::uint64_t size) {
  synced_sizes_[path] = size;
}

// What a power loss would cut off follows the file to its new name.
void FaultyFileSystem::FollowRename(const std::filesystem::path& from,
                                    const std::filesystem::path& to) {
  synced_sizes_.erase(to);
  if (auto entry = synced_sizes_.extract(from)) {
    entry.key() = to;
    synced_sizes_.insert(std::move(entry));
  }
}

void FaultyFileSystem::LoseUnsyncedWrites() {
  for (const auto& [path, size] : synced_sizes_) {
    std::error_code ignored;
    if (std::filesystem::exists(path, ignored) && std::filesystem::file_size(path) > size) {
      std::filesystem::resize_file(path, size);
    }
  }
}

Result<FilePath> FaultyFileSystem::ResolveLinks(const FilePath& path) {
  if (!Allow("ResolveLinks")) return kInjectedFailure;
  return SystemFileSystem().ResolveLinks(path);
}

bool FaultyFileSystem::Exists(const FilePath& path) { return SystemFileSystem().Exists(path); }

Result<std::unique_ptr<ReadableFile>> FaultyFileSystem::OpenForReading(const FilePath& path) {
  if (!Allow("OpenForReading")) return kInjectedFailure;
  return WrapReader(SystemFileSystem().OpenForReading(path), *this);
}

Result<std::unique_ptr<ReadableFile>> FaultyFileSystem::OpenForUpdate(const FilePath& path) {
  if (!Allow("OpenForUpdate")) return kInjectedFailure;
  return WrapReader(SystemFileSystem().OpenForUpdate(path), *this);
}

Result<std::unique_ptr<WritableFile>> FaultyFileSystem::CreateNew(const FilePath& path,
                                                                  const FilePath& like) {
  if (!Allow("CreateNew")) return kInjectedFailure;
  auto created = SystemFileSystem().CreateNew(path, like);
  if (!created.ok()) return created.error();
  return std::unique_ptr<WritableFile>(
      new FaultyWritableFile(std::move(created.value()), path, *this));
}

Status FaultyFileSystem::ReplaceKeepingBackup(const FilePath& target, const FilePath& replacement,
                                              const FilePath& backup) {
  if (!Allow("ReplaceKeepingBackup")) return kInjectedFailure;
  if (!Allow("ReplaceKeepingBackup, rename")) {
    // A failure is undone by the real file system; a crash is not.
    if (Crashed()) {
      std::error_code no_links;
      if (!backup_by_moving) std::filesystem::create_hard_link(target, backup, no_links);
      if (backup_by_moving || no_links) std::filesystem::rename(target, backup);
    }
    return kInjectedFailure;
  }
  Status status = SystemFileSystem().ReplaceKeepingBackup(target, replacement, backup);
  if (status.ok()) FollowRename(replacement, target);
  return status;
}

Status FaultyFileSystem::RenameReplacing(const FilePath& from, const FilePath& to) {
  if (!Allow("RenameReplacing")) return kInjectedFailure;
  Status status = SystemFileSystem().RenameReplacing(from, to);
  if (status.ok()) FollowRename(from, to);
  return status;
}

Status FaultyFileSystem::Remove(const FilePath& path) {
  if (!Allow("Remove")) return kInjectedFailure;
  return SystemFileSystem().Remove(path);
}

Status FaultyFileSystem::SyncFolderOf(const FilePath& path) {
  if (!Allow("SyncFolderOf")) return kInjectedFailure;
  return SystemFileSystem().SyncFolderOf(path);
}

}  // namespace orvanta::testing
