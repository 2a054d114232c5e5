#include "design_window.h"

#include <algorithm>
#include <string>
#include <utility>

#include "dpi.h"
#include "picture.h"
#include "text.h"

namespace vellmor::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"VellmorWindow";
constexpr wchar_t kOwnerClass[] = L"VellmorOwner";
constexpr wchar_t kLinkControlClass[] = L"VellmorControl";
// Clear of IDOK and IDCANCEL, which Enter and Escape send to the window.
constexpr int kFirstControlId = 100;
constexpr int kBigIconPixels = 32;
constexpr int kSmallIconPixels = 16;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

void RegisterClasses() {
  static const bool registered = [] {
    WNDCLASSEXW window{};
    window.cbSize = sizeof(window);
    window.lpfnWndProc = DefWindowProcW;
    window.hInstance = Instance();
    window.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window.lpszClassName = kOwnerClass;
    RegisterClassExW(&window);

    window.lpszClassName = kWindowClass;
    RegisterClassExW(&window);

    // Labels and the picture box; no class pointer, each sets its own.
    WNDCLASSEXW control{};
    control.cbSize = sizeof(control);
    control.lpfnWndProc = DefWindowProcW;
    control.hInstance = Instance();
    control.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    control.lpszClassName = kLinkControlClass;
    RegisterClassExW(&control);
    return true;
  }();
  (void)registered;
}

bool SameFont(const design::Font& a, const design::Font& b) {
  return a.face == b.face && a.sizeTwips == b.sizeTwips && a.weight == b.weight &&
         a.underline == b.underline && a.charSet == b.charSet;
}

std::wstring WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return text;
}

// What a caption takes in its font, drawn from the top-left.
SIZE CaptionExtent(HWND control, HFONT font) {
  const std::wstring caption = WindowText(control);
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
  RegisterClasses();
  if (design.frame == design::FrameKind::kFixedDialog) {
    m_style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    m_exStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;
  } else {
    m_style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    m_exStyle = WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;
  }
  if (design.taskbarButton) {
    m_exStyle |= WS_EX_APPWINDOW;
  } else if (m_owner == nullptr) {
    m_hiddenOwner = CreateWindowExW(0, kOwnerClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    Instance(), nullptr);
    m_owner = m_hiddenOwner;
  }

  const std::wstring caption = Wide(design.caption);
  m_hwnd = CreateWindowExW(m_exStyle, kWindowClass, caption.c_str(), m_style, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_owner, nullptr,
                           Instance(), nullptr);
  if (m_hwnd == nullptr) {
    return;
  }
  SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  CreateControls();
  ApplyTabOrder();
  Layout(WindowDpi(m_hwnd));
}

