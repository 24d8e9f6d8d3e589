#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "platform/bytes.h"
#include "platform/color_table.h"
#include "platform/device_context.h"
#include "platform/streams.h"

namespace {

constexpr const char* InvalidPixelFormat = "Invalid pixel format";
constexpr const char* InvalidSize = "Invalid bitmap size";
constexpr const char* ScanLineRange = "Scan line index out of range";
constexpr const char* InvalidPalette = "Invalid palette handle";
constexpr const char* InvalidImage = "Bitmap image is not valid";

// No single pixel block above this size is attempted (rows are also addressed with 32 bits).
constexpr std::int64_t MaxBlock = std::int64_t{1} << 32;

struct TBlockCounters {
  int Live = 0;
  std::int64_t Largest = 0;
  int FailCountdown = 0;
};

TBlockCounters& Counters() {
  static TBlockCounters Counters;
  return Counters;
}

int BitsOf(TPixelFormat Format) {
  switch (Format) {
    case pf1bit:
      return 1;
    case pf4bit:
      return 4;
    case pf8bit:
      return 8;
    case pf32bit:
      return 32;
    default:
      return 24;
  }
}

TPixelFormat FormatOf(int Bits) {
  switch (Bits) {
    case 1:
      return pf1bit;
    case 4:
      return pf4bit;
    case 8:
      return pf8bit;
    case 24:
      return pf24bit;
    default:
      return pf32bit;
  }
}

std::int64_t BlockSize(std::int32_t Width, std::int32_t Height, int Bits) {
  if (Width < 0 || Height < 0) throw EInvalidGraphic(InvalidSize);
  const std::int64_t Stride = DibRowStride(Width, Bits);
  if (Stride > std::numeric_limits<std::int32_t>::max()) throw EOutOfMemory();
  return Stride * Height;
}

// A palette handle for a colour table (0 for none).
HPALETTE PaletteFor(const std::vector<RGBQUAD>& Colors) {
  return Colors.empty() ? 0 : CreatePaletteFromColors(Colors);
}

// Selects a palette back into a surface when it goes out of scope.
class TPaletteRestorer {
 public:
  TPaletteRestorer(HDC DC, HPALETTE Old) : FDC(DC), FOld(Old) {}
  ~TPaletteRestorer() {
    if (FDC != nullptr) SelectPalette(FDC, FOld, true);
  }
  TPaletteRestorer(const TPaletteRestorer&) = delete;
  TPaletteRestorer& operator=(const TPaletteRestorer&) = delete;

 private:
  HDC FDC;
  HPALETTE FOld;
};

}  // namespace

// ---- pixel blocks ----------------------------------------------------------------------------

std::uint8_t* AllocateBitmapBlock(std::int64_t Size) {
  TBlockCounters& C = Counters();
  if (C.FailCountdown > 0 && --C.FailCountdown == 0) throw EOutOfMemory();
  if (Size <= 0 || Size > MaxBlock) throw EOutOfMemory();
  // From the program's allocator, like every other block; not cleared here (DeferZero).
  auto* Block = new (std::nothrow) std::uint8_t[static_cast<std::size_t>(Size)];
  if (Block == nullptr) throw EOutOfMemory();
  ++C.Live;
  C.Largest = std::max(C.Largest, Size);
  return Block;
}

void FreeBitmapBlock(std::uint8_t* Block) {
  if (Block == nullptr) return;
  delete[] Block;
  --Counters().Live;
}

int LiveBitmapBlocks() {
  return Counters().Live;
}
std::int64_t LargestBitmapBlock() {
  return Counters().Largest;
}
void ResetLargestBitmapBlock() {
  Counters().Largest = 0;
}
void SetBitmapAllocFailCountdown(int N) {
  Counters().FailCountdown = std::max(N, 0);
}

// ---- TBitmap ---------------------------------------------------------------------------------

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
  delete FCanvas;
  FreeBlock();
  if (FPalette != 0) DeleteObject(FPalette);
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value != pf1bit && Value != pf4bit && Value != pf8bit && Value != pf24bit &&
      Value != pf32bit) {
    throw EInvalidGraphic(InvalidPixelFormat);
  }
  if (Value == FPixelFormat) return;
  const int Bits = BitsOf(Value);
  const std::int64_t Size = BlockSize(FWidth, FHeight, Bits);
  TBitmapBlockPtr Block(Size > 0 ? AllocateBitmapBlock(Size) : nullptr);
  std::vector<RGBQUAD> Colors = DefaultColorTable(Bits);
  const HPALETTE Palette = PaletteFor(Colors);
  Install(Block.release(), std::move(Colors), Palette, Value, FWidth, FHeight);
  DeferZero(0);
  Changed(this);
}

