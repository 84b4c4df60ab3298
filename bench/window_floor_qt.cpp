// Orvanta's window built bare: the same controls from the same code and
// table, the same icon and size, none of the program's logic. What start-up
// costs beyond this is the program's.
#include <QApplication>
#include <QIcon>

#include "ui/qt/form_controls.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(QIcon(":/orvanta.png"));
  QWidget window;
  window.setWindowTitle("Window floor");
  window.setFixedSize(orvanta::qt::FormSize());
  orvanta::qt::CreateFormControls(window);
  window.show();
  return QApplication::exec();
}
