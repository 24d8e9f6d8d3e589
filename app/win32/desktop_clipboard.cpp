#include "app/win32/desktop_clipboard.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <type_traits>

namespace {

// Another program (the desktop's clipboard manager, say) may hold the clipboard for a moment.
constexpr int OpenAttempts = 20;
constexpr DWORD OpenRetryMs = 10;

// Whether a TDesktopClipboardSession of this thread holds the clipboard open.
thread_local bool SessionOpen = false;

bool OpenWithRetries(HWND Owner) {
  for (int Attempt = 0; Attempt < OpenAttempts; ++Attempt) {
    if (Attempt > 0) ::Sleep(OpenRetryMs);
    if (::OpenClipboard(Owner)) return true;
  }
  return false;
}

// The clipboard open for a window for the life of the object, or the session's.
class TOpenedClipboard {
 public:
  explicit TOpenedClipboard(HWND Owner)
      : FInSession(SessionOpen), FOpen(FInSession || OpenWithRetries(Owner)) {}
  ~TOpenedClipboard() {
    if (FOpen && !FInSession) ::CloseClipboard();
  }
  TOpenedClipboard(const TOpenedClipboard&) = delete;
  TOpenedClipboard& operator=(const TOpenedClipboard&) = delete;

  bool IsOpen() const { return FOpen; }

 private:
  bool FInSession;
  bool FOpen;
};

struct TGlobalFree {
  void operator()(HGLOBAL Block) const { ::GlobalFree(Block); }
};
using TGlobalBlock = std::unique_ptr<std::remove_pointer_t<HGLOBAL>, TGlobalFree>;

// A global block's bytes, locked for the life of the object (nullptr when it cannot be locked).
class TGlobalLock {
 public:
  explicit TGlobalLock(HGLOBAL Block) : FBlock(Block), FBytes(::GlobalLock(Block)) {}
  ~TGlobalLock() {
    if (FBytes) ::GlobalUnlock(FBlock);
  }
  TGlobalLock(const TGlobalLock&) = delete;
  TGlobalLock& operator=(const TGlobalLock&) = delete;

  void* Bytes() const { return FBytes; }

 private:
  HGLOBAL FBlock;
  void* FBytes;
};

}  // namespace

TDesktopClipboardSession::TDesktopClipboardSession(HWND Owner) {
  if (SessionOpen) return;
  if (!OpenWithRetries(Owner)) throw EClipboardError();
  SessionOpen = FOwns = true;
}

TDesktopClipboardSession::~TDesktopClipboardSession() {
  if (!FOwns) return;
  SessionOpen = false;
  ::CloseClipboard();
}

void DesktopClipboardEmpty(HWND Owner) {
  const TOpenedClipboard Opened(Owner);
  if (!Opened.IsOpen() || !::EmptyClipboard()) throw EClipboardError();
}

void DesktopClipboardPut(HWND Owner, std::uint16_t Format, const void* Bytes, std::size_t Size) {
  TGlobalBlock Block(::GlobalAlloc(GMEM_MOVEABLE, Size));
  if (!Block) throw EOutOfMemory();
  {
    const TGlobalLock Lock(Block.get());
    if (!Lock.Bytes()) throw EOutOfMemory();
    std::memcpy(Lock.Bytes(), Bytes, Size);
  }
  const TOpenedClipboard Opened(Owner);
  if (!Opened.IsOpen() || !::SetClipboardData(Format, Block.get())) throw EClipboardError();
  // The clipboard owns the block now.
  static_cast<void>(Block.release());
}

bool DesktopClipboardGet(HWND Owner, std::uint16_t Format,
                         const std::function<void*(std::size_t Size)>& Place) {
  const TOpenedClipboard Opened(Owner);
  if (!Opened.IsOpen()) return false;
  // The block stays the clipboard's.
  const HGLOBAL Block = ::GetClipboardData(Format);
  if (!Block) return false;
  const TGlobalLock Lock(Block);
  if (!Lock.Bytes()) return false;
  const std::size_t Size = ::GlobalSize(Block);
  void* Target = Place(Size);
  if (!Target) return false;
  std::memcpy(Target, Lock.Bytes(), Size);
  return true;
}
