#include "design_window.h"

#include <algorithm>
#include <string>
#include <utility>

#include <commctrl.h>

#include "accessible.h"
#include "dpi.h"
#include "text.h"

namespace vellmor::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"VellmorWindow";
constexpr wchar_t kOwnerClass[] = L"VellmorOwner";
// Clear of IDOK and IDCANCEL, which Enter and Escape send to the window.
constexpr int kFirstControlId = 100;
constexpr int kBigIconPixels = 32;
constexpr int kSmallIconPixels = 16;
constexpr UINT_PTR kTextBoxSubclass = 1;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

void RegisterClasses(WNDPROC windowProc) {
  static const bool registered = [windowProc] {
    WNDCLASSEXW owner{};
    owner.cbSize = sizeof(owner);
    owner.lpfnWndProc = &DefWindowProcW;
    owner.hInstance = Instance();
    owner.lpszClassName = kOwnerClass;
    RegisterClassExW(&owner);

    WNDCLASSEXW window = owner;
    window.lpfnWndProc = windowProc;
    window.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window.lpszClassName = kWindowClass;
    return RegisterClassExW(&window) != 0;
  }();
  (void)registered;
}

bool SameFont(const design::Font& a, const design::Font& b) {
  return a.face == b.face && a.sizeTwips == b.sizeTwips && a.weight == b.weight &&
         a.underline == b.underline && a.charSet == b.charSet;
}

// What a caption takes in its font, drawn from the top-left.
SIZE CaptionExtent(HWND control, HFONT font, const std::u16string& text) {
  const std::wstring caption = Wide(text);
  const HDC dc = GetDC(control);
  const HGDIOBJ previous = SelectObject(dc, font);
  RECT extent{0, 0, 0, 0};
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &extent,
            DT_CALCRECT | DT_NOPREFIX | DT_LEFT | DT_TOP);
  SelectObject(dc, previous);
  ReleaseDC(control, dc);
  return {extent.right - extent.left, extent.bottom - extent.top};
}

bool IsChildOf(HWND parent, HWND hwnd) { return hwnd != nullptr && IsChild(parent, hwnd); }

}  // namespace

DesignWindow::DesignWindow(const design::Window& design, HWND owner, Events events)
    : m_design(design), m_events(std::move(events)), m_owner(owner) {
  RegisterClasses(&WindowProc);
  if (design.frame == design::FrameKind::kFixedDialog) {
    m_style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    m_exStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;
  } else {
    m_style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    m_exStyle = WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;
  }
  int x = CW_USEDEFAULT;
  int y = CW_USEDEFAULT;
  if (design.taskbarButton) {
    m_exStyle |= WS_EX_APPWINDOW;
  } else if (m_owner == nullptr) {
    m_hiddenOwner = CreateWindowExW(0, kOwnerClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    Instance(), nullptr);
    m_owner = m_hiddenOwner;
  }
  const bool overOwner = m_owner != nullptr && m_owner != m_hiddenOwner;
  if (overOwner) {
    // Born on the owner's screen, so that its dpi is the owner's from the start.
    RECT around{};
    GetWindowRect(m_owner, &around);
    x = around.left;
    y = around.top;
  }

  const std::wstring caption = Wide(design.caption);
  // WM_NCCREATE has set m_hwnd already; a window that fails later is null again.
  m_hwnd = CreateWindowExW(m_exStyle, kWindowClass, caption.c_str(), m_style, x, y, 0, 0, m_owner,
                           nullptr, Instance(), this);
  if (m_hwnd == nullptr) {
    return;
  }
  CreateControls();
  ApplyTabOrder();
  Layout(overOwner ? WindowDpi(m_owner) : WindowDpi(m_hwnd));
  SizeFrame();
}

DesignWindow::~DesignWindow() {
  if (m_hwnd != nullptr) {
    // Gone before the fonts and pictures its controls borrow.
    const HWND hwnd = m_hwnd;
    m_events = {};
    DestroyWindow(hwnd);
  }
  if (m_hiddenOwner != nullptr) {
    DestroyWindow(m_hiddenOwner);
  }
}

HWND DesignWindow::Control(std::string_view name) const {
  for (const auto& entry : m_entries) {
    if (entry->design->name == name) {
      return entry->hwnd;
    }
  }
  return nullptr;
}

