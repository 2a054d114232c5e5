#include "digest_command.h"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "base/utf.h"
#include "cli.h"
#include "digest/digest.h"
#include "serial/read_serial_command.h"

namespace vellmor::cli {

namespace {

// UTF-8 that comes in pieces, decoded as it comes and fed to the digest; a
// sequence cut by a piece's end waits for the next piece.
class Utf8DigestFeeder {
 public:
  // False when the bytes are not UTF-8.
  bool Feed(std::string_view bytes) {
    m_carry.append(bytes);
    const std::size_t complete = m_carry.size() - IncompleteUtf8Tail(m_carry);
    const auto units = Utf8ToUtf16(std::string_view(m_carry).substr(0, complete));
    if (!units) {
      return false;
    }
    m_digest.Feed(*units);
    m_fallen += digest::CountFallenToQuestionMarks(*units);
    m_carry.erase(0, complete);
    return true;
  }

  // No value when the text ends inside a character.
  std::optional<std::u16string> Finish(std::int16_t length) {
    if (!m_carry.empty()) {
      return std::nullopt;
    }
    return m_digest.Finish(length);
  }

  const digest::FallenToQuestionMarks& fallen() const { return m_fallen; }

 private:
  digest::TextDigest m_digest;
  std::string m_carry;
  digest::FallenToQuestionMarks m_fallen;
};

constexpr std::size_t kDigestPieceBytes = std::size_t{64} * 1024;

}  // namespace

void WriteCodePageNote(const digest::FallenToQuestionMarks& fallen, std::ostream& err) {
  if (fallen.characters == 0) {
    return;
  }
  const bool one = fallen.characters == 1;
  err << kProgramName << ": note: " << fallen.characters
      << (one ? " character has" : " characters have") << " no code in code page "
      << digest::CodePageOfCodes() << " and " << (one ? "counts" : "count") << " as \"?\"";
  if (fallen.question_marks != fallen.characters) {
    err << " (" << fallen.question_marks << " \"?\" in all)";
  }
  err << '\n';
}

// Standard input and a long TEXT alike go in pieces, so memory stays the same for any length.
int RunDigest(const Options& options, std::istream& in, std::ostream& out, std::ostream& err) {
  Utf8DigestFeeder feeder;
  bool valid = true;
  if (options.text) {
    const std::string_view text = *options.text;
    for (std::size_t at = 0; valid && at < text.size(); at += kDigestPieceBytes) {
      valid = feeder.Feed(text.substr(at, kDigestPieceBytes));
    }
  } else {
    std::string piece(kDigestPieceBytes, '\0');
    while (valid && in) {
      in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
      valid = feeder.Feed(std::string_view(piece).substr(0, static_cast<std::size_t>(in.gcount())));
    }
    if (in.bad()) {
      return Fail(err, "cannot read standard input", kExitFailure);
    }
  }
  const auto digest =
      valid ? feeder.Finish(options.length.value_or(serial::kDigestLength)) : std::nullopt;
  if (!digest) {
    return Fail(err, options.text ? "TEXT is not valid UTF-8" : "standard input is not valid UTF-8",
                kExitUsage);
  }
  out << Utf16ToUtf8(*digest) << '\n';
  WriteCodePageNote(feeder.fallen(), err);
  return kExitOk;
}

}  // namespace vellmor::cli
