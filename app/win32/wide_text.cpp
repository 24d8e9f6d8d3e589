#include "app/win32/wide_text.h"

#include <windows.h>

std::wstring Wide(const std::string& Text) {
  const int Size = static_cast<int>(Text.size());
  std::wstring Result(
      static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, Text.data(), Size, nullptr, 0)),
      L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, Text.data(), Size, Result.data(),
                        static_cast<int>(Result.size()));
  return Result;
}

std::string Utf8(const std::wstring& Text) {
  const int Size = static_cast<int>(Text.size());
  std::string Result(static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, Text.data(), Size,
                                                                    nullptr, 0, nullptr, nullptr)),
                     '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), Size, Result.data(),
                        static_cast<int>(Result.size()), nullptr, nullptr);
  return Result;
}
