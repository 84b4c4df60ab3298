#include "ui/qt/form1.h"

#include <QGridLayout>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QTranslator>

#include "app_info.h"
#include "ui/form_layout.h"
#include "ui/qt/form_controls.h"
#include "ui/qt/module1.h"

namespace orvanta::qt {
namespace {

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

// Beside a window's title: its icon and its buttons, in pixels at 96 DPI.
constexpr int kTitleBarRoom = 160;

using form::Control;

std::optional<std::string> ChooseWithDialog(QWidget* owner) {
  QString path, file_title;
  if (!ShowOpenDialog(owner, QString(), QString(), path, file_title)) return std::nullopt;
  return path.toStdString();
}

}  // namespace

void InstallChineseQtTexts(QCoreApplication& app) {
  auto* texts = new QTranslator(&app);
  if (texts->load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(texts);
  }
}

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
  // A short message makes a box narrower than its title bar needs, and the
  // window manager then cuts the title short.
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (grid) {
    const int title = box.fontMetrics().horizontalAdvance(box.windowTitle());
    grid->addItem(new QSpacerItem(title + kTitleBarRoom, 0, QSizePolicy::Minimum), grid->rowCount(),
                  0, 1, grid->columnCount());
  }
  box.exec();
}

std::optional<std::string> Form1::ChooseTaskFile() { return choose_file_(this); }

}  // namespace orvanta::qt
