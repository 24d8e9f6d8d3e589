#pragma once

// The main window on Windows: five buttons on a panel, the base and target map type boxes, the
// twelve map check boxes in their four groups and the status bar, made from the window's control
// table and laid out for the monitor's DPI.
// A view of the window model: the user's events go into the model, and the controls show the
// state it gives out.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/core/main_window_model.h"
#include "app/core/map_catalogue.h"
#include "app/win32/control_layout.h"
#include "app/win32/win32_handles.h"
#include "browsefl/browse_folder_win32.h"

class TForm1 : public TMainWindowView {
 public:
  // Creates the window, hidden, centred on the desktop's work area.
  TForm1();
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Shows the window; its first show brings the controls up to date.
  void Show(int CmdShow = SW_SHOWNORMAL);

  // Null once the window has been closed.
  HWND Handle() const { return FHandle; }
  // The window of a row of the window's table; null once the window is gone.
  HWND Control(TMainControl Row) const;
  UINT Dpi() const { return FDpi; }
  TMainWindowModel& Model() { return FModel; }
  const TMainWindowModel& Model() const { return FModel; }
  TBrowseFolder& BrowseFolder() { return FBrowseFolder; }

  // TMainWindowView
  void StateChanged() override;
  void StatusChanged(bool PaintNow) override;
  void PaintWindow() override;
  void ProcessMessages() override;
  std::optional<std::string> PickFolder(const std::string& Start) override;
  void ShowAbout() override;
  void ShowViewer(const std::string& FileName) override;
  void RequestClose() override;
  void ShowError(const std::string& Message) override;
  void HoldSessionEnd(bool Hold) override;
  TFocusTarget Focus() override;
  void SetFocus(TMainControl Target) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam);
  // Positions, sizes and fonts of every control at Dpi.
  void LayOut(UINT Dpi);

  // The user's actions.
  void ControlNotified(int Id, int Code);
  void MapBoxMenuRequested(POINT ScreenPos);
  bool KeyPressed(const MSG& Message);

  HWND FHandle;
  UINT FDpi = USER_DEFAULT_SCREEN_DPI;
  TFontHandle FFont;
  std::vector<HWND> FControls;  // one a row of the table
  TMainWindowModel FModel;
  TBrowseFolder FBrowseFolder;
};
