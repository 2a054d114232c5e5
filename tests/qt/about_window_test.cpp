#include <functional>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QTest>
#include <QWindow>

#include "design/contact.h"
#include "qt/about_window.h"
#include "ui_test_support.h"

using vellmor::design::WindowHandle;
using vellmor::ui::AboutWindow;
using vellmor::ui::test::RecordingShell;
using vellmor::ui::test::ShellCall;

namespace {

struct ExpectedLabel {
  QString name;
  QRect geometry;
  QString text;
};

}  // namespace

class AboutWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void windowAsDesigned();
  void labelsInCreationOrderWithUnderlinedSong();
  void eachLabelShowsItsOwnPointer();
  void webLabelsOpenTheAuthorSite();
  void mailLabelOpensTheMailLinkFromTheProgramFolder();
  void clicksLeaveTheWindowOpen();
  void resizingMovesNothing();
  void everyShowingStartsFromTheDesign();
  void programFolderHasNoTrailingSeparator();
  void grabToPng();

 private:  // NOLINT(readability-redundant-access-specifiers): ends the slots for moc
  // Shows the About window modally and runs the body while it is open; the
  // window is closed afterwards whatever the body found.
  void WhileShown(const std::function<void()>& body);
  QLabel* Label(const char* name) const;

  std::unique_ptr<RecordingShell> m_shell;
  std::unique_ptr<QWidget> m_over;
  std::unique_ptr<AboutWindow> m_about;
};

void AboutWindowTest::init() {
  m_shell = std::make_unique<RecordingShell>();
  m_over = std::make_unique<QWidget>();
  m_over->setGeometry(200, 150, 356, 225);
  m_over->show();
  QVERIFY(QTest::qWaitForWindowExposed(m_over.get()));
  m_about = std::make_unique<AboutWindow>(*m_shell);
}

void AboutWindowTest::cleanup() {
  m_about.reset();
  m_over.reset();
  m_shell.reset();
}

void AboutWindowTest::WhileShown(const std::function<void()>& body) {
  bool ran = false;
  QMetaObject::invokeMethod(
      qApp,
      [&] {
        ran = true;
        if (QTest::qWaitForWindowExposed(m_about.get())) {
          body();
        }
        m_about->close();
      },
      Qt::QueuedConnection);
  m_about->ShowModal(*m_over);
  QVERIFY(ran);
  QVERIFY(!m_about->isVisible());
}

QLabel* AboutWindowTest::Label(const char* name) const {
  auto* label = m_about->findChild<QLabel*>(QString::fromLatin1(name));
  if (label == nullptr) {
    qFatal("no label %s", name);
  }
  return label;
}

void AboutWindowTest::windowAsDesigned() {
  WhileShown([&] {
    QCOMPARE(m_about->objectName(), QStringLiteral("关于"));
    QCOMPARE(m_about->windowTitle(), QStringLiteral("www.example.com"));
    QVERIFY(!m_about->windowIcon().isNull());
    QCOMPARE(m_about->windowIcon().availableSizes().value(0), QSize(128, 128));

    const Qt::WindowFlags flags = m_about->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Window);
    const Qt::WindowFlags buttons = Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                                    Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint;
    QCOMPARE(flags & buttons, buttons);
    // A window of its own, with a taskbar button, that the user may resize.
    QVERIFY(m_about->parentWidget() == nullptr);
    QVERIFY(m_about->windowHandle()->transientParent() == nullptr);
    QVERIFY(m_about->minimumSize() != m_about->maximumSize());

    QCOMPARE(m_about->size(), QSize(260, 166));
    QCOMPARE(QApplication::activeModalWidget(), m_about.get());
    QCOMPARE(m_about->windowModality(), Qt::ApplicationModal);
    const QPoint overCentre = m_over->mapToGlobal(m_over->rect().center());
    const QPoint aboutCentre = m_about->mapToGlobal(m_about->rect().center());
    QVERIFY((overCentre - aboutCentre).manhattanLength() <= 2);
    QVERIFY(!m_about->testAttribute(Qt::WA_QuitOnClose));
  });
}

