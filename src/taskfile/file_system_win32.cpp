#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "taskfile/file_system.h"
#include "taskfile/long_path_win32.h"
#include "taskfile/system_error.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {


class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(other.release()) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Close(); }

  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
  bool Close() {
    bool ok = handle_ == INVALID_HANDLE_VALUE || CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE handle_;
};

// The most one ReadFile or WriteFile call takes, well under its DWORD limit.
constexpr std::size_t kMaxTransfer = 1u << 30;

class Win32ReadableFile final : public ReadableFile {
 public:
  Win32ReadableFile(HANDLE handle, std::uint64_t size) : handle_(handle), size_(size) {}

  std::uint64_t Size() const override { return size_; }
  HANDLE handle() const { return handle_.get(); }

  Result<FileVersion> Version() {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    if (!GetFileInformationByHandle(handle_.get(), &info) ||
        !GetFileInformationByHandleEx(handle_.get(), FileBasicInfo, &times, sizeof times)) {
      return LastSystemError();
    }
    return FileVersion{(std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow,
                       times.LastWriteTime.QuadPart, times.ChangeTime.QuadPart};
  }

  Status ReadAt(std::uint64_t offset, std::span<char> out) override {
    while (!out.empty()) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD want = static_cast<DWORD>(std::min(out.size(), kMaxTransfer)), got = 0;
      if (!ReadFile(handle_.get(), out.data(), want, &got, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) return SystemError{ErrorKind::kEndOfFile};
        return LastSystemError();
      }
      if (got == 0) return SystemError{ErrorKind::kEndOfFile};
      out = out.subspan(got);
      offset += got;
    }
    return {};
  }

 private:
  Handle handle_;
  std::uint64_t size_;
};

class Win32WritableFile final : public WritableFile {
 public:
  explicit Win32WritableFile(HANDLE handle) : handle_(handle) {}

  Status Append(std::span<const char> bytes) override {
    while (!bytes.empty()) {
      DWORD want = static_cast<DWORD>(std::min(bytes.size(), kMaxTransfer)), put = 0;
      if (!WriteFile(handle_.get(), bytes.data(), want, &put, nullptr)) return LastSystemError();
      bytes = bytes.subspan(put);
    }
    return {};
  }

  Status Sync() override { return FlushFileBuffers(handle_.get()) ? Status() : LastSystemError(); }

  Status Close() override { return handle_.Close() ? Status() : LastSystemError(); }

  // ReplaceFileW carries the old file's security, attributes and streams.
  Status CopyExtraAttributesFrom(const FilePath&) override { return {}; }

 private:
  Handle handle_;
};

Result<std::unique_ptr<Win32ReadableFile>> Open(const FilePath& path, DWORD access, DWORD sharing) {
  // CreateFileW would refuse a folder only as "access denied".
  DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return SystemError{ErrorKind::kFolder};
  }
  HANDLE handle = CreateFileW(LongPathForm(path).c_str(), access, sharing, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    const bool shared = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
    return shared && (access & GENERIC_WRITE) ? SystemError{ErrorKind::kInUse} : SystemErrorFrom(code);
  }
  Handle guard(handle);
  if (GetFileType(handle) != FILE_TYPE_DISK) return SystemError{ErrorKind::kNotRegularFile};
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return LastSystemError();
  // Windows refuses write access to a read-only file itself, except to
  // privileged Wine users: refuse it here too, for every user alike.
  bool writing = (access & GENERIC_WRITE) != 0;
  if (writing && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
    return SystemErrorFrom(ERROR_ACCESS_DENIED);
  }
  std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return std::make_unique<Win32ReadableFile>(guard.release(), size);
}

// The turn to rewrite one task file: a semaphore named after the file's
// identity on its volume, whatever path reaches it, in every session's
// namespace. Taken by one rewrite at a time, whichever program or user; the
// system frees it with the last program that has it open.
Result<Handle> TakeTurnToRewrite(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return LastSystemError();
  std::wstring name = L"Global\\Orvanta.rewrite.";
  for (DWORD part : {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow}) {
    for (int shift = 28; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(part >> shift) & 0xF];
  }
  Handle turn(CreateSemaphoreW(nullptr, 1, 1, name.c_str()));
  // Made by another user's rewrite, which is running.
  if (!turn.get() && GetLastError() == ERROR_ACCESS_DENIED) return SystemError{ErrorKind::kInUse};
  if (!turn.get()) return LastSystemError();
  if (WaitForSingleObject(turn.get(), 0) != WAIT_OBJECT_0) return SystemError{ErrorKind::kInUse};
  return turn;
}

class Win32HeldTaskFile final : public HeldTaskFile {
 public:
  Win32HeldTaskFile(std::unique_ptr<Win32ReadableFile> file, FileVersion opened, Handle turn)
      : file_(std::move(file)), size_(file_->Size()), opened_(opened) {
    turns_.push_back(std::move(turn));
  }
  ~Win32HeldTaskFile() override {
    for (const Handle& turn : turns_) ReleaseSemaphore(turn.get(), 1, nullptr);
  }

  std::uint64_t Size() const override { return size_; }
  Status ReadAt(std::uint64_t offset, std::span<char> out) override {
    return file_->ReadAt(offset, out);
  }

