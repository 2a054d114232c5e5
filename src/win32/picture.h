#pragma once

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include "gdi.h"

namespace vellmor::win32 {

// A picture compiled into the program (RCDATA), decoded by the system's OLE
// picture loader; for a GIF that is its first frame. Null when it cannot be read.
Microsoft::WRL::ComPtr<IPicture> LoadPictureResource(int resourceId);

// The picture at its own pixel size scaled from 96 dpi to the dpi, transparent
// parts on the background colour: made once per layout, copied at each paint.
struct ScaledPicture {
  UniqueBitmap bitmap;
  SIZE size{0, 0};
};
ScaledPicture ScalePicture(IPicture& picture, int dpi, COLORREF background);

}  // namespace vellmor::win32
