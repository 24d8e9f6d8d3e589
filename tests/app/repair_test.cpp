#include "app/core/repair.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "support/bmp_builder.h"
#include "support/temp_dir.h"

namespace {

using testsupport::BmpLayout;
using testsupport::BuildBmp;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPaletteOffBits = 14 + 40 + 256 * 4;  // 1078

std::uint32_t U32At(const Bytes& b, std::size_t at) {
  return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) |
         (static_cast<std::uint32_t>(b.at(at + 3)) << 24);
}

Bytes Ramp(std::size_t n, std::uint8_t start = 1) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(start + i * 7);
  return b;
}

// An 8-bit file with a full palette whose rows are stored back to back.
BmpLayout Unpadded(std::int32_t width, std::int32_t height) {
  BmpLayout s;
  s.width = width;
  s.height = height;
  s.colors = testsupport::GreyColors(256);
  s.pixels = Ramp(static_cast<std::size_t>(width) * height);
  return s;
}

std::set<std::string> FolderContents(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    names.insert(e.path().filename().string());
  return names;
}

TEST(Repair, PadsEveryRowAndCorrectsBfSize) {
  TempDir dir;
  const std::string name = dir.file("MAP3687478-X4.BMP");
  BmpLayout layout = Unpadded(5, 3);
  layout.file_size = 4242;  // a stale bfSize must not matter
  Bytes original = BuildBmp(layout);
  original[34] = 15;  // biSizeImage as the automap wrote it
  ASSERT_EQ(original.size(), kPaletteOffBits + 15);
  WriteFileBytes(name, original);

  ASSERT_TRUE(CheckBitmap(name));
  FixBitmap(name);

  const Bytes fixed = ReadFileBytes(name);
  ASSERT_EQ(fixed.size(), 1102u);
  EXPECT_EQ(U32At(fixed, 2), 1102u);
  Bytes expectedHead(original.begin(), original.begin() + kPaletteOffBits);
  expectedHead[2] = 1102 & 0xFF;
  expectedHead[3] = 1102 >> 8;
  expectedHead[4] = expectedHead[5] = 0;
  EXPECT_EQ(Bytes(fixed.begin(), fixed.begin() + kPaletteOffBits), expectedHead);
  for (int row = 0; row < 3; ++row) {
    const auto in = original.begin() + kPaletteOffBits + row * 5;
    const auto out = fixed.begin() + kPaletteOffBits + row * 8;
    EXPECT_EQ(Bytes(out, out + 5), Bytes(in, in + 5)) << "row " << row;
    EXPECT_EQ(Bytes(out + 5, out + 8), Bytes(3, 0)) << "row " << row;
  }
  EXPECT_EQ(ReadFileBytes(dir.file("MAP3687478-X4_BAD_DATA.BMP")), original);
  EXPECT_FALSE(CheckBitmap(name));
}

struct Geometry {
  std::int32_t Width, Height;
};

void PrintTo(const Geometry& g, std::ostream* os) {
  *os << g.Width << " x " << g.Height;
}

class RepairGeometry : public testing::TestWithParam<Geometry> {};

