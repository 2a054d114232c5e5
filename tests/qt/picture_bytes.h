#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace vellmor::ui::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadPicture(const std::string& name) {
  std::ifstream in(std::string(VELLMOR_PICTURES_DIR) + "/" + name, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + name);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The little-endian number of size bytes at `at`; throws past the end.
inline std::uint32_t Le(const Bytes& b, std::size_t at, std::size_t size) {
  if (at + size > b.size()) throw std::runtime_error("file ends early");
  std::uint32_t v = 0;
  for (std::size_t i = size; i-- > 0;) v = (v << 8) | b[at + i];
  return v;
}

}  // namespace vellmor::ui::test
