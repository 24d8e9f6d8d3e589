#include <algorithm>
#include <unordered_map>
#include <vector>

#include "platform/device_context.h"

namespace {

struct TPaletteTable {
  std::unordered_map<HPALETTE, std::vector<PALETTEENTRY>> Live;
  HPALETTE Next = 0x1000;
};

TPaletteTable& Palettes() {
  static TPaletteTable Table;
  return Table;
}

HPALETTE NewPalette(std::vector<PALETTEENTRY> Entries) {
  TPaletteTable& T = Palettes();
  const HPALETTE Handle = T.Next;
  T.Next += 8;  // handles are never reused, so a stale handle never names a newer palette
  T.Live.emplace(Handle, std::move(Entries));
  return Handle;
}

}  // namespace

HPALETTE CreatePalette(const LOGPALETTE* Lp) {
  if (Lp == nullptr || Lp->palNumEntries > 256) return 0;
  return NewPalette(
      std::vector<PALETTEENTRY>(Lp->palPalEntry, Lp->palPalEntry + Lp->palNumEntries));
}

bool DeleteObject(HPALETTE Palette) {
  return Palette != 0 && Palettes().Live.erase(Palette) == 1;
}

std::uint32_t GetPaletteEntries(HPALETTE Palette, std::uint32_t Start, std::uint32_t Count,
                                PALETTEENTRY* Entries) {
  const std::vector<PALETTEENTRY>* Stored = PaletteEntriesOf(Palette);
  if (Stored == nullptr) return 0;
  const auto Size = static_cast<std::uint32_t>(Stored->size());
  if (Entries == nullptr) return Size;
  if (Start >= Size) return 0;
  const std::uint32_t N = std::min(Count, Size - Start);
  std::copy_n(Stored->begin() + Start, N, Entries);
  return N;
}

HPALETTE CopyPalette(HPALETTE Palette) {
  const std::vector<PALETTEENTRY>* Entries = PaletteEntriesOf(Palette);
  return Entries == nullptr ? 0 : NewPalette(*Entries);
}

int LivePaletteCount() {
  return static_cast<int>(Palettes().Live.size());
}

const std::vector<PALETTEENTRY>* PaletteEntriesOf(HPALETTE Palette) {
  if (Palette == 0) return nullptr;
  const auto& Live = Palettes().Live;
  const auto It = Live.find(Palette);
  return It == Live.end() ? nullptr : &It->second;
}

HPALETTE CreatePaletteFromColors(const std::vector<RGBQUAD>& Colors) {
  std::vector<PALETTEENTRY> Entries(Colors.size());
  for (std::size_t I = 0; I < Colors.size(); ++I) {
    Entries[I] = PALETTEENTRY{Colors[I].rgbRed, Colors[I].rgbGreen, Colors[I].rgbBlue, 0};
  }
  return NewPalette(std::move(Entries));
}