void TBitmap::SetWidth(std::int32_t Value) {
  if (Value != FWidth) Reallocate(Value, FHeight);
}

void TBitmap::SetHeight(std::int32_t Value) {
  if (Value != FHeight) Reallocate(FWidth, Value);
}

void TBitmap::Reallocate(std::int32_t Width, std::int32_t Height) {
  const int Bits = BitsPerPixel();
  const std::int64_t Size = BlockSize(Width, Height, Bits);
  TBitmapBlockPtr Block(Size > 0 ? AllocateBitmapBlock(Size) : nullptr);
  std::int32_t Kept = 0;  // rows taken over from the old block
  if (Block != nullptr && FBits != nullptr) {
    if (FillPending()) WritePendingFill();
    // Keep what the old and new sizes share, top-left aligned.
    const std::int64_t NewStride = DibRowStride(Width, Bits);
    const std::int64_t OldStride = RowStride();
    const std::int64_t Bytes = std::min(NewStride, OldStride);
    const std::int32_t Rows = std::min(Height, FHeight);
    for (std::int32_t R = 0; R < Rows; ++R) {
      std::uint8_t* Row = Block.get() + (Height - 1 - R) * NewStride;
      std::memcpy(Row, FBits + (FHeight - 1 - R) * OldStride, static_cast<std::size_t>(Bytes));
      std::memset(Row + Bytes, 0, static_cast<std::size_t>(NewStride - Bytes));
    }
    Kept = Rows;
  }
  FreeBlock();
  FBits = Block.release();
  FWidth = Width;
  FHeight = Height;
  DeferZero(Kept);
  Changed(this);
}

void TBitmap::FreeBlock() {
  FreeBitmapBlock(FBits);
  FBits = nullptr;
  DropPendingFill();
}

// ---- bytes not yet written -------------------------------------------------------------------

void TBitmap::WriteFill(std::int32_t Top, std::int32_t Bottom) {
  if (FFillZero) {
    const std::int64_t Stride = RowStride();
    std::memset(FBits + (FHeight - static_cast<std::int64_t>(Bottom)) * Stride, 0,
                static_cast<std::size_t>((Bottom - Top) * Stride));
  }
  if (FFillSolid) FillDevice(*Canvas()->Handle(), TRect{0, Top, FWidth, Bottom}, FFillColor);
}

void TBitmap::WritePendingFill() {
  WriteFill(FFillTop, FFillBottom);
  DropPendingFill();
}

void TBitmap::DeferZero(std::int32_t Top) {
  if (FBits == nullptr || Top >= FHeight) return;
  FFillTop = Top;
  FFillBottom = FHeight;
  FFillZero = true;
  FFillSolid = false;
}

void TBitmap::DeferFill(TColor Color) {
  // Zeros still owed to only some rows are written, so that one row range stays enough.
  if (FFillZero && (FFillTop != 0 || FFillBottom != FHeight)) WritePendingFill();
  FFillZero = FFillZero && FillPending();
  FFillTop = 0;
  FFillBottom = FHeight;
  FFillSolid = true;
  FFillColor = Color;
}

void TBitmap::Overwriting(std::int32_t Top, std::int32_t Bottom) {
  if (!FillPending() || Bottom <= FFillTop || Top >= FFillBottom) return;
  const std::int32_t First = std::max(Top, FFillTop);
  const std::int32_t Last = std::min(Bottom, FFillBottom);
  if (FFillZero) {
    // The blit writes every pixel but not the bytes after the last one (the bits after it in a
    // shared last byte included): those are zeroed here.
    const std::int64_t Stride = RowStride();
    const std::int64_t Used = static_cast<std::int64_t>(FWidth) * BitsPerPixel() / 8;
    for (std::int32_t Y = First; Y < Last && Used < Stride; ++Y) {
      std::memset(FBits + (FHeight - 1 - static_cast<std::int64_t>(Y)) * Stride + Used, 0,
                  static_cast<std::size_t>(Stride - Used));
    }
  }
  if (Top <= FFillTop) {
    FFillTop = Last;
  } else if (Bottom >= FFillBottom) {
    FFillBottom = First;
  } else {
    // A blit inside the pending rows: those below it are written now, those above stay pending
    // (bands are drawn from the top down, so the next blit usually takes them).
    WriteFill(Bottom, FFillBottom);
    FFillBottom = Top;
  }
  if (!FillPending()) DropPendingFill();
}

