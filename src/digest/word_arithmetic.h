#pragma once

#include <array>
#include <cstdint>

namespace vellmor::digest {

// An unsigned 32-bit word held in a signed integer; bit 31 is the sign bit.
using Word = std::int32_t;

inline constexpr int kTableSize = 31;
using WordTable = std::array<Word, kTableSize>;

// Entry n is 2^(n+1) - 1 and 2^n. Written by FillWordTables, read by the shifts.
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

}  // namespace vellmor::digest
