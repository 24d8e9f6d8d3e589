#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/core/map_catalogue.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "support/os_test.h"

namespace {

using testsupport::Native;

// The automap's own file-name pieces, written out here independently of the code's tables.
const char* const BaseKeys[] = {"25166902", "3687478", "5243958", "2097782"};
const char* const TargetKeys[] = {"0", "2", "3", "4"};
const char* const TypeSuffixes[] = {"", "NS", "X"};
const char* const ScaleSuffixes[] = {"1", "2", "4"};

struct TMapCase {
  Facet F;
  MapType T;
  MapScale S;
};

void PrintTo(const TMapCase& C, std::ostream* Os) {
  *Os << "facet " << int{C.F} << ", type " << int{C.T} << ", scale " << int{C.S};
}

std::string CaseName(const testing::TestParamInfo<TMapCase>& Info) {
  return "F" + std::to_string(Info.param.F) + "T" + std::to_string(Info.param.T) + "S" +
         std::to_string(Info.param.S);
}

std::vector<TMapCase> AllMaps() {
  std::vector<TMapCase> Cases;
  for (Facet F = 0; F < FacetCount; ++F)
    for (MapType T = 0; T < MapTypeCount; ++T)
      for (MapScale S = 0; S < MapScaleCount; ++S) Cases.push_back({F, T, S});
  return Cases;
}

class EveryMap : public testing::TestWithParam<TMapCase> {};

TEST_P(EveryMap, BaseNameIsFolderKeyTypeAndScale) {
  const TMapCase C = GetParam();
  EXPECT_EQ(GetBaseFileName(Native("/maps"), C.F, C.T, C.S),
            Native("/maps/MAP") + BaseKeys[C.F] + "-" + TypeSuffixes[C.T] + ScaleSuffixes[C.S] +
                ".BMP");
}

TEST_P(EveryMap, TargetNamesAreTwoForFeluccaAndTrammelAndOneOtherwise) {
  const TMapCase C = GetParam();
  std::string Main = "stale", Second = "stale";
  GetTrgFileNames(Native("/maps"), C.F, C.T, C.S, Main, Second);
  const std::string Tail = std::string("-") + TypeSuffixes[C.T] + ScaleSuffixes[C.S] + ".BMP";
  EXPECT_EQ(Main, Native("/maps/MAP") + TargetKeys[C.F] + Tail);
  EXPECT_EQ(Second, C.F == fcFeluccaTrammel ? Native("/maps/MAP1") + Tail : "");
}

TEST_P(EveryMap, EmptyFolderGivesEmptyNames) {
  const TMapCase C = GetParam();
  EXPECT_EQ(GetBaseFileName("", C.F, C.T, C.S), "");
  std::string Main = "stale", Second = "stale";
  GetTrgFileNames("", C.F, C.T, C.S, Main, Second);
  EXPECT_EQ(Main, "");
  EXPECT_EQ(Second, "");
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryMap, testing::ValuesIn(AllMaps()), CaseName);

TEST(FileNames, MatchTheAutomapsExamples) {
  std::string Main, Second;
  EXPECT_EQ(GetBaseFileName(Native("/Maps"), 0, 2, 1), Native("/Maps/MAP25166902-X2.BMP"));
  GetTrgFileNames(Native("/Maps"), 0, 2, 1, Main, Second);
  EXPECT_EQ(Main, Native("/Maps/MAP0-X2.BMP"));
  EXPECT_EQ(Second, Native("/Maps/MAP1-X2.BMP"));
  EXPECT_EQ(GetBaseFileName(Native("/Maps"), 1, 1, 2), Native("/Maps/MAP3687478-NS4.BMP"));
  GetTrgFileNames(Native("/Maps"), 1, 1, 2, Main, Second);
  EXPECT_EQ(Main, Native("/Maps/MAP2-NS4.BMP"));
  EXPECT_EQ(Second, "");
  EXPECT_EQ(GetBaseFileName(Native("/Maps"), 3, 0, 0), Native("/Maps/MAP2097782-1.BMP"));
  GetTrgFileNames(Native("/Maps"), 3, 0, 0, Main, Second);
  EXPECT_EQ(Main, Native("/Maps/MAP4-1.BMP"));
}

TEST(FileNames, AreConcatenatedWithoutSeparatorHandling) {
  std::string Main, Second;
  EXPECT_EQ(GetBaseFileName(Native("/"), 2, 2, 0), Native("//MAP5243958-X1.BMP"));
  GetTrgFileNames(Native("/"), 0, 2, 0, Main, Second);
  EXPECT_EQ(Main, Native("//MAP0-X1.BMP"));
  EXPECT_EQ(Second, Native("//MAP1-X1.BMP"));
  EXPECT_EQ(GetBaseFileName(Native("maps/"), 3, 1, 1), Native("maps//MAP2097782-NS2.BMP"));
  EXPECT_EQ(GetBaseFileName("relative", 1, 0, 0), Native("relative/MAP3687478-1.BMP"));
}

TEST(FileNames, OnWindowsFollowTheDriveLetterExamples) {
  if (!testsupport::OnWindows()) GTEST_SKIP() << "drive letters and \"\\\" exist on Windows only";
  std::string Main, Second;
  EXPECT_EQ(GetBaseFileName("C:\\Maps", 0, 0, 0), "C:\\Maps\\MAP25166902-1.BMP");
  GetTrgFileNames("C:\\Maps", 0, 2, 1, Main, Second);
  EXPECT_EQ(Main, "C:\\Maps\\MAP0-X2.BMP");
  EXPECT_EQ(Second, "C:\\Maps\\MAP1-X2.BMP");
  // A drive root keeps its separator, and the names get a doubled one.
  EXPECT_EQ(GetBaseFileName("C:\\", 2, 2, 0), "C:\\\\MAP5243958-X1.BMP");
  GetTrgFileNames("C:\\", 0, 2, 0, Main, Second);
  EXPECT_EQ(Main, "C:\\\\MAP0-X1.BMP");
  EXPECT_EQ(ChangeFileExt(Main, ".OLD"), "C:\\\\MAP0-X1.OLD");
  EXPECT_EQ(ChangeFileExt("C:\\v1.2\\MAP0", ".OLD"), "C:\\v1.2\\MAP0.OLD");
}

TEST(FileNames, IndexOutsideTheTablesIsARangeError) {
  std::string Main, Second;
  EXPECT_THROW(GetBaseFileName("/maps", FacetCount, 0, 0), ERangeError);
  EXPECT_THROW(GetBaseFileName("/maps", 0, MapTypeCount, 0), ERangeError);
  EXPECT_THROW(GetTrgFileNames("/maps", 0, 0, MapScaleCount, Main, Second), ERangeError);
}

// Each world's text and each scale text, written out with their exact spaces.
struct TDisplayCase {
  Facet F;
  MapScale S;
  const char* Expected;
};

void PrintTo(const TDisplayCase& C, std::ostream* Os) {
  *Os << "facet " << int{C.F} << ", scale " << int{C.S};
}

class DisplayName : public testing::TestWithParam<TDisplayCase> {};

TEST_P(DisplayName, IsWorldTextFollowedByScaleText) {
  EXPECT_EQ(GetMapDisplayName(GetParam().F, GetParam().S), GetParam().Expected);
}

const TDisplayCase DisplayCases[] = {
    {0, 0, " ﾌｪﾙｯｶ & ﾄﾗﾒﾙ 等倍"},
    {0, 1, " ﾌｪﾙｯｶ & ﾄﾗﾒﾙ 1/2"},
    {0, 2, " ﾌｪﾙｯｶ & ﾄﾗﾒﾙ 1/4"},
    {1, 0, " イルシェナー 等倍"},
    {1, 1, " イルシェナー 1/2"},
    {1, 2, " イルシェナー 1/4"},
    {2, 0, " マラス 等倍"},
    {2, 1, " マラス 1/2"},
    {2, 2, " マラス 1/4"},
    {3, 0, " 徳之島 等倍"},
    {3, 1, " 徳之島 1/2"},
    {3, 2, " 徳之島 1/4"},
    // Indices outside the tables add nothing.
    {4, 1, "1/2"},
    {2, 3, " マラス "},
    {255, 255, ""},
};

INSTANTIATE_TEST_SUITE_P(Catalogue, DisplayName, testing::ValuesIn(DisplayCases));

TEST(ComboBoxItems, ListTheMapTypesInValueOrder) {
  EXPECT_STREQ(MapTypeItems[mtNormal], "通常モード");
  EXPECT_STREQ(MapTypeItems[mtNoStatics], "固定物無しモード");
  EXPECT_STREQ(MapTypeItems[mtXRay], "Ｘ線モード");
}

TEST(ComboBoxItems, BaseFallsBackToNormalAndTargetToXRay) {
  struct {
    int Item;
    MapType Base, Target;
  } const Cases[] = {{-1, 0, 2}, {0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 0, 2}, {1000, 0, 2}};
  for (const auto& C : Cases) {
    EXPECT_EQ(BaseMapTypeFromItemIndex(C.Item), C.Base) << "item " << C.Item;
    EXPECT_EQ(TrgMapTypeFromItemIndex(C.Item), C.Target) << "item " << C.Item;
  }
}

struct TFolderCase {
  const char* ExePath;
  const char* Folder;         // on Linux
  const char* WindowsFolder;  // on Windows: "\\" and drive letters, as the automap's users write them
};

void PrintTo(const TFolderCase& C, std::ostream* Os) {
  *Os << '"' << C.ExePath << '"';
}

class DefaultFolder : public testing::TestWithParam<TFolderCase> {};

TEST_P(DefaultFolder, IsTheProgramsFolderWithoutTrailingSeparatorExceptTheRoot) {
  const TFolderCase& C = GetParam();
  EXPECT_EQ(DefaultMapFolder(C.ExePath), testsupport::OnWindows() ? C.WindowsFolder : C.Folder);
}

const TFolderCase FolderCases[] = {
    {"/opt/tools/veldrin", "/opt/tools", ""},
    {"/veldrin", "/", ""},
    {"/a/veldrin", "/a", ""},  // two characters, and still no separator appended
    {"veldrin", "", ""},
    {"", "", ""},
    {"tools/veldrin", "tools", ""},
    {"//x", "//", ""},
    {"/opt//veldrin", "/opt//", ""},
    {"/opt/tools/", "/opt/tools", ""},
    {"/opt/v1.2/veldrin.bin", "/opt/v1.2", ""},
    {"C:\\Tools\\veldrin.exe", "", "C:\\Tools"},
    {"C:\\veldrin.exe", "", "C:\\"},
    {"C:veldrin.exe", "", "C:\\"},
    {"C:\\Tools\\\\veldrin.exe", "", "C:\\Tools\\\\"},
    {"C:\\Tools\\", "", "C:\\Tools"},
    {"\\\\server\\maps\\veldrin.exe", "", "\\\\server\\maps"},
    {"\\veldrin.exe", "", "\\"},
    {"\\a\\veldrin.exe", "", "\\a\\"},  // two characters: the separator comes back
    {"D:\\地図\\veldrin.exe", "", "D:\\地図"},
};

INSTANTIATE_TEST_SUITE_P(Catalogue, DefaultFolder, testing::ValuesIn(FolderCases));

TEST(DefaultFolder, OfTheRunningProgramHoldsTheProgram) {
  const std::string Exe = GetModuleFileName();
  ASSERT_FALSE(Exe.empty());
  const std::string Folder = DefaultMapFolder();
  ASSERT_FALSE(Folder.empty());
  EXPECT_NE(Folder.back(), PathDelim);
  EXPECT_TRUE(FileExists(Folder + PathDelim + Exe.substr(Exe.rfind(PathDelim) + 1)));
}

}  // namespace
