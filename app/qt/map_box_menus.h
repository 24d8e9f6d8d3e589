#pragma once

// The context menus of the main window's twelve map check boxes (right click, or the menu key on
// the focused box; a disabled box has its menu too): show the base map, show the result, and
// restore the result's targets from their backups. Which entries appear is the window model's
// rule; this lays them out and carries out the viewers.

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

  // The entries' handlers: viewers of the base map (current base type) and of the result
  // (main target name, current target type), and the restore of every target of the map that
  // has a backup. Errors are shown in a message box.
  void ShowBaseMap(Facet F, MapScale S);
  void ShowResult(Facet F, MapScale S);
  void RestoreFromBackup(Facet F, MapScale S);

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void ShowViewer(const std::string& FileName);

  QWidget* FForm;
  TMainWindowModel& FModel;
  QCheckBox* FBoxes[FacetCount][MapScaleCount];
};
