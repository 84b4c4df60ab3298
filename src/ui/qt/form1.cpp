#include "ui/qt/form1.h"

#include <QMessageBox>
#include <QScreen>

#include "app_info.h"
#include "ui/form_layout.h"
#include "ui/qt/form_controls.h"
#include "ui/qt/module1.h"

namespace orvanta::qt {
namespace {

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

using form::Control;

std::optional<std::string> ChooseWithDialog(QWidget* owner) {
  QString path, file_title;
  if (!ShowOpenDialog(owner, QString(), QString(), path, file_title)) return std::nullopt;
  return path.toStdString();
}

}  // namespace

Form1::Form1(FileChooser choose_file, QWidget* parent)
    : QWidget(parent),
      choose_file_(choose_file ? std::move(choose_file) : ChooseWithDialog),
      controller_(*this) {
  setObjectName("Form1");
  setWindowTitle(QString::fromUtf8(kWindowCaption));
  setFixedSize(FormSize());
  controls_ = CreateFormControls(*this);

  auto button = [this](Control control) {
    return static_cast<QPushButton*>(controls_[form::IndexOf(control)]);
  };
  connect(button(Control::kCommand2), &QPushButton::clicked, this,
          [this] { controller_.OpenChosenFile(); });
  connect(button(Control::kCommand1), &QPushButton::clicked, this,
          [this] { controller_.ModifyAddress(); });
  static_cast<DropTextEdit*>(Box(Control::kText1))->on_files_dropped = [this](const auto& paths) {
    controller_.DropFiles(paths);
  };

  if (QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  controller_.Start();
}

QPlainTextEdit* Form1::Box(Control control) const {
  return static_cast<QPlainTextEdit*>(controls_[form::IndexOf(control)]);
}

void Form1::SetAddressText(const std::string& text) {
  Box(Control::kText1)->setPlainText(FromUtf8(text));
}

void Form1::SetNewAddressText(const std::string& text) {
  Box(Control::kText2)->setPlainText(FromUtf8(text));
}

std::string Form1::GetNewAddressText() { return Box(Control::kText2)->toPlainText().toStdString(); }

void Form1::SetTaskNameText(const std::string& text) {
  Box(Control::kText3)->setPlainText(FromUtf8(text));
}

void Form1::SetModifyEnabled(bool enabled) {
  controls_[form::IndexOf(Control::kCommand1)]->setEnabled(enabled);
}

void Form1::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kAppTitle), FromUtf8(text),
                  QMessageBox::Ok, this);
  box.exec();
}

std::optional<std::string> Form1::ChooseTaskFile() { return choose_file_(this); }

}  // namespace orvanta::qt
