#include "app/win32/map_viewer.h"

#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>
#include <iterator>
#include <string_view>
#include <vector>

#include "app/core/viewer_placement.h"
#include "app/win32/clipboard_hook.h"
#include "app/win32/error_display.h"
#include "app/win32/resource_ids.h"
#include "app/win32/viewer_backing.h"
#include "app/win32/wide_text.h"
#include "app/win32/win32_handles.h"
#include "platform/os_files.h"

namespace {

// The view's wanted size at 96 DPI.
constexpr int WantedWidth = 800;
constexpr int WantedHeight = 600;
// How often the file shown is looked at, to follow it when it is replaced.
constexpr UINT_PTR FollowTimer = 1;
constexpr UINT FollowMs = 500;
constexpr DWORD ViewerStyle = WS_OVERLAPPEDWINDOW | WS_HSCROLL | WS_VSCROLL;
constexpr wchar_t ViewerClassName[] = L"VeldrinMapViewer";

const wchar_t* ViewerClass(WNDPROC WindowProc) {
  static const TWindowClass Class([WindowProc] {
    WNDCLASSEXW Class{};
    Class.cbSize = sizeof Class;
    Class.lpfnWndProc = WindowProc;
    Class.hInstance = ::GetModuleHandleW(nullptr);
    // The program's icon (none in the tests, which carry no resources).
    Class.hIcon = static_cast<HICON>(
        ::LoadImageW(Class.hInstance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    // No cursor and no background: WM_SETCURSOR and WM_PAINT do both.
    Class.lpszClassName = ViewerClassName;
    return Class;
  }());
  return Class.Name();
}

// The window's surface for one WM_PAINT, from BeginPaint to EndPaint.
class TPaintSurface {
 public:
  explicit TPaintSurface(HWND Window) : FWindow(Window), FDC(::BeginPaint(Window, &FPaint)) {}
  ~TPaintSurface() { ::EndPaint(FWindow, &FPaint); }
  TPaintSurface(const TPaintSurface&) = delete;
  TPaintSurface& operator=(const TPaintSurface&) = delete;

  HDC Handle() const { return FDC; }
  const RECT& Exposed() const { return FPaint.rcPaint; }

 private:
  HWND FWindow;
  PAINTSTRUCT FPaint{};
  HDC FDC;
};

TRect ToTRect(const RECT& Frame) {
  return Rect(Frame.left, Frame.top, Frame.right, Frame.bottom);
}

// The frame of a new viewer: a view of the wanted size at the owner's DPI, beside the owner on its
// monitor, clear of it where there is room and of the viewers already open.
RECT PlacedFrame(HWND Owner) {
  const UINT Dpi = Owner != nullptr ? ::GetDpiForWindow(Owner) : ::GetDpiForSystem();
  RECT Wanted{0, 0, ::MulDiv(WantedWidth, static_cast<int>(Dpi), USER_DEFAULT_SCREEN_DPI),
              ::MulDiv(WantedHeight, static_cast<int>(Dpi), USER_DEFAULT_SCREEN_DPI)};
  ::AdjustWindowRectExForDpi(&Wanted, ViewerStyle, FALSE, 0, Dpi);
  MONITORINFO Monitor{};
  Monitor.cbSize = sizeof Monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(Owner, MONITOR_DEFAULTTOPRIMARY), &Monitor);
  RECT Main{};
  if (Owner != nullptr) ::GetWindowRect(Owner, &Main);
  std::vector<TRect> Open;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND Each, LPARAM List) {
        RECT Frame;
        if (TMapViewer::FromHandle(Each) != nullptr && ::IsWindowVisible(Each) &&
            ::GetWindowRect(Each, &Frame)) {
          reinterpret_cast<std::vector<TRect>*>(List)->push_back(ToTRect(Frame));
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Open));
  const TRect Placed = PlaceViewer(ToTRect(Monitor.rcWork), ToTRect(Main), Open,
                                   Wanted.right - Wanted.left, Wanted.bottom - Wanted.top);
  return RECT{Placed.Left, Placed.Top, Placed.Right, Placed.Bottom};
}

}  // namespace

