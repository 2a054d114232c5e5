#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

#include "base/version.h"
#include "design/platform_shell.h"
#include "main_window.h"
#include "message_loop.h"
#include "serial/usb_hub_source.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // A DLL asked for by name comes from System32, never from beside a copy in Downloads.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // The banner's decoder and the management service are COM objects; one
  // apartment for the run on the one thread.
  const HRESULT ole = OleInitialize(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  int exitCode = 0;
  {
    const auto source = vellmor::serial::MakeSystemUsbHubSource();
    const auto shell = vellmor::design::MakeSystemShell();
    vellmor::win32::MainW mainW(*source, *shell);
    if (mainW.hwnd() == nullptr) {
      MessageBoxW(nullptr, L"无法创建窗口", L"" VELLMOR_PRODUCT_NAME, MB_OK | MB_ICONERROR);
      exitCode = 1;
    } else {
      mainW.Show();
      exitCode = vellmor::win32::RunMessageLoop([] { return false; }, false);
    }
  }
  if (SUCCEEDED(ole)) {
    OleUninitialize();
  }
  return exitCode;
}
