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

struct ShownMessage {
  QString title, text;
  bool plain;  // no icon, an OK button only
};

// Closes every message box with OK, keeping what it said.
class MessageRecorder : public ModalHandler {
 public:
  MessageRecorder()
      : ModalHandler([this](QWidget* modal) {
          auto* box = qobject_cast<QMessageBox*>(modal);
          if (!box || !box->isVisible()) return;
          messages.push_back({box->windowTitle(), box->text(),
                              box->icon() == QMessageBox::NoIcon && box->buttons().size() == 1});
          box->button(QMessageBox::Ok)->click();
        }) {}

  QStringList texts() const {
    QStringList result;
    for (const auto& m : messages) result << m.text;
    return result;
  }

  std::vector<ShownMessage> messages;
};

QMimeData* FileList(const QStringList& paths) {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  data->setUrls(urls);
  return data;
}

// As the window system delivers a drop: Qt hands the drop itself only to
// the widget that accepted the drag's entry.
void Drop(QPlainTextEdit* box, QMimeData* data) {
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box->viewport(), &enter);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box->viewport(), &drop);
  delete data;
}

}  // namespace

class tst_Form1 : public QObject {
  Q_OBJECT

 private:
  std::string MakeTaskFile(const std::string& name, const orvanta::testing::TaskFileParts& parts) {
    auto path = folder_ / name;
    WriteBytes(path, BuildTaskFile(parts));
    return orvanta::PathToUtf8(path);
  }

  // A window whose Open button "chooses" whatever `chosen_` holds.
  std::unique_ptr<Form1> MakeWindow() {
    auto window = std::make_unique<Form1>([this](QWidget*) { return chosen_; });
    window->show();
    window->activateWindow();  // Xvfb has no window manager to do it
    return window;
  }

  template <class T>
  static T* Child(Form1& window, const char* name) {
    T* child = window.findChild<T*>(name);
    if (!child) qFatal("no control %s", name);
    return child;
  }

  TempFolder folder_;
  std::optional<std::string> chosen_;

 private slots:
  void controlsStandWhereTheyBelong_data();
  void controlsStandWhereTheyBelong();
  void startsEmptyWithModifyDisabled();
  void tabMovesFocusInOrder();
  void openShowsTheChosenFile();
  void dropRouting();
  void modifyRewritesTheFileAndSaysSo();
  void aChineseFontIsInstalled();
  void screenReadersNameEveryBox();
  void greyBoxesStayReadableInADarkPalette();
  void realFileDialogReturnsTheChosenFile();
  void realFileDialogCancelLeavesOutputs();
};

void tst_Form1::controlsStandWhereTheyBelong_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QRect>("geometry");
  QTest::addColumn<QString>("text");
  QTest::newRow("Label3") << "Label3" << QRect(8, 8, 66, 12) << "任务文件名:";
  QTest::newRow("Text3") << "Text3" << QRect(8, 24, 449, 41) << "";
  QTest::newRow("Label1") << "Label1" << QRect(8, 72, 73, 17) << "原下载地址:";
  QTest::newRow("Text1") << "Text1" << QRect(8, 88, 449, 97) << "";
  QTest::newRow("Label2") << "Label2" << QRect(8, 192, 97, 17) << "修改下载地址为:";
  QTest::newRow("Text2") << "Text2" << QRect(8, 208, 449, 97) << "";
  QTest::newRow("Command2") << "Command2" << QRect(104, 312, 97, 25) << "打开";
  QTest::newRow("Command1") << "Command1" << QRect(264, 312, 97, 25) << "修改";
}

void tst_Form1::controlsStandWhereTheyBelong() {
  QFETCH(QString, name);
  QFETCH(QRect, geometry);
  QFETCH(QString, text);
  auto window = MakeWindow();
  QWidget* control = window->findChild<QWidget*>(name);
  QVERIFY(control);
  QCOMPARE(control->geometry(), geometry);
  if (auto* label = qobject_cast<QLabel*>(control)) QCOMPARE(label->text(), text);
  if (auto* button = qobject_cast<QPushButton*>(control)) QCOMPARE(button->text(), text);
  if (auto* box = qobject_cast<QPlainTextEdit*>(control)) {
    const bool grey = name != "Text2";
    QCOMPARE(box->palette().color(QPalette::Base) == QColor(224, 224, 224), grey);
    QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  }
}

