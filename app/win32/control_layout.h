#pragma once

// The windows' control tables as Win32 child windows: their identifiers, window classes and
// styles, and their places at a DPI.

#include <windows.h>

#include <span>
#include <vector>

#include "app/core/window_controls.h"

// The child-window identifier of a row: 100 + the row; a default button's is IDOK, which the
// dialog keyboard presses for Enter.
int ControlId(std::span<const TControlRow> Rows, int Row);
constexpr int ControlId(TMainControl Control) {
  return 100 + static_cast<int>(Control);
}
int ControlId(TAboutControl Control);

// Makes the child window of every row but the window's own under Form, in table order (which
// is also the tab order); returns one window a row, Form for row 0. A control that cannot be
// made raises EWin32Error.
std::vector<HWND> CreateChildControls(HWND Form, std::span<const TControlRow> Rows);

// Gives every control Font and its place at Dpi: a label as wide and high as its text, a centred
// label at least as high as the font's line, a combo box's field the row's height.
void LayOutControls(std::span<const TControlRow> Rows, const std::vector<HWND>& Controls,
                    HFONT Font, UINT Dpi);
