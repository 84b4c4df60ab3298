// What only the Qt window can get wrong; the controller test has the rest.
#include <QtTest>
#include <QtWidgets>

#include "support/task_file_bytes.h"
#include "ui/qt/form1.h"
#include "ui/qt/module1.h"
#include "ui/user_session.h"

using namespace orvanta::testing;
using orvanta::form::Control;
using orvanta::qt::Form1;

namespace {

// The tests' stand-in for the user: until the returned timer goes, hands
// every modal widget of type T that opens to `handle`, which must close it.
template <class T>
std::unique_ptr<QTimer> HandleModals(std::function<void(T*)> handle) {
  auto timer = std::make_unique<QTimer>();
  QObject::connect(timer.get(), &QTimer::timeout, [handle] {
    auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
    if (modal && modal->isVisible()) handle(modal);
  });
  timer->start(5);
  return timer;
}

// As the window system delivers a drag: Qt moves it on and drops it only
// where the widget accepted its entry.
void Drag(QPlainTextEdit* box, const QMimeData& data) {
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box->viewport(), &enter);
  if (!enter.isAccepted()) return;
  QDragMoveEvent move(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box->viewport(), &move);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box->viewport(), &drop);
}

template <class T = QWidget>
T* Child(QWidget& form, Control control) {
  return form.findChild<T*>(orvanta::form::LayoutOf(control).name);
}

// The session both windows play, through the Qt widgets.
class QtWindowAtHand {
 public:
  explicit QtWindowAtHand(Form1& form) : form_(form) {}

  std::string FocusedName() { return QApplication::focusWidget()->objectName().toStdString(); }
  void PressTab() { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); }
  void PressEnter(bool keypad) {
    QTest::keyClick(QApplication::focusWidget(), keypad ? Qt::Key_Enter : Qt::Key_Return,
                    keypad ? Qt::KeypadModifier : Qt::NoModifier);
  }
  void Focus(Control control) { Child(form_, control)->setFocus(); }
  void DropOnAddressBox(const std::vector<std::string>& paths) {
    DragFiles(Control::kText1, paths);
  }
  // A file manager's drag carries local files; a browser's link carries its
  // text and a URL that names no file.
  void DragFiles(Control box, const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> files;
    for (const std::string& path : paths)
      files << QUrl::fromLocalFile(QString::fromStdString(path));
    data.setUrls(files);
    Drag(Child<QPlainTextEdit>(form_, box), data);
  }
  void DragLink(Control box, const std::string& link) {
    QMimeData data;
    data.setText(QString::fromStdString(link));
    data.setUrls({QUrl(QString::fromStdString(link))});
    Drag(Child<QPlainTextEdit>(form_, box), data);
  }
  void TypeAndPressEnter(const std::string& text) {
    auto* box = Child<QPlainTextEdit>(form_, Control::kText2);
    box->setPlainText(QString::fromStdString(text));
    box->moveCursor(QTextCursor::End);
    QTest::keyClick(box, Qt::Key_Return);
  }
  std::string Text(Control box) {
    return Child<QPlainTextEdit>(form_, box)->toPlainText().toStdString();
  }
  std::string LastMessage() { return last_message_; }

 private:
  Form1& form_;
  std::string last_message_;
  std::unique_ptr<QTimer> user_ = HandleModals<QMessageBox>([this](QMessageBox* box) {
    last_message_ = (box->windowTitle() + ": " + box->text()).toStdString();
    box->button(QMessageBox::Ok)->click();
  });
};

}  // namespace

class tst_Form1 : public QObject {
  Q_OBJECT

 private:
  // Shown and active; its Open button "chooses" whatever `chosen_` holds.
  std::unique_ptr<Form1> MakeWindow() {
    auto window = std::make_unique<Form1>([this](QWidget*) { return chosen_; });
    window->show();
    window->activateWindow();  // Xvfb has no window manager to do it
    if (!QTest::qWaitForWindowActive(window.get())) qFatal("the window never became active");
    return window;
  }

  TempFolder folder_;
  std::optional<std::string> chosen_;

 private slots:
  // Screen readers name a box after its label's buddy.
  void namesEachBoxAfterItsLabel() {
    Form1 window;
    for (auto [label, box] : {std::pair{Control::kLabel1, Control::kText1},
                              {Control::kLabel2, Control::kText2},
                              {Control::kLabel3, Control::kText3}}) {
      QCOMPARE(Child<QLabel>(window, label)->buddy(), Child(window, box));
    }
  }

  void playsTheUserSessionBothWindowsShare() {
    auto window = MakeWindow();
    QtWindowAtHand at_hand(*window);
    QCOMPARE(QString::fromStdString(PlayUserSession(at_hand, folder_, chosen_)),
             QString::fromStdString(kUserSessionSeen));
  }

  void realFileDialogReturnsTheChosenFileOrNothing() {
    for (bool choose : {true, false}) {
      const QString path = QString::fromStdString(folder_.MakeTaskFile("a.td.cfg"));
      QString chosen = "kept", title = "kept", dialog_title;
      auto user = HandleModals<QFileDialog>([&](QFileDialog* dialog) {
        dialog_title = dialog->windowTitle();
        dialog->selectFile(path);
        choose ? static_cast<QDialog*>(dialog)->accept() : dialog->reject();
      });
      QCOMPARE(orvanta::qt::ShowOpenDialog(nullptr, QString(), QString(), chosen, title), choose);
      QCOMPARE(dialog_title + "|" + chosen + "|" + title,
               "打开文件|" + (choose ? path + "|a.td.cfg" : "kept|kept"));
    }
  }
};

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
