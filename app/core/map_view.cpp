#include "app/core/map_view.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>

#include "app/core/map_pyramid.h"
#include "app/core/repair.h"
#include "bigbitmap/bigbitmap.h"
#include "platform/files.h"
#include "platform/streams.h"

namespace {

// Whole zoom steps from 1:1: the zoom is ZoomStep to this power.
double StepsFromActualSize(double Zoom) {
  return std::log(Zoom) / std::log(TMapView::ZoomStep);
}

// How far a view of ViewExtent pixels can scroll over MapExtent destination pixels.
std::int32_t ScrollRange(std::int64_t MapExtent, std::int32_t ViewExtent) {
  return static_cast<std::int32_t>(std::max<std::int64_t>(0, MapExtent - ViewExtent));
}

// Narrows a surface's clipping to a rectangle for the lifetime of the object.
class TClipTo {
 public:
  TClipTo(HDC DC, const TRect& Rect) : FDC(DC) {
    IntersectClipRect(FDC, Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
  }
  ~TClipTo() { ResetClipRect(FDC); }
  TClipTo(const TClipTo&) = delete;
  TClipTo& operator=(const TClipTo&) = delete;

 private:
  HDC FDC;
};

}  // namespace

TMapView::TMapView() = default;
TMapView::~TMapView() = default;

void TMapView::Open(const std::string& FileName) {
  // Taken before reading: a file replaced while it is read is then seen as changed afterwards.
  TOsFileStamp Stamp;
  OsFileStampOf(FileName, Stamp);
  auto Map = std::make_unique<TBigBitmap>();
  TMemoryStream Repaired;
  if (ReadRepaired(FileName, Repaired)) {
    Repaired.SetPosition(0);
    Map->LoadFromStream(Repaired);
  } else {
    Map->LoadFromFile(FileName);
  }
  Map->SetDrawMode(1);
  auto Pyramid = std::make_unique<TMapPyramid>(*Map);
  const bool SameSize = FMap != nullptr && Map->GetWidth() == FMap->GetWidth() &&
                        Map->GetHeight() == FMap->GetHeight();
  FMap = std::move(Map);
  FPyramid = std::move(Pyramid);
  FFileName = FileName;
  FStamp = Stamp;
  FFailedStamp = {};
  if (!SameSize) FFitted = true;
  if (FFitted) Fit();
  ClampScroll();
}

bool TMapView::Refresh() {
  TOsFileStamp Now;
  if (!FMap || !OsFileStampOf(FFileName, Now) || Now == FStamp || Now == FFailedStamp) {
    return false;
  }
  try {
    Open(FFileName);
    return true;
  } catch (const std::exception&) {
    FFailedStamp = Now;
    return false;
  }
}

std::int32_t TMapView::MapWidth() const {
  return FMap ? FMap->GetWidth() : 0;
}

std::int32_t TMapView::MapHeight() const {
  return FMap ? FMap->GetHeight() : 0;
}

void TMapView::SetViewSize(std::int32_t Width, std::int32_t Height) {
  FViewWidth = std::max(Width, 0);
  FViewHeight = std::max(Height, 0);
  if (FFitted) Fit();
  ClampScroll();
}

std::int64_t TMapView::Extent(std::int32_t MapExtent) const {
  return std::max<std::int64_t>(1, std::llround(MapExtent * FZoom));
}

void TMapView::Fit() {
  FFitted = true;
  if (!FMap) return;
  const double Zoom = std::min(double(FViewWidth) / MapWidth(), double(FViewHeight) / MapHeight());
  FZoom = std::clamp(Zoom, MinZoom, MaxZoom);
  FScrollX = 0;
  FScrollY = 0;
  ClampScroll();
}

void TMapView::SetZoom(double Zoom, std::int32_t AnchorX, std::int32_t AnchorY) {
  FFitted = false;
  if (!FMap) return;
  const TRect Before = MapRect();
  // The map point under the anchor, as a fraction of the map's extent.
  const double Fx = double(AnchorX - Before.Left) / (Before.Right - Before.Left);
  const double Fy = double(AnchorY - Before.Top) / (Before.Bottom - Before.Top);
  FZoom = std::clamp(Zoom, MinZoom, MaxZoom);
  FScrollX = static_cast<std::int32_t>(std::llround(Fx * Extent(MapWidth()) - AnchorX));
  FScrollY = static_cast<std::int32_t>(std::llround(Fy * Extent(MapHeight()) - AnchorY));
  ClampScroll();
}

void TMapView::ZoomIn(std::int32_t AnchorX, std::int32_t AnchorY) {
  // The next whole step above the current zoom (which may lie between steps after a fit).
  const double Steps = std::floor(StepsFromActualSize(FZoom) + 1e-6) + 1;
  SetZoom(std::pow(ZoomStep, Steps), AnchorX, AnchorY);
}

void TMapView::ZoomOut(std::int32_t AnchorX, std::int32_t AnchorY) {
  const double Steps = std::ceil(StepsFromActualSize(FZoom) - 1e-6) - 1;
  SetZoom(std::pow(ZoomStep, Steps), AnchorX, AnchorY);
}

std::int32_t TMapView::ScrollMaxX() const {
  return FMap ? ScrollRange(Extent(MapWidth()), FViewWidth) : 0;
}

std::int32_t TMapView::ScrollMaxY() const {
  return FMap ? ScrollRange(Extent(MapHeight()), FViewHeight) : 0;
}

void TMapView::ScrollTo(std::int32_t X, std::int32_t Y) {
  FScrollX = X;
  FScrollY = Y;
  ClampScroll();
}

void TMapView::ClampScroll() {
  FScrollX = std::clamp(FScrollX, 0, ScrollMaxX());
  FScrollY = std::clamp(FScrollY, 0, ScrollMaxY());
}

TRect TMapView::MapRect() const {
  if (!FMap) return {};
  const std::int64_t W = Extent(MapWidth());
  const std::int64_t H = Extent(MapHeight());
  const std::int64_t Left = W < FViewWidth ? (FViewWidth - W) / 2 : -std::int64_t{FScrollX};
  const std::int64_t Top = H < FViewHeight ? (FViewHeight - H) / 2 : -std::int64_t{FScrollY};
  return Rect(static_cast<std::int32_t>(Left), static_cast<std::int32_t>(Top),
              static_cast<std::int32_t>(Left + W), static_cast<std::int32_t>(Top + H));
}

std::optional<TPoint> TMapView::MapPixelAt(TPoint At) const {
  const TRect Map = MapRect();
  if (!FMap || At.X < Map.Left || At.X >= Map.Right || At.Y < Map.Top || At.Y >= Map.Bottom) {
    return std::nullopt;
  }
  // As the drawing samples: view column x shows map column (x - Left) * Width / extent.
  const auto Along = [](std::int32_t Offset, std::int32_t MapExtent, std::int32_t ViewExtent) {
    return static_cast<std::int32_t>(std::int64_t{Offset} * MapExtent / ViewExtent);
  };
  return TPoint{Along(At.X - Map.Left, MapWidth(), Map.Right - Map.Left),
                Along(At.Y - Map.Top, MapHeight(), Map.Bottom - Map.Top)};
}

void TMapView::CentreOn(TPoint Pixel) {
  if (!FMap) return;
  if (FZoom < 1) {
    FZoom = 1;
    FFitted = false;
  }
  // The pixel's centre at the view's centre.
  FScrollX = static_cast<std::int32_t>(std::llround((Pixel.X + 0.5) * FZoom) - FViewWidth / 2);
  FScrollY = static_cast<std::int32_t>(std::llround((Pixel.Y + 0.5) * FZoom) - FViewHeight / 2);
  ClampScroll();
}

void TMapView::PaintMark(TBitmap& Backing) const {
  const TRect Map = MapRect();
  // The marked pixel's centre, and a cross around it: white arms in a black border, so that it
  // shows on light and dark maps alike.
  const std::int32_t X = static_cast<std::int32_t>(
      Map.Left + (2 * std::int64_t{FMark->X} + 1) * (Map.Right - Map.Left) / (2 * MapWidth()));
  const std::int32_t Y = static_cast<std::int32_t>(
      Map.Top + (2 * std::int64_t{FMark->Y} + 1) * (Map.Bottom - Map.Top) / (2 * MapHeight()));
  constexpr std::int32_t Arm = 10;
  TCanvas& Canvas = *Backing.Canvas();
  Canvas.Brush().Style = bsSolid;
  struct TStroke {
    TColor Color;
    std::int32_t Half;   // half the arm's thickness, rounded up
    std::int32_t Reach;  // from the centre to the arm's end
  };
  for (const TStroke& Stroke : {TStroke{clBlack, 2, Arm + 1}, TStroke{clWhite, 1, Arm}}) {
    Canvas.Brush().Color = Stroke.Color;
    Canvas.FillRect(
        Rect(X - Stroke.Reach, Y - Stroke.Half + 1, X + Stroke.Reach + 1, Y + Stroke.Half));
    Canvas.FillRect(
        Rect(X - Stroke.Half + 1, Y - Stroke.Reach, X + Stroke.Half, Y + Stroke.Reach + 1));
  }
}

void TMapView::Paint(TBitmap& Backing, const TRect& Exposed, TColor Background) const {
  TCanvas& Canvas = *Backing.Canvas();
  const TClipTo Clip(Canvas.Handle(), Exposed);
  TRect Area;
  GetClipBox(Canvas.Handle(), &Area);
  const TRect Map = MapRect();
  TRect Covered;
  const bool Meets = FMap && IntersectRect(&Covered, &Area, &Map);
  if (!Meets || !(Covered == Area)) {
    Canvas.Brush().Color = Background;
    Canvas.Brush().Style = bsSolid;
    Canvas.FillRect(Area);
  }
  if (!Meets) return;
  const int BytesPerPixel = Backing.GetPixelFormat() == pf32bit   ? 4
                            : Backing.GetPixelFormat() == pf24bit ? 3
                                                                  : 0;
  TRect Inside;
  const TRect Whole = Rect(0, 0, Backing.GetWidth(), Backing.GetHeight());
  if (FZoom >= 1 || BytesPerPixel == 0) {
    Canvas.StretchDraw(Map, FMap.get());
  } else if (IntersectRect(&Inside, &Covered, &Whole)) {
    // Backing's rows run bottom-up.
    auto* First = static_cast<std::uint8_t*>(Backing.ScanLine(Inside.Top)) +
                  std::ptrdiff_t{Inside.Left} * BytesPerPixel;
    FPyramid->Draw(Map.Right - Map.Left, Map.Bottom - Map.Top,
                   Rect(Inside.Left - Map.Left, Inside.Top - Map.Top, Inside.Right - Map.Left,
                        Inside.Bottom - Map.Top),
                   First, -std::ptrdiff_t{Backing.RowStride()}, BytesPerPixel);
  }
  if (FMark) PaintMark(Backing);
}

bool TMapView::OpenBackupPartner() {
  const std::string Partner = BackupPartner(FFileName);
  if (Partner.empty()) return false;
  Open(Partner);
  return true;
}

std::string BackupPartner(const std::string& FileName) {
  const std::string Ext = ExtractFileExt(FileName);
  const std::string Partner = ChangeFileExt(FileName, Ext == ".OLD" ? ".BMP" : ".OLD");
  return Partner != FileName && FileExists(Partner) ? Partner : std::string();
}
