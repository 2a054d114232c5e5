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

}  // namespace vellmor::digest
