#include "platform/files.h"

#include "platform/exceptions.h"
#include "platform/streams.h"

bool FileExists(const std::string& FileName) { return OsFileExists(FileName); }

bool DeleteFile(const std::string& FileName) { return OsDeleteFile(FileName); }

// Like the platform's move: fails instead of replacing an existing file.
bool RenameFile(const std::string& OldName, const std::string& NewName) {
  return OsRenameNoReplace(OldName, NewName) == TOsNoReplace::Done;
}

std::int64_t FileSizeOf(const std::string& FileName) { return OsFileSize(FileName); }

std::string ExtractFileExt(const std::string& FileName) {
  const auto dot = FileName.rfind('.');
  const auto delim = FileName.rfind(PathDelim);
  if (dot == std::string::npos || (delim != std::string::npos && dot < delim)) return {};
  return FileName.substr(dot);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Extension) {
  const std::string ext = ExtractFileExt(FileName);
  return FileName.substr(0, FileName.size() - ext.size()) + Extension;
}

std::string GetModuleFileName() { return OsModuleFileName(); }

void WriteFileReplacing(const std::string& FileName, const std::function<void(TStream&)>& Write) {
  std::string temp;
  const TOsFile file = OsCreateTempBeside(FileName, "write", FileName, temp);
  if (file == OsNoFile) throw EFCreateError(FileName);
  try {
    {
      TFileStream stream(file, temp);
      Write(stream);
    }
    if (!OsReplaceFile(temp, FileName)) throw EFCreateError(FileName);
  } catch (...) {
    OsDeleteFile(temp);
    throw;
  }
}
