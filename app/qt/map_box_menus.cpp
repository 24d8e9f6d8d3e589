#include "app/qt/map_box_menus.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <exception>

#include "app/core/main_window_model.h"
#include "app/qt/error_display.h"
#include "app/qt/map_viewer.h"

TMapBoxMenus::TMapBoxMenus(QWidget* Form, TMainWindowModel& Model,
                           QCheckBox* const (&Boxes)[FacetCount][MapScaleCount])
    : QObject(Form), FForm(Form), FModel(Model) {
  setObjectName(QStringLiteral("MapBoxMenus"));
  for (int F = 0; F < FacetCount; ++F) {
    for (int S = 0; S < MapScaleCount; ++S) {
      FBoxes[F][S] = Boxes[F][S];
      FBoxes[F][S]->installEventFilter(this);
    }
  }
}

std::unique_ptr<QMenu> TMapBoxMenus::CreateMenu(Facet F, MapScale S) {
  static constexpr const char* EntryNames[] = {"ShowBaseMapItem", "ShowResultItem", "RestoreItem"};
  const std::vector<TMapBoxEntry> Entries = FModel.MapBoxMenu(F, S);
  if (Entries.empty()) return nullptr;
  auto Menu = std::make_unique<QMenu>(FForm);
  Menu->setObjectName(QStringLiteral("MapBoxMenu"));
  for (const TMapBoxEntry& E : Entries) {
    QAction* Entry = Menu->addAction(QString::fromUtf8(E.Caption));
    Entry->setObjectName(QString::fromLatin1(EntryNames[static_cast<int>(E.Id)]));
    connect(Entry, &QAction::triggered, this, [this, F, S, Id = E.Id] {
      switch (Id) {
        case TMapBoxEntryId::ShowBaseMap:
          ShowBaseMap(F, S);
          break;
        case TMapBoxEntryId::ShowResult:
          ShowResult(F, S);
          break;
        case TMapBoxEntryId::Restore:
          RestoreFromBackup(F, S);
          break;
      }
    });
  }
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
  ShowViewer(FModel.BaseFileName(F, S));
}

void TMapBoxMenus::ShowResult(Facet F, MapScale S) {
  ShowViewer(FModel.ResultFileName(F, S));
}

void TMapBoxMenus::RestoreFromBackup(Facet F, MapScale S) {
  FModel.RestoreFromBackup(F, S);
}

bool TMapBoxMenus::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() != QEvent::ContextMenu) return false;
  for (int F = 0; F < FacetCount; ++F) {
    for (int S = 0; S < MapScaleCount; ++S) {
      if (FBoxes[F][S] != Watched) continue;
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
