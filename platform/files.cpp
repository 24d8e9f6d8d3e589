#include "platform/files.h"

#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/temp_names.h"

bool FileExists(const std::string& FileName) { return OsFileExists(FileName); }

bool DeleteFile(const std::string& FileName) { return OsDeleteFile(FileName); }

// Like the platform's move: fails instead of replacing an existing file.
bool RenameFile(const std::string& OldName, const std::string& NewName) {
  return OsRenameNoReplace(OldName, NewName) == TOsNoReplace::Done;
}

std::int64_t FileSizeOf(const std::string& FileName) { return OsFileSize(FileName); }

std::string ExtractFileExt(const std::string& FileName) {
  const auto dot = FileName.rfind('.');
  // With "\" paths a drive's ":" ends the folder part as well, as in "C:MAP1.BMP".
  const auto delim = FileName.find_last_of(PathDelim == '\\' ? "\\:" : "/");
  if (dot == std::string::npos || (delim != std::string::npos && dot < delim)) return {};
  return FileName.substr(dot);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Extension) {
  const std::string ext = ExtractFileExt(FileName);
  return FileName.substr(0, FileName.size() - ext.size()) + Extension;
}

std::string GetModuleFileName() { return OsModuleFileName(); }

namespace {

// The folder part of FileName with its delimiter ("" for a bare name: the current folder).
std::string FolderOf(const std::string& FileName) {
  const auto delim = FileName.rfind(PathDelim);
  return delim == std::string::npos ? std::string() : FileName.substr(0, delim + 1);
}

// The name Name inside Folder ("" being the current folder; a root keeps its one delimiter).
std::string InFolder(const std::string& Folder, const std::string& Name) {
  if (Folder.empty()) return Name;
  const char last = Folder.back();
  const bool ended = last == PathDelim || (PathDelim == '\\' && (last == ':' || last == '/'));
  return ended ? Folder + Name : Folder + PathDelim + Name;
}

const char* ReasonOf(TOsFailure Why) {
  switch (Why) {
    case TOsFailure::InUse:
      return "他のプログラムが使用中です";
    case TOsFailure::ReadOnly:
      return "読み取り専用です";
    case TOsFailure::AccessDenied:
      return "アクセスが拒否されました";
    case TOsFailure::Other:
      break;
  }
  return nullptr;
}

// A flushed copy of Existing beside Target, with Existing's permissions.
std::string CopyBeside(const std::string& Existing, const std::string& Target) {
  TFileStream in(Existing, fmOpenRead | fmShareDenyWrite);
  return WriteTempBeside(Target, "copy", Existing, [&in](TStream& Out) { Out.CopyFrom(in, 0); });
}

// A second name for Existing beside Target: a hard link under a temporary name, or a copy.
std::string SecondNameBeside(const std::string& Existing, const std::string& Target) {
  std::string temp;
  const TOsFile claim = OsCreateTempBeside(Target, "link", "", temp);
  if (claim == OsNoFile) throw EFCreateError(Target);
  OsCloseFile(claim);
  OsDeleteFile(temp);
  if (OsLinkNoReplace(Existing, temp) == TOsNoReplace::Done) return temp;
  return CopyBeside(Existing, Target);
}

}  // namespace

std::string WriteTempBeside(const std::string& Target, const char* Tag, const std::string& ModeOf,
                            const std::function<void(TStream&)>& Write) {
  std::string temp;
  const TOsFile file = OsCreateTempBeside(Target, Tag, ModeOf, temp);
  if (file == OsNoFile) throw EFCreateError(Target);
  try {
    TFileStream stream(file, temp);
    Write(stream);
    stream.Flush();
  } catch (...) {
    OsDeleteFile(temp);
    throw;
  }
  return temp;
}

void MoveFileReplacing(const std::string& From, const std::string& To) {
  TOsFailure why = TOsFailure::Other;
  if (OsReplaceFile(From, To, &why)) return;
  if (const char* reason = ReasonOf(why)) throw EFReplaceError(To, reason);
  throw EFCreateError(To);
}

void WriteFileReplacing(const std::string& FileName, const std::function<void(TStream&)>& Write) {
  const std::string temp = WriteTempBeside(FileName, "write", FileName, Write);
  try {
    MoveFileReplacing(temp, FileName);
  } catch (...) {
    OsDeleteFile(temp);
    throw;
  }
  FlushFolderOf(FileName);
}

void WriteFileNoReplace(const std::string& FileName, const std::function<void(TStream&)>& Write) {
  const std::string temp = WriteTempBeside(FileName, "write", "", Write);
  if (OsRenameNoReplace(temp, FileName) != TOsNoReplace::Done) {
    OsDeleteFile(temp);
    throw EFCreateError(FileName);
  }
  FlushFolderOf(FileName);
}

bool KeepCopyNoReplace(const std::string& Existing, const std::string& NewName) {
  switch (OsLinkNoReplace(Existing, NewName)) {
    case TOsNoReplace::Done:
      return true;
    case TOsNoReplace::Exists:
      return false;
    case TOsNoReplace::Failed:
      break;
  }
  // No hard links here (or Existing is gone: the copy then raises EFOpenError).
  const std::string temp = CopyBeside(Existing, NewName);
  const TOsNoReplace result = OsRenameNoReplace(temp, NewName);
  if (result != TOsNoReplace::Done) OsDeleteFile(temp);
  if (result == TOsNoReplace::Failed) throw EFCreateError(NewName);
  return result == TOsNoReplace::Done;
}

void KeepCopyReplacing(const std::string& Existing, const std::string& NewName) {
  const std::string temp = SecondNameBeside(Existing, NewName);
  try {
    MoveFileReplacing(temp, NewName);
  } catch (...) {
    OsDeleteFile(temp);
    throw;
  }
}

void FlushFolderOf(const std::string& FileName) {
  if (!OsFlushFolder(FolderOf(FileName))) throw EWriteError();
}

TFolderLock::TFolderLock(const std::string& Folder, TTryLock TryLock)
    : FState(TryLock(Folder, FLock)) {
  if (FState != TOsLock::Acquired) return;
  for (const std::string& name : OsFolderEntries(Folder)) {
    if (IsTempFileName(name)) OsDeleteFile(InFolder(Folder, name));
  }
}

TFolderLock::~TFolderLock() {
  if (FLock != OsNoFile) OsUnlockFolder(FLock);
}
