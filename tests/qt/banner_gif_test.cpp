#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

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
  Bytes SubBlocks() {
    Bytes data;
    for (std::uint8_t n = Byte(); n != 0; n = Byte()) {
      Skip(n);
      data.insert(data.end(), m_bytes.data() + m_pos - n, m_bytes.data() + m_pos);
    }
    return data;
  }
  bool AtEnd() const { return m_pos == m_bytes.size(); }

 private:
  const Bytes& m_bytes;
  std::size_t m_pos = 0;
};

// Decodes without trusting the writer: any code outside the table so far, or a stream
// without an end code, throws.
Bytes DecodeLzw(const Bytes& data, int min_code_size) {
  const unsigned clear = 1U << min_code_size;
  const unsigned end = clear + 1;
  std::vector<unsigned> prefix(4096);
  std::vector<std::uint8_t> suffix(4096);
  for (unsigned i = 0; i < clear; ++i) suffix[i] = static_cast<std::uint8_t>(i);

  auto expand = [&](unsigned code) {
    Bytes s;
    for (; code > end; code = prefix[code]) s.push_back(suffix[code]);
    s.push_back(static_cast<std::uint8_t>(code));
    return Bytes(s.rbegin(), s.rend());
  };

  Bytes out;
  int width = min_code_size + 1;
  unsigned next = end + 1;
  bool have_prev = false;
  unsigned prev = 0;
  std::size_t bit = 0;
  while (true) {
    if (bit + static_cast<std::size_t>(width) > data.size() * 8) {
      throw std::runtime_error("LZW data has no end code");
    }
    unsigned code = 0;
    for (int i = 0; i < width; ++i, ++bit) {
      code |= ((static_cast<unsigned>(data[bit / 8]) >> (bit % 8)) & 1U) << i;
    }
    if (code == clear) {
      width = min_code_size + 1;
      next = end + 1;
      have_prev = false;
      continue;
    }
    if (code == end) return out;
    if (code > next || (!have_prev && code >= clear)) {
      throw std::runtime_error("LZW code out of range");
    }
    Bytes s = code == next ? expand(prev) : expand(code);
    if (code == next) s.push_back(s.front());
    if (have_prev && next < 4096) {
      prefix[next] = prev;
      suffix[next] = s.front();
      ++next;
      if (next == (1U << width) && width < 12) ++width;
    }
    out.insert(out.end(), s.begin(), s.end());
    prev = code;
    have_prev = true;
  }
}

struct Frame {
  bool has_control = false;
  unsigned control_flags = 0;
  unsigned delay = 0;
  unsigned transparent = 0;
  unsigned left = 0, top = 0, width = 0, height = 0;
  unsigned flags = 0;
  int min_code_size = 0;
  Bytes pixels;
};

struct Gif {
  std::string signature;
  unsigned width = 0, height = 0, flags = 0, background = 0, aspect = 0;
  std::string application;
  Bytes application_data;
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
      } else if (label == 0xFF) {
        const std::uint8_t n = in.Byte();
        gif.application = in.Text(n);
        gif.application_data = in.SubBlocks();
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
      pending.pixels = DecodeLzw(in.SubBlocks(), pending.min_code_size);
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

TEST_F(BannerGif, LoopsWithoutEnd) {
  EXPECT_EQ(m_gif.application, "NETSCAPE2.0");
  EXPECT_EQ(m_gif.application_data, (Bytes{1, 0, 0}));
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
    EXPECT_EQ(f.pixels.size(), 468U * heights[i]) << "does not decode to the whole rectangle";
  }
}

TEST_F(BannerGif, StillFrameIsOpaqueAndSecondFrameChangesSomething) {
  ASSERT_EQ(m_gif.frames.size(), 2U);
  const Bytes& first = m_gif.frames[0].pixels;
  const Bytes& second = m_gif.frames[1].pixels;
  EXPECT_EQ(std::count(first.begin(), first.end(), 255), 0) << "the still picture would show holes";
  EXPECT_LT(std::count(second.begin(), second.end(), 255),
            static_cast<std::ptrdiff_t>(second.size()));
}

}  // namespace
