#include "picture.h"

#include <cstring>

#include <olectl.h>

namespace vellmor::win32 {
namespace {

using Microsoft::WRL::ComPtr;

constexpr int kHimetricPerInch = 2540;
// RT_RCDATA, as the wide functions take it.
const wchar_t* const kRcData = MAKEINTRESOURCEW(10);

}  // namespace

ComPtr<IPicture> LoadPictureResource(int resourceId) {
  const HMODULE module = GetModuleHandleW(nullptr);
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), kRcData);
  if (found == nullptr) {
    return nullptr;
  }
  const DWORD size = SizeofResource(module, found);
  const HGLOBAL loaded = LoadResource(module, found);
  const void* bytes = loaded == nullptr ? nullptr : LockResource(loaded);
  if (bytes == nullptr || size == 0) {
    return nullptr;
  }
  // The loader reads from a stream, which wants its own movable memory.
  const HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
  if (copy == nullptr) {
    return nullptr;
  }
  void* target = GlobalLock(copy);
  if (target == nullptr) {
    GlobalFree(copy);
    return nullptr;
  }
  std::memcpy(target, bytes, size);
  GlobalUnlock(copy);
  ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(copy, TRUE, stream.GetAddressOf()))) {
    GlobalFree(copy);
    return nullptr;
  }
  ComPtr<IPicture> picture;
  if (FAILED(OleLoadPicture(stream.Get(), static_cast<LONG>(size), FALSE, IID_IPicture,
                            reinterpret_cast<void**>(picture.GetAddressOf())))) {
    return nullptr;
  }
  return picture;
}

void DrawPicture(IPicture& picture, HDC dc, int x, int y, int dpi) {
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  if (FAILED(picture.get_Width(&width)) || FAILED(picture.get_Height(&height))) {
    return;
  }
  const int pixelWidth = MulDiv(width, dpi, kHimetricPerInch);
  const int pixelHeight = MulDiv(height, dpi, kHimetricPerInch);
  // The source rectangle runs upwards from the bottom, as HIMETRIC does.
  picture.Render(dc, x, y, pixelWidth, pixelHeight, 0, height, width, -height, nullptr);
}

}  // namespace vellmor::win32
