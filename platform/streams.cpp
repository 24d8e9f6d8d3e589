#include "platform/streams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/exceptions.h"

std::int64_t TStream::GetSize() {
  const std::int64_t Pos = Seek(0, soFromCurrent);
  const std::int64_t Size = Seek(0, soFromEnd);
  Seek(Pos, soFromBeginning);
  return Size;
}

void TStream::SetSize(std::int64_t) {}

void TStream::ReadBuffer(void* Buffer, std::int32_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError();
}

void TStream::WriteBuffer(const void* Buffer, std::int32_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError();
}

namespace {
constexpr std::int64_t LargePiece = std::int64_t{1} << 30;
}

void TStream::ReadBufferLarge(void* Buffer, std::int64_t Count) {
  auto* P = static_cast<std::uint8_t*>(Buffer);
  for (std::int64_t Done = 0; Done < Count;) {
    const auto N = static_cast<std::int32_t>(std::min(Count - Done, LargePiece));
    ReadBuffer(P + Done, N);
    Done += N;
  }
}

void TStream::WriteBufferLarge(const void* Buffer, std::int64_t Count) {
  const auto* P = static_cast<const std::uint8_t*>(Buffer);
  for (std::int64_t Done = 0; Done < Count;) {
    const auto N = static_cast<std::int32_t>(std::min(Count - Done, LargePiece));
    WriteBuffer(P + Done, N);
    Done += N;
  }
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count) {
  if (Count <= 0) {
    Source.SetPosition(0);
    Count = Source.GetSize();
  }
  constexpr std::int32_t Chunk = 1 << 20;
  std::vector<std::uint8_t> Buffer(static_cast<std::size_t>(std::min<std::int64_t>(Count, Chunk)));
  std::int64_t Left = Count;
  while (Left > 0) {
    const auto N = static_cast<std::int32_t>(std::min<std::int64_t>(Left, Chunk));
    Source.ReadBuffer(Buffer.data(), N);
    WriteBuffer(Buffer.data(), N);
    Left -= N;
  }
  return Count;
}

std::int64_t TStream::Remaining() {
  const std::int64_t Pos = GetPosition();
  const std::int64_t Size = GetSize();
  return Size > Pos ? Size - Pos : 0;
}

// ---------------------------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& FileName, std::uint16_t Mode) : FFileName(FileName) {
  // fmCreate fills the whole high byte, so it may come combined with a share mode.
  if ((Mode & fmCreate) == fmCreate) {
    FHandle = OsCreateFile(FileName);
    if (FHandle == OsNoFile) throw EFCreateError(FileName);
    return;
  }
  const TOsAccess Access = (Mode & 0x3) == fmOpenWrite       ? TOsAccess::Write
                           : (Mode & 0x3) == fmOpenReadWrite ? TOsAccess::ReadWrite
                                                             : TOsAccess::Read;
  FHandle = OsOpenFile(FileName, Access, (Mode & 0xF0) == fmShareDenyWrite);
  if (FHandle == OsNoFile) throw EFOpenError(FileName);
}

TFileStream::TFileStream(TOsFile Handle, const std::string& FileName)
    : FFileName(FileName), FHandle(Handle) {}

TFileStream::~TFileStream() { OsCloseFile(FHandle); }

std::int32_t TFileStream::Read(void* Buffer, std::int32_t Count) {
  if (Count <= 0) return 0;
  return static_cast<std::int32_t>(OsReadFile(FHandle, Buffer, Count));
}

std::int32_t TFileStream::Write(const void* Buffer, std::int32_t Count) {
  if (Count <= 0) return 0;
  return static_cast<std::int32_t>(OsWriteFile(FHandle, Buffer, Count));
}

