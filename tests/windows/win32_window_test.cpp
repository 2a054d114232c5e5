// The Win32 windows in-process, with a scripted USB hub source and a shell that
// records its calls: what needs a serial, the exact shell arguments and the
// error box, which the outside walk under wine cannot reach.
#include <windows.h>

#include <ole2.h>
#include <oleacc.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/run_time_error.h"
#include "check.h"
#include "design/platform_shell.h"
#include "serial/usb_hub_source.h"
#include "win32/main_window.h"

namespace {

using vellmor::serial::DeviceId;
using vellmor::serial::UsbHubResults;
using vellmor::serial::UsbHubService;
using vellmor::windows_test::CheckCounter;

CheckCounter check;

class ScriptedSource final : public vellmor::serial::UsbHubSource {
 public:
  class Results final : public UsbHubResults {
   public:
    explicit Results(std::vector<DeviceId> ids) : m_ids(std::move(ids)) {}
    bool StartEnumeration() override { return true; }
    Fetch Next() override { return ++m_next <= m_ids.size() ? Fetch::kItem : Fetch::kEnd; }
    DeviceId ReadDeviceId() override { return m_ids[m_next - 1]; }

   private:
    std::vector<DeviceId> m_ids;
    std::size_t m_next = 0;
  };
  class Service final : public UsbHubService {
   public:
    explicit Service(std::vector<DeviceId> ids) : m_ids(std::move(ids)) {}
    std::unique_ptr<UsbHubResults> ExecQuery(std::u16string_view) override {
      return std::make_unique<Results>(m_ids);
    }

   private:
    std::vector<DeviceId> m_ids;
  };

  std::unique_ptr<UsbHubService> Bind(std::u16string_view) override {
    ++binds;
    return std::make_unique<Service>(ids);
  }

  std::vector<DeviceId> ids;
  int binds = 0;
};

struct ShellCall {
  HWND owner;
  std::string operation, file, parameters, directory;
  int show;
};

class RecordingShell final : public vellmor::design::PlatformShell {
 public:
  void CallShellExecute(vellmor::design::WindowHandle owner, std::string_view operation,
                        std::string_view file, std::string_view parameters,
                        std::string_view directory, int showCommand) override {
    if (failWith != 0) {
      throw vellmor::RunTimeError(failWith);
    }
    calls.push_back({reinterpret_cast<HWND>(owner), std::string(operation), std::string(file),
                     std::string(parameters), std::string(directory), showCommand});
  }
  void SetCursor(vellmor::design::CursorHandle cursor) override { cursors.push_back(cursor); }

  std::vector<ShellCall> calls;
  std::vector<vellmor::design::CursorHandle> cursors;
  int failWith = 0;
};

std::wstring Text(HWND hwnd) {
  wchar_t buffer[256] = {};
  GetWindowTextW(hwnd, buffer, 256);
  return buffer;
}

void Click(HWND control) {
  SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// Runs `body` once from inside the next modal loop.
std::function<void()> pending;
void WhenModal(std::function<void()> body) {
  pending = std::move(body);
  SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    auto run = std::move(pending);
    run();
  });
}

// What a screen reader hears: the control's name and role.
struct Heard {
  std::wstring name;
  long role = 0;
};

Heard AccessibleOf(HWND hwnd) {
  Heard heard;
  IAccessible* accessible = nullptr;
  // The header's id: linked from oleacc's import library, IID_IAccessible is an
  // import thunk rather than the GUID.
  if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT),
                                        __uuidof(IAccessible),
                                        reinterpret_cast<void**>(&accessible)))) {
    return heard;
  }
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  if (SUCCEEDED(accessible->get_accName(self, &name)) && name != nullptr) {
    heard.name = name;
    SysFreeString(name);
  }
  VARIANT role{};
  if (SUCCEEDED(accessible->get_accRole(self, &role)) && role.vt == VT_I4) {
    heard.role = role.lVal;
  }
  accessible->Release();
  return heard;
}

bool SameCall(const ShellCall& call, HWND owner, const char* file, const char* parameters,
              const std::string& directory, int show) {
  return call.owner == owner && call.operation == "Open" && call.file == file &&
         call.parameters == parameters && call.directory == directory && call.show == show;
}

