#include "about_window.h"

#include <string>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QStyle>
#include <QUrl>

#include "application.h"
#include "design/contact.h"
#include "fonts.h"
#include "link_label.h"
#include "resources.h"
#include "twips.h"

namespace vellmor::ui {

namespace {

// A sizable window with its own taskbar button.
constexpr Qt::WindowFlags kAboutFlags = Qt::Window | Qt::WindowTitleHint |
                                        Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                                        Qt::WindowCloseButtonHint;

constexpr int kClientWidth = 3900;
constexpr int kClientHeight = 2490;
constexpr int kLabelLeft = 360;
constexpr int kLabelWidth = 2955;
constexpr qreal kLabelPointSize = 10.5;
constexpr int kShowNormal = 1;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString ProgramFolder() { return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()); }

AboutWindow::AboutWindow(design::PlatformShell& shell)
    : QWidget(nullptr, kAboutFlags), m_shell(shell) {
  setObjectName(QStringLiteral("关于"));
  // Closing it hides it; only the main window ends the program.
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowModality(Qt::ApplicationModal);
}

AboutWindow::~AboutWindow() = default;

void AboutWindow::ShowModal(const QWidget& over) {
  LoadDesign(over);
  show();
  QEventLoop loop;
  m_modalLoop = &loop;
  loop.exec(QEventLoop::DialogExec);
  m_modalLoop = nullptr;
}

void AboutWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (event->isAccepted() && m_modalLoop != nullptr) {
    m_modalLoop->quit();
  }
}

void AboutWindow::LoadDesign(const QWidget& over) {
  // Every showing starts from the design: whatever the last one went through
  // (resized, maximized) must not carry over.
  qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
  setWindowState(Qt::WindowNoState);
  setWindowTitle(QUrl(FromUtf8(design::AuthorSiteLink)).host());
  setWindowIcon(LoadIcon(QString::fromLatin1(kAboutIconPath)));

  const QString mail = FromUtf8(design::kAuthorMailAddress);
  LinkLabel* label3 =
      MakeLabel("Label3", QStringLiteral("E-mail：") + mail, kEnvelopePointerPath, 1800, 345);
  LinkLabel* label2 =
      MakeLabel("Label2", QStringLiteral("QQ群  ：") + FromUtf8(design::kAuthorQqGroupNumber),
                kPersonPlusPointerPath, 1440, 345);
  LinkLabel* label1 =
      MakeLabel("Label1", QStringLiteral("QQ    ：") + FromUtf8(design::kAuthorQqNumber),
                kPenguinPointerPath, 1080, 345);
  LinkLabel* label4 = MakeLabel(
      "Label4", QStringLiteral("更多精品软件请点击\r\n") + FromUtf8(design::AuthorSiteLink),
      kHandPointerPath, 360, 585);

  connect(label3, &LinkLabel::clicked, this, [this] { RunEventHandler([this] { OpenMail(); }); });
  for (LinkLabel* site : {label2, label1, label4}) {
    connect(site, &LinkLabel::clicked, this, [this] { RunEventHandler([this] { OpenSite(); }); });
  }

  const QRect client = TwipsRect(*this, 0, 0, kClientWidth, kClientHeight);
  const QPoint centre = over.mapToGlobal(over.rect().center());
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, client.size(),
                                  QRect(centre, QSize(1, 1))));
}

LinkLabel* AboutWindow::MakeLabel(const char* name, const QString& caption, const char* pointerPath,
                                  int top, int height) {
  auto* label = new LinkLabel(this);
  label->setObjectName(QString::fromLatin1(name));
  label->setText(LabelText(caption));
  QFont font = SongTiFont(kLabelPointSize);
  font.setUnderline(true);
  label->setFont(font);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(true);
  label->setCursor(LoadPointer(QString::fromLatin1(pointerPath)));
  label->setGeometry(TwipsRect(*this, kLabelLeft, top, kLabelWidth, height));
  label->show();
  return label;
}

void AboutWindow::OpenSite() {
  m_shell.ShellExecute(static_cast<design::WindowHandle>(winId()), "Open", design::AuthorSiteLink,
                       "0", "0", 0);
}

void AboutWindow::OpenMail() {
  const auto owner = static_cast<design::WindowHandle>(winId());
  const std::string folder = ProgramFolder().toStdString();
  m_shell.ShellExecute(owner, "Open", design::AuthorMailLink, "", folder, kShowNormal);
}

}  // namespace vellmor::ui
