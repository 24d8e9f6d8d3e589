#include "platform/command_line.h"

namespace {

bool IsBlank(wchar_t C) {
  return C == L' ' || C == L'\t';
}

// The program's name from the start of Line; At is left just after it.
std::wstring ProgramName(std::wstring_view Line, std::size_t& At) {
  if (!Line.empty() && Line[0] == L'"') {
    const std::size_t Close = Line.find(L'"', 1);
    At = Close == std::wstring_view::npos ? Line.size() : Close + 1;
    return std::wstring(Line.substr(1, Close == std::wstring_view::npos ? Close : Close - 1));
  }
  At = 0;
  while (At < Line.size() && !IsBlank(Line[At])) ++At;
  return std::wstring(Line.substr(0, At));
}

// One argument from At, which is at its first character; At is left just after it.
std::wstring Argument(std::wstring_view Line, std::size_t& At) {
  std::wstring Arg;
  bool Quoted = false;
  while (At < Line.size() && (Quoted || !IsBlank(Line[At]))) {
    std::size_t Backslashes = 0;
    while (At < Line.size() && Line[At] == L'\\') {
      ++Backslashes;
      ++At;
    }
    if (At == Line.size() || Line[At] != L'"') {
      Arg.append(Backslashes, L'\\');
      if (Backslashes == 0) Arg += Line[At++];
      continue;
    }
    Arg.append(Backslashes / 2, L'\\');
    if (Backslashes % 2 == 1) {
      Arg += L'"';
      ++At;
    } else if (Quoted && At + 1 < Line.size() && Line[At + 1] == L'"') {
      Arg += L'"';
      Quoted = false;
      At += 2;
    } else {
      Quoted = !Quoted;
      ++At;
    }
  }
  return Arg;
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(std::wstring_view Line) {
  std::size_t At = 0;
  std::vector<std::wstring> Args{ProgramName(Line, At)};
  for (;;) {
    while (At < Line.size() && IsBlank(Line[At])) ++At;
    if (At == Line.size()) return Args;
    Args.push_back(Argument(Line, At));
  }
}
