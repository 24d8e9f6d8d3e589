#include "app/core/repair.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "support/bmp_builder.h"
#include "support/os_test.h"
#include "support/temp_dir.h"

namespace {

using testsupport::TBmpLayout;
using testsupport::BuildBmp;
using testsupport::ReadFileBytes;
using testsupport::TTempDir;
using testsupport::WriteFileBytes;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t PaletteOffBits = 14 + 40 + 256 * 4;  // 1078

std::uint32_t U32At(const Bytes& B, std::size_t At) {
  return B.at(At) | (B.at(At + 1) << 8) | (B.at(At + 2) << 16) |
         (static_cast<std::uint32_t>(B.at(At + 3)) << 24);
}

Bytes Ramp(std::size_t N, std::uint8_t Start = 1) {
  Bytes B(N);
  for (std::size_t I = 0; I < N; ++I) B[I] = static_cast<std::uint8_t>(Start + I * 7);
  return B;
}

// An 8-bit file with a full palette whose rows are stored back to back.
TBmpLayout Unpadded(std::int32_t Width, std::int32_t Height) {
  TBmpLayout S;
  S.Width = Width;
  S.Height = Height;
  S.Colors = testsupport::GreyColors(256);
  S.Pixels = Ramp(static_cast<std::size_t>(Width) * Height);
  return S;
}

std::set<std::string> FolderContents(const TTempDir& Dir) {
  std::set<std::string> Names;
  for (const auto& E : std::filesystem::directory_iterator(Dir.Path()))
    Names.insert(E.path().filename().string());
  return Names;
}

TEST(Repair, PadsEveryRowAndCorrectsBfSize) {
  TTempDir Dir;
  const std::string Name = Dir.File("MAP3687478-X4.BMP");
  TBmpLayout Layout = Unpadded(5, 3);
  Layout.FileSize = 4242;  // a stale bfSize must not matter
  Bytes Original = BuildBmp(Layout);
  Original[34] = 15;  // biSizeImage as the automap wrote it
  ASSERT_EQ(Original.size(), PaletteOffBits + 15);
  WriteFileBytes(Name, Original);

  ASSERT_TRUE(CheckBitmap(Name));
  FixBitmap(Name);

  const Bytes Fixed = ReadFileBytes(Name);
  ASSERT_EQ(Fixed.size(), 1102u);
  EXPECT_EQ(U32At(Fixed, 2), 1102u);
  Bytes ExpectedHead(Original.begin(), Original.begin() + PaletteOffBits);
  ExpectedHead[2] = 1102 & 0xFF;
  ExpectedHead[3] = 1102 >> 8;
  ExpectedHead[4] = ExpectedHead[5] = 0;
  EXPECT_EQ(Bytes(Fixed.begin(), Fixed.begin() + PaletteOffBits), ExpectedHead);
  for (int Row = 0; Row < 3; ++Row) {
    const auto In = Original.begin() + PaletteOffBits + Row * 5;
    const auto Out = Fixed.begin() + PaletteOffBits + Row * 8;
    EXPECT_EQ(Bytes(Out, Out + 5), Bytes(In, In + 5)) << "row " << Row;
    EXPECT_EQ(Bytes(Out + 5, Out + 8), Bytes(3, 0)) << "row " << Row;
  }
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP3687478-X4_BAD_DATA.BMP")), Original);
  EXPECT_FALSE(CheckBitmap(Name));
}

struct TGeometry {
  std::int32_t Width, Height;
};

void PrintTo(const TGeometry& G, std::ostream* Os) {
  *Os << G.Width << " x " << G.Height;
}

class RepairGeometry : public testing::TestWithParam<TGeometry> {};

TEST_P(RepairGeometry, KeepsEveryRowInOrder) {
  const auto [w, h] = GetParam();
  TTempDir Dir;
  const std::string Name = Dir.File("map.bmp");
  const Bytes Original = BuildBmp(Unpadded(w, h));
  WriteFileBytes(Name, Original);
  ASSERT_TRUE(CheckBitmap(Name));
  FixBitmap(Name);

  const Bytes Fixed = ReadFileBytes(Name);
  const std::size_t Stride = static_cast<std::size_t>(testsupport::DibStride(w, 8));
  ASSERT_EQ(Fixed.size(), PaletteOffBits + Stride * h);
  EXPECT_EQ(U32At(Fixed, 2), Fixed.size());
  for (std::int32_t Row = 0; Row < h; ++Row) {
    const auto In = Original.begin() + PaletteOffBits + Row * w;
    const auto Out = Fixed.begin() + PaletteOffBits + Row * Stride;
    ASSERT_EQ(Bytes(Out, Out + w), Bytes(In, In + w)) << "row " << Row;
    ASSERT_EQ(Bytes(Out + w, Out + Stride), Bytes(Stride - w, 0)) << "row " << Row;
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, RepairGeometry,
                         testing::Values(TGeometry{1, 1}, TGeometry{1, 9}, TGeometry{2, 4},
                                         TGeometry{3, 3}, TGeometry{7, 5}, TGeometry{13, 11},
                                         TGeometry{1023, 6}));

TEST(Repair, ReplacesAnOlderBadCopy) {
  TTempDir Dir;
  const std::string Name = Dir.File("MAP0-2.BMP");
  const Bytes Original = BuildBmp(Unpadded(6, 2));
  WriteFileBytes(Name, Original);
  WriteFileBytes(Dir.File("MAP0-2_BAD_DATA.BMP"), Bytes(3000, 0xEE));
  FixBitmap(Name);
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP0-2_BAD_DATA.BMP")), Original);
  EXPECT_EQ(FolderContents(Dir), (std::set<std::string>{"MAP0-2.BMP", "MAP0-2_BAD_DATA.BMP"}));
}

TEST(Repair, RepairedFileAndBadCopyKeepTheBaseFilesPermissions) {
  if (testsupport::OnWindows())
    GTEST_SKIP() << "Windows files have no POSIX permission bits: new ones inherit the folder's";
  TTempDir Dir;
  const std::string Name = Dir.File("MAP2-4.BMP");
  WriteFileBytes(Name, BuildBmp(Unpadded(5, 3)));
  namespace fs = std::filesystem;
  const fs::perms Mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(Name, Mode);
  FixBitmap(Name);
  EXPECT_EQ(fs::status(Name).permissions(), Mode);
  EXPECT_EQ(fs::status(Dir.File("MAP2-4_BAD_DATA.BMP")).permissions(), Mode);
}

TEST(Repair, BadCopyNameDropsOnlyTheExtension) {
  using testsupport::Native;
  EXPECT_EQ(BadDataFileName(Native("/m/MAP3687478-X4.BMP")),
            Native("/m/MAP3687478-X4_BAD_DATA.BMP"));
  EXPECT_EQ(BadDataFileName(Native("/m/map.a.bmp")), Native("/m/map.a_BAD_DATA.BMP"));
  EXPECT_EQ(BadDataFileName(Native("/m.d/map")), Native("/m.d/map_BAD_DATA.BMP"));
  EXPECT_EQ(BadDataFileName("map"), "map_BAD_DATA.BMP");
}

// Files that the plain size rule would flag, or that merely look close, but that hold no
// unpadded 8-bit rows: none of them is reported, and a repair leaves each byte for byte alone.
struct TUntouchedCase {
  const char* Name;
  Bytes File;
};

void PrintTo(const TUntouchedCase& C, std::ostream* Os) {
  *Os << C.Name;
}

std::string UntouchedName(const testing::TestParamInfo<TUntouchedCase>& Info) {
  return Info.param.Name;
}

class NotRepaired : public testing::TestWithParam<TUntouchedCase> {};

TEST_P(NotRepaired, IsNotReportedAndKeptAsItIs) {
  TTempDir Dir;
  const std::string Name = Dir.File("MAP5243958-1.BMP");
  WriteFileBytes(Name, GetParam().File);
  EXPECT_FALSE(CheckBitmap(Name));
  FixBitmap(Name);
  EXPECT_EQ(ReadFileBytes(Name), GetParam().File);
  EXPECT_EQ(FolderContents(Dir), std::set<std::string>{"MAP5243958-1.BMP"});
}

std::vector<TUntouchedCase> UntouchedCases() {
  std::vector<TUntouchedCase> Cases;
  auto Add = [&](const char* Name, const TBmpLayout& S) { Cases.push_back({Name, BuildBmp(S)}); };
  Add("WidthMultipleOfFourExactData", Unpadded(8, 3));
  {
    TBmpLayout S = Unpadded(5, 3);
    S.Pixels = Ramp(8 * 3);
    Add("PaddedRows", S);
    S.Pixels = Ramp(8 * 3 + 7);
    Add("PaddedRowsWithTrailingBytes", S);
  }
  {
    TBmpLayout S = Unpadded(8, 3);
    S.Pixels = Ramp(8 * 3 + 5);
    Add("WidthMultipleOfFourWithTrailingBytes", S);
  }
  {
    TBmpLayout S = Unpadded(5, 3);
    S.Height = -3;
    Add("TopDown", S);
  }
  {
    TBmpLayout S;
    S.Width = 5;
    S.Height = 3;
    S.BitCount = 24;
    S.Pixels = Ramp(15);
    Add("TwentyFourBit", S);
    S.Pixels = Ramp(16 * 3);
    Add("TwentyFourBitPadded", S);
  }
  {
    TBmpLayout S = Unpadded(5, 3);
    S.Compression = 1;  // run-length encoded
    Add("Compressed", S);
  }
  {
    TBmpLayout S = Unpadded(0, 3);
    Add("ZeroWidth", S);
    S = Unpadded(1, 3);
    S.Width = -5;
    S.Pixels = Ramp(15);
    Add("NegativeWidth", S);
  }
  {
    // 69 bytes, no palette; 7 x 7 = 69 - 20: the size would fit rows that start in the header.
    TBmpLayout S;
    S.Width = 7;
    S.Height = 7;
    S.Pixels = Ramp(15);
    S.OffBits = 20;
    Add("PixelsInsideTheHeaders", S);
  }
  {
    testsupport::TByteWriter B;
    B.Bytes(BuildBmp(Unpadded(5, 3)));
    B.PatchU32(10, 5000);
    Cases.push_back({"PixelsPastTheEnd", B.Data()});
    B.PatchU32(10, static_cast<std::uint32_t>(PaletteOffBits));
    B.Data()[0] = 'X';
    Cases.push_back({"NoBitmapSignature", B.Data()});
  }
  {
    TBmpLayout S = Unpadded(5, 3);
    S.HeaderSize = 12;
    Add("CoreHeader", S);
  }
  {
    // Nothing but the two headers.
    TBmpLayout S;
    S.Width = 5;
    S.Height = 3;
    Add("HeadersOnly", S);
  }
  return Cases;
}

INSTANTIATE_TEST_SUITE_P(Files, NotRepaired, testing::ValuesIn(UntouchedCases()), UntouchedName);

TEST(RepairFailure, MissingFileIsAnOpenErrorNamingIt) {
  TTempDir Dir;
  const std::string Name = Dir.File("MAP2-4.BMP");
  for (auto* Routine : {+[](const std::string& N) { CheckBitmap(N); }, &FixBitmap}) {
    try {
      Routine(Name);
      FAIL() << "a missing file must raise";
    } catch (const EFOpenError& E) {
      EXPECT_EQ(E.Message(), "ファイル " + Name + " は開けません");
    }
  }
  EXPECT_TRUE(FolderContents(Dir).empty());
}

TEST(RepairFailure, FolderInPlaceOfTheFileIsAnOpenError) {
  TTempDir Dir;
  std::filesystem::create_directory(Dir.File("MAP2-4.BMP"));
  EXPECT_THROW(CheckBitmap(Dir.File("MAP2-4.BMP")), EFOpenError);
  EXPECT_THROW(FixBitmap(Dir.File("MAP2-4.BMP")), EFOpenError);
}

TEST(RepairFailure, FileShorterThanItsHeadersIsAReadErrorAndStaysPut) {
  TTempDir Dir;
  const std::string Name = Dir.File("MAP2-4.BMP");
  const Bytes Full = BuildBmp(Unpadded(5, 3));
  const Bytes ShortFile(Full.begin(), Full.begin() + 53);
  WriteFileBytes(Name, ShortFile);
  EXPECT_THROW(CheckBitmap(Name), EReadError);
  EXPECT_THROW(FixBitmap(Name), EReadError);
  EXPECT_EQ(ReadFileBytes(Name), ShortFile);
  EXPECT_EQ(FolderContents(Dir), std::set<std::string>{"MAP2-4.BMP"});
}

TEST(RepairFailure, BadNameThatCannotBeTakenLeavesTheFileUnderItsName) {
  TTempDir Dir;
  const std::string Name = Dir.File("MAP4-1.BMP");
  const Bytes Original = BuildBmp(Unpadded(5, 3));
  WriteFileBytes(Name, Original);
  // A folder under the bad name can be neither deleted as a file nor renamed onto.
  std::filesystem::create_directory(Dir.File("MAP4-1_BAD_DATA.BMP"));
  try {
    FixBitmap(Name);
    FAIL() << "the repair must fail";
  } catch (const EFOpenError& E) {
    EXPECT_EQ(E.Message(), "ファイル " + Dir.File("MAP4-1_BAD_DATA.BMP") + " は開けません");
  }
  EXPECT_EQ(ReadFileBytes(Name), Original);
  EXPECT_TRUE(std::filesystem::is_directory(Dir.File("MAP4-1_BAD_DATA.BMP")));
  EXPECT_EQ(FolderContents(Dir), (std::set<std::string>{"MAP4-1.BMP", "MAP4-1_BAD_DATA.BMP"}));
}

TEST(RepairFailure, WriteErrorLeavesTheOriginalAndTheOlderBadCopyAsTheyWere) {
  TTempDir Dir;
  const std::string Name = Dir.File("MAP3-X1.BMP");
  const Bytes Original = BuildBmp(Unpadded(1, 400));  // 1478 bytes; repaired 2678
  WriteFileBytes(Name, Original);
  WriteFileBytes(Dir.File("MAP3-X1_BAD_DATA.BMP"), Bytes(10, 1));
  try {
    testsupport::FileSizeLimit Limit(2000);
    if (!Limit.Supported()) GTEST_SKIP() << "Windows has no limit on the size of a process's files";
    FixBitmap(Name);
    FAIL() << "the repair must fail";
  } catch (const EWriteError& E) {
    EXPECT_STREQ(E.what(), "ストリームへの書き込みエラー");
  }
  EXPECT_EQ(ReadFileBytes(Name), Original);
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP3-X1_BAD_DATA.BMP")), Bytes(10, 1));
  // No half-written file and no temporary is left behind.
  EXPECT_EQ(FolderContents(Dir), (std::set<std::string>{"MAP3-X1.BMP", "MAP3-X1_BAD_DATA.BMP"}));
}

// A tiny file system of its own, so that the disk really runs full. Mounting needs privileges
// that a test run may not have; the test is skipped then.
TEST(RepairFailure, FullDiskPutsTheOriginalBackUnderItsName) {
  TTempDir Dir;
  const std::string Folder = Dir.File("disk");
  std::filesystem::create_directory(Folder);
  if (testsupport::OnWindows()) GTEST_SKIP() << "a tmpfs of 64 KiB exists on Linux only";
  testsupport::TinyFileSystem Disk(Folder);
  if (!Disk.Mounted()) GTEST_SKIP() << "mounting a small file system is not permitted here";
  const std::string Name = Folder + "/MAP0-NS1.BMP";
  const Bytes Original = BuildBmp(Unpadded(1, 30000));  // 31 kB; repaired 121 kB
  WriteFileBytes(Name, Original);
  EXPECT_THROW(FixBitmap(Name), EWriteError);
  EXPECT_EQ(ReadFileBytes(Name), Original);
  std::set<std::string> Left;
  for (const auto& E : std::filesystem::directory_iterator(Folder))
    Left.insert(E.path().filename().string());
  EXPECT_EQ(Left, std::set<std::string>{"MAP0-NS1.BMP"});
}

}  // namespace
