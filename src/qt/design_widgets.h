#pragma once

#include <string_view>

#include <QString>
#include <QWidget>

#include "design/window_design.h"

namespace vellmor::ui {

QString ToQString(std::u16string_view text);

// The window flags of a design's frame kind.
Qt::WindowFlags FrameFlags(design::FrameKind frame);

// The window's own settings: name, caption, icon, default font and client size
// at the window's dpi (fixed for a fixed frame). Placement is the window's own.
void ApplyWindowDesign(QWidget& window, const design::Window& design);

// The control as a Qt widget, child of the window, at its place at the window's
// dpi: a button, a line edit, a label (a LinkLabel when it has a link) or a
// framed picture label.
QWidget* CreateControl(QWidget& window, const design::Control& control);

// Every control of the design in creation order, then the tab order; returns
// the control that takes the focus first, or nullptr when none does.
QWidget* CreateControls(QWidget& window, const design::Window& design);

// The window's child made from the named control of the design.
template <typename Widget = QWidget>
Widget* FindControl(const QWidget& window, std::string_view name) {
  return window.findChild<Widget*>(
      QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())),
      Qt::FindDirectChildrenOnly);
}

}  // namespace vellmor::ui
