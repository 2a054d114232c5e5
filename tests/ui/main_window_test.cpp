#include <functional>
#include <string>
#include <vector>

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

#include "ui/about_window.h"
#include "ui/contact.h"
#include "ui/main_window.h"
#include "ui/qt_read_serial_view.h"
#include "ui_test_support.h"

using vellmor::serial::DeviceId;
using vellmor::ui::AboutWindow;
using vellmor::ui::MainW;
using vellmor::ui::test::RecordingShell;
using vellmor::ui::test::ScriptedUsbHubSource;
using vellmor::ui::test::ShellCall;

namespace {

const DeviceId kRootHub = DeviceId::Text(u"USB\\ROOT_HUB20\\4&1A2B3C&0");
const DeviceId kDrive = DeviceId::Text(u"USB\\VID_1234&PID_5678\\AB12CD34");
const DeviceId kTrailingBackslash = DeviceId::Text(u"USB\\VID_1234&PID_5678\\");

const QString kDriveDigest = QStringLiteral("EB1DEF2FBD36FAA7E9316A54D75FA457");
const QString kEmptyDigest = QStringLiteral("D41D8CD98F00B204E9800998ECF8427E");

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

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void windowAsDesigned();
  void controlsInCreationOrderAtDesignedPlaces();
  void labelsUseBoldSongAndOthersTheDefaultFont();
  void tabCyclesTheFocusTakingControls();
  void enterAndEscapeTriggerNothing();
  void closingReportsTheEnd();

  void readSerialShowsSerialAndItsDigest();
  void readSerialWarnsWhenNoDriveMatches();
  void readSerialWarnsForAnEmptySerial();
  void readSerialWarnsWhenTheServiceCannotBeReached();
  void readSerialQueriesOncePerClick();
  void warningBoxHasOkAloneAndNoIcon();
  void warningIsModalAndWaitsForTheUser();

  void label4OpensAuthorSiteAnywhereInItsRectangle();
  void picture1OpensAdvertiserPage();
  void captionLabelsAndOtherButtonsOpenNothing();
  void pointerSetOnlyWithNoButtonHeld();

  void command3ShowsOneAboutWindowModally();
  void grabToPng();

 private:  // NOLINT(readability-redundant-access-specifiers): ends the slots for moc
  QWidget* Control(const char* name) const;
  void ClickCommand1() { QTest::mouseClick(Control("Command1"), Qt::LeftButton); }

  std::unique_ptr<ScriptedUsbHubSource> m_source;
  std::unique_ptr<RecordingShell> m_shell;
  std::unique_ptr<MainW> m_mainW;
  std::vector<WarningSeen> m_warnings;
};

void MainWindowTest::init() {
  m_source = std::make_unique<ScriptedUsbHubSource>();
  m_shell = std::make_unique<RecordingShell>();
  m_mainW = std::make_unique<MainW>(m_source.get(), m_shell.get());
  m_warnings.clear();
  m_mainW->SetWarningPresenter([this](const QString& text, const QString& title) {
    m_warnings.push_back({text, title, qobject_cast<QLineEdit*>(Control("Text1"))->text(),
                          qobject_cast<QLineEdit*>(Control("Text2"))->text()});
  });
  m_mainW->show();
  QVERIFY(QTest::qWaitForWindowExposed(m_mainW.get()));
}

void MainWindowTest::cleanup() {
  m_mainW.reset();
  m_shell.reset();
  m_source.reset();
}

QWidget* MainWindowTest::Control(const char* name) const {
  auto* control = m_mainW->findChild<QWidget*>(QString::fromLatin1(name));
  if (control == nullptr) {
    qFatal("no control %s", name);
  }
  return control;
}

