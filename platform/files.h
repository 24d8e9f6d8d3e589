#pragma once

// File-system operations the system needs, with the framework's names and return conventions.

#include <cstdint>
#include <functional>
#include <string>

class TStream;

inline constexpr char PathDelim = '/';

bool FileExists(const std::string& FileName);   // a regular file (or a link to one)
bool DeleteFile(const std::string& FileName);   // true on success
bool RenameFile(const std::string& OldName, const std::string& NewName);  // never replaces
// Renames OldName to NewName, replacing a file of that name in one step: at every moment
// NewName is either the old file or the new one. true on success.
bool ReplaceFile(const std::string& OldName, const std::string& NewName);
std::int64_t FileSizeOf(const std::string& FileName);  // -1 when it cannot be read

// The extension is the text from the last "." that follows the last path delimiter.
std::string ExtractFileExt(const std::string& FileName);
// The name with its extension replaced (or Extension appended when it has none).
std::string ChangeFileExt(const std::string& FileName, const std::string& Extension);

// Full path of the running executable ("" if the platform cannot tell).
std::string GetModuleFileName();

// Creates FileName through a temporary file in the same folder: Write fills the stream, and only
// when it returns normally is the temporary renamed over FileName. On any failure the temporary
// is removed, an existing FileName is left exactly as it was, and the error is passed on.
// A temporary that cannot be created raises EFCreateError with FileName.
void WriteFileReplacing(const std::string& FileName, const std::function<void(TStream&)>& Write);
