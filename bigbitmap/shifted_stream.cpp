#include "bigbitmap/shifted_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/exceptions.h"

TShiftedMemoryStream::TShiftedMemoryStream(void* Header, std::int32_t HeaderSize, void* Data,
                                           std::int32_t DataSize)
    : FHeader(static_cast<std::uint8_t*>(Header)),
      FHeaderSize(std::max<std::int32_t>(HeaderSize, 0)),
      FData(static_cast<std::uint8_t*>(Data)),
      FDataSize(std::max<std::int32_t>(DataSize, 0)) {}

std::int64_t TShiftedMemoryStream::GetSize() {
  return static_cast<std::int64_t>(FHeaderSize) + FDataSize;
}

void TShiftedMemoryStream::SetSize(std::int64_t) {}

std::int32_t TShiftedMemoryStream::Span(std::int32_t Count) const {
  if (FPosition < 0 || Count < 0) return 0;
  const std::int64_t left = static_cast<std::int64_t>(FHeaderSize) + FDataSize - FPosition;
  // The position stays within 32 bits even when the two blocks together do not.
  const std::int64_t room = std::numeric_limits<std::int32_t>::max() - FPosition;
  const std::int64_t n = std::min({static_cast<std::int64_t>(Count), left, room});
  return n > 0 ? static_cast<std::int32_t>(n) : 0;
}

void TShiftedMemoryStream::Locate(std::int32_t Count, TPiece& First, TPiece& Rest) const {
  if (FPosition >= FHeaderSize) {
    First = {FData + (FPosition - FHeaderSize), Count};
    Rest = {nullptr, 0};
  } else {
    const std::int32_t inHeader = std::min(Count, FHeaderSize - FPosition);
    First = {FHeader + FPosition, inHeader};
    Rest = {FData, Count - inHeader};
  }
}

std::int32_t TShiftedMemoryStream::Read(void* Buffer, std::int32_t Count) {
  const std::int32_t n = Span(Count);
  if (n <= 0) return 0;
  TPiece first, rest;
  Locate(n, first, rest);
  auto* out = static_cast<std::uint8_t*>(Buffer);
  std::memcpy(out, first.Bytes, static_cast<std::size_t>(first.Count));
  if (rest.Count > 0) {
    std::memcpy(out + first.Count, rest.Bytes, static_cast<std::size_t>(rest.Count));
  }
  FPosition += n;
  return n;
}

std::int32_t TShiftedMemoryStream::Write(const void* Buffer, std::int32_t Count) {
  const std::int32_t n = Span(Count);
  if (n <= 0) return 0;
  TPiece first, rest;
  Locate(n, first, rest);
  const auto* in = static_cast<const std::uint8_t*>(Buffer);
  std::memcpy(first.Bytes, in, static_cast<std::size_t>(first.Count));
  if (rest.Count > 0) {
    std::memcpy(rest.Bytes, in + first.Count, static_cast<std::size_t>(rest.Count));
  }
  FPosition += n;
  return n;
}

std::int32_t TShiftedMemoryStream::Seek(std::int32_t Offset, std::uint16_t Origin) {
  // Sums wrap around as 32-bit two's complement numbers instead of overflowing.
  const auto wrap = [](std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  };
  switch (Origin) {
    case soFromBeginning:
      FPosition = Offset;
      break;
    case soFromCurrent:
      FPosition = wrap(static_cast<std::int64_t>(FPosition) + Offset);
      break;
    case soFromEnd:
      FPosition = wrap(static_cast<std::int64_t>(Offset) + FHeaderSize + FDataSize);
      break;
    default:
      break;
  }
  return FPosition;
}

std::int64_t TShiftedMemoryStream::Seek(std::int64_t Offset, std::uint16_t Origin) {
  if (Offset < std::numeric_limits<std::int32_t>::min() ||
      Offset > std::numeric_limits<std::int32_t>::max()) {
    throw ERangeError();
  }
  return Seek(static_cast<std::int32_t>(Offset), Origin);
}
