#include <algorithm>
#include <unordered_map>
#include <vector>

#include "platform/device_context.h"

namespace {

struct PaletteTable {
  std::unordered_map<HPALETTE, std::vector<PALETTEENTRY>> Live;
  HPALETTE Next = 0x1000;
};

PaletteTable& Palettes() {
  static PaletteTable table;
  return table;
}

HPALETTE NewPalette(std::vector<PALETTEENTRY> Entries) {
  PaletteTable& t = Palettes();
  const HPALETTE handle = t.Next;
  t.Next += 8;  // handles are never reused, so a stale handle never names a newer palette
  t.Live.emplace(handle, std::move(Entries));
  return handle;
}

}  // namespace

HPALETTE CreatePalette(const LOGPALETTE* lp) {
  if (lp == nullptr || lp->palNumEntries > 256) return 0;
  return NewPalette(
      std::vector<PALETTEENTRY>(lp->palPalEntry, lp->palPalEntry + lp->palNumEntries));
}

bool DeleteObject(HPALETTE Palette) {
  return Palette != 0 && Palettes().Live.erase(Palette) == 1;
}

std::uint32_t GetPaletteEntries(HPALETTE Palette, std::uint32_t Start, std::uint32_t Count,
                                PALETTEENTRY* Entries) {
  const std::vector<PALETTEENTRY>* entries = PaletteEntriesOf(Palette);
  if (entries == nullptr) return 0;
  const auto size = static_cast<std::uint32_t>(entries->size());
  if (Entries == nullptr) return size;
  if (Start >= size) return 0;
  const std::uint32_t n = std::min(Count, size - Start);
  std::copy_n(entries->begin() + Start, n, Entries);
  return n;
}

HPALETTE CopyPalette(HPALETTE Palette) {
  const std::vector<PALETTEENTRY>* entries = PaletteEntriesOf(Palette);
  return entries == nullptr ? 0 : NewPalette(*entries);
}

int LivePaletteCount() {
  return static_cast<int>(Palettes().Live.size());
}

const std::vector<PALETTEENTRY>* PaletteEntriesOf(HPALETTE Palette) {
  if (Palette == 0) return nullptr;
  const auto& live = Palettes().Live;
  const auto it = live.find(Palette);
  return it == live.end() ? nullptr : &it->second;
}

HPALETTE CreatePaletteFromColors(const std::vector<RGBQUAD>& Colors) {
  std::vector<PALETTEENTRY> entries(Colors.size());
  for (std::size_t i = 0; i < Colors.size(); ++i) {
    entries[i] = PALETTEENTRY{Colors[i].rgbRed, Colors[i].rgbGreen, Colors[i].rgbBlue, 0};
  }
  return NewPalette(std::move(entries));
}
