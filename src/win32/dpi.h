#pragma once

#include <windows.h>

#include "design/twips.h"
#include "design/window_design.h"
#include "gdi.h"

namespace vellmor::win32 {

// The window's dots per inch: its monitor's where the system tells them apart
// (Windows 10 and later), else the system's.
int WindowDpi(HWND window);

// The side of the system's pointers at the dpi.
int PointerSizeForDpi(int dpi);

// A design rectangle in pixels at the dpi.
RECT PixelRect(const design::Rect& twips, int dpi);

// The outer size of a window whose client area is the design's client size at
// the dpi, with the frame the style gives it on this system.
SIZE OuterSize(const design::Size& client, DWORD style, DWORD exStyle, int dpi);

// The design's font through the system's font mapper, at the dpi.
UniqueFont CreateDesignFont(const design::Font& font, int dpi);

}  // namespace vellmor::win32
