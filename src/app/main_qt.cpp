// The Linux program: one window, open until the user closes it.
#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <string>
#include <vector>

#include "app_info.h"
#include "ui/qt/form1.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(orvanta::kAppTitle);
  QApplication::setApplicationVersion(orvanta::kAppVersion);
  QApplication::setWindowIcon(QIcon(":/orvanta.png"));

  orvanta::qt::InstallChineseQtTexts(app);

  orvanta::qt::Form1 window;
  window.show();

  // Files handed over by a file manager ("Open with", %F), as bytes: the
  // QApplication above has taken its own options out of argv. They open once
  // the window is up, so that any message stands over it.
  std::vector<std::string> paths(argv + 1, argv + argc);
  QTimer::singleShot(0, &window, [&window, paths] { window.OpenGivenFiles(paths); });
  return QApplication::exec();
}
