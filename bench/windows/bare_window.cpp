// The peer Vellmor.exe's start is measured against: a plain Win32 window with
// MainW's caption, client size and controls on the system's own classes (the
// banner box left empty), the same manifest, and nothing else. No OLE, no
// picture, no program code before the first paint.
#include <windows.h>

namespace {

struct Child {
  const wchar_t* className;
  const wchar_t* text;
  DWORD style;
  DWORD exStyle;
  int left, top, width, height;  // twips
};

constexpr Child kChildren[] = {
    {L"STATIC", L"", 0, WS_EX_CLIENTEDGE, -1440, 0, 7095, 975},
    {L"BUTTON", L"读取序列号", BS_PUSHBUTTON | WS_TABSTOP, 0, 1320, 2040, 1150, 315},
    {L"BUTTON", L"关于", BS_PUSHBUTTON | WS_TABSTOP, 0, 2640, 2040, 1150, 315},
    {L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, 1440, 1560, 3255, 375},
    {L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, 1440, 1080, 3255, 375},
    {L"STATIC", L"本软件免费提供给广大用户，用于交流探讨。\r\n如有疑问请直接联系或网上留言。", 0, 0,
     360, 2640, 6675, 825},
    {L"STATIC", L"MD5加密", 0, 0, 360, 1560, 810, 210},
    {L"STATIC", L"U盘序列号", 0, 0, 240, 1200, 1020, 210},
};

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"BareWindow";
  RegisterClassExW(&windowClass);

  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  const auto pixels = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  RECT frame{0, 0, pixels(5340), pixels(3375)};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
  const HWND window =
      CreateWindowExW(WS_EX_DLGMODALFRAME, L"BareWindow", L"Vellmor  Ver 5.1.7", style,
                      CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                      frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
  const HFONT font = CreateFontW(-pixels(180), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                 GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体");
  for (const Child& child : kChildren) {
    const HWND control = CreateWindowExW(child.exStyle, child.className, child.text,
                                         WS_CHILD | WS_VISIBLE | child.style, pixels(child.left),
                                         pixels(child.top), pixels(child.width),
                                         pixels(child.height), window, nullptr, instance, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);

  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  DeleteObject(font);
  return static_cast<int>(message.wParam);
}
