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

// The values both tables always hold. Built by doubling, so no step needs more than 31 bits.
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

inline constexpr WordTable kPowersOfTwo = MakePowersOfTwo();
inline constexpr WordTable kLowBitMasks = MakeLowBitMasks();

// Entry n is 2^(n+1) - 1 and 2^n. Rewritten by FillWordTables, read by the shifts.
// They start out holding their values, so the operations work before any digest has run.
// Not guarded: digests run on one thread at a time.
extern WordTable LowBitMasks;
extern WordTable PowersOfTwo;

void FillWordTables();

// Table reads with a computed index; an index outside 0..30 raises error 9.
Word LowBitMask(int index);
Word PowerOfTwo(int index);

// Counts outside 0..31 (1..31 for the rotation) raise error 6.
Word ShiftLeftWord(Word value, int count);
Word ShiftRightWord(Word value, int count);
Word RotateLeftWord(Word value, int count);
Word AddWords(Word x, Word y);

// The same operations for counts fixed at compile time, for the digest's inner loop. They
// build their results from the same masks, products and quotients, but pick between the
// cases arithmetically (a bit times a constant) instead of branching on the data.

// 1 when bit 31 of value is set, else 0.
constexpr Word SignBitOf(Word value) { return (value & kSignBit) / kSignBit; }

template <int kCount>
constexpr Word ShiftLeftWordBy(Word value) {
  static_assert(kCount >= 0 && kCount <= 31, "shift count out of range");
  if constexpr (kCount == 0) {
    return value;
  } else if constexpr (kCount == 31) {
    return (value & 1) * kSignBit;
  } else {
    // Bit 31 - count lands on the sign bit; it enters through the OR, never the product.
    constexpr Word kLanding = kPowersOfTwo[31 - kCount];
    constexpr Word kKeep = kLowBitMasks[30 - kCount];
    constexpr Word kScale = kPowersOfTwo[kCount];
    return ((value & kKeep) * kScale) | (((value & kLanding) / kLanding) * kSignBit);
  }
}

template <int kCount>
constexpr Word ShiftRightWordBy(Word value) {
  static_assert(kCount >= 0 && kCount <= 31, "shift count out of range");
  if constexpr (kCount == 0) {
    return value;
  } else if constexpr (kCount == 31) {
    return SignBitOf(value);
  } else {
    constexpr Word kScale = kPowersOfTwo[kCount];
    constexpr Word kSignLanding = kBit30 / kPowersOfTwo[kCount - 1];
    return ((value & 0x7FFFFFFE) / kScale) | (SignBitOf(value) * kSignLanding);
  }
}

template <int kCount>
constexpr Word RotateLeftWordBy(Word value) {
  static_assert(kCount >= 1 && kCount <= 31, "rotation count out of range");
  return ShiftLeftWordBy<kCount>(value) | ShiftRightWordBy<32 - kCount>(value);
}

// AddWords with the carry into bit 31 taken as a 0/1 value instead of a branch.
constexpr Word AddWordsBranchless(Word x, Word y) {
  const Word tx = x & kBit30;
  const Word ty = y & kBit30;
  const Word sum = (x & kLow30Bits) + (y & kLow30Bits);
  const Word carry = (tx & ty) | (sum & (tx ^ ty));
  return sum ^ tx ^ ty ^ ((carry / kBit30) * kSignBit) ^ (x & kSignBit) ^ (y & kSignBit);
}

}  // namespace vellmor::digest
