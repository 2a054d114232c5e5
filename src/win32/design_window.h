#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "design/window_design.h"
#include "gdi.h"
#include "link_control.h"

namespace vellmor::win32 {

// One window turned into real controls from its design: the frame, the client
// size and the places scaled by the window's one dpi, the fonts and the tab
// order. Labels and the picture box are LinkControls; the buttons and text
// boxes are the system's. It reports clicks and mouse moves by the design's
// control; what they do is its owner's business.
class DesignWindow {
 public:
  struct Events {
    std::function<void(const design::Control&)> click;
    std::function<void(const design::Control&, bool anyButtonHeld)> mouseMove;
    // Before the window goes, whatever closed it.
    std::function<void()> closing;
    // After the window is gone.
    std::function<void()> destroyed;
  };

  // The owner is the window this one stays in front of; it may be null. A
  // window shown over its owner is born on the owner's screen, at its dpi.
  DesignWindow(const design::Window& design, HWND owner, Events events);
  ~DesignWindow();
  DesignWindow(const DesignWindow&) = delete;
  DesignWindow& operator=(const DesignWindow&) = delete;

  // Places the window as designed, shows it and gives the focus to the first
  // control of the tab order.
  void Show();

  // Null once the window has been closed.
  HWND hwnd() const { return m_hwnd; }
  // The control of that design name; null when there is none.
  HWND Control(std::string_view name) const;
  // The dpi the window is laid out at.
  int dpi() const { return m_dpi; }

 private:
  struct Entry {
    const design::Control* design = nullptr;
    HWND hwnd = nullptr;
    // Labels and the picture box.
    std::unique_ptr<LinkControl> link;
    // For a text box, what screen readers call it.
    std::wstring accessibleName;
    HFONT font = nullptr;
  };

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK TextBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR data);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void Click(const design::Control& control);
  void PressFocusedButton();

  void CreateControls();
  void ApplyTabOrder();
  void Layout(int dpi);
  void SizeFrame();
  HFONT FontFor(const design::Font& font, int dpi, std::vector<UniqueFont>& fonts,
                std::vector<design::Font>& specs) const;
  void LoadIcons(int dpi);
  void Place();
  void FocusFirst();

  const design::Window& m_design;
  Events m_events;
  HWND m_owner;
  // Never shown: a window owned by it gets no taskbar button.
  HWND m_hiddenOwner = nullptr;
  HWND m_hwnd = nullptr;
  HWND m_lastFocus = nullptr;
  DWORD m_style = 0;
  DWORD m_exStyle = 0;
  int m_dpi = 0;
  std::vector<std::unique_ptr<Entry>> m_entries;
  std::vector<UniqueFont> m_fonts;
  std::vector<design::Font> m_fontSpecs;
  UniqueIcon m_bigIcon;
  UniqueIcon m_smallIcon;
};

}  // namespace vellmor::win32
