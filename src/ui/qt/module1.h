// The open-file dialog routine.
#pragma once

#include <QString>
#include <QWidget>

namespace orvanta::qt {

// Shows the open-file dialog over `owner`, titled "打开文件", for one
// existing file. An empty `filter` offers all files. Returns true when a file
// was chosen, and only then sets `path` (full) and `file_title` (bare name).
bool ShowOpenDialog(QWidget* owner, const QString& suggested_name, const QString& filter,
                    QString& path, QString& file_title);

}  // namespace orvanta::qt
