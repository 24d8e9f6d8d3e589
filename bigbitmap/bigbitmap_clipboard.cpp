// Clipboard I/O of TBigBitmap in the packed device-independent bitmap format (CF_DIB): the
// info header (or core header), masks and colour table, then the pixel rows, without the
// 14-byte file header of a BMP file. The ordinary stream code runs over a TShiftedMemoryStream
// that puts a 14-byte file header in front of the locked block, so the pixel rows are read
// straight out of the block and written straight into it.

#include <cstring>
#include <limits>

#include "bigbitmap/bigbitmap.h"
#include "bigbitmap/shifted_stream.h"
#include "platform/bytes.h"
#include "platform/clipboard.h"
#include "platform/globalmem.h"

namespace {

constexpr std::int32_t FileHeaderBytes = 14;
constexpr std::uint32_t InfoHeaderBytes = 40;
// Below this the block cannot hold even a core header.
constexpr std::size_t SmallestBlock = 12;
// The stream addresses header and block with 32-bit positions.
constexpr std::int64_t LargestBlock = std::numeric_limits<std::int32_t>::max() - FileHeaderBytes;

[[noreturn]] void InvalidData() {
  throw EInvalidGraphic("Invalid Clipbboard Data");
}
[[noreturn]] void InvalidBlock() {
  throw EInvalidGraphic("Invalid Clipbboard data");
}

// Length of header, masks and colour table at the start of a block of Size bytes.
std::int64_t HeaderAreaLength(const std::uint8_t* Block, std::size_t Size) {
  const std::uint32_t HeaderSize = GetLE32(Block);
  if (HeaderSize < InfoHeaderBytes) {
    // Core header: planes at 8, bit count at 10; colour entries of 3 bytes.
    const int Bits = GetLE16(Block + 10) * GetLE16(Block + 8);
    std::int64_t ColourBytes;
    switch (Bits) {
      case 1:
        ColourBytes = 6;
        break;
      case 4:
        ColourBytes = 48;
        break;
      case 8:
        ColourBytes = 768;
        break;
      case 24:
        ColourBytes = 0;
        break;
      default:
        InvalidData();
    }
    return HeaderSize + ColourBytes;
  }
  // The fields looked at below lie in the first 40 bytes, which the block must hold.
  if (Size < InfoHeaderBytes) InvalidBlock();
  const int Bits = GetLE16(Block + 14) * GetLE16(Block + 12);
  const std::uint32_t Compression = GetLE32(Block + 16);
  const std::uint32_t ClrUsed = GetLE32(Block + 32);
  std::int64_t Length = HeaderSize;
  if (Compression == BI_BITFIELDS && HeaderSize == InfoHeaderBytes) Length += 12;
  if (ClrUsed != 0) return Length + 4 * static_cast<std::int64_t>(ClrUsed);
  switch (Bits) {
    case 1:
      return Length + 8;
    case 4:
      return Length + 64;
    case 8:
      return Length + 1024;
    case 16:
    case 24:
    case 32:
      return Length;
    default:
      InvalidData();
  }
}

// Unlocks a global block when it goes out of scope.
class TLockGuard {
 public:
  explicit TLockGuard(HGLOBAL Mem) : FMem(Mem) {}
  ~TLockGuard() { GlobalUnlock(FMem); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

 private:
  HGLOBAL FMem;
};

}  // namespace

void TBigBitmap::LoadFromClipboardFormat(std::uint16_t AFormat, THandle AData,
                                         HPALETTE /*APalette*/) {
  if (AFormat != CF_DIB) InvalidData();
  const std::size_t Size = GlobalSize(AData);
  if (Size < SmallestBlock) InvalidBlock();
  // Larger blocks cannot be addressed by the stream (and bfSize would not hold their size).
  if (static_cast<std::uint64_t>(Size) > static_cast<std::uint64_t>(LargestBlock)) {
    InvalidBlock();
  }
  auto* Block = static_cast<std::uint8_t*>(GlobalLock(AData));
  if (!Block) InvalidBlock();
  TLockGuard Unlock(AData);

  const std::int64_t Length = HeaderAreaLength(Block, Size);
  // A header area running past the block is no packed bitmap.
  if (Length > static_cast<std::int64_t>(Size)) InvalidBlock();

  std::uint8_t FileHeader[FileHeaderBytes] = {'B', 'M'};
  PutLE32(FileHeader + 2, static_cast<std::uint32_t>(Size + FileHeaderBytes));
  PutLE32(FileHeader + 10, static_cast<std::uint32_t>(Length + FileHeaderBytes));
  TShiftedMemoryStream Stream(FileHeader, FileHeaderBytes, Block, static_cast<std::int32_t>(Size));
  LoadFromStream(Stream);
}

void TBigBitmap::SaveToClipboardFormat(std::uint16_t& AFormat, THandle& AData,
                                       HPALETTE& /*APalette*/) {
  AFormat = CF_DIB;
  if (GetEmpty()) {
    AData = 0;
    return;
  }
  RGBQUAD Colours[256];
  const std::uint32_t Count = GetDIBColorTable(FBitmaps[0]->Canvas()->Handle(), 0, 256, Colours);
  const std::int64_t Stride = RowStride(FWidth, GetPixelBits(FPixelFormat));
  // Exactly what SaveToStream writes after its file header.
  const std::int64_t Size =
      InfoHeaderBytes + 4 * static_cast<std::int64_t>(Count) + Stride * FHeight;
  if (Size > LargestBlock) BigBitmapError("Cannot Allocate Memory");
  const HGLOBAL Mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, static_cast<std::size_t>(Size));
  if (Mem == 0) BigBitmapError("Cannot Allocate Memory");
  try {
    void* Block = GlobalLock(Mem);
    if (!Block) BigBitmapError("Cannnot Lock Memory for CLipboard");
    TLockGuard Unlock(Mem);
    std::uint8_t Scratch[FileHeaderBytes];
    TShiftedMemoryStream Stream(Scratch, FileHeaderBytes, Block, static_cast<std::int32_t>(Size));
    SaveToStream(Stream);
  } catch (...) {
    GlobalFree(Mem);
    throw;
  }
  // Handed out only once it is complete, so a failed save leaves no handle to a freed block.
  AData = Mem;
}
