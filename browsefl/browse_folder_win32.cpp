#include "browsefl/browse_folder_win32.h"

#include <shlobj.h>

#include <memory>
#include <utility>

#include "platform/utf16.h"

namespace {

TBrowseFolder::TFolderPicker& CurrentPicker() {
  static TBrowseFolder::TFolderPicker Picker;
  return Picker;
}

// Selects the start folder (the callback data) as soon as the picker is open.
int CALLBACK BrowseCallback(HWND Picker, UINT Message, LPARAM, LPARAM Data) {
  if (Message == BFFM_INITIALIZED) ::SendMessageW(Picker, BFFM_SETSELECTIONW, TRUE, Data);
  return 0;
}

struct TItemListFree {
  void operator()(ITEMIDLIST* List) const { ::CoTaskMemFree(List); }
};

}  // namespace

bool TBrowseFolder::Execute() {
  FFolder.clear();
  const TFolderPicker& Picker = CurrentPicker();
  FFolder = Picker ? Picker(FOwner, FTitle, FStartFolder)
                   : PlatformFolderPicker(FOwner, FTitle, FStartFolder);
  return !FFolder.empty();
}

TBrowseFolder::TFolderPicker TBrowseFolder::SetFolderPicker(TFolderPicker Picker) {
  return std::exchange(CurrentPicker(), std::move(Picker));
}

std::string TBrowseFolder::PlatformFolderPicker(HWND Owner, const std::string& Title,
                                                const std::string& StartFolder) {
  const std::wstring WideTitle = Utf8ToWide(Title);
  const std::wstring WideStart = Utf8ToWide(StartFolder);
  BROWSEINFOW Info{};
  Info.hwndOwner = Owner;
  Info.lpszTitle = WideTitle.c_str();
  Info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
  Info.lpfn = BrowseCallback;
  Info.lParam = WideStart.empty() ? 0 : reinterpret_cast<LPARAM>(WideStart.c_str());
  const std::unique_ptr<ITEMIDLIST, TItemListFree> Chosen(::SHBrowseForFolderW(&Info));
  if (!Chosen) return {};
  // Room for a long path; a folder without a file-system path gives no text.
  std::wstring Path(32768, L'\0');
  if (!::SHGetPathFromIDListEx(Chosen.get(), Path.data(), static_cast<DWORD>(Path.size()),
                               GPFIDL_DEFAULT)) {
    return {};
  }
  Path.resize(Path.find(L'\0'));
  return WideToUtf8(Path);
}
