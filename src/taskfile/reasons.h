// The reasons the program words itself, in the window's language; the
// others come from the system (strerror, FormatMessage).
#pragma once

namespace orvanta::reason {

inline constexpr const char* kEndOfFile = "文件比预期的短";
inline constexpr const char* kFolder = "这是一个文件夹，不是文件";
inline constexpr const char* kNotRegularFile = "这不是普通文件（是管道或设备）";
inline constexpr const char* kChangedSinceLoaded = "任务文件在打开后已被改动";
inline constexpr const char* kAddressTooLong = "新地址太长";
inline constexpr const char* kInUse = "任务文件正被其他程序使用，请先关闭该程序再修改。";
inline constexpr const char* kOwnedByOtherInStickyFolder =
    "任务文件属于其他用户，而它所在的文件夹只允许文件的所有者替换文件。";
inline constexpr const char* kOwnerWouldLoseAccess =
    "任务文件属于其他用户，修改后它的所有者或同组用户将无法再读写它。";
inline constexpr const char* kWritersUnknown =
    "无法确定任务文件是否正被其他程序写入（例如它属于其他用户），为免丢失那个程序写入的内容，没有修"
    "改。";
inline constexpr const char* kGroupWouldLoseAccess =
    "你不在任务文件的所属组中，修改后该组的用户将无法再读写它。";
inline constexpr const char* kAttributeNotKept = "新文件无法保留任务文件的这项属性：";
inline constexpr const char* kAccessControlList = "访问控制列表（ACL）";
// Around the folder: "无法在文件夹“…”中创建新文件：" and the system's reason.
inline constexpr const char* kCannotCreateInFolder = "无法在文件夹“";
inline constexpr const char* kCannotCreateInFolderEnd = "”中创建新文件：";
// Around the number of a failure the system has no words for.
inline constexpr const char* kSystemErrorNumber = "系统错误（代码 ";
inline constexpr const char* kSystemErrorNumberEnd = "）";

}  // namespace orvanta::reason
