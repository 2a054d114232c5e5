#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace vellmor::digest {

// An unsigned 32-bit word held in a signed integer; bit 31 is the sign bit.
using Word = std::int32_t;

inline constexpr int kTableSize = 31;
using WordTable = std::array<Word, kTableSize>;

inline constexpr Word kSignBit = std::numeric_limits<Word>::min();  // 0x80000000
inline constexpr Word kBit30 = 0x40000000;
inline constexpr Word kLow30Bits = 0x3FFFFFFF;

// Entry n is 2^n and 2^(n+1) - 1. Built by doubling, so no step needs more than 31 bits.
constexpr WordTable MakePowersOfTwo() {
  WordTable table{};
  Word power = 1;
  for (int n = 0; n < kTableSize; ++n) {
    table[static_cast<std::size_t>(n)] = power;
    if (n + 1 < kTableSize) {
      power = power + power;
    }
  }
  return table;
}

constexpr WordTable MakeLowBitMasks() {
  WordTable table = MakePowersOfTwo();
  for (Word& entry : table) {
    entry = entry + (entry - 1);
  }
  return table;
}

// Constants: every fill would write the same values, so the digest writes none.
inline constexpr WordTable PowersOfTwo = MakePowersOfTwo();
inline constexpr WordTable LowBitMasks = MakeLowBitMasks();

// Table reads with a computed index; an index outside 0..30 raises error 9.
Word LowBitMask(int index);
Word PowerOfTwo(int index);

// Counts outside 0..31 (1..31 for the rotation) raise error 6.
Word ShiftLeftWord(Word value, int count);
Word ShiftRightWord(Word value, int count);
Word RotateLeftWord(Word value, int count);
Word AddWords(Word x, Word y);

// The same operations for counts fixed at compile time, for the digest's inner loop: the
// same masks, products and quotients, every intermediate in the signed range, but the bit
// that crosses the sign is settled without a branch on the data. Written this way the
// compiler sees each one as a single machine shift or rotation (it stops seeing it when the
// bit tests sit behind a helper function, so they are spelled out in place).

template <int kCount>
constexpr Word ShiftLeftWordBy(Word value) {
  static_assert(kCount >= 0 && kCount <= 31, "shift count out of range");
  if constexpr (kCount == 0) {
    return value;
  } else if constexpr (kCount == 31) {
    return static_cast<Word>((value & 1) != 0) * kSignBit;
  } else {
    // Bits 0 to 31 - count survive. The top one of them, which lands on the sign bit, is
    // given the weight -2^(31 - count) (XOR, then less its power), so the product carries it
    // to -2^31, the weight of bit 31, and stays between -2^31 and 2^31 - 2^count.
    constexpr Word kLanding = PowersOfTwo[31 - kCount];
    constexpr Word kField = LowBitMasks[31 - kCount];
    constexpr Word kScale = PowersOfTwo[kCount];
    return (((value & kField) ^ kLanding) - kLanding) * kScale;
  }
}

template <int kCount>
constexpr Word ShiftRightWordBy(Word value) {
  static_assert(kCount >= 0 && kCount <= 31, "shift count out of range");
  if constexpr (kCount == 0) {
    return value;
  } else if constexpr (kCount == 31) {
    return static_cast<Word>((value & kSignBit) != 0);
  } else {
    constexpr Word kScale = PowersOfTwo[kCount];
    constexpr Word kSignLanding = kBit30 / PowersOfTwo[kCount - 1];
    return ((value & 0x7FFFFFFE) / kScale) |
           (static_cast<Word>((value & kSignBit) != 0) * kSignLanding);
  }
}

template <int kCount>
constexpr Word RotateLeftWordBy(Word value) {
  static_assert(kCount >= 1 && kCount <= 31, "rotation count out of range");
  return ShiftLeftWordBy<kCount>(value) | ShiftRightWordBy<32 - kCount>(value);
}

// AddWords without its case analysis, for the inner loop. The 31 low bits of x are added to
// y with its sign bit forced on, that is y's low 31 bits less 2^31: the sum lies between
// -2^31 and 2^31 - 2, so it never leaves the signed range, and its bits are those of the
// unsigned sum of the low 31 bits with bit 31 flipped. Flipping it back and XOR-ing in the
// two sign bits gives bit 31 of x + y; the lower bits are already right.
constexpr Word AddWordsBranchless(Word x, Word y) {
  return ((x & LowBitMasks[30]) + (y | kSignBit)) ^ ((x ^ y ^ kSignBit) & kSignBit);
}

}  // namespace vellmor::digest
