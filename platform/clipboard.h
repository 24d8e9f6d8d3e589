#pragma once

// The clipboard object of the picture framework. Data is held by format: every format but
// CF_PALETTE holds a global memory block (platform/globalmem.h), CF_PALETTE a palette handle.
// The store is in-process; a hook lets the window connect it to the desktop's clipboard.

#include <cstdint>
#include <map>

#include "platform/graphics.h"

inline constexpr std::uint16_t CF_TEXT = 1;
inline constexpr std::uint16_t CF_BITMAP = 2;
inline constexpr std::uint16_t CF_DIB = 8;
inline constexpr std::uint16_t CF_PALETTE = 9;

class TClipboard;

// Connects a clipboard to an outside one. Every call happens while the clipboard is open. An
// error a call raises passes on to the clipboard's caller; a store whose emptying failed frees
// the data it was handed.
class TClipboardHook {
 public:
  virtual ~TClipboardHook() = default;
  // Asked when a format is requested that the store does not hold: returns a new global block
  // (which the clipboard takes over and keeps) or 0 when the outside has no such data.
  virtual HGLOBAL Fetch(std::uint16_t Format) = 0;
  // Told after the store received data under a format; the data stays the clipboard's.
  virtual void Stored(std::uint16_t Format, THandle Data) = 0;
  // Told after the store was emptied.
  virtual void Cleared() = 0;
};

class TClipboard : public TPersistent {
 public:
  TClipboard() = default;
  ~TClipboard() override;
  TClipboard(const TClipboard&) = delete;
  TClipboard& operator=(const TClipboard&) = delete;
  const char* ClassName() const override { return "TClipboard"; }

  // Opens are counted; the clipboard is closed again by as many Close calls. Close on a
  // clipboard that is not open does nothing.
  void Open();
  void Close();
  bool IsOpen() const { return FOpenRefCount > 0; }

  // Frees everything held.
  void Clear();
  bool HasFormat(std::uint16_t Format);
  // The block held under Format, still owned by the clipboard; 0 if none.
  THandle GetAsHandle(std::uint16_t Format);
  // Hands Data over to the clipboard under Format (a palette handle for CF_PALETTE). The first
  // store within one open session empties the clipboard first. A handle of 0 stores nothing.
  void SetAsHandle(std::uint16_t Format, THandle Data);

  // From a picture: the picture's SaveToClipboardFormat, and its data (and palette, when it
  // returns one) stored in one session. Anything else: the inherited assignment.
  void Assign(TPersistent* Source) override;

  // Not owned; nullptr disconnects.
  void SetHook(TClipboardHook* Hook) { FHook = Hook; }
  TClipboardHook* GetHook() const { return FHook; }

 private:
  void Adding();
  void FreeAll();

  std::map<std::uint16_t, THandle> FData;
  TClipboardHook* FHook = nullptr;
  int FOpenRefCount = 0;
  bool FEmptied = false;
};

// The clipboard the program shares, created on first use.
TClipboard* Clipboard();
// Replaces the shared clipboard (not owned; nullptr brings back the built-in one); returns the
// previous one.
TClipboard* SetClipboard(TClipboard* NewClipboard);
