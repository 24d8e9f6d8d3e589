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
constexpr std::int64_t TileExtent = 1024;
// Destinations narrower than this, or at most this high, are never sampled coarser.
constexpr std::int64_t MinCoarseWidth = 256;
constexpr std::int64_t MaxFineHeight = 256;

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
      for (std::int32_t C = First; C < Count; C += 8) {
        const std::int32_t End = C + 8 < Count ? C + 8 : Count;
        std::uint8_t Packed = 0;
        for (std::int32_t K = C; K < End; ++K) {
          const std::int32_t S = Map[K];
          const std::uint8_t Bit = (Src[S >> 3] >> (7 - (S & 7))) & 1;
          Packed |= static_cast<std::uint8_t>(Bit << (7 - (K & 7)));
        }
        Dst[C >> 3] |= Packed;
      }
      break;
    }
    case 4:
      for (std::int32_t C = First; C < Count; C += 2) {
        const std::int32_t S0 = Map[C];
        const std::uint8_t Hi = (S0 & 1) ? (Src[S0 >> 1] & 0x0F) : (Src[S0 >> 1] >> 4);
        std::uint8_t Lo = 0;
        if (C + 1 < Count) {
          const std::int32_t S1 = Map[C + 1];
          Lo = (S1 & 1) ? (Src[S1 >> 1] & 0x0F) : (Src[S1 >> 1] >> 4);
        }
        Dst[C >> 1] |= static_cast<std::uint8_t>(Hi << 4 | Lo);
      }
      break;
    case 8:
      for (std::int32_t C = First; C < Count; ++C) Dst[C] = Src[Map[C]];
      break;
    default:  // 24
      for (std::int32_t C = First; C < Count; ++C) {
        const std::uint8_t* P = Src + 3 * static_cast<std::ptrdiff_t>(Map[C]);
        std::uint8_t* Q = Dst + 3 * static_cast<std::ptrdiff_t>(C);
        Q[0] = P[0];
        Q[1] = P[1];
        Q[2] = P[2];
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
  const std::int64_t K0 = Dir > 0 ? VisibleFrom - Origin : Origin - VisibleTo + 1;
  const std::int64_t K1 = Dir > 0 ? VisibleTo - Origin : Origin - VisibleFrom + 1;
  const std::int64_t First = K0 * Count / Span - 1;
  const std::int64_t Last = (K1 * Count + Span - 1) / Span + 1;
  return {static_cast<std::int32_t>(First < 0 ? 0 : First),
          static_cast<std::int32_t>(Last > Count ? Count : Last)};
}

// One axis of the destination rectangle as the tiles cover it. Extents and placements in 64
// bits: a rectangle may span more than 2^31 units.
struct TTileAxis {
  std::int64_t Origin = 0;       // the rectangle's first edge
  std::int64_t Dir = 1;          // -1 when the rectangle is mirrored on this axis
  std::int64_t Extent = 0;       // destination pixels
  std::int64_t Step = 1;         // destination pixels per sample
  std::int32_t TileSamples = 0;  // samples of a whole tile
  std::int64_t Samples = 0;      // samples of the whole rectangle
  std::int64_t ImageExtent = 0;

  TTileAxis(std::int32_t From, std::int32_t To, std::int64_t AStep, std::int32_t Image)
      : Origin(From),
        Dir(To > From ? 1 : -1),
        Extent(std::llabs(static_cast<std::int64_t>(To) - From)),
        Step(AStep),
        TileSamples(static_cast<std::int32_t>(TileExtent / AStep)),
        Samples(Extent / AStep),
        ImageExtent(Image) {}

  // The image pixel of sample Sample of tile Tile.
  std::int32_t ImagePixel(std::int64_t Tile, std::int32_t Sample) const {
    return static_cast<std::int32_t>((Tile * TileSamples + Sample) * ImageExtent / Samples);
  }
};

// Tile Index of an axis: Samples samples over the destination pixels From .. To (To excluded;
// a mirrored tile covers To + 1 .. From).
struct TTileSpan {
  std::int64_t Index = 0;
  std::int32_t Samples = 0;
  std::int64_t Start = 0;  // destination offset from the axis's origin
  std::int64_t Extent = 0;
  std::int64_t From = 0;
  std::int64_t To = 0;
};

