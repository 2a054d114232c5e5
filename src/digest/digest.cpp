#include "digest.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "base/hex_digits.h"
#include "code_page.h"

namespace vellmor::digest {

namespace {

constexpr std::array<std::uint32_t, 64> kStepConstantBits = {
    0xD76AA478, 0xE8C7B756, 0x242070DB, 0xC1BDCEEE, 0xF57C0FAF, 0x4787C62A, 0xA8304613, 0xFD469501,
    0x698098D8, 0x8B44F7AF, 0xFFFF5BB1, 0x895CD7BE, 0x6B901122, 0xFD987193, 0xA679438E, 0x49B40821,
    0xF61E2562, 0xC040B340, 0x265E5A51, 0xE9B6C7AA, 0xD62F105D, 0x02441453, 0xD8A1E681, 0xE7D3FBC8,
    0x21E1CDE6, 0xC33707D6, 0xF4D50D87, 0x455A14ED, 0xA9E3E905, 0xFCEFA3F8, 0x676F02D9, 0x8D2A4C8A,
    0xFFFA3942, 0x8771F681, 0x6D9D6122, 0xFDE5380C, 0xA4BEEA44, 0x4BDECFA9, 0xF6BB4B60, 0xBEBFBC70,
    0x289B7EC6, 0xEAA127FA, 0xD4EF3085, 0x04881D05, 0xD9D4D039, 0xE6DB99E5, 0x1FA27CF8, 0xC4AC5665,
    0xF4292244, 0x432AFF97, 0xAB9423A7, 0xFC93A039, 0x655B59C3, 0x8F0CCC92, 0xFFEFF47D, 0x85845DD1,
    0x6FA87E4F, 0xFE2CE6E0, 0xA3014314, 0x4E0811A1, 0xF7537E82, 0xBD3AF235, 0x2AD7D2BB, 0xEB86D391};

constexpr std::array<Word, 64> MakeStepConstants() {
  std::array<Word, 64> constants{};
  for (std::size_t j = 0; j < constants.size(); ++j) {
    constants[j] = static_cast<Word>(kStepConstantBits[j]);
  }
  return constants;
}

constexpr std::array<Word, 64> kStepConstants = MakeStepConstants();

constexpr int kRotationCounts[4][4] = {
    {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr Word kInitialA = 0x67452301;
constexpr Word kInitialB = static_cast<Word>(0xEFCDAB89U);
constexpr Word kInitialC = static_cast<Word>(0x98BADCFEU);
constexpr Word kInitialD = 0x10325476;

constexpr Word kEndMarker = 0x80;
constexpr int kByteMaskIndex = 7;

constexpr std::size_t MessageIndex(std::size_t round, std::size_t i) {
  switch (round) {
    case 0:
      return i;
    case 1:
      return (1 + 5 * i) % 16;
    case 2:
      return (5 + 3 * i) % 16;
    default:
      return (7 * i) % 16;
  }
}

template <std::size_t kRound>
[[gnu::always_inline]] inline Word Round(Word x, Word y, Word z) {
  if constexpr (kRound == 0) {
    return RoundF(x, y, z);
  } else if constexpr (kRound == 1) {
    return RoundG(x, y, z);
  } else if constexpr (kRound == 2) {
    return RoundH(x, y, z);
  } else {
    return RoundI(x, y, z);
  }
}

// The literal step adds F + m, then t, then a. Addition modulo 2^32 does not care about the
// order: m + t is summed for the whole block beforehand, and a joins before F, which leaves
// only F, one addition, the rotation and the last addition on the chain between steps.
template <std::size_t kRound, int kShift>
[[gnu::always_inline]] inline void FixedStep(Word& a, Word b, Word c, Word d, Word m_plus_t) {
  const Word mixed = AddWordsBranchless(Round<kRound>(b, c, d), AddWordsBranchless(a, m_plus_t));
  a = AddWordsBranchless(RotateLeftWordBy<kShift>(mixed), b);
}

using ChainWords = std::array<Word, 4>;
using StepTable = std::array<Word, 64>;

// Entry 16 r + k is the constant of the round-r step that reads message word k, so that a
// block's m + t sums come from one straight loop over the block.
constexpr StepTable MakeConstantsByMessageWord() {
  StepTable table{};
  for (std::size_t j = 0; j < table.size(); ++j) {
    const std::size_t round = j / 16;
    table[16 * round + MessageIndex(round, j % 16)] = kStepConstants[j];
  }
  return table;
}

constexpr StepTable kConstantsByMessageWord = MakeConstantsByMessageWord();

template <std::size_t kStep>
[[gnu::always_inline]] inline void BlockStep(ChainWords& v, const StepTable& m_plus_t) {
  constexpr std::size_t kRound = kStep / 16;
  constexpr std::size_t kTurn = kStep % 4;
  // Turn 0 updates a with (a, b, c, d); turn 1 updates d with (d, a, b, c); and so on.
  constexpr std::size_t kA = (4 - kTurn) % 4;
  constexpr std::size_t kB = (kA + 1) % 4;
  constexpr std::size_t kC = (kA + 2) % 4;
  constexpr std::size_t kD = (kA + 3) % 4;
  constexpr std::size_t kSum = 16 * kRound + MessageIndex(kRound, kStep % 16);
  FixedStep<kRound, kRotationCounts[kRound][kTurn]>(v[kA], v[kB], v[kC], v[kD], m_plus_t[kSum]);
}

template <std::size_t... kSteps>
[[gnu::always_inline]] inline void RunSteps(ChainWords& v, const StepTable& m_plus_t,
                                            std::index_sequence<kSteps...> /*steps*/) {
  (BlockStep<kSteps>(v, m_plus_t), ...);
}

void ProcessBlock(ChainWords& chain, const Word* block) {
  StepTable m_plus_t;
  for (std::size_t round = 0; round < 64; round += 16) {
    for (std::size_t k = 0; k < 16; ++k) {
      m_plus_t[round + k] = AddWordsBranchless(block[k], kConstantsByMessageWord[round + k]);
    }
  }
  ChainWords v = chain;
  RunSteps(v, m_plus_t, std::make_index_sequence<64>());
  for (std::size_t i = 0; i < v.size(); ++i) {
    chain[i] = AddWordsBranchless(chain[i], v[i]);
  }
}

inline Word CharacterCode(char16_t unit) {
  if (unit < 0x80) {
    return static_cast<Word>(unit);
  }
  return static_cast<Word>(AnsiCodeOf(unit));
}

inline Word AsciiCode(char16_t unit) { return static_cast<Word>(unit); }

bool IsAscii(std::u16string_view text) {
  char16_t seen = 0;
  for (const char16_t unit : text) {
    seen = static_cast<char16_t>(seen | unit);
  }
  return seen < 0x80;
}

template <Word (*kCode)(char16_t)>
void PackWholeWords(const char16_t* units, std::size_t word_count, Word* x) {
  for (std::size_t w = 0; w < word_count; ++w, units += 4) {
    x[w] = ShiftLeftWordBy<0>(kCode(units[0])) | ShiftLeftWordBy<8>(kCode(units[1])) |
           ShiftLeftWordBy<16>(kCode(units[2])) | ShiftLeftWordBy<24>(kCode(units[3]));
  }
}

// Four characters to a word. Text of ASCII alone, the common case, needs no code lookup
// and packs in a loop the compiler can vectorise.
[[gnu::always_inline]] inline void PackWords(const char16_t* units, std::size_t word_count,
                                             Word* x) {
  if (IsAscii(std::u16string_view(units, word_count * 4))) {
    PackWholeWords<AsciiCode>(units, word_count, x);
  } else {
    PackWholeWords<CharacterCode>(units, word_count, x);
  }
}

// The characters, then the end marker right behind them in the word of the last ones.
void PackCharactersAndEndMarker(std::u16string_view text, Word* x) {
  const std::size_t n = text.size();
  const std::size_t whole_words = n / 4;
  PackWords(text.data(), whole_words, x);
  Word last = 0;
  for (std::size_t i = whole_words * 4; i < n; ++i) {
    last = last | ShiftLeftWord(CharacterCode(text[i]), static_cast<int>(i % 4) * 8);
  }
  x[whole_words] = last | ShiftLeftWord(kEndMarker, static_cast<int>(n % 4) * 8);
}

void Step(Word (*round)(Word, Word, Word), Word& a, Word b, Word c, Word d, Word m, std::int16_t s,
          Word t) {
  const Word r1 = AddWords(round(b, c, d), m);
  const Word r2 = AddWords(r1, t);
  a = AddWords(a, r2);
  a = RotateLeftWord(a, s);
  a = AddWords(a, b);
}

}  // namespace

Word RoundF(Word x, Word y, Word z) { return (x & y) | (~x & z); }
Word RoundG(Word x, Word y, Word z) { return (x & z) | (y & ~z); }
Word RoundH(Word x, Word y, Word z) { return x ^ y ^ z; }
Word RoundI(Word x, Word y, Word z) { return y ^ (x | ~z); }

void StepF(Word& a, Word b, Word c, Word d, Word m, std::int16_t s, Word t) {
  Step(RoundF, a, b, c, d, m, s, t);
}
void StepG(Word& a, Word b, Word c, Word d, Word m, std::int16_t s, Word t) {
  Step(RoundG, a, b, c, d, m, s, t);
}
void StepH(Word& a, Word b, Word c, Word d, Word m, std::int16_t s, Word t) {
  Step(RoundH, a, b, c, d, m, s, t);
}
void StepI(Word& a, Word b, Word c, Word d, Word m, std::int16_t s, Word t) {
  Step(RoundI, a, b, c, d, m, s, t);
}

std::array<Word, 2> BitCountWords(std::size_t length) {
  // Split so each part fits a word: bits 0..30 of the length, then bits 31..60.
  constexpr std::size_t k2To30 = 1073741824;
  constexpr std::size_t k2To31 = 2 * k2To30;
  const auto low = static_cast<Word>(length % k2To31);
  const auto high = static_cast<Word>(length / k2To31 % k2To30);
  return {ShiftLeftWord(low, 3), ShiftRightWord(low, 29) | ShiftLeftWord(high, 2)};
}

std::vector<Word> PackMessageWords(std::u16string_view text) {
  const std::size_t n = text.size();
  // ((n + 8) div 64 + 1) * 16, written so that n + 8 cannot wrap.
  const std::size_t word_count = (n / 64 + (n % 64 + 8) / 64 + 1) * 16;
  std::vector<Word> x(word_count, 0);
  PackCharactersAndEndMarker(text, x.data());

  const std::array<Word, 2> bit_count = BitCountWords(n);
  x[word_count - 2] = bit_count[0];
  x[word_count - 1] = bit_count[1];
  return x;
}

std::u16string WordToHexText(Word w) {
  std::u16string text;
  text.reserve(8);
  for (int i = 0; i < 4; ++i) {
    const Word byte = ShiftRightWord(w, 8 * i) & LowBitMask(kByteMaskIndex);
    text.push_back(static_cast<char16_t>(UpperHexDigit(static_cast<unsigned>(byte / 16))));
    text.push_back(static_cast<char16_t>(UpperHexDigit(static_cast<unsigned>(byte % 16))));
  }
  return text;
}

std::u16string DigestText(std::optional<std::u16string_view> text, std::int16_t length) {
  TextDigest digest;
  digest.Feed(text.value_or(std::u16string_view()));
  return digest.Finish(length);
}

TextDigest::TextDigest() : m_chain{kInitialA, kInitialB, kInitialC, kInitialD} {}

void TextDigest::ProcessUnits(const char16_t* units) {
  std::array<Word, 16> block;
  PackWords(units, block.size(), block.data());
  ProcessBlock(m_chain, block.data());
}

void TextDigest::Feed(std::u16string_view units) {
  m_length += units.size();
  if (m_pendingCount > 0) {
    const std::size_t taken = std::min(kBlockUnits - m_pendingCount, units.size());
    std::copy_n(units.begin(), taken,
                m_pending.begin() + static_cast<std::ptrdiff_t>(m_pendingCount));
    m_pendingCount += taken;
    units.remove_prefix(taken);
    if (m_pendingCount < kBlockUnits) {
      return;
    }
    ProcessUnits(m_pending.data());
    m_pendingCount = 0;
  }
  for (; units.size() >= kBlockUnits; units.remove_prefix(kBlockUnits)) {
    ProcessUnits(units.data());
  }
  std::copy(units.begin(), units.end(), m_pending.begin());
  m_pendingCount = units.size();
}

std::u16string TextDigest::Finish(std::int16_t length) {
  // The last characters, the end marker right behind them and the two length words:
  // one block, or two when the marker leaves no room for the length.
  const std::size_t n = m_pendingCount;
  std::array<Word, 32> tail{};
  PackCharactersAndEndMarker(std::u16string_view(m_pending.data(), n), tail.data());
  const std::size_t word_count = n + 8 < kBlockUnits ? 16 : 32;
  const std::array<Word, 2> bit_count = BitCountWords(m_length);
  tail[word_count - 2] = bit_count[0];
  tail[word_count - 1] = bit_count[1];
  for (std::size_t k = 0; k < word_count; k += 16) {
    ProcessBlock(m_chain, tail.data() + k);
  }

  const ChainWords& v = m_chain;
  if (length == 16) {
    return WordToHexText(v[1]) + WordToHexText(v[2]);
  }
  if (length == 32) {
    return WordToHexText(v[0]) + WordToHexText(v[1]) + WordToHexText(v[2]) + WordToHexText(v[3]);
  }
  return {};
}

}  // namespace vellmor::digest
