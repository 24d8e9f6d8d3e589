#include "app/win32/panel.h"

#include "app/win32/win32_handles.h"

namespace {

LRESULT CALLBACK PanelProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return ::SendMessageW(::GetParent(Window), Message, WParam, LParam);
    case WM_PAINT: {
      PAINTSTRUCT Paint;
      const HDC Dc = ::BeginPaint(Window, &Paint);
      RECT Client;
      ::GetClientRect(Window, &Client);
      ::DrawEdge(Dc, &Client, BDR_SUNKENOUTER, BF_RECT);
      ::EndPaint(Window, &Paint);
      return 0;
    }
    default:
      return ::DefWindowProcW(Window, Message, WParam, LParam);
  }
}

}  // namespace

const wchar_t* PanelClassName() {
  static const TWindowClass Class([] {
    WNDCLASSEXW Class{};
    Class.cbSize = sizeof Class;
    Class.lpfnWndProc = PanelProc;
    Class.hInstance = ::GetModuleHandleW(nullptr);
    Class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    Class.lpszClassName = L"VeldrinPanel";
    return Class;
  }());
  return Class.Name();
}
