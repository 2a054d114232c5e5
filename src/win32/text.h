#pragma once

#include <string>
#include <string_view>

namespace vellmor::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

// The core's UTF-16 text as the system's wide text, and back; the units are the same.
inline std::wstring Wide(std::u16string_view text) { return {text.begin(), text.end()}; }
inline std::u16string FromWide(std::wstring_view text) { return {text.begin(), text.end()}; }

}  // namespace vellmor::win32
