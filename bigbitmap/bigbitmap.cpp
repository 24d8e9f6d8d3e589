// TBigBitmap storage: band geometry, size, format and palette, row access, assignment.

#include "bigbitmap/bigbitmap.h"

#include <algorithm>
#include <utility>

#include "platform/clipboard.h"
#include "platform/streams.h"

void BigBitmapError(const std::string& Message) {
  throw EBigBitmapError(Message);
}

TPixelFormat BBPixelFormatToPixelFormat(TBBPixelFormat Value) {
  switch (Value) {
    case bbpf1bit:
      return pf1bit;
    case bbpf4bit:
      return pf4bit;
    case bbpf8bit:
      return pf8bit;
    case bbpf24bit:
      return pf24bit;
  }
  BigBitmapError("BBPixelFormatToPixelFormat: Invalid Pixel Format");
}

TBBPixelFormat PixelFormatToBBPixelFormat(TPixelFormat Value) {
  switch (Value) {
    case pf1bit:
      return bbpf1bit;
    case pf4bit:
      return bbpf4bit;
    case pf8bit:
      return bbpf8bit;
    case pf24bit:
      return bbpf24bit;
    default:
      BigBitmapError("PixelFormatToBBPixelFormat: Invalid Pixel Format");
  }
}

TBigBitmap::TBigBitmap() : FCanvas(std::make_unique<TBigBitmapCanvas>(this)) {}

TBigBitmap::~TBigBitmap() {
  FCanvas.reset();
  FreeBitmaps();
}

int TBigBitmap::GetPixelBits(TBBPixelFormat Value) {
  switch (Value) {
    case bbpf1bit:
      return 1;
    case bbpf4bit:
      return 4;
    case bbpf8bit:
      return 8;
    case bbpf24bit:
      return 24;
  }
  BigBitmapError("TBigBitmap.GetPixelBits: Invalid Pixel Format");
}

std::int64_t TBigBitmap::RowStride(std::int32_t Width, int Bits) {
  return (static_cast<std::int64_t>(Bits) * Width + 31) / 32 * 4;
}

std::int32_t TBigBitmap::BandRows(std::int64_t Stride, std::int32_t Height) {
  return static_cast<std::int32_t>(std::min<std::int64_t>(BigBitmapBandBudget / Stride, Height));
}

void TBigBitmap::NotifyChanged() {
  SetPaletteModified(true);
  SetModified(true);
}

void TBigBitmap::FreeBitmaps() {
  FBitmaps.clear();
}

void TBigBitmap::InstallBitmaps(TBitmapArray Bands, std::int32_t AWidth, std::int32_t AHeight,
                                TBBPixelFormat AFormat) {
  FreeBitmaps();
  FBitmaps = std::move(Bands);
  FWidth = AWidth;
  FHeight = AHeight;
  FPixelFormat = AFormat;
  NotifyChanged();
}

void TBigBitmap::SetBitmaps(std::int32_t AWidth, std::int32_t AHeight, TBBPixelFormat AFormat) {
  if (AWidth < 0) BigBitmapError("TBigBitmap.SetBitmaps: Negative Width");
  if (AHeight < 0) BigBitmapError("TBigBitmap.SetBitmaps: Negative Height");
  const std::int64_t Stride = RowStride(AWidth, GetPixelBits(AFormat));
  if (Stride >= BigBitmapMaxStride) {
    BigBitmapError("TBigBitmap.SetBitmaps: Too Big Width or Too Many Pixel Bits");
  }
  if (AWidth == 0 || AHeight == 0) {
    InstallBitmaps(TBitmapArray(), AWidth, AHeight, AFormat);
    return;
  }

  // Built aside: if any band fails, the array frees what was made and nothing has changed.
  const std::int32_t Rows = BandRows(Stride, AHeight);
  const std::int32_t Count = (AHeight - 1) / Rows + 1;
  const TPixelFormat BandFormat = BBPixelFormatToPixelFormat(AFormat);
  TBitmapArray Bands(static_cast<std::size_t>(Count));
  std::int32_t Left = AHeight;
  for (auto& Band : Bands) {
    Band = std::make_unique<TBitmap>();
    Band->SetPixelFormat(BandFormat);
    Band->SetWidth(AWidth);
    const std::int32_t BandHeight = std::min(Rows, Left);
    Band->SetHeight(BandHeight);
    Band->Canvas()->FillRect(Rect(0, 0, AWidth, BandHeight));
    Left -= Rows;
  }
  InstallBitmaps(std::move(Bands), AWidth, AHeight, AFormat);
  FCanvas->MoveTo(0, 0);
}

