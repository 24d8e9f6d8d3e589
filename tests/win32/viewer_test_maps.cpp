#include "viewer_test_maps.h"

#include <windows.h>

#include "support/bmp_builder.h"
#include "support/temp_dir.h"

namespace win32test {

std::uint32_t MapColour(int Index) {
  return RGB(Index, 255 - Index, (Index * 7) & 255);
}

int MapIndex(int X, int Y) {
  return (X * 3 + Y * 5) % 251;
}

std::vector<std::uint8_t> MapFileBytes(int Width, int Height, int Shift) {
  testsupport::TBmpLayout Bmp;
  Bmp.Width = Width;
  Bmp.Height = Height;
  Bmp.ClrUsed = 256;
  for (int I = 0; I < 256; ++I) {
    const std::uint32_t C = MapColour(I);
    Bmp.Colors.insert(Bmp.Colors.end(), {GetBValue(C), GetGValue(C), GetRValue(C), 0});
  }
  const std::size_t Stride = testsupport::DibStride(Width, 8);
  Bmp.Pixels.assign(Stride * Height, 0);
  for (int Y = 0; Y < Height; ++Y) {
    std::uint8_t* Row = &Bmp.Pixels[(Height - 1 - Y) * Stride];
    for (int X = 0; X < Width; ++X)
      Row[X] = static_cast<std::uint8_t>((MapIndex(X, Y) + Shift) % 251);
  }
  return testsupport::BuildBmp(Bmp);
}

void WriteMap(const std::string& Name, int Width, int Height, int Shift) {
  testsupport::WriteFileBytes(Name, MapFileBytes(Width, Height, Shift));
}

HWND ClipboardTestOwner() {
  // A message-only window of the test thread, kept for the whole run.
  static const HWND Owner = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                              nullptr, ::GetModuleHandleW(nullptr), nullptr);
  return Owner;
}

}  // namespace win32test
