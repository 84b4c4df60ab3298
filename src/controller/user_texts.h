// Every text the user reads, together for review and a later translation.
// The core hands back kinds and the system's own words; these are the
// program's words around them.
#pragma once

#include <string>
#include <vector>

#include "taskfile/address_rewrite.h"
#include "taskfile/status.h"

namespace orvanta::text {

inline constexpr const char* kNotTaskFile = "非迅雷cfg文件！";
inline constexpr const char* kDamaged = "任务文件已损坏！";
inline constexpr const char* kModified = "修改完成...";
inline constexpr const char* kChangedSinceLoaded =
    "修改失败！任务文件在打开后已被其他程序改动，请重新打开。";
inline constexpr const char* kControlCharacter = "新地址中不能有换行符或其他控制字符！";

// The failure in the program's words where it found it, in the system's
// where the system reported it.
std::string Described(const SystemError& error);

std::string Unreadable(const SystemError& error);
std::string ModifyFailed(const RewriteError& error);
// `characters`: each one already shown as the user should see it.
std::string Unencodable(const std::vector<std::string>& characters);
std::string KeptOldBackup(const std::string& path);

}  // namespace orvanta::text
