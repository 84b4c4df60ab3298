// Pictures of the main window in the states a user meets, for review and
// for the picture test, which compares them with the approved ones:
//   form1_screenshot TASK_FILE FOLDER
// writes empty, loaded, dark, 144dpi and told (the message box Modify
// shows) .png into FOLDER.
#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

#include "ui/form_layout.h"
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
  orvanta::qt::InstallChineseQtTexts(app);  // as the program does
  // A message box would wait for a hand that never comes: closed, it makes
  // the pictures fail instead, unless one is expected at `box_picture`.
  bool told = false;
  QString box_picture;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box) return;
    told |= box_picture.isEmpty() || !box->grab().save(box_picture);
    box_picture.clear();
    box->close();
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
    // The address stored again as it is, so that the file stays as it was.
    using orvanta::form::Control, orvanta::form::LayoutOf;
    auto box = [&](Control control) {
      return window.findChild<QPlainTextEdit*>(LayoutOf(control).name);
    };
    box(Control::kText2)->setPlainText(box(Control::kText1)->toPlainText());
    box_picture = folder + "told.png";
    window.findChild<QPushButton*>(LayoutOf(Control::kCommand1).name)->click();
  }
  QApplication::setPalette(QPalette(Qt::white, Qt::black, Qt::white, Qt::black, Qt::gray, Qt::white,
                                    Qt::white, Qt::black, Qt::black));
  orvanta::qt::Form1 dark;
  dark.show();
  dark.OpenGivenFiles({task_file});
  saved &= Save(dark, folder + "dark.png");

  return saved && !told && box_picture.isEmpty() ? 0 : 1;
}