TMapViewer::TMapViewer() : FBacking(std::make_unique<TViewerBacking>()) {}

TMapViewer::~TMapViewer() = default;

TMapViewer* TMapViewer::Show(const std::string& FileName, HWND Owner) {
  const RECT Frame = PlacedFrame(Owner);
  // The window takes the viewer over once it exists and deletes it when it goes.
  auto Viewer = std::unique_ptr<TMapViewer>(new TMapViewer);
  const HWND Window = ::CreateWindowExW(
      0, ViewerClass(WindowProc), L"", ViewerStyle, Frame.left, Frame.top, Frame.right - Frame.left,
      Frame.bottom - Frame.top, Owner, nullptr, ::GetModuleHandleW(nullptr), &Viewer);
  if (Window == nullptr) throw EWin32Error("CreateWindowExW");
  TMapViewer* Shown = FromHandle(Window);
  try {
    RECT Client;
    ::GetClientRect(Window, &Client);
    Shown->Resized(Client.right, Client.bottom);
    Shown->OpenFile(FileName);
  } catch (...) {
    ::DestroyWindow(Window);
    throw;
  }
  ::SetTimer(Window, FollowTimer, FollowMs, nullptr);
  ::ShowWindow(Window, SW_SHOWNORMAL);
  ::UpdateWindow(Window);
  return Shown;
}

TMapViewer* TMapViewer::FromHandle(HWND Window) {
  wchar_t Name[std::size(ViewerClassName) + 1] = {};
  if (Window == nullptr || ::GetClassNameW(Window, Name, static_cast<int>(std::size(Name))) == 0 ||
      std::wstring_view(Name) != ViewerClassName) {
    return nullptr;
  }
  return reinterpret_cast<TMapViewer*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
}

LRESULT CALLBACK TMapViewer::WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_NCCREATE) {
    const auto* Create = reinterpret_cast<const CREATESTRUCTW*>(LParam);
    TMapViewer* Viewer =
        static_cast<std::unique_ptr<TMapViewer>*>(Create->lpCreateParams)->release();
    Viewer->FHandle = Window;
    ::SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Viewer));
  }
  auto* Viewer = reinterpret_cast<TMapViewer*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (Viewer == nullptr) return ::DefWindowProcW(Window, Message, WParam, LParam);
  if (Message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
    delete Viewer;
    return ::DefWindowProcW(Window, Message, WParam, LParam);
  }
  try {
    return Viewer->HandleMessage(Message, WParam, LParam);
  } catch (const std::exception& Error) {
    // Nothing raised may cross the system's code that called in; the window stays usable.
    ShowErrorMessage(Window, Error.what());
    return 0;
  }
}

LRESULT TMapViewer::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_DPICHANGED: {
      // Moved to a monitor of another scale: the frame the system suggests keeps the view's
      // share of the screen; the map keeps its zoom, and the view shows more or less of it.
      const auto* Suggested = reinterpret_cast<const RECT*>(LParam);
      ::SetWindowPos(FHandle, nullptr, Suggested->left, Suggested->top,
                     Suggested->right - Suggested->left, Suggested->bottom - Suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_SIZE:
      if (WParam != SIZE_MINIMIZED) Resized(LOWORD(LParam), HIWORD(LParam));
      return 0;
    case WM_GETDLGCODE:
      // Every key is the viewer's, also under a message loop that runs the dialog keyboard.
      return DLGC_WANTALLKEYS | DLGC_WANTCHARS | DLGC_WANTARROWS;
    case WM_CHAR:
      CharTyped(static_cast<wchar_t>(WParam));
      return 0;
    case WM_MOUSEWHEEL:
      Wheel(GET_WHEEL_DELTA_WPARAM(WParam), POINT{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)});
      return 0;
    case WM_HSCROLL:
      ScrollBarMoved(SB_HORZ, LOWORD(WParam));
      return 0;
    case WM_VSCROLL:
      ScrollBarMoved(SB_VERT, LOWORD(WParam));
      return 0;
    case WM_LBUTTONDOWN:
      DragStarted(POINT{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)});
      return 0;
    case WM_MOUSEMOVE:
      if (FDragging) Dragged(POINT{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)});
      return 0;
    case WM_LBUTTONUP:
      if (FDragging) ::ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED:
      FDragging = false;
      return 0;
    case WM_TIMER:
      if (WParam == FollowTimer && FView.Refresh()) ZoomChanged();
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(LParam) == HTCLIENT) {
        ::SetCursor(::LoadCursorW(nullptr, FDragging ? IDC_SIZEALL : IDC_HAND));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return ::DefWindowProcW(FHandle, Message, WParam, LParam);
}

