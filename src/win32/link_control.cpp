#include "link_control.h"

#include <string>
#include <utility>

#include <oleacc.h>

#include "accessible.h"
#include "dpi.h"
#include "text.h"

namespace vellmor::win32 {
namespace {

constexpr wchar_t kClassName[] = L"VellmorControl";
// The size a pointer is drawn at on a 96-dpi screen.
constexpr int kPointerPixelsAt96 = 32;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

std::wstring WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

SIZE PointerPixels(HCURSOR pointer) {
  ICONINFO info{};
  if (pointer == nullptr || !GetIconInfo(pointer, &info)) {
    return {0, 0};
  }
  BITMAP mask{};
  GetObjectW(info.hbmMask, sizeof(mask), &mask);
  // A monochrome pointer stacks its AND and XOR masks in one bitmap.
  const SIZE size{mask.bmWidth, info.hbmColor != nullptr ? mask.bmHeight : mask.bmHeight / 2};
  DeleteObject(info.hbmMask);
  if (info.hbmColor != nullptr) {
    DeleteObject(info.hbmColor);
  }
  return size;
}

HCURSOR LoadPointerImage(int resource, int width, int height) {
  // A .cur keeps its hot spot; an icon used as a pointer has it in the middle.
  auto pointer = static_cast<HCURSOR>(
      LoadImageW(Instance(), MAKEINTRESOURCEW(resource), IMAGE_CURSOR, width, height, 0));
  if (pointer == nullptr) {
    pointer = static_cast<HCURSOR>(
        LoadImageW(Instance(), MAKEINTRESOURCEW(resource), IMAGE_ICON, width, height, 0));
  }
  return pointer;
}

void RegisterControlClass(WNDPROC proc) {
  static const bool registered = [proc] {
    WNDCLASSEXW control{};
    control.cbSize = sizeof(control);
    // Without CS_DBLCLKS a double-click would come as two clicks and open the link twice.
    control.style = CS_DBLCLKS;
    control.lpfnWndProc = proc;
    control.hInstance = Instance();
    control.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    control.lpszClassName = kClassName;
    return RegisterClassExW(&control) != 0;
  }();
  (void)registered;
}

}  // namespace

LinkControl::LinkControl(const design::Window& window, const design::Control& design, HWND parent,
                         int id, Events events)
    : m_design(design),
      m_events(std::move(events)),
      m_accessibleName(Wide(design::AccessibleName(window, design))) {
  RegisterControlClass(&Proc);
  if (design.picture != 0) {
    m_picture = LoadPictureResource(design.picture);
  }
  DWORD style = WS_CHILD | WS_VISIBLE;
  if (design::TakesFocus(design)) {
    style |= WS_TABSTOP;
  }
  const DWORD exStyle = design.border == design::Border::kSunken ? WS_EX_CLIENTEDGE : 0;
  const std::wstring caption = Wide(design.caption);
  // WM_NCCREATE has set m_hwnd already; a window that fails later is null again.
  m_hwnd = CreateWindowExW(exStyle, kClassName, caption.c_str(), style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), this);
}

LinkControl::~LinkControl() {
  if (m_hwnd != nullptr) {
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hwnd);
  }
}

void LinkControl::Layout(HFONT font, const RECT& place, int dpi) {
  m_font = font;
  if (dpi != m_dpi) {
    m_dpi = dpi;
    if (m_picture) {
      m_frame = ScalePicture(*m_picture.Get(), dpi, GetSysColor(COLOR_BTNFACE));
    }
    if (m_design.pointer == design::PointerKind::kImage) {
      LoadPointer(dpi);
    }
  }
  SetWindowPos(m_hwnd, nullptr, place.left, place.top, place.right - place.left,
               place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(m_hwnd, nullptr, TRUE);
}

void LinkControl::LoadPointer(int dpi) {
  // The image's own size scaled as the system scales its pointers for the dpi.
  UniqueCursor own(LoadPointerImage(m_design.pointerImage, 0, 0));
  const SIZE ownSize = PointerPixels(own.get());
  const int systemSize = PointerSizeForDpi(dpi);
  const int width = MulDiv(ownSize.cx, systemSize, kPointerPixelsAt96);
  const int height = MulDiv(ownSize.cy, systemSize, kPointerPixelsAt96);
  if (ownSize.cx > 0 && (width != ownSize.cx || height != ownSize.cy)) {
    UniqueCursor scaled(LoadPointerImage(m_design.pointerImage, width, height));
    if (scaled) {
      own = std::move(scaled);
    }
  }
  m_pointer = std::move(own);
}

LRESULT CALLBACK LinkControl::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<LinkControl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->m_hwnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<LinkControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->m_hwnd = nullptr;
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return self->Handle(message, wParam, lParam);
}

