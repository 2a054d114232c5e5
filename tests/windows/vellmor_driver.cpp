// Drives the real Vellmor.exe from outside, through window messages, as a
// person would: it reads what the windows show, clicks, answers the warning,
// opens and closes the About window and finally closes MainW. It also times the
// start and reads the program's working set, and saves screenshots of both windows.
// At a dpi other than 96 it checks the layout alone (--layout), and --start
// only times the start of any program whose window has MainW's caption.
// Usage: vellmor_driver PROGRAM SCREENSHOT_FOLDER [--layout|--start]
#include <windows.h>

#include <psapi.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "check.h"

namespace {

using Microsoft::WRL::ComPtr;
using vellmor::windows_test::CheckCounter;

constexpr wchar_t kMainWCaption[] = L"Vellmor  Ver 5.1.7";
constexpr wchar_t kAboutCaption[] = L"www.example.com";
constexpr wchar_t kEmptyDigest[] = L"D41D8CD98F00B204E9800998ECF8427E";
// The message box's text control, as the system numbers it.
constexpr int kMessageBoxText = 0xFFFF;

CheckCounter check;
DWORD programProcess = 0;
HANDLE programHandle = nullptr;

bool WaitFor(const std::function<bool()>& condition, int milliseconds = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Until the program has handled what was posted to it and waits for input again.
void Settle() {
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  if (programHandle != nullptr) {
    WaitForInputIdle(programHandle, 10000);
  }
}

std::wstring Text(HWND hwnd) {
  wchar_t buffer[512] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                      5000, &copied);
  return buffer;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[128] = {};
  GetClassNameW(hwnd, name, 128);
  return name;
}

// The program's visible top-level window with that caption or class.
HWND FindProgramWindow(const wchar_t* caption, const wchar_t* className = nullptr) {
  struct Search {
    const wchar_t* caption;
    const wchar_t* className;
    HWND found;
  } search{caption, className, nullptr};
  EnumWindows(
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(data);
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        if (process != programProcess || !IsWindowVisible(hwnd)) {
          return TRUE;
        }
        if ((s.caption == nullptr || Text(hwnd) == s.caption) &&
            (s.className == nullptr || _wcsicmp(ClassOf(hwnd).c_str(), s.className) == 0)) {
          s.found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM data) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

HWND ChildWithText(HWND parent, const std::wstring& prefix) {
  for (HWND child : Children(parent)) {
    if (Text(child).rfind(prefix, 0) == 0) {
      return child;
    }
  }
  return nullptr;
}

// A control's place in its window's client area.
RECT PlaceIn(HWND parent, HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

SIZE ClientSize(HWND hwnd) {
  RECT client{};
  GetClientRect(hwnd, &client);
  return {client.right, client.bottom};
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

void PressKey(HWND window, WPARAM key) {
  const HWND target = FocusOf(window);
  PostMessageW(target, WM_KEYDOWN, key, 1);
  PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001));
  Settle();
}

// A left click at a point of the window's client area, handed to the control there.
HWND ClickAt(HWND window, POINT point) {
  const HWND child = ChildWindowFromPointEx(window, point, CWP_SKIPINVISIBLE);
  if (child == nullptr || child == window) {
    return nullptr;
  }
  POINT local = point;
  MapWindowPoints(window, child, &local, 1);
  const LPARAM at = MAKELPARAM(local.x, local.y);
  PostMessageW(child, WM_MOUSEMOVE, 0, at);
  PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(child, WM_LBUTTONUP, 0, at);
  Settle();
  return child;
}

bool Centred(RECT inner, RECT outer) {
  const long dx = (inner.left + inner.right) - (outer.left + outer.right);
  const long dy = (inner.top + inner.bottom) - (outer.top + outer.bottom);
  return std::labs(dx) <= 2 && std::labs(dy) <= 2;
}

// The window as the screen shows it, as a PNG.
void Screenshot(HWND hwnd, const std::wstring& path) {
  RECT rect{};
  GetWindowRect(hwnd, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, previous);

  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
  const UINT stride = static_cast<UINT>(width) * 4;
  const bool saved =
      SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_PPV_ARGS(factory.GetAddressOf()))) &&
      SUCCEEDED(factory->CreateStream(stream.GetAddressOf())) &&
      SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
      SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.GetAddressOf())) &&
      SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
      SUCCEEDED(encoder->CreateNewFrame(frame.GetAddressOf(), nullptr)) &&
      SUCCEEDED(frame->Initialize(nullptr)) &&
      SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
      SUCCEEDED(frame->SetPixelFormat(&format)) &&
      SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), stride,
                                   stride * static_cast<UINT>(height), static_cast<BYTE*>(bits))) &&
      SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
  check.Check(saved, "screenshot saved");
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

