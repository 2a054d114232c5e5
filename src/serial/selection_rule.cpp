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

void SerialSelection::Offer(const DeviceId& id) {
  if (id.kind != DeviceId::Kind::kText || !MatchesVidPattern(id.text)) {
    return;
  }
  m_value = std::u16string(LastPiece(id.text));
}

SerialValue SelectSerial(const std::vector<DeviceId>& ids) {
  SerialSelection selection;
  for (const DeviceId& id : ids) {
    selection.Offer(id);
  }
  return selection.value();
}

}  // namespace vellmor::serial
