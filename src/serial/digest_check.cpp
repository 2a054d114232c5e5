#include "digest_check.h"

#include <algorithm>
#include <utility>

#include "base/utf.h"
#include "digest/digest.h"
#include "read_serial_command.h"
#include "selection_rule.h"

namespace vellmor::serial {

std::optional<std::u16string> ParseDigest(std::string_view text) {
  constexpr std::size_t kDigits = 32;
  if (text.size() != kDigits || !std::ranges::all_of(text, [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
      })) {
    return std::nullopt;
  }
  return AsciiUpperCase(std::u16string(text.begin(), text.end()));
}

std::optional<DigestMatch> FindDigestMatch(const std::vector<DeviceId>& ids,
                                           const std::vector<std::u16string>& digests) {
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (ids[i].kind != DeviceId::Kind::kText || !MatchesVidPattern(ids[i].text)) {
      continue;
    }
    // An empty serial is no serial, though its digest is a well-known one.
    const std::u16string_view serial = LastPiece(ids[i].text);
    if (serial.empty()) {
      continue;
    }
    std::u16string digest = digest::DigestText(serial, kDigestLength);
    if (std::ranges::find(digests, digest) != digests.end()) {
      return DigestMatch{i, std::u16string(serial), std::move(digest)};
    }
  }
  return std::nullopt;
}

}  // namespace vellmor::serial
