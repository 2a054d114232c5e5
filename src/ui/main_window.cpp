#include "main_window.h"

#include <limits>
#include <utility>

#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QWindow>

#include "about_window.h"
#include "application.h"
#include "design/contact.h"
#include "fonts.h"
#include "link_label.h"
#include "resources.h"
#include "serial/cc.h"
#include "twips.h"

namespace vellmor::ui {

namespace {

// A fixed dialog frame: title bar, system menu and close button, nothing to resize with.
constexpr Qt::WindowFlags kMainWFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                        Qt::MSWindowsFixedSizeDialogHint;

constexpr int kClientWidth = 5340;
constexpr int kClientHeight = 3375;
constexpr qreal kLabelPointSize = 10.5;
constexpr int kBannerBorder = 2;

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  // Neither Enter nor Escape may press a button.
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

QLineEdit* MakeTextBox(QWidget* parent, const char* name) {
  auto* text = new QLineEdit(parent);
  text->setObjectName(QString::fromLatin1(name));
  // QLineEdit cuts its text at 32767 characters by default; these boxes have no limit.
  text->setMaxLength(std::numeric_limits<int>::max());
  return text;
}

// A caption label that takes the size of its caption in the font it actually gets,
// from its designed top-left: another face or dpi must not clip it.
class AutoSizeLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void changeEvent(QEvent* event) override {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
      adjustSize();
    }
  }
};

QLabel* MakeCaptionLabel(QWidget* parent, const char* name, const QString& caption,
                         QLineEdit* buddy, QPoint topLeft) {
  auto* label = new AutoSizeLabel(caption, parent);
  label->setObjectName(QString::fromLatin1(name));
  QFont font = SongTiFont(kLabelPointSize);
  font.setBold(true);
  label->setFont(font);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setBuddy(buddy);
  buddy->setAccessibleName(caption);
  label->move(topLeft);
  label->adjustSize();
  return label;
}

}  // namespace

MainW::MainW(serial::UsbHubSource* source, design::PlatformShell* shell)
    : QWidget(nullptr, kMainWFlags), m_source(source), m_shell(shell) {
  if (m_source == nullptr) {
    m_ownSource = serial::MakeSystemUsbHubSource();
    m_source = m_ownSource.get();
  }
  if (m_shell == nullptr) {
    m_ownShell = design::MakeSystemShell();
    m_shell = m_ownShell.get();
  }
  m_warningPresenter = [this](const QString& text, const QString& title) {
    ShowWarningBox(this, text, title);
  };

  setObjectName(QStringLiteral("MainW"));
  setWindowTitle(QStringLiteral("Vellmor  Ver 5.1.7"));
  setWindowIcon(LoadIcon(QString::fromLatin1(kMainWIconPath)));
  setFont(DefaultWindowFont());
  const QRect client = TwipsRect(*this, 0, 0, kClientWidth, kClientHeight);
  setFixedSize(client.size());

  CreateControls();
  CentreOnScreen();
  KeepOffTaskbar();
  m_text1->setFocus();
}

MainW::~MainW() = default;

serial::SerialValue MainW::CC() { return serial::CC(*m_source); }

void MainW::SetWarningPresenter(WarningPresenter presenter) {
  m_warningPresenter = std::move(presenter);
}

void MainW::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (event->isAccepted()) {
    emit closed();
  }
}

