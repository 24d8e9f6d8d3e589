#pragma once

// The About dialog on Windows: the program's name and revision and the maker's notice in a frame,
// and an Ok button, made from the dialog's control table. Modal over the main window, centred on
// it.

#include <windows.h>

#include <vector>

#include "app/core/window_controls.h"
#include "app/win32/win32_handles.h"

class TAboutForm {
 public:
  // Creates the dialog, hidden, centred on Owner and laid out for Owner's DPI.
  explicit TAboutForm(HWND Owner);
  ~TAboutForm();
  TAboutForm(const TAboutForm&) = delete;
  TAboutForm& operator=(const TAboutForm&) = delete;

  // Shows the dialog and returns when it closes: IDOK through its button (or Enter), IDCANCEL
  // through Esc or the close button; 0 when the program is quitting or the dialog was destroyed
  // with its owner.
  int ShowModal();

  HWND Handle() const { return FHandle; }
  // The window of a row of the dialog's table.
  HWND Control(TAboutControl Row) const { return FControls[static_cast<std::size_t>(Row)]; }

 private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  // Fonts, places and sizes of the controls at Dpi; returns the dialog's frame there (at 0, 0).
  RECT LayOut(UINT Dpi);

  HWND FOwner;
  HWND FHandle = nullptr;
  std::vector<HWND> FControls;
  TFontHandle FFont;
  int FResult = 0;
};