void MainWindowTest::windowAsDesigned() {
  QCOMPARE(m_mainW->objectName(), QStringLiteral("MainW"));
  QCOMPARE(m_mainW->windowTitle(), QStringLiteral("Vellmor  Ver 5.1.7"));
  QVERIFY(!m_mainW->windowIcon().isNull());

  const Qt::WindowFlags flags = m_mainW->windowFlags();
  QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
  QVERIFY(flags.testFlag(Qt::WindowTitleHint));
  QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
  QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
  QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
  QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

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
      {QStringLiteral("Label2"), {24, 104, 54, 14}, QStringLiteral("MD5加密")},
      {QStringLiteral("Label1"), {16, 80, 68, 14}, QStringLiteral("U盘序列号")},
  };

  const QList<QWidget*> children = m_mainW->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  QCOMPARE(children.size(), static_cast<qsizetype>(expected.size()));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    QWidget* child = children.at(static_cast<qsizetype>(i));
    QCOMPARE(child->objectName(), expected[i].name);
    QCOMPARE(child->geometry(), expected[i].geometry);
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

  auto* picture1 = qobject_cast<QLabel*>(Control("Picture1"));
  QCOMPARE(picture1->frameStyle(), QFrame::Panel | QFrame::Sunken);
  QCOMPARE(picture1->lineWidth(), 2);
  QCOMPARE(picture1->pixmap().size(), QSize(468, 60));
  QCOMPARE(picture1->contentsRect().topLeft(), QPoint(2, 2));

  auto* text1 = qobject_cast<QLineEdit*>(Control("Text1"));
  QCOMPARE(text1->accessibleName(), QStringLiteral("U盘序列号"));
  QCOMPARE(qobject_cast<QLabel*>(Control("Label1"))->buddy(), text1);
  QCOMPARE(qobject_cast<QLabel*>(Control("Label2"))->buddy(), Control("Text2"));
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

void MainWindowTest::tabCyclesTheFocusTakingControls() {
  QApplication::setActiveWindow(m_mainW.get());
  QVERIFY(QTest::qWaitForWindowActive(m_mainW.get()));
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
  m_source->answers = {{kDrive}};
  QApplication::setActiveWindow(m_mainW.get());
  QVERIFY(QTest::qWaitForWindowActive(m_mainW.get()));
  for (const char* name : {"Text1", "Text2", "Command1", "Command3"}) {
    Control(name)->setFocus();
    QTest::keyClick(Control(name), Qt::Key_Return);
    QTest::keyClick(Control(name), Qt::Key_Enter);
    QTest::keyClick(Control(name), Qt::Key_Escape);
  }
  QCOMPARE(m_source->binds, 0);
  QVERIFY(m_mainW->aboutWindow() == nullptr);
  QVERIFY(m_mainW->isVisible());
  for (const char* name : {"Command1", "Command3"}) {
    auto* button = qobject_cast<QPushButton*>(Control(name));
    QVERIFY(!button->isDefault());
    QVERIFY(!button->autoDefault());
  }
}

void MainWindowTest::closingReportsTheEnd() {
  QSignalSpy closed(m_mainW.get(), &MainW::closed);
  QVERIFY(m_mainW->close());
  QCOMPARE(closed.count(), 1);
}

void MainWindowTest::readSerialShowsSerialAndItsDigest() {
  m_source->answers = {{kRootHub, kDrive, DeviceId::Missing()}};
  ClickCommand1();
  QCOMPARE(qobject_cast<QLineEdit*>(Control("Text1"))->text(), QStringLiteral("AB12CD34"));
  QCOMPARE(qobject_cast<QLineEdit*>(Control("Text2"))->text(), kDriveDigest);
  QVERIFY(m_warnings.empty());

  // The text boxes have no length limit of their own.
  const std::u16string longSerial(40000, u'7');
  m_source->answers = {{DeviceId::Text(u"USB\\VID_1234&PID_5678\\" + longSerial)}};
  ClickCommand1();
  QCOMPARE(qobject_cast<QLineEdit*>(Control("Text1"))->text().size(), qsizetype{40000});
  m_source->answers = {{kRootHub, kDrive, DeviceId::Missing()}};
  ClickCommand1();

  // Nothing changed: the same texts again.
  ClickCommand1();
  QCOMPARE(qobject_cast<QLineEdit*>(Control("Text1"))->text(), QStringLiteral("AB12CD34"));
  QCOMPARE(qobject_cast<QLineEdit*>(Control("Text2"))->text(), kDriveDigest);
}

