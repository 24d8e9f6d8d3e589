#pragma once

// The context menus of the main window's twelve map check boxes on Windows: the entries the
// window model offers for the map (show the base map, show the result, restore from the
// backup), popped up at a point of the screen; the one chosen is carried out.
//
// The menu runs a modal message loop of its own. Opened during a run, which lets messages through
// after every row, it runs inside the run's processing of messages: the run waits while the menu
// is open and goes on with its next row once it has closed. The model offers only viewing then.

#include <windows.h>

#include <memory>
#include <type_traits>
#include <vector>

#include "app/core/main_window_model.h"

struct TMenuDestroy {
  void operator()(HMENU Menu) const { ::DestroyMenu(Menu); }
};
using TMenuHandle = std::unique_ptr<std::remove_pointer_t<HMENU>, TMenuDestroy>;

// A popup menu with one item a entry, in order, whose command is the entry's index + 1.
TMenuHandle CreateMapBoxMenu(const std::vector<TMapBoxEntry>& Entries);

// Pops up the menu of map (F, S) at ScreenPos over Owner (nothing when the model offers no
// entry) and hands the entry chosen to the model. Errors are shown in a message box.
void PopupMapBoxMenu(HWND Owner, TMainWindowModel& Model, Facet F, MapScale S, POINT ScreenPos);
