#include "console.h"

#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>
#include <utility>

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include "base/utf.h"

namespace vellmor::cli {

namespace {

// The number of bytes at the end of the text that start a UTF-8 sequence not yet complete.
std::size_t IncompleteTail(const std::string& text) {
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0) != 0x80) {
      const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
      return length > back ? back : 0;
    }
  }
  return 0;
}

// Takes the program's UTF-8 and writes it to a console as UTF-16 with WriteConsoleW,
// so that every character shows whatever code page the console has, and that
// code page stays as the user left it.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : m_console(console) {}

 protected:
  int_type overflow(int_type ch) override {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      m_pending.push_back(traits_type::to_char_type(ch));
    }
    return traits_type::not_eof(ch);
  }

  std::streamsize xsputn(const char* text, std::streamsize count) override {
    m_pending.append(text, static_cast<std::size_t>(count));
    return count;
  }

  int sync() override { return WritePending() ? 0 : -1; }

 private:
  bool WritePending() {
    const std::size_t complete = m_pending.size() - IncompleteTail(m_pending);
    if (complete == 0) {
      return true;
    }
    const int bytes = static_cast<int>(complete);
    const int units = MultiByteToWideChar(CP_UTF8, 0, m_pending.data(), bytes, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, m_pending.data(), bytes, wide.data(), units);
    m_pending.erase(0, complete);
    const wchar_t* next = wide.data();
    DWORD left = static_cast<DWORD>(wide.size());
    while (left > 0) {
      DWORD written = 0;
      if (WriteConsoleW(m_console, next, left, &written, nullptr) == FALSE || written == 0) {
        return false;
      }
      next += written;
      left -= written;
    }
    return true;
  }

  HANDLE m_console;
  std::string m_pending;
};

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}

void SendToConsoleIfOne(DWORD which, std::ostream& stream) {
  const HANDLE handle = GetStdHandle(which);
  if (IsConsole(handle)) {
    // Lives to the end of the program, as the stream does.
    static_cast<void>(stream.rdbuf(new ConsoleBuffer(handle)));
  }
}

}  // namespace

// The C runtime gives a console program without handles its own; nothing to do.
void OpenStandardDescriptors() {}

// Pipes and files get the UTF-8 bytes as they are.
void PrepareConsole() {
  SendToConsoleIfOne(STD_OUTPUT_HANDLE, std::cout);
  SendToConsoleIfOne(STD_ERROR_HANDLE, std::cerr);
  // Text mode would end standard input at a Ctrl-Z and drop the CR of every CRLF.
  _setmode(_fileno(stdin), _O_BINARY);
}

// The narrow argv is in the ANSI code page, which cannot hold every character.
// Windows tells no reader gone through a descriptor, so `watch` learns it when it writes.
OutputFacts StandardOutputFacts() {
  return {-1, GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_DISK};
}

std::optional<std::vector<std::string>> CommandLineArguments(int /*argc*/, char** /*argv*/) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    return std::nullopt;
  }
  std::optional<std::vector<std::string>> args(std::in_place);
  for (int i = 1; i < count; ++i) {
    std::u16string text;
    for (const wchar_t* unit = wide[i]; *unit != L'\0'; ++unit) {
      text.push_back(static_cast<char16_t>(*unit));
    }
    std::string utf8 = Utf16ToUtf8(text);
    // An unpaired surrogate would come back as U+FFFD: refuse rather than change it.
    if (Utf8ToUtf16(utf8) != text) {
      args.reset();
      break;
    }
    args->push_back(std::move(utf8));
  }
  LocalFree(wide);
  return args;
}

}  // namespace vellmor::cli
