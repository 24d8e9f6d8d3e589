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
  const QString Title = QString::fromStdString(FTitle);
  const QString Start = QString::fromStdString(FStartFolder);
  const TFolderPicker& Picker = CurrentPicker();
  const QString Picked =
      Picker ? Picker(FOwner, Title, Start) : PlatformFolderPicker(FOwner, Title, Start);
  if (Picked.isEmpty()) return false;
  const QString Path = WithoutTrailingSeparator(Picked);
  // Only a folder of the file system can be confirmed.
  if (!QFileInfo(Path).isDir()) return false;
  FFolder = Path.toStdString();
  return true;
}

TBrowseFolder::TFolderPicker TBrowseFolder::SetFolderPicker(TFolderPicker Picker) {
  return std::exchange(CurrentPicker(), std::move(Picker));
}

QString TBrowseFolder::PlatformFolderPicker(QWidget* Owner, const QString& Title,
                                            const QString& StartFolder) {
  QFileDialog Dialog(Owner, Title);
  Dialog.setFileMode(QFileDialog::Directory);
  Dialog.setOption(QFileDialog::ShowDirsOnly);
  // The start folder is shown selected inside its parent, so that confirming at once returns it.
  if (!StartFolder.isEmpty()) {
    const QFileInfo Start(QDir::cleanPath(QDir::fromNativeSeparators(StartFolder)));
    Dialog.setDirectory(Start.absolutePath());
    if (!Start.fileName().isEmpty()) Dialog.selectFile(Start.fileName());
  }
  if (Dialog.exec() != QDialog::Accepted) return QString();
  return Dialog.selectedFiles().value(0);
}
