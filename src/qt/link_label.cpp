#include "link_label.h"

#include <QMouseEvent>

namespace vellmor::ui {

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
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
