#include "digest/word_arithmetic.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "base/run_time_error.h"
#include "word_bits.h"

namespace vellmor::digest {
namespace {

constexpr std::uint32_t Bits(Word w) { return static_cast<std::uint32_t>(w); }

// Compile-time evaluation rejects any signed overflow, so these also prove the fixed-count
// forms stay inside the signed range on the words that stress them most.
static_assert(ShiftLeftWordBy<31>(1) == kSignBit);
static_assert(ShiftLeftWordBy<24>(0x80) == kSignBit);
static_assert(ShiftLeftWordBy<1>(-1) == -2);
static_assert(ShiftLeftWordBy<1>(kSignBit) == 0);
static_assert(ShiftLeftWordBy<30>(1) == 0x40000000);
static_assert(ShiftLeftWordBy<30>(2) == kSignBit);
static_assert(ShiftLeftWordBy<30>(-1) == W(0xC0000000));
static_assert(ShiftRightWordBy<1>(kSignBit) == 0x40000000);
static_assert(ShiftRightWordBy<31>(-1) == 1);
static_assert(RotateLeftWordBy<1>(W(0x80000001)) == 3);
static_assert(RotateLeftWordBy<31>(-1) == -1);
static_assert(AddWordsBranchless(-1, -1) == -2);
static_assert(AddWordsBranchless(-1, 1) == 0);
static_assert(AddWordsBranchless(0, 0) == 0);
static_assert(AddWordsBranchless(0x7FFFFFFF, 0x7FFFFFFF) == -2);
static_assert(AddWordsBranchless(kSignBit, kSignBit) == 0);
static_assert(AddWordsBranchless(std::numeric_limits<Word>::max(), 1) == kSignBit);

// Words that sit on every carry and sign boundary, then random ones.
std::vector<Word> TestWords() {
  std::vector<Word> words = {0, 1, 2, 3, -1, -2, kSignBit, W(0x80000001), 0x7FFFFFFF, 0x7FFFFFFE,
                             0x40000000, W(0xC0000000), 0x3FFFFFFF, W(0xBFFFFFFF), 0x80, 0xFF,
                             // The digest's starting words.
                             0x67452301, W(0xEFCDAB89), W(0x98BADCFE), 0x10325476};
  std::mt19937 random(20240607);
  std::uniform_int_distribution<std::uint32_t> any;
  for (int i = 0; i < 3000; ++i) {
    words.push_back(W(any(random)));
  }
  return words;
}

int ErrorCodeOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const RunTimeError& error) {
    return error.code();
  }
  return 0;
}

TEST(WordTables, HoldMasksAndPowersUpToIndex30) {
  for (int n = 0; n < kTableSize; ++n) {
    const std::int64_t power = std::int64_t{1} << n;
    EXPECT_EQ(PowerOfTwo(n), power) << n;
    EXPECT_EQ(LowBitMask(n), 2 * power - 1) << n;
  }
}

TEST(WordTables, IndexOutsideTheTableRaisesError9) {
  for (const int index :
       {31, -1, 32, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}) {
    EXPECT_EQ(ErrorCodeOf([&] { LowBitMask(index); }), RunTimeError::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorCodeOf([&] { PowerOfTwo(index); }), RunTimeError::kSubscriptOutOfRange);
  }
}

TEST(ShiftLeftWord, KnownWords) {
  EXPECT_EQ(ShiftLeftWord(1, 31), kSignBit);
  EXPECT_EQ(ShiftLeftWord(2, 31), 0);
  EXPECT_EQ(ShiftLeftWord(-1, 31), kSignBit);
  EXPECT_EQ(ShiftLeftWord(1, 30), 0x40000000);
  EXPECT_EQ(ShiftLeftWord(2, 30), kSignBit);
  EXPECT_EQ(ShiftLeftWord(3, 30), W(0xC0000000));
  EXPECT_EQ(ShiftLeftWord(0x80, 24), kSignBit);
  EXPECT_EQ(ShiftLeftWord(0x67452301, 4), 0x74523010);
  EXPECT_EQ(ShiftLeftWord(std::int16_t{-1}, 8), W(0xFFFFFF00));
}

TEST(ShiftRightWord, KnownWords) {
  EXPECT_EQ(ShiftRightWord(W(0xEFCDAB89), 4), 0x0EFCDAB8);
  EXPECT_EQ(ShiftRightWord(kSignBit, 31), 1);
  EXPECT_EQ(ShiftRightWord(-1, 31), 1);
  EXPECT_EQ(ShiftRightWord(0x7FFFFFFF, 31), 0);
  EXPECT_EQ(ShiftRightWord(-1, 1), 0x7FFFFFFF);
  EXPECT_EQ(ShiftRightWord(kSignBit, 30), 2);
  for (const Word v : {kSignBit, -1, 0, 0x7FFFFFFF}) {
    EXPECT_EQ(ShiftLeftWord(v, 0), v);
    EXPECT_EQ(ShiftRightWord(v, 0), v);
  }
}

