#include "app/win32/error_display.h"

#include <utility>

#include "app/win32/wide_text.h"

namespace {

TErrorHandler& CurrentErrorHandler() {
  static TErrorHandler Handler;
  return Handler;
}

}  // namespace

void ShowErrorMessage(HWND Owner, const std::string& Message) {
  if (const TErrorHandler& Handler = CurrentErrorHandler()) {
    Handler(Owner, Message);
    return;
  }
  ::MessageBoxW(Owner, Wide(Message).c_str(), L"Veldrin for UO:SE", MB_OK | MB_ICONERROR);
}

TErrorHandler SetErrorHandler(TErrorHandler Handler) {
  return std::exchange(CurrentErrorHandler(), std::move(Handler));
}
