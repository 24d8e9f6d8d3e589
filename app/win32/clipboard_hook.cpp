#include "app/win32/clipboard_hook.h"

#include "app/core/map_view.h"
#include "app/win32/desktop_clipboard.h"
#include "bigbitmap/bigbitmap.h"
#include "platform/clipboard.h"
#include "platform/globalmem.h"

namespace {

// One lock on a block of the program's own global memory for the life of the object.
class TBlockLock {
 public:
  explicit TBlockLock(HGLOBAL Block) : FBlock(Block), FBytes(GlobalLock(Block)) {}
  ~TBlockLock() {
    if (FBytes) GlobalUnlock(FBlock);
  }
  TBlockLock(const TBlockLock&) = delete;
  TBlockLock& operator=(const TBlockLock&) = delete;

  void* Bytes() const { return FBytes; }

 private:
  HGLOBAL FBlock;
  void* FBytes;
};

class TDesktopClipboardHook : public TClipboardHook {
 public:
  explicit TDesktopClipboardHook(HWND__* Owner) : FOwner(Owner) {}

  HGLOBAL Fetch(std::uint16_t Format) override {
    HGLOBAL Block = 0;
    const bool Fetched = DesktopClipboardGet(FOwner, Format, [&Block](std::size_t Size) -> void* {
      Block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, Size);
      if (Block == 0) throw EOutOfMemory();
      const TBlockLock Lock(Block);
      // Stays valid after the unlock: a block of ours never moves.
      return Lock.Bytes();
    });
    if (!Fetched && Block != 0) {
      GlobalFree(Block);
      Block = 0;
    }
    return Block;
  }

  void Stored(std::uint16_t Format, THandle Data) override {
    // Palettes stay in the program: a device-independent bitmap carries its own colours.
    if (Format == CF_PALETTE) return;
    const TBlockLock Lock(Data);
    if (!Lock.Bytes()) throw EOutOfMemory();
    DesktopClipboardPut(FOwner, Format, Lock.Bytes(), GlobalSize(Data));
  }

  void Cleared() override { DesktopClipboardEmpty(FOwner); }

 private:
  HWND__* FOwner;
};

}  // namespace

std::unique_ptr<TClipboardHook> NewDesktopClipboardHook(HWND__* Owner) {
  return std::make_unique<TDesktopClipboardHook>(Owner);
}

void CopyMapToClipboard(const TMapView& View, HWND__* Owner) {
  if (!View.HasMap()) return;
  // A clipboard object of this call's own: the desktop's clipboard keeps its copy, and the
  // program's copy (as large as the map) goes with the object.
  TClipboard Board;
  const std::unique_ptr<TClipboardHook> Hook = NewDesktopClipboardHook(Owner);
  Board.SetHook(Hook.get());
  // Emptied and filled in one session: one change, with no other program in between.
  const TDesktopClipboardSession Session(Owner);
  Board.Assign(View.Map());
}