void ChecksReadSerial(vellmor::win32::MainW& mainW, ScriptedSource& source) {
  struct Warning {
    std::u16string text, title;
    std::wstring text1;
  };
  std::vector<Warning> warnings;
  mainW.SetWarningPresenter([&](std::u16string_view text, std::u16string_view title) {
    warnings.push_back({std::u16string(text), std::u16string(title), Text(mainW.Control("Text1"))});
  });
  source.ids = {DeviceId::Text(u"USB\\ROOT_HUB20\\4&1A2B3C&0"),
                DeviceId::Text(u"USB\\VID_1234&PID_5678\\AB12CD34")};
  SendMessageW(mainW.Control("Command1"), BM_CLICK, 0, 0);
  check.Check(Text(mainW.Control("Text1")) == L"AB12CD34", "Text1 shows the drive's serial");
  check.Check(Text(mainW.Control("Text2")) == L"EB1DEF2FBD36FAA7E9316A54D75FA457",
              "Text2 shows the serial's digest");
  check.Check(source.binds == 1 && warnings.empty(), "one query per click, no warning");

  source.ids = {DeviceId::Text(u"USB\\VID_1234&PID_5678\\")};
  SendMessageW(mainW.Control("Command1"), BM_CLICK, 0, 0);
  check.Check(source.binds == 2 && warnings.size() == 1 && warnings[0].text == u"请插入U盘" &&
                  warnings[0].title == u"Vellmor" && warnings[0].text1.empty(),
              "an empty serial warns, with Text1 already empty");
  check.Check(Text(mainW.Control("Text2")) == L"D41D8CD98F00B204E9800998ECF8427E",
              "and Text2 gets the digest of the empty text");
}

