#include "platform/utf16.h"

#include <cstdint>

namespace {

constexpr char32_t Replacement = 0xFFFD;

// Appends code point Cp to Out as one or two UTF-16 units.
template <class TString>
void AppendUtf16(TString& Out, char32_t Cp) {
  using TUnit = typename TString::value_type;
  if (Cp < 0x10000) {
    Out.push_back(static_cast<TUnit>(Cp));
    return;
  }
  Cp -= 0x10000;
  Out.push_back(static_cast<TUnit>(0xD800 + (Cp >> 10)));
  Out.push_back(static_cast<TUnit>(0xDC00 + (Cp & 0x3FF)));
}

void AppendUtf8(std::string& Out, char32_t Cp) {
  if (Cp < 0x80) {
    Out.push_back(static_cast<char>(Cp));
  } else if (Cp < 0x800) {
    Out.push_back(static_cast<char>(0xC0 | Cp >> 6));
    Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
  } else if (Cp < 0x10000) {
    Out.push_back(static_cast<char>(0xE0 | Cp >> 12));
    Out.push_back(static_cast<char>(0x80 | (Cp >> 6 & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
  } else {
    Out.push_back(static_cast<char>(0xF0 | Cp >> 18));
    Out.push_back(static_cast<char>(0x80 | (Cp >> 12 & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (Cp >> 6 & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
  }
}

// The code point that starts at Text[At], At moved past it; U+FFFD for a maximal ill-formed
// subsequence, At then moved past that subsequence only. The ranges are the well-formed
// byte sequences of the Unicode standard.
char32_t DecodeUtf8(std::string_view Text, std::size_t& At) {
  const auto Lead = static_cast<std::uint8_t>(Text[At++]);
  if (Lead < 0x80) return Lead;
  int Need;
  char32_t Cp;
  std::uint8_t Lo = 0x80;
  std::uint8_t Hi = 0xBF;
  if (Lead >= 0xC2 && Lead <= 0xDF) {
    Need = 1;
    Cp = Lead & 0x1F;
  } else if (Lead >= 0xE0 && Lead <= 0xEF) {
    Need = 2;
    Cp = Lead & 0x0F;
    if (Lead == 0xE0) Lo = 0xA0;  // no overlong forms
    if (Lead == 0xED) Hi = 0x9F;  // no surrogates
  } else if (Lead >= 0xF0 && Lead <= 0xF4) {
    Need = 3;
    Cp = Lead & 0x07;
    if (Lead == 0xF0) Lo = 0x90;  // no overlong forms
    if (Lead == 0xF4) Hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return Replacement;
  }
  for (; Need > 0; --Need) {
    if (At == Text.size()) return Replacement;
    const auto Next = static_cast<std::uint8_t>(Text[At]);
    if (Next < Lo || Next > Hi) return Replacement;
    Cp = Cp << 6 | (Next & 0x3F);
    ++At;
    Lo = 0x80;
    Hi = 0xBF;
  }
  return Cp;
}

template <class TString>
TString FromUtf8(std::string_view Text) {
  TString Out;
  Out.reserve(Text.size());
  for (std::size_t At = 0; At < Text.size();) AppendUtf16(Out, DecodeUtf8(Text, At));
  return Out;
}

template <class TView>
std::string ToUtf8(TView Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (std::size_t At = 0; At < Text.size(); ++At) {
    const auto Unit = static_cast<char32_t>(Text[At]);
    char32_t Cp = Unit;
    if (Unit > 0xFFFF) {
      Cp = Replacement;
    } else if (Unit >= 0xD800 && Unit <= 0xDBFF && At + 1 < Text.size() &&
               static_cast<char32_t>(Text[At + 1]) >= 0xDC00 &&
               static_cast<char32_t>(Text[At + 1]) <= 0xDFFF) {
      Cp = 0x10000 + ((Unit - 0xD800) << 10) + (static_cast<char32_t>(Text[++At]) - 0xDC00);
    } else if (Unit >= 0xD800 && Unit <= 0xDFFF) {
      Cp = Replacement;
    }
    AppendUtf8(Out, Cp);
  }
  return Out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view Text) {
  return FromUtf8<std::u16string>(Text);
}

std::string Utf16ToUtf8(std::u16string_view Text) {
  return ToUtf8(Text);
}

std::wstring Utf8ToWide(std::string_view Text) {
  return FromUtf8<std::wstring>(Text);
}

std::string WideToUtf8(std::wstring_view Text) {
  return ToUtf8(Text);
}
