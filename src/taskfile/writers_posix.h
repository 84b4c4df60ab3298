// Whether another program writes a file: a read lease, which the kernel
// grants only while no process has the file open for writing and breaks as
// soon as one opens it so; else /proc, as far as this user may look.
#pragma once

#include <sys/stat.h>

namespace orvanta {

enum class Writers {
  kNone,
  kSome,
  kCannotTell,  // some process could not be looked into
};

// Holds a read lease on `fd`, which must be open for reading only. A
// program that opens the file for writing meanwhile waits until the lease
// goes, at the latest when `fd` is closed, and is told by no signal.
class ReadLease {
 public:
  // kCannotTell where no lease can be had: another user's file, a file
  // system without leases.
  Writers Take(int fd);
  // False once a program asked to write, or the lease was never taken.
  bool Held() const;
  void Release();

 private:
  int fd_ = -1;
};

// Processes, this one through any descriptor but `own_fd` included, that have
// the file `file` describes open for writing.
Writers WritersInProc(int own_fd, const struct stat& file);

}  // namespace orvanta
