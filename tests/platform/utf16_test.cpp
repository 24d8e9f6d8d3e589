// The one UTF-8 <-> UTF-16 conversion: well-formed text both ways, and each kind of ill-formed
// input to exactly as many U+FFFD as it has maximal ill-formed subsequences.
#include "platform/utf16.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TFromUtf8Row {
  const char* What;
  std::string Utf8;
  std::u16string Utf16;
  bool WellFormed;  // then the UTF-16 converts back to the same bytes
};

const TFromUtf8Row FromUtf8Rows[] = {
    {"empty", "", u"", true},
    {"ASCII with a zero character", std::string("a\0b", 3), std::u16string(u"a\0b", 3), true},
    {"two bytes", "\xC3\xA9", {0x00E9}, true},
    {"three bytes", "\xE5\xAE\x8C\xE4\xBA\x86", {0x5B8C, 0x4E86}, true},
    {"highest three-byte value", "\xEF\xBF\xBF", {0xFFFF}, true},
    {"four bytes: a surrogate pair", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}, true},
    {"highest code point", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}, true},
    {"stray continuation byte", "a\x80z", {'a', 0xFFFD, 'z'}, false},
    {"byte that starts nothing", "\xFF\xFE", {0xFFFD, 0xFFFD}, false},
    {"overlong two-byte form", "\xC0\xAF", {0xFFFD, 0xFFFD}, false},
    {"overlong three-byte form", "\xE0\x80\xAF", {0xFFFD, 0xFFFD, 0xFFFD}, false},
    {"encoded surrogate", "\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD}, false},
    {"above U+10FFFF", "\xF4\x90\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}, false},
    {"three-byte form cut short at the end", "a\xE5\xAE", {'a', 0xFFFD}, false},
    {"four-byte form cut short by ASCII", "\xF0\x9F\x98z", {0xFFFD, 'z'}, false},
    {"cut short by another lead byte", "\xE5\xC3\xA9", {0xFFFD, 0x00E9}, false},
};

TEST(Utf16, FromUtf8) {
  for (const TFromUtf8Row& Row : FromUtf8Rows) {
    SCOPED_TRACE(Row.What);
    EXPECT_EQ(Utf8ToUtf16(Row.Utf8), Row.Utf16);
    EXPECT_EQ(Utf8ToWide(Row.Utf8), std::wstring(Row.Utf16.begin(), Row.Utf16.end()));
    if (Row.WellFormed) {
      EXPECT_EQ(Utf16ToUtf8(Row.Utf16), Row.Utf8);
      EXPECT_EQ(WideToUtf8(std::wstring(Row.Utf16.begin(), Row.Utf16.end())), Row.Utf8);
    }
  }
}

struct TToUtf8Row {
  const char* What;
  std::u16string Utf16;
  std::string Utf8;
};

const TToUtf8Row ToUtf8Rows[] = {
    {"high surrogate at the end", {'a', 0xD83D}, "a\xEF\xBF\xBD"},
    {"high surrogate before ASCII", {0xD83D, 'z'}, "\xEF\xBF\xBDz"},
    {"low surrogate alone", {0xDE00}, "\xEF\xBF\xBD"},
    {"pair in the wrong order", {0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"two high surrogates, then a pair", {0xD83D, 0xD83D, 0xDE00}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
};

TEST(Utf16, ToUtf8ReplacesEachUnpairedSurrogate) {
  for (const TToUtf8Row& Row : ToUtf8Rows) {
    SCOPED_TRACE(Row.What);
    EXPECT_EQ(Utf16ToUtf8(Row.Utf16), Row.Utf8);
    EXPECT_EQ(WideToUtf8(std::wstring(Row.Utf16.begin(), Row.Utf16.end())), Row.Utf8);
  }
}

}  // namespace
