#pragma once

#include <functional>

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include "design/window_design.h"
#include "gdi.h"
#include "picture.h"

namespace vellmor::win32 {

// The design's labels and its picture box, which the system's own classes do
// not draw as designed: a caption or a picture's first frame, the pointer of
// the control's own, and a click that is a press and a release over it. A
// double-click is one click. The picture box, which takes the focus, shows it
// and takes Space and Enter for a click.
class LinkControl {
 public:
  struct Events {
    std::function<void(const design::Control&)> click;
    std::function<void(const design::Control&, bool anyButtonHeld)> mouseMove;
  };

  // The window is created hidden-sized; Layout places it.
  LinkControl(const design::Window& window, const design::Control& design, HWND parent, int id,
              Events events);
  ~LinkControl();
  LinkControl(const LinkControl&) = delete;
  LinkControl& operator=(const LinkControl&) = delete;

  HWND hwnd() const { return m_hwnd; }
  // Font, place, pointer and picture for the window's dpi; nothing is scaled at a paint.
  void Layout(HFONT font, const RECT& place, int dpi);

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();
  void LoadPointer(int dpi);

  const design::Control& m_design;
  Events m_events;
  std::wstring m_accessibleName;
  HWND m_hwnd = nullptr;
  HFONT m_font = nullptr;
  int m_dpi = 0;
  UniqueCursor m_pointer;
  Microsoft::WRL::ComPtr<IPicture> m_picture;
  ScaledPicture m_frame;
  bool m_pressed = false;
};

}  // namespace vellmor::win32
