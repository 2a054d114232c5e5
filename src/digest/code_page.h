#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vellmor::digest {

// The character's code in the system's ANSI code page (code page 936 where the
// system has none), as a signed 16-bit number: a single-byte code b gives b, a
// double-byte code L T gives L * 256 + T - 65536. A unit the code page lacks,
// an unpaired surrogate included, gives the code of "?".
std::int16_t AnsiCodeOf(char16_t unit);

// The number of the code page AnsiCodeOf takes its codes from.
unsigned CodePageOfCodes();

// The characters of a text that have no code of their own and count as "?" (a pair of
// surrogates is one character and two "?").
struct FallenToQuestionMarks {
  std::size_t characters = 0;
  std::size_t question_marks = 0;

  FallenToQuestionMarks& operator+=(const FallenToQuestionMarks& more) {
    characters += more.characters;
    question_marks += more.question_marks;
    return *this;
  }
};

// A text cut between the two halves of a pair counts them as two characters.
FallenToQuestionMarks CountFallenToQuestionMarks(std::u16string_view text);

}  // namespace vellmor::digest
