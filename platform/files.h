#pragma once

// File-system operations the system needs, with the framework's names and return conventions.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/os_files.h"

class TStream;

bool FileExists(const std::string& FileName);  // a regular file (or a link to one)
bool DeleteFile(const std::string& FileName);  // true on success
bool RenameFile(const std::string& OldName, const std::string& NewName);  // never replaces
std::int64_t FileSizeOf(const std::string& FileName);  // -1 when it cannot be read

// The extension is the text from the last "." that follows the last path delimiter.
std::string ExtractFileExt(const std::string& FileName);
// The name with its extension replaced (or Extension appended when it has none).
std::string ChangeFileExt(const std::string& FileName, const std::string& Extension);

// Full path of the running executable ("" if the platform cannot tell).
std::string GetModuleFileName();

// Durable writes. Every new file is written beside its target, flushed to the disk and only
// then renamed into place, so that a file that existed is never missing or half-written at any
// moment, whatever stops the program; the folder is flushed after the renames.

// A new file beside Target (see OsCreateTempBeside for its name) holding what Write puts into
// it, flushed; its permissions are those of ModeOf (or of an ordinary new file). Returns its
// name. On failure the temporary is removed and the error is passed on; one that cannot be
// created raises EFCreateError with Target.
std::string WriteTempBeside(const std::string& Target, const char* Tag, const std::string& ModeOf,
                            const std::function<void(TStream&)>& Write);

// Renames From to To, replacing a file To atomically (OsReplaceFile). On failure both are as
// they were and EFReplaceError says why (in use, read-only, access denied), or EFCreateError with
// To when the system gives no reason worth telling; From is not deleted.
void MoveFileReplacing(const std::string& From, const std::string& To);

// Creates FileName through WriteTempBeside (keeping the permissions of an existing FileName)
// and an atomic replace; then flushes the folder. On any failure an existing FileName is left
// exactly as it was, no temporary stays, and the error is passed on.
void WriteFileReplacing(const std::string& FileName, const std::function<void(TStream&)>& Write);

// The same, but only while no file of that name exists: an existing FileName is never replaced,
// whatever other processes do at the same moment (EFCreateError with FileName).
void WriteFileNoReplace(const std::string& FileName, const std::function<void(TStream&)>& Write);

// Gives the file Existing the name NewName as well, unless anything of that name exists; never
// replaces, whatever other processes do at the same moment. A hard link where the file system
// has them, else a flushed copy. True when NewName was made, false when it existed. A missing
// Existing raises EFOpenError, a name that cannot be made EFCreateError with NewName.
bool KeepCopyNoReplace(const std::string& Existing, const std::string& NewName);
// The same, but an existing NewName is replaced atomically by the second name of Existing.
void KeepCopyReplacing(const std::string& Existing, const std::string& NewName);

// Makes the renames done in the folder of FileName durable; EWriteError when the disk fails.
void FlushFolderOf(const std::string& FileName);

// The folder lock of OsTryLockFolder, held while the object lives. A folder that cannot carry
// the lock is worked on without one. Holding the lock of a local folder, no other run writes
// there, so the temporaries that a killed run left (temp_names.h) are deleted at once; in a
// network folder they may be another machine's and stay.
class TFolderLock {
 public:
  // How the lock is tried: OsTryLockFolder; a test may give a stand-in that reports a state.
  using TTryLock = TOsLock (*)(const std::string& Folder, TOsFile& Lock);
  explicit TFolderLock(const std::string& Folder, TTryLock TryLock = OsTryLockFolder);
  ~TFolderLock();
  TFolderLock(const TFolderLock&) = delete;
  TFolderLock& operator=(const TFolderLock&) = delete;
  // Another holder has the folder: this object holds nothing.
  bool Busy() const { return FState == TOsLock::Busy; }
  // Acquired, LocalOnly (other machines are not kept out), Busy, or Unsupported (no lock).
  TOsLock State() const { return FState; }

 private:
  TOsFile FLock = OsNoFile;
  TOsLock FState;
};
