#include "app/win32/win32_handles.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/win32/wide_text.h"

namespace {

std::string SystemMessage(DWORD Code) {
  wchar_t* Text = nullptr;
  const DWORD Length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, Code, 0, reinterpret_cast<wchar_t*>(&Text), 0, nullptr);
  std::wstring Message = Length > 0 ? std::wstring(Text, Length) : std::wstring();
  ::LocalFree(Text);
  while (!Message.empty() && (Message.back() == L'\n' || Message.back() == L'\r')) {
    Message.pop_back();
  }
  return Message.empty() ? "error " + std::to_string(Code) : Utf8(Message);
}

}  // namespace

EWin32Error::EWin32Error(const char* Call)
    : Exception(std::string(Call) + ": " + SystemMessage(::GetLastError())) {}

TWindowClass::TWindowClass(const WNDCLASSEXW& Class)
    : FName(Class.lpszClassName), FInstance(Class.hInstance) {
  if (::RegisterClassExW(&Class) == 0) throw EWin32Error("RegisterClassExW");
}

TWindowClass::TWindowClass(const wchar_t* Name, WNDPROC Proc, HICON Icon, HICON SmallIcon)
    : TWindowClass([&] {
        WNDCLASSEXW Class{};
        Class.cbSize = sizeof Class;
        Class.lpfnWndProc = Proc;
        Class.hInstance = ::GetModuleHandleW(nullptr);
        Class.hIcon = Icon;
        Class.hIconSm = SmallIcon;
        Class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        Class.lpszClassName = Name;
        return Class;
      }()) {}

TWindowClass::~TWindowClass() {
  ::UnregisterClassW(FName.c_str(), FInstance);
}

bool IsControlNotification(UINT Message) {
  return Message == WM_COMMAND || Message == WM_NOTIFY || Message == WM_CTLCOLORBTN ||
         Message == WM_CTLCOLORSTATIC;
}

TOleApartment::TOleApartment() {
  if (FAILED(::OleInitialize(nullptr))) throw EWin32Error("OleInitialize");
}

TOleApartment::~TOleApartment() {
  ::OleUninitialize();
}

void InitWindowControls() {
  const INITCOMMONCONTROLSEX Controls{sizeof(INITCOMMONCONTROLSEX),
                                      ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  if (!::InitCommonControlsEx(&Controls)) throw EWin32Error("InitCommonControlsEx");
}