void MainW::CreateControls() {
  // Creation order is the design's; tab order is set apart below.
  m_picture1 = new LinkLabel(this);
  m_picture1->setObjectName(QStringLiteral("Picture1"));
  m_picture1->setGeometry(TwipsRect(*this, -1440, 0, 7095, 975));
  m_picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  m_picture1->setLineWidth(kBannerBorder);
  m_picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_picture1->setPixmap(QPixmap::fromImage(LoadFirstFrame(QString::fromLatin1(kBannerPath))));
  m_picture1->setFocusPolicy(Qt::StrongFocus);

  m_command1 = MakeButton(this, "Command1", QStringLiteral("读取序列号"));
  m_command1->setGeometry(TwipsRect(*this, 1320, 2040, 1150, 315));

  m_command3 = MakeButton(this, "Command3", QStringLiteral("关于"));
  m_command3->setGeometry(TwipsRect(*this, 2640, 2040, 1150, 315));

  m_text2 = MakeTextBox(this, "Text2");
  m_text2->setGeometry(TwipsRect(*this, 1440, 1560, 3255, 375));

  m_text1 = MakeTextBox(this, "Text1");
  m_text1->setGeometry(TwipsRect(*this, 1440, 1080, 3255, 375));

  m_label4 = new LinkLabel(this);
  m_label4->setObjectName(QStringLiteral("Label4"));
  m_label4->setGeometry(TwipsRect(*this, 360, 2640, 6675, 825));
  m_label4->setText(
      LabelText(QStringLiteral("本软件免费提供给广大用户，用于交流探讨。\r\n"
                               "如有疑问请直接联系或网上留言。")));
  m_label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_label4->setWordWrap(true);

  // The design's widths and heights (810 x 210, 1020 x 210) are what the captions
  // take in the designed face; the labels size themselves instead.
  MakeCaptionLabel(this, "Label2", QStringLiteral("MD5加密"), m_text2,
                   TwipsRect(*this, 360, 1560, 810, 210).topLeft());
  MakeCaptionLabel(this, "Label1", QStringLiteral("U盘序列号"), m_text1,
                   TwipsRect(*this, 240, 1200, 1020, 210).topLeft());

  setTabOrder(m_text1, m_text2);
  setTabOrder(m_text2, m_command3);
  setTabOrder(m_command3, m_command1);
  setTabOrder(m_command1, m_picture1);

  connect(m_command1, &QPushButton::clicked, this,
          [this] { RunEventHandler([this] { Command1Click(); }); });
  connect(m_command3, &QPushButton::clicked, this,
          [this] { RunEventHandler([this] { Command3Click(); }); });
  connect(m_label4, &LinkLabel::clicked, this,
          [this] { RunEventHandler([this] { Label4Click(); }); });
  connect(m_picture1, &LinkLabel::clicked, this,
          [this] { RunEventHandler([this] { Picture1Click(); }); });
  for (LinkLabel* link : {m_label4, m_picture1}) {
    connect(link, &LinkLabel::mouseMoved, this, [this](Qt::MouseButtons buttons) {
      RunEventHandler([this, buttons] { LinkMouseMove(buttons); });
    });
  }
}

void MainW::KeepOffTaskbar() {
  // A window owned by another gets no taskbar button (Windows) and is marked
  // transient (X11); the owner itself is never shown.
  m_owner = std::make_unique<QWindow>();
  m_owner->create();
  winId();
  windowHandle()->setTransientParent(m_owner.get());
}

void MainW::CentreOnScreen() {
  const QScreen* target = screen();
  if (target == nullptr) {
    return;
  }
  setGeometry(
      QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), target->availableGeometry()));
}

void MainW::OpenLink(std::string_view link) {
  m_shell->ShellExecute(static_cast<design::WindowHandle>(winId()), "Open", link, "0", "0", 0);
}

void MainW::Command1Click() {
  QtReadSerialView view(*m_text1, *m_text2, m_warningPresenter);
  serial::RunReadSerialCommand([this] { return CC(); }, view);
}

void MainW::Command3Click() {
  if (!m_about) {
    m_about = std::make_unique<AboutWindow>(*m_shell);
  }
  m_about->ShowModal(*this);
}

void MainW::Label4Click() { OpenLink(design::AuthorSiteLink); }

void MainW::Picture1Click() { OpenLink(design::AdvertiserLink); }

void MainW::LinkMouseMove(Qt::MouseButtons buttons) {
  if (buttons == Qt::NoButton) {
    m_shell->SetCursor(design::kLinkCursor);
  }
}

}  // namespace vellmor::ui
