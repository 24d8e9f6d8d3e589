#include "platform/clipboard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/globalmem.h"

namespace {

HGLOBAL BlockWith(std::uint8_t Value, std::size_t Size = 16) {
  const HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, Size);
  std::memset(GlobalLock(h), Value, Size);
  GlobalUnlock(h);
  return h;
}

std::uint8_t FirstByte(HGLOBAL h) {
  const auto* p = static_cast<const std::uint8_t*>(GlobalLock(h));
  const std::uint8_t v = p ? p[0] : 0;
  GlobalUnlock(h);
  return v;
}

HPALETTE SmallPalette() {
  LOGPALETTE lp{};
  lp.palVersion = 0x300;
  lp.palNumEntries = 2;
  lp.palPalEntry[1] = {255, 255, 255, 0};
  return CreatePalette(&lp);
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
    blocks_ = LiveGlobalBlocks();
    palettes_ = LivePaletteCount();
  }
  // Everything a clipboard took over is freed with it.
  void ExpectNothingLeaked() {
    EXPECT_EQ(LiveGlobalBlocks(), blocks_);
    EXPECT_EQ(LivePaletteCount(), palettes_);
  }

 private:
  int blocks_ = 0;
  int palettes_ = 0;
};

TEST_F(ClipboardTest, StoresBlocksByFormatAndEmptiesItselfOnTheFirstStoreOfASession) {
  {
    TClipboard cb;
    EXPECT_EQ(cb.GetAsHandle(CF_DIB), 0u);
    cb.Open();
    cb.SetAsHandle(CF_DIB, BlockWith(1));
    cb.SetAsHandle(CF_TEXT, BlockWith(2));
    cb.SetAsHandle(CF_DIB, BlockWith(3));  // same session: replaces only CF_DIB
    cb.Close();
    EXPECT_FALSE(cb.IsOpen());
    EXPECT_EQ(FirstByte(cb.GetAsHandle(CF_DIB)), 3);
    EXPECT_EQ(FirstByte(cb.GetAsHandle(CF_TEXT)), 2);
    EXPECT_TRUE(cb.HasFormat(CF_TEXT));
    EXPECT_FALSE(cb.HasFormat(CF_BITMAP));

    cb.SetAsHandle(CF_BITMAP, BlockWith(4));  // a session of its own: the rest goes
    EXPECT_EQ(cb.GetAsHandle(CF_TEXT), 0u);
    EXPECT_EQ(cb.GetAsHandle(CF_DIB), 0u);
    EXPECT_NE(cb.GetAsHandle(CF_BITMAP), 0u);
  }
  ExpectNothingLeaked();
}

TEST_F(ClipboardTest, AssigningAPictureStoresItsDataAndPaletteTogether) {
  {
    TClipboard cb;
    cb.SetAsHandle(CF_TEXT, BlockWith(9));
    TFakeGraphic picture;
    picture.WithPalette = true;
    cb.Assign(&picture);
    EXPECT_FALSE(cb.IsOpen());
    EXPECT_EQ(FirstByte(cb.GetAsHandle(CF_DIB)), 0x11);
    EXPECT_NE(cb.GetAsHandle(CF_PALETTE), 0u);
    EXPECT_EQ(cb.GetAsHandle(CF_TEXT), 0u) << "an assignment replaces the whole content";

    picture.WithPalette = false;
    picture.Fill = 0x22;
    cb.Assign(&picture);
    EXPECT_EQ(FirstByte(cb.GetAsHandle(CF_DIB)), 0x22);
    EXPECT_EQ(cb.GetAsHandle(CF_PALETTE), 0u);
  }
  ExpectNothingLeaked();
}

TEST_F(ClipboardTest, FailedPictureAssignmentKeepsTheContentAndClosesTheClipboard) {
  TClipboard cb;
  cb.SetAsHandle(CF_DIB, BlockWith(7));
  TFakeGraphic picture;
  picture.Fail = true;
  EXPECT_THROW(cb.Assign(&picture), std::runtime_error);
  EXPECT_FALSE(cb.IsOpen());
  EXPECT_EQ(FirstByte(cb.GetAsHandle(CF_DIB)), 7);
}

TEST_F(ClipboardTest, HookSuppliesMissingFormatsAndHearsEveryChange) {
  {
    RecordingHook hook;
    TClipboard cb;
    cb.SetHook(&hook);
    const THandle text = cb.GetAsHandle(CF_TEXT);
    EXPECT_EQ(FirstByte(text), 'x');
    EXPECT_EQ(cb.GetAsHandle(CF_TEXT), text) << "a fetched block is kept, not fetched again";
    EXPECT_EQ(cb.GetAsHandle(CF_DIB), 0u);
    EXPECT_EQ(hook.Fetched, (std::vector<std::uint16_t>{CF_TEXT, CF_DIB}));

    TFakeGraphic picture;
    picture.WithPalette = true;
    cb.Assign(&picture);
    EXPECT_EQ(hook.Clears, 1);
    EXPECT_EQ(hook.StoredFormats, (std::vector<std::uint16_t>{CF_DIB, CF_PALETTE}));
    cb.SetHook(nullptr);
  }
  ExpectNothingLeaked();
}

// The outside clipboard cannot be emptied (another program holds it): the store fails, and the
// block and palette handed over are freed all the same.
TEST_F(ClipboardTest, AStoreThatTheHookRefusesFreesWhatItWasHanded) {
  class TRefusingHook : public RecordingHook {
    void Cleared() override { throw std::runtime_error("busy"); }
  } hook;
  {
    TClipboard cb;
    cb.SetHook(&hook);
    TFakeGraphic picture;
    picture.WithPalette = true;
    EXPECT_THROW(cb.Assign(&picture), std::runtime_error);
    EXPECT_FALSE(cb.IsOpen());
    cb.SetHook(nullptr);
  }
  ExpectNothingLeaked();
}

}  // namespace
