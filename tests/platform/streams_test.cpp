#include "platform/streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A stream over a byte vector that takes at most Capacity bytes in all, and whose reported
// size may claim more bytes than it holds.
class TTestStream : public TStream {
 public:
  explicit TTestStream(Bytes Data, std::int64_t Capacity = 1 << 30, std::int64_t ClaimedSize = -1)
      : FData(std::move(Data)), FCapacity(Capacity), FClaimed(ClaimedSize) {}

  std::int32_t Read(void* Buffer, std::int32_t Count) override {
    const std::int64_t Left = static_cast<std::int64_t>(FData.size()) - FPos;
    const auto N =
        static_cast<std::int32_t>(std::max<std::int64_t>(0, std::min<std::int64_t>(Count, Left)));
    if (N > 0) std::memcpy(Buffer, FData.data() + FPos, static_cast<std::size_t>(N));
    FPos += N;
    return N;
  }
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    const auto N = static_cast<std::int32_t>(
        std::max<std::int64_t>(0, std::min<std::int64_t>(Count, FCapacity - FPos)));
    const auto* P = static_cast<const std::uint8_t*>(Buffer);
    if (static_cast<std::int64_t>(FData.size()) < FPos + N)
      FData.resize(static_cast<std::size_t>(FPos + N));
    std::copy(P, P + N, FData.begin() + FPos);
    FPos += N;
    return N;
  }
  std::int64_t Seek(std::int64_t Offset, std::uint16_t Origin) override {
    const std::int64_t Size = FClaimed >= 0 ? FClaimed : static_cast<std::int64_t>(FData.size());
    FPos = Origin == soFromBeginning ? Offset
           : Origin == soFromCurrent ? FPos + Offset
                                     : Size + Offset;
    return FPos;
  }
  const Bytes& Data() const { return FData; }

 private:
  Bytes FData;
  std::int64_t FCapacity;
  std::int64_t FClaimed;
  std::int64_t FPos = 0;
};

Bytes Pattern(std::size_t N) {
  Bytes B(N);
  for (std::size_t I = 0; I < N; ++I) B[I] = static_cast<std::uint8_t>(I * 31 + I / 251);
  return B;
}

Bytes MemoryBytes(const TMemoryStream& S) {
  const auto* P = static_cast<const std::uint8_t*>(S.Memory());
  return Bytes(P, P + const_cast<TMemoryStream&>(S).GetSize());
}

TEST(MemoryStream, SeeksFromEveryOrigin) {
  TMemoryStream S;
  S.WriteBuffer("0123456789", 10);
  EXPECT_EQ(S.Seek(3, soFromBeginning), 3);
  EXPECT_EQ(S.Seek(2, soFromCurrent), 5);
  EXPECT_EQ(S.Seek(-4, soFromEnd), 6);
  char C = 0;
  S.ReadBuffer(&C, 1);
  EXPECT_EQ(C, '6');
  EXPECT_EQ(S.GetSize(), 10);
}

TEST(MemoryStream, ShortReadReturnsWhatIsLeftAndReadBufferFails) {
  TMemoryStream S;
  S.WriteBuffer("abcdef", 6);
  S.SetPosition(4);
  char Buf[8] = {};
  EXPECT_EQ(S.Read(Buf, 8), 2);
  EXPECT_EQ(std::string(Buf, 2), "ef");
  EXPECT_EQ(S.Read(Buf, 8), 0);
  S.SetPosition(4);
  try {
    S.ReadBuffer(Buf, 3);
    FAIL() << "ReadBuffer past the end must fail";
  } catch (const EReadError& E) {
    EXPECT_STREQ(E.what(), "ストリームからの読み込みエラー");
  }
}

TEST(MemoryStream, WritePastEndZeroFillsTheGap) {
  TMemoryStream S;
  S.SetPosition(4);
  S.WriteBuffer("x", 1);
  ASSERT_EQ(S.GetSize(), 5);
  const auto* P = static_cast<const char*>(S.Memory());
  EXPECT_EQ(std::memcmp(P, "\0\0\0\0x", 5), 0);
}

TEST(FileStream, OpenAndCreateFailuresNameTheFile) {
  testsupport::TTempDir Dir;
  const std::string Missing = Dir.File("nope.bmp");
  try {
    TFileStream S(Missing, fmOpenRead | fmShareDenyWrite);
    FAIL();
  } catch (const EFOpenError& E) {
    EXPECT_EQ(std::string(E.what()), "ファイル " + Missing + " は開けません");
  }
  const std::string Bad = Dir.File("no/such/folder.bmp");
  try {
    TFileStream S(Bad, fmCreate);
    FAIL();
  } catch (const EFCreateError& E) {
    EXPECT_EQ(std::string(E.what()), "ファイル " + Bad + " を作成できません");
  }
}

