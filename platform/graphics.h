#pragma once

// The picture framework and the GDI subset that the large bitmap is written against:
// palettes, drawing surfaces (device contexts), blits, and the TPersistent / TGraphic /
// TCanvas / TBitmap classes. Everything is in-process; a TBitmap is a device-independent
// bitmap section: one bottom-up block of rows padded to 4 bytes.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/rect.h"

class TStream;
class TCanvas;
class TBitmap;

// ---- basic types -----------------------------------------------------------------------------

using TColor = std::int32_t;  // 0x00BBGGRR
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;

struct RGBQUAD {
  std::uint8_t rgbBlue;
  std::uint8_t rgbGreen;
  std::uint8_t rgbRed;
  std::uint8_t rgbReserved;
};

struct PALETTEENTRY {
  std::uint8_t peRed;
  std::uint8_t peGreen;
  std::uint8_t peBlue;
  std::uint8_t peFlags;
};

struct LOGPALETTE {
  std::uint16_t palVersion;
  std::uint16_t palNumEntries;
  PALETTEENTRY palPalEntry[256];
};

// The 40-byte info header; in a bitmap-info block the colour entries follow it directly.
struct BITMAPINFOHEADER {
  std::uint32_t biSize;
  std::int32_t biWidth;
  std::int32_t biHeight;
  std::uint16_t biPlanes;
  std::uint16_t biBitCount;
  std::uint32_t biCompression;
  std::uint32_t biSizeImage;
  std::int32_t biXPelsPerMeter;
  std::int32_t biYPelsPerMeter;
  std::uint32_t biClrUsed;
  std::uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

inline constexpr std::uint32_t BI_RGB = 0;
inline constexpr std::uint32_t BI_RLE8 = 1;
inline constexpr std::uint32_t BI_RLE4 = 2;
inline constexpr std::uint32_t BI_BITFIELDS = 3;

// Handles. 0 means none.
using HPALETTE = std::uintptr_t;
using HGLOBAL = std::uintptr_t;
using THandle = std::uintptr_t;

// ---- palettes --------------------------------------------------------------------------------

// A new palette with the given entries (at most 256); 0 when lp is null or has more than 256.
HPALETTE CreatePalette(const LOGPALETTE* Lp);
// Frees a palette handle; false for 0 or a handle that is not live.
bool DeleteObject(HPALETTE Palette);
// Copies up to Count entries from Start; with Entries null returns the palette's entry count.
std::uint32_t GetPaletteEntries(HPALETTE Palette, std::uint32_t Start, std::uint32_t Count,
                                PALETTEENTRY* Entries);
// A new palette with the same entries; 0 for 0.
HPALETTE CopyPalette(HPALETTE Palette);
// Number of palette handles currently alive (for leak checks).
int LivePaletteCount();

// ---- drawing surfaces ------------------------------------------------------------------------

struct TDeviceContext;
using HDC = TDeviceContext*;

inline constexpr int BITSPIXEL = 12;
inline constexpr int PLANES = 14;

inline constexpr int BLACKONWHITE = 1;
inline constexpr int WHITEONBLACK = 2;
inline constexpr int COLORONCOLOR = 3;
inline constexpr int HALFTONE = 4;

inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;
inline constexpr std::uint32_t SRCPAINT = 0x00EE0086;
inline constexpr std::uint32_t SRCAND = 0x008800C6;
inline constexpr std::uint32_t SRCINVERT = 0x00660046;
inline constexpr std::uint32_t NOTSRCCOPY = 0x00330008;
inline constexpr std::uint32_t BLACKNESS = 0x00000042;
inline constexpr std::uint32_t WHITENESS = 0x00FF0062;

inline constexpr std::uint32_t DIB_RGB_COLORS = 0;

inline constexpr int NULLREGION = 1;
inline constexpr int SIMPLEREGION = 2;

// A logical point (x, y) addresses device pixel (x - originX, y - originY).
bool SetWindowOrgEx(HDC DC, int X, int Y, TPoint* Old);
bool GetWindowOrgEx(HDC DC, TPoint* Origin);
// The clip box in logical coordinates: the surface's extent, narrowed by IntersectClipRect.
// Returns NULLREGION when empty, SIMPLEREGION otherwise, 0 for an invalid surface.
int GetClipBox(HDC DC, TRect* Rect);
// Narrows the clip region to a logical rectangle (as the platform does); returns the region kind.
int IntersectClipRect(HDC DC, int Left, int Top, int Right, int Bottom);
// Removes any clipping narrower than the surface's extent.
void ResetClipRect(HDC DC);
// Returns the previous mode (0 for an invalid surface or mode).
int SetStretchBltMode(HDC DC, int Mode);
int GetStretchBltMode(HDC DC);
// Returns the palette selected before (0 if none).
HPALETTE SelectPalette(HDC DC, HPALETTE Palette, bool ForceBackground);
std::uint32_t RealizePalette(HDC DC);
// BITSPIXEL reports the surface's depth (32 unless changed, see SetDeviceBitsPixel); PLANES 1.
int GetDeviceCaps(HDC DC, int Index);
bool GetBrushOrgEx(HDC DC, TPoint* Origin);
bool SetBrushOrgEx(HDC DC, int X, int Y, TPoint* Old);
// Copies the colour table of the bitmap behind the surface; returns the number of entries copied.
std::uint32_t GetDIBColorTable(HDC DC, std::uint32_t Start, std::uint32_t Count, RGBQUAD* Colors);
// Dst := A intersected with B; false (and Dst empty) when they do not overlap.
bool IntersectRect(TRect* Dst, const TRect* A, const TRect* B);

// Stretches the source rectangle into the destination rectangle, both in logical coordinates
// of their surfaces. A negative extent mirrors: width W < 0 covers columns X + W + 1 .. X (the
// first source column lands on X); the same for heights and for source extents. Destination
// pixel i of a row takes source sample floor(i * |WidthSrc| / |Width|). The destination is
// clipped to its surface and clip rectangle; samples outside the source are not drawn.
// COLORONCOLOR (and the two legacy modes) sample points; HALFTONE averages each destination
// pixel's source area when the blit shrinks (and samples points otherwise, so a natural-size
// copy is the same in every mode). Pixels are converted between 1, 4, 8, 24 and 32 bits: an
// index becomes its source table colour; a colour becomes the nearest entry of the destination
// table (squared RGB distance, lowest index on a tie); between two equal tables an index stays.
// Raster operations: SRCCOPY, SRCPAINT, SRCAND, SRCINVERT, NOTSRCCOPY, BLACKNESS and WHITENESS
// (the last two need no source), on the bits of the destination's pixel values (colour bytes,
// or colour indices on palette surfaces); any other code fails with false.
bool StretchBlt(HDC Dest, int X, int Y, int Width, int Height, HDC Src, int XSrc, int YSrc,
                int WidthSrc, int HeightSrc, std::uint32_t Rop);
// The same from a packed bitmap: Info is a bitmap-info block (header then biClrUsed colours, or
// 2^bits when 0), Bits the uncompressed pixel rows (bottom-up for a positive biHeight). For a
// bottom-up image YSrc counts from its bottom row: (YSrc, HeightSrc) takes the block rows
// YSrc .. YSrc + HeightSrc - 1 and draws them the right way up, so YSrc = Height - h with height
// h selects the top h rows. Returns |HeightSrc|, or 0 when the block or Usage is not supported.
int StretchDIBits(HDC Dest, int X, int Y, int Width, int Height, int XSrc, int YSrc, int WidthSrc,
                  int HeightSrc, const void* Bits, const BITMAPINFOHEADER* Info,
                  std::uint32_t Usage, std::uint32_t Rop);

// ---- test and diagnostics hooks --------------------------------------------------------------

// The depth a surface reports through GetDeviceCaps(BITSPIXEL).
void SetDeviceBitsPixel(HDC DC, int BitsPixel);
// The depth new surfaces report (32 by default).
void SetDefaultDeviceBitsPixel(int BitsPixel);

struct TGdiStats {
  std::uint64_t StretchBltCalls = 0;
  std::uint64_t StretchDIBitsCalls = 0;
  std::uint64_t SelectPaletteCalls = 0;
  std::uint64_t RealizePaletteCalls = 0;
  std::uint64_t SetStretchBltModeCalls = 0;
  std::uint64_t PixelsWritten = 0;  // destination pixels actually stored by blits
};
TGdiStats& GdiStats();
// Fault injector for the blits: with a countdown n > 0, the n-th next StretchBlt or
// StretchDIBits raises EOutOfMemory before it draws anything. 0 switches it off.
void SetBlitFailCountdown(int N);

// Pixel blocks of TBitmap: how many are alive, the largest ever allocated, and a fault
// injector: with a countdown n > 0, the n-th next allocation fails with EOutOfMemory.
int LiveBitmapBlocks();
std::int64_t LargestBitmapBlock();
void ResetLargestBitmapBlock();
void SetBitmapAllocFailCountdown(int N);  // 0 switches it off

// ---- TPersistent, TGraphic -------------------------------------------------------------------

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual const char* ClassName() const { return "TPersistent"; }
  // With a source: asks the source to assign itself to this object (AssignTo), which fails with
  // EConvertError when it cannot. Without one: EConvertError.
  virtual void Assign(TPersistent* Source);