void ChecksLinksAndPointer(vellmor::win32::MainW& mainW, RecordingShell& shell,
                           const std::string& folder) {
  const HWND label4 = mainW.Control("Label4");
  SendMessageW(label4, WM_MOUSEMOVE, 0, 0);
  SendMessageW(label4, WM_MOUSEMOVE, MK_LBUTTON, 0);
  SendMessageW(mainW.Control("Picture1"), WM_MOUSEMOVE, 0, 0);
  SendMessageW(mainW.Control("Label1"), WM_MOUSEMOVE, 0, 0);
  check.Check(shell.cursors == std::vector<vellmor::design::CursorHandle>{0x1002D, 0x1002D},
              "the pointer is set over Label4 and the banner with no button held, only there");

  Click(label4);
  Click(mainW.Control("Picture1"));
  Click(mainW.Control("Label1"));
  check.Check(shell.calls.size() == 2 &&
                  SameCall(shell.calls[0], mainW.hwnd(), "http://www.example.com", "0", "0", 0) &&
                  SameCall(shell.calls[1], mainW.hwnd(),
                           "http://www.example.net/ad.asp?from=example.com", "0", "0", 0),
              "Label4 and the banner open their links with the designed arguments");
  shell.calls.clear();

  // An error leaving a handler is shown with its code; the program goes on.
  std::wstring shown;
  WhenModal([&] {
    const HWND box = FindWindowW(L"#32770", L"Vellmor");
    shown = Text(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  shell.failWith = vellmor::RunTimeError::kErrorInLoadingDll;
  Click(label4);
  shell.failWith = 0;
  check.Check(shown.rfind(L"运行时错误 '48'", 0) == 0, "error 48 is shown with its code");
  Click(label4);
  check.Check(shell.calls.size() == 1, "and the next click works again");
  shell.calls.clear();

  // A double-click as the system delivers it: the second press comes as a
  // double-click message only to a class that asks for them (injected input
  // under wine on a virtual display is lost now and then, so it is built here).
  const bool asksForDoubleClicks = (GetClassLongPtrW(label4, GCL_STYLE) & CS_DBLCLKS) != 0;
  for (const UINT message :
       {UINT{WM_LBUTTONDOWN}, UINT{WM_LBUTTONUP},
        asksForDoubleClicks ? UINT{WM_LBUTTONDBLCLK} : UINT{WM_LBUTTONDOWN}, UINT{WM_LBUTTONUP}}) {
    SendMessageW(label4, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(20, 10));
  }
  check.Check(shell.calls.size() == 1, "a double-click on Label4 opens its link once");
  shell.calls.clear();
  (void)folder;
}

void ChecksScreenReaders(vellmor::win32::MainW& mainW) {
  const Heard text1 = AccessibleOf(mainW.Control("Text1"));
  const Heard text2 = AccessibleOf(mainW.Control("Text2"));
  check.Check(text1.name == L"U盘序列号" && text1.role == ROLE_SYSTEM_TEXT &&
                  text2.name == L"MD5加密" && text2.role == ROLE_SYSTEM_TEXT,
              "Text1 and Text2 are named after their labels");
  const Heard label4 = AccessibleOf(mainW.Control("Label4"));
  check.Check(label4.role == ROLE_SYSTEM_LINK &&
                  label4.name ==
                      L"本软件免费提供给广大用户，用于交流探讨。\r\n如有疑问请直接联系或网上留言。",
              "Label4 is a link named by its caption");
  const Heard picture1 = AccessibleOf(mainW.Control("Picture1"));
  check.Check(picture1.role == ROLE_SYSTEM_LINK &&
                  picture1.name == L"http://www.example.net/ad.asp?from=example.com",
              "the banner is a link named by its address");
  const Heard label1 = AccessibleOf(mainW.Control("Label1"));
  check.Check(label1.role == ROLE_SYSTEM_STATICTEXT && label1.name == L"U盘序列号",
              "Label1 is text, not a link");
}

void ChecksAbout(vellmor::win32::MainW& mainW, RecordingShell& shell, const std::string& folder) {
  HWND about = nullptr;
  bool mainDisabled = false;
  ICONINFO hand{};
  WhenModal([&] {
    about = mainW.aboutWindow()->hwnd();
    mainDisabled = !IsWindowEnabled(mainW.hwnd());
    const HWND label4 = mainW.aboutWindow()->Control("Label4");
    SendMessageW(label4, WM_SETCURSOR, reinterpret_cast<WPARAM>(label4),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    GetIconInfo(GetCursor(), &hand);
    Click(mainW.aboutWindow()->Control("Label1"));
    Click(mainW.aboutWindow()->Control("Label3"));
    PostMessageW(about, WM_CLOSE, 0, 0);
  });
  SendMessageW(mainW.Control("Command3"), BM_CLICK, 0, 0);
  check.Check(about != nullptr && mainDisabled, "About is shown modally over MainW");
  check.Check(!hand.fIcon && hand.xHotspot == 12 && hand.yHotspot == 1,
              "About's Label4 puts up the hand cursor with its hot spot at 12,1");
  DeleteObject(hand.hbmMask);
  DeleteObject(hand.hbmColor);
  check.Check(shell.calls.size() == 2 &&
                  SameCall(shell.calls[0], about, "http://www.example.com", "0", "0", 0) &&
                  SameCall(shell.calls[1], about, "mailto:author@example.com", "", folder, 1),
              "About's labels open the site and the mail link, owned by About");
  check.Check(mainW.aboutWindow()->hwnd() == nullptr && IsWindowEnabled(mainW.hwnd()),
              "closing About destroys its window and frees MainW");

  // MainW pushed into the screen's lower right corner: About, centred over it,
  // would hang off the screen; it stays inside the work area instead.
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  SetWindowPos(mainW.hwnd(), nullptr, work.right - 120, work.bottom - 60, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT placed{};
  WhenModal([&] {
    GetWindowRect(mainW.aboutWindow()->hwnd(), &placed);
    PostMessageW(mainW.aboutWindow()->hwnd(), WM_CLOSE, 0, 0);
  });
  SendMessageW(mainW.Control("Command3"), BM_CLICK, 0, 0);
  check.Check(mainW.aboutWindow()->showings() == 2, "the same About object shows it again");
  check.Check(placed.left >= work.left && placed.top >= work.top && placed.right <= work.right &&
                  placed.bottom <= work.bottom,
              "About stays inside the work area when MainW is at the screen's edge");
}

}  // namespace

int main() {
  OleInitialize(nullptr);
  ScriptedSource source;
  RecordingShell shell;
  std::string folder;
  {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    folder = path;
    folder.resize(folder.find_last_of('\\'));
  }
  {
    vellmor::win32::MainW mainW(source, shell);
    mainW.Show();
    ChecksReadSerial(mainW, source);
    ChecksLinksAndPointer(mainW, shell, folder);
    ChecksScreenReaders(mainW);
    ChecksAbout(mainW, shell, folder);
  }
  OleUninitialize();
  return check.Finish("win32_window_test");
}
