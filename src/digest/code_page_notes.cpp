#include "code_page.h"

namespace vellmor::digest {

namespace {

constexpr std::int16_t kQuestionMark = 63;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool Falls(char16_t unit) { return unit != u'?' && AnsiCodeOf(unit) == kQuestionMark; }

}  // namespace

FallenToQuestionMarks CountFallenToQuestionMarks(std::u16string_view text) {
  FallenToQuestionMarks fallen;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!Falls(text[i])) {
      continue;
    }
    ++fallen.characters;
    ++fallen.question_marks;
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]) &&
        Falls(text[i + 1])) {
      ++fallen.question_marks;
      ++i;
    }
  }
  return fallen;
}

}  // namespace vellmor::digest
