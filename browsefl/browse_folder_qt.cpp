#include "browsefl/browse_folder_qt.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>
#include <utility>

namespace {

TBrowseFolder::TFolderPicker& CurrentPicker() {
  static TBrowseFolder::TFolderPicker Picker;
  return Picker;
}

// Drops trailing separators, except the one that is the whole root folder.
QString WithoutTrailingSeparator(QString Path) {
  while (Path.size() > 1 && Path.endsWith(QLatin1Char('/'))) Path.chop(1);
  return Path;
}

}  // namespace

TBrowseFolder::TBrowseFolder(QWidget* Owner) : QObject(Owner), FOwner(Owner) {}

bool TBrowseFolder::Execute() {
  FFolder.clear();
  const TFolderPicker& Picker = CurrentPicker();
  const std::string Picked = Picker ? Picker(FOwner, FTitle, FStartFolder)
                                    : PlatformFolderPicker(FOwner, FTitle, FStartFolder);
  if (Picked.empty()) return false;
  const QString Path = WithoutTrailingSeparator(QString::fromStdString(Picked));
  // Only a folder of the file system can be confirmed.
  if (!QFileInfo(Path).isDir()) return false;
  FFolder = Path.toStdString();
  return true;
}

TBrowseFolder::TFolderPicker TBrowseFolder::SetFolderPicker(TFolderPicker Picker) {
  return std::exchange(CurrentPicker(), std::move(Picker));
}

std::string TBrowseFolder::PlatformFolderPicker(QWidget* Owner, const std::string& Title,
                                                const std::string& StartFolder) {
  QFileDialog Dialog(Owner, QString::fromStdString(Title));
  Dialog.setFileMode(QFileDialog::Directory);
  Dialog.setOption(QFileDialog::ShowDirsOnly);
  // The start folder is shown selected inside its parent, so that confirming at once returns it.
  if (!StartFolder.empty()) {
    const QFileInfo Start(
        QDir::cleanPath(QDir::fromNativeSeparators(QString::fromStdString(StartFolder))));
    Dialog.setDirectory(Start.absolutePath());
    if (!Start.fileName().isEmpty()) Dialog.selectFile(Start.fileName());
  }
  if (Dialog.exec() != QDialog::Accepted) return {};
  return Dialog.selectedFiles().value(0).toStdString();
}
