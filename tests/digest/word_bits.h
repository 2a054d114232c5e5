#pragma once

#include <cstdint>

#include "digest/word_arithmetic.h"

namespace vellmor::digest {

// A word written as its bits, as the digest's constants are.
constexpr Word W(std::uint32_t bits) { return static_cast<Word>(bits); }

}  // namespace vellmor::digest
