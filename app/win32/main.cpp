// The window program on Windows: no command-line arguments, no settings; the message loop runs
// until the main window has been closed.

#include <windows.h>

#include <exception>

#include "app/win32/error_display.h"
#include "app/win32/main_form.h"
#include "app/win32/message_pump.h"
#include "app/win32/win32_handles.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int CmdShow) {
  try {
    const TOleApartment Ole;
    InitWindowControls();
    TForm1 Form1;
    Form1.Show(CmdShow);
    RunModalLoop([](void* Form) { return static_cast<TForm1*>(Form)->Handle() == nullptr; },
                 &Form1);
    return 0;
  } catch (const std::exception& Error) {
    // The window could not be made: nothing else can show why.
    ShowErrorMessage(nullptr, Error.what());
    return 1;
  }
}
