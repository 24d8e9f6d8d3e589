// Fuzzes BMP loading: whatever loads must save, reload to the same image and save to the same
// bytes again; whatever does not load must fail with one of the system's exceptions.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bigbitmap/bigbitmap.h"
#include "platform/exceptions.h"
#include "platform/streams.h"

namespace {

// Images whose pixels would need more than this are skipped: the loader would have to build
// them (an RLE file of a few bytes may rightly describe a huge image), which tests the
// allocator, not the reader.
constexpr std::int64_t kMaxImageBytes = 4 << 20;

std::uint32_t Le(const std::uint8_t* p, int n) {
  std::uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

bool SmallEnough(const std::uint8_t* Data, std::size_t Size) {
  if (Size < 30) return true;  // fails in the headers
  std::int64_t w, h;
  if (Le(Data + 14, 4) == 12) {
    w = Le(Data + 18, 2);
    h = Le(Data + 20, 2);
  } else {
    w = std::abs(static_cast<std::int64_t>(static_cast<std::int32_t>(Le(Data + 18, 4))));
    h = std::abs(static_cast<std::int64_t>(static_cast<std::int32_t>(Le(Data + 22, 4))));
  }
  // Both are below 2^32: compare without forming a product that could overflow.
  return w == 0 || h <= kMaxImageBytes / 4 / w;
}

void Write(TBigBitmap& b, TMemoryStream& s) {
  b.SaveToStream(s);
  s.SetPosition(0);
}

bool SameImage(TBigBitmap& a, TBigBitmap& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() ||
      a.GetPixelFormat() != b.GetPixelFormat()) {
    return false;
  }
  const std::int64_t stride =
      TBigBitmap::RowStride(a.GetWidth(), TBigBitmap::GetPixelBits(a.GetPixelFormat()));
  for (std::int32_t y = 0; y < a.GetHeight(); ++y) {
    if (std::memcmp(a.GetScanline(y), b.GetScanline(y), static_cast<std::size_t>(stride)) != 0) {
      return false;
    }
  }
  return a.Bitmaps().front()->ColorTable().size() == b.Bitmaps().front()->ColorTable().size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (!SmallEnough(Data, Size)) return 0;
  TMemoryStream In;
  if (Size > 0) In.WriteBuffer(Data, static_cast<std::int32_t>(Size));
  In.SetPosition(0);

  TBigBitmap First;
  try {
    First.LoadFromStream(In);
  } catch (const Exception&) {
    if (!First.GetEmpty()) std::abort();  // a failed load must leave the bitmap as it was
    return 0;
  }

  TMemoryStream Saved;
  Write(First, Saved);
  TBigBitmap Second;
  Second.LoadFromStream(Saved);  // a saved image must always load again
  if (!SameImage(First, Second)) std::abort();

  TMemoryStream SavedAgain;
  Write(Second, SavedAgain);
  if (Saved.GetSize() != SavedAgain.GetSize() ||
      std::memcmp(Saved.Memory(), SavedAgain.Memory(), static_cast<std::size_t>(Saved.GetSize())) !=
          0) {
    std::abort();
  }
  return 0;
}
