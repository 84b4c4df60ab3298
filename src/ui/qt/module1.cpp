#include "ui/qt/module1.h"

#include <QFileDialog>
#include <QFileInfo>

#include "ui/form_layout.h"

namespace orvanta::qt {

bool ShowOpenDialog(QWidget* owner, const QString& suggested_name, const QString& filter,
                    QString& path, QString& file_title) {
  QFileDialog dialog(owner, QString::fromUtf8(form::kOpenDialogTitle));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // "*.*" would hide every file without a dot on Linux.
  dialog.setNameFilter(filter.isEmpty() ? QString::fromUtf8(form::kAllFilesName) + " (*)" : filter);
  if (!suggested_name.isEmpty()) dialog.selectFile(suggested_name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;

  path = QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
  file_title = QFileInfo(path).fileName();
  return true;
}

}  // namespace orvanta::qt