TEST(RotateLeftWord, KnownWords) {
  EXPECT_EQ(RotateLeftWord(W(0x80000001), 1), 3);
  EXPECT_EQ(RotateLeftWord(W(0x98BADCFE), 8), W(0xBADCFE98));
  EXPECT_EQ(RotateLeftWord(W(0x80000001), 31), W(0xC0000000));
}

TEST(AddWords, KnownWords) {
  EXPECT_EQ(AddWords(0x7FFFFFFF, 1), kSignBit);
  EXPECT_EQ(AddWords(-1, 1), 0);
  EXPECT_EQ(AddWords(-1, -1), -2);
  EXPECT_EQ(AddWords(0x40000000, 0x40000000), kSignBit);
  EXPECT_EQ(AddWords(kSignBit, kSignBit), 0);
  EXPECT_EQ(AddWords(W(0xC0000000), 0x40000000), 0);
  EXPECT_EQ(AddWords(0x3FFFFFFF, 1), 0x40000000);
  EXPECT_EQ(AddWords(W(0xEFCDAB89), W(0x98BADCFE)), W(0x88888887));
}

TEST(WordOperations, MatchUnsignedArithmeticForEveryAcceptedCount) {
  const std::vector<Word> words = TestWords();
  for (const Word v : words) {
    const std::uint64_t u = Bits(v);
    for (int count = 0; count <= 31; ++count) {
      ASSERT_EQ(Bits(ShiftLeftWord(v, count)), static_cast<std::uint32_t>(u << count))
          << v << " << " << count;
      ASSERT_EQ(Bits(ShiftRightWord(v, count)), static_cast<std::uint32_t>(u >> count))
          << v << " >> " << count;
    }
    for (int count = 1; count <= 31; ++count) {
      const auto rotated = static_cast<std::uint32_t>((u << count) | (u >> (32 - count)));
      ASSERT_EQ(Bits(RotateLeftWord(v, count)), rotated) << v << " rotl " << count;
    }
  }
  for (std::size_t i = 0; i < words.size(); ++i) {
    for (std::size_t j = 0; j < 40; ++j) {
      const Word x = words[i];
      const Word y = words[(i * 7 + j * 131) % words.size()];
      ASSERT_EQ(Bits(AddWords(x, y)), static_cast<std::uint32_t>(Bits(x) + Bits(y)))
          << x << " + " << y;
    }
  }
}

TEST(WordOperations, RefusedCountsRaiseError6) {
  for (const int count :
       {-1, 32, 33, 64, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
    EXPECT_EQ(ErrorCodeOf([&] { ShiftLeftWord(1, count); }), RunTimeError::kOverflow) << count;
    EXPECT_EQ(ErrorCodeOf([&] { ShiftRightWord(1, count); }), RunTimeError::kOverflow) << count;
  }
  for (const int count :
       {0, 32, -1, 33, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
    EXPECT_EQ(ErrorCodeOf([&] { RotateLeftWord(0x12345678, count); }), RunTimeError::kOverflow)
        << count;
  }
}

template <int kCount>
void ExpectFixedShiftsMatch(const std::vector<Word>& words) {
  for (const Word v : words) {
    ASSERT_EQ(ShiftLeftWordBy<kCount>(v), ShiftLeftWord(v, kCount)) << v << " << " << kCount;
    ASSERT_EQ(ShiftRightWordBy<kCount>(v), ShiftRightWord(v, kCount)) << v << " >> " << kCount;
    if constexpr (kCount >= 1) {
      ASSERT_EQ(RotateLeftWordBy<kCount>(v), RotateLeftWord(v, kCount)) << v << " rotl " << kCount;
    }
  }
}

template <int... kCounts>
void ExpectAllFixedShiftsMatch(const std::vector<Word>& words,
                               std::integer_sequence<int, kCounts...> /*counts*/) {
  (ExpectFixedShiftsMatch<kCounts>(words), ...);
}

TEST(WordOperations, FixedCountFormsMatchTheCheckedOnes) {
  const std::vector<Word> words = TestWords();
  ExpectAllFixedShiftsMatch(words, std::make_integer_sequence<int, 32>());
  for (std::size_t i = 0; i < words.size(); ++i) {
    for (std::size_t j = 0; j < 40; ++j) {
      const Word x = words[i];
      const Word y = words[(i * 13 + j * 101) % words.size()];
      ASSERT_EQ(AddWordsBranchless(x, y), AddWords(x, y)) << x << " + " << y;
    }
  }
}

}  // namespace
}  // namespace vellmor::digest