 protected:
  virtual void AssignTo(TPersistent* Dest);
  [[noreturn]] void AssignError(TPersistent* Source);
};

class TGraphic : public TPersistent {
 public:
  const char* ClassName() const override { return "TGraphic"; }

  virtual bool GetEmpty() const = 0;
  virtual std::int32_t GetWidth() const = 0;
  virtual std::int32_t GetHeight() const = 0;
  virtual void SetWidth(std::int32_t Value) = 0;
  virtual void SetHeight(std::int32_t Value) = 0;
  virtual HPALETTE GetPalette() const { return 0; }
  virtual void SetPalette(HPALETTE) {}
  virtual bool GetTransparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);

  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) = 0;
  // Over a file stream: read opened denying writes to others; write creates or empties.
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName);
  // The default implementations raise EInvalidGraphic.
  virtual void LoadFromClipboardFormat(std::uint16_t AFormat, THandle AData, HPALETTE APalette);
  virtual void SaveToClipboardFormat(std::uint16_t& AFormat, THandle& AData, HPALETTE& APalette);
  // Compares the two pictures' saved streams.
  virtual bool Equals(TGraphic* Graphic);

  bool GetModified() const { return FModified; }
  // true calls Changed (which fires OnChange); false only clears the flag.
  void SetModified(bool Value);
  bool GetPaletteModified() const { return FPaletteModified; }
  void SetPaletteModified(bool Value) { FPaletteModified = Value; }

  std::function<void(TGraphic* Sender)> OnChange;

 protected:
  friend class TCanvas;
  virtual void Changed(TGraphic* Sender);
  // Renders the picture into Rect on ACanvas (logical coordinates of its surface).
  virtual void Draw(TCanvas& ACanvas, const TRect& Rect) = 0;

 private:
  bool FModified = false;
  bool FPaletteModified = false;
  bool FTransparent = false;
};

