#include "app/qt/map_box_menus.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>

#include "app/core/main_window_model.h"

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
    connect(Entry, &QAction::triggered, this,
            [this, F, S, Id = E.Id] { FModel.MapBoxEntryChosen(F, S, Id); });
  }
  return Menu;
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
