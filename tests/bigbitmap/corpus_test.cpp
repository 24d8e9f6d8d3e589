// Every file of the public BMP corpus must load to exactly its reference pixels, and give them
// again after a save and a reload.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bigbitmap/bigbitmap.h"
#include "bigbitmap_test_helpers.h"
#include "platform/streams.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct TCorpusFile {
  std::string File;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::string Expected;  // "accept" or "reject"
  std::string Pixels;
};

const std::filesystem::path CorpusFolder = VELDRIN_CORPUS_DIR;

std::vector<TCorpusFile> ReadManifest() {
  std::vector<TCorpusFile> Files;
  std::ifstream In(CorpusFolder / "manifest.tsv");
  std::string Line;
  std::getline(In, Line);  // column names
  while (std::getline(In, Line)) {
    if (Line.empty()) continue;
    std::istringstream Fields(Line);
    TCorpusFile F;
    std::string Bits, Compression, Header;
    std::getline(Fields, F.File, '\t');
    Fields >> F.Width >> F.Height >> Bits >> Compression >> Header >> F.Expected >> F.Pixels;
    Files.push_back(F);
  }
  // Without the corpus one placeholder case reports the skip.
  if (Files.empty()) Files.push_back(TCorpusFile{"(corpus missing)", 0, 0, "", ""});
  return Files;
}

// The image as R, G, B per pixel, top row first: palette images through the colour table of the
// band that holds each row. An index outside the table gives an empty result.
Bytes RgbOf(TBigBitmap& B) {
  Bytes Out;
  Out.reserve(static_cast<std::size_t>(B.GetWidth()) * B.GetHeight() * 3);
  const std::int32_t BandRows = B.Bitmaps().front()->GetHeight();
  const int Bits = TBigBitmap::GetPixelBits(B.GetPixelFormat());
  for (std::int32_t Y = 0; Y < B.GetHeight(); ++Y) {
    const auto* Row = static_cast<const std::uint8_t*>(B.GetScanline(Y));
    const std::vector<RGBQUAD>& Table =
        B.Bitmaps()[static_cast<std::size_t>(Y / BandRows)]->ColorTable();
    for (std::int32_t X = 0; X < B.GetWidth(); ++X) {
      if (Bits == 24) {
        Out.insert(Out.end(), {Row[3 * X + 2], Row[3 * X + 1], Row[3 * X]});
        continue;
      }
      unsigned Index = 0;
      switch (Bits) {
        case 1:
          Index = (Row[X >> 3] >> (7 - (X & 7))) & 1;
          break;
        case 4:
          Index = (Row[X >> 1] >> ((X & 1) ? 0 : 4)) & 0x0F;
          break;
        default:
          Index = Row[X];
          break;
      }
      if (Index >= Table.size()) return {};
      const RGBQUAD Q = Table[Index];
      Out.insert(Out.end(), {Q.rgbRed, Q.rgbGreen, Q.rgbBlue});
    }
  }
  return Out;
}

class Corpus : public bigbitmaptest::LeakCheckedTest,
               public testing::WithParamInterface<TCorpusFile> {};

TEST_P(Corpus, AcceptedFilesGiveTheReferencePixelsAlsoAfterSaveAndReload) {
  const TCorpusFile& C = GetParam();
  if (C.Expected.empty()) GTEST_SKIP() << "no BMP corpus at " << CorpusFolder.string();
  const std::string Path = (CorpusFolder / C.File).string();

  TBigBitmap B;
  if (C.Expected != "accept") {
    EXPECT_ANY_THROW(B.LoadFromFile(Path));
    return;
  }
  ASSERT_NO_THROW(B.LoadFromFile(Path)) << C.File;
  ASSERT_EQ(B.GetWidth(), C.Width);
  ASSERT_EQ(B.GetHeight(), std::abs(C.Height));
  const Bytes Reference = testsupport::ReadFileBytes((CorpusFolder / C.Pixels).string());
  EXPECT_TRUE(RgbOf(B) == Reference) << C.File << ": pixels differ from the reference";

  TMemoryStream Saved;
  B.SaveToStream(Saved);
  Saved.SetPosition(0);
  TBigBitmap Again;
  Again.LoadFromStream(Saved);
  EXPECT_EQ(Again.GetPixelFormat(), B.GetPixelFormat());
  EXPECT_TRUE(RgbOf(Again) == Reference) << C.File << ": pixels differ after save and reload";
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, testing::ValuesIn(ReadManifest()), [](const auto& info) {
  std::string name;
  for (char ch : info.param.File) {
    if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
  }
  return name.empty() ? std::string("Missing") : name;
});

}  // namespace
