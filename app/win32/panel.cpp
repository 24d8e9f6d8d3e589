#include "app/win32/panel.h"

#include "app/win32/win32_handles.h"

namespace {

LRESULT CALLBACK PanelProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (IsControlNotification(Message)) {
    return ::SendMessageW(::GetParent(Window), Message, WParam, LParam);
  }
  if (Message != WM_PAINT) return ::DefWindowProcW(Window, Message, WParam, LParam);
  PAINTSTRUCT Paint;
  const HDC Dc = ::BeginPaint(Window, &Paint);
  RECT Client;
  ::GetClientRect(Window, &Client);
  ::DrawEdge(Dc, &Client, BDR_SUNKENOUTER, BF_RECT);
  ::EndPaint(Window, &Paint);
  return 0;
}

}  // namespace

const wchar_t* PanelClassName() {
  static const TWindowClass Class(L"VeldrinPanel", PanelProc);
  return Class.Name();
}
