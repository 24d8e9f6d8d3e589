#pragma once

// Owners of the Win32 resources the window holds: each releases its resource when it goes.

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

#include "platform/exceptions.h"

// A Win32 call that failed: the call's name and the system's text for GetLastError.
class EWin32Error : public Exception {
 public:
  explicit EWin32Error(const char* Call);
};

struct TGdiObjectDelete {
  void operator()(HGDIOBJ Object) const { ::DeleteObject(Object); }
};
using TFontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, TGdiObjectDelete>;

// A window class registered for the life of the object.
class TWindowClass {
 public:
  explicit TWindowClass(const WNDCLASSEXW& Class);
  // A class of this program's windows: the arrow cursor, the button face behind the controls.
  TWindowClass(const wchar_t* Name, WNDPROC Proc, HICON Icon = nullptr, HICON SmallIcon = nullptr);
  ~TWindowClass();
  TWindowClass(const TWindowClass&) = delete;
  TWindowClass& operator=(const TWindowClass&) = delete;

  const wchar_t* Name() const { return FName.c_str(); }

 private:
  std::wstring FName;
  HINSTANCE FInstance;
};

// Whether a control's Message is one that a container of controls passes on to its parent, so
// that it reaches the window that acts on it.
bool IsControlNotification(UINT Message);

// COM (and OLE) initialised for the calling thread, apartment threaded, as the shell's folder
// picker wants it.
class TOleApartment {
 public:
  TOleApartment();
  ~TOleApartment();
  TOleApartment(const TOleApartment&) = delete;
  TOleApartment& operator=(const TOleApartment&) = delete;
};

// Registers the common controls' window classes (buttons, combo boxes, status bar) of Common
// Controls 6 for the program.
void InitWindowControls();
