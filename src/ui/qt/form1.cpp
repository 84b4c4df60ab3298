#include "ui/qt/form1.h"

#include <QDropEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>

#include "app_info.h"
#include "ui/form_layout.h"
#include "ui/qt/module1.h"

namespace orvanta::qt {
namespace {

// Qt lays out in pixels of 96 DPI and scales them for the screen itself.
constexpr int kDpi = 96;

QRect PixelRect(const form::ControlLayout& control) {
  return QRect(form::TwipsToPixels(control.left, kDpi), form::TwipsToPixels(control.top, kDpi),
               form::TwipsToPixels(control.width, kDpi), form::TwipsToPixels(control.height, kDpi));
}

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

std::optional<std::string> ChooseWithDialog(QWidget* owner) {
  QString path, file_title;
  if (!ShowOpenDialog(owner, QString(), QString(), path, file_title)) return std::nullopt;
  return path.toStdString();
}

QPlainTextEdit* MakeTextBox(const form::ControlLayout& control, QWidget* parent) {
  QPlainTextEdit* box =
      control.name == std::string_view("Text1") ? new DropTextEdit : new QPlainTextEdit;
  box->setParent(parent);
  // Drops arrive at the viewport; Qt's text boxes would paste what is dropped.
  const bool takes_drops = control.name == std::string_view("Text1");
  box->setAcceptDrops(takes_drops);
  box->viewport()->setAcceptDrops(takes_drops);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  box->setTabChangesFocus(true);
  if (control.grey) {
    // Black on the grey in every palette: a dark theme's near-white text
    // would be unreadable on it.
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, QColor::fromRgb(form::kGrey));
    palette.setColor(QPalette::Text, Qt::black);
    box->setPalette(palette);
  }
  return box;
}

}  // namespace

void DropTextEdit::dragEnterEvent(QDragEnterEvent* event) { event->acceptProposedAction(); }

void DropTextEdit::dragMoveEvent(QDragMoveEvent* event) { event->acceptProposedAction(); }

void DropTextEdit::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  event->acceptProposedAction();
  if (on_files_dropped) on_files_dropped(paths);
}

Form1::Form1(FileChooser choose_file, QWidget* parent)
    : QWidget(parent),
      choose_file_(choose_file ? std::move(choose_file) : ChooseWithDialog),
      controller_(*this) {
  setObjectName("Form1");
  setWindowTitle(QString::fromUtf8(kWindowCaption));
  setFixedSize(form::TwipsToPixels(form::kClientWidth, kDpi),
               form::TwipsToPixels(form::kClientHeight, kDpi));
  CreateControls();

  connect(command2_, &QPushButton::clicked, this, [this] { controller_.OpenChosenFile(); });
  connect(command1_, &QPushButton::clicked, this, [this] { controller_.ModifyAddress(); });
  text1_->on_files_dropped = [this](const auto& paths) { controller_.DropFiles(paths); };

  if (QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  controller_.Start();
}

void Form1::CreateControls() {
  QWidget* previous = nullptr;
  QLabel* label = nullptr;  // the one just made, which names the next box
  for (const form::ControlLayout& control : form::kControls) {
    QWidget* widget = nullptr;
    switch (control.kind) {
      case form::ControlKind::kLabel:
        widget = label = new QLabel(QString::fromUtf8(control.text), this);
        break;
      case form::ControlKind::kTextBox:
        widget = MakeTextBox(control, this);
        // Screen readers announce the box by its buddy label's text.
        if (label) label->setBuddy(widget);
        break;
      case form::ControlKind::kButton:
        widget = new QPushButton(QString::fromUtf8(control.text), this);
        break;
    }
    widget->setObjectName(control.name);
    widget->setGeometry(PixelRect(control));
    if (control.kind != form::ControlKind::kLabel) {
      if (previous) setTabOrder(previous, widget);
      previous = widget;
    }
  }
  text1_ = findChild<DropTextEdit*>("Text1");
  text2_ = findChild<QPlainTextEdit*>("Text2");
  text3_ = findChild<QPlainTextEdit*>("Text3");
  command1_ = findChild<QPushButton*>("Command1");
  command2_ = findChild<QPushButton*>("Command2");
  text1_->setFocus();
}

void Form1::SetAddressText(const std::string& text) { text1_->setPlainText(FromUtf8(text)); }

void Form1::SetNewAddressText(const std::string& text) { text2_->setPlainText(FromUtf8(text)); }

std::string Form1::GetNewAddressText() { return text2_->toPlainText().toStdString(); }

void Form1::SetTaskNameText(const std::string& text) { text3_->setPlainText(FromUtf8(text)); }

void Form1::SetModifyEnabled(bool enabled) { command1_->setEnabled(enabled); }

void Form1::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kAppTitle), FromUtf8(text),
                  QMessageBox::Ok, this);
  box.exec();
}

std::optional<std::string> Form1::ChooseTaskFile() { return choose_file_(this); }

}  // namespace orvanta::qt
