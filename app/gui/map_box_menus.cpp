#include "app/gui/map_box_menus.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <exception>

#include "app/core/restore.h"
#include "app/gui/error_display.h"
#include "app/gui/main_form.h"
#include "app/gui/map_viewer.h"
#include "platform/files.h"

namespace {

QAction* AddEntry(QMenu& Menu, const char* Name, const char* Caption) {
  QAction* Entry = Menu.addAction(QString::fromUtf8(Caption));
  Entry->setObjectName(QString::fromLatin1(Name));
  return Entry;
}

}  // namespace

TMapBoxMenus::TMapBoxMenus(TForm1* Form) : QObject(Form), FForm(Form) {
  setObjectName(QStringLiteral("MapBoxMenus"));
  for (const auto& Row : Form->MapCBoxes) {
    for (QCheckBox* Box : Row) Box->installEventFilter(this);
  }
}

std::string TMapBoxMenus::BaseName(Facet F, MapScale S) const {
  return GetBaseFileName(FForm->MapFolder, F, FForm->GetBaseMapType(), S);
}

std::string TMapBoxMenus::ResultName(Facet F, MapScale S) const {
  std::string Main, Second;
  GetTrgFileNames(FForm->MapFolder, F, FForm->GetTrgMapType(), S, Main, Second);
  return Main;
}

std::unique_ptr<QMenu> TMapBoxMenus::CreateMenu(Facet F, MapScale S) {
  auto Menu = std::make_unique<QMenu>(FForm);
  Menu->setObjectName(QStringLiteral("MapBoxMenu"));
  if (FileExists(BaseName(F, S))) {
    connect(AddEntry(*Menu, "ShowBaseMapItem", "ベースマップを表示(&B)"), &QAction::triggered, this,
            [this, F, S] { ShowBaseMap(F, S); });
  }
  if (FileExists(ResultName(F, S))) {
    connect(AddEntry(*Menu, "ShowResultItem", "グリッドマップを表示(&G)"), &QAction::triggered,
            this, [this, F, S] { ShowResult(F, S); });
  }
  if (!FForm->IsRunning() && HasBackup(FForm->MapFolder, F, FForm->GetTrgMapType(), S)) {
    connect(AddEntry(*Menu, "RestoreItem", "バックアップから復元(&R)"), &QAction::triggered, this,
            [this, F, S] { RestoreFromBackup(F, S); });
  }
  if (Menu->isEmpty()) return nullptr;
  return Menu;
}

void TMapBoxMenus::ShowViewer(const std::string& FileName) {
  try {
    TMapViewer* Viewer = TMapViewer::Show(FileName, FForm);
    // A viewer left open does not keep the program running once the main window has closed.
    Viewer->setAttribute(Qt::WA_QuitOnClose, false);
  } catch (const std::exception& Error) {
    ShowErrorMessage(FForm, QString::fromUtf8(Error.what()));
  }
}

void TMapBoxMenus::ShowBaseMap(Facet F, MapScale S) {
  ShowViewer(BaseName(F, S));
}

void TMapBoxMenus::ShowResult(Facet F, MapScale S) {
  ShowViewer(ResultName(F, S));
}

void TMapBoxMenus::RestoreFromBackup(Facet F, MapScale S) {
  // A menu that popped up before a run began may still offer this.
  if (FForm->IsRunning()) return;
  try {
    RestoreMap(FForm->MapFolder, F, FForm->GetTrgMapType(), S);
    FForm->SetStatusText(GetMapDisplayName(F, S) + RestoredText);
  } catch (const std::exception& Error) {
    ShowErrorMessage(FForm, QString::fromUtf8(Error.what()));
  }
}

bool TMapBoxMenus::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() != QEvent::ContextMenu) return false;
  for (int F = 0; F < FacetCount; ++F) {
    for (int S = 0; S < MapScaleCount; ++S) {
      if (FForm->MapCBoxes[F][S] != Watched) continue;
      // Popped up without a nested event loop: a run goes on while the menu is open.
      if (std::unique_ptr<QMenu> Menu =
              CreateMenu(static_cast<Facet>(F), static_cast<MapScale>(S))) {
        QMenu* Shown = Menu.release();
        connect(Shown, &QMenu::aboutToHide, Shown, &QObject::deleteLater);
        Shown->popup(static_cast<QContextMenuEvent*>(Event)->globalPos());
      }
      return true;
    }
  }
  return false;
}
