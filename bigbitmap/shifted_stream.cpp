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
  const std::int64_t Left = static_cast<std::int64_t>(FHeaderSize) + FDataSize - FPosition;
  // The position stays within 32 bits even when the two blocks together do not.
  const std::int64_t Room = std::numeric_limits<std::int32_t>::max() - FPosition;
  const std::int64_t N = std::min({static_cast<std::int64_t>(Count), Left, Room});
  return N > 0 ? static_cast<std::int32_t>(N) : 0;
}

void TShiftedMemoryStream::Locate(std::int32_t Count, TPiece& First, TPiece& Rest) const {
  if (FPosition >= FHeaderSize) {
    First = {FData + (FPosition - FHeaderSize), Count};
    Rest = {nullptr, 0};
  } else {
    const std::int32_t InHeader = std::min(Count, FHeaderSize - FPosition);
    First = {FHeader + FPosition, InHeader};
    Rest = {FData, Count - InHeader};
  }
}

std::int32_t TShiftedMemoryStream::Read(void* Buffer, std::int32_t Count) {
  const std::int32_t N = Span(Count);
  if (N <= 0) return 0;
  TPiece First, Rest;
  Locate(N, First, Rest);
  auto* Out = static_cast<std::uint8_t*>(Buffer);
  std::memcpy(Out, First.Bytes, static_cast<std::size_t>(First.Count));
  if (Rest.Count > 0) {
    std::memcpy(Out + First.Count, Rest.Bytes, static_cast<std::size_t>(Rest.Count));
  }
  FPosition += N;
  return N;
}

std::int32_t TShiftedMemoryStream::Write(const void* Buffer, std::int32_t Count) {
  const std::int32_t N = Span(Count);
  if (N <= 0) return 0;
  TPiece First, Rest;
  Locate(N, First, Rest);
  const auto* In = static_cast<const std::uint8_t*>(Buffer);
  std::memcpy(First.Bytes, In, static_cast<std::size_t>(First.Count));
  if (Rest.Count > 0) {
    std::memcpy(Rest.Bytes, In + First.Count, static_cast<std::size_t>(Rest.Count));
  }
  FPosition += N;
  return N;
}

std::int32_t TShiftedMemoryStream::Seek(std::int32_t Offset, std::uint16_t Origin) {
  // Sums wrap around as 32-bit two's complement numbers instead of overflowing.
  const auto Wrap = [](std::int64_t V) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(V));
  };
  switch (Origin) {
    case soFromBeginning:
      FPosition = Offset;
      break;
    case soFromCurrent:
      FPosition = Wrap(static_cast<std::int64_t>(FPosition) + Offset);
      break;
    case soFromEnd:
      FPosition = Wrap(static_cast<std::int64_t>(Offset) + FHeaderSize + FDataSize);
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
