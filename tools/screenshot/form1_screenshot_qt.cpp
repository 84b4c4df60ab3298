// Pictures of the main window in the states a user meets, for review and
// for the picture test, which compares them with the approved ones:
//   form1_screenshot TASK_FILE FOLDER
// writes empty, loaded, dark and 144dpi .png into FOLDER.
#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QTimer>

#include <cstdio>

#include "ui/qt/form1.h"

namespace {

// As the window draws itself on a screen of `scale` times 96 DPI: Qt lays
// out in device-independent pixels and scales the drawing.
bool Save(orvanta::qt::Form1& window, const QString& path, qreal scale = 1) {
  QApplication::processEvents();
  QImage picture(window.size() * scale, QImage::Format_RGB32);
  picture.setDevicePixelRatio(scale);
  window.render(&picture);
  return picture.save(path);
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  // A message box would wait for a hand that never comes: closed, it makes
  // the pictures fail instead.
  bool told = false;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (QWidget* box = QApplication::activeModalWidget()) told = true, box->close();
  });
  closer.start(50);
  if (argc != 3) {
    std::fprintf(stderr, "usage: form1_screenshot TASK_FILE FOLDER\n");
    return 2;
  }
  const std::string task_file = QString::fromLocal8Bit(argv[1]).toStdString();
  const QString folder = QString::fromLocal8Bit(argv[2]) + "/";
  bool saved = true;
  {
    orvanta::qt::Form1 window;
    window.show();
    saved &= Save(window, folder + "empty.png");
    window.OpenGivenFiles({task_file});
    saved &= Save(window, folder + "loaded.png");
    saved &= Save(window, folder + "144dpi.png", 1.5);
  }
  QApplication::setPalette(QPalette(Qt::white, Qt::black, Qt::white, Qt::black, Qt::gray, Qt::white,
                                    Qt::white, Qt::black, Qt::black));
  orvanta::qt::Form1 dark;
  dark.show();
  dark.OpenGivenFiles({task_file});
  saved &= Save(dark, folder + "dark.png");
  return saved && !told ? 0 : 1;
}
