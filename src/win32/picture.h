#pragma once

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

namespace vellmor::win32 {

// A picture compiled into the program (RCDATA), decoded by the system's OLE
// picture loader; for a GIF that is its first frame. Null when it cannot be read.
Microsoft::WRL::ComPtr<IPicture> LoadPictureResource(int resourceId);

// Draws the picture at its own size, scaled by the dpi, with its top-left at (x, y).
void DrawPicture(IPicture& picture, HDC dc, int x, int y, int dpi);

}  // namespace vellmor::win32
