// Prints, for every UTF-16 code unit 0000 to FFFF, one line with the unit's code
// as Windows' WideCharToMultiByte(CODE_PAGE, 0, ...) gives it: a single byte b as
// b, a lead and trail byte L T as L * 256 + T - 65536. Run under wine (whose code
// page 936 follows Microsoft's published best-fit table for it) this is where
// the Linux table comes from, and what the Windows check compares it with.
// Usage: wide_char_codes.exe [CODE_PAGE]   (default 936)
#include <cstdio>
#include <cstdlib>

#include <windows.h>

int main(int argc, char** argv) {
  const UINT code_page = argc > 1 ? static_cast<UINT>(std::strtoul(argv[1], nullptr, 10)) : 936U;
  if (IsValidCodePage(code_page) == FALSE) {
    std::fprintf(stderr, "code page %u is not installed\n", code_page);
    return 1;
  }
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
    const auto wide = static_cast<wchar_t>(unit);
    unsigned char bytes[4] = {};
    const int count = WideCharToMultiByte(code_page, 0, &wide, 1, reinterpret_cast<char*>(bytes),
                                          sizeof(bytes), nullptr, nullptr);
    int code = 0;
    if (count == 1) {
      code = bytes[0];
    } else if (count == 2) {
      code = bytes[0] * 256 + bytes[1] - 65536;
    } else {
      std::fprintf(stderr, "U+%04X: WideCharToMultiByte gave %d bytes (error %lu)\n", unit, count,
                   GetLastError());
      return 1;
    }
    std::printf("%d\n", code);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
