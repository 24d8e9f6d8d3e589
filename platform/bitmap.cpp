#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/bytes.h"
#include "platform/color_table.h"
#include "platform/device_context.h"
#include "platform/streams.h"

namespace {

constexpr const char* kInvalidPixelFormat = "Invalid pixel format";
constexpr const char* kInvalidSize = "Invalid bitmap size";
constexpr const char* kScanLineRange = "Scan line index out of range";
constexpr const char* kInvalidPalette = "Invalid palette handle";
constexpr const char* kInvalidImage = "Bitmap image is not valid";

// No single pixel block above this size is attempted (rows are also addressed with 32 bits).
constexpr std::int64_t kMaxBlock = std::int64_t{1} << 32;

struct TBlockCounters {
  int Live = 0;
  std::int64_t Largest = 0;
  int FailCountdown = 0;
};

TBlockCounters& Counters() {
  static TBlockCounters counters;
  return counters;
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
  if (Width < 0 || Height < 0) throw EInvalidGraphic(kInvalidSize);
  const std::int64_t stride = DibRowStride(Width, Bits);
  if (stride > std::numeric_limits<std::int32_t>::max()) throw EOutOfMemory();
  return stride * Height;
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
  TBlockCounters& c = Counters();
  if (c.FailCountdown > 0 && --c.FailCountdown == 0) throw EOutOfMemory();
  if (Size <= 0 || Size > kMaxBlock) throw EOutOfMemory();
  auto* block = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(Size), 1));
  if (block == nullptr) throw EOutOfMemory();
  ++c.Live;
  c.Largest = std::max(c.Largest, Size);
  return block;
}

void FreeBitmapBlock(std::uint8_t* Block) {
  if (Block == nullptr) return;
  std::free(Block);
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
void SetBitmapAllocFailCountdown(int n) {
  Counters().FailCountdown = std::max(n, 0);
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
    throw EInvalidGraphic(kInvalidPixelFormat);
  }
  if (Value == FPixelFormat) return;
  const int bits = BitsOf(Value);
  const std::int64_t size = BlockSize(FWidth, FHeight, bits);
  TBitmapBlockPtr block(size > 0 ? AllocateBitmapBlock(size) : nullptr);
  std::vector<RGBQUAD> colors = DefaultColorTable(bits);
  const HPALETTE palette = PaletteFor(colors);
  Install(block.release(), std::move(colors), palette, Value, FWidth, FHeight);
  Changed(this);
}

void TBitmap::SetWidth(std::int32_t Value) {
  if (Value != FWidth) Reallocate(Value, FHeight);
}

void TBitmap::SetHeight(std::int32_t Value) {
  if (Value != FHeight) Reallocate(FWidth, Value);
}

void TBitmap::Reallocate(std::int32_t Width, std::int32_t Height) {
  const int bits = BitsPerPixel();
  const std::int64_t size = BlockSize(Width, Height, bits);
  TBitmapBlockPtr block(size > 0 ? AllocateBitmapBlock(size) : nullptr);
  if (block != nullptr && FBits != nullptr) {
    // Keep what the old and new sizes share, top-left aligned.
    const std::int64_t new_stride = DibRowStride(Width, bits);
    const std::int64_t old_stride = RowStride();
    const std::int64_t bytes = std::min(new_stride, old_stride);
    const std::int32_t rows = std::min(Height, FHeight);
    for (std::int32_t r = 0; r < rows; ++r) {
      std::memcpy(block.get() + (Height - 1 - r) * new_stride,
                  FBits + (FHeight - 1 - r) * old_stride, static_cast<std::size_t>(bytes));
    }
  }
  FreeBlock();
  FBits = block.release();
  FWidth = Width;
  FHeight = Height;
  Changed(this);
}

void TBitmap::FreeBlock() {
  FreeBitmapBlock(FBits);
  FBits = nullptr;
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
  if (Row < 0 || Row >= FHeight || FBits == nullptr) throw EInvalidGraphic(kScanLineRange);
  return FBits + static_cast<std::int64_t>(FHeight - 1 - Row) * RowStride();
}

std::int32_t TBitmap::RowStride() const {
  return static_cast<std::int32_t>(DibRowStride(FWidth, BitsPerPixel()));
}

int TBitmap::BitsPerPixel() const {
  return BitsOf(FPixelFormat);
}

