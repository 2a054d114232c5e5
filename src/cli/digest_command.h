#pragma once

#include <iosfwd>

#include "digest/code_page.h"

#include "options.h"

namespace vellmor::cli {

// `digest`: the digest of TEXT, or of all of standard input.
int RunDigest(const Options& options, std::istream& in, std::ostream& out, std::ostream& err);

// The note on standard error when characters of the digested text count as "?".
void WriteCodePageNote(const digest::FallenToQuestionMarks& fallen, std::ostream& err);

}  // namespace vellmor::cli
