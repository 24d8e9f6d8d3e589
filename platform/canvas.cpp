#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/color_table.h"
#include "platform/device_context.h"

namespace {

// Stores one pixel value of a palette depth (1 or 4 bits) into a row; the leftmost pixel of a
// byte is its most significant bit or nibble.
void PutPackedIndex(std::uint8_t* Row, std::int32_t X, int Bits, std::uint8_t Index) {
  if (Bits == 1) {
    const auto mask = static_cast<std::uint8_t>(0x80 >> (X & 7));
    Row[X >> 3] = static_cast<std::uint8_t>(Index & 1 ? Row[X >> 3] | mask : Row[X >> 3] & ~mask);
  } else {
    std::uint8_t& b = Row[X >> 1];
    b = X & 1 ? static_cast<std::uint8_t>((b & 0xF0) | (Index & 0x0F))
              : static_cast<std::uint8_t>((b & 0x0F) | (Index << 4));
  }
}

// Fills a device rectangle (already clipped) with a colour, as the surface's pixel format stores
// it.
void FillDevice(const TDeviceContext& DC, const TRect& R, TColor Color) {
  const auto red = static_cast<std::uint8_t>(Color);
  const auto green = static_cast<std::uint8_t>(Color >> 8);
  const auto blue = static_cast<std::uint8_t>(Color >> 16);
  const int bits = DC.Bits();
  const std::int32_t n = R.Right - R.Left;
  std::uint8_t index = 0;
  if (bits <= 8) {
    const std::vector<RGBQUAD>& table = DC.Colors();
    index = NearestColorIndex(table.data(), static_cast<int>(table.size()), red, green, blue);
  }
  for (std::int32_t y = R.Top; y < R.Bottom; ++y) {
    std::uint8_t* row = DC.Row(y);
    switch (bits) {
      case 8:
        std::memset(row + R.Left, index, static_cast<std::size_t>(n));
        break;
      case 24: {
        std::uint8_t* p = row + 3 * static_cast<std::int64_t>(R.Left);
        p[0] = blue;
        p[1] = green;
        p[2] = red;
        // Double the filled part until the run is complete.
        std::int64_t done = 3;
        const std::int64_t total = 3 * static_cast<std::int64_t>(n);
        while (done < total) {
          const std::int64_t chunk = std::min(done, total - done);
          std::memcpy(p + done, p, static_cast<std::size_t>(chunk));
          done += chunk;
        }
        break;
      }
      case 32: {
        const std::uint8_t pixel[4] = {blue, green, red, 0};
        for (std::int32_t x = R.Left; x < R.Right; ++x) std::memcpy(row + 4 * x, pixel, 4);
        break;
      }
      default:
        for (std::int32_t x = R.Left; x < R.Right; ++x) PutPackedIndex(row, x, bits, index);
        break;
    }
  }
}

}  // namespace

TCanvas::TCanvas(TBitmap* Bitmap) : FHandle(new TDeviceContext(Bitmap)) {}

TCanvas::~TCanvas() {
  delete FHandle;
}

void TCanvas::MoveTo(std::int32_t X, std::int32_t Y) {
  FPenPos = TPoint{X, Y};
}

void TCanvas::FillRect(const TRect& Rect) {
  if (FBrush.Style == bsClear) return;
  Changing();
  const TRect wanted{Rect.Left - FHandle->Origin.X, Rect.Top - FHandle->Origin.Y,
                     Rect.Right - FHandle->Origin.X, Rect.Bottom - FHandle->Origin.Y};
  const TRect clip = FHandle->DeviceClip();
  TRect device;
  if (FHandle->Block() != nullptr && IntersectRect(&device, &wanted, &clip)) {
    FillDevice(*FHandle, device, FBrush.Color);
  }
  Changed();
}

void TCanvas::Draw(std::int32_t X, std::int32_t Y, TGraphic* Graphic) {
  if (Graphic == nullptr || Graphic->GetEmpty()) return;
  Changing();
  FHandle->BkColor = FBrush.Color;
  FHandle->TextColor = FFont.Color;
  // An image that would end past the largest coordinate is drawn with the window origin moved
  // back by the excess, which leaves every pixel where it lands. If the origin cannot move that
  // far, the image starts beyond the last pixel a surface can have.
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  const std::int64_t dx = std::max<std::int64_t>(std::int64_t{X} + Graphic->GetWidth() - kMax, 0);
  const std::int64_t dy = std::max<std::int64_t>(std::int64_t{Y} + Graphic->GetHeight() - kMax, 0);
  const TPoint origin = FHandle->Origin;
  if (origin.X - dx >= kMin && origin.Y - dy >= kMin) {
    const auto left = static_cast<std::int32_t>(X - dx);
    const auto top = static_cast<std::int32_t>(Y - dy);
    FHandle->Origin =
        TPoint{static_cast<std::int32_t>(origin.X - dx), static_cast<std::int32_t>(origin.Y - dy)};
    struct TOriginRestorer {
      TDeviceContext& DC;
      TPoint Origin;
      ~TOriginRestorer() { DC.Origin = Origin; }
    } restorer{*FHandle, origin};
    Graphic->Draw(*this, TRect{left, top, left + Graphic->GetWidth(), top + Graphic->GetHeight()});
  }
  Changed();
}

void TCanvas::StretchDraw(const TRect& Rect, TGraphic* Graphic) {
  if (Graphic == nullptr) return;
  Changing();
  Graphic->Draw(*this, Rect);
  Changed();
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}
