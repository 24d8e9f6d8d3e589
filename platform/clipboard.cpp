#include "platform/clipboard.h"

#include <memory>

#include "platform/globalmem.h"

namespace {

void FreeHandle(std::uint16_t Format, THandle Data) {
  if (Format == CF_PALETTE) {
    DeleteObject(Data);
  } else {
    GlobalFree(Data);
  }
}

// Closes the clipboard when it goes out of scope, whatever happens.
class TOpenGuard {
 public:
  explicit TOpenGuard(TClipboard& Clipboard) : FClipboard(Clipboard) { FClipboard.Open(); }
  ~TOpenGuard() { FClipboard.Close(); }
  TOpenGuard(const TOpenGuard&) = delete;
  TOpenGuard& operator=(const TOpenGuard&) = delete;

 private:
  TClipboard& FClipboard;
};

TClipboard* gReplacement = nullptr;

}  // namespace

TClipboard::~TClipboard() {
  FreeAll();
}

void TClipboard::Open() {
  if (FOpenRefCount == 0) FEmptied = false;
  ++FOpenRefCount;
}

void TClipboard::Close() {
  if (FOpenRefCount == 0) return;
  --FOpenRefCount;
}

void TClipboard::FreeAll() {
  for (const auto& [format, data] : FData) FreeHandle(format, data);
  FData.clear();
}

void TClipboard::Clear() {
  TOpenGuard open(*this);
  FreeAll();
  FEmptied = true;
  if (FHook) FHook->Cleared();
}

void TClipboard::Adding() {
  if (!FEmptied) Clear();
}

bool TClipboard::HasFormat(std::uint16_t Format) {
  return GetAsHandle(Format) != 0;
}

THandle TClipboard::GetAsHandle(std::uint16_t Format) {
  TOpenGuard open(*this);
  const auto it = FData.find(Format);
  if (it != FData.end()) return it->second;
  if (!FHook || Format == CF_PALETTE) return 0;
  const HGLOBAL fetched = FHook->Fetch(Format);
  if (fetched != 0) FData[Format] = fetched;
  return fetched;
}

void TClipboard::SetAsHandle(std::uint16_t Format, THandle Data) {
  TOpenGuard open(*this);
  try {
    Adding();
  } catch (...) {
    // A hook that cannot empty the outside clipboard: the data was handed over all the same.
    if (Data != 0) FreeHandle(Format, Data);
    throw;
  }
  if (Data == 0) return;
  const auto it = FData.find(Format);
  if (it != FData.end()) {
    if (it->second != Data) FreeHandle(Format, it->second);
    it->second = Data;
  } else {
    try {
      FData.emplace(Format, Data);
    } catch (...) {
      FreeHandle(Format, Data);  // handed over, so ours to free even when it cannot be kept
      throw;
    }
  }
  if (FHook) FHook->Stored(Format, Data);
}

void TClipboard::Assign(TPersistent* Source) {
  auto* graphic = dynamic_cast<TGraphic*>(Source);
  if (!graphic) {
    TPersistent::Assign(Source);
    return;
  }
  TOpenGuard open(*this);
  std::uint16_t format = 0;
  THandle data = 0;
  HPALETTE palette = 0;
  graphic->SaveToClipboardFormat(format, data, palette);
  try {
    SetAsHandle(format, data);
  } catch (...) {
    if (palette != 0) DeleteObject(palette);
    throw;
  }
  if (palette != 0) SetAsHandle(CF_PALETTE, palette);
}

TClipboard* Clipboard() {
  static TClipboard builtIn;
  return gReplacement ? gReplacement : &builtIn;
}

TClipboard* SetClipboard(TClipboard* NewClipboard) {
  TClipboard* previous = Clipboard();
  gReplacement = NewClipboard;
  return previous;
}
