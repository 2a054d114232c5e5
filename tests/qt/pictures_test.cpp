#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include <QImage>
#include <QImageReader>
#include <QString>

#include "picture_bytes.h"

namespace {

using vellmor::ui::test::Bytes;
using vellmor::ui::test::Le;
using vellmor::ui::test::ReadPicture;

// A one-image .ico or .cur with an uncompressed palette bitmap and its AND mask.
struct Icon {
  explicit Icon(const std::string& name) : bytes(ReadPicture(name)) {
    type = Le(bytes, 2, 2);
    count = Le(bytes, 4, 2);
    width = bytes.at(6) == 0 ? 256 : bytes.at(6);
    height = bytes.at(7) == 0 ? 256 : bytes.at(7);
    colours = bytes.at(8);
    field1 = Le(bytes, 10, 2);
    field2 = Le(bytes, 12, 2);
    size = Le(bytes, 14, 4);
    offset = Le(bytes, 18, 4);
    header_size = Le(bytes, offset, 4);
    dib_width = Le(bytes, offset + 4, 4);
    dib_height = Le(bytes, offset + 8, 4);
    planes = Le(bytes, offset + 12, 2);
    bits = Le(bytes, offset + 14, 2);
    compression = Le(bytes, offset + 16, 4);
  }

  std::size_t XorStride() const { return (std::size_t{width} * bits + 31) / 32 * 4; }
  std::size_t AndStride() const { return (std::size_t{width} + 31) / 32 * 4; }
  std::size_t XorStart() const { return offset + header_size + 4 * (std::size_t{1} << bits); }
  std::size_t AndStart() const { return XorStart() + XorStride() * height; }

  // Rows are stored bottom-up.
  bool Transparent(std::size_t x, std::size_t y) const {
    const std::uint8_t byte = bytes.at(AndStart() + (height - 1 - y) * AndStride() + x / 8);
    return ((byte >> (7 - x % 8)) & 1U) != 0;
  }
  std::uint32_t Colour(std::size_t x, std::size_t y) const {
    const std::uint8_t byte = bytes.at(XorStart() + (height - 1 - y) * XorStride() + x * bits / 8);
    const unsigned index = bits == 8 ? byte : (x % 2 == 0 ? byte >> 4 : byte & 0x0FU);
    return Le(bytes, offset + header_size + 4 * index, 4) & 0xFFFFFFU;
  }

  Bytes bytes;
  std::uint32_t type, count, width, height, colours, field1, field2, size, offset;
  std::uint32_t header_size, dib_width, dib_height, planes, bits, compression;
};

struct Expected {
  const char* name;
  std::uint32_t size;
  std::uint32_t bits;
  bool pointer;  // shown over other windows, so its corners must be see-through
};

constexpr Expected kPictures[] = {
    {"vellmor.ico", 16, 8, false},    {"about.ico", 128, 4, false}, {"envelope.ico", 16, 8, true},
    {"person_plus.ico", 24, 8, true}, {"penguin.ico", 24, 8, true}, {"hand.cur", 32, 4, true},
};

TEST(Pictures, IconHeadersMatchSizeAndColourDepth) {
  for (const Expected& e : kPictures) {
    SCOPED_TRACE(e.name);
    const Icon icon(e.name);
    const bool cursor = std::string(e.name).ends_with(".cur");
    EXPECT_EQ(icon.type, cursor ? 2U : 1U);
    EXPECT_EQ(icon.count, 1U);
    EXPECT_EQ(icon.width, e.size);
    EXPECT_EQ(icon.height, e.size);
    EXPECT_EQ(icon.colours, e.bits == 8 ? 0U : 16U);
    if (!cursor) {
      EXPECT_EQ(icon.field1, 1U) << "planes";
      EXPECT_EQ(icon.field2, e.bits) << "bit count";
    }
    EXPECT_EQ(icon.header_size, 40U);
    EXPECT_EQ(icon.dib_width, e.size);
    EXPECT_EQ(icon.dib_height, 2 * e.size) << "height must count the AND mask";
    EXPECT_EQ(icon.planes, 1U);
    EXPECT_EQ(icon.bits, e.bits);
    EXPECT_EQ(icon.compression, 0U);
    EXPECT_EQ(icon.size, icon.AndStart() + icon.AndStride() * icon.height - icon.offset)
        << "image data does not hold colour table, bitmap and AND mask";
    EXPECT_EQ(icon.offset + icon.size, icon.bytes.size());
  }
}

TEST(Pictures, MaskedPixelsAreBlackSoTheScreenShowsThrough) {
  for (const Expected& e : kPictures) {
    SCOPED_TRACE(e.name);
    const Icon icon(e.name);
    std::size_t masked = 0;
    for (std::size_t y = 0; y < icon.height; ++y) {
      for (std::size_t x = 0; x < icon.width; ++x) {
        if (!icon.Transparent(x, y)) continue;
        ++masked;
        EXPECT_EQ(icon.Colour(x, y), 0U) << "at " << x << "," << y;
      }
    }
    if (e.pointer) {
      EXPECT_GT(masked, 0U);
    }
  }
}

// The pictures as Qt's reader decodes them, the way the windows load them.
QImage Read(const std::string& name) {
  QImageReader reader(QString::fromStdString(std::string(VELLMOR_PICTURES_DIR "/") + name), "ico");
  EXPECT_EQ(reader.imageCount(), 1) << name;
  return reader.read();
}

bool SeeThrough(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)) == 0; }

TEST(Pictures, ReadAsOneImageOfTheirSizeWithPointersSeeThroughAtTheCorners) {
  for (const Expected& e : kPictures) {
    SCOPED_TRACE(e.name);
    const QImage image = Read(e.name);
    const auto size = static_cast<int>(e.size);
    ASSERT_EQ(image.size(), QSize(size, size));
    if (e.pointer) {
      EXPECT_TRUE(SeeThrough(image, 0, 0));
      EXPECT_TRUE(SeeThrough(image, size - 1, size - 1));
    }
  }
}

TEST(Pictures, HandCursorPointsWithTheFingertipAtItsHotSpot) {
  const Icon hand("hand.cur");
  EXPECT_EQ(hand.field1, 12U) << "hot spot column";
  EXPECT_EQ(hand.field2, 1U) << "hot spot row";
  const QImage image = Read("hand.cur");
  EXPECT_FALSE(SeeThrough(image, 12, 1)) << "hot spot is not on the hand";
  EXPECT_TRUE(SeeThrough(image, 12, 0)) << "the fingertip does not end at the hot spot";
}

}  // namespace
