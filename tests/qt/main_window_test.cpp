#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <QAccessible>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include "design/contact.h"
#include "qt/about_window.h"
#include "qt/main_window.h"
#include "qt/qt_read_serial_view.h"
#include "read_scenarios.h"
#include "serial/usb_hub_source.h"
#include "ui_test_support.h"

using vellmor::serial::DeviceId;
using vellmor::ui::AboutWindow;
using vellmor::ui::MainW;
using vellmor::ui::test::ShellCall;
using vellmor::ui::test::TestMainW;

namespace {

const DeviceId kRootHub = DeviceId::Text(u"USB\\ROOT_HUB20\\4&1A2B3C&0");
const DeviceId kDrive = DeviceId::Text(u"USB\\VID_1234&PID_5678\\AB12CD34");
const DeviceId kTrailingBackslash = DeviceId::Text(u"USB\\VID_1234&PID_5678\\");

const QString kDriveDigest = QStringLiteral("EB1DEF2FBD36FAA7E9316A54D75FA457");
const QString kEmptyDigest = QStringLiteral("D41D8CD98F00B204E9800998ECF8427E");

using Answers = std::vector<std::vector<DeviceId>>;

struct WarningSeen {
  QString text;
  QString title;
  QString text1;
  QString text2;
};

// Runs the body inside the next modal event loop, once it is running.
void WhenModal(std::function<void()> body) {
  QMetaObject::invokeMethod(qApp, std::move(body), Qt::QueuedConnection);
}

}  // namespace

Q_DECLARE_METATYPE(Answers)

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void windowAsDesigned();
  void controlsInCreationOrderAtDesignedPlaces();
  void labelsUseBoldSongAndOthersTheDefaultFont();
  void captionLabelsFitTheirCaptions();
  void tabCyclesTheFocusTakingControls();
  void enterAndEscapeTriggerNothing();
  void screenReadersHearNamesAndRoles();
  void closingReportsTheEnd();

  void readSerialShowsSerialAndItsDigest();
  void readSerialWarnsAndDigestsTheEmptyText_data();
  void readSerialWarnsAndDigestsTheEmptyText();
  void readSerialQueriesOncePerClick();
  void readSerialTakesOnlyAStorageDevice();
  void warningBoxHasOkAloneAndNoIcon();
  void warningIsModalAndWaitsForTheUser();

  void linkOpensItsPageAnywhereInItsRectangle_data();
  void linkOpensItsPageAnywhereInItsRectangle();
  void captionLabelsAndOtherButtonsOpenNothing();
  void pointerSetOnlyWithNoButtonHeld();

  void command3ShowsOneAboutWindowModally();
  void grabToPng();

 private:  // NOLINT(readability-redundant-access-specifiers): ends the slots for moc
  QWidget* Control(const char* name) const { return m_w->Find(name); }
  QString Text(const char* name) const { return m_w->Text(name); }
  void ClickCommand1() { m_w->Click("Command1"); }

  std::unique_ptr<TestMainW> m_w;
  MainW* m_mainW = nullptr;
  std::vector<WarningSeen> m_warnings;
};

void MainWindowTest::init() {
  m_w = std::make_unique<TestMainW>();
  m_mainW = &m_w->window;
  m_warnings.clear();
  m_mainW->SetWarningPresenter([this](const QString& text, const QString& title) {
    m_warnings.push_back({text, title, Text("Text1"), Text("Text2")});
  });
  m_mainW->show();
  QVERIFY(QTest::qWaitForWindowExposed(m_mainW));
}

void MainWindowTest::cleanup() { m_w.reset(); }

void MainWindowTest::windowAsDesigned() {
  QCOMPARE(m_mainW->objectName(), QStringLiteral("MainW"));
  QCOMPARE(m_mainW->windowTitle(), QStringLiteral("Vellmor  Ver 5.1.7"));
  QVERIFY(!m_mainW->windowIcon().isNull());

  const Qt::WindowFlags flags = m_mainW->windowFlags();
  QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
  const Qt::WindowFlags frame =
      Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  QCOMPARE(flags & (frame | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint), frame);

  // Fixed 356 x 225 client area.
  QCOMPARE(m_mainW->size(), QSize(356, 225));
  QCOMPARE(m_mainW->minimumSize(), m_mainW->maximumSize());

  // Owned by a window that is never shown: no taskbar button.
  const QWindow* owner = m_mainW->windowHandle()->transientParent();
  QVERIFY(owner != nullptr);
  QVERIFY(!owner->isVisible());

  const QRect available = m_mainW->screen()->availableGeometry();
  QVERIFY((m_mainW->geometry().center() - available.center()).manhattanLength() <= 1);
}

