#pragma once

// A stream over two separate memory blocks that reads and writes as if they were one: stream
// position p addresses header byte p while p < HeaderSize, and data byte p - HeaderSize after
// that. It lets the BMP stream code run over a packed DIB (a clipboard block, which has no
// file header) with a 14-byte file header kept aside, without copying the image.
//
// The stream owns neither block; both must outlive it. Its size is HeaderSize + DataSize and
// never changes: a read or write moves at most what lies between the position and the end.
// The position is 32-bit and may be set anywhere, also below 0 or past the end; a transfer at
// a negative position or with a negative count moves nothing.

#include <cstdint>

#include "platform/streams.h"

class TShiftedMemoryStream : public TStream {
 public:
  TShiftedMemoryStream(void* Header, std::int32_t HeaderSize, void* Data, std::int32_t DataSize);

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  // The new position, not clamped. Origin soFromBeginning, soFromCurrent or soFromEnd; any
  // other origin leaves the position as it is. Positions wrap around in 32 bits.
  std::int32_t Seek(std::int32_t Offset, std::uint16_t Origin);
  // Through the 32-bit Seek; an offset outside the 32-bit range raises ERangeError.
  std::int64_t Seek(std::int64_t Offset, std::uint16_t Origin) override;
  std::int64_t GetSize() override;
  // The size is fixed: nothing happens.
  void SetSize(std::int64_t NewSize) override;

 private:
  // The number of bytes a transfer of Count bytes at the current position moves.
  std::int32_t Span(std::int32_t Count) const;
  // Where the Count bytes from the current position lie: First in the block the position is
  // in, Rest (possibly empty) at the start of the data block.
  struct TPiece {
    std::uint8_t* Bytes;
    std::int32_t Count;
  };
  void Locate(std::int32_t Count, TPiece& First, TPiece& Rest) const;

  std::uint8_t* FHeader;
  std::int32_t FHeaderSize;
  std::uint8_t* FData;
  std::int32_t FDataSize;
  std::int32_t FPosition = 0;
};
