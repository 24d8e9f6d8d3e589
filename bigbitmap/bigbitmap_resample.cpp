// Resampled drawing of TBigBitmap (DrawMode 1). The image is point-sampled into one reused
// tile bitmap that stands for at most 1024 x 1024 destination pixels and each tile is sent
// with one StretchDIBits. Tiles outside the destination's clip box are neither sampled nor
// sent. When the image is enlarged at least 2 or 4 times, the tile holds one sample per 2 or 4
// destination pixels and the blit does the rest of the enlargement.

#include <cstdlib>
#include <cstring>
#include <vector>

#include "bigbitmap/bigbitmap.h"
#include "dibutils/dibutils.h"

namespace {

// Destination pixels one tile stands for, across and down.
constexpr std::int64_t kTileExtent = 1024;
// Destinations narrower than this, or at most this high, are never sampled coarser.
constexpr std::int64_t kMinCoarseWidth = 256;
constexpr std::int64_t kMaxFineHeight = 256;

// Destination pixels per sample for a destination extent Dest of an image extent Source.
std::int64_t MagnificationStep(std::int64_t Dest, std::int64_t Source) {
  if (Source >= Dest) return 1;
  if (4 * Source <= Dest) return 4;
  if (2 * Source <= Dest) return 2;
  return 1;
}

// Selects the large bitmap's palette into the destination for the lifetime of the object and
// selects the previous one back whatever happens.
class TPaletteSelection {
 public:
  TPaletteSelection(HDC DC, HPALETTE Palette) : FDC(DC), FActive(Palette != 0) {
    if (!FActive) return;
    FOld = SelectPalette(FDC, Palette, true);
    RealizePalette(FDC);
  }
  ~TPaletteSelection() {
    if (FActive) SelectPalette(FDC, FOld, true);
  }
  TPaletteSelection(const TPaletteSelection&) = delete;
  TPaletteSelection& operator=(const TPaletteSelection&) = delete;

 private:
  HDC FDC;
  bool FActive;
  HPALETTE FOld = 0;
};

// Copies samples First .. Count - 1 of one tile row: pixel Map[c] of Src goes to pixel c of
// Dst. Dst has been cleared; at 1 and 4 bits the packed bytes are built whole and ORed in, so
// First must then be a multiple of 8 or 2.
void SampleRow(int Bits, const std::uint8_t* Src, std::uint8_t* Dst, const std::int32_t* Map,
               std::int32_t First, std::int32_t Count) {
  switch (Bits) {
    case 1: {
      for (std::int32_t c = First; c < Count; c += 8) {
        const std::int32_t end = c + 8 < Count ? c + 8 : Count;
        std::uint8_t packed = 0;
        for (std::int32_t k = c; k < end; ++k) {
          const std::int32_t s = Map[k];
          const std::uint8_t bit = (Src[s >> 3] >> (7 - (s & 7))) & 1;
          packed |= static_cast<std::uint8_t>(bit << (7 - (k & 7)));
        }
        Dst[c >> 3] |= packed;
      }
      break;
    }
    case 4:
      for (std::int32_t c = First; c < Count; c += 2) {
        const std::int32_t s0 = Map[c];
        const std::uint8_t hi = (s0 & 1) ? (Src[s0 >> 1] & 0x0F) : (Src[s0 >> 1] >> 4);
        std::uint8_t lo = 0;
        if (c + 1 < Count) {
          const std::int32_t s1 = Map[c + 1];
          lo = (s1 & 1) ? (Src[s1 >> 1] & 0x0F) : (Src[s1 >> 1] >> 4);
        }
        Dst[c >> 1] |= static_cast<std::uint8_t>(hi << 4 | lo);
      }
      break;
    case 8:
      for (std::int32_t c = First; c < Count; ++c) Dst[c] = Src[Map[c]];
      break;
    default:  // 24
      for (std::int32_t c = First; c < Count; ++c) {
        const std::uint8_t* p = Src + 3 * static_cast<std::ptrdiff_t>(Map[c]);
        std::uint8_t* q = Dst + 3 * static_cast<std::ptrdiff_t>(c);
        q[0] = p[0];
        q[1] = p[1];
        q[2] = p[2];
      }
      break;
  }
}

// The samples [First, Last) of a tile that can reach the visible destination pixels
// [VisibleFrom, VisibleTo) of the tile. The tile starts at destination pixel Origin and runs in
// direction Dir over Span pixels with Count samples; a mirrored tile has its first sample at
// Origin. A blit takes destination offset k from about sample k * Count / Span; one sample of
// margin on either side leaves room for the blit's own rounding and area averaging.
struct TSampleRange {
  std::int32_t First;
  std::int32_t Last;
};

TSampleRange VisibleSamples(std::int64_t Origin, std::int64_t Dir, std::int64_t Span,
                            std::int32_t Count, std::int64_t VisibleFrom, std::int64_t VisibleTo) {
  const std::int64_t k0 = Dir > 0 ? VisibleFrom - Origin : Origin - VisibleTo + 1;
  const std::int64_t k1 = Dir > 0 ? VisibleTo - Origin : Origin - VisibleFrom + 1;
  const std::int64_t first = k0 * Count / Span - 1;
  const std::int64_t last = (k1 * Count + Span - 1) / Span + 1;
  return {static_cast<std::int32_t>(first < 0 ? 0 : first),
          static_cast<std::int32_t>(last > Count ? Count : last)};
}

}  // namespace

