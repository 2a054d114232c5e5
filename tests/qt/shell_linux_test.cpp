#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QLabel>
#include <QTest>
#include <QUrl>

#include "design/platform_shell.h"

// Stands in for the desktop's browser and mail program.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

  Q_INVOKABLE void open(const QUrl& url) { opened << url; }
};

class ShellLinuxTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void openHandsTheLinkToTheDesktopOnce();
  void otherOperationsOpenNothing();
  void linkCursorPutsThePointingHandOnTheControlUnderTheMouse();

 private:  // NOLINT(readability-redundant-access-specifiers): ends the slots for moc
  UrlRecorder m_recorder;
  std::unique_ptr<vellmor::design::PlatformShell> m_shell;
};

void ShellLinuxTest::init() {
  m_recorder.opened.clear();
  for (const QString& scheme : {QStringLiteral("http"), QStringLiteral("mailto")}) {
    QDesktopServices::setUrlHandler(scheme, &m_recorder, "open");
  }
  m_shell = vellmor::design::MakeSystemShell();
}

void ShellLinuxTest::cleanup() {
  for (const QString& scheme : {QStringLiteral("http"), QStringLiteral("mailto")}) {
    QDesktopServices::unsetUrlHandler(scheme);
  }
}

void ShellLinuxTest::openHandsTheLinkToTheDesktopOnce() {
  m_shell->CallShellExecute(1, "Open", "http://www.example.net/ad.asp?from=example.com", "0", "0",
                            0);
  QCOMPARE(m_recorder.opened,
           QList<QUrl>({QUrl(QStringLiteral("http://www.example.net/ad.asp?from=example.com"))}));

  m_recorder.opened.clear();
  m_shell->CallShellExecute(1, "Open", "mailto:author@example.com", "", "/usr/bin", 1);
  QCOMPARE(m_recorder.opened, QList<QUrl>({QUrl(QStringLiteral("mailto:author@example.com"))}));
}

void ShellLinuxTest::otherOperationsOpenNothing() {
  m_shell->CallShellExecute(1, "print", "http://www.example.com", "0", "0", 0);
  QVERIFY(m_recorder.opened.isEmpty());
}

void ShellLinuxTest::linkCursorPutsThePointingHandOnTheControlUnderTheMouse() {
  QWidget window;
  window.resize(200, 100);
  auto* label = new QLabel(QStringLiteral("link"), &window);
  label->setGeometry(10, 10, 80, 30);
  auto* other = new QLabel(QStringLiteral("other"), &window);
  other->setGeometry(100, 10, 80, 30);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  QCursor::setPos(label->mapToGlobal(QPoint(20, 10)));
  QTRY_COMPARE(QApplication::widgetAt(QCursor::pos()), label);
  m_shell->SetCursor(vellmor::design::kLinkCursor);
  QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
  QCOMPARE(other->cursor().shape(), Qt::ArrowCursor);

  // Only the cursor the windows ask for is known here.
  QCursor::setPos(other->mapToGlobal(QPoint(20, 10)));
  QTRY_COMPARE(QApplication::widgetAt(QCursor::pos()), other);
  m_shell->SetCursor(0x7F00);
  QCOMPARE(other->cursor().shape(), Qt::ArrowCursor);
}

QTEST_MAIN(ShellLinuxTest)
#include "shell_linux_test.moc"
