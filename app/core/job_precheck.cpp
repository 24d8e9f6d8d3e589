#include "app/core/job_precheck.h"

#include <algorithm>
#include <cstdlib>

#include "app/core/map_job.h"
#include "bigbitmap/bigbitmap.h"
#include "platform/bytes.h"
#include "platform/streams.h"

namespace {

constexpr std::int64_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint16_t kBitmapSignature = 0x4D42;  // "BM"
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::int64_t kMegabyte = 1024 * 1024;

}  // namespace

TJobFootprint JobFootprint(const std::string& BaseName) {
  TFileStream file(BaseName, fmOpenRead | fmShareDenyWrite);
  const std::int64_t fileSize = file.GetSize();
  std::uint8_t h[kFileHeaderSize + kInfoHeaderSize] = {};
  if (fileSize < kFileHeaderSize + kCoreHeaderSize ||
      file.Read(h, sizeof h) < kFileHeaderSize + kCoreHeaderSize || GetLE16(h) != kBitmapSignature)
    return {};
  const std::uint8_t* info = h + kFileHeaderSize;
  const std::uint32_t biSize = GetLE32(info);
  std::int64_t width, height;
  int bits;
  std::uint32_t compression = 0;
  if (biSize == kCoreHeaderSize) {
    width = GetLE16(info + 4);
    height = GetLE16(info + 6);
    bits = GetLE16(info + 10);
  } else if (biSize >= kInfoHeaderSize && fileSize >= kFileHeaderSize + kInfoHeaderSize) {
    width = static_cast<std::int32_t>(GetLE32(info + 4));
    height = std::abs(std::int64_t{static_cast<std::int32_t>(GetLE32(info + 8))});
    bits = GetLE16(info + 14);
    compression = GetLE32(info + 16);
  } else {
    return {};
  }
  if (width <= 0 || height == 0) return {};
  // What the loader turns the pixels into: 16 and 32 bits become 24.
  const int loadedBits = bits == 16 || bits == 32 ? 24 : bits;
  if (loadedBits != 1 && loadedBits != 4 && loadedBits != 8 && loadedBits != 24) return {};

  const auto w = static_cast<std::int32_t>(width);
  const std::int64_t mapStride = TBigBitmap::RowStride(w, loadedBits);
  if (mapStride >= BigBitmapMaxStride) return {};  // the loader's own error says it
  const std::int64_t offBits = GetLE32(h + 10);
  const std::int64_t declared = std::int64_t{GetLE32(h + 2)} - offBits;
  const std::int64_t raw = std::clamp<std::int64_t>(declared, 0, std::max<std::int64_t>(fileSize - offBits, 0));
  const bool decoded = compression == kRle8 || compression == kRle4 || loadedBits != bits;
  TJobFootprint f;
  f.Width = w;
  f.Height = height;
  f.Bytes = raw + (decoded ? 2 : 1) * height * mapStride + height * TBigBitmap::RowStride(w, 24);
  return f;
}

void PrecheckMapJob(const std::string& BaseName, std::uint64_t PhysicalMemory) {
  const TJobFootprint f = JobFootprint(BaseName);
  if (f.Width == 0) return;
  // The job's working copy, given the map's width alone (no rows: nothing is allocated), fails
  // with its own error when it cannot be that wide.
  TBigBitmap work;
  work.SetPixelFormat(bbpf24bit);
  work.SetWidth(f.Width);
  if (PhysicalMemory != 0 && static_cast<std::uint64_t>(f.Bytes) > PhysicalMemory) {
    throw EMapJobError("MapJob: The map needs " + std::to_string(f.Bytes / kMegabyte) +
                       " MB of memory, more than the " +
                       std::to_string(PhysicalMemory / kMegabyte) + " MB this machine has");
  }
}
