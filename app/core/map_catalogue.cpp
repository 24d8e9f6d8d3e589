#include "app/core/map_catalogue.h"

#include <algorithm>

#include "platform/exceptions.h"
#include "platform/files.h"

const char* const BaseMapKeys[FacetCount] = {"25166902", "3687478", "5243958", "2097782"};
// Entry 0 ("1") belongs to no Facet: the second Felucca and Trammel target spells it in its own
// literal.
const char* const TrgMapKeys[5] = {"1", "0", "2", "3", "4"};
const std::uint8_t TrgMapKeyIndex[FacetCount] = {1, 2, 3, 4};
const char* const MapTypeSuffixes[MapTypeCount] = {"", "NS", "X"};
const char* const MapScaleSuffixes[MapScaleCount] = {"1", "2", "4"};
const char* const FacetDisplayTexts[FacetCount] = {" ﾌｪﾙｯｶ & ﾄﾗﾒﾙ ", " イルシェナー ", " マラス ",
                                                   " 徳之島 "};
const char* const MapScaleTexts[MapScaleCount] = {"等倍", "1/2", "1/4"};
const char* const MapTypeItems[MapTypeCount] = {"通常モード", "固定物無しモード", "Ｘ線モード"};

namespace {

void CheckIndices(Facet F, MapType T, MapScale S) {
  if (F >= FacetCount || T >= MapTypeCount || S >= MapScaleCount) throw ERangeError();
}

// Type suffix, scale suffix and extension: the common tail of every map file name.
std::string NameTail(MapType T, MapScale S) {
  std::string Tail = MapTypeSuffixes[T];
  Tail += MapScaleSuffixes[S];
  Tail += ".BMP";
  return Tail;
}

}  // namespace

std::string GetBaseFileName(const std::string& MapFolder, Facet F, MapType T, MapScale S) {
  if (MapFolder.empty()) return {};
  CheckIndices(F, T, S);
  std::string Name = MapFolder;
  Name += PathDelim;
  Name += "MAP";
  Name += BaseMapKeys[F];
  Name += '-';
  Name += NameTail(T, S);
  return Name;
}

void GetTrgFileNames(const std::string& MapFolder, Facet F, MapType T, MapScale S,
                     std::string& MainName, std::string& SecondName) {
  MainName.clear();
  SecondName.clear();
  if (MapFolder.empty()) return;
  CheckIndices(F, T, S);
  const std::string Tail = NameTail(T, S);
  MainName = MapFolder;
  MainName += PathDelim;
  MainName += "MAP";
  MainName += TrgMapKeys[TrgMapKeyIndex[F]];
  MainName += '-';
  MainName += Tail;
  if (F == fcFeluccaTrammel) {
    SecondName = MapFolder;
    SecondName += PathDelim;
    SecondName += "MAP1-";
    SecondName += Tail;
  }
}

std::string GetMapDisplayName(Facet F, MapScale S) {
  std::string Name;
  if (F < FacetCount) Name += FacetDisplayTexts[F];
  if (S < MapScaleCount) Name += MapScaleTexts[S];
  return Name;
}

MapType BaseMapTypeFromItemIndex(int ItemIndex) {
  switch (ItemIndex) {
    case 1:
      return mtNoStatics;
    case 2:
      return mtXRay;
    default:
      return mtNormal;
  }
}

MapType TrgMapTypeFromItemIndex(int ItemIndex) {
  switch (ItemIndex) {
    case 0:
      return mtNormal;
    case 1:
      return mtNoStatics;
    default:
      return mtXRay;
  }
}

namespace {

// Where paths are written with "\", a drive letter's ":" ends a folder too ("C:veldrin.exe").
constexpr bool DriveLetters = PathDelim == '\\';

bool IsFolderEnd(char C) {
  return C == PathDelim || (DriveLetters && C == ':');
}

}  // namespace

std::string DefaultMapFolder(const std::string& ExePath) {
  const auto End = std::find_if(ExePath.rbegin(), ExePath.rend(), IsFolderEnd);
  std::string Folder(ExePath.begin(), End.base());
  // Drop the trailing separator unless it is a root's own ("/", "C:\") or follows another one.
  if (Folder.size() > 1 && Folder.back() == PathDelim && !IsFolderEnd(Folder[Folder.size() - 2]))
    Folder.pop_back();
  // Exactly two characters ("C:") get the separator: the drive's root, not its current folder.
  if (DriveLetters && Folder.size() == 2) Folder += PathDelim;
  return Folder;
}

std::string DefaultMapFolder() {
  return DefaultMapFolder(GetModuleFileName());
}