void tst_Form1::startsEmptyWithModifyDisabled() {
  auto window = MakeWindow();
  QCOMPARE(window->size(), QSize(462, 345));
  QCOMPARE(window->minimumSize(), window->maximumSize());
  QVERIFY(window->windowTitle().startsWith("Orvanta - "));
  for (const char* name : {"Text1", "Text2", "Text3"}) {
    QCOMPARE(Child<QPlainTextEdit>(*window, name)->toPlainText(), QString());
  }
  QVERIFY(!Child<QPushButton>(*window, "Command1")->isEnabled());
  QVERIFY(Child<QPushButton>(*window, "Command2")->isEnabled());
  QVERIFY(QTest::qWaitForWindowActive(window.get()));
  QCOMPARE(QApplication::focusWidget(), Child<QWidget>(*window, "Text1"));
}

void tst_Form1::tabMovesFocusInOrder() {
  chosen_ = MakeTaskFile("a.td.cfg", {.address = "a"});
  auto window = MakeWindow();
  window->controller().OpenChosenFile();  // enables Modify
  QVERIFY(QTest::qWaitForWindowActive(window.get()));
  Child<QWidget>(*window, "Text1")->setFocus();
  QStringList order;
  for (int i = 0; i < 5; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order << QApplication::focusWidget()->objectName();
  }
  QCOMPARE(order, QStringList({"Text2", "Command1", "Text3", "Command2", "Text1"}));
}

void tst_Form1::openShowsTheChosenFile() {
  chosen_ = MakeTaskFile("a.td.cfg", {.name = "\xCF\xC2\xD4\xD8", .address = "http://h/x"});
  auto window = MakeWindow();
  Child<QPlainTextEdit>(*window, "Text2")->setPlainText("typed before");
  QTest::mouseClick(Child<QPushButton>(*window, "Command2"), Qt::LeftButton);
  QCOMPARE(Child<QPlainTextEdit>(*window, "Text3")->toPlainText(), QString("下载"));
  QCOMPARE(Child<QPlainTextEdit>(*window, "Text1")->toPlainText(), QString("http://h/x"));
  QCOMPARE(Child<QPlainTextEdit>(*window, "Text2")->toPlainText(), QString());
  QVERIFY(Child<QPushButton>(*window, "Command1")->isEnabled());
}

void tst_Form1::dropRouting() {
  const auto first = QString::fromStdString(MakeTaskFile("first.td.cfg", {.address = "one"}));
  const auto second = QString::fromStdString(MakeTaskFile("second.td.cfg", {.address = "two"}));
  const auto other = QString::fromStdString(MakeTaskFile("other.txt", {.address = "three"}));
  auto window = MakeWindow();
  auto* text1 = Child<QPlainTextEdit>(*window, "Text1");

  Drop(text1, FileList({first, other, second}));
  QCOMPARE(text1->toPlainText(), QString("two"));
  QCOMPARE(Child<QPlainTextEdit>(*window, "Text3")->toPlainText(), QString("second"));

  // Dragged text is no file list: the boxes are cleared, nothing is pasted.
  auto* text = new QMimeData;
  text->setText("dragged text");
  Drop(text1, text);
  QCOMPARE(text1->toPlainText(), QString());
  QVERIFY(Child<QPushButton>(*window, "Command1")->isEnabled());

  QVERIFY(text1->acceptDrops());
  QVERIFY(!window->acceptDrops());
  for (const char* name : {"Text2", "Text3", "Command1", "Command2", "Label1"}) {
    QWidget* control = Child<QWidget>(*window, name);
    QVERIFY2(!control->acceptDrops(), name);
    if (auto* box = qobject_cast<QPlainTextEdit*>(control)) {
      QVERIFY2(!box->viewport()->acceptDrops(), name);
    }
  }
}

