#pragma once

// Byte streams of the picture framework: an abstract seekable stream, a file stream and a
// growable memory stream. Bulk transfers are single calls; nothing works byte by byte.

#include <cstdint>
#include <string>

#include "platform/os_files.h"

inline constexpr std::uint16_t soFromBeginning = 0;
inline constexpr std::uint16_t soFromCurrent = 1;
inline constexpr std::uint16_t soFromEnd = 2;

class TStream {
 public:
  virtual ~TStream() = default;

  // Moves up to Count bytes; returns how many moved (0 at the end, or for Count <= 0).
  virtual std::int32_t Read(void* Buffer, std::int32_t Count) = 0;
  virtual std::int32_t Write(const void* Buffer, std::int32_t Count) = 0;
  // Returns the new position. Origin is soFromBeginning, soFromCurrent or soFromEnd.
  virtual std::int64_t Seek(std::int64_t Offset, std::uint16_t Origin) = 0;

  std::int64_t GetPosition() { return Seek(0, soFromCurrent); }
  void SetPosition(std::int64_t Pos) { Seek(Pos, soFromBeginning); }
  virtual std::int64_t GetSize();
  // Streams whose size cannot change ignore this.
  virtual void SetSize(std::int64_t NewSize);

  // Exact transfers: fewer bytes than asked raise EReadError / EWriteError.
  void ReadBuffer(void* Buffer, std::int32_t Count);
  void WriteBuffer(const void* Buffer, std::int32_t Count);
  // The same for counts beyond one 32-bit transfer, moved in large pieces.
  void ReadBufferLarge(void* Buffer, std::int64_t Count);
  void WriteBufferLarge(const void* Buffer, std::int64_t Count);
  // Copies Count bytes from Source's current position; Count 0 (or less) copies all of Source
  // from its start. Returns the number of bytes copied.
  std::int64_t CopyFrom(TStream& Source, std::int64_t Count);

  // Bytes left from the current position to the end (never negative).
  std::int64_t Remaining();
};

// Open modes, combined with a share mode for reading.
inline constexpr std::uint16_t fmOpenRead = 0x0000;
inline constexpr std::uint16_t fmOpenWrite = 0x0001;
inline constexpr std::uint16_t fmOpenReadWrite = 0x0002;
inline constexpr std::uint16_t fmShareDenyWrite = 0x0020;
inline constexpr std::uint16_t fmCreate = 0xFF00;

class TFileStream : public TStream {
 public:
  // fmCreate creates the file or empties an existing one (EFCreateError on failure); the other
  // modes open an existing file (EFOpenError on failure). fmShareDenyWrite takes a shared lock
  // that keeps cooperating writers out while the stream is open.
  TFileStream(const std::string& FileName, std::uint16_t Mode);
  // Takes over an open file (for example a temporary made beside a target); FileName is what
  // errors report.
  TFileStream(TOsFile Handle, const std::string& FileName);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, std::uint16_t Origin) override;
  std::int64_t GetSize() override;
  void SetSize(std::int64_t NewSize) override;
  // Writes everything written so far through to the disk; EWriteError when the disk fails.
  void Flush();

  const std::string& FileName() const { return FFileName; }
  TOsFile Handle() const { return FHandle; }

 private:
  std::string FFileName;
  TOsFile FHandle = OsNoFile;
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, std::uint16_t Origin) override;
  std::int64_t GetSize() override { return FSize; }
  // Grows (new bytes zero) or shrinks; the position is kept but not past the new end.
  void SetSize(std::int64_t NewSize) override;

  void Clear();
  void* Memory() { return FMemory; }
  const void* Memory() const { return FMemory; }

  void LoadFromStream(TStream& Stream);
  void SaveToStream(TStream& Stream);
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);

 private:
  void Reserve(std::int64_t Capacity);

  std::uint8_t* FMemory = nullptr;
  std::int64_t FSize = 0;
  std::int64_t FCapacity = 0;
  std::int64_t FPosition = 0;
};
