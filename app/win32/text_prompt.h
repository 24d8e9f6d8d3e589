#pragma once

// A small modal prompt for one line of text on Windows: a title, a line of explanation, an edit
// field and OK and Cancel, centred on the screen and scaled for its monitor by the system, which
// makes it from a dialog template. It runs in the program's own modal loop, which also ends when
// the owner is destroyed meanwhile (End task on the main window destroys the viewers it owns, and
// with them the prompt).

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

// The prompt over Owner, Initial in its field and selected: the text confirmed (UTF-8), or none
// when the user cancelled or the prompt went with its owner.
std::optional<std::string> DialogTextPrompt(HWND Owner, const std::string& Title,
                                            const std::string& Prompt, const std::string& Initial);