void TBigBitmap::DrawResampled(TCanvas& ACanvas, const TRect& Rect, const TRect& ClipBox) {
  // Extents and placements in 64 bits: a rectangle may span more than 2^31 units.
  const std::int64_t W = std::llabs(static_cast<std::int64_t>(Rect.Right) - Rect.Left);
  const std::int64_t H = std::llabs(static_cast<std::int64_t>(Rect.Bottom) - Rect.Top);
  if (W == 0 || H == 0) return;

  const std::int64_t sx = W < kMinCoarseWidth ? 1 : MagnificationStep(W, FWidth);
  const std::int64_t sy = H <= kMaxFineHeight ? 1 : MagnificationStep(H, FHeight);
  const std::int64_t dx = Rect.Right > Rect.Left ? 1 : -1;
  const std::int64_t dy = Rect.Bottom > Rect.Top ? 1 : -1;
  const std::int32_t tw = static_cast<std::int32_t>(kTileExtent / sx);
  const std::int32_t th = static_cast<std::int32_t>(kTileExtent / sy);
  const int bits = GetPixelBits(FPixelFormat);

  TBitmap tile;
  tile.SetPixelFormat(FBitmaps[0]->GetPixelFormat());
  tile.Canvas()->Font().Assign(FCanvas->Font());
  tile.Canvas()->Brush().Assign(FCanvas->Brush());
  tile.SetWidth(tw);
  tile.SetHeight(th);
  const HPALETTE palette = GetPalette();
  if (palette != 0) tile.SetPalette(CopyPalette(palette));
  const std::int64_t rowBytes = RowStride(tw, bits);
  // Bottom-up: the block starts with the bottom row, tile row r (from the top) lies above it.
  auto* const tileBits = static_cast<std::uint8_t*>(tile.ScanLine(th - 1));
  const auto tileRow = [&](std::int32_t r) { return tileBits + (th - 1 - r) * rowBytes; };
  // Only the samples that can reach the clip box are taken (below). The rest of a tile goes to
  // the blit too, which clips it away; it is made defined once, the first time it occurs.
  bool tileCleared = false;

  const HDC dc = ACanvas.Handle();
  const TPaletteSelection selection(dc, palette);
  const int bpp = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
  SetStretchBltMode(dc, (bpp > 8 || bits <= 8) ? COLORONCOLOR : HALFTONE);

  const std::int64_t samplesAcross = W / sx;
  const std::int64_t samplesDown = H / sy;
  std::vector<std::int32_t> columnMap(static_cast<std::size_t>(tw));
  TSepDIB info;

  std::int64_t nx = samplesAcross;
  for (std::int64_t cx = 0; nx > 0; ++cx) {
    const std::int32_t cw = static_cast<std::int32_t>(nx < tw ? nx : tw);
    const std::int64_t columnStart = tw * cx * sx;  // destination offset of this tile column
    std::int64_t dw = cw * sx;
    if (W - (columnStart + dw) < sx) dw = W - columnStart;
    const std::int64_t X0 = Rect.Left + dx * columnStart;
    const std::int64_t X1 = X0 + dx * dw;
    // The visible columns are the same for every tile of the column: they and their column
    // map are worked out once, at the first visible tile.
    bool mapped = false;
    TSampleRange columns{0, 0};

    std::int64_t ny = samplesDown;
    for (std::int64_t cy = 0; ny > 0; ++cy) {
      const std::int32_t ch = static_cast<std::int32_t>(ny < th ? ny : th);
      const std::int64_t rowStart = th * cy * sy;
      std::int64_t dh = ch * sy;
      if (H - (rowStart + dh) < sy) dh = H - rowStart;
      const std::int64_t Y0 = Rect.Top + dy * rowStart;
      const std::int64_t Y1 = Y0 + dy * dh;

      // A mirrored tile covers X1 + 1 .. X0 (and Y1 + 1 .. Y0).
      TRect area;
      area.Left = static_cast<std::int32_t>(X0 > X1 ? X1 + 1 : X0);
      area.Right = static_cast<std::int32_t>(X0 > X1 ? X0 + 1 : X1);
      area.Top = static_cast<std::int32_t>(Y0 > Y1 ? Y1 + 1 : Y0);
      area.Bottom = static_cast<std::int32_t>(Y0 > Y1 ? Y0 + 1 : Y1);
      TRect visible;
      if (IntersectRect(&visible, &area, &ClipBox)) {
        if (!mapped) {
          columns = VisibleSamples(X0, dx, dw, cw, visible.Left, visible.Right);
          // Packed pixels are built a whole byte at a time.
          if (bits == 1) columns.First &= ~7;
          if (bits == 4) columns.First &= ~1;
          for (std::int32_t c = columns.First; c < columns.Last; ++c) {
            columnMap[static_cast<std::size_t>(c)] =
                static_cast<std::int32_t>((cx * tw + c) * FWidth / samplesAcross);
          }
          mapped = true;
        }
        const TSampleRange rows = VisibleSamples(Y0, dy, dh, ch, visible.Top, visible.Bottom);
        const bool partial =
            rows.First > 0 || rows.Last < ch || columns.First > 0 || columns.Last < cw;
        if (partial && !tileCleared) {
          std::memset(tileBits, 0, static_cast<std::size_t>(rowBytes * th));
          tileCleared = true;
        }
        for (std::int32_t r = rows.First; r < rows.Last; ++r) {
          const auto sourceRow = static_cast<std::int32_t>((cy * th + r) * FHeight / samplesDown);
          const auto* src = static_cast<const std::uint8_t*>(GetScanline(sourceRow));
          std::uint8_t* dst = tileRow(r);
          std::memset(dst, 0, static_cast<std::size_t>(rowBytes));
          SampleRow(bits, src, dst, columnMap.data(), columns.First, columns.Last);
        }

        info.Header = BITMAPINFOHEADER{};
        std::memset(info.Tables, 0, sizeof info.Tables);
        const std::uint32_t colours = GetDIBColorTable(tile.Canvas()->Handle(), 0, 256,
                                                       reinterpret_cast<RGBQUAD*>(info.Tables));
        info.Header.biSize = kInfoHeaderSize;
        info.Header.biWidth = tw;
        info.Header.biHeight = th;
        info.Header.biPlanes = 1;
        info.Header.biBitCount = static_cast<std::uint16_t>(bits);
        info.Header.biCompression = BI_RGB;
        info.Header.biClrUsed = colours;
        info.Header.biClrImportant = colours;
        StretchDIBits(dc, static_cast<int>(X0), static_cast<int>(Y0), static_cast<int>(dx * dw),
                      static_cast<int>(dy * dh), 0, th - ch, cw, ch, tileBits, info.Info(),
                      DIB_RGB_COLORS, ACanvas.CopyMode);
      }

      if (H - rowStart == dh) {
        ny = 0;
      } else {
        ny -= ch;
      }
    }

    if (W - columnStart == dw) {
      nx = 0;
    } else {
      nx -= cw;
    }
  }
}
