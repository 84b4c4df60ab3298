// The least a Qt Widgets program does to show a window: the yardstick for
// Orvanta's start-up.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QLabel label("Startup reference");
  label.setWindowTitle("Startup reference");
  label.show();
  return QApplication::exec();
}