void MainWindowTest::controlsInCreationOrderAtDesignedPlaces() {
  QCOMPARE(m_mainW->logicalDpiX(), 96);
  struct Expected {
    QString name;
    QRect geometry;
    QString text;
  };
  const std::vector<Expected> expected = {
      {QStringLiteral("Picture1"), {-96, 0, 473, 65}, {}},
      {QStringLiteral("Command1"), {88, 136, 77, 21}, QStringLiteral("读取序列号")},
      {QStringLiteral("Command3"), {176, 136, 77, 21}, QStringLiteral("关于")},
      {QStringLiteral("Text2"), {96, 104, 217, 25}, {}},
      {QStringLiteral("Text1"), {96, 72, 217, 25}, {}},
      {QStringLiteral("Label4"),
       {24, 176, 445, 55},
       QStringLiteral("本软件免费提供给广大用户，用于交流探讨。\n如有疑问请直接联系或网上留言。")},
      // The caption labels' sizes are their captions' (captionLabelsFitTheirCaptions).
      {QStringLiteral("Label2"), {24, 104, 0, 0}, QStringLiteral("MD5加密")},
      {QStringLiteral("Label1"), {16, 80, 0, 0}, QStringLiteral("U盘序列号")},
  };

  const QList<QWidget*> children = m_mainW->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  QCOMPARE(children.size(), static_cast<qsizetype>(expected.size()));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    QWidget* child = children.at(static_cast<qsizetype>(i));
    QCOMPARE(child->objectName(), expected[i].name);
    if (expected[i].geometry.isEmpty()) {
      QCOMPARE(child->pos(), expected[i].geometry.topLeft());
    } else {
      QCOMPARE(child->geometry(), expected[i].geometry);
    }
    QString text;
    if (auto* label = qobject_cast<QLabel*>(child)) {
      text = label->text();
    } else if (auto* button = qobject_cast<QPushButton*>(child)) {
      text = button->text();
    } else if (auto* edit = qobject_cast<QLineEdit*>(child)) {
      text = edit->text();
    }
    QCOMPARE(text, expected[i].text);
  }

  auto* picture1 = m_w->Find<QLabel>("Picture1");
  QCOMPARE(picture1->frameStyle(), QFrame::Panel | QFrame::Sunken);
  QCOMPARE(picture1->lineWidth(), 2);
  QCOMPARE(picture1->pixmap().size(), QSize(468, 60));
  QCOMPARE(picture1->contentsRect().topLeft(), QPoint(2, 2));

  QCOMPARE(Control("Text1")->accessibleName(), QStringLiteral("U盘序列号"));
  QCOMPARE(m_w->Find<QLabel>("Label1")->buddy(), Control("Text1"));
  QCOMPARE(m_w->Find<QLabel>("Label2")->buddy(), Control("Text2"));
}

void MainWindowTest::labelsUseBoldSongAndOthersTheDefaultFont() {
  for (const char* name : {"Label1", "Label2"}) {
    const QFont font = Control(name)->font();
    QCOMPARE(font.family(), QStringLiteral("宋体"));
    QCOMPARE(font.pointSizeF(), 10.5);
    QCOMPARE(font.weight(), QFont::Bold);
    QVERIFY(!font.italic());
    QVERIFY(!font.underline());
    // It must land on a face that has the Chinese glyphs.
    QVERIFY2(QFontInfo(font).family().contains(QStringLiteral("UMing")) ||
                 QFontInfo(font).family() == QStringLiteral("宋体") ||
                 QFontInfo(font).family() == QStringLiteral("SimSun"),
             qPrintable(QFontInfo(font).family()));
  }
  for (const char* name : {"Command1", "Command3", "Text1", "Text2", "Label4"}) {
    QCOMPARE(Control(name)->font(), m_mainW->font());
  }
  QCOMPARE(m_mainW->font().family(), QStringLiteral("宋体"));
  QCOMPARE(m_mainW->font().pointSizeF(), 9.0);
  QVERIFY(!Control("Label4")->font().underline());
}

void MainWindowTest::captionLabelsFitTheirCaptions() {
  for (const char* name : {"Label1", "Label2"}) {
    auto* label = m_w->Find<QLabel>(name);
    const QPoint designed = label->pos();
    const auto fits = [&] {
      const QSize caption = QFontMetrics(label->font()).size(0, label->text());
      return label->contentsRect().width() >= caption.width() &&
             label->contentsRect().height() >= caption.height() &&
             label->width() <= caption.width() + 2 && label->pos() == designed;
    };
    QVERIFY2(fits(), name);

    // A wider stand-in face, as another system's font or dpi would give.
    QFont wider = label->font();
    wider.setPointSizeF(wider.pointSizeF() * 1.5);
    wider.setLetterSpacing(QFont::PercentageSpacing, 150);
    const int before = label->width();
    label->setFont(wider);
    QVERIFY2(fits(), name);
    QVERIFY(label->width() > before * 2);
  }
}

