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
const char* const kBaseKeys[] = {"25166902", "3687478", "5243958", "2097782"};
const char* const kTargetKeys[] = {"0", "2", "3", "4"};
const char* const kTypeSuffixes[] = {"", "NS", "X"};
const char* const kScaleSuffixes[] = {"1", "2", "4"};

struct MapCase {
  Facet F;
  MapType T;
  MapScale S;
};

void PrintTo(const MapCase& c, std::ostream* os) {
  *os << "facet " << int{c.F} << ", type " << int{c.T} << ", scale " << int{c.S};
}

std::string CaseName(const testing::TestParamInfo<MapCase>& info) {
  return "F" + std::to_string(info.param.F) + "T" + std::to_string(info.param.T) + "S" +
         std::to_string(info.param.S);
}

std::vector<MapCase> AllMaps() {
  std::vector<MapCase> cases;
  for (Facet f = 0; f < FacetCount; ++f)
    for (MapType t = 0; t < MapTypeCount; ++t)
      for (MapScale s = 0; s < MapScaleCount; ++s) cases.push_back({f, t, s});
  return cases;
}

class EveryMap : public testing::TestWithParam<MapCase> {};

TEST_P(EveryMap, BaseNameIsFolderKeyTypeAndScale) {
  const MapCase c = GetParam();
  EXPECT_EQ(GetBaseFileName(Native("/maps"), c.F, c.T, c.S),
            Native("/maps/MAP") + kBaseKeys[c.F] + "-" + kTypeSuffixes[c.T] + kScaleSuffixes[c.S] +
                ".BMP");
}

TEST_P(EveryMap, TargetNamesAreTwoForFeluccaAndTrammelAndOneOtherwise) {
  const MapCase c = GetParam();
  std::string main = "stale", second = "stale";
  GetTrgFileNames(Native("/maps"), c.F, c.T, c.S, main, second);
  const std::string tail = std::string("-") + kTypeSuffixes[c.T] + kScaleSuffixes[c.S] + ".BMP";
  EXPECT_EQ(main, Native("/maps/MAP") + kTargetKeys[c.F] + tail);
  EXPECT_EQ(second, c.F == fcFeluccaTrammel ? Native("/maps/MAP1") + tail : "");
}

TEST_P(EveryMap, EmptyFolderGivesEmptyNames) {
  const MapCase c = GetParam();
  EXPECT_EQ(GetBaseFileName("", c.F, c.T, c.S), "");
  std::string main = "stale", second = "stale";
  GetTrgFileNames("", c.F, c.T, c.S, main, second);
  EXPECT_EQ(main, "");
  EXPECT_EQ(second, "");
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryMap, testing::ValuesIn(AllMaps()), CaseName);

TEST(FileNames, MatchTheAutomapsExamples) {
  std::string main, second;
  EXPECT_EQ(GetBaseFileName(Native("/Maps"), 0, 2, 1), Native("/Maps/MAP25166902-X2.BMP"));
  GetTrgFileNames(Native("/Maps"), 0, 2, 1, main, second);
  EXPECT_EQ(main, Native("/Maps/MAP0-X2.BMP"));
  EXPECT_EQ(second, Native("/Maps/MAP1-X2.BMP"));
  EXPECT_EQ(GetBaseFileName(Native("/Maps"), 1, 1, 2), Native("/Maps/MAP3687478-NS4.BMP"));
  GetTrgFileNames(Native("/Maps"), 1, 1, 2, main, second);
  EXPECT_EQ(main, Native("/Maps/MAP2-NS4.BMP"));
  EXPECT_EQ(second, "");
  EXPECT_EQ(GetBaseFileName(Native("/Maps"), 3, 0, 0), Native("/Maps/MAP2097782-1.BMP"));
  GetTrgFileNames(Native("/Maps"), 3, 0, 0, main, second);
  EXPECT_EQ(main, Native("/Maps/MAP4-1.BMP"));
}

TEST(FileNames, AreConcatenatedWithoutSeparatorHandling) {
  std::string main, second;
  EXPECT_EQ(GetBaseFileName(Native("/"), 2, 2, 0), Native("//MAP5243958-X1.BMP"));
  GetTrgFileNames(Native("/"), 0, 2, 0, main, second);
  EXPECT_EQ(main, Native("//MAP0-X1.BMP"));
  EXPECT_EQ(second, Native("//MAP1-X1.BMP"));
  EXPECT_EQ(GetBaseFileName(Native("maps/"), 3, 1, 1), Native("maps//MAP2097782-NS2.BMP"));
  EXPECT_EQ(GetBaseFileName("relative", 1, 0, 0), Native("relative/MAP3687478-1.BMP"));
}