DesignWindow::~DesignWindow() {
  if (m_hwnd != nullptr) {
    // Gone before the fonts, pointers and pictures its controls borrow.
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
    entry->window = this;
    const wchar_t* className = kLinkControlClass;
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
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
    if (design::TakesFocus(control)) {
      style |= WS_TABSTOP;
    }
    if (control.border == design::Border::kSunken) {
      exStyle |= WS_EX_CLIENTEDGE;
    }
    if (control.picture != 0) {
      entry->picture = LoadPictureResource(control.picture);
    }
    if (control.pointer == design::PointerKind::kImage) {
      // A .cur keeps its hot spot; an icon used as a pointer has it in the middle.
      auto pointer = static_cast<HCURSOR>(
          LoadImageW(Instance(), MAKEINTRESOURCEW(control.pointerImage), IMAGE_CURSOR, 0, 0, 0));
      if (pointer == nullptr) {
        pointer = static_cast<HCURSOR>(
            LoadImageW(Instance(), MAKEINTRESOURCEW(control.pointerImage), IMAGE_ICON, 0, 0, 0));
      }
      entry->pointer = pointer;
      m_pointers.emplace_back(pointer);
    }
    const std::wstring caption = Wide(control.caption);
    entry->hwnd = CreateWindowExW(exStyle, className, caption.c_str(), style, 0, 0, 0, 0, m_hwnd,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), Instance(),
                                  className == kLinkControlClass ? entry.get() : nullptr);
    if (className == kLinkControlClass && entry->hwnd != nullptr) {
      SetWindowLongPtrW(entry->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(entry.get()));
      SetWindowLongPtrW(entry->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlProc));
    }
    if (control.kind == design::ControlKind::kTextBox) {
      // No length limit.
      SendMessageW(entry->hwnd, EM_SETLIMITTEXT, 0, 0);
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
  // The new fonts are in place before the old ones go.
  std::vector<UniqueFont> fonts;
  std::vector<design::Font> specs;
  for (const auto& entry : m_entries) {
    const design::Control& control = *entry->design;
    entry->font = FontFor(control.font.value_or(m_design.defaultFont), dpi, fonts, specs);
    SendMessageW(entry->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(entry->font), FALSE);
    RECT place = PixelRect(control.rect, dpi);
    if (control.autoSize) {
      const SIZE extent = CaptionExtent(entry->hwnd, entry->font);
      place.right = place.left + extent.cx;
      place.bottom = place.top + extent.cy;
    }
    SetWindowPos(entry->hwnd, nullptr, place.left, place.top, place.right - place.left,
                 place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(entry->hwnd, nullptr, TRUE);
  }
  m_fonts = std::move(fonts);
  m_fontSpecs = std::move(specs);

  const SIZE outer = OuterSize(m_design.client, m_style, m_exStyle, dpi);
  SetWindowPos(m_hwnd, nullptr, 0, 0, outer.cx, outer.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  LoadIcons(dpi);
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
  RECT around{};
  if (m_design.placement == design::Placement::kCentreOverOwner && m_owner != nullptr &&
      m_owner != m_hiddenOwner) {
    GetWindowRect(m_owner, &around);
  } else {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(m_hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
    around = monitor.rcWork;
  }
  const int left = around.left + ((around.right - around.left) - width) / 2;
  const int top = around.top + ((around.bottom - around.top) - height) / 2;
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

LRESULT CALLBACK DesignWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<DesignWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT DesignWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND hwnd = m_hwnd;
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
        const auto id = static_cast<std::size_t>(LOWORD(wParam));
        if (id >= kFirstControlId && id - kFirstControlId < m_entries.size() && m_events.click) {
          m_events.click(*m_entries[id - kFirstControlId]->design);
        }
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
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      Layout(HIWORD(wParam));
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
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

LRESULT CALLBACK DesignWindow::ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* entry = reinterpret_cast<Entry*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (entry == nullptr || entry->hwnd != hwnd) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return HandleControlMessage(*entry, message, wParam, lParam);
}

LRESULT DesignWindow::HandleControlMessage(Entry& entry, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  const HWND hwnd = entry.hwnd;
  const design::Control& control = *entry.design;
  DesignWindow& window = *entry.window;
  switch (message) {
    case WM_PAINT:
      PaintControl(entry);
      return 0;
    case WM_SETFONT:
      entry.font = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam) != 0) {
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(entry.font);
    case WM_SETCURSOR:
      if (LOWORD(lParam) != HTCLIENT) {
        break;
      }
      switch (control.pointer) {
        case design::PointerKind::kImage:
          SetCursor(entry.pointer);
          return TRUE;
        case design::PointerKind::kSystemCursor:
          // No pointer of its own: the mouse-move handler puts one up.
          return TRUE;
        case design::PointerKind::kStandard:
          SetCursor(LoadCursorW(nullptr, IDC_ARROW));
          return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      if (window.m_events.mouseMove) {
        window.m_events.mouseMove(control, (wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) != 0);
      }
      return 0;
    case WM_LBUTTONDOWN:
      entry.pressed = true;
      SetCapture(hwnd);
      if (design::TakesFocus(control)) {
        SetFocus(hwnd);
      }
      return 0;
    case WM_LBUTTONUP: {
      // A click is a press and a release over the same control, anywhere in it.
      const bool wasPressed = entry.pressed;
      entry.pressed = false;
      if (GetCapture() == hwnd) {
        ReleaseCapture();
      }
      RECT client{};
      GetClientRect(hwnd, &client);
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (wasPressed && PtInRect(&client, at) && window.m_events.click) {
        window.m_events.click(control);
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      entry.pressed = false;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void DesignWindow::PaintControl(Entry& entry) {
  PAINTSTRUCT paint{};
  const HDC dc = BeginPaint(entry.hwnd, &paint);
  RECT client{};
  GetClientRect(entry.hwnd, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  if (entry.picture) {
    DrawPicture(*entry.picture.Get(), dc, 0, 0, WindowDpi(entry.hwnd));
  } else {
    const std::wstring caption = WindowText(entry.hwnd);
    const HGDIOBJ previous = SelectObject(dc, entry.font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &client,
              DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, previous);
  }
  EndPaint(entry.hwnd, &paint);
}

}  // namespace vellmor::win32
