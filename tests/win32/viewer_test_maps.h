#pragma once

// Map files for the Win32 viewer's tests and what a point-sampled view of them shows. Readable
// beside windows.h and beside the picture framework alike.

#include <cstdint>
#include <string>
#include <vector>

struct HWND__;

namespace win32test {

// The colour of palette entry Index as 0x00BBGGRR.
std::uint32_t MapColour(int Index);
// The palette index of map pixel (X, Y); neighbouring pixels always differ, so a picture one
// pixel off shows.
int MapIndex(int X, int Y);
// An 8-bit map of Width x Height pixels whose pixel (X, Y) is entry (MapIndex + Shift) % 251,
// with a table of 256 entries: what a save of the large bitmap writes, so that its bytes after
// the 14-byte file header are the map's device-independent bitmap.
std::vector<std::uint8_t> MapFileBytes(int Width, int Height, int Shift = 0);
void WriteMap(const std::string& Name, int Width, int Height, int Shift = 0);

// A window of this program, usable as the owner of what goes on the desktop's clipboard.
HWND__* ClipboardTestOwner();

}  // namespace win32test
