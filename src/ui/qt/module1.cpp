#include "ui/qt/module1.h"

#include <QFileDialog>
#include <QFileInfo>

namespace orvanta::qt {

bool ShowOpenDialog(QWidget* owner, const QString& suggested_name, const QString& filter,
                    QString& path, QString& file_title) {
  QFileDialog dialog(owner, QStringLiteral("打开文件"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // "*.*" would hide every file without a dot on Linux.
  dialog.setNameFilter(filter.isEmpty() ? QStringLiteral("所有文件 (*)") : filter);
  if (!suggested_name.isEmpty()) dialog.selectFile(suggested_name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;

  path = QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
  file_title = QFileInfo(path).fileName();
  return true;
}

}  // namespace orvanta::qt
