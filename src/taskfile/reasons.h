// The reasons the program words itself, in the window's language; the
// system words all others (strerror, FormatMessage).
#pragma once

namespace orvanta::reason {

inline constexpr const char* kEndOfFile = "文件比预期的短";
inline constexpr const char* kFolder = "这是一个文件夹，不是文件";
inline constexpr const char* kNotRegularFile = "这不是普通文件（是管道或设备）";
inline constexpr const char* kChangedSinceLoaded = "任务文件在打开后已被改动";
inline constexpr const char* kAddressTooLong = "新地址太长";
inline constexpr const char* kSystemErrorNumber = "系统错误 ";

}  // namespace orvanta::reason
