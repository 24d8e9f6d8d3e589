#pragma once

// The message loops of the program and of its modal windows, and the processing of pending
// messages during a run, all with the keyboard of a dialog: Tab and Shift+Tab through the
// controls, arrow keys inside a group, Space and Enter on the focused button.

#include <windows.h>

// The message sent to the top-level window of every message before the dialog keyboard sees it
// (LParam: the MSG); a window that returns nonzero has used the message up. A registered
// message, so that no window takes it for one of its own.
UINT PreTranslateMessageId();

// Dispatches every message pending now and returns. A WM_QUIT met on the way is posted again for
// the loop below, and PumpPendingMessages returns false.
bool PumpPendingMessages();
// Runs until Done() holds or WM_QUIT comes (posted again; then false): the program's loop (until
// the main window is gone) and that of a modal window.
bool RunModalLoop(bool (*Done)(void* Context), void* Context);