void TBigBitmap::SetWidth(std::int32_t Value) {
  SetBitmaps(Value, FHeight, FPixelFormat);
}

void TBigBitmap::SetHeight(std::int32_t Value) {
  SetBitmaps(FWidth, Value, FPixelFormat);
}

void TBigBitmap::SetPixelFormat(TBBPixelFormat Value) {
  SetBitmaps(FWidth, FHeight, Value);
}

void TBigBitmap::SetDrawMode(std::uint8_t Value) {
  FDrawMode = Value;
  NotifyChanged();
}

void* TBigBitmap::GetScanline(std::int32_t Row) {
  if (GetEmpty()) BigBitmapError("TBigBitmap.GetScanline: No Bitomaps");
  if (Row < 0 || Row >= FHeight) BigBitmapError("TBigBitmap.GetScanline: Index is out of Range");
  const std::int32_t Rows = FBitmaps[0]->GetHeight();
  return FBitmaps[static_cast<std::size_t>(Row / Rows)]->ScanLine(Row % Rows);
}

HPALETTE TBigBitmap::GetPalette() const {
  return FBitmaps.empty() ? 0 : FBitmaps[0]->GetPalette();
}

void TBigBitmap::SetPalette(HPALETTE Value) {
  // The handle is ours from here on, whatever happens.
  struct TPaletteOwner {
    HPALETTE Handle;
    ~TPaletteOwner() {
      if (Handle != 0) DeleteObject(Handle);
    }
  } Given{Value};
  struct TPaletteCopies {
    std::vector<HPALETTE> Handles;
    ~TPaletteCopies() {
      for (HPALETTE Handle : Handles) {
        if (Handle != 0) DeleteObject(Handle);
      }
    }
  } Copies;
  // All copies are made before any band changes, so a band's palette being the given handle
  // cannot spoil the later copies.
  Copies.Handles.reserve(FBitmaps.size());
  for (std::size_t I = 0; I < FBitmaps.size(); ++I) Copies.Handles.push_back(CopyPalette(Value));
  for (std::size_t I = 0; I < FBitmaps.size(); ++I) {
    const HPALETTE Copy = std::exchange(Copies.Handles[I], 0);
    FBitmaps[I]->SetPalette(Copy);
  }
  NotifyChanged();
}

void TBigBitmap::Assign(TPersistent* Source) {
  if (auto* Big = dynamic_cast<TBigBitmap*>(Source)) {
    TBitmapArray Bands(Big->FBitmaps.size());
    for (std::size_t I = 0; I < Bands.size(); ++I) {
      Bands[I] = std::make_unique<TBitmap>();
      Bands[I]->Assign(Big->FBitmaps[I].get());
    }
    FDrawMode = Big->FDrawMode;
    InstallBitmaps(std::move(Bands), Big->FWidth, Big->FHeight, Big->FPixelFormat);
    return;
  }
  // --- Clipboard source -------------------------------------------------------------------
  if (auto* Board = dynamic_cast<TClipboard*>(Source)) {
    Board->Open();
    struct TCloser {
      TClipboard* Board;
      ~TCloser() { Board->Close(); }
    } Closer{Board};
    LoadFromClipboardFormat(CF_DIB, Board->GetAsHandle(CF_DIB), 0);
    return;
  }
  // --- end of clipboard source --------------------------------------------------------------
  if (auto* Bitmap = dynamic_cast<TBitmap*>(Source)) {
    TMemoryStream Stream;
    Bitmap->SaveToStream(Stream);
    Stream.SetPosition(0);
    LoadFromStream(Stream);
    return;
  }
  if (Source != nullptr) {
    TGraphic::Assign(Source);
    return;
  }
  SetWidth(0);
  SetHeight(0);
}

void TBigBitmap::AssignTo(TPersistent* Dest) {
  if (auto* Bitmap = dynamic_cast<TBitmap*>(Dest)) {
    TMemoryStream Stream;
    SaveToStream(Stream);
    Stream.SetPosition(0);
    Bitmap->LoadFromStream(Stream);
    return;
  }
  TGraphic::AssignTo(Dest);
}
