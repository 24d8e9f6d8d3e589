#include "platform/clipboard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/globalmem.h"

namespace {

HGLOBAL BlockWith(std::uint8_t Value, std::size_t Size = 16) {
  const HGLOBAL H = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, Size);
  std::memset(GlobalLock(H), Value, Size);
  GlobalUnlock(H);
  return H;
}

std::uint8_t FirstByte(HGLOBAL H) {
  const auto* P = static_cast<const std::uint8_t*>(GlobalLock(H));
  const std::uint8_t V = P ? P[0] : 0;
  GlobalUnlock(H);
  return V;
}

HPALETTE SmallPalette() {
  LOGPALETTE Lp{};
  Lp.palVersion = 0x300;
  Lp.palNumEntries = 2;
  Lp.palPalEntry[1] = {255, 255, 255, 0};
  return CreatePalette(&Lp);
}

// A picture whose clipboard form is a fresh block (and optionally a palette), or an error.
class TFakeGraphic : public TGraphic {
 public:
  bool GetEmpty() const override { return false; }
  std::int32_t GetWidth() const override { return 1; }
  std::int32_t GetHeight() const override { return 1; }
  void SetWidth(std::int32_t) override {}
  void SetHeight(std::int32_t) override {}
  void LoadFromStream(TStream&) override {}
  void SaveToStream(TStream&) override {}
  void SaveToClipboardFormat(std::uint16_t& AFormat, THandle& AData, HPALETTE& APalette) override {
    if (Fail) throw std::runtime_error("cannot render");
    AFormat = CF_DIB;
    AData = BlockWith(Fill);
    if (WithPalette) APalette = SmallPalette();
  }

  bool Fail = false;
  bool WithPalette = false;
  std::uint8_t Fill = 0x11;

 protected:
  void Draw(TCanvas&, const TRect&) override {}
};

class RecordingHook : public TClipboardHook {
 public:
  HGLOBAL Fetch(std::uint16_t Format) override {
    Fetched.push_back(Format);
    return Format == CF_TEXT ? BlockWith('x') : 0;
  }
  void Stored(std::uint16_t Format, THandle) override { StoredFormats.push_back(Format); }
  void Cleared() override { ++Clears; }

  std::vector<std::uint16_t> Fetched;
  std::vector<std::uint16_t> StoredFormats;
  int Clears = 0;
};

class ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FBlocks = LiveGlobalBlocks();
    FPalettes = LivePaletteCount();
  }
  // Everything a clipboard took over is freed with it.
  void ExpectNothingLeaked() {
    EXPECT_EQ(LiveGlobalBlocks(), FBlocks);
    EXPECT_EQ(LivePaletteCount(), FPalettes);
  }

 private:
  int FBlocks = 0;
  int FPalettes = 0;
};

TEST_F(ClipboardTest, StoresBlocksByFormatAndEmptiesItselfOnTheFirstStoreOfASession) {
  {
    TClipboard Cb;
    EXPECT_EQ(Cb.GetAsHandle(CF_DIB), 0u);
    Cb.Open();
    Cb.SetAsHandle(CF_DIB, BlockWith(1));
    Cb.SetAsHandle(CF_TEXT, BlockWith(2));
    Cb.SetAsHandle(CF_DIB, BlockWith(3));  // same session: replaces only CF_DIB
    Cb.Close();
    EXPECT_FALSE(Cb.IsOpen());
    EXPECT_EQ(FirstByte(Cb.GetAsHandle(CF_DIB)), 3);
    EXPECT_EQ(FirstByte(Cb.GetAsHandle(CF_TEXT)), 2);
    EXPECT_TRUE(Cb.HasFormat(CF_TEXT));
    EXPECT_FALSE(Cb.HasFormat(CF_BITMAP));

    Cb.SetAsHandle(CF_BITMAP, BlockWith(4));  // a session of its own: the rest goes
    EXPECT_EQ(Cb.GetAsHandle(CF_TEXT), 0u);
    EXPECT_EQ(Cb.GetAsHandle(CF_DIB), 0u);
    EXPECT_NE(Cb.GetAsHandle(CF_BITMAP), 0u);
  }
  ExpectNothingLeaked();
}

TEST_F(ClipboardTest, AssigningAPictureStoresItsDataAndPaletteTogether) {
  {
    TClipboard Cb;
    Cb.SetAsHandle(CF_TEXT, BlockWith(9));
    TFakeGraphic Picture;
    Picture.WithPalette = true;
    Cb.Assign(&Picture);
    EXPECT_FALSE(Cb.IsOpen());
    EXPECT_EQ(FirstByte(Cb.GetAsHandle(CF_DIB)), 0x11);
    EXPECT_NE(Cb.GetAsHandle(CF_PALETTE), 0u);
    EXPECT_EQ(Cb.GetAsHandle(CF_TEXT), 0u) << "an assignment replaces the whole content";

    Picture.WithPalette = false;
    Picture.Fill = 0x22;
    Cb.Assign(&Picture);
    EXPECT_EQ(FirstByte(Cb.GetAsHandle(CF_DIB)), 0x22);
    EXPECT_EQ(Cb.GetAsHandle(CF_PALETTE), 0u);
  }
  ExpectNothingLeaked();
}

TEST_F(ClipboardTest, FailedPictureAssignmentKeepsTheContentAndClosesTheClipboard) {
  TClipboard Cb;
  Cb.SetAsHandle(CF_DIB, BlockWith(7));
  TFakeGraphic Picture;
  Picture.Fail = true;
  EXPECT_THROW(Cb.Assign(&Picture), std::runtime_error);
  EXPECT_FALSE(Cb.IsOpen());
  EXPECT_EQ(FirstByte(Cb.GetAsHandle(CF_DIB)), 7);
}

TEST_F(ClipboardTest, HookSuppliesMissingFormatsAndHearsEveryChange) {
  {
    RecordingHook Hook;
    TClipboard Cb;
    Cb.SetHook(&Hook);
    const THandle Text = Cb.GetAsHandle(CF_TEXT);
    EXPECT_EQ(FirstByte(Text), 'x');
    EXPECT_EQ(Cb.GetAsHandle(CF_TEXT), Text) << "a fetched block is kept, not fetched again";
    EXPECT_EQ(Cb.GetAsHandle(CF_DIB), 0u);
    EXPECT_EQ(Hook.Fetched, (std::vector<std::uint16_t>{CF_TEXT, CF_DIB}));

    TFakeGraphic Picture;
    Picture.WithPalette = true;
    Cb.Assign(&Picture);
    EXPECT_EQ(Hook.Clears, 1);
    EXPECT_EQ(Hook.StoredFormats, (std::vector<std::uint16_t>{CF_DIB, CF_PALETTE}));
    Cb.SetHook(nullptr);
  }
  ExpectNothingLeaked();
}

// The outside clipboard cannot be emptied (another program holds it): the store fails, and the
// block and palette handed over are freed all the same.
TEST_F(ClipboardTest, AStoreThatTheHookRefusesFreesWhatItWasHanded) {
  class TRefusingHook : public RecordingHook {
    void Cleared() override { throw std::runtime_error("busy"); }
  } Hook;
  {
    TClipboard Cb;
    Cb.SetHook(&Hook);
    TFakeGraphic Picture;
    Picture.WithPalette = true;
    EXPECT_THROW(Cb.Assign(&Picture), std::runtime_error);
    EXPECT_FALSE(Cb.IsOpen());
    Cb.SetHook(nullptr);
  }
  ExpectNothingLeaked();
}

}  // namespace
