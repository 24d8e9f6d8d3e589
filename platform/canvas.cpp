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
    const auto Mask = static_cast<std::uint8_t>(0x80 >> (X & 7));
    Row[X >> 3] = static_cast<std::uint8_t>(Index & 1 ? Row[X >> 3] | Mask : Row[X >> 3] & ~Mask);
  } else {
    std::uint8_t& B = Row[X >> 1];
    B = X & 1 ? static_cast<std::uint8_t>((B & 0xF0) | (Index & 0x0F))
              : static_cast<std::uint8_t>((B & 0x0F) | (Index << 4));
  }
}

}  // namespace

void FillDevice(const TDeviceContext& DC, const TRect& R, TColor Color) {
  const auto Red = static_cast<std::uint8_t>(Color);
  const auto Green = static_cast<std::uint8_t>(Color >> 8);
  const auto Blue = static_cast<std::uint8_t>(Color >> 16);
  const int Bits = DC.Bits();
  const std::int32_t N = R.Right - R.Left;
  std::uint8_t Index = 0;
  if (Bits <= 8) {
    const std::vector<RGBQUAD>& Table = DC.Colors();
    Index = NearestColorIndex(Table.data(), static_cast<int>(Table.size()), Red, Green, Blue);
  }
  for (std::int32_t Y = R.Top; Y < R.Bottom; ++Y) {
    std::uint8_t* Row = DC.Row(Y);
    switch (Bits) {
      case 8:
        std::memset(Row + R.Left, Index, static_cast<std::size_t>(N));
        break;
      case 24: {
        std::uint8_t* P = Row + 3 * static_cast<std::int64_t>(R.Left);
        P[0] = Blue;
        P[1] = Green;
        P[2] = Red;
        // Double the filled part until the run is complete.
        std::int64_t Done = 3;
        const std::int64_t Total = 3 * static_cast<std::int64_t>(N);
        while (Done < Total) {
          const std::int64_t Chunk = std::min(Done, Total - Done);
          std::memcpy(P + Done, P, static_cast<std::size_t>(Chunk));
          Done += Chunk;
        }
        break;
      }
      case 32: {
        const std::uint8_t Pixel[4] = {Blue, Green, Red, 0};
        for (std::int32_t X = R.Left; X < R.Right; ++X) std::memcpy(Row + 4 * X, Pixel, 4);
        break;
      }
      default:
        for (std::int32_t X = R.Left; X < R.Right; ++X) PutPackedIndex(Row, X, Bits, Index);
        break;
    }
  }
}

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
  const TRect Wanted{Rect.Left - FHandle->Origin.X, Rect.Top - FHandle->Origin.Y,
                     Rect.Right - FHandle->Origin.X, Rect.Bottom - FHandle->Origin.Y};
  const TRect Clip = FHandle->DeviceClip();
  TRect Device;
  if (FHandle->Block() != nullptr && IntersectRect(&Device, &Wanted, &Clip)) {
    if (Device == TRect{0, 0, FHandle->Width(), FHandle->Height()}) {
      FHandle->DeferFill(FBrush.Color);
    } else {
      FHandle->WritePendingFill();
      FillDevice(*FHandle, Device, FBrush.Color);
    }
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
  constexpr std::int64_t Max = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t Min = std::numeric_limits<std::int32_t>::min();
  const std::int64_t Dx = std::max<std::int64_t>(std::int64_t{X} + Graphic->GetWidth() - Max, 0);
  const std::int64_t Dy = std::max<std::int64_t>(std::int64_t{Y} + Graphic->GetHeight() - Max, 0);
  const TPoint Origin = FHandle->Origin;
  if (Origin.X - Dx >= Min && Origin.Y - Dy >= Min) {
    const auto Left = static_cast<std::int32_t>(X - Dx);
    const auto Top = static_cast<std::int32_t>(Y - Dy);
    FHandle->Origin =
        TPoint{static_cast<std::int32_t>(Origin.X - Dx), static_cast<std::int32_t>(Origin.Y - Dy)};
    struct TOriginRestorer {
      TDeviceContext& DC;
      TPoint Origin;
      ~TOriginRestorer() { DC.Origin = Origin; }
    } Restorer{*FHandle, Origin};
    Graphic->Draw(*this, TRect{Left, Top, Left + Graphic->GetWidth(), Top + Graphic->GetHeight()});
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
