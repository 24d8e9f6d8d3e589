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
      : data_(std::move(Data)), capacity_(Capacity), claimed_(ClaimedSize) {}

  std::int32_t Read(void* Buffer, std::int32_t Count) override {
    const std::int64_t left = static_cast<std::int64_t>(data_.size()) - pos_;
    const auto n =
        static_cast<std::int32_t>(std::max<std::int64_t>(0, std::min<std::int64_t>(Count, left)));
    if (n > 0) std::memcpy(Buffer, data_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
  }
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    const auto n = static_cast<std::int32_t>(
        std::max<std::int64_t>(0, std::min<std::int64_t>(Count, capacity_ - pos_)));
    const auto* p = static_cast<const std::uint8_t*>(Buffer);
    if (static_cast<std::int64_t>(data_.size()) < pos_ + n)
      data_.resize(static_cast<std::size_t>(pos_ + n));
    std::copy(p, p + n, data_.begin() + pos_);
    pos_ += n;
    return n;
  }
  std::int64_t Seek(std::int64_t Offset, std::uint16_t Origin) override {
    const std::int64_t size = claimed_ >= 0 ? claimed_ : static_cast<std::int64_t>(data_.size());
    pos_ = Origin == soFromBeginning ? Offset
           : Origin == soFromCurrent ? pos_ + Offset
                                     : size + Offset;
    return pos_;
  }
  const Bytes& Data() const { return data_; }

 private:
  Bytes data_;
  std::int64_t capacity_;
  std::int64_t claimed_;
  std::int64_t pos_ = 0;
};

Bytes Pattern(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 31 + i / 251);
  return b;
}

Bytes MemoryBytes(const TMemoryStream& s) {
  const auto* p = static_cast<const std::uint8_t*>(s.Memory());
  return Bytes(p, p + const_cast<TMemoryStream&>(s).GetSize());
}

TEST(MemoryStream, SeeksFromEveryOrigin) {
  TMemoryStream s;
  s.WriteBuffer("0123456789", 10);
  EXPECT_EQ(s.Seek(3, soFromBeginning), 3);
  EXPECT_EQ(s.Seek(2, soFromCurrent), 5);
  EXPECT_EQ(s.Seek(-4, soFromEnd), 6);
  char c = 0;
  s.ReadBuffer(&c, 1);
  EXPECT_EQ(c, '6');
  EXPECT_EQ(s.GetSize(), 10);
}

TEST(MemoryStream, ShortReadReturnsWhatIsLeftAndReadBufferFails) {
  TMemoryStream s;
  s.WriteBuffer("abcdef", 6);
  s.SetPosition(4);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 2);
  EXPECT_EQ(std::string(buf, 2), "ef");
  EXPECT_EQ(s.Read(buf, 8), 0);
  s.SetPosition(4);
  try {
    s.ReadBuffer(buf, 3);
    FAIL() << "ReadBuffer past the end must fail";
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "ストリームからの読み込みエラー");
  }
}

TEST(MemoryStream, WritePastEndZeroFillsTheGap) {
  TMemoryStream s;
  s.SetPosition(4);
  s.WriteBuffer("x", 1);
  ASSERT_EQ(s.GetSize(), 5);
  const auto* p = static_cast<const char*>(s.Memory());
  EXPECT_EQ(std::memcmp(p, "\0\0\0\0x", 5), 0);
}

TEST(FileStream, OpenAndCreateFailuresNameTheFile) {
  testsupport::TempDir dir;
  const std::string missing = dir.file("nope.bmp");
  try {
    TFileStream s(missing, fmOpenRead | fmShareDenyWrite);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "ファイル " + missing + " は開けません");
  }
  const std::string bad = dir.file("no/such/folder.bmp");
  try {
    TFileStream s(bad, fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "ファイル " + bad + " を作成できません");
  }
}

