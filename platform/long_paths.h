#pragma once

// Windows names beyond the classic 260-character limit. The wide-character calls take a name of
// any length (up to 32,767 characters) only in the extended form "\\?\C:\…" or
// "\\?\UNC\server\share\…", which the system passes on unparsed: it must be a full path with
// "\" separators only and no "." or ".." parts. A pure function, so the forms can be checked on
// any OS.

#include <cstddef>
#include <string>

// From this length on a name is handed to the system in its extended form: the classic limit
// less room for the 8.3 name that a new folder's entries need (CreateDirectory's limit, 248).
inline constexpr std::size_t ExtendedPathFrom = 248;

// The extended form of FullPath, a full Windows path as GetFullPathName gives it: "\\?\" before
// a drive's path, "\\?\UNC\" instead of the "\\" of a UNC path; "/" becomes "\" and a doubled
// separator (as after a root, "C:\\MAP0-1.BMP") one. A name that has the form already ("\\?\",
// "\\.\") is returned as it is.
std::string ExtendedLengthPath(const std::string& FullPath);

// The NT form of FullPath ("\??\C:\…", "\??\UNC\server\share\…") that a rename by handle takes.
std::string NtPath(const std::string& FullPath);

// Called, when set, with each name (UTF-8) that the Windows file calls are handed, as they are
// handed it; the programs never set it. Tests use it to see a long name reach the system in its
// extended form, which a system without the classic limit (Wine) would accept either way.
extern void (*SystemNameHook)(const std::string& Name);
