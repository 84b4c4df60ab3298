#include "ui/qt/form_controls.h"

#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>

#include <algorithm>

namespace orvanta::qt {
namespace {

// Qt lays out in pixels of 96 DPI and scales them for the screen itself.
constexpr int kDpi = 96;

QRect PixelRect(const form::ControlLayout& control) {
  return QRect(form::TwipsToPixels(control.left, kDpi), form::TwipsToPixels(control.top, kDpi),
               form::TwipsToPixels(control.width, kDpi), form::TwipsToPixels(control.height, kDpi));
}

QPlainTextEdit* MakeTextBox(const form::ControlLayout& control, QWidget* parent) {
  const bool drops = control.drops != form::Drops::kNothing;
  QPlainTextEdit* box = drops ? new DropTextEdit(control.drops) : new QPlainTextEdit;
  box->setParent(parent);
  // Drops arrive at the viewport; Qt's text boxes would paste what is dropped.
  box->setAcceptDrops(drops);
  box->viewport()->setAcceptDrops(drops);
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

namespace {

// Files are local ones, as a file manager drags them; a browser's link
// comes as text, with its address as a URL of its own.
bool HasLocalFiles(const QMimeData& dragged) {
  const QList<QUrl> urls = dragged.urls();
  return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

}  // namespace

bool DropTextEdit::Takes(const QMimeData& dragged) const {
  if (drops_ == form::Drops::kFiles) return HasLocalFiles(dragged);
  return drops_ == form::Drops::kLinks && dragged.hasText() && !HasLocalFiles(dragged);
}

void DropTextEdit::dragEnterEvent(QDragEnterEvent* event) {
  if (!Takes(*event->mimeData())) return event->ignore();
  if (drops_ == form::Drops::kLinks) return QPlainTextEdit::dragEnterEvent(event);
  event->acceptProposedAction();
}

void DropTextEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (!Takes(*event->mimeData())) return event->ignore();
  if (drops_ == form::Drops::kLinks) return QPlainTextEdit::dragMoveEvent(event);
  event->acceptProposedAction();
}

void DropTextEdit::dropEvent(QDropEvent* event) {
  if (!Takes(*event->mimeData())) return event->ignore();
  if (drops_ == form::Drops::kLinks) return QPlainTextEdit::dropEvent(event);
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
      case form::ControlKind::kButton: {
        auto* button = new QPushButton(QString::fromUtf8(control.text), &window);
        button->setAutoDefault(true);  // Enter presses it while it has the focus
        widget = button;
        break;
      }
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
