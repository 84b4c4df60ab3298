// Who may use a task file, and keeping it so when a new file of this user's
// takes its place.
#pragma once

#include <sys/stat.h>

#include "taskfile/file_path.h"
#include "taskfile/status.h"

namespace orvanta {

// The folder holding `path`; "." for a bare name.
FilePath FolderOf(const FilePath& path);

// Whether a new file created by this user, given the old file's mode and,
// where this user may, its owner and group, can take the place of the file
// `file` describes at `path` without anyone losing the access they had: the
// folder must let this user replace the file, and the owner and group the
// new file keeps must read and write it as before.
Status CheckNewFileCanTakeItsPlace(const FilePath& path, const struct stat& file);

// Gives the open file `fd` the extended attributes of `like`, its access
// control list among them; removes an access control list `fd` inherited
// from its folder that `like` does not have. The error names what could not
// be kept.
Status CopyExtraAttributes(const FilePath& like, int fd);

}  // namespace orvanta