void MainWindowTest::readSerialWarnsWhenNoDriveMatches() {
  m_source->answers = {{kRootHub}};
  qobject_cast<QLineEdit*>(Control("Text1"))->setText(QStringLiteral("typed"));
  qobject_cast<QLineEdit*>(Control("Text2"))->setText(QStringLiteral("old digest"));
  ClickCommand1();

  QCOMPARE(m_warnings.size(), std::size_t{1});
  QCOMPARE(m_warnings[0].text, QStringLiteral("请插入U盘"));
  QCOMPARE(m_warnings[0].title, QStringLiteral("Vellmor"));
  // While the warning is open Text1 is already empty and Text2 not yet updated.
  QCOMPARE(m_warnings[0].text1, QString());
  QCOMPARE(m_warnings[0].text2, QStringLiteral("old digest"));
  QCOMPARE(qobject_cast<QLineEdit*>(Control("Text2"))->text(), kEmptyDigest);
}

void MainWindowTest::readSerialWarnsForAnEmptySerial() {
  m_source->answers = {{kTrailingBackslash}};
  ClickCommand1();
  QCOMPARE(m_warnings.size(), std::size_t{1});
  QCOMPARE(qobject_cast<QLineEdit*>(Control("Text1"))->text(), QString());
  QCOMPARE(qobject_cast<QLineEdit*>(Control("Text2"))->text(), kEmptyDigest);
}

void MainWindowTest::readSerialWarnsWhenTheServiceCannotBeReached() {
  m_source->answers.clear();
  ClickCommand1();
  QCOMPARE(m_warnings.size(), std::size_t{1});
  QCOMPARE(qobject_cast<QLineEdit*>(Control("Text2"))->text(), kEmptyDigest);
}

void MainWindowTest::readSerialQueriesOncePerClick() {
  // A drive that comes while the warning would be open changes nothing of this
  // click: Text1 and Text2 describe the same query.
  m_source->answers = {{kRootHub}, {kDrive}};
  ClickCommand1();
  QCOMPARE(m_source->binds, 1);
  QCOMPARE(qobject_cast<QLineEdit*>(Control("Text2"))->text(), kEmptyDigest);
  ClickCommand1();
  QCOMPARE(m_source->binds, 2);
  QCOMPARE(qobject_cast<QLineEdit*>(Control("Text1"))->text(), QStringLiteral("AB12CD34"));
  QCOMPARE(qobject_cast<QLineEdit*>(Control("Text2"))->text(), kDriveDigest);
}

void MainWindowTest::warningBoxHasOkAloneAndNoIcon() {
  const auto box = vellmor::ui::MakeWarningBox(m_mainW.get(), QStringLiteral("请插入U盘"),
                                               QStringLiteral("Vellmor"));
  QCOMPARE(box->text(), QStringLiteral("请插入U盘"));
  QCOMPARE(box->windowTitle(), QStringLiteral("Vellmor"));
  QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
  QCOMPARE(box->icon(), QMessageBox::NoIcon);
  QCOMPARE(box->windowModality(), Qt::ApplicationModal);
  QCOMPARE(box->defaultButton(), box->button(QMessageBox::Ok));
}

