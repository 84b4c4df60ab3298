// Orvanta's window built bare: the same controls from the same code and
// table, the same icon and size, none of the program's logic. What start-up
// costs beyond this is the program's. "--without PART" leaves a part out,
// to see what it costs: icon, controls, chinese (texts in the table's
// language, whose fonts load for them; English ones stand in).
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include <cstring>
#include <string>

#include "ui/qt/form_controls.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  auto without = [&](const char* part) {
    for (int i = 1; i + 1 < argc; ++i) {
      if (!std::strcmp(argv[i], "--without") && !std::strcmp(argv[i + 1], part)) return true;
    }
    return false;
  };
  if (!without("icon")) QApplication::setWindowIcon(QIcon(":/orvanta.png"));
  QWidget window;
  window.setWindowTitle("Window floor");
  window.setFixedSize(orvanta::qt::FormSize());
  if (!without("controls")) {
    orvanta::qt::FormControls controls = orvanta::qt::CreateFormControls(window);
    for (QWidget* control : controls) {
      if (!without("chinese")) break;
      if (auto* label = qobject_cast<QLabel*>(control)) label->setText("Label:");
      if (auto* button = qobject_cast<QPushButton*>(control)) button->setText("Button");
    }
  }
  window.show();
  return QApplication::exec();
}
