#include "selection_rule.h"

#include <algorithm>
#include <string>

namespace vellmor::serial {

namespace {

constexpr std::u16string_view kVid = u"VID";
constexpr char16_t kPieceSeparator = u'\\';
constexpr std::u16string_view kInterfaceMark = u"&MI_";

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c; }

bool SameText(std::u16string_view a, std::u16string_view b) {
  return std::ranges::equal(a, b, [](char16_t x, char16_t y) { return Upper(x) == Upper(y); });
}

// "USB\VID_v&PID_p" for "USB\VID_v&PID_p&MI_nn\instance"; the node itself otherwise.
struct StorageNode {
  std::u16string_view text;
  bool interface_node = false;
};

StorageNode NodeOf(std::u16string_view id) {
  const auto last = id.rfind(kPieceSeparator);
  const auto first = id.find(kPieceSeparator);
  if (last == std::u16string_view::npos || first == last) {
    return {id};
  }
  const std::u16string_view device = id.substr(0, last);
  std::u16string upper(device);
  std::ranges::transform(upper, upper.begin(), Upper);
  const auto mark = upper.find(kInterfaceMark, first);
  if (mark == std::u16string_view::npos) {
    return {id};
  }
  return {device.substr(0, mark), true};
}

bool BelongsTo(std::u16string_view id, const StorageNode& node) {
  if (!node.interface_node) {
    return SameText(id, node.text);
  }
  const auto last = id.rfind(kPieceSeparator);
  return last != std::u16string_view::npos && SameText(id.substr(0, last), node.text);
}

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

std::vector<bool> StorageEntries(const std::vector<DeviceId>& ids,
                                 const std::vector<DeviceId>& storage_nodes) {
  std::vector<StorageNode> nodes;
  for (const DeviceId& node : storage_nodes) {
    if (node.kind == DeviceId::Kind::kText) {
      nodes.push_back(NodeOf(node.text));
    }
  }
  std::vector<bool> storage(ids.size(), false);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    storage[i] = ids[i].kind == DeviceId::Kind::kText &&
                 std::ranges::any_of(
                     nodes, [&](const StorageNode& node) { return BelongsTo(ids[i].text, node); });
  }
  return storage;
}

std::optional<std::size_t> ChosenStorageIndex(const std::vector<DeviceId>& ids,
                                              const std::vector<bool>& storage) {
  for (std::size_t i = std::min(ids.size(), storage.size()); i > 0; --i) {
    const DeviceId& id = ids[i - 1];
    if (storage[i - 1] && id.kind == DeviceId::Kind::kText && MatchesVidPattern(id.text)) {
      return i - 1;
    }
  }
  return std::nullopt;
}

}  // namespace vellmor::serial