void TMapViewer::OpenFile(const std::string& FileName) {
  FView.Open(FileName);
  ZoomChanged();
}

void TMapViewer::ToggleBackup() {
  try {
    if (FView.OpenBackupPartner()) ZoomChanged();
  } catch (const std::exception& Error) {
    ShowErrorMessage(FHandle, Error.what());
  }
}

void TMapViewer::ZoomToFit() {
  FView.Fit();
  ZoomChanged();
}

void TMapViewer::ZoomAt(double Zoom, POINT Anchor) {
  FView.SetZoom(Zoom, Anchor.x, Anchor.y);
  ZoomChanged();
}

void TMapViewer::ZoomStep(bool In) {
  const POINT Anchor = ZoomAnchor();
  if (In) {
    FView.ZoomIn(Anchor.x, Anchor.y);
  } else {
    FView.ZoomOut(Anchor.x, Anchor.y);
  }
  ZoomChanged();
}

POINT TMapViewer::ZoomAnchor() const {
  POINT Mouse{};
  ::GetCursorPos(&Mouse);
  ::ScreenToClient(FHandle, &Mouse);
  RECT Client;
  ::GetClientRect(FHandle, &Client);
  if (::PtInRect(&Client, Mouse)) return Mouse;
  return POINT{Client.right / 2, Client.bottom / 2};
}

void TMapViewer::CopyToClipboard() {
  try {
    CopyMapToClipboard(FView, FHandle);
  } catch (const std::exception& Error) {
    ShowErrorMessage(FHandle, Error.what());
  }
}

void TMapViewer::ZoomChanged() {
  SyncScrollBars();
  UpdateTitle();
  ::InvalidateRect(FHandle, nullptr, FALSE);
}

void TMapViewer::SyncScrollBars() {
  // Showing or hiding a bar resizes the view (WM_SIZE), which comes back here: the outer call
  // sets the bars again until they agree with the view. A bar appears when the map outgrows the
  // view and the view only shrinks by it, so this settles at once.
  if (FSyncing) {
    FResync = true;
    return;
  }
  FSyncing = true;
  do {
    FResync = false;
    for (const int Bar : {SB_HORZ, SB_VERT}) {
      const bool Across = Bar == SB_HORZ;
      const int Page = Across ? FView.ViewWidth() : FView.ViewHeight();
      SCROLLINFO Info{};
      Info.cbSize = sizeof Info;
      Info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
      Info.nMax = (Across ? FView.ScrollMaxX() : FView.ScrollMaxY()) + std::max(Page, 1) - 1;
      Info.nPage = static_cast<UINT>(std::max(Page, 1));
      Info.nPos = Across ? FView.ScrollX() : FView.ScrollY();
      ::SetScrollInfo(FHandle, Bar, &Info, TRUE);
    }
  } while (FResync);
  FSyncing = false;
}

void TMapViewer::UpdateTitle() {
  const std::string& FileName = FView.FileName();
  const std::string Name = FileName.substr(FileName.find_last_of(PathDelim) + 1);
  const std::string Title = Name + " - " + std::to_string(FView.MapWidth()) + " x " +
                            std::to_string(FView.MapHeight()) + " - " +
                            std::to_string(std::lround(FView.Zoom() * 100)) + "%";
  ::SetWindowTextW(FHandle, Wide(Title).c_str());
}

void TMapViewer::Resized(int Width, int Height) {
  FView.SetViewSize(Width, Height);
  ZoomChanged();
}

