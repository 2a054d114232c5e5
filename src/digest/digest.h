#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "word_arithmetic.h"

namespace vellmor::digest {

Word RoundF(Word x, Word y, Word z);
Word RoundG(Word x, Word y, Word z);
Word RoundH(Word x, Word y, Word z);
Word RoundI(Word x, Word y, Word z);

void StepF(Word& a, Word b, Word c, Word d, Word m, std::int16_t s, Word t);
void StepG(Word& a, Word b, Word c, Word d, Word m, std::int16_t s, Word t);
void StepH(Word& a, Word b, Word c, Word d, Word m, std::int16_t s, Word t);
void StepI(Word& a, Word b, Word c, Word d, Word m, std::int16_t s, Word t);

// The text, its end marker and its bit count, least significant byte first.
std::vector<Word> PackMessageWords(std::u16string_view text);

// The message length in bits, length * 8 modulo 2^64, as two words, low word first. Holds for
// any length, not only those whose bit count fits in a word.
std::array<Word, 2> BitCountWords(std::size_t length);

// The four bytes of w in upper-case hexadecimal, least significant byte first.
std::u16string WordToHexText(Word w);

// MD5 of the text as upper-case hexadecimal: 32 characters for length 32, the
// middle 16 for length 16, empty for any other length. No text reads as empty text.
std::u16string DigestText(std::optional<std::u16string_view> text, std::int16_t length);

// DigestText over a text that comes in pieces, in constant memory: feeding the
// pieces in order and finishing gives DigestText of the whole text. Each block of
// 64 characters packs on its own, so only the last characters wait for the end
// marker and the length.
class TextDigest {
 public:
  TextDigest();

  void Feed(std::u16string_view units);
  // The digest text as DigestText gives it; the object is spent afterwards.
  std::u16string Finish(std::int16_t length);

 private:
  static constexpr std::size_t kBlockUnits = 64;

  void ProcessUnits(const char16_t* units);

  std::array<Word, 4> m_chain;
  std::array<char16_t, kBlockUnits> m_pending{};
  std::size_t m_pendingCount = 0;
  std::size_t m_length = 0;
};

}  // namespace vellmor::digest