void DesignWindow::CreateControls() {
  int id = kFirstControlId;
  for (const design::Control& control : m_design.controls) {
    auto entry = std::make_unique<Entry>();
    entry->design = &control;
    const wchar_t* className = nullptr;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
    switch (control.kind) {
      case design::ControlKind::kButton:
        className = L"BUTTON";
        style |= BS_PUSHBUTTON;
        break;
      case design::ControlKind::kTextBox:
        className = L"EDIT";
        style |= ES_LEFT | ES_AUTOHSCROLL;
        break;
      case design::ControlKind::kLabel:
      case design::ControlKind::kPictureBox:
        break;
    }
    if (className == nullptr) {
      LinkControl::Events events{[this](const design::Control& clicked) { Click(clicked); },
                                 [this](const design::Control& moved, bool anyButtonHeld) {
                                   if (m_events.mouseMove) {
                                     m_events.mouseMove(moved, anyButtonHeld);
                                   }
                                 }};
      entry->link =
          std::make_unique<LinkControl>(m_design, control, m_hwnd, id++, std::move(events));
      entry->hwnd = entry->link->hwnd();
    } else {
      const DWORD exStyle =
          control.border == design::Border::kSunken ? static_cast<DWORD>(WS_EX_CLIENTEDGE) : 0;
      const std::wstring caption = Wide(control.caption);
      entry->hwnd =
          CreateWindowExW(exStyle, className, caption.c_str(), style, 0, 0, 0, 0, m_hwnd,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), Instance(), nullptr);
    }
    if (control.kind == design::ControlKind::kTextBox && entry->hwnd != nullptr) {
      // No length limit.
      SendMessageW(entry->hwnd, EM_SETLIMITTEXT, 0, 0);
      // The system names a text box after a label of its own class only.
      entry->accessibleName = Wide(design::AccessibleName(m_design, control));
      SetWindowSubclass(entry->hwnd, &TextBoxProc, kTextBoxSubclass,
                        reinterpret_cast<DWORD_PTR>(entry.get()));
    }
    m_entries.push_back(std::move(entry));
  }
}

void DesignWindow::ApplyTabOrder() {
  // The Tab key follows the order of the children, so they are stacked by tab index.
  std::vector<Entry*> ordered;
  for (const auto& entry : m_entries) {
    ordered.push_back(entry.get());
  }
  std::stable_sort(ordered.begin(), ordered.end(), [](const Entry* a, const Entry* b) {
    return a->design->tabIndex < b->design->tabIndex;
  });
  HWND previous = HWND_TOP;
  for (Entry* entry : ordered) {
    SetWindowPos(entry->hwnd, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    previous = entry->hwnd;
  }
}

HFONT DesignWindow::FontFor(const design::Font& font, int dpi, std::vector<UniqueFont>& fonts,
                            std::vector<design::Font>& specs) const {
  for (std::size_t i = 0; i < specs.size(); ++i) {
    if (SameFont(specs[i], font)) {
      return fonts[i].get();
    }
  }
  fonts.push_back(CreateDesignFont(font, dpi));
  specs.push_back(font);
  return fonts.back().get();
}

void DesignWindow::Layout(int dpi) {
  m_dpi = dpi;
  // The new fonts are in place before the old ones go.
  std::vector<UniqueFont> fonts;
  std::vector<design::Font> specs;
  for (const auto& entry : m_entries) {
    const design::Control& control = *entry->design;
    entry->font = FontFor(control.font.value_or(m_design.defaultFont), dpi, fonts, specs);
    RECT place = PixelRect(control.rect, dpi);
    if (control.autoSize) {
      const SIZE extent = CaptionExtent(entry->hwnd, entry->font, control.caption);
      place.right = place.left + extent.cx;
      place.bottom = place.top + extent.cy;
    }
    if (entry->link) {
      entry->link->Layout(entry->font, place, dpi);
      continue;
    }
    SendMessageW(entry->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(entry->font), FALSE);
    SetWindowPos(entry->hwnd, nullptr, place.left, place.top, place.right - place.left,
                 place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(entry->hwnd, nullptr, TRUE);
  }
  m_fonts = std::move(fonts);
  m_fontSpecs = std::move(specs);
  LoadIcons(dpi);
}

void DesignWindow::SizeFrame() {
  const SIZE outer = OuterSize(m_design.client, m_style, m_exStyle, m_dpi);
  SetWindowPos(m_hwnd, nullptr, 0, 0, outer.cx, outer.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DesignWindow::LoadIcons(int dpi) {
  // The title bar's and the task switcher's sizes at 96 dpi, scaled like the rest.
  const int big = MulDiv(kBigIconPixels, dpi, design::kDesignDpi);
  const int small = MulDiv(kSmallIconPixels, dpi, design::kDesignDpi);
  const HINSTANCE instance = Instance();
  UniqueIcon bigIcon(static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(m_design.icon), IMAGE_ICON, big, big, 0)));
  UniqueIcon smallIcon(static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(m_design.icon), IMAGE_ICON, small, small, 0)));
  SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.get()));
  SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.get()));
  m_bigIcon = std::move(bigIcon);
  m_smallIcon = std::move(smallIcon);
}

