#pragma once

// Text is UTF-8 everywhere inside the program; the wide-character calls of Windows take UTF-16.
// These are the one conversion between the two.
//
// Ill-formed input is never an error and never dropped: each maximal ill-formed subsequence of
// UTF-8 becomes one U+FFFD (a byte that cannot start a sequence, a stray continuation byte, or
// the longest start of a well-formed sequence that is cut short or continued wrongly: an
// overlong form, an encoded surrogate, a value above U+10FFFF), and so does each unpaired
// surrogate of UTF-16 and, where wchar_t is wider than 16 bits, each unit above 0xFFFF.
// Well-formed text comes back unchanged either way, zero characters included.

#include <string>
#include <string_view>

std::u16string Utf8ToUtf16(std::string_view Text);
std::string Utf16ToUtf8(std::u16string_view Text);

// The same for wchar_t text, whose units are UTF-16 code units on Windows.
std::wstring Utf8ToWide(std::string_view Text);
std::string WideToUtf8(std::wstring_view Text);