// ---- canvas attributes -----------------------------------------------------------------------

enum TBrushStyle : std::uint8_t { bsSolid, bsClear };
enum TPenStyle : std::uint8_t { psSolid, psClear };

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
  void Assign(const TBrush& Source) { *this = Source; }
};

struct TFont {
  std::string Name = "Tahoma";
  std::int32_t Height = -11;
  TColor Color = clBlack;
  std::uint8_t Charset = 1;  // DEFAULT_CHARSET
  std::uint8_t Style = 0;
  void Assign(const TFont& Source) { *this = Source; }
};

struct TPen {
  TColor Color = clBlack;
  std::int32_t Width = 1;
  TPenStyle Style = psSolid;
  void Assign(const TPen& Source) { *this = Source; }
};

// ---- TCanvas ---------------------------------------------------------------------------------

class TCanvas {
 public:
  explicit TCanvas(TBitmap* Bitmap);
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  HDC Handle() const { return FHandle; }
  // Attribute objects; assigning one copies its attributes.
  TBrush& Brush() { return FBrush; }
  TFont& Font() { return FFont; }
  TPen& Pen() { return FPen; }
  std::uint32_t CopyMode = SRCCOPY;
  std::int32_t TextFlags = 0;

  TPoint PenPos() const { return FPenPos; }
  void MoveTo(std::int32_t X, std::int32_t Y);
  // Fills with the brush colour (nearest entry on a palette bitmap); bsClear fills nothing.
  void FillRect(const TRect& Rect);
  // Nothing for an absent or empty graphic; otherwise Changing, surface background colour :=
  // brush colour, text colour := font colour, Graphic->Draw(*this, (X, Y, X + w, Y + h)), Changed.
  void Draw(std::int32_t X, std::int32_t Y, TGraphic* Graphic);
  // Nothing for an absent graphic; otherwise Changing, Graphic->Draw(*this, Rect), Changed.
  void StretchDraw(const TRect& Rect, TGraphic* Graphic);

  std::function<void(TCanvas* Sender)> OnChanging;
  std::function<void(TCanvas* Sender)> OnChange;

 private:
  void Changing();
  void Changed();

  HDC FHandle;
  TBrush FBrush;
  TFont FFont;
  TPen FPen;
  TPoint FPenPos;
};

// ---- TBitmap ---------------------------------------------------------------------------------

