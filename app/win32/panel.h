#pragma once

// A plain container window with a lowered one-pixel bevel inside its edge: the main window's
// button bar and the About dialog's frame. It hands its controls' notifications on to its own
// parent, so that they reach the window that acts on them.

#include <windows.h>

// The window class, registered on first use for the life of the program.
const wchar_t* PanelClassName();