void AboutWindowTest::labelsInCreationOrderWithUnderlinedSong() {
  const std::vector<ExpectedLabel> expected = {
      {QStringLiteral("Label3"), {24, 120, 197, 23}, QStringLiteral("E-mail：author@example.com")},
      {QStringLiteral("Label2"), {24, 96, 197, 23}, QStringLiteral("QQ群  ：5678")},
      {QStringLiteral("Label1"), {24, 72, 197, 23}, QStringLiteral("QQ    ：1234")},
      {QStringLiteral("Label4"),
       {24, 24, 197, 39},
       QStringLiteral("更多精品软件请点击\nhttp://www.example.com")},
  };
  WhileShown([&] {
    QCOMPARE(m_about->logicalDpiX(), 96);
    const QList<QWidget*> children = m_about->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(children.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
      auto* label = qobject_cast<QLabel*>(children.at(static_cast<qsizetype>(i)));
      QVERIFY(label != nullptr);
      QCOMPARE(label->objectName(), expected[i].name);
      QCOMPARE(label->geometry(), expected[i].geometry);
      QCOMPARE(label->text(), expected[i].text);
      QCOMPARE(label->font().family(), QStringLiteral("宋体"));
      QCOMPARE(label->font().pointSizeF(), 10.5);
      QCOMPARE(label->font().weight(), QFont::Normal);
      QVERIFY(label->font().underline());
      QVERIFY(!label->font().italic());
      QCOMPARE(label->focusPolicy(), Qt::NoFocus);
      QCOMPARE(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
    }
  });
}

void AboutWindowTest::eachLabelShowsItsOwnPointer() {
  WhileShown([&] {
    struct Pointer {
      const char* label;
      QSize size;
      QPoint hotSpot;
    };
    for (const Pointer& pointer :
         {Pointer{"Label3", {16, 16}, {8, 8}}, Pointer{"Label2", {24, 24}, {12, 12}},
          Pointer{"Label1", {24, 24}, {12, 12}}, Pointer{"Label4", {32, 32}, {12, 1}}}) {
      const QCursor cursor = Label(pointer.label)->cursor();
      QCOMPARE(cursor.shape(), Qt::BitmapCursor);
      QCOMPARE(cursor.pixmap().size(), pointer.size);
      QCOMPARE(cursor.hotSpot(), pointer.hotSpot);
    }
    // Each picture its own.
    QVERIFY(Label("Label1")->cursor().pixmap().toImage() !=
            Label("Label2")->cursor().pixmap().toImage());
    // Between the labels the window's standard pointer shows.
    QVERIFY(!m_about->testAttribute(Qt::WA_SetCursor));
  });
}

void AboutWindowTest::webLabelsOpenTheAuthorSite() {
  WhileShown([&] {
    const auto owner = static_cast<WindowHandle>(m_about->winId());
    const ShellCall site{owner, "Open", std::string(vellmor::design::AuthorSiteLink), "0", "0", 0};
    for (const char* name : {"Label1", "Label2", "Label4"}) {
      // The caption and the empty space right of it both count.
      for (const QPoint& point : {QPoint(3, 3), QPoint(190, 20)}) {
        m_shell->calls.clear();
        QTest::mouseClick(Label(name), Qt::LeftButton, Qt::NoModifier, point);
        QCOMPARE(m_shell->calls, std::vector<ShellCall>{site});
      }
      QTest::mouseMove(Label(name), QPoint(10, 10));
    }
    // No mouse-move handler here: the label's own pointer does the work.
    QVERIFY(m_shell->cursors.empty());
  });
}

void AboutWindowTest::mailLabelOpensTheMailLinkFromTheProgramFolder() {
  WhileShown([&] {
    QTest::mouseClick(Label("Label3"), Qt::LeftButton, Qt::NoModifier, QPoint(150, 10));
    const ShellCall mail{
        static_cast<WindowHandle>(m_about->winId()),
        "Open",
        "mailto:author@example.com",
        "",
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString(),
        1};
    QCOMPARE(m_shell->calls, std::vector<ShellCall>{mail});
  });
}

void AboutWindowTest::clicksLeaveTheWindowOpen() {
  WhileShown([&] {
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label1"}) {
      QTest::mouseClick(Label(name), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    }
    QCOMPARE(m_shell->calls.size(), std::size_t{5});
    QVERIFY(m_about->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), m_about.get());
  });
}

void AboutWindowTest::resizingMovesNothing() {
  WhileShown([&] {
    const auto geometries = [&] {
      QList<QRect> all;
      for (const QLabel* label : m_about->findChildren<QLabel*>()) all << label->geometry();
      return all;
    };
    const QList<QRect> before = geometries();
    m_about->resize(120, 60);
    m_about->resize(600, 400);
    m_about->showMaximized();
    QCOMPARE(geometries(), before);
  });
}

void AboutWindowTest::everyShowingStartsFromTheDesign() {
  const auto expectDesign = [&] {
    QCOMPARE(m_about->size(), QSize(260, 166));
    QVERIFY(!m_about->isMaximized());
    QCOMPARE(Label("Label4")->geometry(), QRect(24, 24, 197, 39));
    QCOMPARE(m_about->findChildren<QLabel*>().size(), 4);
  };
  WhileShown([&] {
    m_about->showMaximized();
    QTRY_VERIFY(m_about->isMaximized());
  });
  WhileShown(expectDesign);
  WhileShown([&] {
    m_about->resize(500, 300);
    QTRY_COMPARE(m_about->size(), QSize(500, 300));
  });
  WhileShown(expectDesign);
}

void AboutWindowTest::programFolderHasNoTrailingSeparator() {
  const QString folder = vellmor::ui::ProgramFolder();
  QVERIFY(!folder.isEmpty());
  QVERIFY(QDir(folder).exists());
  QVERIFY(folder == QDir::toNativeSeparators(QDir::rootPath()) ||
          !folder.endsWith(QDir::separator()));
  QVERIFY(!folder.contains(QLatin1Char(QDir::separator() == QLatin1Char('/') ? '\\' : '/')));
}

void AboutWindowTest::grabToPng() {
  WhileShown([&] {
    const QPixmap picture = m_about->grab();
    QCOMPARE(picture.deviceIndependentSize().toSize(), QSize(260, 166));
    QVERIFY(picture.save(QStringLiteral(VELLMOR_UI_TEST_OUTPUT_DIR "/About.png")));
  });
}

QTEST_MAIN(AboutWindowTest)
#include "about_window_test.moc"