TEST(FileNames, OnWindowsFollowTheDriveLetterExamples) {
  if (!testsupport::OnWindows()) GTEST_SKIP() << "drive letters and \"\\\" exist on Windows only";
  std::string main, second;
  EXPECT_EQ(GetBaseFileName("C:\\Maps", 0, 0, 0), "C:\\Maps\\MAP25166902-1.BMP");
  GetTrgFileNames("C:\\Maps", 0, 2, 1, main, second);
  EXPECT_EQ(main, "C:\\Maps\\MAP0-X2.BMP");
  EXPECT_EQ(second, "C:\\Maps\\MAP1-X2.BMP");
  // A drive root keeps its separator, and the names get a doubled one.
  EXPECT_EQ(GetBaseFileName("C:\\", 2, 2, 0), "C:\\\\MAP5243958-X1.BMP");
  GetTrgFileNames("C:\\", 0, 2, 0, main, second);
  EXPECT_EQ(main, "C:\\\\MAP0-X1.BMP");
  EXPECT_EQ(ChangeFileExt(main, ".OLD"), "C:\\\\MAP0-X1.OLD");
  EXPECT_EQ(ChangeFileExt("C:\\v1.2\\MAP0", ".OLD"), "C:\\v1.2\\MAP0.OLD");
}

TEST(FileNames, IndexOutsideTheTablesIsARangeError) {
  std::string main, second;
  EXPECT_THROW(GetBaseFileName("/maps", FacetCount, 0, 0), ERangeError);
  EXPECT_THROW(GetBaseFileName("/maps", 0, MapTypeCount, 0), ERangeError);
  EXPECT_THROW(GetTrgFileNames("/maps", 0, 0, MapScaleCount, main, second), ERangeError);
}

// Each world's text and each scale text, written out with their exact spaces.
struct DisplayCase {
  Facet F;
  MapScale S;
  const char* Expected;
};

void PrintTo(const DisplayCase& c, std::ostream* os) {
  *os << "facet " << int{c.F} << ", scale " << int{c.S};
}

class DisplayName : public testing::TestWithParam<DisplayCase> {};

TEST_P(DisplayName, IsWorldTextFollowedByScaleText) {
  EXPECT_EQ(GetMapDisplayName(GetParam().F, GetParam().S), GetParam().Expected);
}

const DisplayCase kDisplayCases[] = {
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

INSTANTIATE_TEST_SUITE_P(Catalogue, DisplayName, testing::ValuesIn(kDisplayCases));

TEST(ComboBoxItems, ListTheMapTypesInValueOrder) {
  EXPECT_STREQ(MapTypeItems[mtNormal], "通常モード");
  EXPECT_STREQ(MapTypeItems[mtNoStatics], "固定物無しモード");
  EXPECT_STREQ(MapTypeItems[mtXRay], "Ｘ線モード");
}

TEST(ComboBoxItems, BaseFallsBackToNormalAndTargetToXRay) {
  struct {
    int Item;
    MapType Base, Target;
  } const cases[] = {{-1, 0, 2}, {0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 0, 2}, {1000, 0, 2}};
  for (const auto& c : cases) {
    EXPECT_EQ(BaseMapTypeFromItemIndex(c.Item), c.Base) << "item " << c.Item;
    EXPECT_EQ(TrgMapTypeFromItemIndex(c.Item), c.Target) << "item " << c.Item;
  }
}

struct FolderCase {
  const char* ExePath;
  const char* Folder;         // on Linux
  const char* WindowsFolder;  // on Windows: "\\" and drive letters, as the automap's users write them
};

void PrintTo(const FolderCase& c, std::ostream* os) {
  *os << '"' << c.ExePath << '"';
}

class DefaultFolder : public testing::TestWithParam<FolderCase> {};

TEST_P(DefaultFolder, IsTheProgramsFolderWithoutTrailingSeparatorExceptTheRoot) {
  const FolderCase& c = GetParam();
  EXPECT_EQ(DefaultMapFolder(c.ExePath), testsupport::OnWindows() ? c.WindowsFolder : c.Folder);
}

const FolderCase kFolderCases[] = {
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

INSTANTIATE_TEST_SUITE_P(Catalogue, DefaultFolder, testing::ValuesIn(kFolderCases));

TEST(DefaultFolder, OfTheRunningProgramHoldsTheProgram) {
  const std::string exe = GetModuleFileName();
  ASSERT_FALSE(exe.empty());
  const std::string folder = DefaultMapFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), PathDelim);
  EXPECT_TRUE(FileExists(folder + PathDelim + exe.substr(exe.rfind(PathDelim) + 1)));
}

}  // namespace
