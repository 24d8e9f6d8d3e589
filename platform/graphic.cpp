#include <cstring>

#include "platform/graphics.h"
#include "platform/streams.h"

namespace {
constexpr const char* UnsupportedClipboardFormat = "Unsupported clipboard format";
}  // namespace

// ---- TPersistent -----------------------------------------------------------------------------

void TPersistent::Assign(TPersistent* Source) {
  if (Source == nullptr) AssignError(nullptr);
  Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) {
  Dest->AssignError(this);
}

void TPersistent::AssignError(TPersistent* Source) {
  throw EConvertError(
      AssignErrorMessage(Source != nullptr ? Source->ClassName() : "nil", ClassName()));
}

// ---- TGraphic --------------------------------------------------------------------------------

void TGraphic::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  Changed(this);
}

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(Stream);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  TFileStream Stream(FileName, fmCreate);
  SaveToStream(Stream);
}

void TGraphic::LoadFromClipboardFormat(std::uint16_t, THandle, HPALETTE) {
  throw EInvalidGraphic(UnsupportedClipboardFormat);
}

void TGraphic::SaveToClipboardFormat(std::uint16_t&, THandle&, HPALETTE&) {
  throw EInvalidGraphic(UnsupportedClipboardFormat);
}

bool TGraphic::Equals(TGraphic* Graphic) {
  if (Graphic == this) return true;
  if (Graphic == nullptr || std::strcmp(ClassName(), Graphic->ClassName()) != 0) return false;
  if (GetEmpty() || Graphic->GetEmpty()) return GetEmpty() == Graphic->GetEmpty();
  TMemoryStream Mine;
  TMemoryStream Theirs;
  SaveToStream(Mine);
  Graphic->SaveToStream(Theirs);
  return Mine.GetSize() == Theirs.GetSize() &&
         std::memcmp(Mine.Memory(), Theirs.Memory(), static_cast<std::size_t>(Mine.GetSize())) == 0;
}

void TGraphic::SetModified(bool Value) {
  if (Value) {
    Changed(this);
  } else {
    FModified = false;
  }
}

void TGraphic::Changed(TGraphic*) {
  FModified = true;
  if (OnChange) OnChange(this);
}
