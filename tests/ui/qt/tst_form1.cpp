// What only the Qt window can get wrong; the behaviour behind it is the
// controller's, tested there.
#include <QAccessible>
#include <QApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <cmath>
#include <functional>

#include "support/task_file_bytes.h"
#include "taskfile/unicode_text.h"
#include "ui/qt/form1.h"
#include "ui/qt/module1.h"

using orvanta::qt::Form1;
using orvanta::testing::BuildTaskFile;
using orvanta::testing::ReadBytes;
using orvanta::testing::TempFolder;
using orvanta::testing::WriteBytes;

namespace {

// While alive, hands every modal widget that opens to `handle`, which must
// close it: the tests' stand-in for the user.
class ModalHandler {
 public:
  explicit ModalHandler(std::function<void(QWidget*)> handle) {
    QObject::connect(&timer_, &QTimer::timeout, [handle] {
      if (QWidget* modal = QApplication::activeModalWidget()) handle(modal);
    });
    timer_.start(5);
  }

 private:
  QTimer timer_;
};

// As the window system delivers a drop: Qt hands the drop itself only to
// the widget that accepted the drag's entry.
void Drop(QPlainTextEdit* box, QMimeData* data) {
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box->viewport(), &enter);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box->viewport(), &drop);
  delete data;
}

