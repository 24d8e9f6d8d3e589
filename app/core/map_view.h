#pragma once

// What a map viewer shows: one map file at a zoom level, scrolled within a view of a given size.
// From 1:1 up every view pixel shows the map pixel under it, drawn through the large bitmap's
// resampled drawing, whose tiles that miss the exposed area are neither sampled nor sent. Below
// 1:1 every view pixel shows the average of the map area under it (see map_pyramid.h), so that a
// fine grid looks like a lighter map instead of beating against the screen. Only the area asked
// for is drawn, onto a backing image of the view's size.
//
// View coordinates have (0, 0) at the view's top-left pixel. At zoom z the map covers
// round(Width * z) x round(Height * z) destination pixels; along an axis where that is smaller
// than the view the map is centred, otherwise the scroll position (0 .. ScrollMax) is the
// destination pixel at the view's edge.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/os_files.h"
#include "platform/rect.h"

// Declared, not included: the Windows viewer reads this header beside windows.h, which names
// much of what the rest of the picture framework names.
class TBigBitmap;
class TBitmap;
class TMapPyramid;
using TColor = std::int32_t;

class TMapView {
 public:
  // Zoom limits, and the factor between two neighbouring zoom steps (the square root of 2, so
  // that every power of two is a step).
  static constexpr double MinZoom = 1.0 / 32;
  static constexpr double MaxZoom = 16;
  static constexpr double ZoomStep = 1.4142135623730951;

  TMapView();
  ~TMapView();
  TMapView(const TMapView&) = delete;
  TMapView& operator=(const TMapView&) = delete;

  // Loads a map file. A base map whose rows were stored without padding is shown as a run reads
  // it after its repair; the file is not changed. A map of the size of the one shown keeps the
  // zoom and scroll position (so a result and its backup can be compared in place); any other
  // is fitted. On failure the error passes on and the view shows what it showed before.
  void Open(const std::string& FileName);
  // Space in a viewer: opens the file's backup partner (BackupPartner) as Open does, so at the
  // same place. False when there is none; a partner that does not load raises its error.
  bool OpenBackupPartner();
  // Follows the file shown: when it was replaced or written since it was read (another file
  // under its name, another size or time of writing), it is opened again as Open does, keeping
  // the place. True when the picture changed. A file that is missing or does not load (as it may
  // be while it is being replaced) leaves the picture as it is, raises nothing, and is tried
  // again once it changes again. A viewer calls this every fraction of a second.
  bool Refresh();
  bool HasMap() const { return FMap != nullptr; }
  const std::string& FileName() const { return FFileName; }
  // The map shown (null before the first Open), for a copy to the clipboard.
  TBigBitmap* Map() const { return FMap.get(); }
  std::int32_t MapWidth() const;
  std::int32_t MapHeight() const;

  // The view's size in pixels. While the map is fitted it is fitted again.
  void SetViewSize(std::int32_t Width, std::int32_t Height);
  std::int32_t ViewWidth() const { return FViewWidth; }
  std::int32_t ViewHeight() const { return FViewHeight; }

  double Zoom() const { return FZoom; }
  // Whether the map is fitted into the view (until the zoom is changed otherwise).
  bool Fitted() const { return FFitted; }
  // The zoom at which the whole map just fits the view, centred, kept within MinZoom and
  // MaxZoom (a map too large to fit even at MinZoom is shown at MinZoom).
  void Fit();
  // Zoom (kept within the limits) such that the map point under view point (AnchorX, AnchorY)
  // stays under it.
  void SetZoom(double Zoom, std::int32_t AnchorX, std::int32_t AnchorY);
  // One zoom step (a power of the square root of 2) in or out, around the anchor.
  void ZoomIn(std::int32_t AnchorX, std::int32_t AnchorY);
  void ZoomOut(std::int32_t AnchorX, std::int32_t AnchorY);

  std::int32_t ScrollX() const { return FScrollX; }
  std::int32_t ScrollY() const { return FScrollY; }
  std::int32_t ScrollMaxX() const;
  std::int32_t ScrollMaxY() const;
  // Clamped to 0 .. ScrollMax.
  void ScrollTo(std::int32_t X, std::int32_t Y);

  // Where the whole map lands, in view coordinates (empty without a map).
  TRect MapRect() const;
  // The map pixel under view point At; none where the map is not.
  std::optional<TPoint> MapPixelAt(TPoint At) const;
  // Centres the view on map pixel Pixel (as far as the scroll range allows) at no less than 1:1;
  // a larger zoom is kept.
  void CentreOn(TPoint Pixel);

  // A map pixel marked on the picture (a go-to's target), or none. Paint draws it over the map;
  // whoever moves the view takes it away.
  const std::optional<TPoint>& Mark() const { return FMark; }
  void SetMark(std::optional<TPoint> Pixel) { FMark = Pixel; }

  // Draws view area Exposed onto Backing, a bitmap of the view's size: the map where it lies,
  // Background elsewhere. Nothing outside Exposed is written; Backing's clipping is left as it
  // was found (none). The averaged picture below 1:1 needs a backing of 24 or 32 bits per pixel;
  // on any other the map is point-sampled at every zoom.
  void Paint(TBitmap& Backing, const TRect& Exposed, TColor Background) const;

 private:
  std::int64_t Extent(std::int32_t MapExtent) const;
  void ClampScroll();
  void PaintMark(TBitmap& Backing) const;

  std::unique_ptr<TBigBitmap> FMap;
  std::unique_ptr<TMapPyramid> FPyramid;  // the averaged levels of FMap
  std::string FFileName;
  TOsFileStamp FStamp;        // the file's stamp as it was read
  TOsFileStamp FFailedStamp;  // the last stamp of it that did not load
  std::int32_t FViewWidth = 0;
  std::int32_t FViewHeight = 0;
  double FZoom = 1;
  bool FFitted = true;
  std::int32_t FScrollX = 0;
  std::int32_t FScrollY = 0;
  std::optional<TPoint> FMark;
};

// The file that Space switches to: the ".OLD" backup of a map file, or the ".BMP" file whose
// backup a ".OLD" file is; "" when that file does not exist.
std::string BackupPartner(const std::string& FileName);
