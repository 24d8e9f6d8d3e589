#pragma once

// The main window on Windows: five buttons on a panel, the base and target map type boxes, the
// twelve map check boxes in their four groups and the status bar, laid out for the monitor's DPI.

#include <windows.h>

#include "app/core/map_catalogue.h"
#include "app/win32/control_layout.h"
#include "app/win32/win32_handles.h"

class TForm1 {
 public:
  // Creates the window, hidden, centred on the desktop's work area.
  TForm1();
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Shows the window; its first show brings the controls up to date.
  void Show(int CmdShow = SW_SHOWNORMAL);

  HWND Handle() const { return FHandle; }
  // The control of Id (TControlId); null once the window is gone.
  HWND Control(int Id) const;
  HWND MapCBox(Facet F, MapScale S) const { return Control(MapCBoxId(F, S)); }
  UINT Dpi() const { return FDpi; }

 private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam);
  void CreateControls();
  // Positions, sizes and fonts of every control at Dpi.
  void LayOut(UINT Dpi);

  HWND FHandle = nullptr;
  UINT FDpi = USER_DEFAULT_SCREEN_DPI;
  TFontHandle FFont;
};
