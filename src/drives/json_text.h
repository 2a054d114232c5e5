#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vellmor::drives {

// A JSON string literal in UTF-8: quotes, backslashes, C0 and C1 control characters,
// U+2028/2029 and the bidirectional controls escaped, an unpaired surrogate as its \u
// escape so that no text is lost.
std::string JsonString(std::u16string_view text);

// As JsonString, or null for no value.
std::string JsonValue(const std::optional<std::u16string>& text);

}  // namespace vellmor::drives
