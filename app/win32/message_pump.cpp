#include "app/win32/message_pump.h"

namespace {

// Enter presses the focused push button, as Space does; the dialog manager would send it to
// the window's default button instead.
bool PressFocusedButton(const MSG& Message) {
  if (Message.message != WM_KEYDOWN || Message.wParam != VK_RETURN) return false;
  const HWND Focus = ::GetFocus();
  if (Focus == nullptr || Focus != Message.hwnd) return false;
  const LRESULT Code = ::SendMessageW(Focus, WM_GETDLGCODE, 0, 0);
  if ((Code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) == 0) return false;
  ::SendMessageW(Focus, BM_CLICK, 0, 0);
  return true;
}

void Deliver(MSG& Message) {
  const HWND Top = Message.hwnd != nullptr ? ::GetAncestor(Message.hwnd, GA_ROOT) : nullptr;
  if (Top != nullptr &&
      ::SendMessageW(Top, PreTranslateMessageId(), 0, reinterpret_cast<LPARAM>(&Message)) != 0) {
    return;
  }
  if (PressFocusedButton(Message)) return;
  if (Top != nullptr && ::IsDialogMessageW(Top, &Message)) return;
  ::TranslateMessage(&Message);
  ::DispatchMessageW(&Message);
}

}  // namespace

UINT PreTranslateMessageId() {
  static const UINT Id = ::RegisterWindowMessageW(L"VeldrinPreTranslateMessage");
  return Id;
}

bool PumpPendingMessages() {
  MSG Message;
  while (::PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
    if (Message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(Message.wParam));
      return false;
    }
    Deliver(Message);
  }
  return true;
}

bool RunModalLoop(bool (*Done)(void* Context), void* Context) {
  MSG Message;
  while (!Done(Context)) {
    if (::GetMessageW(&Message, nullptr, 0, 0) <= 0) {
      ::PostQuitMessage(static_cast<int>(Message.wParam));
      return false;
    }
    Deliver(Message);
  }
  return true;
}
