#include "app/win32/wide_text.h"

#include "platform/utf16.h"

std::wstring Wide(const std::string& Text) {
  return Utf8ToWide(Text);
}

std::string Utf8(const std::wstring& Text) {
  return WideToUtf8(Text);
}
