#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "taskfile/file_system.h"
#include "taskfile/reasons.h"

namespace orvanta {
namespace {

SystemError LastError() { return {std::strerror(errno)}; }

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { Close(); }

  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  int Close() {
    int result = fd_ >= 0 ? ::close(fd_) : 0;
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

class PosixReadableFile final : public ReadableFile {
 public:
  PosixReadableFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

  std::uint64_t Size() const override { return size_; }

  Status ReadAt(std::uint64_t offset, std::span<char> out) override {
    while (!out.empty()) {
      ssize_t got = ::pread(fd_.get(), out.data(), out.size(), static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return LastError();
      if (got == 0) return SystemError{reason::kEndOfFile};
      out = out.subspan(static_cast<std::size_t>(got));
      offset += static_cast<std::uint64_t>(got);
    }
    return {};
  }

 private:
  FileDescriptor fd_;
  std::uint64_t size_;
};

class PosixWritableFile final : public WritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd_(fd) {}

  Status Append(std::span<const char> bytes) override {
    while (!bytes.empty()) {
      ssize_t put = ::write(fd_.get(), bytes.data(), bytes.size());
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return LastError();
      bytes = bytes.subspan(static_cast<std::size_t>(put));
    }
    return {};
  }

  Status Sync() override { return ::fsync(fd_.get()) == 0 ? Status() : LastError(); }

  Status Close() override { return fd_.Close() == 0 ? Status() : LastError(); }

 private:
  FileDescriptor fd_;
};

// Opens without blocking, so that a FIFO or a device named like a task file
// is refused at once instead of hanging the window until something writes.
Result<std::unique_ptr<ReadableFile>> Open(const FilePath& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0 && errno == EISDIR) return SystemError{reason::kFolder};
  if (fd < 0) return LastError();
  FileDescriptor guard(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return LastError();
  if (S_ISDIR(info.st_mode)) return SystemError{reason::kFolder};
  if (!S_ISREG(info.st_mode)) return SystemError{reason::kNotRegularFile};
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) return LastError();
  return std::unique_ptr<ReadableFile>(
      new PosixReadableFile(guard.release(), static_cast<std::uint64_t>(info.st_size)));
}

class PosixFileSystem final : public FileSystem {
 public:
  Result<FilePath> ResolveLinks(const FilePath& path) override {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return LastError();
    FilePath target(resolved);
    std::free(resolved);
    return target;
  }

  bool Exists(const FilePath& path) override {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
  }

  Result<std::unique_ptr<ReadableFile>> OpenForReading(const FilePath& path) override {
    return Open(path, O_RDONLY);
  }

  Result<std::unique_ptr<ReadableFile>> OpenForUpdate(const FilePath& path) override {
    return Open(path, O_RDWR);
  }

  Result<std::unique_ptr<WritableFile>> CreateNew(const FilePath& path,
                                                  const FilePath& like) override {
    struct stat model {};
    if (::stat(like.c_str(), &model) != 0) return LastError();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) return LastError();
    auto file = std::make_unique<PosixWritableFile>(fd);
    // The old owner, where this user may give it (root may), then the old
    // permissions, by fchmod so that the umask does not narrow them.
    (void)::fchown(fd, model.st_uid, model.st_gid);
    if (::fchmod(fd, model.st_mode & 07777) != 0) {
      SystemError error = LastError();
      file.reset();
      ::unlink(path.c_str());
      return error;
    }
    return std::unique_ptr<WritableFile>(std::move(file));
  }

  // A second name where the file system has hard links (ext4, tmpfs), so the
  // task file's name never goes missing; a move where it has none (exFAT).
  Status ReplaceKeepingBackup(const FilePath& target, const FilePath& replacement,
                              const FilePath& backup) override {
    bool linked = ::link(target.c_str(), backup.c_str()) == 0;
    if (!linked && errno == EEXIST) return LastError();
    if (!linked && std::rename(target.c_str(), backup.c_str()) != 0) return LastError();
    if (std::rename(replacement.c_str(), target.c_str()) == 0) return {};
    SystemError error = LastError();
    if (linked) {
      ::unlink(backup.c_str());
    } else {
      std::rename(backup.c_str(), target.c_str());
    }
    return error;
  }

  Status RenameReplacing(const FilePath& from, const FilePath& to) override {
    return std::rename(from.c_str(), to.c_str()) == 0 ? Status() : LastError();
  }

  Status Remove(const FilePath& path) override {
    return ::unlink(path.c_str()) == 0 ? Status() : LastError();
  }

  Status SyncFolderOf(const FilePath& path) override {
    FilePath folder = path.parent_path();
    if (folder.empty()) folder = ".";
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return LastError();
    return ::fsync(fd.get()) == 0 ? Status() : LastError();
  }
};

}  // namespace

FileSystem& SystemFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

}  // namespace orvanta
