#include "taskfile/access_posix.h"

#include <grp.h>
#include <pwd.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "taskfile/system_error.h"

namespace orvanta {
namespace {

constexpr std::string_view kAccessControlList = "system.posix_acl_access";

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

// The group a new file of this user's in `folder` ends with when it is
// given `wanted`: the system lets a user give only a group it is in, and
// otherwise the file keeps the one it was created with.
gid_t GroupANewFileGets(const struct stat& folder, gid_t wanted) {
  if (ThisUserIsIn(wanted)) return wanted;
  return (folder.st_mode & S_ISGID) ? folder.st_gid : ::getegid();
}

// Reads one of `path`'s attributes, or their list of names when `name` is
// null: the size is asked first, and asked again should it grow meanwhile.
template <class Read>
bool ReadGrowing(Read read, std::vector<char>& out) {
  for (;;) {
    ssize_t size = read(nullptr, 0);
    if (size < 0) return false;
    out.resize(static_cast<std::size_t>(size));
    size = read(out.data(), out.size());
    if (size >= 0) {
      out.resize(static_cast<std::size_t>(size));
      return true;
    }
    if (errno != ERANGE) return false;
  }
}

}  // namespace

FilePath FolderOf(const FilePath& path) {
  FilePath folder = path.parent_path();
  return folder.empty() ? FilePath(".") : folder;
}

Status CheckNewFileCanTakeItsPlace(const FilePath& path, const struct stat& file) {
  const uid_t me = ::geteuid();
  if (me == 0) return {};  // root gives the new file the old owner and group
  struct stat folder {};
  if (::stat(FolderOf(path).c_str(), &folder) != 0) return LastSystemError();
  const bool mine = me == file.st_uid;
  if (!mine && (folder.st_mode & S_ISVTX) && me != folder.st_uid) {
    return SystemError{ErrorKind::kOwnedByOtherInStickyFolder};
  }
  const gid_t new_group = GroupANewFileGets(folder, file.st_gid);
  const mode_t owner = (file.st_mode >> 6) & 6, group = (file.st_mode >> 3) & 6,
               others = file.st_mode & 6;
  const mode_t group_keeps = new_group == file.st_gid ? group : others;
  if (mine) {
    return (group & ~group_keeps) ? Status(SystemError{ErrorKind::kGroupWouldLoseAccess}) : Status();
  }
  const mode_t owner_keeps = others | (UserIsIn(file.st_uid, new_group) ? group : 0);
  if ((owner & ~owner_keeps) || (group & ~group_keeps)) {
    return SystemError{ErrorKind::kOwnerWouldLoseAccess};
  }
  return {};
}

Status CopyExtraAttributes(const FilePath& like, int fd) {
  std::vector<char> names;
  if (!ReadGrowing([&](char* out, size_t size) { return ::listxattr(like.c_str(), out, size); },
                   names)) {
    if (errno == ENOTSUP) return {};  // a file system without them
    return LastSystemError();
  }
  bool has_access_control_list = false;
  for (const char* name = names.data(); name < names.data() + names.size();
       name += std::strlen(name) + 1) {
    has_access_control_list |= name == kAccessControlList;
    std::vector<char> value;
    const bool copied =
        ReadGrowing(
            [&](char* out, size_t size) { return ::getxattr(like.c_str(), name, out, size); },
            value) &&
        ::fsetxattr(fd, name, value.data(), value.size(), 0) == 0;
    if (!copied) {
      SystemError error = LastSystemError();
      error.kind = name == kAccessControlList ? ErrorKind::kAccessListNotKept
                                              : ErrorKind::kAttributeNotKept;
      error.subject = name;
      return error;
    }
  }
  if (!has_access_control_list && ::fremovexattr(fd, kAccessControlList.data()) != 0 &&
      errno != ENODATA && errno != ENOTSUP) {
    return LastSystemError();
  }
  return {};
}

}  // namespace orvanta