std::size_t WorkingSetKib(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(process, &counters, sizeof(counters));
  return counters.WorkingSetSize / 1024;
}

struct MainControls {
  HWND command1, command3, text1, text2, label1, label2, label4, picture1;
};

MainControls FindMainControls(HWND mainW) {
  MainControls c{};
  c.command1 = ChildWithText(mainW, L"读取序列号");
  c.command3 = ChildWithText(mainW, L"关于");
  c.label1 = ChildWithText(mainW, L"U盘序列号");
  c.label2 = ChildWithText(mainW, L"MD5加密");
  c.label4 = ChildWithText(mainW, L"本软件免费提供给广大用户");
  for (HWND child : Children(mainW)) {
    if (_wcsicmp(ClassOf(child).c_str(), L"Edit") == 0) {
      (c.text1 == nullptr ? c.text1 : c.text2) = child;
    } else if (Text(child).empty()) {
      c.picture1 = child;
    }
  }
  if (c.text1 != nullptr && c.text2 != nullptr &&
      PlaceIn(mainW, c.text1).top > PlaceIn(mainW, c.text2).top) {
    std::swap(c.text1, c.text2);
  }
  return c;
}

int dpi = 96;

// Twips at the screen's dpi, as the program scales them.
long Pixels(int twips) { return MulDiv(twips, dpi, 1440); }

// Within a pixel of the design at any dpi but 96, where it is exact.
bool Near(long actual, long expected) {
  return std::labs(actual - expected) <= (dpi == 96 ? 0 : 1);
}

bool PlacedAt(HWND parent, HWND control, int left, int top, int width, int height) {
  const RECT r = PlaceIn(parent, control);
  const bool close = Near(r.left, Pixels(left)) && Near(r.top, Pixels(top)) &&
                     Near(r.right - r.left, Pixels(width)) &&
                     Near(r.bottom - r.top, Pixels(height));
  if (!close) {
    std::printf("  place is (%ld,%ld) %ld x %ld, designed (%ld,%ld) %ld x %ld\n", r.left, r.top,
                r.right - r.left, r.bottom - r.top, Pixels(left), Pixels(top), Pixels(width),
                Pixels(height));
  }
  return close;
}

bool ClientIs(HWND hwnd, int width, int height) {
  const SIZE client = ClientSize(hwnd);
  std::printf("  client %ld x %ld at %d dpi\n", client.cx, client.cy, dpi);
  return Near(client.cx, Pixels(width)) && Near(client.cy, Pixels(height));
}

// The banner is drawn to the right end of what the window shows of its box:
// the last column of the client area, down the middle half of the box.
bool BannerReachesRightEnd(HWND mainW, HWND picture1) {
  const RECT box = PlaceIn(mainW, picture1);
  const SIZE client = ClientSize(mainW);
  POINT column{client.cx - 1, 0};
  ClientToScreen(mainW, &column);
  POINT top{0, box.top + (box.bottom - box.top) / 4};
  ClientToScreen(mainW, &top);
  const int rows = static_cast<int>((box.bottom - box.top) / 2);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const HDC screen = GetDC(nullptr);
  int drawn = 0;
  for (int row = 0; row < rows; ++row) {
    drawn += GetPixel(screen, column.x, top.y + row) != face ? 1 : 0;
  }
  ReleaseDC(nullptr, screen);
  std::printf("  banner pixels in the last column: %d of %d\n", drawn, rows);
  return drawn * 4 >= rows * 3;
}

