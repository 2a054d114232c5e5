#pragma once

#include <string_view>
#include <vector>

#include "device_id.h"

namespace vellmor::serial {

// Case-sensitive "*VID*" match; the identifier's own characters are never wildcards.
bool MatchesVidPattern(std::u16string_view identifier);

// The text after the last backslash, or the whole identifier without one.
std::u16string_view LastPiece(std::u16string_view identifier);

// The rule applied one identifier at a time, in delivery order: the last
// identifier that contains VID decides, later ones without VID change nothing.
class SerialSelection {
 public:
  void Offer(const DeviceId& id);
  const SerialValue& value() const { return m_value; }

 private:
  SerialValue m_value;
};

SerialValue SelectSerial(const std::vector<DeviceId>& ids);

}  // namespace vellmor::serial
