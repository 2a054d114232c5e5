#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vellmor {

// Strict UTF-8 to UTF-16; no value for ill-formed input (overlongs, surrogates, truncation).
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// The bytes at the end of `utf8` that begin a sequence not yet complete: what to keep
// back when text comes in pieces.
std::size_t IncompleteUtf8Tail(std::string_view utf8);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Each byte as the code point of the same value (Latin-1): for names the system keeps in
// ASCII, where a stray byte must still come out as one character and never as a surrogate.
std::u16string Widen(std::string_view bytes);

// a to z raised to A to Z, everything else kept: identifiers and serials compare this way.
std::u16string AsciiUpperCase(std::u16string_view text);
// A to Z lowered to a to z, everything else kept.
std::u16string AsciiLowerCase(std::u16string_view text);

}  // namespace vellmor