void ChecksMainWindow(HWND mainW, const MainControls& c) {
  const LONG style = GetWindowLongW(mainW, GWL_STYLE);
  check.Check((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU) != 0 &&
                  (style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) == 0,
              "MainW: fixed frame with a close button only");
  const HWND owner = GetWindow(mainW, GW_OWNER);
  check.Check(owner != nullptr && !IsWindowVisible(owner) &&
                  (GetWindowLongW(mainW, GWL_EXSTYLE) & WS_EX_APPWINDOW) == 0,
              "MainW: owned by a hidden window, so no taskbar button");
  check.Check(ClientIs(mainW, 5340, 3375), "MainW: client area 5340 x 3375 twips");
  RECT window{};
  GetWindowRect(mainW, &window);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  check.Check(Centred(window, work), "MainW: centred on the screen");

  check.Check(c.command1 && c.command3 && c.text1 && c.text2 && c.label1 && c.label2 && c.label4 &&
                  c.picture1,
              "MainW: every control is there");
  if (!(c.command1 && c.command3 && c.text1 && c.text2 && c.label1 && c.label2 && c.label4 &&
        c.picture1)) {
    return;
  }
  check.Check(PlacedAt(mainW, c.command1, 1320, 2040, 1150, 315), "Command1's place and size");
  check.Check(PlacedAt(mainW, c.command3, 2640, 2040, 1150, 315), "Command3's place and size");
  check.Check(PlacedAt(mainW, c.text1, 1440, 1080, 3255, 375), "Text1's place and size");
  check.Check(PlacedAt(mainW, c.text2, 1440, 1560, 3255, 375), "Text2's place and size");
  check.Check(PlacedAt(mainW, c.picture1, -1440, 0, 7095, 975), "Picture1's place and size");
  check.Check(PlacedAt(mainW, c.label4, 360, 2640, 6675, 825), "Label4's place and size");
  const RECT label1 = PlaceIn(mainW, c.label1);
  const RECT label2 = PlaceIn(mainW, c.label2);
  check.Check(Near(label1.left, Pixels(240)) && Near(label1.top, Pixels(1200)) &&
                  Near(label2.left, Pixels(360)) && Near(label2.top, Pixels(1560)),
              "Label1 and Label2 at their places");
  std::printf("  Label1 %ld x %ld, Label2 %ld x %ld (designed 68 x 14, 54 x 14 at 96 dpi)\n",
              label1.right - label1.left, label1.bottom - label1.top, label2.right - label2.left,
              label2.bottom - label2.top);
  check.Check(label1.right - label1.left > label2.right - label2.left &&
                  label1.right - label1.left < Pixels(1350) &&
                  label1.bottom - label1.top < Pixels(360),
              "Label1 and Label2 sized to their captions");
  check.Check(Text(c.command1) == L"读取序列号" && Text(c.command3) == L"关于",
              "the buttons' captions");
  check.Check(Text(c.label4) ==
                  L"本软件免费提供给广大用户，用于交流探讨。\r\n如有疑问请直接联系或网上留言。",
              "Label4's two lines");
  check.Check(BannerReachesRightEnd(mainW, c.picture1),
              "the banner reaches the right end of what MainW shows of its box");
}

// True when neither is open; what is open is closed, so that the next key is
// judged on its own.
bool NoBoxNorAbout() {
  const HWND box = FindProgramWindow(nullptr, L"#32770");
  const HWND about = FindProgramWindow(kAboutCaption);
  for (const HWND open : {box, about}) {
    if (open != nullptr) {
      PostMessageW(open, open == box ? WM_COMMAND : WM_CLOSE, IDOK, 0);
      WaitFor([&] { return !IsWindow(open); });
      Settle();
    }
  }
  return box == nullptr && about == nullptr;
}

void PressTab(HWND mainW, int times) {
  for (int i = 0; i < times; ++i) {
    PressKey(mainW, VK_TAB);
  }
}