// Tile Index of an axis with Left samples still to place. The last tile also takes the
// destination pixels that make less than one step.
TTileSpan TileSpan(const TTileAxis& A, std::int64_t Index, std::int64_t Left) {
  TTileSpan S;
  S.Index = Index;
  S.Samples = static_cast<std::int32_t>(Left < A.TileSamples ? Left : A.TileSamples);
  S.Start = A.TileSamples * Index * A.Step;
  S.Extent = S.Samples * A.Step;
  if (A.Extent - (S.Start + S.Extent) < A.Step) S.Extent = A.Extent - S.Start;
  S.From = A.Origin + A.Dir * S.Start;
  S.To = S.From + A.Dir * S.Extent;
  return S;
}

// The samples left after tile S: none once it reached the rectangle's far edge.
std::int64_t SamplesAfter(const TTileAxis& A, const TTileSpan& S, std::int64_t Left) {
  return A.Extent - S.Start == S.Extent ? 0 : Left - S.Samples;
}

// The tiles of one resampled drawing: one reused tile bitmap, point-sampled from the image for
// each tile that meets the clip box and sent with one StretchDIBits. The tile's header and
// colour table never change and are built once.
class TResampledTiles {
 public:
  TResampledTiles(TBigBitmap& Image, TBitmap& Tile, const TTileAxis& X, const TTileAxis& Y, HDC DC,
                  std::uint32_t CopyMode, const TRect& ClipBox)
      : FImage(Image),
        FBits(TBigBitmap::GetPixelBits(Image.GetPixelFormat())),
        FX(X),
        FY(Y),
        FDC(DC),
        FCopyMode(CopyMode),
        FClipBox(ClipBox),
        FRowBytes(TBigBitmap::RowStride(X.TileSamples, FBits)),
        // Bottom-up: the block starts with the bottom row.
        FTileBits(static_cast<std::uint8_t*>(Tile.ScanLine(Y.TileSamples - 1))),
        FColumnMap(static_cast<std::size_t>(X.TileSamples)) {
    const std::uint32_t Colours =
        GetDIBColorTable(Tile.Canvas()->Handle(), 0, 256, reinterpret_cast<RGBQUAD*>(FInfo.Tables));
    FInfo.Header.biSize = InfoHeaderSize;
    FInfo.Header.biWidth = X.TileSamples;
    FInfo.Header.biHeight = Y.TileSamples;
    FInfo.Header.biPlanes = 1;
    FInfo.Header.biBitCount = static_cast<std::uint16_t>(FBits);
    FInfo.Header.biCompression = BI_RGB;
    FInfo.Header.biClrUsed = Colours;
    FInfo.Header.biClrImportant = Colours;
  }

  void Draw() {
    for (std::int64_t Left = FX.Samples, Index = 0; Left > 0; ++Index) {
      const TTileSpan Column = TileSpan(FX, Index, Left);
      DrawColumn(Column);
      Left = SamplesAfter(FX, Column, Left);
    }
  }

 private:
  void DrawColumn(const TTileSpan& Column) {
    // The visible columns are the same for every tile of the column: they and their column
    // map are worked out once, at the first visible tile.
    bool Mapped = false;
    TSampleRange Columns{0, 0};
    for (std::int64_t Left = FY.Samples, Index = 0; Left > 0; ++Index) {
      const TTileSpan Row = TileSpan(FY, Index, Left);
      TRect Area;
      Area.Left = static_cast<std::int32_t>(Column.From > Column.To ? Column.To + 1 : Column.From);
      Area.Right = static_cast<std::int32_t>(Column.From > Column.To ? Column.From + 1 : Column.To);
      Area.Top = static_cast<std::int32_t>(Row.From > Row.To ? Row.To + 1 : Row.From);
      Area.Bottom = static_cast<std::int32_t>(Row.From > Row.To ? Row.From + 1 : Row.To);
      TRect Visible;
      if (IntersectRect(&Visible, &Area, &FClipBox)) {
        if (!Mapped) Columns = MapColumns(Column, Visible);
        Mapped = true;
        DrawTile(Column, Row, Columns, Visible);
      }
      Left = SamplesAfter(FY, Row, Left);
    }
  }

