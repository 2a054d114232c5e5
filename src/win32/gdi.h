#pragma once

#include <memory>
#include <type_traits>

#include <windows.h>

namespace vellmor::win32 {

// Each GDI or user object has exactly one owner, which deletes it.
struct FontDeleter {
  void operator()(HFONT font) const { DeleteObject(font); }
};
struct BitmapDeleter {
  void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};
struct IconDeleter {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct CursorDeleter {
  void operator()(HCURSOR cursor) const { DestroyCursor(cursor); }
};

using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDeleter>;
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;
using UniqueCursor = std::unique_ptr<std::remove_pointer_t<HCURSOR>, CursorDeleter>;

}  // namespace vellmor::win32