// The screen's pixels along the banner box's second row inside its edge, across
// the part MainW shows: where a focus rectangle's top line runs.
std::vector<COLORREF> BannerFocusRow(HWND mainW, HWND picture1) {
  POINT row{0, 1};
  ClientToScreen(picture1, &row);
  POINT left{2, 0};
  ClientToScreen(mainW, &left);
  std::vector<COLORREF> pixels;
  const HDC screen = GetDC(nullptr);
  for (long x = 0; x < ClientSize(mainW).cx - 4; ++x) {
    pixels.push_back(GetPixel(screen, left.x + x, row.y));
  }
  ReleaseDC(nullptr, screen);
  return pixels;
}

// Each key on its own, each looked at before the next: an Escape must not be
// able to close what an Enter before it opened.
void ChecksKeyboard(HWND mainW, const MainControls& c) {
  check.Check(FocusOf(mainW) == c.text1, "Text1 has the focus at the start");
  const HWND cycle[] = {c.text2, c.command3, c.command1, c.picture1, c.text1};
  bool inOrder = true;
  for (HWND expected : cycle) {
    PressKey(mainW, VK_TAB);
    inOrder = inOrder && FocusOf(mainW) == expected;
  }
  check.Check(inOrder, "Tab cycles Text1, Text2, Command3, Command1, Picture1");

  PressKey(mainW, VK_RETURN);
  check.Check(NoBoxNorAbout(), "Enter in Text1 presses no button");
  PressKey(mainW, VK_ESCAPE);
  check.Check(NoBoxNorAbout(), "Escape in Text1 presses no button");
  PressTab(mainW, 3);
  check.Check(FocusOf(mainW) == c.command1, "Command1 has the focus");
  check.Check(NoBoxNorAbout(), "no box is open before Escape on Command1");
  PressKey(mainW, VK_ESCAPE);
  check.Check(NoBoxNorAbout(), "Escape on Command1 presses no button");

  PressKey(mainW, VK_RETURN);
  HWND box = nullptr;
  check.Check(WaitFor([&] { return (box = FindProgramWindow(nullptr, L"#32770")) != nullptr; }),
              "Enter on the focused Command1 presses it");
  if (box != nullptr) {
    Settle();
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return !IsWindow(box); });
    Settle();
  }
  // Back on Command1; Picture1, Text1, Text2, then Command3.
  PressTab(mainW, 4);
  check.Check(FocusOf(mainW) == c.command3, "Command3 has the focus");
  PressKey(mainW, VK_RETURN);
  HWND about = nullptr;
  check.Check(WaitFor([&] { return (about = FindProgramWindow(kAboutCaption)) != nullptr; }),
              "Enter on the focused Command3 presses it");
  if (about != nullptr) {
    Settle();
    PostMessageW(about, WM_CLOSE, 0, 0);
    WaitFor([&] { return !IsWindow(about); });
    Settle();
  }
  // The banner takes Space and Enter as a click; the script counts its links.
  PressTab(mainW, 2);
  check.Check(FocusOf(mainW) == c.picture1, "Picture1 has the focus");
  const std::vector<COLORREF> focused = BannerFocusRow(mainW, c.picture1);
  PressKey(mainW, VK_SPACE);
  PressKey(mainW, VK_RETURN);
  PressTab(mainW, 1);
  const std::vector<COLORREF> unfocused = BannerFocusRow(mainW, c.picture1);
  std::size_t differ = 0;
  for (std::size_t x = 0; x < focused.size() && x < unfocused.size(); ++x) {
    differ += focused[x] != unfocused[x] ? 1U : 0U;
  }
  std::printf("  focus rectangle: %zu of %zu pixels differ\n", differ, focused.size());
  check.Check(differ * 4 >= focused.size(), "the focused banner draws a focus rectangle");
}