  // The column samples of tile column Column that reach Visible, and their image columns.
  TSampleRange MapColumns(const TTileSpan& Column, const TRect& Visible) {
    TSampleRange Columns = VisibleSamples(Column.From, FX.Dir, Column.Extent, Column.Samples,
                                          Visible.Left, Visible.Right);
    // Packed pixels are built a whole byte at a time.
    if (FBits == 1) Columns.First &= ~7;
    if (FBits == 4) Columns.First &= ~1;
    for (std::int32_t C = Columns.First; C < Columns.Last; ++C) {
      FColumnMap[static_cast<std::size_t>(C)] = FX.ImagePixel(Column.Index, C);
    }
    return Columns;
  }

  void DrawTile(const TTileSpan& Column, const TTileSpan& Row, const TSampleRange& Columns,
                const TRect& Visible) {
    const TSampleRange Rows =
        VisibleSamples(Row.From, FY.Dir, Row.Extent, Row.Samples, Visible.Top, Visible.Bottom);
    // Only the samples that can reach the clip box are taken. The rest of a tile goes to the
    // blit too, which clips it away; it is made defined once, the first time it occurs.
    const bool Partial = Rows.First > 0 || Rows.Last < Row.Samples || Columns.First > 0 ||
                         Columns.Last < Column.Samples;
    if (Partial && !FCleared) {
      std::memset(FTileBits, 0, static_cast<std::size_t>(FRowBytes * FY.TileSamples));
      FCleared = true;
    }
    for (std::int32_t R = Rows.First; R < Rows.Last; ++R) {
      const auto* Src =
          static_cast<const std::uint8_t*>(FImage.GetScanline(FY.ImagePixel(Row.Index, R)));
      // Tile row R (from the top) lies above the bottom row that the block starts with.
      std::uint8_t* Dst = FTileBits + (FY.TileSamples - 1 - R) * FRowBytes;
      std::memset(Dst, 0, static_cast<std::size_t>(FRowBytes));
      SampleRow(FBits, Src, Dst, FColumnMap.data(), Columns.First, Columns.Last);
    }
    StretchDIBits(FDC, static_cast<int>(Column.From), static_cast<int>(Row.From),
                  static_cast<int>(FX.Dir * Column.Extent), static_cast<int>(FY.Dir * Row.Extent),
                  0, FY.TileSamples - Row.Samples, Column.Samples, Row.Samples, FTileBits,
                  FInfo.Info(), DIB_RGB_COLORS, FCopyMode);
  }

  TBigBitmap& FImage;
  const int FBits;
  const TTileAxis FX, FY;
  const HDC FDC;
  const std::uint32_t FCopyMode;
  const TRect FClipBox;
  const std::int64_t FRowBytes;
  std::uint8_t* const FTileBits;
  std::vector<std::int32_t> FColumnMap;
  TSepDIB FInfo;
  bool FCleared = false;
};

}  // namespace

void TBigBitmap::DrawResampled(TCanvas& ACanvas, const TRect& Rect, const TRect& ClipBox) {
  const std::int64_t W = std::llabs(static_cast<std::int64_t>(Rect.Right) - Rect.Left);
  const std::int64_t H = std::llabs(static_cast<std::int64_t>(Rect.Bottom) - Rect.Top);
  if (W == 0 || H == 0) return;
  const TTileAxis X(Rect.Left, Rect.Right, W < MinCoarseWidth ? 1 : MagnificationStep(W, FWidth),
                    FWidth);
  const TTileAxis Y(Rect.Top, Rect.Bottom, H <= MaxFineHeight ? 1 : MagnificationStep(H, FHeight),
                    FHeight);
  const int Bits = GetPixelBits(FPixelFormat);

  TBitmap Tile;
  Tile.SetPixelFormat(FBitmaps[0]->GetPixelFormat());
  Tile.Canvas()->Font().Assign(FCanvas->Font());
  Tile.Canvas()->Brush().Assign(FCanvas->Brush());
  Tile.SetWidth(X.TileSamples);
  Tile.SetHeight(Y.TileSamples);
  const HPALETTE Palette = GetPalette();
  if (Palette != 0) Tile.SetPalette(CopyPalette(Palette));
  const HDC DC = ACanvas.Handle();
  TResampledTiles Tiles(*this, Tile, X, Y, DC, ACanvas.CopyMode, ClipBox);

  const TPaletteSelection Selection(DC, Palette);
  const int Bpp = GetDeviceCaps(DC, BITSPIXEL) * GetDeviceCaps(DC, PLANES);
  SetStretchBltMode(DC, (Bpp > 8 || Bits <= 8) ? COLORONCOLOR : HALFTONE);
  Tiles.Draw();
}
