#include "app/win32/map_box_menus.h"

#include <exception>

#include "app/win32/error_display.h"
#include "app/win32/wide_text.h"
#include "app/win32/win32_handles.h"

TMenuHandle CreateMapBoxMenu(const std::vector<TMapBoxEntry>& Entries) {
  TMenuHandle Menu(::CreatePopupMenu());
  if (!Menu) throw EWin32Error("CreatePopupMenu");
  for (std::size_t I = 0; I < Entries.size(); ++I) {
    if (!::AppendMenuW(Menu.get(), MF_STRING, I + 1, Wide(Entries[I].Caption).c_str())) {
      throw EWin32Error("AppendMenuW");
    }
  }
  return Menu;
}

void PopupMapBoxMenu(HWND Owner, TMainWindowModel& Model, Facet F, MapScale S, POINT ScreenPos) {
  try {
    const std::vector<TMapBoxEntry> Entries = Model.MapBoxMenu(F, S);
    if (Entries.empty()) return;
    const TMenuHandle Menu = CreateMapBoxMenu(Entries);
    // The entry chosen comes back here rather than as a command to the owner, so that it is
    // carried out after the menu's loop has ended.
    const UINT Chosen = static_cast<UINT>(
        ::TrackPopupMenu(Menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, ScreenPos.x,
                         ScreenPos.y, 0, Owner, nullptr));
    if (Chosen == 0 || Chosen > Entries.size()) return;
    Model.MapBoxEntryChosen(F, S, Entries[Chosen - 1].Id);
  } catch (const std::exception& Error) {
    ShowErrorMessage(Owner, Error.what());
  }
}
