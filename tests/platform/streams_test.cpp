#include "platform/streams.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/exceptions.h"
#include "support/temp_dir.h"

namespace {

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

}  // namespace
