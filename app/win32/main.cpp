// The window program on Windows: no command-line arguments, no settings; the message loop runs
// until the main window has been closed.

#include <commctrl.h>
#include <windows.h>

#include "app/win32/main_form.h"
#include "app/win32/message_pump.h"
#include "app/win32/win32_handles.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int CmdShow) {
  const TOleApartment Ole;
  const INITCOMMONCONTROLSEX Controls{sizeof(INITCOMMONCONTROLSEX),
                                      ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&Controls);
  TForm1 Form1;
  Form1.Show(CmdShow);
  RunModalLoop([](void* Form) { return static_cast<TForm1*>(Form)->Handle() == nullptr; }, &Form1);
  return 0;
}
