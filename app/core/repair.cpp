#include "app/core/repair.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "platform/bytes.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/streams.h"

namespace {

constexpr std::int32_t kFileHeaderSize = 14;
constexpr std::int32_t kInfoHeaderSize = 40;
constexpr std::int32_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;
constexpr std::uint16_t kBitmapSignature = 0x4D42;  // "BM"
constexpr std::size_t kBfSizeOffset = 2;

// The fields of the 14-byte file header and the 40-byte info header that decide on a repair.
struct TBmpHeads {
  std::uint8_t Raw[kHeadersSize];
  std::uint16_t bfType;
  std::uint32_t bfOffBits;
  std::uint32_t biSize;
  std::int32_t biWidth;
  std::int32_t biHeight;
  std::uint16_t biBitCount;
  std::uint32_t biCompression;
};

// Reads the two headers from the start of the stream; a stream shorter than both raises
// EReadError before anything past its end is touched.
TBmpHeads ReadHeads(TStream& Stream) {
  TBmpHeads h{};
  Stream.SetPosition(0);
  Stream.ReadBuffer(h.Raw, kHeadersSize);
  h.bfType = GetLE16(h.Raw + 0);
  h.bfOffBits = GetLE32(h.Raw + 10);
  h.biSize = GetLE32(h.Raw + 14);
  h.biWidth = static_cast<std::int32_t>(GetLE32(h.Raw + 18));
  h.biHeight = static_cast<std::int32_t>(GetLE32(h.Raw + 22));
  h.biBitCount = GetLE16(h.Raw + 28);
  h.biCompression = GetLE32(h.Raw + 30);
  return h;
}

std::int64_t PaddedRowBytes(std::int32_t Width) {
  return (std::int64_t{Width} + 3) / 4 * 4;
}

// Whether the file holds 8-bit rows stored back to back without their padding.
//
// The plain size rule (padded row size x height against the data behind bfOffBits) also flags
// top-down files, files of more bits per pixel or compressed ones, and padded files that merely
// carry trailing bytes; "repairing" those would rewrite a picture the loader reads as it is
// into one with shifted rows or no pixels at all. So only the one case the repair was made for
// is recognised, and every other file is left to the loader, which reads it or rejects it with
// an error of its own. The repaired size must also fit the 32-bit bfSize. CheckBitmap asks the
// same question, so a map job reports a repair only when one really happens.
bool NeedsRepair(const TBmpHeads& h, std::int64_t FileSize) {
  if (h.bfType != kBitmapSignature || h.biSize < kInfoHeaderSize) return false;
  if (h.biBitCount != 8 || h.biCompression != 0) return false;
  if (h.biWidth <= 0 || h.biHeight <= 0 || h.biWidth % 4 == 0) return false;
  const std::int64_t offBits = h.bfOffBits;
  if (offBits < kFileHeaderSize + std::int64_t{h.biSize} || offBits > FileSize) return false;
  if (FileSize - offBits != std::int64_t{h.biWidth} * h.biHeight) return false;
  return offBits + PaddedRowBytes(h.biWidth) * h.biHeight <=
         std::numeric_limits<std::uint32_t>::max();
}

}  // namespace

bool CheckBitmap(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  const TBmpHeads heads = ReadHeads(file);
  return NeedsRepair(heads, file.GetSize());
}

std::string BadDataFileName(const std::string& FileName) {
  return ChangeFileExt(FileName, "") + "_BAD_DATA.BMP";
}

namespace {

// The repaired file, built completely in memory; false (and nothing read past the headers) when
// the file needs no repair.
bool BuildRepaired(const std::string& FileName, std::unique_ptr<std::uint8_t[]>& Out,
                   std::int64_t& OutSize) {
  TFileStream in(FileName, fmOpenRead | fmShareDenyWrite);
  const TBmpHeads h = ReadHeads(in);
  const std::int64_t inSize = in.GetSize();
  if (!NeedsRepair(h, inSize)) return false;

  const std::int64_t offBits = h.bfOffBits;
  const std::int64_t width = h.biWidth;
  const std::int64_t rowBytes = PaddedRowBytes(h.biWidth);
  OutSize = offBits + rowBytes * h.biHeight;
  Out.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(OutSize)]);
  if (!Out) throw EOutOfMemory();
  // Headers, colour table and the unpadded rows, read in one go; then every row moves to its
  // padded place, last row first, so that no row is overwritten before it has moved.
  in.SetPosition(0);
  in.ReadBufferLarge(Out.get(), inSize);
  std::uint8_t* const pixels = Out.get() + offBits;
  for (std::int64_t row = h.biHeight - 1; row >= 0; --row) {
    std::memmove(pixels + row * rowBytes, pixels + row * width, static_cast<std::size_t>(width));
    std::memset(pixels + row * rowBytes + width, 0, static_cast<std::size_t>(rowBytes - width));
  }
  PutLE32(Out.get() + kBfSizeOffset, static_cast<std::uint32_t>(OutSize));
  return true;
}

}  // namespace

bool ReadRepaired(const std::string& FileName, TStream& Out) {
  std::unique_ptr<std::uint8_t[]> repaired;
  std::int64_t size = 0;
  if (!BuildRepaired(FileName, repaired, size)) return false;
  Out.WriteBufferLarge(repaired.get(), size);
  return true;
}

void FixBitmap(const std::string& FileName) {
  // The repaired file is built completely in memory before anything on disk changes, so a
  // file that cannot be read is never renamed.
  std::unique_ptr<std::uint8_t[]> out;
  std::int64_t outSize = 0;
  if (!BuildRepaired(FileName, out, outSize)) return;

  // The repaired file is flushed beside the base file, with its permissions; the bad copy
  // becomes a second name of the base file (replacing an older one at once); only then does
  // the repaired file take the base file's name. Whenever the program stops, the base file is
  // the original, or the repaired file with the original kept under the bad name.
  const std::string badName = BadDataFileName(FileName);
  const std::string repaired = WriteTempBeside(
      FileName, "repair", FileName,
      [&](TStream& Stream) { Stream.WriteBufferLarge(out.get(), outSize); });
  try {
    try {
      KeepCopyReplacing(FileName, badName);
    } catch (const EFCreateError&) {
      // As when the bad file could not be opened under its new name.
      throw EFOpenError(badName);
    }
    MoveFileReplacing(repaired, FileName);
  } catch (...) {
    DeleteFile(repaired);
    throw;
  }
  FlushFolderOf(FileName);
}