TEST(FileStream, CreateEmptiesAnExistingFileAndReadsBack) {
  testsupport::TempDir dir;
  const std::string name = dir.file("a.bin");
  testsupport::WriteFileBytes(name, std::vector<std::uint8_t>(100, 7));
  {
    TFileStream s(name, fmCreate);
    s.WriteBuffer("hello", 5);
  }
  TFileStream s(name, fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ(s.GetSize(), 5);
  EXPECT_EQ(s.Seek(-2, soFromEnd), 3);
  char buf[4] = {};
  EXPECT_EQ(s.Read(buf, 4), 2);
  EXPECT_EQ(std::string(buf, 2), "lo");
}

TEST(Stream, CopyFromWholeSourceWhenCountIsZero) {
  TMemoryStream a, b;
  a.WriteBuffer("abcdef", 6);
  EXPECT_EQ(b.CopyFrom(a, 0), 6);
  EXPECT_EQ(b.GetSize(), 6);
  a.SetPosition(2);
  TMemoryStream c;
  EXPECT_EQ(c.CopyFrom(a, 3), 3);
  EXPECT_EQ(std::memcmp(c.Memory(), "cde", 3), 0);
  EXPECT_THROW(c.CopyFrom(a, 5), EReadError);
}

TEST(MemoryStream, SetSizeZeroFillsGrowthAndPullsThePositionBack) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  s.SetSize(6);
  EXPECT_EQ(MemoryBytes(s), (Bytes{'a', 'b', 'c', 0, 0, 0}));
  EXPECT_EQ(s.GetPosition(), 3);
  s.SetPosition(6);
  s.SetSize(2);
  EXPECT_EQ(s.GetPosition(), 2);
  EXPECT_EQ(s.Remaining(), 0);
  EXPECT_THROW(s.SetSize(-1), ERangeError);
  EXPECT_EQ(s.GetSize(), 2);
}

TEST(MemoryStream, PositionBeforeTheStartReadsNothingAndRefusesWrites) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  EXPECT_EQ(s.Seek(-5, soFromCurrent), -2);
  char c = 0;
  EXPECT_EQ(s.Read(&c, 1), 0);
  EXPECT_THROW(s.WriteBuffer("x", 1), EWriteError);
  EXPECT_EQ(MemoryBytes(s), (Bytes{'a', 'b', 'c'}));
  EXPECT_EQ(s.Remaining(), 5);
}

TEST(MemoryStream, FailedLoadKeepsTheOldContents) {
  TMemoryStream s;
  s.WriteBuffer("keep", 4);
  s.SetPosition(1);
  TTestStream liar(Pattern(10), 1 << 30, /*ClaimedSize=*/50);
  EXPECT_THROW(s.LoadFromStream(liar), EReadError);
  EXPECT_EQ(MemoryBytes(s), (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_EQ(s.GetPosition(), 1);
}

TEST(MemoryStream, LoadsFromTheSourcesStartAndRoundTripsThroughAFile) {
  testsupport::TempDir dir;
  const Bytes data = Pattern(70000);
  TTestStream source(data);
  source.SetPosition(500);
  TMemoryStream s;
  s.LoadFromStream(source);
  EXPECT_EQ(MemoryBytes(s), data);
  EXPECT_EQ(s.GetPosition(), 0);
  s.SaveToFile(dir.file("m.bin"));
  EXPECT_EQ(testsupport::ReadFileBytes(dir.file("m.bin")), data);
  TMemoryStream back;
  back.LoadFromFile(dir.file("m.bin"));
  EXPECT_EQ(MemoryBytes(back), data);
  EXPECT_THROW(back.LoadFromFile(dir.file("none.bin")), EFOpenError);
  EXPECT_THROW(back.SaveToFile(dir.file("none/m.bin")), EFCreateError);
  EXPECT_EQ(MemoryBytes(back), data);
}

TEST(Stream, WriteBufferFailsOnAStreamThatRefusesBytes) {
  TTestStream full(Bytes{}, /*Capacity=*/4);
  full.WriteBuffer("abcd", 4);
  try {
    full.WriteBuffer("e", 1);
    FAIL() << "WriteBuffer into a full stream must fail";
  } catch (const EWriteError& e) {
    EXPECT_STREQ(e.what(), "ストリームへの書き込みエラー");
  }
  TTestStream partial(Bytes{}, /*Capacity=*/3);
  EXPECT_THROW(partial.WriteBuffer("abcd", 4), EWriteError);
  EXPECT_NO_THROW(partial.WriteBuffer("", 0));
}

TEST(Stream, CopyFromWithNegativeCountCopiesTheWholeSource) {
  TTestStream source(Pattern(9));
  source.SetPosition(4);
  TMemoryStream out;
  EXPECT_EQ(out.CopyFrom(source, -1), 9);
  EXPECT_EQ(MemoryBytes(out), Pattern(9));
}

TEST(Stream, CopyFromMovesLargeCountsExactlyAndStopsOnAShortSource) {
  testsupport::TempDir dir;
  const Bytes data = Pattern((3 << 20) + 5);  // more than one internal chunk
  testsupport::WriteFileBytes(dir.file("in.bin"), data);
  {
    TFileStream in(dir.file("in.bin"), fmOpenRead | fmShareDenyWrite);
    TFileStream out(dir.file("out.bin"), fmCreate);
    in.SetPosition(1);
    EXPECT_EQ(out.CopyFrom(in, static_cast<std::int64_t>(data.size()) - 1), data.size() - 1);
    EXPECT_EQ(in.Remaining(), 0);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(dir.file("out.bin")), Bytes(data.begin() + 1, data.end()));

  TTestStream shortSource(Pattern(10));
  TTestStream sink(Bytes{});
  EXPECT_THROW(sink.CopyFrom(shortSource, 11), EReadError);
  TTestStream source(Pattern(10));
  TTestStream tightSink(Bytes{}, /*Capacity=*/9);
  EXPECT_THROW(tightSink.CopyFrom(source, 10), EWriteError);
}

TEST(FileStream, SeeksFromEveryOriginAndKeepsItsPlaceOnABadSeek) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir.file("s.bin"), Bytes{'0', '1', '2', '3', '4', '5', '6', '7'});
  TFileStream s(dir.file("s.bin"), fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ(s.Seek(5, soFromBeginning), 5);
  EXPECT_EQ(s.Seek(-2, soFromCurrent), 3);
  EXPECT_EQ(s.Seek(-1, soFromEnd), 7);
  EXPECT_EQ(s.Seek(-100, soFromCurrent), 7);
  char c = 0;
  s.ReadBuffer(&c, 1);
  EXPECT_EQ(c, '7');
  EXPECT_EQ(s.Seek(4, soFromEnd), 12);
  EXPECT_EQ(s.Remaining(), 0);
  EXPECT_EQ(s.Read(&c, 1), 0);
  EXPECT_EQ(s.GetSize(), 8);
}

TEST(FileStream, ReadBufferPastTheEndFailsAfterAShortRead) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir.file("r.bin"), Bytes{1, 2, 3, 4, 5});
  TFileStream s(dir.file("r.bin"), fmOpenRead | fmShareDenyWrite);
  std::uint8_t buf[8] = {};
  s.SetPosition(3);
  EXPECT_EQ(s.Read(buf, 8), 2);
  EXPECT_EQ(buf[1], 5);
  s.SetPosition(3);
  try {
    s.ReadBuffer(buf, 3);
    FAIL() << "ReadBuffer past the end must fail";
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "ストリームからの読み込みエラー");
  }
  EXPECT_EQ(s.Read(buf, -1), 0);
}

