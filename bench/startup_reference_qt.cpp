// The least a Qt Widgets program does to show a window of Orvanta's size
// with a Chinese text: the one-control yardstick for start-up.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QLabel label("启动参照");
  label.setWindowTitle("Startup reference");
  label.resize(462, 345);
  label.show();
  return QApplication::exec();
}
