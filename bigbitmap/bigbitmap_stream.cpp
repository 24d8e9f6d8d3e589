// BMP stream I/O of TBigBitmap: loading through the DIB utilities into bands built aside, and
// saving in one canonical layout (file header, 40-byte info header, colours, bottom-up rows).

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "bigbitmap/bigbitmap.h"
#include "dibutils/dibutils.h"
#include "platform/bytes.h"
#include "platform/streams.h"

namespace {

constexpr std::uint32_t SavedHeadersSize = FileHeaderSize + InfoHeaderSize;  // 54

TPixelFormat BandFormatForBits(int Bits) {
  switch (Bits) {
    case 1:
      return pf1bit;
    case 4:
      return pf4bit;
    case 8:
      return pf8bit;
    default:
      return pf24bit;
  }
}

// Whether the file's pixel bytes are the rows as the bands hold them, with nothing to convert.
bool RowsAsStored(const BITMAPINFOHEADER& Header) {
  return Header.biBitCount != 16 && Header.biBitCount != 32 && Header.biCompression != BI_RLE4 &&
         Header.biCompression != BI_RLE8;
}

// Reads the rows of a file of plain rows from the stream (at its first pixel byte) straight into
// the bands, one read per band; the stream is left after the last row.
void ReadRowsIntoBands(TStream& Stream, const TBitmapArray& Bands, std::int64_t S, bool BottomUp) {
  if (BottomUp) {
    // The file stores the bottom band first, and each band's block in the file's row order.
    for (auto Band = Bands.rbegin(); Band != Bands.rend(); ++Band) {
      const std::int32_t BandHeight = (*Band)->GetHeight();
      Stream.ReadBufferLarge((*Band)->BlockToOverwrite(), BandHeight * S);
    }
    return;
  }
  // Top-down: each band's rows come in one read, upside down in its block, and are turned over.
  std::vector<std::uint8_t> Spare(static_cast<std::size_t>(S));
  for (const auto& Band : Bands) {
    const std::int32_t BandHeight = Band->GetHeight();
    auto* Block = static_cast<std::uint8_t*>(Band->BlockToOverwrite());
    Stream.ReadBufferLarge(Block, BandHeight * S);
    for (std::int64_t A = 0, B = BandHeight - 1; A < B; ++A, --B) {
      std::memcpy(Spare.data(), Block + A * S, static_cast<std::size_t>(S));
      std::memcpy(Block + A * S, Block + B * S, static_cast<std::size_t>(S));
      std::memcpy(Block + B * S, Spare.data(), static_cast<std::size_t>(S));
    }
  }
}

// Empty bands of Rows rows each (the last one what is left) holding Width x Height pixels of
// Format, with the colours of DIB.
TBitmapArray MakeBands(const TSepDIB& DIB, TPixelFormat Format, std::int32_t Width,
                       std::int32_t Height, std::int32_t Rows) {
  TBitmapArray Bands(static_cast<std::size_t>((Height - 1) / Rows + 1));
  std::int32_t Left = Height;
  for (auto& Band : Bands) {
    Band = std::make_unique<TBitmap>();
    Band->SetPixelFormat(Format);
    Band->SetWidth(Width);
    // Set while the band has no rows, so its colour table simply becomes the file's colours.
    Band->SetPalette(CreateDIBPalette(DIB));
    Band->SetHeight(Left > Rows ? Rows : Left);
    Left -= Rows;
  }
  return Bands;
}

// Copies the rows of Stride bytes at Pixels (bottom-up or top-down as the file stores them) into
// Bands of Rows rows each.
void CopyRowsIntoBands(const std::uint8_t* Pixels, const TBitmapArray& Bands, std::int32_t Rows,
                       std::int64_t Stride, bool BottomUp) {
  std::int64_t Height = 0;
  for (const auto& Band : Bands) Height += Band->GetHeight();
  std::int64_t Top = 0;
  for (const auto& BandPointer : Bands) {
    TBitmap& Band = *BandPointer;
    const std::int32_t BandHeight = Band.GetHeight();
    if (BottomUp) {
      // The band's block is bottom-up like the file: its rows lie contiguous in the file,
      // starting with the band's bottom row.
      const std::int64_t Bottom = Top + BandHeight - 1;
      std::memcpy(Band.ScanLine(BandHeight - 1), Pixels + (Height - 1 - Bottom) * Stride,
                  static_cast<std::size_t>(BandHeight * Stride));
    } else {
      for (std::int32_t Y = 0; Y < BandHeight; ++Y) {
        std::memcpy(Band.ScanLine(Y), Pixels + (Top + Y) * Stride,
                    static_cast<std::size_t>(Stride));
      }
    }
    Top += Rows;
  }
}

}  // namespace

