// The Application log from vellmor-cli.exe's side: its message table renders every event
// id in English and Chinese with device text left as written, with and without an allowed
// list's verdict, and the sink hands ReportEventW the insertion strings in their
// documented order (check_windows.sh reads them from WINEDEBUG=+eventlog).
// Usage: event_log_win_test PATH\vellmor-cli.exe
#include <windows.h>

#include <string>
#include <vector>

#include "check.h"
#include "drives/log_event.h"
#include "sandisk_stick.h"

namespace {

using vellmor::windows_test::CheckCounter;

std::wstring Rendered(HMODULE module, DWORD id, WORD language,
                      const std::vector<std::wstring>& strings) {
  std::vector<DWORD_PTR> arguments;
  for (const std::wstring& text : strings) {
    arguments.push_back(reinterpret_cast<DWORD_PTR>(text.c_str()));
  }
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      module, id,
      MAKELANGID(language,
                 language == LANG_CHINESE ? SUBLANG_CHINESE_SIMPLIFIED : SUBLANG_ENGLISH_US),
      reinterpret_cast<wchar_t*>(&buffer), 0, reinterpret_cast<va_list*>(arguments.data()));
  std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
  LocalFree(buffer);
  return text;
}

bool Holds(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  CheckCounter checks;
  if (argc != 2) {
    return 2;
  }
  const HMODULE cli =
      LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  checks.Check(cli != nullptr, "vellmor-cli.exe loads as a message file");

  // Device text that looks like a format: it must come out as it went in.
  const std::wstring serial = L"SER%1%%1%n!x!";
  std::vector<std::wstring> strings = {L"1",     L"arrived", serial,     L"D1G",       L"USB\\ID",
                                       L"0781",  L"5567",    L"Maker%2", L"Disk",      L"1-2",
                                       L"short", L"E:\\",    L"LBL",     L"{\"json\"}"};
  struct Expected {
    DWORD id;
    const wchar_t* english;
    const wchar_t* chinese;
  };
  for (const Expected& expected : {Expected{1, L"USB drive plugged in", L"已插入 U 盘"},
                                   Expected{2, L"USB drive removed", L"已拔出 U 盘"},
                                   Expected{3, L"USB drive present", L"监视启动时已插入"}}) {
    const std::wstring english = Rendered(cli, expected.id, LANG_ENGLISH, strings);
    const std::wstring chinese = Rendered(cli, expected.id, LANG_CHINESE, strings);
    checks.Check(Holds(english, expected.english), "the English message names the event");
    checks.Check(Holds(chinese, expected.chinese), "the Chinese message names the event");
    for (const std::wstring* text : {&english, &chinese}) {
      checks.Check(Holds(*text, L"serial " + serial) || Holds(*text, L"序列号 " + serial),
                   "the serial shows as written");
      checks.Check(Holds(*text, L"0781:5567 Maker%2 Disk"), "ids and names in their places");
      checks.Check(Holds(*text, L"{\"json\"}"), "the drive's JSON is there");
    }
  }

  // With an allowed list: the same event ids under facility 1, and the verdict as %15.
  strings.emplace_back(L"0");
  for (const Expected& expected : {Expected{0x10001, L"USB drive plugged in", L"已插入 U 盘"},
                                   Expected{0x10002, L"USB drive removed", L"已拔出 U 盘"},
                                   Expected{0x10003, L"USB drive present", L"监视启动时已插入"}}) {
    const std::wstring english = Rendered(cli, expected.id, LANG_ENGLISH, strings);
    const std::wstring chinese = Rendered(cli, expected.id, LANG_CHINESE, strings);
    checks.Check(Holds(english, expected.english) && Holds(english, L"serial " + serial),
                 "the English message with the list names the event");
    checks.Check(Holds(chinese, expected.chinese) && Holds(chinese, L"序列号 " + serial),
                 "the Chinese message with the list names the event");
    checks.Check(Holds(english, L"{\"json\"}\r\nAllowed by the list (1 yes, 0 no): 0"),
                 "the English message gives the verdict after the JSON");
    checks.Check(Holds(chinese, L"{\"json\"}\r\n允许清单判定（1 允许，0 不允许）：0"),
                 "the Chinese message gives the verdict after the JSON");
  }

  // A scripted arrival and removal through the sink, then an arrival the allowed list does
  // not allow: the strings reach ReportEventW.
  std::string error;
  const auto log = vellmor::drives::OpenSystemLog(error);
  checks.Check(log != nullptr, "the Application log opens without a registered source");
  if (log) {
    vellmor::drives::UsbDevice stick = vellmor::fixtures::SanDiskStick();
    stick.serial = u"WINE%1STICK0001";
    stick.device_id = u"USB\\VID_0781&PID_5567\\WINE%1STICK0001";
    stick.manufacturer.reset();
    stick.product_name = u"Cruzer";
    stick.port = u"Port_#0002.Hub_#0001";
    checks.Check(log->Write(vellmor::drives::LogEvent::kArrived, stick, nullptr, error),
                 "arrival logged");
    checks.Check(log->Write(vellmor::drives::LogEvent::kRemoved, stick, nullptr, error),
                 "removal logged");
    const vellmor::drives::AllowedVerdict refused;
    checks.Check(log->Write(vellmor::drives::LogEvent::kArrived, stick, &refused, error),
                 "arrival of a stick not allowed logged");
  }
  return checks.Finish("event_log_win_test");
}
