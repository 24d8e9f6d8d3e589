#include <cstring>

#include "platform/graphics.h"
#include "platform/streams.h"

namespace {
constexpr const char* kUnsupportedClipboardFormat = "Unsupported clipboard format";
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
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(stream);
}

void TGraphic::LoadFromClipboardFormat(std::uint16_t, THandle, HPALETTE) {
  throw EInvalidGraphic(kUnsupportedClipboardFormat);
}

void TGraphic::SaveToClipboardFormat(std::uint16_t&, THandle&, HPALETTE&) {
  throw EInvalidGraphic(kUnsupportedClipboardFormat);
}

bool TGraphic::Equals(TGraphic* Graphic) {
  if (Graphic == this) return true;
  if (Graphic == nullptr || std::strcmp(ClassName(), Graphic->ClassName()) != 0) return false;
  if (GetEmpty() || Graphic->GetEmpty()) return GetEmpty() == Graphic->GetEmpty();
  TMemoryStream mine;
  TMemoryStream theirs;
  SaveToStream(mine);
  Graphic->SaveToStream(theirs);
  return mine.GetSize() == theirs.GetSize() &&
         std::memcmp(mine.Memory(), theirs.Memory(), static_cast<std::size_t>(mine.GetSize())) == 0;
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
