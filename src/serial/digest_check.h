#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device_id.h"

namespace vellmor::serial {

// A digest as a licence holds it: 32 hexadecimal digits in either case, given back in
// the upper case the digest is written in; no value for anything else.
std::optional<std::u16string> ParseDigest(std::string_view text);

struct DigestMatch {
  std::size_t index;      // of the identifier
  std::u16string serial;  // its last piece
  std::u16string digest;  // upper case
};

// The first identifier, in delivery order, that contains VID and whose serial, not empty, digests
// to one of `digests` (upper case). Every such identifier counts, not only the one the
// read action picks: a licence holds whichever stick it was issued for.
std::optional<DigestMatch> FindDigestMatch(const std::vector<DeviceId>& ids,
                                           const std::vector<std::u16string>& digests);

}  // namespace vellmor::serial