void MainWindowTest::tabCyclesTheFocusTakingControls() {
  QApplication::setActiveWindow(m_mainW);
  QVERIFY(QTest::qWaitForWindowActive(m_mainW));
  QCOMPARE(QApplication::focusWidget(), Control("Text1"));

  QStringList order;
  for (int i = 0; i < 5; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order << QApplication::focusWidget()->objectName();
  }
  QCOMPARE(order, QStringList({QStringLiteral("Text2"), QStringLiteral("Command3"),
                               QStringLiteral("Command1"), QStringLiteral("Picture1"),
                               QStringLiteral("Text1")}));
  for (const char* name : {"Label1", "Label2", "Label4"}) {
    QCOMPARE(Control(name)->focusPolicy(), Qt::NoFocus);
  }
}

void MainWindowTest::enterAndEscapeTriggerNothing() {
  m_w->source.answers = {{kDrive}};
  QApplication::setActiveWindow(m_mainW);
  QVERIFY(QTest::qWaitForWindowActive(m_mainW));
  for (const char* name : {"Text1", "Text2", "Command1", "Command3"}) {
    Control(name)->setFocus();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
      QTest::keyClick(Control(name), key);
    }
  }
  QCOMPARE(m_w->source.binds, 0);
  QVERIFY(m_mainW->aboutWindow() == nullptr);
  QVERIFY(m_mainW->isVisible());
  for (const char* name : {"Command1", "Command3"}) {
    auto* button = m_w->Find<QPushButton>(name);
    QVERIFY(!button->isDefault());
    QVERIFY(!button->autoDefault());
  }
}

void MainWindowTest::screenReadersHearNamesAndRoles() {
  const auto heard = [this](const char* name) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(Control(name));
    return std::pair(accessible->role(), accessible->text(QAccessible::Name));
  };
  QCOMPARE(heard("Text1"), std::pair(QAccessible::EditableText, QStringLiteral("U盘序列号")));
  QCOMPARE(heard("Text2"), std::pair(QAccessible::EditableText, QStringLiteral("MD5加密")));
  QCOMPARE(heard("Label4"), std::pair(QAccessible::Link,
                                      QStringLiteral("本软件免费提供给广大用户，用于交流探讨。\r\n"
                                                     "如有疑问请直接联系或网上留言。")));
  QCOMPARE(heard("Picture1"),
           std::pair(QAccessible::Link,
                     QStringLiteral("http://www.example.net/ad.asp?from=example.com")));
  QCOMPARE(heard("Label1").first, QAccessible::StaticText);
}

void MainWindowTest::closingReportsTheEnd() {
  QSignalSpy closed(m_mainW, &MainW::closed);
  QVERIFY(m_mainW->close());
  QCOMPARE(closed.count(), 1);
}

void MainWindowTest::readSerialShowsSerialAndItsDigest() {
  m_w->source.answers = {{kRootHub, kDrive, DeviceId::Missing()}};
  ClickCommand1();
  QCOMPARE(Text("Text1"), QStringLiteral("AB12CD34"));
  QCOMPARE(Text("Text2"), kDriveDigest);
  QVERIFY(m_warnings.empty());

  // The text boxes have no length limit of their own.
  const std::u16string longSerial(40000, u'7');
  m_w->source.answers = {{DeviceId::Text(u"USB\\VID_1234&PID_5678\\" + longSerial)}};
  ClickCommand1();
  QCOMPARE(Text("Text1").size(), qsizetype{40000});
  m_w->source.answers = {{kRootHub, kDrive, DeviceId::Missing()}};
  ClickCommand1();

  // Nothing changed: the same texts again.
  ClickCommand1();
  QCOMPARE(Text("Text1"), QStringLiteral("AB12CD34"));
  QCOMPARE(Text("Text2"), kDriveDigest);
}

void MainWindowTest::readSerialWarnsAndDigestsTheEmptyText_data() {
  QTest::addColumn<Answers>("answers");
  QTest::newRow("no drive among the hubs") << Answers{{kRootHub}};
  QTest::newRow("empty serial") << Answers{{kTrailingBackslash}};
  QTest::newRow("service cannot be reached") << Answers{};
}