void MainWindowTest::warningIsModalAndWaitsForTheUser() {
  MainW mainW(m_source.get(), m_shell.get());
  mainW.show();
  QVERIFY(QTest::qWaitForWindowExposed(&mainW));
  m_source->answers = {{kRootHub}};
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

void MainWindowTest::label4OpensAuthorSiteAnywhereInItsRectangle() {
  QWidget* label4 = Control("Label4");
  const auto owner = static_cast<vellmor::ui::WindowHandle>(m_mainW->winId());
  const ShellCall site{owner, "Open", std::string(vellmor::ui::AuthorSiteLink), "0", "0", 0};

  // Its text, the empty space right of it and the last row inside the client area.
  const QList<QPoint> points = {{5, 5}, {440, 5}, {440, 48}, {0, 0}};
  for (const QPoint& point : points) {
    m_shell->calls.clear();
    QTest::mouseClick(label4, Qt::LeftButton, Qt::NoModifier, point);
    QCOMPARE(m_shell->calls.size(), std::size_t{1});
    QCOMPARE(m_shell->calls[0], site);
  }

  m_shell->calls.clear();
  QTest::mouseClick(label4, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
  QVERIFY(m_shell->calls.empty());
}

void MainWindowTest::picture1OpensAdvertiserPage() {
  QWidget* picture1 = Control("Picture1");
  const auto owner = static_cast<vellmor::ui::WindowHandle>(m_mainW->winId());
  const ShellCall advertiser{owner, "Open", std::string(vellmor::ui::AdvertiserLink), "0", "0", 0};
  // The visible part starts 96 pixels into the box.
  for (const QPoint& point : {QPoint(100, 30), QPoint(450, 1), QPoint(200, 63)}) {
    m_shell->calls.clear();
    QTest::mouseClick(picture1, Qt::LeftButton, Qt::NoModifier, point);
    QCOMPARE(m_shell->calls.size(), std::size_t{1});
    QCOMPARE(m_shell->calls[0], advertiser);
  }
  QVERIFY(m_shell->cursors.empty());
}

void MainWindowTest::captionLabelsAndOtherButtonsOpenNothing() {
  for (const char* name : {"Label1", "Label2", "Text1", "Text2"}) {
    QTest::mouseClick(Control(name), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    QTest::mouseMove(Control(name), QPoint(4, 4));
  }
  QVERIFY(m_shell->calls.empty());
  QVERIFY(m_shell->cursors.empty());
}

void MainWindowTest::pointerSetOnlyWithNoButtonHeld() {
  for (const char* name : {"Label4", "Picture1"}) {
    QWidget* control = Control(name);
    m_shell->cursors.clear();
    const QPoint point(120, 10);
    QMouseEvent held(QEvent::MouseMove, point, control->mapToGlobal(point), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(control, &held);
    QMouseEvent rightHeld(QEvent::MouseMove, point, control->mapToGlobal(point), Qt::NoButton,
                          Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(control, &rightHeld);
    QVERIFY(m_shell->cursors.empty());

    QTest::mouseMove(control, point);
    QTest::mouseMove(control, point + QPoint(3, 2));
    QCOMPARE(m_shell->cursors, std::vector<vellmor::ui::CursorHandle>(
                                   {vellmor::ui::kLinkCursor, vellmor::ui::kLinkCursor}));
    QCOMPARE(m_shell->cursors.front(), vellmor::ui::CursorHandle{0x1002D});
  }
  QVERIFY(m_shell->calls.empty());
}

void MainWindowTest::command3ShowsOneAboutWindowModally() {
  QVERIFY(m_mainW->aboutWindow() == nullptr);
  m_source->answers = {{kDrive}};

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
    QTest::mouseClick(m_mainW->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      Control("Command1")->geometry().center());
    mainBlocked = m_source->binds == 0;
    firstShown->close();
  });
  QTest::mouseClick(Control("Command3"), Qt::LeftButton);
  QVERIFY(firstShown != nullptr);
  QCOMPARE(firstShown, m_mainW->aboutWindow());
  QCOMPARE(firstShown->objectName(), QStringLiteral("关于"));
  QVERIFY(modal);
  QVERIFY(mainBlocked);
  QVERIFY(!firstShown->isVisible());
  QVERIFY(m_mainW->isVisible());
  // Closed, it blocks nothing any more.
  QTest::mouseClick(m_mainW->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                    Control("Command1")->geometry().center());
  QCOMPARE(m_source->binds, 1);

  AboutWindow* secondShown = nullptr;
  WhenModal([&] {
    secondShown = qobject_cast<AboutWindow*>(QApplication::activeModalWidget());
    if (secondShown != nullptr) {
      secondShown->close();
    }
  });
  QTest::mouseClick(Control("Command3"), Qt::LeftButton);
  QCOMPARE(secondShown, firstShown);
  QCOMPARE(m_mainW->aboutWindow(), firstShown);
}

void MainWindowTest::grabToPng() {
  m_source->answers = {{kDrive}};
  ClickCommand1();
  const QString path = QStringLiteral(VELLMOR_UI_TEST_OUTPUT_DIR "/MainW.png");
  const QPixmap picture = m_mainW->grab();
  QCOMPARE(picture.deviceIndependentSize().toSize(), QSize(356, 225));
  QVERIFY(picture.save(path));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
