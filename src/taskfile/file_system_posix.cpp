#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "taskfile/access_posix.h"
#include "taskfile/file_system.h"
#include "taskfile/system_error.h"
#include "taskfile/writers_posix.h"

namespace orvanta {
namespace {


constexpr std::int64_t Nanoseconds(const timespec& time) {
  return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec;
}

FileVersion VersionOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_size), Nanoseconds(info.st_mtim),
          Nanoseconds(info.st_ctim)};
}

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

  int fd() const { return fd_.get(); }

  Status ReadAt(std::uint64_t offset, std::span<char> out) override {
    while (!out.empty()) {
      ssize_t got = ::pread(fd_.get(), out.data(), out.size(), static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return LastSystemError();
      if (got == 0) return SystemError{ErrorKind::kEndOfFile};
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
      if (put < 0) return LastSystemError();
      bytes = bytes.subspan(static_cast<std::size_t>(put));
    }
    return {};
  }

  Status Sync() override { return ::fsync(fd_.get()) == 0 ? Status() : LastSystemError(); }

  Status Close() override { return fd_.Close() == 0 ? Status() : LastSystemError(); }

  Status CopyExtraAttributesFrom(const FilePath& like) override {
    return CopyExtraAttributes(like, fd_.get());
  }

 private:
  FileDescriptor fd_;
};

// Opens without blocking, so that a FIFO or a device named like a task file
// is refused at once instead of hanging the window until something writes.
Result<std::unique_ptr<PosixReadableFile>> Open(const FilePath& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0 && errno == EISDIR) return SystemError{ErrorKind::kFolder};
  // A program holding a write lease (a file server) is writing the file.
  if (fd < 0 && errno == EWOULDBLOCK) return SystemError{ErrorKind::kInUse};
  if (fd < 0) return LastSystemError();
  FileDescriptor guard(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return LastSystemError();
  if (S_ISDIR(info.st_mode)) return SystemError{ErrorKind::kFolder};
  if (!S_ISREG(info.st_mode)) return SystemError{ErrorKind::kNotRegularFile};
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) return LastSystemError();
  return std::make_unique<PosixReadableFile>(guard.release(),
                                             static_cast<std::uint64_t>(info.st_size));
}

// FUSE file systems (exfat-fuse, ntfs-3g) make a rename over an existing
// name out of several steps, and ntfs-3g's go wrong for names near the
// limit, leaving the old file under a name of its own making.
bool OnFuse(const FilePath& path) {
  constexpr decltype(statfs::f_type) kFuseMagic = 0x65735546;
  struct statfs info {};
  return ::statfs(FolderOf(path).c_str(), &info) == 0 && info.f_type == kFuseMagic;
}

bool NamesSameFile(const FilePath& path, const struct stat& file) {
  struct stat named {};
  return ::stat(path.c_str(), &named) == 0 && named.st_dev == file.st_dev &&
         named.st_ino == file.st_ino;
}

// Held by flock, which any user may take on any file it can open and which
// the system lets go when the program dies.
class PosixHeldTaskFile final : public HeldTaskFile {
 public:
  PosixHeldTaskFile(std::unique_ptr<PosixReadableFile> file, const struct stat& info,
                    ReadLease lease)
      : file_(std::move(file)), info_(info), lease_(lease), leased_(lease.Held()) {}
  ~PosixHeldTaskFile() override { lease_.Release(); }

  std::uint64_t Size() const override { return file_->Size(); }
  Status ReadAt(std::uint64_t offset, std::span<char> out) override {
    return file_->ReadAt(offset, out);
  }

  // A broken lease is given back at once: the program that asked to write
  // waits until then.
  Status CheckNoWriter() override {
    if (leased_ && !lease_.Held()) {
      lease_.Release();
      written_ = true;
    }
    if (!leased_ && WritersInProc(file_->fd(), info_) != Writers::kNone) written_ = true;
    struct stat now {};
    if (!written_ && (::fstat(file_->fd(), &now) != 0 || !Unwritten(VersionOf(now)))) {
      written_ = true;
    }
    return written_ ? Status(SystemError{ErrorKind::kInUse}) : Status();
  }

