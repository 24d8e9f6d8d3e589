#pragma once

// The window's texts are UTF-8 inside, as everywhere in the program; the Win32 calls take UTF-16.
// Ill-formed text of either side becomes U+FFFD, as platform/utf16.h describes.

#include <string>

std::wstring Wide(const std::string& Text);
std::string Utf8(const std::wstring& Text);
