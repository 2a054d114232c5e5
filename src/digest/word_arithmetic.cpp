#include "word_arithmetic.h"

#include <cstddef>

#include "base/run_time_error.h"

namespace vellmor::digest {

namespace {

Word ReadTable(const WordTable& table, int index) {
  if (index < 0 || index >= kTableSize) {
    throw RunTimeError(RunTimeError::kSubscriptOutOfRange);
  }
  return table[static_cast<std::size_t>(index)];
}

}  // namespace

Word LowBitMask(int index) { return ReadTable(LowBitMasks, index); }

Word PowerOfTwo(int index) { return ReadTable(PowersOfTwo, index); }

Word ShiftLeftWord(Word value, int count) {
  if (count == 0) {
    return value;
  }
  if (count == 31) {
    return (value & 1) != 0 ? kSignBit : 0;
  }
  if (count < 0 || count > 31) {
    throw RunTimeError(RunTimeError::kOverflow);
  }
  if ((value & PowerOfTwo(31 - count)) != 0) {
    return ((value & LowBitMask(31 - (count + 1))) * PowerOfTwo(count)) | kSignBit;
  }
  return (value & LowBitMask(31 - count)) * PowerOfTwo(count);
}

Word ShiftRightWord(Word value, int count) {
  if (count == 0) {
    return value;
  }
  if (count == 31) {
    return (value & kSignBit) != 0 ? 1 : 0;
  }
  if (count < 0 || count > 31) {
    throw RunTimeError(RunTimeError::kOverflow);
  }
  Word result = (value & 0x7FFFFFFE) / PowerOfTwo(count);
  if ((value & kSignBit) != 0) {
    result = result | (kBit30 / PowerOfTwo(count - 1));
  }
  return result;
}

Word RotateLeftWord(Word value, int count) {
  const Word left = ShiftLeftWord(value, count);
  const Word right = ShiftRightWord(value, 32 - count);
  return left | right;
}

Word AddWords(Word x, Word y) {
  const Word sx = x & kSignBit;
  const Word sy = y & kSignBit;
  const Word tx = x & kBit30;
  const Word ty = y & kBit30;
  const Word sum = (x & kLow30Bits) + (y & kLow30Bits);
  if ((tx & ty) != 0) {
    return sum ^ kSignBit ^ sx ^ sy;
  }
  if ((tx | ty) != 0) {
    if ((sum & kBit30) != 0) {
      return sum ^ (kSignBit | kBit30) ^ sx ^ sy;
    }
    return sum ^ kBit30 ^ sx ^ sy;
  }
  return sum ^ sx ^ sy;
}

}  // namespace vellmor::digest
