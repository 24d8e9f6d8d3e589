// Fuzzes the BI_RLE8 decoder with arbitrary compressed data.

#include "fuzz/fuzz_rle_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  return fuzzrle::Run(Data, Size, 8, BI_RLE8, Convert8BitRLETo8BitRGB);
}