void DesignWindow::Place() {
  RECT window{};
  GetWindowRect(m_hwnd, &window);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const bool overOwner = m_design.placement == design::Placement::kCentreOverOwner &&
                         m_owner != nullptr && m_owner != m_hiddenOwner;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(
      MonitorFromWindow(overOwner ? m_owner : m_hwnd,
                        overOwner ? MONITOR_DEFAULTTONEAREST : MONITOR_DEFAULTTOPRIMARY),
      &monitor);
  const RECT work = monitor.rcWork;
  RECT around = work;
  if (overOwner) {
    GetWindowRect(m_owner, &around);
  }
  int left = around.left + ((around.right - around.left) - width) / 2;
  int top = around.top + ((around.bottom - around.top) - height) / 2;
  // Inside the work area of the owner's screen, the title bar above all.
  left =
      std::max(std::min(left, static_cast<int>(work.right) - width), static_cast<int>(work.left));
  top = std::max(std::min(top, static_cast<int>(work.bottom) - height), static_cast<int>(work.top));
  SetWindowPos(m_hwnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DesignWindow::Show() {
  if (m_hwnd == nullptr) {
    return;
  }
  Place();
  ShowWindow(m_hwnd, SW_SHOWNORMAL);
  UpdateWindow(m_hwnd);
  FocusFirst();
}

void DesignWindow::FocusFirst() {
  const std::vector<const design::Control*> cycle = design::FocusCycle(m_design);
  if (!cycle.empty()) {
    SetFocus(Control(cycle.front()->name));
  } else {
    SetFocus(m_hwnd);
  }
}

void DesignWindow::Click(const design::Control& control) {
  if (m_events.click) {
    m_events.click(control);
  }
}

void DesignWindow::PressFocusedButton() {
  // Enter on a focused push button presses it; elsewhere it presses nothing,
  // since neither button is the default one.
  const HWND focus = GetFocus();
  for (const auto& entry : m_entries) {
    if (entry->hwnd == focus && entry->design->kind == design::ControlKind::kButton) {
      Click(*entry->design);
      return;
    }
  }
}

LRESULT CALLBACK DesignWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<DesignWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->m_hwnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<DesignWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT CALLBACK DesignWindow::TextBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR /*id*/, DWORD_PTR data) {
  if (message == WM_GETOBJECT) {
    const auto* entry = reinterpret_cast<const Entry*>(data);
    if (const auto answer = AnswerGetObject(hwnd, wParam, lParam, entry->accessibleName, 0)) {
      return *answer;
    }
  } else if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, &TextBoxProc, kTextBoxSubclass);
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT DesignWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND hwnd = m_hwnd;
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
        const auto id = static_cast<std::size_t>(LOWORD(wParam));
        if (id >= kFirstControlId && id - kFirstControlId < m_entries.size()) {
          Click(*m_entries[id - kFirstControlId]->design);
        }
      } else if (LOWORD(wParam) == IDOK && lParam == 0) {
        PressFocusedButton();
      }
      return 0;
    case WM_ACTIVATE:
      // Back from the About window or another program, the focus returns to
      // the control that had it.
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (IsChildOf(hwnd, focus)) {
          m_lastFocus = focus;
        }
      } else if (HIWORD(wParam) == 0) {
        if (IsChildOf(hwnd, m_lastFocus)) {
          SetFocus(m_lastFocus);
        } else {
          FocusFirst();
        }
      }
      return 0;
    case WM_GETDPISCALEDSIZE: {
      // The designed size at the new dpi, not the old size scaled.
      auto* size = reinterpret_cast<SIZE*>(lParam);
      *size = OuterSize(m_design.client, m_style, m_exStyle, static_cast<int>(LOWORD(wParam)));
      return TRUE;
    }
    case WM_DPICHANGED: {
      const RECT suggested = *reinterpret_cast<const RECT*>(lParam);
      Layout(HIWORD(wParam));
      SetWindowPos(hwnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_CLOSE:
      if (m_events.closing) {
        m_events.closing();
      }
      DestroyWindow(hwnd);
      return 0;
    case WM_NCDESTROY: {
      m_hwnd = nullptr;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      for (auto& entry : m_entries) {
        entry->hwnd = nullptr;
      }
      const auto destroyed = m_events.destroyed;
      if (destroyed) {
        destroyed();
      }
      return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

}  // namespace vellmor::win32