void TBitmap::SetPalette(HPALETTE Value) {
  if (Value == FPalette) return;
  const int bits = BitsPerPixel();
  if (bits > 8) {
    // No colour table at this depth: the handle is taken over all the same.
    if (Value != 0) DeleteObject(Value);
    return;
  }
  std::vector<RGBQUAD> colors;
  HPALETTE palette = Value;
  if (Value == 0) {
    colors = DefaultColorTable(bits);
    palette = PaletteFor(colors);
  } else {
    const std::vector<PALETTEENTRY>* entries = PaletteEntriesOf(Value);
    if (entries == nullptr) throw EInvalidGraphic(kInvalidPalette);
    const std::size_t n = std::min<std::size_t>(entries->size(), std::size_t{1} << bits);
    colors.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      const PALETTEENTRY& e = (*entries)[i];
      colors[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
    }
  }
  if (FPalette != 0) DeleteObject(FPalette);
  FPalette = palette;
  FColors = std::move(colors);
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
  auto* source = dynamic_cast<TBitmap*>(Source);
  if (source == nullptr) {
    TGraphic::Assign(Source);
    return;
  }
  if (source == this) return;
  const std::int64_t size = BlockSize(source->FWidth, source->FHeight, source->BitsPerPixel());
  TBitmapBlockPtr block(size > 0 ? AllocateBitmapBlock(size) : nullptr);
  if (block != nullptr) std::memcpy(block.get(), source->FBits, static_cast<std::size_t>(size));
  std::vector<RGBQUAD> colors = source->FColors;
  HPALETTE palette = CopyPalette(source->FPalette);
  if (palette == 0) palette = PaletteFor(colors);
  Install(block.release(), std::move(colors), palette, source->FPixelFormat, source->FWidth,
          source->FHeight);
  SetPaletteModified(true);
  Changed(this);
}

void TBitmap::LoadFromStream(TStream& Stream) {
  const std::int64_t start = Stream.GetPosition();
  std::uint8_t header[14 + 40];
  Stream.ReadBuffer(header, 14 + 4);
  if (GetLE16(header) != 0x4D42) throw EInvalidGraphic(kInvalidImage);
  const std::uint32_t off_bits = GetLE32(header + 10);
  const std::uint32_t info_size = GetLE32(header + 14);
  if (info_size < 40 || info_size > 4096) throw EInvalidGraphic(kInvalidImage);
  Stream.ReadBuffer(header + 18, 36);
  const std::uint8_t* info = header + 14;
  const auto width = static_cast<std::int32_t>(GetLE32(info + 4));
  const auto raw_height = static_cast<std::int32_t>(GetLE32(info + 8));
  const int planes = GetLE16(info + 12);
  const int bits = GetLE16(info + 14);
  const std::uint32_t compression = GetLE32(info + 16);
  const std::uint32_t clr_used = GetLE32(info + 32);
  if (width <= 0 || raw_height == 0 || raw_height == std::numeric_limits<std::int32_t>::min() ||
      planes != 1 || compression != BI_RGB ||
      (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)) {
    throw EInvalidGraphic(kInvalidImage);
  }
  const bool bottom_up = raw_height > 0;
  const std::int32_t height = bottom_up ? raw_height : -raw_height;
  if (info_size > 40) Stream.Seek(info_size - 40, soFromCurrent);

  std::uint32_t color_count = clr_used;
  if (color_count == 0 && bits <= 8) color_count = 1u << bits;
  if (color_count > 256) throw EInvalidGraphic(kInvalidImage);
  std::vector<RGBQUAD> colors(color_count);
  if (color_count > 0) {
    Stream.ReadBuffer(colors.data(), static_cast<std::int32_t>(color_count * sizeof(RGBQUAD)));
  }
  for (RGBQUAD& c : colors) c.rgbReserved = 0;
  if (bits > 8) colors.clear();  // a colour table beside true-colour pixels is only a hint
  if (bits <= 8 && colors.size() > (std::size_t{1} << bits)) colors.resize(std::size_t{1} << bits);

  const std::int64_t table_end = 14 + static_cast<std::int64_t>(info_size) + 4 * color_count;
  if (off_bits >= table_end) Stream.SetPosition(start + off_bits);

  const std::int64_t stride = DibRowStride(width, bits);
  const std::int64_t size = BlockSize(width, height, bits);
  if (Stream.Remaining() < size) throw EReadError();
  TBitmapBlockPtr block(AllocateBitmapBlock(size));
  if (bottom_up) {
    Stream.ReadBufferLarge(block.get(), size);
  } else {
    for (std::int32_t r = 0; r < height; ++r) {
      Stream.ReadBufferLarge(block.get() + (height - 1 - r) * stride, stride);
    }
  }
  const HPALETTE palette = PaletteFor(colors);
  Install(block.release(), std::move(colors), palette, FormatOf(bits), width, height);
  SetPaletteModified(true);
  Changed(this);
}

