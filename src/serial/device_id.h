#pragma once

#include <optional>
#include <string>
#include <utility>

namespace vellmor::serial {

// What CC returns: no value when nothing matched or the query failed, else a
// text, which may be the empty text.
using SerialValue = std::optional<std::u16string>;

// One result's DeviceID as it was read: a text, no value, or a failed read.
struct DeviceId {
  enum class Kind { kText, kMissing, kUnreadable };

  Kind kind = Kind::kMissing;
  std::u16string text;

  static DeviceId Text(std::u16string value) { return {Kind::kText, std::move(value)}; }
  static DeviceId Missing() { return {Kind::kMissing, {}}; }
  static DeviceId Unreadable() { return {Kind::kUnreadable, {}}; }

  bool operator==(const DeviceId&) const = default;
};

}  // namespace vellmor::serial
