#pragma once

// The message loop of the program and the processing of pending messages during a run, both
// with the keyboard of a dialog: Tab and Shift+Tab through the controls, arrow keys inside a
// group, Alt with a button's letter, Space and Enter on the focused button.

#include <windows.h>

// Runs until WM_QUIT; returns its exit code.
int RunMessageLoop();
// Dispatches every message pending now and returns. A WM_QUIT met on the way is posted again for
// the loop below, and PumpPendingMessages returns false.
bool PumpPendingMessages();
// Runs until Done() holds or WM_QUIT comes (posted again; then false): the loop of a modal
// window.
bool RunModalLoop(bool (*Done)(void* Context), void* Context);