void TBitmap::Install(std::uint8_t* Bits, std::vector<RGBQUAD> Colors, HPALETTE Palette,
                      TPixelFormat Format, std::int32_t Width, std::int32_t Height) noexcept {
  FreeBlock();
  FBits = Bits;
  if (FPalette != 0) DeleteObject(FPalette);
  FPalette = Palette;
  FColors = std::move(Colors);
  FPixelFormat = Format;
  FWidth = Width;
  FHeight = Height;
}

void* TBitmap::ScanLine(std::int32_t Row) {
  if (Row < 0 || Row >= FHeight || FBits == nullptr) throw EInvalidGraphic(ScanLineRange);
  if (FillPending()) WritePendingFill();
  return FBits + static_cast<std::int64_t>(FHeight - 1 - Row) * RowStride();
}

void* TBitmap::BlockToOverwrite() {
  if (FBits == nullptr) throw EInvalidGraphic(ScanLineRange);
  DropPendingFill();
  return FBits;
}

std::int32_t TBitmap::RowStride() const {
  return static_cast<std::int32_t>(DibRowStride(FWidth, BitsPerPixel()));
}

int TBitmap::BitsPerPixel() const {
  return BitsOf(FPixelFormat);
}

void TBitmap::SetPalette(HPALETTE Value) {
  if (Value == FPalette) return;
  const int Bits = BitsPerPixel();
  // A pending fill was meant in the colours of the table it was made with.
  if (Bits <= 8 && FillPending()) WritePendingFill();
  if (Bits > 8) {
    // No colour table at this depth: the handle is taken over all the same.
    if (Value != 0) DeleteObject(Value);
    return;
  }
  std::vector<RGBQUAD> Colors;
  HPALETTE Palette = Value;
  if (Value == 0) {
    Colors = DefaultColorTable(Bits);
    Palette = PaletteFor(Colors);
  } else {
    const std::vector<PALETTEENTRY>* Entries = PaletteEntriesOf(Value);
    if (Entries == nullptr) throw EInvalidGraphic(InvalidPalette);
    const std::size_t N = std::min<std::size_t>(Entries->size(), std::size_t{1} << Bits);
    Colors.resize(N);
    for (std::size_t I = 0; I < N; ++I) {
      const PALETTEENTRY& E = (*Entries)[I];
      Colors[I] = RGBQUAD{E.peBlue, E.peGreen, E.peRed, 0};
    }
  }
  if (FPalette != 0) DeleteObject(FPalette);
  FPalette = Palette;
  FColors = std::move(Colors);
  SetPaletteModified(true);
  Changed(this);
}

TCanvas* TBitmap::Canvas() {
  if (FCanvas == nullptr) FCanvas = new TCanvas(this);
  return FCanvas;
}

void TBitmap::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    // Nothing to copy: the picture becomes empty and keeps its depth and colour table.
    Reallocate(0, 0);
    return;
  }
  auto* Other = dynamic_cast<TBitmap*>(Source);
  if (Other == nullptr) {
    TGraphic::Assign(Source);
    return;
  }
  if (Other == this) return;
  if (Other->FillPending()) Other->WritePendingFill();
  const std::int64_t Size = BlockSize(Other->FWidth, Other->FHeight, Other->BitsPerPixel());
  TBitmapBlockPtr Block(Size > 0 ? AllocateBitmapBlock(Size) : nullptr);
  if (Block != nullptr) std::memcpy(Block.get(), Other->FBits, static_cast<std::size_t>(Size));
  std::vector<RGBQUAD> Colors = Other->FColors;
  HPALETTE Palette = CopyPalette(Other->FPalette);
  if (Palette == 0) Palette = PaletteFor(Colors);
  Install(Block.release(), std::move(Colors), Palette, Other->FPixelFormat, Other->FWidth,
          Other->FHeight);
  SetPaletteModified(true);
  Changed(this);
}

