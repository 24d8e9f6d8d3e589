#include "app/core/place_text.h"

#include <cstdint>
#include <optional>
#include <utility>

namespace {

// Stands for any character that no piece of a place is made of.
constexpr char Foreign = '\x7f';

// The next code point of UTF-8 text at Pos, which moves past it; Foreign's code for a byte that
// does not begin a well-formed sequence.
char32_t NextCodePoint(const std::string& Text, std::size_t& Pos) {
  const auto Lead = static_cast<unsigned char>(Text[Pos++]);
  if (Lead < 0x80) return Lead;
  const int Tail = Lead >= 0xf8 ? -1 : Lead >= 0xf0 ? 3 : Lead >= 0xe0 ? 2 : Lead >= 0xc0 ? 1 : -1;
  if (Tail < 0 || Pos + Tail > Text.size()) return Foreign;
  char32_t Code = Lead & (0x3f >> Tail);
  for (int I = 0; I < Tail; ++I) {
    const auto Next = static_cast<unsigned char>(Text[Pos]);
    if ((Next & 0xc0) != 0x80) return Foreign;
    Code = Code << 6 | (Next & 0x3f);
    ++Pos;
  }
  // A longer sequence than the code needs spells no character.
  constexpr char32_t Least[] = {0, 0x80, 0x800, 0x10000};
  return Code < Least[Tail] ? Foreign : Code;
}

// One character of the place's own small alphabet: ASCII in lower case, spaces for every kind
// of space, "o" for every degree mark, "'" for every minute mark.
char Plain(char32_t Code) {
  if (Code >= 0xff01 && Code <= 0xff5e) Code -= 0xfee0;  // full-width ASCII
  switch (Code) {
    case 0x3000:  // ideographic space
    case U'\t':
    case U'\r':
    case U'\n':
      return ' ';
    case 0x3001:  // ideographic comma
      return ',';
    case 0x00b0:  // degree sign
    case 0x00ba:  // masculine ordinal indicator, typed for it
    case 0x02da:  // ring above, typed for it
      return 'o';
    case 0x2019:  // right single quotation mark
    case 0x2032:  // prime
      return '\'';
    default:
      break;
  }
  if (Code >= U'A' && Code <= U'Z') return static_cast<char>(Code - U'A' + U'a');
  return Code < 0x7f ? static_cast<char>(Code) : Foreign;
}

std::string PlainText(const std::string& Text) {
  std::string Result;
  for (std::size_t Pos = 0; Pos < Text.size();) Result += Plain(NextCodePoint(Text, Pos));
  return Result;
}

// Reads plain text piece by piece; every piece may have spaces before it.
class TScanner {
 public:
  explicit TScanner(std::string Text) : FText(std::move(Text)) {}

  bool Take(char C) {
    SkipSpaces();
    if (FPos == FText.size() || FText[FPos] != C) return false;
    ++FPos;
    return true;
  }
  // A whole number of 1 to MaxDigits digits.
  std::optional<std::int32_t> Number(int MaxDigits) {
    SkipSpaces();
    std::int32_t Value = 0;
    int Digits = 0;
    for (; FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '9'; ++FPos) {
      if (++Digits > MaxDigits) return std::nullopt;
      Value = Value * 10 + (FText[FPos] - '0');
    }
    if (Digits == 0) return std::nullopt;
    return Value;
  }
  // One of Letters; 0 when none is next.
  char OneOf(const char* Letters) {
    SkipSpaces();
    if (FPos == FText.size()) return 0;
    for (const char* L = Letters; *L; ++L)
      if (FText[FPos] == *L) return FText[FPos++];
    return 0;
  }
  bool AtEnd() {
    SkipSpaces();
    return FPos == FText.size();
  }
  void Rewind() { FPos = 0; }

 private:
  void SkipSpaces() {
    while (FPos < FText.size() && FText[FPos] == ' ') ++FPos;
  }

  std::string FText;
  std::size_t FPos = 0;
};

// The digits of a tile coordinate at most: no world is a million tiles across.
constexpr int TileDigits = 6;

std::optional<TPoint> ReadTile(TScanner& Scanner) {
  const auto X = Scanner.Number(TileDigits);
  if (!X) return std::nullopt;
  Scanner.Take(',');
  const auto Y = Scanner.Number(TileDigits);
  if (!Y || !Scanner.AtEnd()) return std::nullopt;
  return TPoint{*X, *Y};
}

// One half of a reading: degrees, minutes and the side's letter.
struct THalf {
  std::int32_t Degrees;
  std::int32_t Minutes;
  char Side;
};

std::optional<THalf> ReadHalf(TScanner& Scanner) {
  const auto Degrees = Scanner.Number(3);
  if (!Degrees) return std::nullopt;
  Scanner.Take('o');
  const auto Minutes = Scanner.Number(2);
  if (!Minutes) return std::nullopt;
  Scanner.Take('\'');
  const char Side = Scanner.OneOf("nsew");
  if (Side == 0 || *Minutes > 59 || *Degrees * 60 + *Minutes > 180 * 60) return std::nullopt;
  return THalf{*Degrees, *Minutes, Side};
}

bool IsLatitude(const THalf& Half) {
  return Half.Side == 'n' || Half.Side == 's';
}

std::optional<TSextant> ReadSextant(TScanner& Scanner) {
  auto Lat = ReadHalf(Scanner);
  if (!Lat) return std::nullopt;
  Scanner.Take(',');
  auto Long = ReadHalf(Scanner);
  if (!Long || !Scanner.AtEnd()) return std::nullopt;
  if (!IsLatitude(*Lat)) std::swap(Lat, Long);
  if (!IsLatitude(*Lat) || IsLatitude(*Long)) return std::nullopt;
  return TSextant{Lat->Degrees,  Lat->Minutes,  Lat->Side == 's',
                  Long->Degrees, Long->Minutes, Long->Side == 'e'};
}

}  // namespace

TTypedPlace ParsePlace(const std::string& Text) {
  TScanner Scanner(PlainText(Text));
  if (const auto Tile = ReadTile(Scanner)) return TTypedPlace{false, *Tile, {}};
  Scanner.Rewind();
  if (const auto Reading = ReadSextant(Scanner)) return TTypedPlace{true, {}, *Reading};
  throw EPlaceError("ParsePlace: Cannot read \"" + Text +
                    "\"; type tile coordinates such as 1323, 1624 or a sextant reading such as "
                    "42°17'N 11°36'E");
}
