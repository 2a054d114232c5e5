// DigestText over arbitrary texts and length selectors. ASCII texts must give
// OpenSSL's MD5 of their bytes. Other texts are checked against OpenSSL's MD5
// block function run over the words that the packing rule makes of the
// characters' code-page codes (a signed 16-bit code ORed in at its byte).
//
// Input: byte 0 holds flags (bit 0: no text at all; bit 1: ASCII text; bits 2-3:
// selector 32, 16, or bytes 1-2 as a little-endian 16-bit selector). The text is
// what follows byte 2: one byte per character (ASCII, top bit dropped) or two
// bytes per UTF-16 code unit, little-endian. TextDigest fed the text in pieces
// must give the same digest.

#define OPENSSL_SUPPRESS_DEPRECATED  // MD5_Transform: the bare block function.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <openssl/evp.h>
#include <openssl/md5.h>

#include "base/run_time_error.h"
#include "digest/code_page.h"
#include "digest/digest.h"
#include "fuzz_check.h"

namespace {

using vellmor::digest::DigestText;

constexpr std::size_t kHeaderSize = 3;

std::u16string UpperHex(const unsigned char* bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::u16string text;
  for (std::size_t i = 0; i < count; ++i) {
    text.push_back(static_cast<char16_t>(kDigits[bytes[i] >> 4]));
    text.push_back(static_cast<char16_t>(kDigits[bytes[i] & 0xF]));
  }
  return text;
}

std::u16string OpenSslMd5OfAscii(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit));
  }
  std::array<unsigned char, EVP_MAX_MD_SIZE> md{};
  unsigned int mdSize = 0;
  FUZZ_CHECK(EVP_Digest(bytes.data(), bytes.size(), md.data(), &mdSize, EVP_md5(), nullptr) == 1);
  return UpperHex(md.data(), mdSize);
}

std::int16_t CharacterCode(char16_t unit) {
  if (unit < 0x80) {
    return static_cast<std::int16_t>(unit);
  }
  const std::int16_t code = vellmor::digest::AnsiCodeOf(unit);
  // A single-byte code or a double-byte one with a lead byte of 0x81 or above.
  FUZZ_CHECK(code >= 0 ? code <= 0xFF : (code + 65536) >> 8 >= 0x81);
  return code;
}

// The padded message as RFC 1321 lays it out, but with the packing rule's
// characters: each code widened with its sign and ORed in at the character's byte.
std::vector<std::uint32_t> PackedWords(std::u16string_view text) {
  const std::size_t n = text.size();
  std::vector<std::uint32_t> x(((n + 8) / 64 + 1) * 16, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const auto code = static_cast<std::uint32_t>(static_cast<std::int32_t>(CharacterCode(text[i])));
    x[i / 4] |= code << (8 * (i % 4));
  }
  x[n / 4] |= 0x80U << (8 * (n % 4));
  const std::uint64_t bits = static_cast<std::uint64_t>(n) * 8;
  x[x.size() - 2] = static_cast<std::uint32_t>(bits);
  x[x.size() - 1] = static_cast<std::uint32_t>(bits >> 32);
  return x;
}

std::u16string OpenSslMd5OfWords(const std::vector<std::uint32_t>& words) {
  MD5_CTX context;
  MD5_Init(&context);
  std::array<unsigned char, 64> block{};
  for (std::size_t first = 0; first < words.size(); first += 16) {
    for (std::size_t i = 0; i < 16; ++i) {
      for (std::size_t b = 0; b < 4; ++b) {
        block[4 * i + b] = static_cast<unsigned char>(words[first + i] >> (8 * b));
      }
    }
    MD5_Transform(&context, block.data());
  }
  std::array<unsigned char, 16> digest{};
  const std::array<MD5_LONG, 4> chain = {context.A, context.B, context.C, context.D};
  for (std::size_t i = 0; i < 16; ++i) {
    digest[i] = static_cast<unsigned char>(chain[i / 4] >> (8 * (i % 4)));
  }
  return UpperHex(digest.data(), digest.size());
}

std::u16string Digest(std::optional<std::u16string_view> text, std::int16_t length) {
  try {
    return DigestText(text, length);
  } catch (const vellmor::RunTimeError& error) {
    std::fprintf(stderr, "DigestText raised run-time error %d\n", error.code());
    vellmor::fuzz::Fail("DigestText must not fail", __FILE__, __LINE__);
  }
}

bool IsUpperHex(std::u16string_view text) {
  for (const char16_t unit : text) {
    if (!((unit >= u'0' && unit <= u'9') || (unit >= u'A' && unit <= u'F'))) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeaderSize) {
    return 0;
  }
  const std::uint8_t flags = data[0];
  const bool absent = (flags & 1) != 0;
  const bool ascii = (flags & 2) != 0;
  std::int16_t selector = 32;
  switch ((flags >> 2) & 3) {
    case 0:
      break;
    case 1:
      selector = 16;
      break;
    default:
      selector = static_cast<std::int16_t>(data[1] | data[2] << 8);
      break;
  }

  std::u16string text;
  if (ascii) {
    for (std::size_t i = kHeaderSize; i < size; ++i) {
      text.push_back(static_cast<char16_t>(data[i] & 0x7F));
    }
  } else {
    for (std::size_t i = kHeaderSize; i + 1 < size; i += 2) {
      text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }
  }
  const std::optional<std::u16string_view> input =
      absent ? std::nullopt : std::optional<std::u16string_view>(text);
  const std::u16string_view effective = absent ? std::u16string_view() : std::u16string_view(text);

  const std::u16string result = Digest(input, selector);
  const std::size_t expectedLength = selector == 32 ? 32 : selector == 16 ? 16 : 0;
  FUZZ_CHECK(result.size() == expectedLength);
  FUZZ_CHECK(IsUpperHex(result));

  const std::u16string full = Digest(input, 32);
  const std::u16string middle = Digest(input, 16);
  FUZZ_CHECK(full.size() == 32 && middle.size() == 16);
  FUZZ_CHECK(full.substr(8, 16) == middle);
  FUZZ_CHECK(expectedLength == 0 || result == (selector == 32 ? full : middle));
  if (absent) {
    FUZZ_CHECK(full == Digest(std::u16string_view(), 32));
  }

  bool allAscii = true;
  for (const char16_t unit : effective) {
    allAscii = allAscii && unit < 0x80;
  }
  const std::u16string expected =
      allAscii ? OpenSslMd5OfAscii(effective) : OpenSslMd5OfWords(PackedWords(effective));
  FUZZ_CHECK(full == expected);

  // The same text fed in pieces (sizes taken from bytes 1 and 2) digests alike.
  vellmor::digest::TextDigest pieces;
  for (std::size_t at = 0, turn = 0; at < effective.size(); ++turn) {
    const std::size_t piece = 1 + data[1 + turn % 2] % 97U;
    pieces.Feed(effective.substr(at, piece));
    at += piece;
  }
  FUZZ_CHECK(pieces.Finish(32) == full);
  return 0;
}
