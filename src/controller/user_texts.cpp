#include "controller/user_texts.h"

#include "taskfile/unicode_text.h"

namespace orvanta::text {

std::string Described(const SystemError& error) {
  switch (error.kind) {
    case ErrorKind::kFolder:
      return "这是一个文件夹，不是文件";
    case ErrorKind::kNotRegularFile:
      return "这不是普通文件（是管道或设备）";
    case ErrorKind::kEndOfFile:
      return "文件比预期的短";
    case ErrorKind::kInUse:
      return "任务文件正被其他程序使用，请先关闭该程序再修改。";
    case ErrorKind::kWritersUnknown:
      return "无法确定任务文件是否正被其他程序写入（例如它属于其他用户），"
             "为免丢失那个程序写入的内容，没有修改。";
    case ErrorKind::kOwnedByOtherInStickyFolder:
      return "任务文件属于其他用户，而它所在的文件夹只允许文件的所有者替换文件。";
    case ErrorKind::kOwnerWouldLoseAccess:
      return "任务文件属于其他用户，修改后它的所有者或同组用户将无法再读写它。";
    case ErrorKind::kGroupWouldLoseAccess:
      return "你不在任务文件的所属组中，修改后该组的用户将无法再读写它。";
    case ErrorKind::kAccessListNotKept:
      return "新文件无法保留任务文件的这项属性：访问控制列表（ACL）\n" + error.system_text;
    case ErrorKind::kAttributeNotKept:
      return "新文件无法保留任务文件的这项属性：" + error.subject + "\n" + error.system_text;
    case ErrorKind::kChangedSinceLoaded:
      return "任务文件在打开后已被改动";
    case ErrorKind::kAddressTooLong:
      return "新地址太长";
    case ErrorKind::kOther:
    case ErrorKind::kNotFound:
    case ErrorKind::kAccessDenied:
    case ErrorKind::kReadOnly:
    case ErrorKind::kNoSpace:
    case ErrorKind::kNameTooLong:
      break;
  }
  if (!error.system_text.empty()) return error.system_text;
  return "系统错误（代码 " + std::to_string(error.code) + "）";
}

std::string Unreadable(const SystemError& error) {
  std::string message = "无法读取文件！\n";
  return message += Described(error);
}

std::string ModifyFailed(const RewriteError& error) {
  std::string message = "修改失败！原文件未改动。\n";
  if (error.step == RewriteStep::kCreateNewFile) {
    message += "无法在文件夹“" + error.error.subject + "”中创建新文件：";
  }
  message += Described(error.error);
  if (error.not_restored) {
    message += "\n";
    message += Described(*error.not_restored);
    message += "\n原文件内容保存在：\n";
    message += PathToUtf8(error.backup);
  }
  return message;
}

std::string Unencodable(const std::vector<std::string>& characters) {
  std::string list;
  for (const std::string& c : characters) {
    if (!list.empty()) list += "、";
    list += c;
  }
  return "新地址中的以下字符无法保存到任务文件：" + list + "，地址未修改。";
}

std::string KeptOldBackup(const std::string& path) {
  return "发现上次未完成的修改留下的备份文件，已将其另存为：\n" + path;
}

}  // namespace orvanta::text