LRESULT LinkControl::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND hwnd = m_hwnd;
  const bool focusable = design::TakesFocus(m_design);
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_SETFONT:
      m_font = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam) != 0) {
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(m_font);
    case WM_SETCURSOR:
      if (LOWORD(lParam) != HTCLIENT) {
        break;
      }
      switch (m_design.pointer) {
        case design::PointerKind::kImage:
          SetCursor(m_pointer.get());
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
      if (m_events.mouseMove) {
        m_events.mouseMove(m_design, (wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) != 0);
      }
      return 0;
    case WM_LBUTTONDOWN:
      m_pressed = true;
      SetCapture(hwnd);
      if (focusable) {
        SetFocus(hwnd);
      }
      return 0;
    case WM_LBUTTONDBLCLK:
      // The second press of a double-click: the first click has already opened the link.
      return 0;
    case WM_LBUTTONUP: {
      // A click is a press and a release over the same control, anywhere in it.
      const bool wasPressed = m_pressed;
      m_pressed = false;
      if (GetCapture() == hwnd) {
        ReleaseCapture();
      }
      RECT client{};
      GetClientRect(hwnd, &client);
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (wasPressed && PtInRect(&client, at) && m_events.click) {
        m_events.click(m_design);
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      m_pressed = false;
      return 0;
    case WM_GETDLGCODE: {
      // Enter on the focused picture box is its own, not the window's.
      const auto* key = reinterpret_cast<const MSG*>(lParam);
      if (focusable && key != nullptr && key->message == WM_KEYDOWN && key->wParam == VK_RETURN) {
        return DLGC_WANTMESSAGE;
      }
      break;
    }
    case WM_KEYDOWN:
      // Held keys repeat; only the first press counts.
      if (focusable && (wParam == VK_SPACE || wParam == VK_RETURN) && (lParam & (1 << 30)) == 0 &&
          m_events.click) {
        m_events.click(m_design);
        return 0;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(hwnd, nullptr, FALSE);
      break;
    case WM_UPDATEUISTATE: {
      const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
      InvalidateRect(hwnd, nullptr, FALSE);
      return result;
    }
    case WM_GETOBJECT:
      if (const auto answer =
              AnswerGetObject(hwnd, wParam, lParam, m_accessibleName,
                              m_design.link.empty() ? ROLE_SYSTEM_STATICTEXT : ROLE_SYSTEM_LINK)) {
        return *answer;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void LinkControl::Paint() {
  PAINTSTRUCT paint{};
  const HDC dc = BeginPaint(m_hwnd, &paint);
  RECT client{};
  GetClientRect(m_hwnd, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  if (m_frame.bitmap) {
    const HDC frameDc = CreateCompatibleDC(dc);
    const HGDIOBJ previous = SelectObject(frameDc, m_frame.bitmap.get());
    BitBlt(dc, 0, 0, m_frame.size.cx, m_frame.size.cy, frameDc, 0, 0, SRCCOPY);
    SelectObject(frameDc, previous);
    DeleteDC(frameDc);
  } else if (!m_picture) {
    const std::wstring caption = WindowText(m_hwnd);
    const HGDIOBJ previous = SelectObject(dc, m_font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &client,
              DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, previous);
  }
  if (GetFocus() == m_hwnd && (SendMessageW(m_hwnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) == 0) {
    // Around the part the parent shows: the banner box reaches past its edges.
    RECT shown{};
    GetClientRect(GetParent(m_hwnd), &shown);
    MapWindowPoints(GetParent(m_hwnd), m_hwnd, reinterpret_cast<POINT*>(&shown), 2);
    RECT focus{};
    IntersectRect(&focus, &shown, &client);
    InflateRect(&focus, -1, -1);
    DrawFocusRect(dc, &focus);
  }
  EndPaint(m_hwnd, &paint);
}

}  // namespace vellmor::win32
