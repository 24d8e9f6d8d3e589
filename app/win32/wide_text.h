#pragma once

// The window's texts are UTF-8 inside, as everywhere in the program; the Win32 calls take UTF-16.

#include <string>

std::wstring Wide(const std::string& Text);
std::string Utf8(const std::wstring& Text);