// Chinese is typed through an input method, which QTest::keyClicks cannot do.
void tst_Form1::modifyRewritesTheFileAndSaysSo() {
  chosen_ = MakeTaskFile("a.td.cfg", {.name = "n", .address = "old", .remainder = "tail"});
  auto window = MakeWindow();
  QTest::mouseClick(Child<QPushButton>(*window, "Command2"), Qt::LeftButton);
  auto* text2 = Child<QPlainTextEdit>(*window, "Text2");
  text2->setFocus();
  QTest::keyClicks(text2, "  http://");
  QInputMethodEvent commit;
  commit.setCommitString("下载/文件");
  QApplication::sendEvent(text2, &commit);
  QTest::keyClicks(text2, "  ");

  MessageRecorder recorder;
  QTest::mouseClick(Child<QPushButton>(*window, "Command1"), Qt::LeftButton);
  QCOMPARE(recorder.texts(), QStringList({"修改完成..."}));
  QCOMPARE(recorder.messages[0].title, QString("Orvanta"));
  QVERIFY(recorder.messages[0].plain);
  QCOMPARE(text2->toPlainText(), QString("http://下载/文件"));
  QCOMPARE(Child<QPlainTextEdit>(*window, "Text1")->toPlainText(), QString("http://下载/文件"));
  QCOMPARE(ReadBytes(orvanta::PathFromUtf8(*chosen_)),
           BuildTaskFile({.name = "n",
                          .address = "http://\xCF\xC2\xD4\xD8/\xCE\xC4\xBC\xFE",
                          .remainder = "tail"}));
}

void tst_Form1::aChineseFontIsInstalled() {
  QVERIFY2(!QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty(),
           "install fonts-wqy-microhei: without it Chinese text shows as boxes");
}

void tst_Form1::screenReadersNameEveryBox() {
  Form1 form;
  const std::pair<const char*, const char*> named[] = {{"Text1", "Label1"},
                                                       {"Text2", "Label2"},
                                                       {"Text3", "Label3"},
                                                       {"Command1", "Command1"},
                                                       {"Command2", "Command2"}};
  for (const auto& [widget, namer] : named) {
    QWidget* named_widget = form.findChild<QWidget*>(widget);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(named_widget);
    QVERIFY(accessible);
    const QString expected = form.findChild<QLabel*>(namer)
                                 ? form.findChild<QLabel*>(namer)->text()
                                 : form.findChild<QPushButton*>(namer)->text();
    QCOMPARE(accessible->text(QAccessible::Name), expected);
  }
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

void tst_Form1::greyBoxesStayReadableInADarkPalette() {
  const QPalette original = QApplication::palette();
  QPalette dark = original;
  dark.setColor(QPalette::Base, QColor(0x2A, 0x2A, 0x2A));
  dark.setColor(QPalette::Text, QColor(0xEB, 0xEB, 0xEB));
  dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
  dark.setColor(QPalette::WindowText, QColor(0xEB, 0xEB, 0xEB));
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

void tst_Form1::realFileDialogReturnsTheChosenFile() {
  const auto path = QString::fromStdString(MakeTaskFile("a.td.cfg", {.address = "a"}));
  QString chosen, title;
  QString dialog_title;
  ModalHandler user([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (!dialog || !dialog->isVisible()) return;
    dialog_title = dialog->windowTitle();
    dialog->selectFile(path);
    static_cast<QDialog*>(dialog)->accept();  // public there
  });
  QWidget owner;
  QVERIFY(orvanta::qt::ShowOpenDialog(&owner, QString(), QString(), chosen, title));
  QCOMPARE(dialog_title, QString("打开文件"));
  QCOMPARE(chosen, path);
  QCOMPARE(title, QString("a.td.cfg"));
}

void tst_Form1::realFileDialogCancelLeavesOutputs() {
  QString chosen = "kept", title = "kept too";
  ModalHandler user([](QWidget* modal) {
    if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && dialog->isVisible()) {
      dialog->reject();
    }
  });
  QWidget owner;
  QVERIFY(!orvanta::qt::ShowOpenDialog(&owner, QString(), QString(), chosen, title));
  QCOMPARE(chosen, QString("kept"));
  QCOMPARE(title, QString("kept too"));
}

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
