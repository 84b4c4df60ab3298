// What only the Qt window can get wrong: what the user's hands give it
// reaches the controller whole. The controller test has the rest.
#include <QtTest>
#include <QtWidgets>

#include "support/task_file_bytes.h"
#include "ui/qt/form1.h"

using namespace orvanta::testing;
using orvanta::form::Control;

namespace {

template <class T = QPlainTextEdit>
T* Child(QWidget& form, Control control) {
  return form.findChild<T*>(orvanta::form::LayoutOf(control).name);
}

// As the window system delivers a file manager's drag: Qt moves it on and
// drops it only where the widget accepted its entry.
void DragFiles(QPlainTextEdit* box, const std::vector<std::string>& paths) {
  QMimeData data;
  QList<QUrl> files;
  for (const std::string& path : paths) files << QUrl::fromLocalFile(QString::fromStdString(path));
  data.setUrls(files);
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box->viewport(), &enter);
  if (!enter.isAccepted()) return;
  QDragMoveEvent move(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box->viewport(), &move);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box->viewport(), &drop);
}

}  // namespace

class tst_Form1 : public QObject {
  Q_OBJECT

 private slots:
  // Hangul is outside code page 936: a path that keeps it reached the
  // controller whole, and the address must reach the file as GBK.
  void storesTheTypedAddressInTheDroppedFile() {
    TempFolder folder;
    const std::string task =
        folder.MakeTaskFile("영화.td.cfg", {.name = "y", .address = "http://y/"});
    // The user reads every message box that opens, and closes it.
    QString told;
    QTimer user;
    connect(&user, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box) told += box->windowTitle() + ": " + box->text(), box->accept();
    });
    user.start(5);
    orvanta::qt::Form1 window;
    window.show();
    DragFiles(Child(window, Control::kText1), {folder.MakeTaskFile("b.txt"), task});
    QCOMPARE(Child(window, Control::kText3)->toPlainText(), "y");
    Child(window, Control::kText2)->setPlainText(" http://下载 ");
    QTest::keyClick(Child<QPushButton>(window, Control::kCommand1), Qt::Key_Enter,
                    Qt::KeypadModifier);
    QCOMPARE(told, "Orvanta: 修改完成...");
    QCOMPARE(ReadBytes(folder / "영화.td.cfg"),
             BuildTaskFile({.name = "y", .address = "http://\xCF\xC2\xD4\xD8"}));
  }
};

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
