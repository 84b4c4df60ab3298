#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "taskfile/file_system.h"
#include "taskfile/reasons.h"

namespace orvanta {
namespace {

SystemError LastError() { return {std::strerror(errno)}; }

constexpr std::int64_t Nanoseconds(const timespec& time) {
  return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec;
}

FileVersion VersionOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_size), Nanoseconds(info.st_mtim),
          Nanoseconds(info.st_ctim)};
}

FilePath FolderOf(const FilePath& path) {
  FilePath folder = path.parent_path();
  return folder.empty() ? FilePath(".") : folder;
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

  Result<FileVersion> Version() override {
    struct stat info {};
    if (::fstat(fd_.get(), &info) != 0) return LastError();
    return VersionOf(info);
  }

  int fd() const { return fd_.get(); }

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
Result<std::unique_ptr<PosixReadableFile>> Open(const FilePath& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0 && errno == EISDIR) return SystemError{reason::kFolder};
  if (fd < 0) return LastError();
  FileDescriptor guard(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return LastError();
  if (S_ISDIR(info.st_mode)) return SystemError{reason::kFolder};
  if (!S_ISREG(info.st_mode)) return SystemError{reason::kNotRegularFile};
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) return LastError();
  return std::make_unique<PosixReadableFile>(guard.release(),
                                             static_cast<std::uint64_t>(info.st_size));
}

// Calls `visit` with each entry's name; nothing when the folder cannot be
// read. Entries of /proc may vanish while they are read.
void ForEachEntry(const std::string& folder, const std::function<void(const std::string&)>& visit) {
  namespace fs = std::filesystem;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    visit(entry->path().filename().string());
  }
}

bool OpenForWriting(const std::string& fdinfo) {
  std::ifstream in(fdinfo);
  for (std::string key; in >> key;) {
    if (key != "flags:") continue;
    std::string octal;
    in >> octal;
    return (std::strtoul(octal.c_str(), nullptr, 8) & O_ACCMODE) != O_RDONLY;
  }
  return false;
}

// Whether any process, this one through any descriptor but `own_fd`
// included, has `file` open for writing, as far as this user may see:
// another user's processes are hidden from it.
bool HeldForWritingElsewhere(int own_fd, const struct stat& file) {
  const std::string self = std::to_string(::getpid()), own = std::to_string(own_fd);
  bool held = false;
  ForEachEntry("/proc", [&](const std::string& pid) {
    if (held || pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0]))) return;
    const std::string process = "/proc/" + pid;
    ForEachEntry(process + "/fd", [&](const std::string& fd) {
      if (held || (pid == self && fd == own)) return;
      struct stat info {};
      if (::stat((process + "/fd/" + fd).c_str(), &info) != 0) return;
      if (info.st_dev != file.st_dev || info.st_ino != file.st_ino) return;
      held = OpenForWriting(process + "/fdinfo/" + fd);
    });
  });
  return held;
}

// What a read lease says of `path`: refused while any process, of any user,
// has the file open for writing. Nothing where no lease can be had (another
// user's file, or a file system without leases).
std::optional<bool> OpenForWritingByLease(const FilePath& path) {
  FileDescriptor reader(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (reader.get() < 0) return std::nullopt;
  if (::fcntl(reader.get(), F_SETLEASE, F_RDLCK) == 0) {
    (void)::fcntl(reader.get(), F_SETLEASE, F_UNLCK);
    return false;
  }
  if (errno == EAGAIN) return true;
  return std::nullopt;
}

bool ThisUserIsIn(gid_t group) {
  if (::getegid() == group) return true;
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
  groups.resize(static_cast<std::size_t>(std::max(count, 0)));
  return std::find(groups.begin(), groups.end(), group) != groups.end();
}

// False too for a user the system does not know by name.
bool UserIsIn(uid_t user, gid_t group) {
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return false;
  if (entry.pw_gid == group) return true;
  int count = 64;
  std::vector<gid_t> groups;
  do {
    groups.resize(static_cast<std::size_t>(count));
  } while (::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0 &&
           count > static_cast<int>(groups.size()));
  groups.resize(static_cast<std::size_t>(std::max(count, 0)));
  return std::find(groups.begin(), groups.end(), group) != groups.end();
}

// A rewrite puts a new file of this user's in the task file's place. Where
// that file is another user's, the folder must let this user replace it, and
// the new file, which can keep the mode but not the owner, must leave its
// owner and its group the access they had.
Status CheckNewFileCanTakeItsPlace(const FilePath& path, const struct stat& file) {
  const uid_t me = ::geteuid();
  if (me == 0 || me == file.st_uid) return {};
  struct stat folder {};
  if (::stat(FolderOf(path).c_str(), &folder) != 0) return LastError();
  if ((folder.st_mode & S_ISVTX) && me != folder.st_uid) {
    return SystemError{reason::kOwnedByOtherInStickyFolder};
  }
  const gid_t new_group = ThisUserIsIn(file.st_gid) ? file.st_gid : ::getegid();
  const mode_t owner = (file.st_mode >> 6) & 6, group = (file.st_mode >> 3) & 6,
               others = file.st_mode & 6;
  const mode_t owner_keeps = others | (UserIsIn(file.st_uid, new_group) ? group : 0);
  const mode_t group_keeps = new_group == file.st_gid ? group : others;
  if ((owner & ~owner_keeps) || (group & ~group_keeps)) {
    return SystemError{reason::kOwnerWouldLoseAccess};
  }
  return {};
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
    auto opened = Open(path, O_RDONLY);
    if (!opened.ok()) return opened.error();
    return std::unique_ptr<ReadableFile>(std::move(opened.value()));
  }

  // Whether another program writes the file is asked before this one opens
  // it for writing: a lease first, as it is cheap and sees every user's
  // programs, else /proc.
  Result<std::unique_ptr<ReadableFile>> OpenForRewrite(const FilePath& path) override {
    const std::optional<bool> held = OpenForWritingByLease(path);
    auto opened = Open(path, O_RDWR);
    if (!opened.ok()) return opened.error();
    struct stat info {};
    if (::fstat(opened.value()->fd(), &info) != 0) return LastError();
    if (Status status = CheckNewFileCanTakeItsPlace(path, info); !status.ok()) {
      return status.error();
    }
    if (held ? *held : HeldForWritingElsewhere(opened.value()->fd(), info)) {
      return SystemError{reason::kInUse};
    }
    return std::unique_ptr<ReadableFile>(std::move(opened.value()));
  }

  Result<std::unique_ptr<WritableFile>> CreateNew(const FilePath& path,
                                                  const FilePath& like) override {
    struct stat model {};
    if (::stat(like.c_str(), &model) != 0) return LastError();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) return LastError();
    auto file = std::make_unique<PosixWritableFile>(fd);
    // The old owner, where this user may give it (root may), else the old
    // group, then the old permissions, by fchmod so that the umask does not
    // narrow them.
    if (::fchown(fd, model.st_uid, model.st_gid) != 0)
      (void)::fchown(fd, static_cast<uid_t>(-1), model.st_gid);
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

  std::size_t MaxNameLength(const FilePath& path) override {
    long longest = ::pathconf(FolderOf(path).c_str(), _PC_NAME_MAX);
    return longest > 0 ? static_cast<std::size_t>(longest) : 255;
  }

  Status SyncFolderOf(const FilePath& path) override {
    FileDescriptor fd(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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
