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

TClipboard* GReplacement = nullptr;

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
  TOpenGuard Open(*this);
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
  TOpenGuard Open(*this);
  const auto It = FData.find(Format);
  if (It != FData.end()) return It->second;
  if (!FHook || Format == CF_PALETTE) return 0;
  const HGLOBAL Fetched = FHook->Fetch(Format);
  if (Fetched != 0) FData[Format] = Fetched;
  return Fetched;
}

void TClipboard::SetAsHandle(std::uint16_t Format, THandle Data) {
  TOpenGuard Open(*this);
  try {
    Adding();
  } catch (...) {
    // A hook that cannot empty the outside clipboard: the data was handed over all the same.
    if (Data != 0) FreeHandle(Format, Data);
    throw;
  }
  if (Data == 0) return;
  const auto It = FData.find(Format);
  if (It != FData.end()) {
    if (It->second != Data) FreeHandle(Format, It->second);
    It->second = Data;
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
  auto* Graphic = dynamic_cast<TGraphic*>(Source);
  if (!Graphic) {
    TPersistent::Assign(Source);
    return;
  }
  TOpenGuard Open(*this);
  std::uint16_t Format = 0;
  THandle Data = 0;
  HPALETTE Palette = 0;
  Graphic->SaveToClipboardFormat(Format, Data, Palette);
  try {
    SetAsHandle(Format, Data);
  } catch (...) {
    if (Palette != 0) DeleteObject(Palette);
    throw;
  }
  if (Palette != 0) SetAsHandle(CF_PALETTE, Palette);
}

TClipboard* Clipboard() {
  static TClipboard BuiltIn;
  return GReplacement ? GReplacement : &BuiltIn;
}

TClipboard* SetClipboard(TClipboard* NewClipboard) {
  TClipboard* Previous = Clipboard();
  GReplacement = NewClipboard;
  return Previous;
}
