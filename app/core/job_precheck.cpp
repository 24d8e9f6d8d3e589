#include "app/core/job_precheck.h"

#include <cstdlib>

#include "app/core/map_job.h"
#include "bigbitmap/bigbitmap.h"
#include "dibutils/dibutils.h"
#include "platform/exceptions.h"
#include "platform/streams.h"

namespace {

constexpr std::int64_t kMegabyte = 1024 * 1024;

}  // namespace

TJobFootprint JobFootprint(const std::string& BaseName) {
  TFileStream file(BaseName, fmOpenRead | fmShareDenyWrite);
  // The headers as the loader reads them, pixel bytes left in the file. Headers the loader
  // would reject are left to it, with its own messages.
  TSepDIB DIB;
  std::int64_t raw;
  try {
    raw = LoadDIBHeaderFromStream(DIB, file);
  } catch (const Exception&) {
    return {};
  }
  const BITMAPINFOHEADER& h = DIB.Header;
  const std::int64_t width = h.biWidth;
  const std::int64_t height = std::abs(std::int64_t{h.biHeight});
  if (width <= 0 || height == 0) return {};
  // What the loader turns the pixels into: 16 and 32 bits become 24.
  const int bits = h.biBitCount;
  const int loadedBits = bits == 16 || bits == 32 ? 24 : bits;
  if (loadedBits != 1 && loadedBits != 4 && loadedBits != 8 && loadedBits != 24) return {};

  const auto w = static_cast<std::int32_t>(width);
  const std::int64_t mapStride = TBigBitmap::RowStride(w, loadedBits);
  if (mapStride >= BigBitmapMaxStride) return {};  // the loader's own error says it
  const bool decoded =
      h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4 || loadedBits != bits;
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