TEST_P(RepairGeometry, KeepsEveryRowInOrder) {
  const auto [w, h] = GetParam();
  TempDir dir;
  const std::string name = dir.file("map.bmp");
  const Bytes original = BuildBmp(Unpadded(w, h));
  WriteFileBytes(name, original);
  ASSERT_TRUE(CheckBitmap(name));
  FixBitmap(name);

  const Bytes fixed = ReadFileBytes(name);
  const std::size_t stride = static_cast<std::size_t>(testsupport::DibStride(w, 8));
  ASSERT_EQ(fixed.size(), kPaletteOffBits + stride * h);
  EXPECT_EQ(U32At(fixed, 2), fixed.size());
  for (std::int32_t row = 0; row < h; ++row) {
    const auto in = original.begin() + kPaletteOffBits + row * w;
    const auto out = fixed.begin() + kPaletteOffBits + row * stride;
    ASSERT_EQ(Bytes(out, out + w), Bytes(in, in + w)) << "row " << row;
    ASSERT_EQ(Bytes(out + w, out + stride), Bytes(stride - w, 0)) << "row " << row;
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, RepairGeometry,
                         testing::Values(Geometry{1, 1}, Geometry{1, 9}, Geometry{2, 4},
                                         Geometry{3, 3}, Geometry{7, 5}, Geometry{13, 11},
                                         Geometry{1023, 6}));

TEST(Repair, ReplacesAnOlderBadCopy) {
  TempDir dir;
  const std::string name = dir.file("MAP0-2.BMP");
  const Bytes original = BuildBmp(Unpadded(6, 2));
  WriteFileBytes(name, original);
  WriteFileBytes(dir.file("MAP0-2_BAD_DATA.BMP"), Bytes(3000, 0xEE));
  FixBitmap(name);
  EXPECT_EQ(ReadFileBytes(dir.file("MAP0-2_BAD_DATA.BMP")), original);
  EXPECT_EQ(FolderContents(dir), (std::set<std::string>{"MAP0-2.BMP", "MAP0-2_BAD_DATA.BMP"}));
}

TEST(Repair, RepairedFileAndBadCopyKeepTheBaseFilesPermissions) {
  TempDir dir;
  const std::string name = dir.file("MAP2-4.BMP");
  WriteFileBytes(name, BuildBmp(Unpadded(5, 3)));
  namespace fs = std::filesystem;
  const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(name, mode);
  FixBitmap(name);
  EXPECT_EQ(fs::status(name).permissions(), mode);
  EXPECT_EQ(fs::status(dir.file("MAP2-4_BAD_DATA.BMP")).permissions(), mode);
}

TEST(Repair, BadCopyNameDropsOnlyTheExtension) {
  EXPECT_EQ(BadDataFileName("/m/MAP3687478-X4.BMP"), "/m/MAP3687478-X4_BAD_DATA.BMP");
  EXPECT_EQ(BadDataFileName("/m/map.a.bmp"), "/m/map.a_BAD_DATA.BMP");
  EXPECT_EQ(BadDataFileName("/m.d/map"), "/m.d/map_BAD_DATA.BMP");
  EXPECT_EQ(BadDataFileName("map"), "map_BAD_DATA.BMP");
}

// Files that the plain size rule would flag, or that merely look close, but that hold no
// unpadded 8-bit rows: none of them is reported, and a repair leaves each byte for byte alone.
struct UntouchedCase {
  const char* Name;
  Bytes File;
};

void PrintTo(const UntouchedCase& c, std::ostream* os) {
  *os << c.Name;
}

std::string UntouchedName(const testing::TestParamInfo<UntouchedCase>& info) {
  return info.param.Name;
}

class NotRepaired : public testing::TestWithParam<UntouchedCase> {};

TEST_P(NotRepaired, IsNotReportedAndKeptAsItIs) {
  TempDir dir;
  const std::string name = dir.file("MAP5243958-1.BMP");
  WriteFileBytes(name, GetParam().File);
  EXPECT_FALSE(CheckBitmap(name));
  FixBitmap(name);
  EXPECT_EQ(ReadFileBytes(name), GetParam().File);
  EXPECT_EQ(FolderContents(dir), std::set<std::string>{"MAP5243958-1.BMP"});
}

std::vector<UntouchedCase> UntouchedCases() {
  std::vector<UntouchedCase> cases;
  auto add = [&](const char* name, const BmpLayout& s) { cases.push_back({name, BuildBmp(s)}); };
  add("WidthMultipleOfFourExactData", Unpadded(8, 3));
  {
    BmpLayout s = Unpadded(5, 3);
    s.pixels = Ramp(8 * 3);
    add("PaddedRows", s);
    s.pixels = Ramp(8 * 3 + 7);
    add("PaddedRowsWithTrailingBytes", s);
  }
  {
    BmpLayout s = Unpadded(8, 3);
    s.pixels = Ramp(8 * 3 + 5);
    add("WidthMultipleOfFourWithTrailingBytes", s);
  }
  {
    BmpLayout s = Unpadded(5, 3);
    s.height = -3;
    add("TopDown", s);
  }
  {
    BmpLayout s;
    s.width = 5;
    s.height = 3;
    s.bit_count = 24;
    s.pixels = Ramp(15);
    add("TwentyFourBit", s);
    s.pixels = Ramp(16 * 3);
    add("TwentyFourBitPadded", s);
  }
  {
    BmpLayout s = Unpadded(5, 3);
    s.compression = 1;  // run-length encoded
    add("Compressed", s);
  }
  {
    BmpLayout s = Unpadded(0, 3);
    add("ZeroWidth", s);
    s = Unpadded(1, 3);
    s.width = -5;
    s.pixels = Ramp(15);
    add("NegativeWidth", s);
  }
  {
    // 69 bytes, no palette; 7 x 7 = 69 - 20: the size would fit rows that start in the header.
    BmpLayout s;
    s.width = 7;
    s.height = 7;
    s.pixels = Ramp(15);
    s.off_bits = 20;
    add("PixelsInsideTheHeaders", s);
  }
  {
    testsupport::ByteWriter b;
    b.bytes(BuildBmp(Unpadded(5, 3)));
    b.patch_u32(10, 5000);
    cases.push_back({"PixelsPastTheEnd", b.data()});
    b.patch_u32(10, static_cast<std::uint32_t>(kPaletteOffBits));
    b.data()[0] = 'X';
    cases.push_back({"NoBitmapSignature", b.data()});
  }
  {
    BmpLayout s = Unpadded(5, 3);
    s.header_size = 12;
    add("CoreHeader", s);
  }
  {
    // Nothing but the two headers.
    BmpLayout s;
    s.width = 5;
    s.height = 3;
    add("HeadersOnly", s);
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Files, NotRepaired, testing::ValuesIn(UntouchedCases()), UntouchedName);

TEST(RepairFailure, MissingFileIsAnOpenErrorNamingIt) {
  TempDir dir;
  const std::string name = dir.file("MAP2-4.BMP");
  for (auto* routine : {+[](const std::string& n) { CheckBitmap(n); }, &FixBitmap}) {
    try {
      routine(name);
      FAIL() << "a missing file must raise";
    } catch (const EFOpenError& e) {
      EXPECT_EQ(e.Message(), "ファイル " + name + " は開けません");
    }
  }
  EXPECT_TRUE(FolderContents(dir).empty());
}

TEST(RepairFailure, FolderInPlaceOfTheFileIsAnOpenError) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("MAP2-4.BMP"));
  EXPECT_THROW(CheckBitmap(dir.file("MAP2-4.BMP")), EFOpenError);
  EXPECT_THROW(FixBitmap(dir.file("MAP2-4.BMP")), EFOpenError);
}

