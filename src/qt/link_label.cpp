#include "link_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMouseEvent>

namespace vellmor::ui {
namespace {

// Screen readers hear a link, by the name the window gives it, not static text.
QAccessibleInterface* LinkLabelAccessible(const QString& className, QObject* object) {
  if (className == QLatin1String(LinkLabel::staticMetaObject.className()) && object != nullptr &&
      object->isWidgetType()) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Link);
  }
  return nullptr;
}

}  // namespace

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
  static const bool installed = [] {
    QAccessible::installFactory(&LinkLabelAccessible);
    return true;
  }();
  (void)installed;
  // Moves with no button held arrive only with tracking on.
  setMouseTracking(true);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    m_leftPressed = true;
  }
  QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  // A click is a left press and release on the label, as with a button.
  const bool click = event->button() == Qt::LeftButton && m_leftPressed &&
                     rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) {
    m_leftPressed = false;
  }
  QLabel::mouseReleaseEvent(event);
  if (click) {
    emit clicked();
  }
}

void LinkLabel::mouseMoveEvent(QMouseEvent* event) {
  QLabel::mouseMoveEvent(event);
  emit mouseMoved(event->buttons());
}

QString LabelText(const QString& caption) {
  QString text = caption;
  return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace vellmor::ui
