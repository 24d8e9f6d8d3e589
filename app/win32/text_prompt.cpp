#include "app/win32/text_prompt.h"

#include <cstdint>
#include <vector>

#include "app/win32/message_pump.h"
#include "app/win32/wide_text.h"
#include "app/win32/win32_handles.h"
#include "app/win32/window_font.h"

namespace {

constexpr int EditId = 100;
constexpr int LabelId = 101;

// An in-memory dialog template: the header and items as the dialog box reads them, in WORDs.
class TDialogTemplate {
 public:
  TDialogTemplate(const std::wstring& Title, DWORD Style, short Width, short Height) {
    AddDword(Style);
    AddDword(0);  // extended style
    FCountAt = FWords.size();
    FWords.push_back(0);  // the number of items, counted as they come
    AddRect(0, 0, Width, Height);
    FWords.push_back(0);  // no menu
    FWords.push_back(0);  // the dialog class
    AddText(Title);
    FWords.push_back(9);  // DS_SETFONT: points, then the face
    AddText(WindowFontFamily());
  }

  // One control of a predefined class (0x0080 button, 0x0081 edit, 0x0082 static).
  void AddItem(WORD ClassAtom, const std::wstring& Text, DWORD Style, short Left, short Top,
               short Width, short Height, WORD Id) {
    if (FWords.size() % 2 != 0) FWords.push_back(0);  // each item starts on a DWORD
    AddDword(Style | WS_CHILD | WS_VISIBLE);
    AddDword(0);
    AddRect(Left, Top, Width, Height);
    FWords.push_back(Id);
    FWords.push_back(0xFFFF);
    FWords.push_back(ClassAtom);
    AddText(Text);
    FWords.push_back(0);  // no creation data
    ++FWords[FCountAt];
  }

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(FWords.data()); }

 private:
  void AddDword(DWORD Value) {
    FWords.push_back(LOWORD(Value));
    FWords.push_back(HIWORD(Value));
  }
  void AddRect(short Left, short Top, short Width, short Height) {
    for (const short Value : {Left, Top, Width, Height}) FWords.push_back(static_cast<WORD>(Value));
  }
  void AddText(const std::wstring& Text) {
    FWords.insert(FWords.end(), Text.begin(), Text.end());
    FWords.push_back(0);
  }

  std::vector<WORD> FWords;  // WORD-aligned, as vector storage is at least that
  std::size_t FCountAt = 0;
};

struct TPromptState {
  std::wstring Text;
  bool Confirmed = false;
  bool Answered = false;
  HWND Dialog = nullptr;  // null once it is gone
};

INT_PTR CALLBACK PromptProc(HWND Dialog, UINT Message, WPARAM WParam, LPARAM LParam) {
  auto* State = reinterpret_cast<TPromptState*>(::GetWindowLongPtrW(Dialog, DWLP_USER));
  switch (Message) {
    case WM_INITDIALOG: {
      ::SetWindowLongPtrW(Dialog, DWLP_USER, LParam);
      const HWND Edit = ::GetDlgItem(Dialog, EditId);
      ::SetWindowTextW(Edit, reinterpret_cast<TPromptState*>(LParam)->Text.c_str());
      ::SendMessageW(Edit, EM_SETSEL, 0, -1);
      ::SetFocus(Edit);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(WParam) == IDOK) {
        const HWND Edit = ::GetDlgItem(Dialog, EditId);
        State->Text.assign(static_cast<std::size_t>(::GetWindowTextLengthW(Edit)) + 1, L'\0');
        State->Text.resize(static_cast<std::size_t>(
            ::GetWindowTextW(Edit, State->Text.data(), static_cast<int>(State->Text.size()))));
        State->Confirmed = true;
        State->Answered = true;
        return TRUE;
      }
      if (LOWORD(WParam) == IDCANCEL) {
        State->Answered = true;
        return TRUE;
      }
      return FALSE;
    case WM_NCDESTROY:
      // Gone with its owner: the loop below ends at the next message, which an idle program may
      // never get; one is posted.
      if (State != nullptr) State->Dialog = nullptr;
      ::PostMessageW(nullptr, WM_NULL, 0, 0);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

std::optional<std::string> DialogTextPrompt(HWND Owner, const std::string& Title,
                                            const std::string& Prompt, const std::string& Initial) {
  // In dialog units of the window font.
  TDialogTemplate Template(
      Wide(Title), DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, 240,
      62);
  Template.AddItem(0x0082, Wide(Prompt), SS_LEFT | SS_NOPREFIX, 7, 7, 226, 10, LabelId);
  Template.AddItem(0x0081, L"", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 20, 226, 12, EditId);
  Template.AddItem(0x0080, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 129, 40, 50, 14, IDOK);
  Template.AddItem(0x0080, L"キャンセル", BS_PUSHBUTTON | WS_TABSTOP, 183, 40, 50, 14, IDCANCEL);
  TPromptState State{Wide(Initial)};
  State.Dialog = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), Template.Get(), Owner,
                                              PromptProc, reinterpret_cast<LPARAM>(&State));
  if (State.Dialog == nullptr) throw EWin32Error("CreateDialogIndirectParamW");
  // Modal over its owner, in the program's own loop, which also ends once the prompt is gone.
  if (Owner != nullptr) ::EnableWindow(Owner, FALSE);
  ::ShowWindow(State.Dialog, SW_SHOW);
  RunModalLoop(
      [](void* Context) {
        const auto* Asked = static_cast<TPromptState*>(Context);
        return Asked->Answered || Asked->Dialog == nullptr;
      },
      &State);
  // The owner is enabled again before the prompt goes, so that it gets the activation back.
  if (Owner != nullptr && ::IsWindow(Owner)) ::EnableWindow(Owner, TRUE);
  if (State.Dialog != nullptr) ::DestroyWindow(State.Dialog);
  if (!State.Confirmed) return std::nullopt;
  return Utf8(State.Text);
}
