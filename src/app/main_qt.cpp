// The Linux program: one window, open until the user closes it.
#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app_info.h"
#include "ui/qt/form1.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(orvanta::kAppTitle);
  QApplication::setApplicationVersion(orvanta::kAppVersion);
  QApplication::setWindowIcon(QIcon(":/orvanta.png"));

  // The window's texts are Chinese: so are the standard buttons (确定, 取消).
  QTranslator qt_texts;
  if (qt_texts.load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qt_texts);
  }

  orvanta::qt::Form1 window;
  window.show();
  return QApplication::exec();
}
