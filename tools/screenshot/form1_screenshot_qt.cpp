// Saves a picture of the main window after opening a task file, for review:
//   form1_screenshot TASK_FILE PNG
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

#include "ui/qt/form1.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: form1_screenshot TASK_FILE PNG\n");
    return 2;
  }
  const std::string task_file = QString::fromLocal8Bit(argv[1]).toStdString();
  orvanta::qt::Form1 window;
  window.show();
  window.OpenGivenFiles({task_file});
  QApplication::processEvents();
  if (!window.grab().save(QString::fromLocal8Bit(argv[2]))) return 1;
  return 0;
}