  // While the file is open here, its sharing keeps writers out, and only a
  // program that held it before could have written it.
  Status CheckNoWriter() override {
    if (!file_) return {};
    Result<FileVersion> now = file_->Version();
    if (!now.ok() || !(now.value() == opened_)) return SystemError{ErrorKind::kInUse};
    return {};
  }

  // Asking for its attributes only is never refused for sharing, so the
  // new file may stay open for writing meanwhile.
  Status HoldAlso(const FilePath& replacement) override {
    Handle file(CreateFileW(LongPathForm(replacement).c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return LastSystemError();
    Result<Handle> turn = TakeTurnToRewrite(file.get());
    if (!turn.ok()) return turn.error();
    turns_.push_back(std::move(turn.value()));
    return {};
  }

  void LetGoBeforeReplace() override { file_.reset(); }

 private:
  std::unique_ptr<Win32ReadableFile> file_;
  std::uint64_t size_;
  FileVersion opened_;
  std::vector<Handle> turns_;
};

class Win32FileSystem final : public FileSystem {
 public:
  Result<FilePath> ResolveLinks(const FilePath& path) override {
    DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return path;
    }
    Handle file(CreateFileW(LongPathForm(path).c_str(), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return LastSystemError();
    std::wstring target(MAX_PATH, L'\0');
    for (;;) {
      DWORD length =
          GetFinalPathNameByHandleW(file.get(), target.data(), static_cast<DWORD>(target.size()),
                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      if (length == 0) return LastSystemError();
      if (length < target.size()) {
        target.resize(length);
        return UsualPathForm(target);
      }
      target.resize(length);
    }
  }

  bool Exists(const FilePath& path) override {
    return GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  // Other programs may go on reading, writing or renaming the file meanwhile,
  // as they could before it was opened here.
  Result<std::unique_ptr<ReadableFile>> OpenForReading(const FilePath& path) override {
    auto opened = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (!opened.ok()) return opened.error();
    return std::unique_ptr<ReadableFile>(std::move(opened.value()));
  }

  // Sharing only reading: a program that holds the file for writing makes
  // this fail, and none can open it for writing, or rename it, until closed.
  Result<std::unique_ptr<HeldTaskFile>> OpenForRewrite(const FilePath& path) override {
    auto opened = Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
    if (!opened.ok()) return opened.error();
    Result<FileVersion> version = opened.value()->Version();
    if (!version.ok()) return version.error();
    Result<Handle> turn = TakeTurnToRewrite(opened.value()->handle());
    if (!turn.ok()) return turn.error();
    return std::unique_ptr<HeldTaskFile>(
        new Win32HeldTaskFile(std::move(opened.value()), version.value(), std::move(turn.value())));
  }

  Result<std::unique_ptr<WritableFile>> CreateNew(const FilePath& path,
                                                  const FilePath& like) override {
    DWORD attributes = GetFileAttributesW(LongPathForm(like).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastSystemError();
    const DWORD kept = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    attributes &= kept;
    HANDLE handle = CreateFileW(LongPathForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastSystemError();
    return std::unique_ptr<WritableFile>(new Win32WritableFile(handle));
  }

  // ReplaceFileW also carries over the old file's attributes, security and
  // creation time, as Windows' own programs do when they save.
  Status ReplaceKeepingBackup(const FilePath& target, const FilePath& replacement,
                              const FilePath& backup) override {
    if (ReplaceFileW(LongPathForm(target).c_str(), LongPathForm(replacement).c_str(),
                     LongPathForm(backup).c_str(),
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                     nullptr)) {
      return {};
    }
    DWORD code = GetLastError();
    // The old file already went to the backup's name, the new one not to
    // the target's: put the old one back.
    if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
      MoveFileExW(LongPathForm(backup).c_str(), LongPathForm(target).c_str(),
                  MOVEFILE_WRITE_THROUGH);
    }
    if (code == ERROR_SHARING_VIOLATION) return SystemError{ErrorKind::kInUse};
    return SystemErrorFrom(code);
  }

  Status RenameReplacing(const FilePath& from, const FilePath& to) override {
    return MoveFileExW(LongPathForm(from).c_str(), LongPathForm(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? Status()
               : LastSystemError();
  }

  Status Remove(const FilePath& path) override {
    return DeleteFileW(LongPathForm(path).c_str()) ? Status() : LastSystemError();
  }

  // Asked through the folder, as asking through the volume's root would
  // need read access to the whole device.
  std::size_t MaxNameLength(const FilePath& path) override {
    const FilePath parent = path.parent_path();
    Handle folder(CreateFileW(LongPathForm(parent.empty() ? FilePath(L".") : parent).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    DWORD longest = 0;
    if (folder.get() != INVALID_HANDLE_VALUE &&
        GetVolumeInformationByHandleW(folder.get(), nullptr, 0, nullptr, &longest, nullptr, nullptr,
                                      0) &&
        longest > 0) {
      return longest;
    }
    return 255;  // NTFS, exFAT and FAT32 with long names alike
  }

  // NTFS journals renames and creations itself; MOVEFILE_WRITE_THROUGH and
  // FlushFileBuffers cover the rest.
  Status SyncFolderOf(const FilePath&) override { return {}; }
};

}  // namespace

FileSystem& SystemFileSystem() {
  static Win32FileSystem file_system;
  return file_system;
}

}  // namespace orvanta
