#pragma once

// A non-visual component that lets the user pick a folder with the platform's folder picker
// (the Qt form; its Win32 twin in browse_folder_win32.h has the same interface). Texts are
// UTF-8, as everywhere in the program.

#include <QObject>
#include <functional>
#include <string>

class QWidget;

class TBrowseFolder : public QObject {
 public:
  // Shows a modal folder picker over Owner with Title above it and StartFolder selected (empty:
  // none); returns the confirmed folder, or an empty text when the user cancels.
  using TFolderPicker = std::function<std::string(QWidget* Owner, const std::string& Title,
                                                  const std::string& StartFolder)>;

  // Owner is the window the picker is modal over; it also owns the component.
  explicit TBrowseFolder(QWidget* Owner);

  const std::string& GetTitle() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  const std::string& GetStartFolder() const { return FStartFolder; }
  void SetStartFolder(const std::string& Value) { FStartFolder = Value; }
  // The folder confirmed by the last Execute; empty before and after a cancelled one.
  const std::string& GetFolder() const { return FFolder; }

  // Shows the picker. True when the user confirmed an existing folder (then Folder holds its
  // path: the root keeps its separator, any other folder has none), false when the user
  // cancelled (then Folder is empty).
  bool Execute();

  // The picker every TBrowseFolder uses; replaceable so that tests need no modal dialog.
  // Setting an empty function restores the platform's picker. Returns the previous picker.
  static TFolderPicker SetFolderPicker(TFolderPicker Picker);
  // The platform's picker: Qt's folder dialog showing folders only, opened on the start
  // folder's parent with the start folder selected.
  static std::string PlatformFolderPicker(QWidget* Owner, const std::string& Title,
                                          const std::string& StartFolder);

 private:
  QWidget* FOwner;
  std::string FFolder;
  std::string FStartFolder;
  std::string FTitle;
};
