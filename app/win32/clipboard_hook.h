#pragma once

// The program's clipboard object connected to the desktop's clipboard: what is stored on it goes
// to the desktop's clipboard as a copy in a global block of the system's own, and a format it
// does not hold is fetched from there. Readable beside windows.h.

#include <memory>

struct HWND__;
class TClipboardHook;
class TMapView;

// A hook for a TClipboard (TClipboard::SetHook); Owner is the window that owns the data put on
// the desktop's clipboard. Its calls raise what the desktop clipboard's calls raise.
std::unique_ptr<TClipboardHook> NewDesktopClipboardHook(HWND__* Owner);

// Puts the map View shows on the desktop's clipboard as a device-independent bitmap (CF_DIB),
// in place of whatever the clipboard held. Nothing without a map.
void CopyMapToClipboard(const TMapView& View, HWND__* Owner);
