#pragma once

// A non-visual component that lets the user pick a folder with the shell's folder picker (the
// Windows form; its Qt twin in browse_folder_qt.h has the same interface). Texts are UTF-8, as
// everywhere in the program; the shell's UTF-16 is converted at its calls. The program
// initialises COM, apartment threaded, before the first Execute.

#include <windows.h>

#include <functional>
#include <string>

class TBrowseFolder {
 public:
  // Shows a modal folder picker over Owner with Title above it and StartFolder selected (empty:
  // none); returns the confirmed folder, or an empty text when the user cancels.
  using TFolderPicker = std::function<std::string(HWND Owner, const std::string& Title,
                                                  const std::string& StartFolder)>;

  // Owner is the window the picker is modal over; it also owns the component.
  explicit TBrowseFolder(HWND Owner) : FOwner(Owner) {}

  const std::string& GetTitle() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  const std::string& GetStartFolder() const { return FStartFolder; }
  void SetStartFolder(const std::string& Value) { FStartFolder = Value; }
  // The folder confirmed by the last Execute; empty before and after a cancelled one.
  const std::string& GetFolder() const { return FFolder; }

  // Shows the picker. True when the user confirmed a folder (then Folder holds its path as the
  // shell gives it: a drive root ends in "\", any other folder does not), false when the user
  // cancelled (then Folder is empty).
  bool Execute();

  // The picker every TBrowseFolder uses; replaceable so that tests need no modal dialog.
  // Setting an empty function restores the shell's picker. Returns the previous picker.
  static TFolderPicker SetFolderPicker(TFolderPicker Picker);
  // The shell's picker: file-system folders only, a status line, the start folder selected
  // when it opens.
  static std::string PlatformFolderPicker(HWND Owner, const std::string& Title,
                                          const std::string& StartFolder);

 private:
  HWND FOwner;
  std::string FFolder;
  std::string FStartFolder;
  std::string FTitle;
};
