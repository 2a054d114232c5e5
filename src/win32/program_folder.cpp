#include "program_folder.h"

#include <windows.h>

namespace vellmor::win32 {

std::string ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return {};
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::size_t cut = path.find_last_of(L'\\');
  if (cut == std::wstring::npos) {
    return {};
  }
  // "C:\Vellmor.exe" keeps the root's backslash.
  if (cut == 2 && path[1] == L':') {
    ++cut;
  }
  path.resize(cut);
  const int size = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string folder(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), folder.data(), size,
                      nullptr, nullptr);
  return folder;
}

}  // namespace vellmor::win32