void TBitmap::LoadFromStream(TStream& Stream) {
  const std::int64_t Start = Stream.GetPosition();
  std::uint8_t Header[14 + 40];
  Stream.ReadBuffer(Header, 14 + 4);
  if (GetLE16(Header) != 0x4D42) throw EInvalidGraphic(InvalidImage);
  const std::uint32_t OffBits = GetLE32(Header + 10);
  const std::uint32_t InfoSize = GetLE32(Header + 14);
  if (InfoSize < 40 || InfoSize > 4096) throw EInvalidGraphic(InvalidImage);
  Stream.ReadBuffer(Header + 18, 36);
  const std::uint8_t* Info = Header + 14;
  const auto Width = static_cast<std::int32_t>(GetLE32(Info + 4));
  const auto RawHeight = static_cast<std::int32_t>(GetLE32(Info + 8));
  const int Planes = GetLE16(Info + 12);
  const int Bits = GetLE16(Info + 14);
  const std::uint32_t Compression = GetLE32(Info + 16);
  const std::uint32_t ClrUsed = GetLE32(Info + 32);
  if (Width <= 0 || RawHeight == 0 || RawHeight == std::numeric_limits<std::int32_t>::min() ||
      Planes != 1 || Compression != BI_RGB ||
      (Bits != 1 && Bits != 4 && Bits != 8 && Bits != 24 && Bits != 32)) {
    throw EInvalidGraphic(InvalidImage);
  }
  const bool BottomUp = RawHeight > 0;
  const std::int32_t Height = BottomUp ? RawHeight : -RawHeight;
  if (InfoSize > 40) Stream.Seek(InfoSize - 40, soFromCurrent);

  std::uint32_t ColorCount = ClrUsed;
  if (ColorCount == 0 && Bits <= 8) ColorCount = 1u << Bits;
  if (ColorCount > 256) throw EInvalidGraphic(InvalidImage);
  std::vector<RGBQUAD> Colors(ColorCount);
  if (ColorCount > 0) {
    Stream.ReadBuffer(Colors.data(), static_cast<std::int32_t>(ColorCount * sizeof(RGBQUAD)));
  }
  for (RGBQUAD& C : Colors) C.rgbReserved = 0;
  if (Bits > 8) Colors.clear();  // a colour table beside true-colour pixels is only a hint
  if (Bits <= 8 && Colors.size() > (std::size_t{1} << Bits)) Colors.resize(std::size_t{1} << Bits);

  const std::int64_t TableEnd = 14 + static_cast<std::int64_t>(InfoSize) + 4 * ColorCount;
  if (OffBits >= TableEnd) Stream.SetPosition(Start + OffBits);

  const std::int64_t Stride = DibRowStride(Width, Bits);
  const std::int64_t Size = BlockSize(Width, Height, Bits);
  if (Stream.Remaining() < Size) throw EReadError();
  TBitmapBlockPtr Block(AllocateBitmapBlock(Size));
  if (BottomUp) {
    Stream.ReadBufferLarge(Block.get(), Size);
  } else {
    for (std::int32_t R = 0; R < Height; ++R) {
      Stream.ReadBufferLarge(Block.get() + (Height - 1 - R) * Stride, Stride);
    }
  }
  const HPALETTE Palette = PaletteFor(Colors);
  Install(Block.release(), std::move(Colors), Palette, FormatOf(Bits), Width, Height);
  SetPaletteModified(true);
  Changed(this);
}

void TBitmap::SaveToStream(TStream& Stream) {
  if (GetEmpty()) return;
  if (FillPending()) WritePendingFill();
  const int Bits = BitsPerPixel();
  const auto Colors = static_cast<std::uint32_t>(FColors.size());
  const std::uint32_t TableEnd = 14 + 40 + 4 * Colors;
  const std::int64_t Size = static_cast<std::int64_t>(RowStride()) * FHeight;
  std::vector<std::uint8_t> Header(TableEnd, 0);
  std::uint8_t* P = Header.data();
  PutLE16(P, 0x4D42);
  PutLE32(P + 2, static_cast<std::uint32_t>(std::min<std::int64_t>(TableEnd + Size, 0xFFFFFFFF)));
  PutLE32(P + 10, TableEnd);
  std::uint8_t* Info = P + 14;
  PutLE32(Info, 40);
  PutLE32(Info + 4, static_cast<std::uint32_t>(FWidth));
  PutLE32(Info + 8, static_cast<std::uint32_t>(FHeight));
  PutLE16(Info + 12, 1);
  PutLE16(Info + 14, static_cast<std::uint16_t>(Bits));
  PutLE32(Info + 16, BI_RGB);
  PutLE32(Info + 20, static_cast<std::uint32_t>(std::min<std::int64_t>(Size, 0xFFFFFFFF)));
  PutLE32(Info + 32, Colors);
  if (Colors > 0) std::memcpy(Info + 40, FColors.data(), Colors * sizeof(RGBQUAD));
  Stream.WriteBuffer(Header.data(), static_cast<std::int32_t>(Header.size()));
  Stream.WriteBufferLarge(FBits, Size);
}