// WCAG's contrast ratio of two colours.
double Contrast(const QColor& a, const QColor& b) {
  auto luminance = [](const QColor& c) {
    auto channel = [](double v) {
      return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

class tst_Form1 : public QObject {
  Q_OBJECT

 private:
  QString MakeTaskFile(const std::string& name, const orvanta::testing::TaskFileParts& parts) {
    WriteBytes(folder_ / name, BuildTaskFile(parts));
    return QString::fromStdString(orvanta::PathToUtf8(folder_ / name));
  }

  // A window whose Open button "chooses" whatever `chosen_` holds.
  std::unique_ptr<Form1> MakeWindow() {
    auto window = std::make_unique<Form1>([this](QWidget*) { return chosen_; });
    window->show();
    window->activateWindow();  // Xvfb has no window manager to do it
    return window;
  }

  template <class T = QWidget>
  static T* Child(Form1& window, const char* name) {
    T* child = window.findChild<T*>(name);
    if (!child) qFatal("no control %s", name);
    return child;
  }

  TempFolder folder_;
  std::optional<std::string> chosen_;

 private slots:
  void laysItselfOutFromTheTable();
  void opensWithTheFocusInTheAddressBox();
  void tabMovesFocusInOrder();
  void viewCallsReachTheirControls();
  void dropRouting();
  void realFileDialog_data();
  void realFileDialog();
  void aChineseFontIsInstalled();
  void screenReadersNameEveryBox_data();
  void screenReadersNameEveryBox();
  void greyBoxesStayReadableInADarkPalette();
};

void tst_Form1::laysItselfOutFromTheTable() {
  auto window = MakeWindow();
  QCOMPARE(window->size(), QSize(462, 345));
  QCOMPARE(window->minimumSize(), window->maximumSize());
  QCOMPARE(Child(*window, "Text1")->geometry(), QRect(8, 88, 449, 97));
  QCOMPARE(Child(*window, "Command1")->geometry(), QRect(264, 312, 97, 25));
}

void tst_Form1::opensWithTheFocusInTheAddressBox() {
  auto window = MakeWindow();
  QVERIFY(!Child(*window, "Command1")->isEnabled());
  QVERIFY(QTest::qWaitForWindowActive(window.get()));
  QCOMPARE(QApplication::focusWidget(), Child(*window, "Text1"));
}

void tst_Form1::tabMovesFocusInOrder() {
  chosen_ = MakeTaskFile("a.td.cfg", {.address = "a"}).toStdString();
  auto window = MakeWindow();
  window->controller().OpenChosenFile();  // enables Modify
  QVERIFY(QTest::qWaitForWindowActive(window.get()));
  Child(*window, "Text1")->setFocus();
  QStringList order;
  for (int i = 0; i < 5; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order << QApplication::focusWidget()->objectName();
  }
  QCOMPARE(order, QStringList({"Text2", "Command1", "Text3", "Command2", "Text1"}));
}

// Open, type and Modify through the controls: each view call reaches its
// box, and messages come plain, with the program's title.
void tst_Form1::viewCallsReachTheirControls() {
  chosen_ = MakeTaskFile("a.td.cfg", {.name = "n", .address = "old"}).toStdString();
  auto window = MakeWindow();
  QTest::mouseClick(Child<QPushButton>(*window, "Command2"), Qt::LeftButton);
  QCOMPARE(Child<QPlainTextEdit>(*window, "Text3")->toPlainText(), QString("n"));
  auto* text2 = Child<QPlainTextEdit>(*window, "Text2");
  text2->setFocus();
  QTest::keyClicks(text2, " http://");
  QInputMethodEvent commit;  // Chinese comes through an input method
  commit.setCommitString("下载");
  QApplication::sendEvent(text2, &commit);

  QStringList shown;
  ModalHandler user([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box || !box->isVisible()) return;
    const bool plain = box->icon() == QMessageBox::NoIcon && box->buttons().size() == 1;
    shown << box->windowTitle() + (plain ? " plain: " : ": ") + box->text();
    box->button(QMessageBox::Ok)->click();
  });
  QTest::mouseClick(Child<QPushButton>(*window, "Command1"), Qt::LeftButton);
  QCOMPARE(shown, QStringList({"Orvanta plain: 修改完成..."}));
  QCOMPARE(text2->toPlainText(), QString("http://下载"));
  QCOMPARE(Child<QPlainTextEdit>(*window, "Text1")->toPlainText(), QString("http://下载"));
  QCOMPARE(ReadBytes(orvanta::PathFromUtf8(*chosen_)),
           BuildTaskFile({.name = "n", .address = "http://\xCF\xC2\xD4\xD8"}));
}

void tst_Form1::dropRouting() {
  const QString task = MakeTaskFile("second.td.cfg", {.address = "two"});
  auto window = MakeWindow();
  auto* text1 = Child<QPlainTextEdit>(*window, "Text1");
  auto* files = new QMimeData;
  files->setUrls({QUrl::fromLocalFile(MakeTaskFile("other.txt", {})), QUrl::fromLocalFile(task)});
  Drop(text1, files);
  QCOMPARE(text1->toPlainText(), QString("two"));

  // Dragged text is no file list: the boxes are cleared, nothing is pasted.
  auto* text = new QMimeData;
  text->setText("dragged text");
  Drop(text1, text);
  QCOMPARE(text1->toPlainText(), QString());

  QVERIFY(text1->acceptDrops() && !window->acceptDrops());
  for (const char* name : {"Text2", "Text3"}) {
    QVERIFY2(!Child<QPlainTextEdit>(*window, name)->viewport()->acceptDrops(), name);
  }
}

void tst_Form1::realFileDialog_data() {
  QTest::addColumn<bool>("choose");
  QTest::newRow("choose") << true;
  QTest::newRow("cancel") << false;
}

void tst_Form1::realFileDialog() {
  QFETCH(bool, choose);
  const QString path = MakeTaskFile("a.td.cfg", {.address = "a"});
  QString chosen = "kept", title = "kept", dialog_title;
  ModalHandler user([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (!dialog || !dialog->isVisible()) return;
    dialog_title = dialog->windowTitle();
    dialog->selectFile(path);
    choose ? static_cast<QDialog*>(dialog)->accept() : dialog->reject();
  });
  QWidget owner;
  QCOMPARE(orvanta::qt::ShowOpenDialog(&owner, QString(), QString(), chosen, title), choose);
  QCOMPARE(dialog_title, QString("打开文件"));
  QCOMPARE(chosen, choose ? path : QString("kept"));
  QCOMPARE(title, choose ? QString("a.td.cfg") : QString("kept"));
}

void tst_Form1::aChineseFontIsInstalled() {
  QVERIFY2(!QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty(),
           "install fonts-wqy-microhei: without it Chinese text shows as boxes");
}

void tst_Form1::screenReadersNameEveryBox_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<QString>("name");
  QTest::newRow("Text1") << "Text1"
                         << "原下载地址:";
  QTest::newRow("Text2") << "Text2"
                         << "修改下载地址为:";
  QTest::newRow("Text3") << "Text3"
                         << "任务文件名:";
  QTest::newRow("Command1") << "Command1"
                            << "修改";
  QTest::newRow("Command2") << "Command2"
                            << "打开";
}

void tst_Form1::screenReadersNameEveryBox() {
  QFETCH(QString, control);
  QFETCH(QString, name);
  Form1 form;
  auto* accessible = QAccessible::queryAccessibleInterface(form.findChild<QWidget*>(control));
  QVERIFY(accessible);
  QCOMPARE(accessible->text(QAccessible::Name), name);
}

void tst_Form1::greyBoxesStayReadableInADarkPalette() {
  const QPalette original = QApplication::palette();
  QPalette dark = original;
  dark.setColor(QPalette::Base, QColor(0x2A, 0x2A, 0x2A));
  dark.setColor(QPalette::Text, QColor(0xEB, 0xEB, 0xEB));
  QApplication::setPalette(dark);
  Form1 form;
  for (const char* name : {"Text1", "Text2", "Text3"}) {
    const QPalette& palette = form.findChild<QPlainTextEdit*>(name)->palette();
    const double ratio = Contrast(palette.color(QPalette::Text), palette.color(QPalette::Base));
    QVERIFY2(ratio >= 4.5, qPrintable(QString("%1: %2:1").arg(name).arg(ratio)));
  }
  QCOMPARE(form.findChild<QPlainTextEdit*>("Text1")->palette().color(QPalette::Base),
           QColor::fromRgb(0xE0E0E0));
  QApplication::setPalette(original);
}

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
