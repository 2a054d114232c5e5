#include "design_widgets.h"

#include <limits>

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

#include "fonts.h"
#include "link_label.h"
#include "resources.h"
#include "twips.h"

namespace vellmor::ui {

namespace {

// A label that takes the size of its caption in the font it actually gets,
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

QWidget* MakeButton(QWidget& window, const design::Control& control) {
  auto* button = new QPushButton(ToQString(control.caption), &window);
  // Neither Enter nor Escape may press a button.
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

QWidget* MakeTextBox(QWidget& window, const design::Control& control) {
  auto* text = new QLineEdit(ToQString(control.caption), &window);
  // QLineEdit cuts its text at 32767 characters by default; these boxes have no limit.
  text->setMaxLength(std::numeric_limits<int>::max());
  text->setFrame(control.border != design::Border::kNone);
  return text;
}

QLabel* MakeLabel(QWidget& window, const design::Control& control) {
  QLabel* label = nullptr;
  if (!control.link.empty() || control.pointer == design::PointerKind::kSystemCursor) {
    label = new LinkLabel(&window);
  } else if (control.autoSize) {
    label = new AutoSizeLabel(&window);
  } else {
    label = new QLabel(&window);
  }
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(control.multiLine);
  if (control.border == design::Border::kSunken) {
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(design::kSunkenBorderPixels);
  }
  return label;
}

}  // namespace

QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

Qt::WindowFlags FrameFlags(design::FrameKind frame) {
  switch (frame) {
    case design::FrameKind::kFixedDialog:
      return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
             Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
    case design::FrameKind::kSizable:
      return Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
             Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
  }
  return Qt::Window;
}

void ApplyWindowDesign(QWidget& window, const design::Window& design) {
  window.setObjectName(ToQString(design.name));
  window.setWindowTitle(ToQString(design.caption));
  window.setWindowIcon(LoadIcon(PicturePath(design.icon)));
  window.setFont(DesignFont(design.defaultFont));
  const QSize client = PixelSize(window, design.client);
  if (design.frame == design::FrameKind::kFixedDialog) {
    window.setFixedSize(client);
  } else {
    window.resize(client);
  }
}

QWidget* CreateControl(QWidget& window, const design::Control& control) {
  QWidget* widget = nullptr;
  switch (control.kind) {
    case design::ControlKind::kButton:
      widget = MakeButton(window, control);
      break;
    case design::ControlKind::kTextBox:
      widget = MakeTextBox(window, control);
      break;
    case design::ControlKind::kLabel:
    case design::ControlKind::kPictureBox: {
      QLabel* label = MakeLabel(window, control);
      if (control.kind == design::ControlKind::kPictureBox) {
        label->setPixmap(QPixmap::fromImage(LoadFirstFrame(PicturePath(control.picture))));
      } else {
        label->setText(LabelText(ToQString(control.caption)));
      }
      widget = label;
      break;
    }
  }
  widget->setObjectName(
      QString::fromLatin1(control.name.data(), static_cast<qsizetype>(control.name.size())));
  if (control.font) {
    widget->setFont(DesignFont(*control.font));
  }
  if (control.pointer == design::PointerKind::kImage) {
    widget->setCursor(LoadPointer(PicturePath(control.pointerImage)));
  }
  widget->setFocusPolicy(design::TakesFocus(control) ? Qt::StrongFocus : Qt::NoFocus);
  const QRect rect = PixelRect(window, control.rect);
  if (control.autoSize) {
    // The design's size is what the caption takes in the designed face; the
    // label measures its caption in the font it gets instead.
    widget->move(rect.topLeft());
    widget->adjustSize();
  } else {
    widget->setGeometry(rect);
  }
  widget->show();
  return widget;
}

QWidget* CreateControls(QWidget& window, const design::Window& design) {
  for (const design::Control& control : design.controls) {
    CreateControl(window, control)
        ->setAccessibleName(ToQString(design::AccessibleName(design, control)));
  }
  const std::vector<const design::Control*> cycle = design::FocusCycle(design);
  for (std::size_t i = 1; i < cycle.size(); ++i) {
    QWidget::setTabOrder(FindControl(window, cycle[i - 1]->name),
                         FindControl(window, cycle[i]->name));
  }
  return cycle.empty() ? nullptr : FindControl(window, cycle.front()->name);
}

}  // namespace vellmor::ui