std::int64_t TFileStream::Seek(std::int64_t Offset, std::uint16_t Origin) {
  const TOsSeek OsOrigin = Origin == soFromCurrent ? TOsSeek::Current
                         : Origin == soFromEnd   ? TOsSeek::End
                                                 : TOsSeek::Begin;
  const std::int64_t R = OsSeekFile(FHandle, Offset, OsOrigin);
  return R < 0 ? OsSeekFile(FHandle, 0, TOsSeek::Current) : R;
}

std::int64_t TFileStream::GetSize() {
  const std::int64_t Size = OsFileSizeOf(FHandle);
  return Size < 0 ? TStream::GetSize() : Size;
}

void TFileStream::SetSize(std::int64_t NewSize) {
  if (!OsTruncateFile(FHandle, NewSize)) throw EWriteError();
  if (GetPosition() > NewSize) SetPosition(NewSize);
}

void TFileStream::Flush() {
  if (!OsFlushFile(FHandle)) throw EWriteError();
}

// ---------------------------------------------------------------------------------------------

TMemoryStream::~TMemoryStream() {
  std::free(FMemory);
}

void TMemoryStream::Reserve(std::int64_t Capacity) {
  if (Capacity <= FCapacity) return;
  std::int64_t Grown = std::max<std::int64_t>(Capacity, FCapacity + FCapacity / 2);
  Grown = (Grown + 0xFFF) & ~std::int64_t{0xFFF};
  void* P = std::realloc(FMemory, static_cast<std::size_t>(Grown));
  if (P == nullptr) throw EOutOfMemory();
  FMemory = static_cast<std::uint8_t*>(P);
  FCapacity = Grown;
}

std::int32_t TMemoryStream::Read(void* Buffer, std::int32_t Count) {
  if (Count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
  const auto N = static_cast<std::int32_t>(std::min<std::int64_t>(Count, FSize - FPosition));
  std::memcpy(Buffer, FMemory + FPosition, static_cast<std::size_t>(N));
  FPosition += N;
  return N;
}

std::int32_t TMemoryStream::Write(const void* Buffer, std::int32_t Count) {
  if (Count <= 0 || FPosition < 0) return 0;
  const std::int64_t End = FPosition + Count;
  if (End > FSize) {
    Reserve(End);
    if (FPosition > FSize)
      std::memset(FMemory + FSize, 0, static_cast<std::size_t>(FPosition - FSize));
    FSize = End;
  }
  std::memcpy(FMemory + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition = End;
  return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, std::uint16_t Origin) {
  switch (Origin) {
    case soFromBeginning:
      FPosition = Offset;
      break;
    case soFromCurrent:
      FPosition += Offset;
      break;
    case soFromEnd:
      FPosition = FSize + Offset;
      break;
    default:
      break;
  }
  return FPosition;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0) throw ERangeError();
  if (NewSize > FSize) {
    Reserve(NewSize);
    std::memset(FMemory + FSize, 0, static_cast<std::size_t>(NewSize - FSize));
  }
  FSize = NewSize;
  if (FPosition > FSize) FPosition = FSize;
}

void TMemoryStream::Clear() {
  std::free(FMemory);
  FMemory = nullptr;
  FSize = FCapacity = FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  // Read into a block of its own and install it only once every byte has arrived, so that a
  // failed load leaves the stream as it was.
  Stream.SetPosition(0);
  const std::int64_t Size = Stream.GetSize();
  const std::int64_t Capacity = (Size + 0xFFF) & ~std::int64_t{0xFFF};
  auto* Block = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(Capacity)));
  if (Block == nullptr && Capacity > 0) throw EOutOfMemory();
  try {
    Stream.ReadBufferLarge(Block, Size);
  } catch (...) {
    std::free(Block);
    throw;
  }
  std::free(FMemory);
  FMemory = Block;
  FSize = Size;
  FCapacity = Capacity;
  FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& Stream) {
  Stream.WriteBufferLarge(FMemory, FSize);
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream File(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(File);
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream File(FileName, fmCreate);
  SaveToStream(File);
}
