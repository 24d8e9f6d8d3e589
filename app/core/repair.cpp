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

constexpr std::int32_t FileHeaderSize = 14;
constexpr std::int32_t InfoHeaderSize = 40;
constexpr std::int32_t HeadersSize = FileHeaderSize + InfoHeaderSize;
constexpr std::uint16_t BitmapSignature = 0x4D42;  // "BM"
constexpr std::size_t BfSizeOffset = 2;

// The fields of the 14-byte file header and the 40-byte info header that decide on a repair.
struct TBmpHeads {
  std::uint8_t Raw[HeadersSize];
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
  TBmpHeads H{};
  Stream.SetPosition(0);
  Stream.ReadBuffer(H.Raw, HeadersSize);
  H.bfType = GetLE16(H.Raw + 0);
  H.bfOffBits = GetLE32(H.Raw + 10);
  H.biSize = GetLE32(H.Raw + 14);
  H.biWidth = static_cast<std::int32_t>(GetLE32(H.Raw + 18));
  H.biHeight = static_cast<std::int32_t>(GetLE32(H.Raw + 22));
  H.biBitCount = GetLE16(H.Raw + 28);
  H.biCompression = GetLE32(H.Raw + 30);
  return H;
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
bool NeedsRepair(const TBmpHeads& H, std::int64_t FileSize) {
  if (H.bfType != BitmapSignature || H.biSize < InfoHeaderSize) return false;
  if (H.biBitCount != 8 || H.biCompression != 0) return false;
  if (H.biWidth <= 0 || H.biHeight <= 0 || H.biWidth % 4 == 0) return false;
  const std::int64_t OffBits = H.bfOffBits;
  if (OffBits < FileHeaderSize + std::int64_t{H.biSize} || OffBits > FileSize) return false;
  if (FileSize - OffBits != std::int64_t{H.biWidth} * H.biHeight) return false;
  return OffBits + PaddedRowBytes(H.biWidth) * H.biHeight <=
         std::numeric_limits<std::uint32_t>::max();
}

}  // namespace

bool CheckBitmap(const std::string& FileName) {
  TFileStream File(FileName, fmOpenRead | fmShareDenyWrite);
  const TBmpHeads Heads = ReadHeads(File);
  return NeedsRepair(Heads, File.GetSize());
}

std::string BadDataFileName(const std::string& FileName) {
  return ChangeFileExt(FileName, "") + "_BAD_DATA.BMP";
}

namespace {

// The repaired file, built completely in memory; false (and nothing read past the headers) when
// the file needs no repair.
bool BuildRepaired(const std::string& FileName, std::unique_ptr<std::uint8_t[]>& Out,
                   std::int64_t& OutSize) {
  TFileStream In(FileName, fmOpenRead | fmShareDenyWrite);
  const TBmpHeads H = ReadHeads(In);
  const std::int64_t InSize = In.GetSize();
  if (!NeedsRepair(H, InSize)) return false;

  const std::int64_t OffBits = H.bfOffBits;
  const std::int64_t Width = H.biWidth;
  const std::int64_t RowBytes = PaddedRowBytes(H.biWidth);
  OutSize = OffBits + RowBytes * H.biHeight;
  Out.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(OutSize)]);
  if (!Out) throw EOutOfMemory();
  // Headers, colour table and the unpadded rows, read in one go; then every row moves to its
  // padded place, last row first, so that no row is overwritten before it has moved.
  In.SetPosition(0);
  In.ReadBufferLarge(Out.get(), InSize);
  std::uint8_t* const Pixels = Out.get() + OffBits;
  for (std::int64_t Row = H.biHeight - 1; Row >= 0; --Row) {
    std::memmove(Pixels + Row * RowBytes, Pixels + Row * Width, static_cast<std::size_t>(Width));
    std::memset(Pixels + Row * RowBytes + Width, 0, static_cast<std::size_t>(RowBytes - Width));
  }
  PutLE32(Out.get() + BfSizeOffset, static_cast<std::uint32_t>(OutSize));
  return true;
}

}  // namespace

bool ReadRepaired(const std::string& FileName, TStream& Out) {
  std::unique_ptr<std::uint8_t[]> Repaired;
  std::int64_t Size = 0;
  if (!BuildRepaired(FileName, Repaired, Size)) return false;
  Out.WriteBufferLarge(Repaired.get(), Size);
  return true;
}

void FixBitmap(const std::string& FileName) {
  // The repaired file is built completely in memory before anything on disk changes, so a
  // file that cannot be read is never renamed.
  std::unique_ptr<std::uint8_t[]> Out;
  std::int64_t OutSize = 0;
  if (!BuildRepaired(FileName, Out, OutSize)) return;

  // The repaired file is flushed beside the base file, with its permissions; the bad copy
  // becomes a second name of the base file (replacing an older one at once); only then does
  // the repaired file take the base file's name. Whenever the program stops, the base file is
  // the original, or the repaired file with the original kept under the bad name.
  const std::string BadName = BadDataFileName(FileName);
  const std::string Repaired = WriteTempBeside(
      FileName, "repair", FileName,
      [&](TStream& Stream) { Stream.WriteBufferLarge(Out.get(), OutSize); });
  try {
    try {
      KeepCopyReplacing(FileName, BadName);
    } catch (const EFCreateError&) {
      // As when the bad file could not be opened under its new name.
      throw EFOpenError(BadName);
    }
    MoveFileReplacing(Repaired, FileName);
  } catch (...) {
    DeleteFile(Repaired);
    throw;
  }
  FlushFolderOf(FileName);
}