namespace {

// One axis of a blit: destination start and extent (negative: mirrored), source start and
// extent. A destination extent beyond 32 bits (a rectangle from near the smallest to near the
// largest coordinate) is cut down to the part a clip range shows, with the source part that
// covers it, so that the blit gets values it can take.
struct TBlitSpan {
  std::int64_t D, DExt, S, SExt;

  bool Fits() const {
    return DExt >= std::numeric_limits<std::int32_t>::min() &&
           DExt <= std::numeric_limits<std::int32_t>::max();
  }
  // False when no position of the span lies in [Lo, Hi).
  bool ClipTo(std::int64_t Lo, std::int64_t Hi) {
    const std::int64_t N = DExt < 0 ? -DExt : DExt;
    // The positions run from D in the extent's direction: [First, First + N).
    const std::int64_t First = DExt < 0 ? D - N + 1 : D;
    const std::int64_t VisibleLo = std::max(First, Lo);
    const std::int64_t VisibleHi = std::min(First + N, Hi);
    if (VisibleLo >= VisibleHi) return false;
    // Distances of the visible run's ends from D; N < 2^32 and SExt < 2^31 keep the products
    // in range.
    const std::int64_t T0 = DExt < 0 ? D - (VisibleHi - 1) : VisibleLo - D;
    const std::int64_t T1 = T0 + (VisibleHi - VisibleLo);
    const std::int64_t S0 = T0 * SExt / N;
    const std::int64_t S1 = (T1 * SExt + N - 1) / N;
    D = DExt < 0 ? VisibleHi - 1 : VisibleLo;
    DExt = DExt < 0 ? VisibleLo - VisibleHi : VisibleHi - VisibleLo;
    S += S0;
    SExt = S1 - S0;
    return true;
  }
};

}  // namespace

void TBitmap::Draw(TCanvas& ACanvas, const TRect& Rect) {
  if (GetEmpty()) return;
  const HDC Dc = ACanvas.Handle();
  HPALETTE OldPalette = 0;
  if (FPalette != 0) {
    OldPalette = SelectPalette(Dc, FPalette, true);
    RealizePalette(Dc);
  }
  const TPaletteRestorer Restorer(FPalette != 0 ? Dc : nullptr, OldPalette);
  const int Bpp = GetDeviceCaps(Dc, BITSPIXEL) * GetDeviceCaps(Dc, PLANES);
  const int Own = BitsPerPixel();
  if (Bpp <= 8 && Bpp < Own) {
    TPoint BrushOrigin;
    GetBrushOrgEx(Dc, &BrushOrigin);
    SetStretchBltMode(Dc, HALFTONE);
    SetBrushOrgEx(Dc, BrushOrigin.X, BrushOrigin.Y, nullptr);
  } else if (Own != 1) {
    SetStretchBltMode(Dc, COLORONCOLOR);
  }
  TBlitSpan X{Rect.Left, std::int64_t{Rect.Right} - Rect.Left, 0, FWidth};
  TBlitSpan Y{Rect.Top, std::int64_t{Rect.Bottom} - Rect.Top, 0, FHeight};
  if (!X.Fits() || !Y.Fits()) {
    TRect Clip;
    GetClipBox(Dc, &Clip);
    if (!X.Fits() && !X.ClipTo(Clip.Left, Clip.Right)) return;
    if (!Y.Fits() && !Y.ClipTo(Clip.Top, Clip.Bottom)) return;
  }
  StretchBlt(Dc, static_cast<int>(X.D), static_cast<int>(Y.D), static_cast<int>(X.DExt),
             static_cast<int>(Y.DExt), Canvas()->Handle(), static_cast<int>(X.S),
             static_cast<int>(Y.S), static_cast<int>(X.SExt), static_cast<int>(Y.SExt),
             ACanvas.CopyMode);
}
