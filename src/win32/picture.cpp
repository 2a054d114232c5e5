#include "picture.h"

#include <cstring>
#include <utility>

#include <olectl.h>

#include "design/twips.h"

namespace vellmor::win32 {
namespace {

using Microsoft::WRL::ComPtr;

constexpr int kHimetricPerInch = 2540;
constexpr int kDesignDpi = design::kDesignDpi;
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

namespace {

// OLE gives the size in HIMETRIC worked out with the screen's dpi; that dpi
// turns it back into the picture's own pixels, whatever the window's dpi is.
SIZE OwnPixels(IPicture& picture) {
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  if (FAILED(picture.get_Width(&width)) || FAILED(picture.get_Height(&height))) {
    return {0, 0};
  }
  const HDC screen = GetDC(nullptr);
  const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
  const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return {MulDiv(width, dpiX, kHimetricPerInch), MulDiv(height, dpiY, kHimetricPerInch)};
}

}  // namespace

ScaledPicture ScalePicture(IPicture& picture, int dpi, COLORREF background) {
  const SIZE own = OwnPixels(picture);
  if (own.cx <= 0 || own.cy <= 0) {
    return {};
  }
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  picture.get_Width(&width);
  picture.get_Height(&height);

  const HDC screen = GetDC(nullptr);
  const HDC ownDc = CreateCompatibleDC(screen);
  ScaledPicture result;
  UniqueBitmap ownBitmap(CreateCompatibleBitmap(screen, own.cx, own.cy));
  const HGDIOBJ previousOwn = SelectObject(ownDc, ownBitmap.get());
  const RECT ownRect{0, 0, own.cx, own.cy};
  const HBRUSH brush = CreateSolidBrush(background);
  FillRect(ownDc, &ownRect, brush);
  DeleteObject(brush);
  // The source rectangle runs upwards from the bottom, as HIMETRIC does.
  picture.Render(ownDc, 0, 0, own.cx, own.cy, 0, height, width, -height, nullptr);

  const SIZE scaled{MulDiv(own.cx, dpi, kDesignDpi), MulDiv(own.cy, dpi, kDesignDpi)};
  if (scaled.cx == own.cx && scaled.cy == own.cy) {
    SelectObject(ownDc, previousOwn);
    result.bitmap = std::move(ownBitmap);
    result.size = own;
  } else {
    const HDC scaledDc = CreateCompatibleDC(screen);
    UniqueBitmap scaledBitmap(CreateCompatibleBitmap(screen, scaled.cx, scaled.cy));
    const HGDIOBJ previousScaled = SelectObject(scaledDc, scaledBitmap.get());
    SetStretchBltMode(scaledDc, HALFTONE);
    SetBrushOrgEx(scaledDc, 0, 0, nullptr);
    StretchBlt(scaledDc, 0, 0, scaled.cx, scaled.cy, ownDc, 0, 0, own.cx, own.cy, SRCCOPY);
    SelectObject(scaledDc, previousScaled);
    DeleteDC(scaledDc);
    SelectObject(ownDc, previousOwn);
    result.bitmap = std::move(scaledBitmap);
    result.size = scaled;
  }
  DeleteDC(ownDc);
  ReleaseDC(nullptr, screen);
  return result;
}

}  // namespace vellmor::win32