TEST(RepairFailure, FileShorterThanItsHeadersIsAReadErrorAndStaysPut) {
  TempDir dir;
  const std::string name = dir.file("MAP2-4.BMP");
  const Bytes full = BuildBmp(Unpadded(5, 3));
  const Bytes shortFile(full.begin(), full.begin() + 53);
  WriteFileBytes(name, shortFile);
  EXPECT_THROW(CheckBitmap(name), EReadError);
  EXPECT_THROW(FixBitmap(name), EReadError);
  EXPECT_EQ(ReadFileBytes(name), shortFile);
  EXPECT_EQ(FolderContents(dir), std::set<std::string>{"MAP2-4.BMP"});
}

TEST(RepairFailure, BadNameThatCannotBeTakenLeavesTheFileUnderItsName) {
  TempDir dir;
  const std::string name = dir.file("MAP4-1.BMP");
  const Bytes original = BuildBmp(Unpadded(5, 3));
  WriteFileBytes(name, original);
  // A folder under the bad name can be neither deleted as a file nor renamed onto.
  std::filesystem::create_directory(dir.file("MAP4-1_BAD_DATA.BMP"));
  try {
    FixBitmap(name);
    FAIL() << "the repair must fail";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "ファイル " + dir.file("MAP4-1_BAD_DATA.BMP") + " は開けません");
  }
  EXPECT_EQ(ReadFileBytes(name), original);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("MAP4-1_BAD_DATA.BMP")));
  EXPECT_EQ(FolderContents(dir), (std::set<std::string>{"MAP4-1.BMP", "MAP4-1_BAD_DATA.BMP"}));
}

// Limits the size of files this process may write, and turns the signal that the limit raises
// into a plain write error.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t Bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = Bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t oldHandler_;
};

TEST(RepairFailure, WriteErrorLeavesTheOriginalAndTheOlderBadCopyAsTheyWere) {
  TempDir dir;
  const std::string name = dir.file("MAP3-X1.BMP");
  const Bytes original = BuildBmp(Unpadded(1, 400));  // 1478 bytes; repaired 2678
  WriteFileBytes(name, original);
  WriteFileBytes(dir.file("MAP3-X1_BAD_DATA.BMP"), Bytes(10, 1));
  try {
    FileSizeLimit limit(2000);
    FixBitmap(name);
    FAIL() << "the repair must fail";
  } catch (const EWriteError& e) {
    EXPECT_STREQ(e.what(), "ストリームへの書き込みエラー");
  }
  EXPECT_EQ(ReadFileBytes(name), original);
  EXPECT_EQ(ReadFileBytes(dir.file("MAP3-X1_BAD_DATA.BMP")), Bytes(10, 1));
  // No half-written file and no temporary is left behind.
  EXPECT_EQ(FolderContents(dir), (std::set<std::string>{"MAP3-X1.BMP", "MAP3-X1_BAD_DATA.BMP"}));
}

// A tiny file system of its own, so that the disk really runs full. Mounting needs privileges
// that a test run may not have; the test is skipped then.
class TinyFileSystem {
 public:
  explicit TinyFileSystem(const std::string& Folder) : folder_(Folder) {
    mounted_ = ::mount("tmpfs", Folder.c_str(), "tmpfs", 0, "size=64k") == 0;
  }
  ~TinyFileSystem() {
    if (mounted_) ::umount(folder_.c_str());
  }
  TinyFileSystem(const TinyFileSystem&) = delete;
  TinyFileSystem& operator=(const TinyFileSystem&) = delete;
  bool Mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

TEST(RepairFailure, FullDiskPutsTheOriginalBackUnderItsName) {
  TempDir dir;
  const std::string folder = dir.file("disk");
  std::filesystem::create_directory(folder);
  TinyFileSystem disk(folder);
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a small file system is not permitted here";
  const std::string name = folder + "/MAP0-NS1.BMP";
  const Bytes original = BuildBmp(Unpadded(1, 30000));  // 31 kB; repaired 121 kB
  WriteFileBytes(name, original);
  EXPECT_THROW(FixBitmap(name), EWriteError);
  EXPECT_EQ(ReadFileBytes(name), original);
  std::set<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    left.insert(e.path().filename().string());
  EXPECT_EQ(left, std::set<std::string>{"MAP0-NS1.BMP"});
}

}  // namespace
