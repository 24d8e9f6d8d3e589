#include "app/win32/map_viewer.h"

#include <windowsx.h>

#include <algorithm>
#include <cstddef>
#include <exception>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "app/core/viewer_placement.h"
#include "app/win32/clipboard_hook.h"
#include "app/win32/error_display.h"
#include "app/win32/resource_ids.h"
#include "app/win32/text_prompt.h"
#include "app/win32/viewer_backing.h"
#include "app/win32/wide_text.h"
#include "app/win32/win32_handles.h"

namespace {

// The timer that has the model look at the file shown, to follow it when it is replaced.
constexpr UINT_PTR FollowTimer = 1;
constexpr DWORD ViewerStyle = WS_OVERLAPPEDWINDOW | WS_HSCROLL | WS_VSCROLL;
constexpr wchar_t ViewerClassName[] = L"VeldrinMapViewer";

const wchar_t* ViewerClass(WNDPROC WindowProc) {
  static const TWindowClass Class([WindowProc] {
    WNDCLASSEXW Description{};
    Description.cbSize = sizeof Description;
    Description.lpfnWndProc = WindowProc;
    Description.hInstance = ::GetModuleHandleW(nullptr);
    // The program's icon (none in the tests, which carry no resources).
    Description.hIcon =
        static_cast<HICON>(::LoadImageW(Description.hInstance, MAKEINTRESOURCEW(IDI_PROGRAM),
                                        IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    // No cursor and no background: WM_SETCURSOR and WM_PAINT do both.
    Description.lpszClassName = ViewerClassName;
    return Description;
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

// The characters typed and the keys pressed that the model knows, and the scroll bars' requests.
constexpr std::pair<wchar_t, TViewerKey> ViewerChars[] = {
    {L'+', TViewerKey::Plus},   {L'=', TViewerKey::Equal}, {L'-', TViewerKey::Minus},
    {L'0', TViewerKey::Zero},   {L'1', TViewerKey::One},   {L' ', TViewerKey::Space},
    {0x1B, TViewerKey::Escape}, {0x07, TViewerKey::GoTo},  // Ctrl+G
};
constexpr std::pair<WPARAM, TViewerKey> ViewerKeys[] = {
    {VK_LEFT, TViewerKey::Left}, {VK_RIGHT, TViewerKey::Right},  {VK_UP, TViewerKey::Up},
    {VK_DOWN, TViewerKey::Down}, {VK_PRIOR, TViewerKey::PageUp}, {VK_NEXT, TViewerKey::PageDown},
    {VK_HOME, TViewerKey::Home}, {VK_END, TViewerKey::End},
};
constexpr std::pair<int, TScrollRequest> ScrollRequests[] = {
    {SB_LINEUP, TScrollRequest::LineBack}, {SB_LINEDOWN, TScrollRequest::LineForward},
    {SB_PAGEUP, TScrollRequest::PageBack}, {SB_PAGEDOWN, TScrollRequest::PageForward},
    {SB_TOP, TScrollRequest::Start},       {SB_BOTTOM, TScrollRequest::End},
};

// What Table maps Code to, if anything.
template <typename TCode, typename TMapped, std::size_t Count>
std::optional<TMapped> Lookup(const std::pair<TCode, TMapped> (&Table)[Count], TCode Code) {
  for (const auto& [Each, Mapped] : Table) {
    if (Each == Code) return Mapped;
  }
  return std::nullopt;
}

TPoint ToTPoint(LPARAM LParam) {
  return TPoint{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
}

TRect ToTRect(const RECT& Frame) {
  return Rect(Frame.left, Frame.top, Frame.right, Frame.bottom);
}

// The frame of a new viewer: a view of the wanted size at the owner's DPI, beside the owner on its
// monitor, clear of it where there is room and of the viewers already open.
RECT PlacedFrame(HWND Owner) {
  const UINT Dpi = Owner != nullptr ? ::GetDpiForWindow(Owner) : ::GetDpiForSystem();
  RECT Wanted{
      0, 0, ::MulDiv(TMapViewerModel::StartWidth, static_cast<int>(Dpi), USER_DEFAULT_SCREEN_DPI),
      ::MulDiv(TMapViewerModel::StartHeight, static_cast<int>(Dpi), USER_DEFAULT_SCREEN_DPI)};
  ::AdjustWindowRectExForDpi(&Wanted, ViewerStyle, FALSE, 0, Dpi);
  MONITORINFO Monitor{};
  Monitor.cbSize = sizeof Monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(Owner, MONITOR_DEFAULTTOPRIMARY), &Monitor);
  RECT Main{};
  POINT Client{};  // the top-left corner of the owner's client area
  if (Owner != nullptr) {
    ::GetWindowRect(Owner, &Main);
    ::ClientToScreen(Owner, &Client);
  }
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
  const TRect Placed = PlaceViewer(ToTRect(Monitor.rcWork), ToTRect(Main),
                                   Owner != nullptr ? Client.y - Main.top : 0, Open,
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
    Shown->FModel.Resized(Client.right, Client.bottom);
    Shown->FModel.OpenFile(FileName);
  } catch (...) {
    ::DestroyWindow(Window);
    throw;
  }
  ::SetTimer(Window, FollowTimer, static_cast<UINT>(TMapViewerModel::FollowPeriod.count()),
             nullptr);
  ::ShowWindow(Window, SW_SHOWNORMAL);
  ::SetForegroundWindow(Window);
  ::SetFocus(Window);
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
    // A prompt's or a message box's loop below a handler of the viewer's may have let the window
    // go (its owner closed); that handler still has the viewer to return through.
    if (Viewer->FHandlersRunning > 0) {
      Viewer->FWindowGone = true;
    } else {
      delete Viewer;
    }
    return ::DefWindowProcW(Window, Message, WParam, LParam);
  }
  LRESULT Result = 0;
  ++Viewer->FHandlersRunning;
  try {
    Result = Viewer->HandleMessage(Message, WParam, LParam);
  } catch (const std::exception& Error) {
    // Nothing raised may cross the system's code that called in; the window stays usable.
    ShowErrorMessage(Window, Error.what());
  }
  if (--Viewer->FHandlersRunning == 0 && Viewer->FWindowGone) delete Viewer;
  return Result;
}

LRESULT TMapViewer::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  if (HandleInput(Message, WParam, LParam)) return 0;
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
      if (WParam != SIZE_MINIMIZED) FModel.Resized(LOWORD(LParam), HIWORD(LParam));
      return 0;
    case WM_GETDLGCODE:
      // Every key is the viewer's, also under a message loop that runs the dialog keyboard.
      return DLGC_WANTALLKEYS | DLGC_WANTCHARS | DLGC_WANTARROWS;
    case WM_TIMER:
      if (WParam == FollowTimer) FModel.FollowFile();
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(LParam) == HTCLIENT) {
        ::SetCursor(::LoadCursorW(nullptr, FModel.Dragging() ? IDC_SIZEALL : IDC_HAND));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return ::DefWindowProcW(FHandle, Message, WParam, LParam);
}

// The keyboard, the mouse and the scroll bars; false for any other message.
bool TMapViewer::HandleInput(UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_CHAR:
      CharTyped(static_cast<wchar_t>(WParam));
      return true;
    case WM_KEYDOWN:
      return KeyDown(WParam);
    case WM_MOUSEWHEEL: {
      POINT At{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
      ::ScreenToClient(FHandle, &At);
      FModel.WheelTurned(GET_WHEEL_DELTA_WPARAM(WParam), TPoint{At.x, At.y});
      return true;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
      ScrollBarUsed(Message == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(WParam));
      return true;
    case WM_LBUTTONDOWN:
      FModel.ButtonDown(ToTPoint(LParam));
      ::SetCapture(FHandle);
      ::SetCursor(::LoadCursorW(nullptr, IDC_SIZEALL));
      return true;
    case WM_MOUSEMOVE:
      if (!FTrackingLeave) {
        TRACKMOUSEEVENT Track{sizeof Track, TME_LEAVE, FHandle, 0};
        FTrackingLeave = ::TrackMouseEvent(&Track) != FALSE;
      }
      FModel.MouseMoved(ToTPoint(LParam));
      return true;
    case WM_MOUSELEAVE:
      FTrackingLeave = false;
      FModel.MouseLeft();
      return true;
    case WM_LBUTTONUP:
      FModel.ButtonUp();
      if (::GetCapture() == FHandle) ::ReleaseCapture();
      return true;
    case WM_CAPTURECHANGED:
      FModel.ButtonUp();
      return true;
    default:
      return false;
  }
}

void TMapViewer::CharTyped(wchar_t Char) {
  if (Char == 0x03) {  // Ctrl+C
    CopyToClipboard();
  } else if (const std::optional<TViewerKey> Key = Lookup(ViewerChars, Char)) {
    FModel.KeyPressed(*Key);
  }
}

bool TMapViewer::KeyDown(WPARAM VirtualKey) {
  const std::optional<TViewerKey> Key = Lookup(ViewerKeys, VirtualKey);
  if (Key) FModel.KeyPressed(*Key);
  return Key.has_value();
}

void TMapViewer::ScrollBarUsed(int Bar, int Request) {
  const TViewerAxis Axis = Bar == SB_HORZ ? TViewerAxis::Horizontal : TViewerAxis::Vertical;
  if (const std::optional<TScrollRequest> Step = Lookup(ScrollRequests, Request)) {
    FModel.ScrollBarUsed(Axis, *Step);
  } else if (Request == SB_THUMBTRACK || Request == SB_THUMBPOSITION) {
    SCROLLINFO Info{};
    Info.cbSize = sizeof Info;
    Info.fMask = SIF_TRACKPOS;
    ::GetScrollInfo(FHandle, Bar, &Info);
    const TMapView& View = FModel.View();
    FModel.ScrollBarsMoved(Axis == TViewerAxis::Horizontal ? Info.nTrackPos : View.ScrollX(),
                           Axis == TViewerAxis::Vertical ? Info.nTrackPos : View.ScrollY());
  }
}

void TMapViewer::CopyToClipboard() {
  try {
    CopyMapToClipboard(FModel.View(), FHandle);
  } catch (const std::exception& Error) {
    ShowErrorMessage(FHandle, Error.what());
  }
}

// ---- what the model asks --------------------------------------------------------------------

TPoint TMapViewer::CursorPos() {
  POINT Mouse{};
  ::GetCursorPos(&Mouse);
  ::ScreenToClient(FHandle, &Mouse);
  return TPoint{Mouse.x, Mouse.y};
}

void TMapViewer::RepaintAll() {
  ::InvalidateRect(FHandle, nullptr, FALSE);
}

void TMapViewer::Scrolled(std::int32_t Dx, std::int32_t Dy) {
  ::ScrollWindowEx(FHandle, Dx, Dy, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
}

void TMapViewer::ScrollBarsChanged() {
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
    const TMapView& View = FModel.View();
    for (const int Bar : {SB_HORZ, SB_VERT}) {
      const bool Across = Bar == SB_HORZ;
      const int Page = Across ? View.ViewWidth() : View.ViewHeight();
      SCROLLINFO Info{};
      Info.cbSize = sizeof Info;
      Info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
      Info.nMax = (Across ? View.ScrollMaxX() : View.ScrollMaxY()) + std::max(Page, 1) - 1;
      Info.nPage = static_cast<UINT>(std::max(Page, 1));
      Info.nPos = Across ? View.ScrollX() : View.ScrollY();
      ::SetScrollInfo(FHandle, Bar, &Info, TRUE);
    }
  } while (FResync);
  FSyncing = false;
}

void TMapViewer::TextChanged() {
  ::SetWindowTextW(FHandle, Wide(FModel.Title()).c_str());
}

void TMapViewer::ShowError(const std::string& Message) {
  ShowErrorMessage(FHandle, Message);
}

void TMapViewer::Close() {
  ::PostMessageW(FHandle, WM_CLOSE, 0, 0);
}

namespace {

TMapViewer::TTextPrompt& TextPrompt() {
  static TMapViewer::TTextPrompt Prompt = DialogTextPrompt;
  return Prompt;
}

}  // namespace

std::optional<std::string> TMapViewer::AskText(const std::string& Title, const std::string& Prompt,
                                               const std::string& Initial) {
  return TextPrompt()(FHandle, Title, Prompt, Initial);
}

TMapViewer::TTextPrompt TMapViewer::SetTextPrompt(TTextPrompt Prompt) {
  TTextPrompt Previous = std::move(TextPrompt());
  TextPrompt() = Prompt ? std::move(Prompt) : TTextPrompt(DialogTextPrompt);
  return Previous;
}

void TMapViewer::Paint() {
  const TPaintSurface Surface(FHandle);
  RECT Area;
  const TMapView& View = FModel.View();
  const RECT Whole{0, 0, View.ViewWidth(), View.ViewHeight()};
  if (Surface.Handle() != nullptr && ::IntersectRect(&Area, &Surface.Exposed(), &Whole)) {
    FBacking->Paint(View, Area.left, Area.top, Area.right, Area.bottom,
                    ::GetSysColor(COLOR_3DSHADOW));
    // The backing is a bottom-up image: its source rows count from the bottom.
    const int Width = Area.right - Area.left;
    const int Height = Area.bottom - Area.top;
    ::StretchDIBits(Surface.Handle(), Area.left, Area.top, Width, Height, Area.left,
                    FBacking->Height() - Area.bottom, Width, Height, FBacking->Bits(),
                    static_cast<const BITMAPINFO*>(FBacking->Info()), DIB_RGB_COLORS, SRCCOPY);
  }
}
