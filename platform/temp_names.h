#pragma once

// Names of the temporary files written beside a target: ".veldrin-<tag>-<6 letters or
// digits>.tmp". The dot hides them on POSIX, no map or backup name has this form, and a run
// holding the folder's lock can tell a leftover of a killed run by its name alone.

#include <string>

// A fresh name of that form for Tag (lower-case letters, e.g. "save"); the six characters
// differ from call to call and from process to process.
std::string TempFileName(const char* Tag);

// Whether Name (a bare name, no folder) has exactly that form.
bool IsTempFileName(const std::string& Name);
