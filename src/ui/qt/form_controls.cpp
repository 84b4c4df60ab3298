#include "ui/qt/form_controls.h"

#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>

namespace orvanta::qt {
namespace {

// Qt lays out in pixels of 96 DPI and scales them for the screen itself.
constexpr int kDpi = 96;

QRect PixelRect(const form::ControlLayout& control) {
  return QRect(form::TwipsToPixels(control.left, kDpi), form::TwipsToPixels(control.top, kDpi),
               form::TwipsToPixels(control.width, kDpi), form::TwipsToPixels(control.height, kDpi));
}

QPlainTextEdit* MakeTextBox(const form::ControlLayout& control, QWidget* parent) {
  QPlainTextEdit* box = control.takes_drops ? new DropTextEdit : new QPlainTextEdit;
  box->setParent(parent);
  // Drops arrive at the viewport; Qt's text boxes would paste what is dropped.
  box->setAcceptDrops(control.takes_drops);
  box->viewport()->setAcceptDrops(control.takes_drops);
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

FormControls CreateFormControls(QWidget& window) {
  FormControls controls{};
  QWidget* previous = nullptr;
  QLabel* label = nullptr;  // the one just made, which names the next box
  for (const form::ControlLayout& control : form::kControls) {
    QWidget* widget = nullptr;
    switch (control.kind) {
      case form::ControlKind::kLabel:
        widget = label = new QLabel(QString::fromUtf8(control.text), &window);
        break;
      case form::ControlKind::kTextBox:
        widget = MakeTextBox(control, &window);
        // Screen readers announce the box by its buddy label's text.
        if (label) label->setBuddy(widget);
        break;
      case form::ControlKind::kButton:
        widget = new QPushButton(QString::fromUtf8(control.text), &window);
        break;
    }
    widget->setObjectName(control.name);
    widget->setGeometry(PixelRect(control));
    controls[form::IndexOf(control.control)] = widget;
    if (control.kind != form::ControlKind::kLabel) {
      if (previous) QWidget::setTabOrder(previous, widget);
      previous = widget;
    }
  }
  controls[form::IndexOf(form::Control::kText1)]->setFocus();
  return controls;
}

QSize FormSize() {
  return QSize(form::TwipsToPixels(form::kClientWidth, kDpi),
               form::TwipsToPixels(form::kClientHeight, kDpi));
}

}  // namespace orvanta::qt
