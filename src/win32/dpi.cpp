#include "dpi.h"

#include <string>

#include "text.h"

namespace vellmor::win32 {
namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);

// Looked up by name, so that the program still starts on systems before them.
template <typename Function>
Function User32Entry(const char* name) {
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) {
    return nullptr;
  }
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

int SystemDpi() {
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : design::kDesignDpi;
}

}  // namespace

int WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32Entry<GetDpiForWindowFunction>("GetDpiForWindow");
  if (getDpiForWindow != nullptr && window != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi > 0) {
      return static_cast<int>(dpi);
    }
  }
  return SystemDpi();
}

int PointerSizeForDpi(int dpi) {
  static const auto metricsForDpi =
      User32Entry<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
  if (metricsForDpi != nullptr) {
    const int size = metricsForDpi(SM_CXCURSOR, static_cast<UINT>(dpi));
    if (size > 0) {
      return size;
    }
  }
  return MulDiv(GetSystemMetrics(SM_CXCURSOR), dpi, SystemDpi());
}

RECT PixelRect(const design::Rect& twips, int dpi) {
  const design::Rect pixels = design::TwipsToPixels(twips, dpi, dpi);
  return {pixels.left, pixels.top, pixels.left + pixels.width, pixels.top + pixels.height};
}

SIZE OuterSize(const design::Size& client, DWORD style, DWORD exStyle, int dpi) {
  static const auto adjustForDpi =
      User32Entry<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
  const design::Size pixels = design::TwipsToPixels(client, dpi, dpi);
  RECT frame{0, 0, pixels.width, pixels.height};
  if (adjustForDpi == nullptr ||
      !adjustForDpi(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi))) {
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  }
  return {frame.right - frame.left, frame.bottom - frame.top};
}

UniqueFont CreateDesignFont(const design::Font& font, int dpi) {
  // The size in twentieths of a point is the em height in twips.
  const int height = -design::TwipsToPixels(font.sizeTwips, dpi);
  const std::wstring face = Wide(font.face);
  return UniqueFont(CreateFontW(height, 0, 0, 0, font.weight, FALSE, font.underline ? TRUE : FALSE,
                                FALSE, static_cast<DWORD>(font.charSet), OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                face.c_str()));
}

}  // namespace vellmor::win32