void MainWindowTest::readSerialWarnsAndDigestsTheEmptyText() {
  QFETCH(Answers, answers);
  m_w->source.answers = answers;
  m_w->Find<QLineEdit>("Text1")->setText(QStringLiteral("typed"));
  m_w->Find<QLineEdit>("Text2")->setText(QStringLiteral("old digest"));
  ClickCommand1();

  QCOMPARE(m_warnings.size(), std::size_t{1});
  QCOMPARE(m_warnings[0].text, QStringLiteral("请插入U盘"));
  QCOMPARE(m_warnings[0].title, QStringLiteral("Vellmor"));
  // While the warning is open Text1 is already empty and Text2 not yet updated.
  QCOMPARE(m_warnings[0].text1, QString());
  QCOMPARE(m_warnings[0].text2, QStringLiteral("old digest"));
  QCOMPARE(Text("Text1"), QString());
  QCOMPARE(Text("Text2"), kEmptyDigest);
}

void MainWindowTest::readSerialQueriesOncePerClick() {
  // A drive that comes while the warning would be open changes nothing of this
  // click: Text1 and Text2 describe the same query.
  m_w->source.answers = {{kRootHub}, {kDrive}};
  ClickCommand1();
  QCOMPARE(m_w->source.binds, 1);
  QCOMPARE(Text("Text2"), kEmptyDigest);
  ClickCommand1();
  QCOMPARE(m_w->source.binds, 2);
  QCOMPARE(Text("Text1"), QStringLiteral("AB12CD34"));
  QCOMPARE(Text("Text2"), kDriveDigest);
}

// The window over the kernel's device list, as the program runs on Linux.
void MainWindowTest::readSerialTakesOnlyAStorageDevice() {
  for (const auto& scenario : vellmor::fixtures::ReadScenarios()) {
    vellmor::fixtures::SysfsTree tree;
    scenario.plant(tree);
    const auto source = vellmor::serial::MakeSysfsUsbHubSource(tree.root());
    if (!source) {
      QSKIP("no sysfs on this system");
    }
    vellmor::ui::test::RecordingShell shell;
    MainW window(*source, shell);
    int warnings = 0;
    window.SetWarningPresenter([&warnings](const QString&, const QString&) { ++warnings; });
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    const QString shown = window.findChild<QLineEdit*>(QStringLiteral("Text1"))->text();
    QVERIFY2(shown == QString::fromStdString(scenario.serial.value_or("")), scenario.name);
    QVERIFY2(warnings == (scenario.serial ? 0 : 1), scenario.name);
  }
}

void MainWindowTest::warningBoxHasOkAloneAndNoIcon() {
  const auto box =
      vellmor::ui::MakeWarningBox(m_mainW, QStringLiteral("请插入U盘"), QStringLiteral("Vellmor"));
  QCOMPARE(box->text(), QStringLiteral("请插入U盘"));
  QCOMPARE(box->windowTitle(), QStringLiteral("Vellmor"));
  QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
  QCOMPARE(box->icon(), QMessageBox::NoIcon);
  QCOMPARE(box->windowModality(), Qt::ApplicationModal);
  QCOMPARE(box->defaultButton(), box->button(QMessageBox::Ok));
}

void MainWindowTest::warningIsModalAndWaitsForTheUser() {
  MainW mainW(m_w->source, m_w->shell);
  mainW.show();
  QVERIFY(QTest::qWaitForWindowExposed(&mainW));
  m_w->source.answers = {{kRootHub}};
  auto* text2 = mainW.findChild<QLineEdit*>(QStringLiteral("Text2"));
  text2->setText(QStringLiteral("old digest"));

  QString seenText;
  QString seenTitle;
  QString text2WhileOpen;
  WhenModal([&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      return;
    }
    seenText = box->text();
    seenTitle = box->windowTitle();
    text2WhileOpen = text2->text();
    box->button(QMessageBox::Ok)->click();
  });
  QTest::mouseClick(mainW.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);

  QCOMPARE(seenText, QStringLiteral("请插入U盘"));
  QCOMPARE(seenTitle, QStringLiteral("Vellmor"));
  QCOMPARE(text2WhileOpen, QStringLiteral("old digest"));
  QCOMPARE(text2->text(), kEmptyDigest);
  QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void MainWindowTest::linkOpensItsPageAnywhereInItsRectangle_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<QString>("link");
  QTest::addColumn<QList<QPoint>>("points");
  // Its text, the empty space right of it and the last row inside the client area.
  QTest::newRow("Label4") << QStringLiteral("Label4")
                          << QString::fromLatin1(vellmor::design::AuthorSiteLink)
                          << QList<QPoint>{{5, 5}, {440, 5}, {440, 48}, {0, 0}};
  // The visible part starts 96 pixels into the box.
  QTest::newRow("Picture1") << QStringLiteral("Picture1")
                            << QString::fromLatin1(vellmor::design::AdvertiserLink)
                            << QList<QPoint>{{100, 30}, {450, 1}, {200, 63}};
}

