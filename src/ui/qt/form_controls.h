// The controls of form_layout.h as Qt widgets, made for a window: the
// whole of what the window shows, without what it does.
#pragma once

#include <QPlainTextEdit>
#include <QSize>
#include <QWidget>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "ui/form_layout.h"

namespace orvanta::qt {

// A box that takes what its row of the table says: the files of a drag
// (handed to on_files_dropped, all of one drop at once), or its text, put
// in as a paste would be.
class DropTextEdit final : public QPlainTextEdit {
 public:
  explicit DropTextEdit(form::Drops drops) : drops_(drops) {}

  std::function<void(const std::vector<std::string>& paths)> on_files_dropped;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool Takes(const QMimeData& dragged) const;

  form::Drops drops_;
};

// Indexed by form::IndexOf; every box that takes drops is a DropTextEdit.
using FormControls = std::array<QWidget*, form::kControls.size()>;

// Creates every control in `window`, placed, named and in focus order, each
// box named for screen readers by the label before it; the focus is left in
// Text1.
FormControls CreateFormControls(QWidget& window);

// The window's client area.
QSize FormSize();

}  // namespace orvanta::qt
