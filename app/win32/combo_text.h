#pragma once

// The combo boxes' text in the middle of their fields. A combo box starts its text at the top of
// its line, and the line fills the field that the control table gives, which grows with the DPI
// faster than the font's frame: the selection of a box that takes no typing is drawn here (its
// box is owner-drawn), and the edit control of a box that takes typing gets a margin above its
// text.

#include <windows.h>

// The owner-drawn styles a box that takes no typing is made with.
inline constexpr DWORD CentredListStyle = CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;

// Gives the edit control of Combo, a box that takes typing, a margin above its text for as long as
// it lives, following its height and its font.
void CentreEditText(HWND Combo);

// Draws an item of a box made with CentredListStyle as the box itself would, its closed field's
// text in the middle of the field; false for what is no such item.
bool DrawComboItem(const DRAWITEMSTRUCT& Item);

// Gives the list of a box made with CentredListStyle the height of Font's line for its items, as a
// box that draws itself takes for its font.
void FitComboListItems(HWND Combo, HFONT Font);