TEST(FileStream, OpenedForReadingRefusesWrites) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir.file("ro.bin"), Bytes{1, 2, 3});
  {
    TFileStream s(dir.file("ro.bin"), fmOpenRead | fmShareDenyWrite);
    EXPECT_THROW(s.WriteBuffer("x", 1), EWriteError);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(dir.file("ro.bin")), (Bytes{1, 2, 3}));
}

TEST(FileStream, FolderIsNoFileToOpen) {
  testsupport::TempDir dir;
  const std::string folder = dir.file("sub");
  std::filesystem::create_directory(folder);
  try {
    TFileStream s(folder, fmOpenRead | fmShareDenyWrite);
    FAIL() << "a folder must not open as a file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "ファイル " + folder + " は開けません");
  }
  EXPECT_THROW(TFileStream(folder, fmCreate), EFCreateError);
}

TEST(FileStream, CreateCombinedWithAShareModeStillCreates) {
  testsupport::TempDir dir;
  const std::string name = dir.file("c.bin");
  testsupport::WriteFileBytes(name, Bytes(10, 9));
  {
    TFileStream s(name, fmCreate | fmShareDenyWrite);
    EXPECT_EQ(s.GetSize(), 0);
    s.WriteBuffer("ab", 2);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(name), (Bytes{'a', 'b'}));
}

TEST(FileStream, SetSizeTruncatesAndPullsThePositionBack) {
  testsupport::TempDir dir;
  const std::string name = dir.file("t.bin");
  {
    TFileStream s(name, fmCreate);
    s.WriteBuffer("abcdefgh", 8);
    s.SetSize(3);
    EXPECT_EQ(s.GetPosition(), 3);
    EXPECT_EQ(s.GetSize(), 3);
    s.SetSize(5);
    EXPECT_EQ(s.GetPosition(), 3);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(name), (Bytes{'a', 'b', 'c', 0, 0}));
}

}  // namespace
