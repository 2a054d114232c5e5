#pragma once

#include <QLabel>
#include <QString>

class QMouseEvent;

namespace vellmor::ui {

// A label that reports clicks anywhere in its rectangle and every mouse move
// over it, with the buttons held at the time.
class LinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit LinkLabel(QWidget* parent);

 signals:
  void clicked();
  void mouseMoved(Qt::MouseButtons buttons);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  bool m_leftPressed = false;
};

// Captions are written with CR LF line breaks; a label breaks lines at the LF
// and would draw the CR as a blank, underlined where the font is.
QString LabelText(const QString& caption);

}  // namespace vellmor::ui
