#include "selection_rule.h"

namespace vellmor::serial {

namespace {

constexpr std::u16string_view kVid = u"VID";
constexpr char16_t kPieceSeparator = u'\\';

}  // namespace

bool MatchesVidPattern(std::u16string_view identifier) {
  // "*VID*" has no wildcard between the letters, so a plain substring search is the match.
  return identifier.find(kVid) != std::u16string_view::npos;
}

std::u16string_view LastPiece(std::u16string_view identifier) {
  const auto separator = identifier.rfind(kPieceSeparator);
  if (separator == std::u16string_view::npos) {
    return identifier;
  }
  return identifier.substr(separator + 1);
}

std::optional<std::size_t> ChosenIndex(const std::vector<DeviceId>& ids) {
  for (std::size_t i = ids.size(); i > 0; --i) {
    const DeviceId& id = ids[i - 1];
    if (id.kind == DeviceId::Kind::kText && MatchesVidPattern(id.text)) {
      return i - 1;
    }
  }
  return std::nullopt;
}

SerialValue SelectSerial(const std::vector<DeviceId>& ids) {
  const auto chosen = ChosenIndex(ids);
  if (!chosen) {
    return std::nullopt;
  }
  return std::u16string(LastPiece(ids[*chosen].text));
}

}  // namespace vellmor::serial
