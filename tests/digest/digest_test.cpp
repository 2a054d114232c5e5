#include "digest/digest.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "digest/code_page.h"
#include "word_bits.h"

namespace vellmor::digest {
namespace {

std::string OpenSslMd5(const std::string& bytes) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), md, &size, EVP_md5(), nullptr);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    const unsigned char byte = md[i];
    hex.push_back(kDigits[byte / 16]);
    hex.push_back(kDigits[byte % 16]);
  }
  return hex;
}

std::u16string Widen(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

std::string Narrow(const std::u16string& hex) {
  std::string out;
  for (const char16_t unit : hex) {
    out.push_back(static_cast<char>(unit));
  }
  return out;
}

std::string Digest32(std::u16string_view text) { return Narrow(DigestText(text, 32)); }

std::string RandomAscii(std::mt19937& random, std::size_t length) {
  std::uniform_int_distribution<int> unit(0, 127);
  std::string text(length, '\0');
  for (char& c : text) {
    c = static_cast<char>(unit(random));
  }
  return text;
}

// The message words the digest must see, built the slow way: one OR per character.
std::vector<Word> ExpectedWords(std::u16string_view text, std::size_t word_count) {
  std::vector<Word> x(word_count, 0);
  const auto or_byte = [&](std::size_t position, std::int64_t code) {
    const std::uint64_t shifted = static_cast<std::uint64_t>(code) << (8 * (position % 4));
    x[position / 4] |= static_cast<Word>(static_cast<std::uint32_t>(shifted));
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    or_byte(i, text[i] < 0x80 ? text[i] : AnsiCodeOf(text[i]));
  }
  or_byte(text.size(), 0x80);
  const std::uint64_t bits = static_cast<std::uint64_t>(text.size()) * 8;
  x[word_count - 2] = static_cast<Word>(static_cast<std::uint32_t>(bits));
  x[word_count - 1] = static_cast<Word>(static_cast<std::uint32_t>(bits >> 32));
  return x;
}

// The digest driven through the checked step operations, with constants derived from the sine.
std::string StepwiseDigest(std::u16string_view text) {
  static constexpr std::int16_t kShifts[4][4] = {
      {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
  using StepFunction = void (*)(Word&, Word, Word, Word, Word, std::int16_t, Word);
  static constexpr StepFunction kSteps[4] = {StepF, StepG, StepH, StepI};
  const std::vector<Word> x = PackMessageWords(text);
  Word v[4] = {0x67452301, W(0xEFCDAB89), W(0x98BADCFE), 0x10325476};
  for (std::size_t k = 0; k < x.size(); k += 16) {
    const Word saved[4] = {v[0], v[1], v[2], v[3]};
    for (int j = 0; j < 64; ++j) {
      const int round = j / 16;
      const int i = j % 16;
      const int g = round == 0   ? i
                    : round == 1 ? (1 + 5 * i) % 16
                    : round == 2 ? (5 + 3 * i) % 16
                                 : (7 * i) % 16;
      const auto t =
          static_cast<std::uint32_t>(std::floor(std::fabs(std::sin(j + 1.0)) * 4294967296.0));
      const int a = (4 - j % 4) % 4;
      kSteps[round](v[a], v[(a + 1) % 4], v[(a + 2) % 4], v[(a + 3) % 4],
                    x[k + static_cast<std::size_t>(g)], kShifts[round][j % 4], W(t));
    }
    for (int n = 0; n < 4; ++n) {
      v[n] = AddWords(v[n], saved[n]);
    }
  }
  std::u16string hex;
  for (const Word word : v) {
    hex += WordToHexText(word);
  }
  return Narrow(hex);
}

TEST(DigestText, EmptyAndAbsentTextGiveTheEmptyDigest) {
  EXPECT_EQ(Digest32(u""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(Narrow(DigestText(std::nullopt, 32)), "D41D8CD98F00B204E9800998ECF8427E");
}

TEST(DigestText, LengthSelector) {
  EXPECT_EQ(Digest32(u"abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Narrow(DigestText(u"abc", 16)), "3CD24FB0D6963F7D");
  for (const int other : {0, 20, -32, 31, 33, -16, 32767}) {
    EXPECT_EQ(DigestText(u"abc", static_cast<std::int16_t>(other)), u"") << other;
  }
}

TEST(DigestText, AsciiTextsMatchOpenSsl) {
  std::mt19937 random(1321);
  for (std::size_t length = 0; length <= 300; ++length) {
    for (int repeat = 0; repeat < 3; ++repeat) {
      const std::string text = RandomAscii(random, length);
      ASSERT_EQ(Digest32(Widen(text)), OpenSslMd5(text)) << "length " << length;
    }
  }
  for (const std::size_t length : {4095U, 65536U, 65599U, 1U << 20}) {
    const std::string text = RandomAscii(random, length);
    EXPECT_EQ(Digest32(Widen(text)), OpenSslMd5(text)) << "length " << length;
  }
}

TEST(DigestText, SixteenCharactersAreTheMiddleOfThirtyTwo) {
  for (const std::u16string_view text : {u"", u"abc", u"中文序列号", u"A中B\xD800"}) {
    const std::u16string whole = DigestText(text, 32);
    ASSERT_EQ(whole.size(), 32U);
    EXPECT_EQ(DigestText(text, 16), whole.substr(8, 16));
  }
}

TEST(DigestText, BlockBoundaries) {
  const std::pair<std::size_t, std::size_t> kWordCounts[] = {{55, 16}, {56, 32},  {63, 32},
                                                             {64, 32}, {119, 32}, {120, 48}};
  for (const auto& [length, word_count] : kWordCounts) {
    const std::string text(length, 'q');
    EXPECT_EQ(PackMessageWords(Widen(text)).size(), word_count) << length;
    EXPECT_EQ(Digest32(Widen(text)), OpenSslMd5(text)) << length;
  }
}

TEST(DigestText, MatchesTheCheckedStepOperationsOnAnyText) {
  std::mt19937 random(936);
  std::uniform_int_distribution<int> unit(0, 0xFFFF);
  std::uniform_int_distribution<int> kind(0, 3);
  for (std::size_t length = 0; length <= 140; ++length) {
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i) {
      // Mostly ASCII and CJK, with any other unit mixed in.
      const int k = kind(random);
      const int value = k == 0   ? unit(random) % 0x80
                        : k == 1 ? 0x4E00 + unit(random) % 0x5000
                                 : unit(random);
      text.push_back(static_cast<char16_t>(value));
    }
    const std::string expected = StepwiseDigest(text);
    ASSERT_EQ(Digest32(text), expected) << "length " << length;

    // The same text fed in pieces of any size, single characters among them.
    TextDigest pieces;
    for (std::size_t at = 0; at < length;) {
      const std::size_t size = std::min<std::size_t>(length - at, 1 + random() % 70);
      pieces.Feed(std::u16string_view(text).substr(at, size));
      at += size;
    }
    ASSERT_EQ(Narrow(pieces.Finish(32)), expected) << "fed in pieces, length " << length;
  }
}

TEST(DigestText, SingleByteCodesArePlainBytesAndUnmappedCharactersQuestionMarks) {
  // U+20AC is the single byte 0x80 in code page 936.
  EXPECT_EQ(Digest32(u"x\u20ACy"), OpenSslMd5("x\x80y"));
  EXPECT_EQ(Digest32(u"a\xD800"
                     u"b\u0E01"),
            OpenSslMd5("a?b?"));
  EXPECT_EQ(Digest32(u"\U0001F600"), OpenSslMd5("??"));
}

TEST(StepOperations, FollowTheMd5Step) {
  const auto rotl = [](std::uint32_t v, int s) { return (v << s) | (v >> (32 - s)); };
  std::mt19937 random(7);
  std::uniform_int_distribution<std::uint32_t> any;
  for (int i = 0; i < 2000; ++i) {
    const std::uint32_t a = any(random), b = any(random), c = any(random), d = any(random);
    const std::uint32_t m = any(random), t = any(random);
    const int s = 1 + i % 31;
    const std::uint32_t f[4] = {(b & c) | (~b & d), (b & d) | (c & ~d), b ^ c ^ d, c ^ (b | ~d)};
    Word results[4] = {W(a), W(a), W(a), W(a)};
    const auto s16 = static_cast<std::int16_t>(s);
    StepF(results[0], W(b), W(c), W(d), W(m), s16, W(t));
    StepG(results[1], W(b), W(c), W(d), W(m), s16, W(t));
    StepH(results[2], W(b), W(c), W(d), W(m), s16, W(t));
    StepI(results[3], W(b), W(c), W(d), W(m), s16, W(t));
    for (int n = 0; n < 4; ++n) {
      ASSERT_EQ(static_cast<std::uint32_t>(results[n]), b + rotl(a + f[n] + m + t, s))
          << "round " << n;
    }
  }
}

TEST(PackMessageWords, AsciiAndDoubleByteCharacters) {
  const auto expect_words = [](std::u16string_view text, Word first, Word bits) {
    const std::vector<Word> x = PackMessageWords(text);
    ASSERT_EQ(x.size(), 16U);
    for (std::size_t i = 0; i < x.size(); ++i) {
      const Word expected = i == 0 ? first : i == 14 ? bits : 0;
      EXPECT_EQ(x[i], expected) << "word " << i;
    }
  };
  expect_words(u"abc", W(0x80636261), 24);
  expect_words(u"中", W(0xFFFFD6D0), 8);
  expect_words(u"A中B", W(0xFFD6D041), 24);
}

TEST(PackMessageWords, EveryPositionOfANegativeCode) {
  for (std::size_t length = 1; length <= 70; ++length) {
    for (std::size_t at = 0; at < length; at += 3) {
      std::u16string text(length, u'z');
      text[at] = u'中';
      const std::vector<Word> x = PackMessageWords(text);
      ASSERT_EQ(x, ExpectedWords(text, x.size())) << length << " at " << at;
    }
  }
}

TEST(BitCountWords, LengthTimesEightAsTwoWords) {
  for (const std::uint64_t length :
       {0ULL, 1ULL, (1ULL << 28) - 1, 1ULL << 28, 1ULL << 29, (1ULL << 31) - 1, 1ULL << 31,
        (1ULL << 32) + 5, (1ULL << 61) - 1, 1ULL << 61, ~0ULL / 2}) {
    if (length > SIZE_MAX) {
      continue;
    }
    const std::uint64_t bits = length * 8;
    const std::array<Word, 2> words = BitCountWords(static_cast<std::size_t>(length));
    EXPECT_EQ(static_cast<std::uint32_t>(words[0]), static_cast<std::uint32_t>(bits)) << length;
    EXPECT_EQ(static_cast<std::uint32_t>(words[1]), static_cast<std::uint32_t>(bits >> 32))
        << length;
  }
}

TEST(WordToHexText, LeastSignificantByteFirst) {
  EXPECT_EQ(WordToHexText(0x67452301), u"01234567");
  EXPECT_EQ(WordToHexText(W(0xEFCDAB89)), u"89ABCDEF");
  EXPECT_EQ(WordToHexText(10), u"0A000000");
  EXPECT_EQ(WordToHexText(-1), u"FFFFFFFF");
  EXPECT_EQ(WordToHexText(0), u"00000000");
}

}  // namespace
}  // namespace vellmor::digest