enum TPixelFormat : std::uint8_t {
  pfDevice,
  pf1bit,
  pf4bit,
  pf8bit,
  pf15bit,
  pf16bit,
  pf24bit,
  pf32bit,
  pfCustom
};

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;
  const char* ClassName() const override { return "TBitmap"; }

  TPixelFormat GetPixelFormat() const { return FPixelFormat; }
  // pf1bit, pf4bit, pf8bit, pf24bit and pf32bit make a section of that depth with a fresh
  // default colour table (black and white; the 16-colour system palette; the halftone palette;
  // none); other formats raise EInvalidGraphic. Existing pixels are discarded (zero). Setting
  // the current format again changes nothing.
  void SetPixelFormat(TPixelFormat Value);

  bool GetEmpty() const override { return FWidth == 0 || FHeight == 0; }
  std::int32_t GetWidth() const override { return FWidth; }
  std::int32_t GetHeight() const override { return FHeight; }
  // Reallocate the pixel block, keeping depth and colour table and the pixels both sizes share
  // (new pixels zero). Nothing is allocated while either dimension is 0. On failure (EOutOfMemory,
  // EInvalidGraphic for a negative value) the bitmap is unchanged.
  void SetWidth(std::int32_t Value) override;
  void SetHeight(std::int32_t Value) override;

  // Row 0 is the top row; the block is bottom-up, so ScanLine(Height - 1) is its start.
  // Raises EInvalidGraphic for a row outside 0 .. Height - 1.
  void* ScanLine(std::int32_t Row);
  // The block from its bottom row, like ScanLine(Height - 1), for a caller that writes every
  // byte of it before anything reads it (a loader): zeros or a fill still owed are not written.
  void* BlockToOverwrite();
  std::int32_t RowStride() const;  // bytes per row, a multiple of 4
  int BitsPerPixel() const;        // 1, 4, 8, 24 or 32 (24 for pfDevice)

  // The palette the bitmap owns (0 for 24 and 32 bits). Writing hands the handle over: the
  // bitmap frees its old palette and its colour table becomes the new palette's entries (at most
  // 2^bits of them; pixels keep their indices). At 24 and 32 bits the handle is freed at once;
  // writing 0 restores the default table; a handle that is not live raises EInvalidGraphic.
  HPALETTE GetPalette() const override { return FPalette; }
  void SetPalette(HPALETTE Value) override;
  const std::vector<RGBQUAD>& ColorTable() const { return FColors; }

  TCanvas* Canvas();

  // From another TBitmap: an independent copy (size, depth, colour table, pixels). From nothing:
  // the bitmap becomes empty, keeping depth and table. Other sources assign themselves (AssignTo).
  void Assign(TPersistent* Source) override;

  // BMP files with a 40-byte info header, uncompressed 1, 4, 8, 24 or 32 bits, either row order.
  // Loading checks that the stream holds every pixel byte before it allocates; a failed load
  // (EInvalidGraphic, EReadError) changes nothing. Saving writes the file header, the info header
  // with biClrUsed = table size, the table and the block (bottom row first); an empty bitmap
  // writes nothing.
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;

 protected:
  // Palette selected into the destination as background and realized; stretch mode HALFTONE
  // (brush origin kept) when the destination depth is at most 8 and below the bitmap's, else
  // COLORONCOLOR unless monochrome; one StretchBlt of the whole bitmap into Rect with the
  // destination canvas's CopyMode; the previous palette selected back whatever happens.
  void Draw(TCanvas& ACanvas, const TRect& Rect) override;

 private:
  friend struct TDeviceContext;
  void Reallocate(std::int32_t Width, std::int32_t Height);
  void FreeBlock();
  // Bytes of the block that are decided but not yet written: a new block is not cleared when it
  // is made, and a solid fill of the whole bitmap is only recorded. Rows FFillTop .. FFillBottom
  // - 1 (0 = top) are still to be zeroed (FFillZero) and then filled with FFillColor
  // (FFillSolid). They are written when the pixels are first needed (ScanLine, saving, copying,
  // a blit that reads them or keeps some of them); rows that a blit overwrites completely before
  // then are never written twice.
  bool FillPending() const { return FFillTop < FFillBottom; }
  void WritePendingFill();
  void DropPendingFill() {
    FFillTop = FFillBottom = 0;
    FFillZero = FFillSolid = false;
  }
  // Writes what is pending for rows Top .. Bottom - 1 (inside the pending rows).
  void WriteFill(std::int32_t Top, std::int32_t Bottom);
  // Rows Top .. Height - 1 of the new block are to be zero.
  void DeferZero(std::int32_t Top);
  void DeferFill(TColor Color);
  void Overwriting(std::int32_t Top, std::int32_t Bottom);
  // Takes over a new pixel block and palette in place of the current ones; cannot fail.
  void Install(std::uint8_t* Bits, std::vector<RGBQUAD> Colors, HPALETTE Palette,
               TPixelFormat Format, std::int32_t Width, std::int32_t Height) noexcept;

  TPixelFormat FPixelFormat = pfDevice;
  std::int32_t FWidth = 0;
  std::int32_t FHeight = 0;
  std::uint8_t* FBits = nullptr;  // bottom-up block, FHeight rows of RowStride() bytes
  std::vector<RGBQUAD> FColors;
  HPALETTE FPalette = 0;
  TCanvas* FCanvas = nullptr;
  std::int32_t FFillTop = 0;
  std::int32_t FFillBottom = 0;
  bool FFillZero = false;
  bool FFillSolid = false;
  TColor FFillColor = clWhite;
};
