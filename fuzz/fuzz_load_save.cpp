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
constexpr std::int64_t MaxImageBytes = 4 << 20;

std::uint32_t Le(const std::uint8_t* P, int N) {
  std::uint32_t V = 0;
  for (int I = N - 1; I >= 0; --I) V = (V << 8) | P[I];
  return V;
}

bool SmallEnough(const std::uint8_t* Data, std::size_t Size) {
  if (Size < 30) return true;  // fails in the headers
  std::int64_t W, H;
  if (Le(Data + 14, 4) == 12) {
    W = Le(Data + 18, 2);
    H = Le(Data + 20, 2);
  } else {
    W = std::abs(static_cast<std::int64_t>(static_cast<std::int32_t>(Le(Data + 18, 4))));
    H = std::abs(static_cast<std::int64_t>(static_cast<std::int32_t>(Le(Data + 22, 4))));
  }
  // Both are below 2^32: compare without forming a product that could overflow.
  return W == 0 || H <= MaxImageBytes / 4 / W;
}

void Write(TBigBitmap& B, TMemoryStream& S) {
  B.SaveToStream(S);
  S.SetPosition(0);
}

bool SameImage(TBigBitmap& A, TBigBitmap& B) {
  if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight() ||
      A.GetPixelFormat() != B.GetPixelFormat()) {
    return false;
  }
  const std::int64_t Stride =
      TBigBitmap::RowStride(A.GetWidth(), TBigBitmap::GetPixelBits(A.GetPixelFormat()));
  for (std::int32_t Y = 0; Y < A.GetHeight(); ++Y) {
    if (std::memcmp(A.GetScanline(Y), B.GetScanline(Y), static_cast<std::size_t>(Stride)) != 0) {
      return false;
    }
  }
  return A.Bitmaps().front()->ColorTable().size() == B.Bitmaps().front()->ColorTable().size();
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
