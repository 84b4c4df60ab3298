#include "taskfile/writers_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace orvanta {
namespace {

// Calls `visit` with each entry's name. False when the folder cannot be
// read; entries of /proc may vanish while they are read, which is no failure.
bool ForEachEntry(const std::string& folder, const std::function<void(const std::string&)>& visit) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::directory_iterator entry(folder, error), end;
  if (error) return error == std::errc::no_such_file_or_directory;
  for (; !error && entry != end; entry.increment(error)) visit(entry->path().filename().string());
  return true;
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

}  // namespace

Writers ReadLease::Take(int fd) {
  // The kernel tells a lease holder of a break with SIGIO, which ends a
  // program that does not catch it. Until the owner is cleared the signal is
  // SIGURG, which nobody receives unasked; after that there is none at all.
  (void)::fcntl(fd, F_SETSIG, SIGURG);
  if (::fcntl(fd, F_SETLEASE, F_RDLCK) != 0) {
    return errno == EAGAIN ? Writers::kSome : Writers::kCannotTell;
  }
  (void)::fcntl(fd, F_SETOWN, 0);
  fd_ = fd;
  return Writers::kNone;
}

bool ReadLease::Held() const { return fd_ >= 0 && ::fcntl(fd_, F_GETLEASE) == F_RDLCK; }

void ReadLease::Release() {
  if (fd_ >= 0) (void)::fcntl(fd_, F_SETLEASE, F_UNLCK);
  fd_ = -1;
}

Writers WritersInProc(int own_fd, const struct stat& file) {
  const std::string self = std::to_string(::getpid()), own = std::to_string(own_fd);
  Writers found = Writers::kNone;
  ForEachEntry("/proc", [&](const std::string& pid) {
    if (found == Writers::kSome || pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0])))
      return;
    const std::string process = "/proc/" + pid;
    const bool seen = ForEachEntry(process + "/fd", [&](const std::string& fd) {
      if (found == Writers::kSome || (pid == self && fd == own)) return;
      struct stat info {};
      if (::stat((process + "/fd/" + fd).c_str(), &info) != 0) return;
      if (info.st_dev != file.st_dev || info.st_ino != file.st_ino) return;
      if (OpenForWriting(process + "/fdinfo/" + fd)) found = Writers::kSome;
    });
    if (!seen && found == Writers::kNone) found = Writers::kCannotTell;
  });
  return found;
}

}  // namespace orvanta
