#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <QImage>
#include <QImageReader>
#include <QString>

#include "picture_bytes.h"

namespace {

using vellmor::ui::test::Bytes;

class Reader {
 public:
  explicit Reader(const Bytes& bytes) : m_bytes(bytes) {}

  void Skip(std::size_t n) {
    if (m_pos + n > m_bytes.size()) throw std::runtime_error("GIF ends early");
    m_pos += n;
  }
  std::uint8_t Byte() {
    Skip(1);
    return m_bytes[m_pos - 1];
  }
  unsigned Word() {
    Skip(2);
    return vellmor::ui::test::Le(m_bytes, m_pos - 2, 2);
  }
  std::string Text(std::size_t n) {
    Skip(n);
    return {m_bytes.data() + m_pos - n, m_bytes.data() + m_pos};
  }
  void SubBlocks() {
    for (std::uint8_t n = Byte(); n != 0; n = Byte()) {
      Skip(n);
    }
  }
  bool AtEnd() const { return m_pos == m_bytes.size(); }

 private:
  const Bytes& m_bytes;
  std::size_t m_pos = 0;
};

struct Frame {
  bool has_control = false;
  unsigned control_flags = 0;
  unsigned delay = 0;
  unsigned transparent = 0;
  unsigned left = 0, top = 0, width = 0, height = 0;
  unsigned flags = 0;
  int min_code_size = 0;
};

struct Gif {
  std::string signature;
  unsigned width = 0, height = 0, flags = 0, background = 0, aspect = 0;
  std::vector<Frame> frames;
  bool ends_at_trailer = false;
};

Gif ParseGif(const Bytes& bytes) {
  Reader in(bytes);
  Gif gif;
  gif.signature = in.Text(6);
  gif.width = in.Word();
  gif.height = in.Word();
  gif.flags = in.Byte();
  gif.background = in.Byte();
  gif.aspect = in.Byte();
  if ((gif.flags & 0x80U) != 0) in.Skip(3U << ((gif.flags & 7U) + 1));

  Frame pending;
  while (true) {
    const std::uint8_t block = in.Byte();
    if (block == 0x3B) break;
    if (block == 0x21) {
      const std::uint8_t label = in.Byte();
      if (label == 0xF9) {
        if (in.Byte() != 4) throw std::runtime_error("bad graphic control size");
        pending.has_control = true;
        pending.control_flags = in.Byte();
        pending.delay = in.Word();
        pending.transparent = in.Byte();
        if (in.Byte() != 0) throw std::runtime_error("graphic control not terminated");
      } else {
        in.SubBlocks();
      }
    } else if (block == 0x2C) {
      pending.left = in.Word();
      pending.top = in.Word();
      pending.width = in.Word();
      pending.height = in.Word();
      pending.flags = in.Byte();
      if ((pending.flags & 0x80U) != 0) in.Skip(3U << ((pending.flags & 7U) + 1));
      pending.min_code_size = in.Byte();
      in.SubBlocks();
      gif.frames.push_back(pending);
      pending = Frame{};
    } else {
      throw std::runtime_error("unknown GIF block " + std::to_string(block));
    }
  }
  gif.ends_at_trailer = in.AtEnd();
  return gif;
}

class BannerGif : public testing::Test {
 protected:
  Gif m_gif = ParseGif(vellmor::ui::test::ReadPicture("banner.gif"));
};

TEST_F(BannerGif, ScreenAndGlobalTable) {
  EXPECT_EQ(m_gif.signature, "GIF89a");
  EXPECT_EQ(m_gif.width, 468U);
  EXPECT_EQ(m_gif.height, 60U);
  EXPECT_EQ(m_gif.flags & 0x80U, 0x80U) << "no global colour table";
  EXPECT_EQ(m_gif.flags & 7U, 7U) << "global table is not 256 entries";
  EXPECT_EQ(m_gif.background, 255U);
  EXPECT_EQ(m_gif.aspect, 0U);
  EXPECT_TRUE(m_gif.ends_at_trailer) << "bytes after the trailer";
}

TEST_F(BannerGif, TwoInterlacedWholeFramesLeaveInPlaceWithTransparency) {
  ASSERT_EQ(m_gif.frames.size(), 2U);
  const unsigned tops[] = {0, 1};
  const unsigned heights[] = {60, 58};
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE("frame " + std::to_string(i + 1));
    const Frame& f = m_gif.frames[i];
    ASSERT_TRUE(f.has_control);
    EXPECT_EQ((f.control_flags >> 2) & 7U, 1U) << "disposal method";
    EXPECT_EQ(f.control_flags & 1U, 1U) << "transparency flag";
    EXPECT_EQ(f.delay, 10U);
    EXPECT_EQ(f.transparent, 255U);
    EXPECT_EQ(f.left, 0U);
    EXPECT_EQ(f.top, tops[i]);
    EXPECT_EQ(f.width, 468U);
    EXPECT_EQ(f.height, heights[i]);
    EXPECT_EQ(f.flags & 0x40U, 0x40U) << "not interlaced";
    EXPECT_EQ(f.flags & 0x80U, 0U) << "local colour table";
    EXPECT_EQ(f.min_code_size, 8);
  }
}

// The pixels as Qt's reader decodes them, the way the window loads the banner.
TEST(BannerGifPixels, LoopsWithAStillOpaqueFirstFrameAndASecondThatChangesSomething) {
  QImageReader reader(QStringLiteral(VELLMOR_PICTURES_DIR "/banner.gif"));
  EXPECT_EQ(reader.imageCount(), 2);
  EXPECT_EQ(reader.loopCount(), -1) << "does not loop without end";
  const QImage first = reader.read();
  const QImage second = reader.read();
  ASSERT_FALSE(first.isNull()) << reader.errorString().toStdString();
  ASSERT_FALSE(second.isNull()) << reader.errorString().toStdString();
  EXPECT_EQ(first.size(), QSize(468, 60));
  EXPECT_EQ(second.size(), QSize(468, 60));
  bool opaque = true;
  for (int y = 0; y < first.height(); ++y) {
    for (int x = 0; x < first.width(); ++x) {
      opaque = opaque && qAlpha(first.pixel(x, y)) == 255;
    }
  }
  EXPECT_TRUE(opaque) << "the still picture would show holes";
  EXPECT_NE(first, second) << "the second frame changes nothing";
}

}  // namespace
