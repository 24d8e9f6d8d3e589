#pragma once

// The desktop's clipboard through the Win32 calls, with the data as plain bytes: each call opens
// the clipboard for Owner (a window of this program, which owns what it puts there), does its
// work and closes it again. Readable beside the picture framework, which has global memory
// blocks and a clipboard of its own under the same names as windows.h.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/exceptions.h"

struct HWND__;

// Raised when the clipboard cannot be opened (another program holds it) or refuses the data.
inline constexpr const char* SClipboardBusy = "クリップボードを開けません";
class EClipboardError : public Exception {
 public:
  EClipboardError() : Exception(SClipboardBusy) {}
};

// The clipboard open for Owner while the object lives, so that the calls below made by this
// thread meanwhile are one session: one change for the clipboard's listeners and its history,
// and no other program in between. Raises EClipboardError (SClipboardBusy).
class TDesktopClipboardSession {
 public:
  explicit TDesktopClipboardSession(HWND__* Owner);
  ~TDesktopClipboardSession();
  TDesktopClipboardSession(const TDesktopClipboardSession&) = delete;
  TDesktopClipboardSession& operator=(const TDesktopClipboardSession&) = delete;

 private:
  bool FOwns = false;  // false inside a session that was open already
};

// Each call opens and closes the clipboard for itself, unless a session is open.
// Empties the clipboard and makes Owner its owner. Raises EClipboardError (SClipboardBusy).
void DesktopClipboardEmpty(HWND__* Owner);
// Adds Size bytes under Format, copied into a global block that the clipboard then owns. The
// clipboard is owned by Owner (emptied by it before). Raises EClipboardError (SClipboardBusy),
// or EOutOfMemory when no block of that size can be had.
void DesktopClipboardPut(HWND__* Owner, std::uint16_t Format, const void* Bytes, std::size_t Size);
// The data held under Format: Place(Size) gives where its Size bytes are copied (nullptr: not
// copied). False when the clipboard holds no such data or cannot be opened.
bool DesktopClipboardGet(HWND__* Owner, std::uint16_t Format,
                         const std::function<void*(std::size_t Size)>& Place);
