#include "support/bmp_builder.h"

namespace testsupport {

ByteWriter& ByteWriter::u8(std::uint8_t v) {
  data_.push_back(v);
  return *this;
}
ByteWriter& ByteWriter::u16(std::uint16_t v) {
  data_.push_back(static_cast<std::uint8_t>(v));
  data_.push_back(static_cast<std::uint8_t>(v >> 8));
  return *this;
}
ByteWriter& ByteWriter::u32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) data_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return *this;
}
ByteWriter& ByteWriter::bytes(const std::vector<std::uint8_t>& v) {
  data_.insert(data_.end(), v.begin(), v.end());
  return *this;
}
ByteWriter& ByteWriter::zeros(std::size_t n) {
  data_.insert(data_.end(), n, 0);
  return *this;
}
void ByteWriter::patch_u32(std::size_t offset, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) data_.at(offset + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

std::vector<std::uint8_t> BuildBmp(const BmpLayout& s) {
  ByteWriter w;
  w.u16(0x4D42).u32(0).u16(0).u16(0).u32(0);
  if (s.header_size == 12) {
    w.u32(12).u16(static_cast<std::uint16_t>(s.width)).u16(static_cast<std::uint16_t>(s.height));
    w.u16(s.planes).u16(s.bit_count);
  } else {
    w.u32(s.header_size).i32(s.width).i32(s.height).u16(s.planes).u16(s.bit_count);
    w.u32(s.compression).u32(0).i32(0).i32(0).u32(s.clr_used).u32(0);
    if (s.header_size > 40) w.zeros(s.header_size - 40);
    for (std::size_t i = 0; i < s.masks.size(); ++i) {
      if (s.header_size > 40 && i < 3) {
        w.patch_u32(14 + 40 + 4 * i, s.masks[i]);
      } else {
        w.u32(s.masks[i]);
      }
    }
  }
  w.bytes(s.colors);
  const std::int64_t off = s.off_bits >= 0 ? s.off_bits : static_cast<std::int64_t>(w.size());
  if (off > static_cast<std::int64_t>(w.size())) w.zeros(static_cast<std::size_t>(off) - w.size());
  // An offset that points back into the tables is allowed: pixels still follow the tables.
  w.bytes(s.pixels);
  const std::int64_t size =
      s.file_size >= 0 ? s.file_size : off + static_cast<std::int64_t>(s.pixels.size());
  w.patch_u32(2, static_cast<std::uint32_t>(size));
  w.patch_u32(10, static_cast<std::uint32_t>(off));
  return w.data();
}

std::vector<std::uint8_t> GreyColors(int n) {
  std::vector<std::uint8_t> c;
  for (int i = 0; i < n; ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    c.insert(c.end(), {v, v, v, 0});
  }
  return c;
}

std::vector<std::uint8_t> TinyRle8DeclaringHugeSize(std::int32_t Width, std::int32_t Height) {
  BmpLayout bmp;
  bmp.width = Width;
  bmp.height = Height;
  bmp.bit_count = 8;
  bmp.compression = 1;
  bmp.colors = GreyColors(2);
  bmp.clr_used = 2;
  for (int i = 0; i < 480; ++i) bmp.pixels.insert(bmp.pixels.end(), {255, 1});
  bmp.pixels.insert(bmp.pixels.end(), {0, 1});
  return BuildBmp(bmp);
}

}  // namespace testsupport