void TBitmap::SaveToStream(TStream& Stream) {
  if (GetEmpty()) return;
  const int bits = BitsPerPixel();
  const auto colors = static_cast<std::uint32_t>(FColors.size());
  const std::uint32_t table_end = 14 + 40 + 4 * colors;
  const std::int64_t size = static_cast<std::int64_t>(RowStride()) * FHeight;
  std::vector<std::uint8_t> header(table_end, 0);
  std::uint8_t* p = header.data();
  PutLE16(p, 0x4D42);
  PutLE32(p + 2, static_cast<std::uint32_t>(std::min<std::int64_t>(table_end + size, 0xFFFFFFFF)));
  PutLE32(p + 10, table_end);
  std::uint8_t* info = p + 14;
  PutLE32(info, 40);
  PutLE32(info + 4, static_cast<std::uint32_t>(FWidth));
  PutLE32(info + 8, static_cast<std::uint32_t>(FHeight));
  PutLE16(info + 12, 1);
  PutLE16(info + 14, static_cast<std::uint16_t>(bits));
  PutLE32(info + 16, BI_RGB);
  PutLE32(info + 20, static_cast<std::uint32_t>(std::min<std::int64_t>(size, 0xFFFFFFFF)));
  PutLE32(info + 32, colors);
  if (colors > 0) std::memcpy(info + 40, FColors.data(), colors * sizeof(RGBQUAD));
  Stream.WriteBuffer(header.data(), static_cast<std::int32_t>(header.size()));
  Stream.WriteBufferLarge(FBits, size);
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
    const std::int64_t n = DExt < 0 ? -DExt : DExt;
    // The positions run from D in the extent's direction: [first, first + n).
    const std::int64_t first = DExt < 0 ? D - n + 1 : D;
    const std::int64_t lo = std::max(first, Lo);
    const std::int64_t hi = std::min(first + n, Hi);
    if (lo >= hi) return false;
    // Distances of the visible run's ends from D; n < 2^32 and SExt < 2^31 keep the products
    // in range.
    const std::int64_t t0 = DExt < 0 ? D - (hi - 1) : lo - D;
    const std::int64_t t1 = t0 + (hi - lo);
    const std::int64_t s0 = t0 * SExt / n;
    const std::int64_t s1 = (t1 * SExt + n - 1) / n;
    D = DExt < 0 ? hi - 1 : lo;
    DExt = DExt < 0 ? lo - hi : hi - lo;
    S += s0;
    SExt = s1 - s0;
    return true;
  }
};

}  // namespace

void TBitmap::Draw(TCanvas& ACanvas, const TRect& Rect) {
  if (GetEmpty()) return;
  const HDC dc = ACanvas.Handle();
  HPALETTE old_palette = 0;
  if (FPalette != 0) {
    old_palette = SelectPalette(dc, FPalette, true);
    RealizePalette(dc);
  }
  const TPaletteRestorer restorer(FPalette != 0 ? dc : nullptr, old_palette);
  const int bpp = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
  const int own = BitsPerPixel();
  if (bpp <= 8 && bpp < own) {
    TPoint brush_origin;
    GetBrushOrgEx(dc, &brush_origin);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, brush_origin.X, brush_origin.Y, nullptr);
  } else if (own != 1) {
    SetStretchBltMode(dc, COLORONCOLOR);
  }
  TBlitSpan x{Rect.Left, std::int64_t{Rect.Right} - Rect.Left, 0, FWidth};
  TBlitSpan y{Rect.Top, std::int64_t{Rect.Bottom} - Rect.Top, 0, FHeight};
  if (!x.Fits() || !y.Fits()) {
    TRect clip;
    GetClipBox(dc, &clip);
    if (!x.Fits() && !x.ClipTo(clip.Left, clip.Right)) return;
    if (!y.Fits() && !y.ClipTo(clip.Top, clip.Bottom)) return;
  }
  StretchBlt(dc, static_cast<int>(x.D), static_cast<int>(y.D), static_cast<int>(x.DExt),
             static_cast<int>(y.DExt), Canvas()->Handle(), static_cast<int>(x.S),
             static_cast<int>(y.S), static_cast<int>(x.SExt), static_cast<int>(y.SExt),
             ACanvas.CopyMode);
}
