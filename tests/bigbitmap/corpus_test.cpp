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

struct CorpusFile {
  std::string file;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::string expected;  // "accept" or "reject"
  std::string pixels;
};

const std::filesystem::path kCorpus = VELDRIN_CORPUS_DIR;

std::vector<CorpusFile> ReadManifest() {
  std::vector<CorpusFile> files;
  std::ifstream in(kCorpus / "manifest.tsv");
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::istringstream fields(line);
    CorpusFile f;
    std::string bits, compression, header;
    std::getline(fields, f.file, '\t');
    fields >> f.width >> f.height >> bits >> compression >> header >> f.expected >> f.pixels;
    files.push_back(f);
  }
  // Without the corpus one placeholder case reports the skip.
  if (files.empty()) files.push_back(CorpusFile{"(corpus missing)", 0, 0, "", ""});
  return files;
}

// The image as R, G, B per pixel, top row first: palette images through the colour table of the
// band that holds each row. An index outside the table gives an empty result.
Bytes RgbOf(TBigBitmap& b) {
  Bytes out;
  out.reserve(static_cast<std::size_t>(b.GetWidth()) * b.GetHeight() * 3);
  const std::int32_t bandRows = b.Bitmaps().front()->GetHeight();
  const int bits = TBigBitmap::GetPixelBits(b.GetPixelFormat());
  for (std::int32_t y = 0; y < b.GetHeight(); ++y) {
    const auto* row = static_cast<const std::uint8_t*>(b.GetScanline(y));
    const std::vector<RGBQUAD>& table =
        b.Bitmaps()[static_cast<std::size_t>(y / bandRows)]->ColorTable();
    for (std::int32_t x = 0; x < b.GetWidth(); ++x) {
      if (bits == 24) {
        out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        continue;
      }
      unsigned index = 0;
      switch (bits) {
        case 1:
          index = (row[x >> 3] >> (7 - (x & 7))) & 1;
          break;
        case 4:
          index = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
          break;
        default:
          index = row[x];
          break;
      }
      if (index >= table.size()) return {};
      const RGBQUAD q = table[index];
      out.insert(out.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue});
    }
  }
  return out;
}

class Corpus : public bigbitmaptest::LeakCheckedTest,
               public testing::WithParamInterface<CorpusFile> {};

TEST_P(Corpus, AcceptedFilesGiveTheReferencePixelsAlsoAfterSaveAndReload) {
  const CorpusFile& c = GetParam();
  if (c.expected.empty()) GTEST_SKIP() << "no BMP corpus at " << kCorpus.string();
  const std::string path = (kCorpus / c.file).string();

  TBigBitmap b;
  if (c.expected != "accept") {
    EXPECT_ANY_THROW(b.LoadFromFile(path));
    return;
  }
  ASSERT_NO_THROW(b.LoadFromFile(path)) << c.file;
  ASSERT_EQ(b.GetWidth(), c.width);
  ASSERT_EQ(b.GetHeight(), std::abs(c.height));
  const Bytes reference = testsupport::ReadFileBytes((kCorpus / c.pixels).string());
  EXPECT_TRUE(RgbOf(b) == reference) << c.file << ": pixels differ from the reference";

  TMemoryStream saved;
  b.SaveToStream(saved);
  saved.SetPosition(0);
  TBigBitmap again;
  again.LoadFromStream(saved);
  EXPECT_EQ(again.GetPixelFormat(), b.GetPixelFormat());
  EXPECT_TRUE(RgbOf(again) == reference) << c.file << ": pixels differ after save and reload";
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, testing::ValuesIn(ReadManifest()), [](const auto& info) {
  std::string name;
  for (char ch : info.param.file) {
    if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
  }
  return name.empty() ? std::string("Missing") : name;
});

}  // namespace