void TMapViewer::Paint() {
  const TPaintSurface Surface(FHandle);
  RECT Area;
  const RECT View{0, 0, FView.ViewWidth(), FView.ViewHeight()};
  if (Surface.Handle() != nullptr && ::IntersectRect(&Area, &Surface.Exposed(), &View)) {
    FBacking->Paint(FView, Area.left, Area.top, Area.right, Area.bottom,
                    ::GetSysColor(COLOR_3DSHADOW));
    // The backing is a bottom-up image: its source rows count from the bottom.
    const int Width = Area.right - Area.left;
    const int Height = Area.bottom - Area.top;
    ::StretchDIBits(Surface.Handle(), Area.left, Area.top, Width, Height, Area.left,
                    FBacking->Height() - Area.bottom, Width, Height, FBacking->Bits(),
                    static_cast<const BITMAPINFO*>(FBacking->Info()), DIB_RGB_COLORS, SRCCOPY);
  }
}

void TMapViewer::CharTyped(wchar_t Char) {
  switch (Char) {
    case L'+':
    case L'=':
      ZoomStep(true);
      break;
    case L'-':
      ZoomStep(false);
      break;
    case L'1':
      ZoomAt(1, ZoomAnchor());
      break;
    case L'0':
      ZoomToFit();
      break;
    case L' ':
      ToggleBackup();
      break;
    case 0x03:  // Ctrl+C
      CopyToClipboard();
      break;
    case 0x1B:  // Escape
      ::PostMessageW(FHandle, WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
}

void TMapViewer::Wheel(int Delta, POINT Screen) {
  constexpr int WheelNotch = WHEEL_DELTA;
  POINT Anchor = Screen;
  ::ScreenToClient(FHandle, &Anchor);
  FWheelRest += Delta;
  for (; FWheelRest >= WheelNotch; FWheelRest -= WheelNotch) FView.ZoomIn(Anchor.x, Anchor.y);
  for (; FWheelRest <= -WheelNotch; FWheelRest += WheelNotch) FView.ZoomOut(Anchor.x, Anchor.y);
  ZoomChanged();
}

void TMapViewer::ScrollTo(int X, int Y) {
  const int OldX = FView.ScrollX();
  const int OldY = FView.ScrollY();
  FView.ScrollTo(X, Y);
  if (FView.ScrollX() == OldX && FView.ScrollY() == OldY) return;
  SyncScrollBars();
  // The pixels already shown move along; only the strips uncovered are painted.
  ::ScrollWindowEx(FHandle, OldX - FView.ScrollX(), OldY - FView.ScrollY(), nullptr, nullptr,
                   nullptr, nullptr, SW_INVALIDATE);
}

void TMapViewer::ScrollBarMoved(int Bar, int Request) {
  SCROLLINFO Info{};
  Info.cbSize = sizeof Info;
  Info.fMask = SIF_ALL;
  ::GetScrollInfo(FHandle, Bar, &Info);
  const int Page = static_cast<int>(Info.nPage);
  int Position = Info.nPos;
  switch (Request) {
    case SB_LINEUP:
      Position -= std::max(1, Page / 20);
      break;
    case SB_LINEDOWN:
      Position += std::max(1, Page / 20);
      break;
    case SB_PAGEUP:
      Position -= Page;
      break;
    case SB_PAGEDOWN:
      Position += Page;
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      Position = Info.nTrackPos;
      break;
    case SB_TOP:
      Position = 0;
      break;
    case SB_BOTTOM:
      Position = INT_MAX;
      break;
    default:
      return;
  }
  if (Bar == SB_HORZ) {
    ScrollTo(Position, FView.ScrollY());
  } else {
    ScrollTo(FView.ScrollX(), Position);
  }
}

void TMapViewer::DragStarted(POINT At) {
  FDragging = true;
  FDragStart = At;
  FDragScroll = POINT{FView.ScrollX(), FView.ScrollY()};
  ::SetCapture(FHandle);
  ::SetCursor(::LoadCursorW(nullptr, IDC_SIZEALL));
}

void TMapViewer::Dragged(POINT At) {
  ScrollTo(FDragScroll.x - (At.x - FDragStart.x), FDragScroll.y - (At.y - FDragStart.y));
}
