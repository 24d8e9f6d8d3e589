#include "platform/streams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/exceptions.h"

std::int64_t TStream::GetSize() {
  const std::int64_t pos = Seek(0, soFromCurrent);
  const std::int64_t size = Seek(0, soFromEnd);
  Seek(pos, soFromBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) {}

void TStream::ReadBuffer(void* Buffer, std::int32_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError();
}

void TStream::WriteBuffer(const void* Buffer, std::int32_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError();
}

namespace {
constexpr std::int64_t kLargePiece = std::int64_t{1} << 30;
}

void TStream::ReadBufferLarge(void* Buffer, std::int64_t Count) {
  auto* p = static_cast<std::uint8_t*>(Buffer);
  for (std::int64_t done = 0; done < Count;) {
    const auto n = static_cast<std::int32_t>(std::min(Count - done, kLargePiece));
    ReadBuffer(p + done, n);
    done += n;
  }
}

void TStream::WriteBufferLarge(const void* Buffer, std::int64_t Count) {
  const auto* p = static_cast<const std::uint8_t*>(Buffer);
  for (std::int64_t done = 0; done < Count;) {
    const auto n = static_cast<std::int32_t>(std::min(Count - done, kLargePiece));
    WriteBuffer(p + done, n);
    done += n;
  }
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count) {
  if (Count <= 0) {
    Source.SetPosition(0);
    Count = Source.GetSize();
  }
  constexpr std::int32_t kChunk = 1 << 20;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::int64_t>(Count, kChunk)));
  std::int64_t left = Count;
  while (left > 0) {
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(left, kChunk));
    Source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return Count;
}

std::int64_t TStream::Remaining() {
  const std::int64_t pos = GetPosition();
  const std::int64_t size = GetSize();
  return size > pos ? size - pos : 0;
}

// ---------------------------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& FileName, std::uint16_t Mode) : FFileName(FileName) {
  // fmCreate fills the whole high byte, so it may come combined with a share mode.
  if ((Mode & fmCreate) == fmCreate) {
    FHandle = OsCreateFile(FileName);
    if (FHandle == OsNoFile) throw EFCreateError(FileName);
    return;
  }
  const TOsAccess access = (Mode & 0x3) == fmOpenWrite       ? TOsAccess::Write
                           : (Mode & 0x3) == fmOpenReadWrite ? TOsAccess::ReadWrite
                                                             : TOsAccess::Read;
  FHandle = OsOpenFile(FileName, access, (Mode & 0xF0) == fmShareDenyWrite);
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
  const TOsSeek origin = Origin == soFromCurrent ? TOsSeek::Current
                         : Origin == soFromEnd   ? TOsSeek::End
                                                 : TOsSeek::Begin;
  const std::int64_t r = OsSeekFile(FHandle, Offset, origin);
  return r < 0 ? OsSeekFile(FHandle, 0, TOsSeek::Current) : r;
}

std::int64_t TFileStream::GetSize() {
  const std::int64_t size = OsFileSizeOf(FHandle);
  return size < 0 ? TStream::GetSize() : size;
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
  std::int64_t grown = std::max<std::int64_t>(Capacity, FCapacity + FCapacity / 2);
  grown = (grown + 0xFFF) & ~std::int64_t{0xFFF};
  void* p = std::realloc(FMemory, static_cast<std::size_t>(grown));
  if (p == nullptr) throw EOutOfMemory();
  FMemory = static_cast<std::uint8_t*>(p);
  FCapacity = grown;
}

std::int32_t TMemoryStream::Read(void* Buffer, std::int32_t Count) {
  if (Count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
  const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(Count, FSize - FPosition));
  std::memcpy(Buffer, FMemory + FPosition, static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

std::int32_t TMemoryStream::Write(const void* Buffer, std::int32_t Count) {
  if (Count <= 0 || FPosition < 0) return 0;
  const std::int64_t end = FPosition + Count;
  if (end > FSize) {
    Reserve(end);
    if (FPosition > FSize)
      std::memset(FMemory + FSize, 0, static_cast<std::size_t>(FPosition - FSize));
    FSize = end;
  }
  std::memcpy(FMemory + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition = end;
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
  const std::int64_t size = Stream.GetSize();
  const std::int64_t capacity = (size + 0xFFF) & ~std::int64_t{0xFFF};
  auto* block = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(capacity)));
  if (block == nullptr && capacity > 0) throw EOutOfMemory();
  try {
    Stream.ReadBufferLarge(block, size);
  } catch (...) {
    std::free(block);
    throw;
  }
  std::free(FMemory);
  FMemory = block;
  FSize = size;
  FCapacity = capacity;
  FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& Stream) {
  Stream.WriteBufferLarge(FMemory, FSize);
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream file(FileName, fmCreate);
  SaveToStream(file);
}