void ChecksReadSerial(HWND mainW, const MainControls& c, HANDLE process) {
  PostMessageW(c.command1, BM_CLICK, 0, 0);
  HWND box = nullptr;
  check.Check(WaitFor([&] { return (box = FindProgramWindow(nullptr, L"#32770")) != nullptr; }),
              "a click on Command1 with no USB drive brings a message box");
  if (box == nullptr) {
    return;
  }
  Settle();
  check.Check(Text(box) == L"Vellmor", "the message box's title is Vellmor");
  check.Check(Text(GetDlgItem(box, kMessageBoxText)) == L"请插入U盘",
              "the message box says 请插入U盘");
  int buttons = 0;
  bool icon = false;
  HWND ok = nullptr;
  for (HWND child : Children(box)) {
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0 && IsWindowVisible(child)) {
      ++buttons;
      ok = child;
    } else if ((style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) &&
               SendMessageW(child, STM_GETICON, 0, 0) != 0) {
      icon = true;
    }
  }
  check.Check(buttons == 1 && ok != nullptr && GetDlgCtrlID(ok) == IDOK, "OK alone");
  check.Check(ok != nullptr && Text(ok) == L"确定", "the system names the button 确定");
  check.Check(!icon, "no icon");
  check.Check(GetWindow(box, GW_OWNER) == mainW && !IsWindowEnabled(mainW),
              "owned by MainW, which takes no input meanwhile");
  check.Check(Text(c.text1).empty(), "Text1 is empty while the warning is open");
  if (ok != nullptr) {
    PostMessageW(ok, BM_CLICK, 0, 0);
  }
  check.Check(WaitFor([&] { return !IsWindow(box); }, 30000), "OK closes the box");
  Settle();
  check.Check(Text(c.text1).empty() && Text(c.text2) == kEmptyDigest,
              "after OK Text1 is empty and Text2 holds the digest of the empty text");
  check.Check(IsWindowEnabled(mainW) != FALSE, "MainW takes input again");
  std::printf("measure: working-set-after-click-kib %zu\n", WorkingSetKib(process));

  // Focused by the click, not by the Tab key: Enter presses it all the same.
  check.Check(FocusOf(mainW) == c.command1, "the clicked Command1 has the focus back");
  PressKey(mainW, VK_RETURN);
  box = nullptr;
  check.Check(WaitFor([&] { return (box = FindProgramWindow(nullptr, L"#32770")) != nullptr; }),
              "Enter on the clicked Command1 presses it");
  if (box != nullptr) {
    Settle();
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return !IsWindow(box); });
    Settle();
  }
}

HWND OpenAbout(HWND command3) {
  PostMessageW(command3, BM_CLICK, 0, 0);
  HWND about = nullptr;
  WaitFor([&] { return (about = FindProgramWindow(kAboutCaption)) != nullptr; });
  Settle();
  return about;
}

void ChecksAboutLayout(HWND mainW, HWND about) {
  check.Check(ClientIs(about, 3900, 2490), "About: client area 3900 x 2490 twips");
  check.Check(!IsWindowEnabled(mainW), "MainW takes no input while About is open");
  RECT aboutRect{};
  RECT mainRect{};
  GetWindowRect(about, &aboutRect);
  GetWindowRect(mainW, &mainRect);
  check.Check(Centred(aboutRect, mainRect), "About: centred over MainW");
  const HWND label4 = ChildWithText(about, L"更多精品软件请点击\r\nhttp://www.example.com");
  check.Check(label4 != nullptr && PlacedAt(about, label4, 360, 360, 2955, 585),
              "About's Label4's place and size");
}

