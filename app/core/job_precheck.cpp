#include "app/core/job_precheck.h"

#include <cstdlib>

#include "app/core/map_job.h"
#include "bigbitmap/bigbitmap.h"
#include "dibutils/dibutils.h"
#include "platform/exceptions.h"
#include "platform/streams.h"

namespace {

constexpr std::int64_t Megabyte = 1024 * 1024;

}  // namespace

TJobFootprint JobFootprint(const std::string& BaseName) {
  TFileStream File(BaseName, fmOpenRead | fmShareDenyWrite);
  // The headers as the loader reads them, pixel bytes left in the file. Headers the loader
  // would reject are left to it, with its own messages.
  TSepDIB DIB;
  std::int64_t Raw;
  try {
    Raw = LoadDIBHeaderFromStream(DIB, File);
  } catch (const Exception&) {
    return {};
  }
  const BITMAPINFOHEADER& H = DIB.Header;
  const std::int64_t Width = H.biWidth;
  const std::int64_t Height = std::abs(std::int64_t{H.biHeight});
  if (Width <= 0 || Height == 0) return {};
  // What the loader turns the pixels into: 16 and 32 bits become 24.
  const int Bits = H.biBitCount;
  const int LoadedBits = Bits == 16 || Bits == 32 ? 24 : Bits;
  if (LoadedBits != 1 && LoadedBits != 4 && LoadedBits != 8 && LoadedBits != 24) return {};

  const auto W = static_cast<std::int32_t>(Width);
  const std::int64_t MapStride = TBigBitmap::RowStride(W, LoadedBits);
  if (MapStride >= BigBitmapMaxStride) return {};  // the loader's own error says it
  const bool Decoded =
      H.biCompression == BI_RLE8 || H.biCompression == BI_RLE4 || LoadedBits != Bits;
  TJobFootprint F;
  F.Width = W;
  F.Height = Height;
  F.Bytes = Raw + (Decoded ? 2 : 1) * Height * MapStride + Height * TBigBitmap::RowStride(W, 24);
  return F;
}

void PrecheckMapJob(const std::string& BaseName, std::uint64_t PhysicalMemory) {
  const TJobFootprint F = JobFootprint(BaseName);
  if (F.Width == 0) return;
  // The job's working copy, given the map's width alone (no rows: nothing is allocated), fails
  // with its own error when it cannot be that wide.
  TBigBitmap Work;
  Work.SetPixelFormat(bbpf24bit);
  Work.SetWidth(F.Width);
  if (PhysicalMemory != 0 && static_cast<std::uint64_t>(F.Bytes) > PhysicalMemory) {
    throw EMapJobError("MapJob: The map needs " + std::to_string(F.Bytes / Megabyte) +
                       " MB of memory, more than the " +
                       std::to_string(PhysicalMemory / Megabyte) + " MB this machine has");
  }
}
