#pragma once

// Windows hands a program its command line as one string; the program splits it into arguments
// itself. This is the split the system's own CommandLineToArgvW makes, without the shell library
// it lives in: that library loads the window system, and a console program that has the window
// system loaded is no longer told of a log-off or a shut-down.
//
// The first argument is the program's name: up to the next double quote when the line begins
// with one, else up to the first blank (space or tab); a line that begins with a blank has an
// empty name. Blanks outside double quotes separate the other arguments, and:
// - 2n backslashes before a double quote give n backslashes, and the quote begins or ends a
//   quoted part;
// - 2n+1 backslashes before a double quote give n backslashes and a literal quote;
// - backslashes before anything else stay as they are;
// - inside a quoted part, two double quotes give one literal quote and end the part;
// - a quoted part still open at the end ends there.

#include <string>
#include <string_view>
#include <vector>

std::vector<std::wstring> SplitCommandLine(std::wstring_view Line);