void MainWindowTest::linkOpensItsPageAnywhereInItsRectangle() {
  QFETCH(QString, control);
  QFETCH(QString, link);
  QFETCH(QList<QPoint>, points);
  QWidget* clicked = Control(qPrintable(control));
  const ShellCall open{static_cast<vellmor::design::WindowHandle>(m_mainW->winId()),
                       "Open",
                       link.toStdString(),
                       "0",
                       "0",
                       0};
  for (const QPoint& point : points) {
    m_w->shell.calls.clear();
    QTest::mouseClick(clicked, Qt::LeftButton, Qt::NoModifier, point);
    QCOMPARE(m_w->shell.calls, std::vector<ShellCall>{open});
  }
  m_w->shell.calls.clear();
  QTest::mouseClick(clicked, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
  QVERIFY(m_w->shell.calls.empty());
  QVERIFY(m_w->shell.cursors.empty());
}

void MainWindowTest::captionLabelsAndOtherButtonsOpenNothing() {
  for (const char* name : {"Label1", "Label2", "Text1", "Text2"}) {
    QTest::mouseClick(Control(name), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    QTest::mouseMove(Control(name), QPoint(4, 4));
  }
  QVERIFY(m_w->shell.calls.empty());
  QVERIFY(m_w->shell.cursors.empty());
}

void MainWindowTest::pointerSetOnlyWithNoButtonHeld() {
  for (const char* name : {"Label4", "Picture1"}) {
    QWidget* control = Control(name);
    m_w->shell.cursors.clear();
    const QPoint point(120, 10);
    for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
      QMouseEvent held(QEvent::MouseMove, point, control->mapToGlobal(point), Qt::NoButton, button,
                       Qt::NoModifier);
      QApplication::sendEvent(control, &held);
    }
    QVERIFY(m_w->shell.cursors.empty());

    QTest::mouseMove(control, point);
    QTest::mouseMove(control, point + QPoint(3, 2));
    // The system's pointing hand, as the windows name it.
    QCOMPARE(m_w->shell.cursors, std::vector<vellmor::design::CursorHandle>({0x1002D, 0x1002D}));
  }
  QVERIFY(m_w->shell.calls.empty());
}

void MainWindowTest::command3ShowsOneAboutWindowModally() {
  QVERIFY(m_mainW->aboutWindow() == nullptr);
  m_w->source.answers = {{kDrive}};

  AboutWindow* firstShown = nullptr;
  bool modal = false;
  bool mainBlocked = false;
  WhenModal([&] {
    firstShown = qobject_cast<AboutWindow*>(QApplication::activeModalWidget());
    if (firstShown == nullptr) {
      return;
    }
    modal = firstShown->isVisible() && firstShown->windowModality() == Qt::ApplicationModal;
    // MainW takes no input while the About window is open; only input that comes
    // through the window system, as the user's does, is blocked.
    m_w->ClickThroughWindowSystem("Command1");
    mainBlocked = m_w->source.binds == 0;
    firstShown->close();
  });
  m_w->Click("Command3");
  QVERIFY(firstShown != nullptr);
  QCOMPARE(firstShown, m_mainW->aboutWindow());
  QCOMPARE(firstShown->objectName(), QStringLiteral("关于"));
  QVERIFY(modal);
  QVERIFY(mainBlocked);
  QVERIFY(!firstShown->isVisible());
  QVERIFY(m_mainW->isVisible());
  // Closed, it blocks nothing any more.
  m_w->ClickThroughWindowSystem("Command1");
  QCOMPARE(m_w->source.binds, 1);

  AboutWindow* secondShown = nullptr;
  WhenModal([&] {
    secondShown = qobject_cast<AboutWindow*>(QApplication::activeModalWidget());
    if (secondShown != nullptr) {
      secondShown->close();
    }
  });
  m_w->Click("Command3");
  QCOMPARE(secondShown, firstShown);
  QCOMPARE(m_mainW->aboutWindow(), firstShown);
}

void MainWindowTest::grabToPng() {
  m_w->source.answers = {{kDrive}};
  ClickCommand1();
  const QString path = QStringLiteral(VELLMOR_UI_TEST_OUTPUT_DIR "/MainW.png");
  const QPixmap picture = m_mainW->grab();
  QCOMPARE(picture.deviceIndependentSize().toSize(), QSize(356, 225));
  QVERIFY(picture.save(path));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
