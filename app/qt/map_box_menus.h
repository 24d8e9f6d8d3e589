#pragma once

// The context menus of the main window's twelve map check boxes (right click, or the menu key on
// the focused box; a disabled box has its menu too): show the base map, show the result, and
// restore the result's targets from their backups. Which entries appear and what each does is
// the window model's rule; this lays them out and routes the choice.

#include <QObject>
#include <memory>

#include "app/core/map_catalogue.h"

class QCheckBox;
class QMenu;
class QWidget;
class TMainWindowModel;

class TMapBoxMenus : public QObject {
 public:
  // Watches the boxes for their context-menu requests; owned by Form, the main window.
  TMapBoxMenus(QWidget* Form, TMainWindowModel& Model,
               QCheckBox* const (&Boxes)[FacetCount][MapScaleCount]);

  // The menu of a map as it would pop up now (null when it would have no entry).
  std::unique_ptr<QMenu> CreateMenu(Facet F, MapScale S);

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  QWidget* FForm;
  TMainWindowModel& FModel;
  QCheckBox* FBoxes[FacetCount][MapScaleCount];
};
