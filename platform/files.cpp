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
  const auto Dot = FileName.rfind('.');
  // With "\" paths a drive's ":" ends the folder part as well, as in "C:MAP1.BMP".
  const auto Delim = FileName.find_last_of(PathDelim == '\\' ? "\\:" : "/");
  if (Dot == std::string::npos || (Delim != std::string::npos && Dot < Delim)) return {};
  return FileName.substr(Dot);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Extension) {
  const std::string Ext = ExtractFileExt(FileName);
  return FileName.substr(0, FileName.size() - Ext.size()) + Extension;
}

std::string GetModuleFileName() { return OsModuleFileName(); }

namespace {

// The folder part of FileName with its delimiter ("" for a bare name: the current folder).
std::string FolderOf(const std::string& FileName) {
  const auto Delim = FileName.rfind(PathDelim);
  return Delim == std::string::npos ? std::string() : FileName.substr(0, Delim + 1);
}

// The name Name inside Folder ("" being the current folder; a root keeps its one delimiter).
std::string InFolder(const std::string& Folder, const std::string& Name) {
  if (Folder.empty()) return Name;
  const char Last = Folder.back();
  const bool Ended = Last == PathDelim || (PathDelim == '\\' && (Last == ':' || Last == '/'));
  return Ended ? Folder + Name : Folder + PathDelim + Name;
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
  TFileStream In(Existing, fmOpenRead | fmShareDenyWrite);
  return WriteTempBeside(Target, "copy", Existing, [&In](TStream& Out) { Out.CopyFrom(In, 0); });
}

// A second name for Existing beside Target: a hard link under a temporary name, or a copy.
std::string SecondNameBeside(const std::string& Existing, const std::string& Target) {
  std::string Temp;
  const TOsFile Claim = OsCreateTempBeside(Target, "link", "", Temp);
  if (Claim == OsNoFile) throw EFCreateError(Target);
  OsCloseFile(Claim);
  OsDeleteFile(Temp);
  if (OsLinkNoReplace(Existing, Temp) == TOsNoReplace::Done) return Temp;
  return CopyBeside(Existing, Target);
}

}  // namespace

std::string WriteTempBeside(const std::string& Target, const char* Tag, const std::string& ModeOf,
                            const std::function<void(TStream&)>& Write) {
  std::string Temp;
  const TOsFile File = OsCreateTempBeside(Target, Tag, ModeOf, Temp);
  if (File == OsNoFile) throw EFCreateError(Target);
  try {
    TFileStream Stream(File, Temp);
    Write(Stream);
    Stream.Flush();
  } catch (...) {
    OsDeleteFile(Temp);
    throw;
  }
  return Temp;
}

void MoveFileReplacing(const std::string& From, const std::string& To) {
  TOsFailure Why = TOsFailure::Other;
  if (OsReplaceFile(From, To, &Why)) return;
  if (const char* Reason = ReasonOf(Why)) throw EFReplaceError(To, Reason);
  throw EFCreateError(To);
}

void WriteFileReplacing(const std::string& FileName, const std::function<void(TStream&)>& Write) {
  const std::string Temp = WriteTempBeside(FileName, "write", FileName, Write);
  try {
    MoveFileReplacing(Temp, FileName);
  } catch (...) {
    OsDeleteFile(Temp);
    throw;
  }
  FlushFolderOf(FileName);
}

void WriteFileNoReplace(const std::string& FileName, const std::function<void(TStream&)>& Write) {
  const std::string Temp = WriteTempBeside(FileName, "write", "", Write);
  if (OsRenameNoReplace(Temp, FileName) != TOsNoReplace::Done) {
    OsDeleteFile(Temp);
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
  const std::string Temp = CopyBeside(Existing, NewName);
  const TOsNoReplace Result = OsRenameNoReplace(Temp, NewName);
  if (Result != TOsNoReplace::Done) OsDeleteFile(Temp);
  if (Result == TOsNoReplace::Failed) throw EFCreateError(NewName);
  return Result == TOsNoReplace::Done;
}

void KeepCopyReplacing(const std::string& Existing, const std::string& NewName) {
  const std::string Temp = SecondNameBeside(Existing, NewName);
  try {
    MoveFileReplacing(Temp, NewName);
  } catch (...) {
    OsDeleteFile(Temp);
    throw;
  }
}

void FlushFolderOf(const std::string& FileName) {
  if (!OsFlushFolder(FolderOf(FileName))) throw EWriteError();
}

TFolderLock::TFolderLock(const std::string& Folder, TTryLock TryLock)
    : FState(TryLock(Folder, FLock)) {
  if (FState != TOsLock::Acquired) return;
  for (const std::string& Name : OsFolderEntries(Folder)) {
    if (IsTempFileName(Name)) OsDeleteFile(InFolder(Folder, Name));
  }
}

TFolderLock::~TFolderLock() {
  if (FLock != OsNoFile) OsUnlockFolder(FLock);
}