  Status HoldAlso(const FilePath& replacement) override {
    FileDescriptor fd(::open(replacement.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return LastSystemError();
    also_held_.push_back(std::make_unique<FileDescriptor>(fd.release()));
    return {};
  }

  void LetGoBeforeReplace() override { replacing_ = true; }

 private:
  // The replace links and renames the file, which changes its status time.
  bool Unwritten(const FileVersion& now) const {
    const FileVersion opened = VersionOf(info_);
    if (replacing_) return now.size == opened.size && now.modified == opened.modified;
    return now == opened;
  }

  std::unique_ptr<PosixReadableFile> file_;
  struct stat info_;
  bool replacing_ = false;
  ReadLease lease_;
  bool leased_;
  bool written_ = false;
  std::vector<std::unique_ptr<FileDescriptor>> also_held_;
};

class PosixFileSystem final : public FileSystem {
 public:
  Result<FilePath> ResolveLinks(const FilePath& path) override {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return LastSystemError();
    FilePath target(resolved);
    std::free(resolved);
    return target;
  }

  bool Exists(const FilePath& path) override {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
  }

  Result<std::unique_ptr<ReadableFile>> OpenForReading(const FilePath& path) override {
    auto opened = Open(path, O_RDONLY);
    if (!opened.ok()) return opened.error();
    return std::unique_ptr<ReadableFile>(std::move(opened.value()));
  }

  // Opened for reading only, as a read lease needs; whether the file may be
  // written is asked of the system instead.
  Result<std::unique_ptr<HeldTaskFile>> OpenForRewrite(const FilePath& path) override {
    auto opened = Open(path, O_RDONLY);
    if (!opened.ok()) return opened.error();
    const int fd = opened.value()->fd();
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      return errno == EWOULDBLOCK ? SystemError{ErrorKind::kInUse} : LastSystemError();
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) return LastSystemError();
    // Another rewrite gave the name a new file between the open and the lock.
    if (!NamesSameFile(path, info)) return SystemError{ErrorKind::kInUse};
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return LastSystemError();
    if (Status status = CheckNewFileCanTakeItsPlace(path, info); !status.ok()) {
      return status.error();
    }
    ReadLease lease;
    Writers writers = lease.Take(fd);
    if (writers == Writers::kCannotTell) writers = WritersInProc(fd, info);
    if (writers == Writers::kSome) return SystemError{ErrorKind::kInUse};
    if (writers == Writers::kCannotTell) return SystemError{ErrorKind::kWritersUnknown};
    return std::unique_ptr<HeldTaskFile>(
        new PosixHeldTaskFile(std::move(opened.value()), info, lease));
  }

  Result<std::unique_ptr<WritableFile>> CreateNew(const FilePath& path,
                                                  const FilePath& like) override {
    struct stat model {};
    if (::stat(like.c_str(), &model) != 0) return LastSystemError();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) return LastSystemError();
    auto file = std::make_unique<PosixWritableFile>(fd);
    // The old owner, where this user may give it (root may), else the old
    // group, then the old permissions, by fchmod so that the umask does not
    // narrow them.
    if (::fchown(fd, model.st_uid, model.st_gid) != 0)
      (void)::fchown(fd, static_cast<uid_t>(-1), model.st_gid);
    if (::fchmod(fd, model.st_mode & 07777) != 0) {
      SystemError error = LastSystemError();
      file.reset();
      ::unlink(path.c_str());
      return error;
    }
    return std::unique_ptr<WritableFile>(std::move(file));
  }

  // A second name where the file system has hard links (ext4, tmpfs), so the
  // task file's name never goes missing; a move where it has none (exFAT),
  // and on FUSE, which renames over a name in steps of its own anyway.
  Status ReplaceKeepingBackup(const FilePath& target, const FilePath& replacement,
                              const FilePath& backup) override {
    const bool fuse = OnFuse(target);
    bool linked = !fuse && ::link(target.c_str(), backup.c_str()) == 0;
    if (!linked && (fuse ? Exists(backup) : errno == EEXIST))
      return SystemErrorFrom(EEXIST);
    if (!linked && std::rename(target.c_str(), backup.c_str()) != 0) return LastSystemError();
    if (std::rename(replacement.c_str(), target.c_str()) == 0) return {};
    SystemError error = LastSystemError();
    if (linked) {
      ::unlink(backup.c_str());
    } else {
      std::rename(backup.c_str(), target.c_str());
    }
    return error;
  }

  Status RenameReplacing(const FilePath& from, const FilePath& to) override {
    if (OnFuse(to) && Exists(to) && ::unlink(to.c_str()) != 0) return LastSystemError();
    return std::rename(from.c_str(), to.c_str()) == 0 ? Status() : LastSystemError();
  }

  Status Remove(const FilePath& path) override {
    return ::unlink(path.c_str()) == 0 ? Status() : LastSystemError();
  }

  std::size_t MaxNameLength(const FilePath& path) override {
    long longest = ::pathconf(FolderOf(path).c_str(), _PC_NAME_MAX);
    return longest > 0 ? static_cast<std::size_t>(longest) : 255;
  }

  Status SyncFolderOf(const FilePath& path) override {
    FileDescriptor fd(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return LastSystemError();
    return ::fsync(fd.get()) == 0 ? Status() : LastSystemError();
  }
};

}  // namespace

FileSystem& SystemFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

}  // namespace orvanta