void ChecksAbout(HWND mainW, const MainControls& c, const std::wstring& folder) {
  const HWND about = OpenAbout(c.command3);
  check.Check(about != nullptr, "Command3 opens the About window");
  if (about == nullptr) {
    return;
  }
  ChecksAboutLayout(mainW, about);
  const LONG style = GetWindowLongW(about, GWL_STYLE);
  check.Check((style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) ==
                  (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              "About: sizable, with minimize and maximize buttons");
  check.Check((GetWindowLongW(about, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0,
              "About: its own taskbar button");
  const HWND label3 = ChildWithText(about, L"E-mail：author@example.com");
  check.Check(label3 != nullptr && ChildWithText(about, L"QQ    ：1234") != nullptr &&
                  ChildWithText(about, L"QQ群  ：5678") != nullptr,
              "About: the four labels");
  Screenshot(about, folder + L"\\about.png");
  // Right of their captions: the whole rectangle counts.
  ClickAt(about, {200, 40});
  ClickAt(about, {215, 130});
  check.Check(FindProgramWindow(kAboutCaption) == about, "About stays open after label clicks");

  PostMessageW(about, WM_CLOSE, 0, 0);
  check.Check(WaitFor([&] { return !IsWindow(about); }) && IsWindowEnabled(mainW),
              "closing About gives MainW its input back");
  const HWND again = OpenAbout(c.command3);
  check.Check(again != nullptr && ClientSize(again).cx == 260, "Command3 opens About again");
  if (again != nullptr) {
    PostMessageW(again, WM_CLOSE, 0, 0);
    WaitFor([&] { return !IsWindow(again); });
  }
}

// At a dpi other than 96: the places, the sizes and the banner, both windows.
void ChecksLayoutAtDpi(HWND mainW, const MainControls& c, const std::wstring& folder) {
  ChecksMainWindow(mainW, c);
  Screenshot(mainW, folder + L"\\mainw-" + std::to_wstring(dpi) + L".png");
  const HWND about = OpenAbout(c.command3);
  check.Check(about != nullptr, "Command3 opens the About window");
  if (about != nullptr) {
    ChecksAboutLayout(mainW, about);
    Screenshot(about, folder + L"\\about-" + std::to_wstring(dpi) + L".png");
    PostMessageW(about, WM_CLOSE, 0, 0);
    WaitFor([&] { return !IsWindow(about); });
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc == 4 ? argv[3] : L"";
  if (argc < 3 || argc > 4 || (argc == 4 && mode != L"--layout" && mode != L"--start")) {
    std::fprintf(stderr, "usage: vellmor_driver PROGRAM SCREENSHOT_FOLDER [--layout|--start]\n");
    return 2;
  }
  // Places and pixels as the screen has them, whatever its dpi.
  SetProcessDPIAware();
  {
    const HDC screen = GetDC(nullptr);
    dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::wstring folder = argv[2];

  LARGE_INTEGER frequency{};
  LARGE_INTEGER started{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&started);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION program{};
  std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
  if (!CreateProcessW(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &program)) {
    std::printf("FAILED: Vellmor.exe starts (error %lu)\n", GetLastError());
    return 1;
  }
  programProcess = program.dwProcessId;
  programHandle = program.hProcess;
  HWND mainW = nullptr;
  const bool shown =
      WaitFor([&] { return (mainW = FindProgramWindow(kMainWCaption)) != nullptr; }, 60000);
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  check.Check(shown, "MainW is shown with its caption");
  if (shown) {
    std::printf("measure: start-to-shown-ms %.1f\n",
                static_cast<double>(now.QuadPart - started.QuadPart) * 1000.0 /
                    static_cast<double>(frequency.QuadPart));
    Settle();
    std::printf("measure: working-set-after-start-kib %zu\n", WorkingSetKib(program.hProcess));
  }
  const MainControls controls = shown ? FindMainControls(mainW) : MainControls{};
  if (shown && mode == L"--layout") {
    ChecksLayoutAtDpi(mainW, controls, folder);
  } else if (shown && mode.empty()) {
    ChecksMainWindow(mainW, controls);
    Screenshot(mainW, folder + L"\\mainw.png");
    ChecksKeyboard(mainW, controls);
    ChecksReadSerial(mainW, controls, program.hProcess);
    // Right of and below Label4's text, and the banner's middle.
    check.Check(ClickAt(mainW, {340, 215}) == controls.label4, "the empty end of Label4 is Label4");
    check.Check(ClickAt(mainW, {200, 30}) == controls.picture1, "the banner's middle is Picture1");
    ChecksAbout(mainW, controls, folder);
  }
  if (shown) {
    PostMessageW(mainW, WM_CLOSE, 0, 0);
  }
  DWORD exitCode = 1;
  const bool ended = WaitForSingleObject(program.hProcess, 20000) == WAIT_OBJECT_0;
  GetExitCodeProcess(program.hProcess, &exitCode);
  check.Check(ended && exitCode == 0, "closing MainW ends the program with exit code 0");
  if (!ended) {
    TerminateProcess(program.hProcess, 1);
  }
  CloseHandle(program.hThread);
  CloseHandle(program.hProcess);
  return check.Finish("vellmor_driver");
}
