#pragma once

// The file-system seam: every call the core makes to the operating system about files and
// folders. One implementation per operating system (os_files_posix.cpp, os_files_win32.cpp),
// chosen by the build; nothing outside those files includes an OS header for files.
//
// Common rules for every function below:
// - Names are UTF-8. An implementation whose OS wants another encoding converts at the call
//   (the Win32 form: UTF-16 and the wide-character calls).
// - No function throws. Failures are reported by the return value; the callers (streams,
//   files.h) turn them into the framework's exceptions.
// - A function that fails leaves the file system as it was, unless its contract says otherwise.
// - Interrupted system calls are retried inside; callers never see them.

#include <cstdint>
#include <string>

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

// An open file: a POSIX descriptor or a Win32 HANDLE, held in an integer wide enough for both.
using TOsFile = std::intptr_t;
inline constexpr TOsFile OsNoFile = -1;  // also INVALID_HANDLE_VALUE

enum class TOsAccess { Read, Write, ReadWrite };

// ---- Names -------------------------------------------------------------------------------

// True when Name is an existing regular file (following links). Folders, devices and missing
// names give false.
bool OsFileExists(const std::string& Name);

// Size in bytes of the file Name, or -1 when it cannot be examined.
std::int64_t OsFileSize(const std::string& Name);

// What tells one state of a file from another: which file the name reaches (volume and file
// number), its size and the time it was last written. A file replaced under its name, or written
// anew, gets another stamp.
struct TOsFileStamp {
  std::uint64_t Volume = 0;
  std::uint64_t Index = 0;
  std::int64_t Size = -1;
  std::int64_t WriteTime = 0;  // in the OS's own unit
  bool operator==(const TOsFileStamp&) const = default;
};

// The stamp of the regular file Name (following links); false when it cannot be examined.
// (POSIX stat: device, inode, size, modification time in nanoseconds; Win32
// GetFileInformationByHandle on a handle that shares everything.)
bool OsFileStampOf(const std::string& Name, TOsFileStamp& Stamp);

// Deletes the file Name (not a folder). True on success.
bool OsDeleteFile(const std::string& Name);

// Renames From to To, atomically replacing a file To that exists: at every moment To names
// either its old file or From's file, never nothing (POSIX rename; Win32 MoveFileExW with
// MOVEFILE_REPLACE_EXISTING). Both names are in the same folder. Afterwards From is gone, also
// when both names already reached the same file. True on success; on failure both names are as
// they were.
bool OsReplaceFile(const std::string& From, const std::string& To);

enum class TOsNoReplace {
  Done,    // the operation took place
  Exists,  // To exists (a file, a folder, anything): nothing was changed
  Failed,  // any other failure: nothing was changed
};

// Renames From to To only if nothing of the name To exists, atomically with that check: two
// processes doing this at once to the same To can never both succeed, and an existing To is
// never replaced (Linux renameat2 RENAME_NOREPLACE, else link + unlink of From; Win32
// MoveFileExW without MOVEFILE_REPLACE_EXISTING).
TOsNoReplace OsRenameNoReplace(const std::string& From, const std::string& To);

// Gives the file Existing the second name NewName (a hard link) in the same folder; NewName
// must not exist, and an existing NewName is never replaced (Exists). Afterwards both names
// reach the same file until one of them is replaced or deleted. Failed also when the file
// system has no hard links (FAT, some network shares); callers then fall back to a copy.
// (Win32: CreateHardLinkW.)
TOsNoReplace OsLinkNoReplace(const std::string& Existing, const std::string& NewName);

// Full path of the running program's executable, "" when the OS cannot tell.
std::string OsModuleFileName();

// ---- Open files ---------------------------------------------------------------------------

// Opens the existing file Name. With DenyWrite, other processes that open the file for
// writing are kept out while this handle is open (Win32: share mode FILE_SHARE_READ; POSIX: a
// shared advisory lock, which only cooperating programs respect), and the open fails when
// someone holds it open for writing in a way that forbids this. A folder is not a file: the
// open fails. OsNoFile on failure.
TOsFile OsOpenFile(const std::string& Name, TOsAccess Access, bool DenyWrite);

// Creates the file Name for reading and writing, or empties it if it exists (keeping its
// permissions). A new file gets the permissions an ordinary new file gets. OsNoFile on failure.
TOsFile OsCreateFile(const std::string& Name);

// Creates and opens (read and write) a new, empty file in the folder of Target whose name
// cannot be taken for a map or any other file of the system: it begins with ".veldrin-" and
// ends with ".tmp", e.g. "<folder>/.veldrin-save-1a2B3c.tmp" for Tag "save". The name is
// unique; an existing file is never opened. Its permissions are those of the file ModeOf when
// that exists, else those an ordinary new file gets (Win32: inherited from the folder, ModeOf
// ignored). The new name is stored in TempName. OsNoFile on failure (TempName then "").
TOsFile OsCreateTempBeside(const std::string& Target, const char* Tag, const std::string& ModeOf,
                           std::string& TempName);

// Moves up to Count bytes, repeating partial transfers; returns how many moved. A result below
// Count means end of file (Read) or an error.
std::int64_t OsReadFile(TOsFile File, void* Buffer, std::int64_t Count);
std::int64_t OsWriteFile(TOsFile File, const void* Buffer, std::int64_t Count);

enum class TOsSeek { Begin, Current, End };
// Moves the position; returns the new position, or -1 (position unchanged) on failure, e.g.
// for a negative result.
std::int64_t OsSeekFile(TOsFile File, std::int64_t Offset, TOsSeek Origin);
// Size of the open file in bytes, -1 on failure.
std::int64_t OsFileSizeOf(TOsFile File);
// Sets the size (cuts or extends with zero bytes); the position is not moved. True on success.
bool OsTruncateFile(TOsFile File, std::int64_t Size);
// Writes the file's data and size through to the disk before it returns (POSIX fsync; Win32
// FlushFileBuffers). True on success, and also where the file system has nothing to flush
// (it refuses the call as unsupported); false when the disk failed.
bool OsFlushFile(TOsFile File);
// Closes the handle (releasing what it holds); OsNoFile is ignored.
void OsCloseFile(TOsFile File);

// ---- Folders ------------------------------------------------------------------------------

// Makes the renames, links and deletions already done inside Folder survive a power cut (POSIX:
// fsync of the folder). On an OS whose renames are flushed with the file system's journal and
// that cannot flush a folder (Win32: MOVEFILE_WRITE_THROUGH does that work at the rename),
// succeeds doing nothing. "" means the current folder. True on success.
bool OsFlushFolder(const std::string& Folder);

enum class TOsLock {
  Acquired,     // the lock is ours until OsUnlockFolder (or until the process ends)
  Busy,         // another holder has it
  Unsupported,  // the folder cannot carry the lock (missing, read-only share, no locks)
};

// Tries, without waiting, to take the exclusive lock of the folder Folder that every process
// using this function sees. The lock belongs to the returned handle and is released by
// OsUnlockFolder or when the process ends in any way (killed included). Nothing the user
// could take for a map is left in the folder (POSIX: flock on the folder itself; Win32: a named
// semaphore of one count per folder, which goes away with its last handle).
TOsLock OsTryLockFolder(const std::string& Folder, TOsFile& Lock);
void OsUnlockFolder(TOsFile Lock);