TEST(FileStream, CreateEmptiesAnExistingFileAndReadsBack) {
  testsupport::TTempDir Dir;
  const std::string Name = Dir.File("a.bin");
  testsupport::WriteFileBytes(Name, std::vector<std::uint8_t>(100, 7));
  {
    TFileStream S(Name, fmCreate);
    S.WriteBuffer("hello", 5);
  }
  TFileStream S(Name, fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ(S.GetSize(), 5);
  EXPECT_EQ(S.Seek(-2, soFromEnd), 3);
  char Buf[4] = {};
  EXPECT_EQ(S.Read(Buf, 4), 2);
  EXPECT_EQ(std::string(Buf, 2), "lo");
}

TEST(Stream, CopyFromWholeSourceWhenCountIsZero) {
  TMemoryStream A, B;
  A.WriteBuffer("abcdef", 6);
  EXPECT_EQ(B.CopyFrom(A, 0), 6);
  EXPECT_EQ(B.GetSize(), 6);
  A.SetPosition(2);
  TMemoryStream C;
  EXPECT_EQ(C.CopyFrom(A, 3), 3);
  EXPECT_EQ(std::memcmp(C.Memory(), "cde", 3), 0);
  EXPECT_THROW(C.CopyFrom(A, 5), EReadError);
}

TEST(MemoryStream, SetSizeZeroFillsGrowthAndPullsThePositionBack) {
  TMemoryStream S;
  S.WriteBuffer("abc", 3);
  S.SetSize(6);
  EXPECT_EQ(MemoryBytes(S), (Bytes{'a', 'b', 'c', 0, 0, 0}));
  EXPECT_EQ(S.GetPosition(), 3);
  S.SetPosition(6);
  S.SetSize(2);
  EXPECT_EQ(S.GetPosition(), 2);
  EXPECT_EQ(S.Remaining(), 0);
  EXPECT_THROW(S.SetSize(-1), ERangeError);
  EXPECT_EQ(S.GetSize(), 2);
}

TEST(MemoryStream, PositionBeforeTheStartReadsNothingAndRefusesWrites) {
  TMemoryStream S;
  S.WriteBuffer("abc", 3);
  EXPECT_EQ(S.Seek(-5, soFromCurrent), -2);
  char C = 0;
  EXPECT_EQ(S.Read(&C, 1), 0);
  EXPECT_THROW(S.WriteBuffer("x", 1), EWriteError);
  EXPECT_EQ(MemoryBytes(S), (Bytes{'a', 'b', 'c'}));
  EXPECT_EQ(S.Remaining(), 5);
}

TEST(MemoryStream, FailedLoadKeepsTheOldContents) {
  TMemoryStream S;
  S.WriteBuffer("keep", 4);
  S.SetPosition(1);
  TTestStream Liar(Pattern(10), 1 << 30, /*ClaimedSize=*/50);
  EXPECT_THROW(S.LoadFromStream(Liar), EReadError);
  EXPECT_EQ(MemoryBytes(S), (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_EQ(S.GetPosition(), 1);
}

TEST(MemoryStream, LoadsFromTheSourcesStartAndRoundTripsThroughAFile) {
  testsupport::TTempDir Dir;
  const Bytes Data = Pattern(70000);
  TTestStream Source(Data);
  Source.SetPosition(500);
  TMemoryStream S;
  S.LoadFromStream(Source);
  EXPECT_EQ(MemoryBytes(S), Data);
  EXPECT_EQ(S.GetPosition(), 0);
  S.SaveToFile(Dir.File("m.bin"));
  EXPECT_EQ(testsupport::ReadFileBytes(Dir.File("m.bin")), Data);
  TMemoryStream Back;
  Back.LoadFromFile(Dir.File("m.bin"));
  EXPECT_EQ(MemoryBytes(Back), Data);
  EXPECT_THROW(Back.LoadFromFile(Dir.File("none.bin")), EFOpenError);
  EXPECT_THROW(Back.SaveToFile(Dir.File("none/m.bin")), EFCreateError);
  EXPECT_EQ(MemoryBytes(Back), Data);
}

TEST(Stream, WriteBufferFailsOnAStreamThatRefusesBytes) {
  TTestStream Full(Bytes{}, /*Capacity=*/4);
  Full.WriteBuffer("abcd", 4);
  try {
    Full.WriteBuffer("e", 1);
    FAIL() << "WriteBuffer into a full stream must fail";
  } catch (const EWriteError& E) {
    EXPECT_STREQ(E.what(), "ストリームへの書き込みエラー");
  }
  TTestStream Partial(Bytes{}, /*Capacity=*/3);
  EXPECT_THROW(Partial.WriteBuffer("abcd", 4), EWriteError);
  EXPECT_NO_THROW(Partial.WriteBuffer("", 0));
}

TEST(Stream, CopyFromWithNegativeCountCopiesTheWholeSource) {
  TTestStream Source(Pattern(9));
  Source.SetPosition(4);
  TMemoryStream Out;
  EXPECT_EQ(Out.CopyFrom(Source, -1), 9);
  EXPECT_EQ(MemoryBytes(Out), Pattern(9));
}

TEST(Stream, CopyFromMovesLargeCountsExactlyAndStopsOnAShortSource) {
  testsupport::TTempDir Dir;
  const Bytes Data = Pattern((3 << 20) + 5);  // more than one internal chunk
  testsupport::WriteFileBytes(Dir.File("in.bin"), Data);
  {
    TFileStream In(Dir.File("in.bin"), fmOpenRead | fmShareDenyWrite);
    TFileStream Out(Dir.File("out.bin"), fmCreate);
    In.SetPosition(1);
    EXPECT_EQ(Out.CopyFrom(In, static_cast<std::int64_t>(Data.size()) - 1), Data.size() - 1);
    EXPECT_EQ(In.Remaining(), 0);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(Dir.File("out.bin")), Bytes(Data.begin() + 1, Data.end()));

  TTestStream ShortSource(Pattern(10));
  TTestStream Sink(Bytes{});
  EXPECT_THROW(Sink.CopyFrom(ShortSource, 11), EReadError);
  TTestStream Source(Pattern(10));
  TTestStream TightSink(Bytes{}, /*Capacity=*/9);
  EXPECT_THROW(TightSink.CopyFrom(Source, 10), EWriteError);
}

TEST(FileStream, SeeksFromEveryOriginAndKeepsItsPlaceOnABadSeek) {
  testsupport::TTempDir Dir;
  testsupport::WriteFileBytes(Dir.File("s.bin"), Bytes{'0', '1', '2', '3', '4', '5', '6', '7'});
  TFileStream S(Dir.File("s.bin"), fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ(S.Seek(5, soFromBeginning), 5);
  EXPECT_EQ(S.Seek(-2, soFromCurrent), 3);
  EXPECT_EQ(S.Seek(-1, soFromEnd), 7);
  EXPECT_EQ(S.Seek(-100, soFromCurrent), 7);
  char C = 0;
  S.ReadBuffer(&C, 1);
  EXPECT_EQ(C, '7');
  EXPECT_EQ(S.Seek(4, soFromEnd), 12);
  EXPECT_EQ(S.Remaining(), 0);
  EXPECT_EQ(S.Read(&C, 1), 0);
  EXPECT_EQ(S.GetSize(), 8);
}

TEST(FileStream, ReadBufferPastTheEndFailsAfterAShortRead) {
  testsupport::TTempDir Dir;
  testsupport::WriteFileBytes(Dir.File("r.bin"), Bytes{1, 2, 3, 4, 5});
  TFileStream S(Dir.File("r.bin"), fmOpenRead | fmShareDenyWrite);
  std::uint8_t Buf[8] = {};
  S.SetPosition(3);
  EXPECT_EQ(S.Read(Buf, 8), 2);
  EXPECT_EQ(Buf[1], 5);
  S.SetPosition(3);
  try {
    S.ReadBuffer(Buf, 3);
    FAIL() << "ReadBuffer past the end must fail";
  } catch (const EReadError& E) {
    EXPECT_STREQ(E.what(), "ストリームからの読み込みエラー");
  }
  EXPECT_EQ(S.Read(Buf, -1), 0);
}

TEST(FileStream, OpenedForReadingRefusesWrites) {
  testsupport::TTempDir Dir;
  testsupport::WriteFileBytes(Dir.File("ro.bin"), Bytes{1, 2, 3});
  {
    TFileStream S(Dir.File("ro.bin"), fmOpenRead | fmShareDenyWrite);
    EXPECT_THROW(S.WriteBuffer("x", 1), EWriteError);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(Dir.File("ro.bin")), (Bytes{1, 2, 3}));
}

TEST(FileStream, FolderIsNoFileToOpen) {
  testsupport::TTempDir Dir;
  const std::string Folder = Dir.File("sub");
  std::filesystem::create_directory(Folder);
  try {
    TFileStream S(Folder, fmOpenRead | fmShareDenyWrite);
    FAIL() << "a folder must not open as a file";
  } catch (const EFOpenError& E) {
    EXPECT_EQ(E.Message(), "ファイル " + Folder + " は開けません");
  }
  EXPECT_THROW(TFileStream(Folder, fmCreate), EFCreateError);
}

TEST(FileStream, CreateCombinedWithAShareModeStillCreates) {
  testsupport::TTempDir Dir;
  const std::string Name = Dir.File("c.bin");
  testsupport::WriteFileBytes(Name, Bytes(10, 9));
  {
    TFileStream S(Name, fmCreate | fmShareDenyWrite);
    EXPECT_EQ(S.GetSize(), 0);
    S.WriteBuffer("ab", 2);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(Name), (Bytes{'a', 'b'}));
}

TEST(FileStream, SetSizeTruncatesAndPullsThePositionBack) {
  testsupport::TTempDir Dir;
  const std::string Name = Dir.File("t.bin");
  {
    TFileStream S(Name, fmCreate);
    S.WriteBuffer("abcdefgh", 8);
    S.SetSize(3);
    EXPECT_EQ(S.GetPosition(), 3);
    EXPECT_EQ(S.GetSize(), 3);
    S.SetSize(5);
    EXPECT_EQ(S.GetPosition(), 3);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(Name), (Bytes{'a', 'b', 'c', 0, 0}));
}

}  // namespace