void TBigBitmap::LoadFromStream(TStream& Stream) {
  TSepDIB DIB;
  // Plain rows stay in the stream until the bands exist and then go straight into them; pixels
  // that need converting are read whole into the record first.
  const std::int64_t PixelBytes = LoadDIBHeaderFromStream(DIB, Stream);
  const std::int64_t PixelEnd = Stream.GetPosition() + PixelBytes;
  const bool Direct = RowsAsStored(DIB.Header);
  if (!Direct) {
    DIB.Bits.SetLength(PixelBytes);
    Stream.ReadBufferLarge(DIB.Bits.Data(), PixelBytes);
  }

  // The geometry of the image as it will be stored is checked before any conversion, so that
  // no buffer is made for an image that could not be installed. Only the converters' own checks
  // that look at the header alone come first, so that a file with several faults reports the
  // one the conversion would meet first.
  const std::uint16_t FileBits = DIB.Header.biBitCount;
  const bool BitFields = FileBits == 16 || FileBits == 32;
  if (BitFields) {
    CheckBitFieldMasks(DIB);
  } else {
    CheckRLEBitCount(DIB);
  }
  const int Bits = BitFields ? 24 : FileBits;
  const std::int64_t W = DIB.Header.biWidth;
  const std::int64_t H = std::abs(static_cast<std::int64_t>(DIB.Header.biHeight));
  const bool BottomUp = DIB.Header.biHeight > 0;
  const std::int64_t S = ((Bits * W + 31) / 32) * 4;
  if (S >= BigBitmapMaxStride) {
    BigBitmapError("TBigBitmap.LoadFromStream: Too Big Width or Too Many Pixel Bits");
  }
  if (W <= 0 || H == 0 || H > std::numeric_limits<std::int32_t>::max()) {
    BigBitmapError("TBigBitmap.LoadFromStream: Invalid Width or Height");
  }

  if (BitFields) {
    const std::int64_t SourceStride = ((W * (FileBits == 16 ? 2 : 4) + 3) / 4) * 4;
    if (DIB.Bits.Length() < H * SourceStride) {
      BigBitmapError("TBigBitmap.LoadFromStream: Not Enough Pixel Data");
    }
    TSepDIB Tmp;
    ConvertBitFieldsTo24BitRGB(DIB, Tmp);
    DIB = std::move(Tmp);
  }
  if (DIB.Header.biCompression == BI_RLE4) {
    TSepDIB Tmp;
    Convert4BitRLETo4BitRGB(DIB, Tmp);
    DIB = std::move(Tmp);
  } else if (DIB.Header.biCompression == BI_RLE8) {
    TSepDIB Tmp;
    Convert8BitRLETo8BitRGB(DIB, Tmp);
    DIB = std::move(Tmp);
  }
  // Any other compression is taken as plain rows, which must all be there.
  if ((Direct ? PixelBytes : DIB.Bits.Length()) < H * S) {
    BigBitmapError("TBigBitmap.LoadFromStream: Not Enough Pixel Data");
  }

  const auto Width = static_cast<std::int32_t>(W);
  const auto Height = static_cast<std::int32_t>(H);
  const std::int32_t Rows = BandRows(S, Height);
  const TPixelFormat BandFormat = BandFormatForBits(Bits);

  // Built aside: a failure frees the bands made so far and leaves this object as it was.
  TBitmapArray Bands = MakeBands(DIB, BandFormat, Width, Height, Rows);

  if (Direct) {
    ReadRowsIntoBands(Stream, Bands, S, BottomUp);
    // Where reading the whole pixel data would have left it.
    Stream.SetPosition(PixelEnd);
  }
  if (!Direct) CopyRowsIntoBands(DIB.Bits.Data(), Bands, Rows, S, BottomUp);

  const TBBPixelFormat Format = PixelFormatToBBPixelFormat(Bands.front()->GetPixelFormat());
  InstallBitmaps(std::move(Bands), Width, Height, Format);
}

void TBigBitmap::SaveToStream(TStream& Stream) {
  if (GetEmpty()) return;
  const std::int64_t S = RowStride(FWidth, GetPixelBits(FPixelFormat));

  RGBQUAD Colors[MaxColors];
  std::uint32_t N = GetDIBColorTable(FBitmaps.front()->Canvas()->Handle(), 0, MaxColors, Colors);
  if (N > MaxColors) N = MaxColors;

  const std::uint64_t OffBits = SavedHeadersSize + 4ull * N;
  const std::uint64_t FileSize = OffBits + static_cast<std::uint64_t>(S) * FHeight;
  // The file header cannot describe a file of 4 GB or more: refuse rather than write a lie.
  if (FileSize > std::numeric_limits<std::uint32_t>::max()) {
    BigBitmapError("TBigBitmap.SaveToStream: Too Big Image for a BMP File");
  }

  std::uint8_t FileHeader[FileHeaderSize] = {};
  PutLE16(FileHeader, BitmapFileType);
  PutLE32(FileHeader + 2, static_cast<std::uint32_t>(FileSize));
  PutLE32(FileHeader + 10, static_cast<std::uint32_t>(OffBits));

  std::uint8_t Info[InfoHeaderSize + ColorTableBytes] = {};
  PutLE32(Info, InfoHeaderSize);
  PutLE32(Info + 4, static_cast<std::uint32_t>(FWidth));
  PutLE32(Info + 8, static_cast<std::uint32_t>(FHeight));
  PutLE16(Info + 12, 1);
  PutLE16(Info + 14, static_cast<std::uint16_t>(GetPixelBits(FPixelFormat)));
  PutLE32(Info + 32, N);  // biClrUsed; compression, image size, resolution and the rest stay 0
  std::memcpy(Info + InfoHeaderSize, Colors, 4 * N);

  Stream.WriteBuffer(FileHeader, sizeof FileHeader);
  Stream.WriteBuffer(Info, static_cast<std::int32_t>(InfoHeaderSize + 4 * N));
  for (auto Band = FBitmaps.rbegin(); Band != FBitmaps.rend(); ++Band) {
    const std::int32_t BandHeight = (*Band)->GetHeight();
    Stream.WriteBuffer((*Band)->ScanLine(BandHeight - 1),
                       static_cast<std::int32_t>(BandHeight * S));
  }
}
