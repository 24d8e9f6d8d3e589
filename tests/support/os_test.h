#pragma once

// What the tests need of the operating system beyond the code under test, with one form per OS
// (os_test_posix.cpp, os_test_win32.cpp). Tests that make sense on one OS only ask OnWindows()
// and skip with their reason on the other.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/os_files.h"

namespace testsupport {

bool OnWindows();

// A name written with "/" as this OS writes it ("\\" on Windows).
inline std::string Native(std::string Name) {
  for (char& C : Name)
    if (C == '/') C = PathDelim;
  return Name;
}

// Address space that faults when touched until CommitReadWrite; for an OS layer of the memory
// manager's tests that proves nothing is touched before its commit.
void* ReserveNoAccess(std::size_t Size);
bool CommitReadWrite(void* Address, std::size_t Size);
bool ReleaseRange(void* Address, std::size_t Size);
// Whether the page that holds Address belongs to the process's address space.
bool PageMapped(const void* Address);

// Runs Body(k) for k = 0 .. Count - 1, each in a child process made by fork while this process
// may have other threads; the children begin Body together. Returns their exit statuses: 0 when
// Body returned, 2 when it threw, -1 when the child did not end normally within 10 seconds.
// CanFork() is false on Windows, which has no fork.
bool CanFork();
std::vector<int> RunForked(int Count, const std::function<void(int)>& Body);

// Has Fn called once at the very end of the process, after every static destructor and exit
// handler (the memory manager's shutdown included).
void CallAtProcessEnd(void (*Fn)());

struct TProgramResult {
  bool Started = false;
  int ExitCode = -1;     // the status the program ended with (-1 when it did not end normally)
  bool Aborted = false;  // ended through std::abort
  std::string Output;    // standard output and standard error together
};
// Runs a program with these arguments (UTF-8) and waits for it.
TProgramResult RunProgram(const std::vector<std::string>& Args);

// Limits the size of the files this process writes while it lives; a write past the limit fails
// as an ordinary write error. Supported() is false where the system has no such limit.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uint64_t Bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool Supported() const { return FSaved != nullptr; }

 private:
  struct Saved;
  std::unique_ptr<Saved> FSaved;
};

// A tiny file system (64 KiB) mounted on an empty folder while the object lives, so that a disk
// really runs full. Mounted() is false without the privilege (or on Windows).
class TinyFileSystem {
 public:
  explicit TinyFileSystem(const std::string& Folder);
  ~TinyFileSystem();
  TinyFileSystem(const TinyFileSystem&) = delete;
  TinyFileSystem& operator=(const TinyFileSystem&) = delete;
  bool Mounted() const { return FMounted; }

 private:
  std::string FFolder;
  bool FMounted = false;
};

// Makes a file immutable while the object lives (Linux, with the right to set that flag): it can
// be read but not linked or renamed. On() is false where that cannot be done (always on Windows).
class ImmutableFile {
 public:
  explicit ImmutableFile(const std::string& Name);
  ~ImmutableFile();
  ImmutableFile(const ImmutableFile&) = delete;
  ImmutableFile& operator=(const ImmutableFile&) = delete;
  bool On() const { return FOn; }

 private:
  int FFd = -1;
  int FFlags = 0;
  bool FOn = false;
};

// Makes a folder unwritable while the object lives; a process running as root also acts as an
// unprivileged user meanwhile, since root may write anywhere. On() is false where that cannot be
// done (always on Windows, whose folders have no such permission bits).
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const std::string& Folder);
  ~UnwritableFolder();
  UnwritableFolder(const UnwritableFolder&) = delete;
  UnwritableFolder& operator=(const UnwritableFolder&) = delete;
  bool On() const { return FOn; }

 private:
  std::string FFolder;
  bool FAsRoot = false;
  bool FOn = false;
};

// Holds a file open for reading while the object lives, as another program would: a viewer
// that lets others delete or rename the file meanwhile (AllowsDelete) or one that does not. On
// POSIX an open file never stands in the way; there both kinds are plain opens.
class HeldOpenFile {
 public:
  HeldOpenFile(const std::string& Name, bool AllowsDelete);
  ~HeldOpenFile();
  HeldOpenFile(const HeldOpenFile&) = delete;
  HeldOpenFile& operator=(const HeldOpenFile&) = delete;
  bool Open() const { return FFile != OsNoFile; }
  void Close();
  // What the held handle reads from the start of the file.
  std::vector<std::uint8_t> Read() const;

 private:
  TOsFile FFile = OsNoFile;
};

// Marks a file read-only (POSIX: no write permission; Win32: the read-only attribute).
bool MakeReadOnly(const std::string& Name);

// Windows attributes of a file: whether it is marked hidden, temporary, and "system" (one a user
// may set on a map); SetSystemAttribute marks it. False on POSIX, which has no such attributes.
struct TWindowsAttributes {
  bool Hidden = false, Temporary = false, System = false;
};
TWindowsAttributes AttributesOf(const std::string& Name);
bool SetSystemAttribute(const std::string& Name);

// A FIFO of that name (POSIX); false where there are none (Windows).
bool MakeFifo(const std::string& Name);

// Interrupts the thread that makes the object with a signal whose handler does not restart
// system calls, Times times, each time once that thread is blocked in the system call named
// Call ("openat") and the signal before has been handled; then, from a thread of its own,
// calls Release, which must let the blocked call return. Once the thread calls Returned (its call came back, failed or not),
// the object stops at once: a call that a signal made fail is not waited for, and Release is
// not called. Supported() is false on Windows, which has no such signals.
class SignalsWhileBlocked {
 public:
  SignalsWhileBlocked(int Times, const char* Call, std::function<void()> Release);
  ~SignalsWhileBlocked();
  SignalsWhileBlocked(const SignalsWhileBlocked&) = delete;
  SignalsWhileBlocked& operator=(const SignalsWhileBlocked&) = delete;
  bool Supported() const { return FState != nullptr; }
  void Returned();
  // How many signals were handled while the thread was blocked.
  int Delivered() const;

 private:
  struct State;
  std::unique_ptr<State> FState;
};

}  // namespace testsupport
