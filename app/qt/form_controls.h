#pragma once

// Qt widgets made from a window's control table: each row's widget, named and placed as the row
// says, in its parent's widget, the tab order that of the table.

#include <QWidget>
#include <span>
#include <vector>

#include "app/core/window_controls.h"

// Gives Form the window row's caption and fixed client size, then makes the widget of every
// other row; the result holds one widget a row (Form for row 0). A button's Alt letter is marked
// in its caption but takes no shortcut of its own: the window routes every Alt letter.
std::vector<QWidget*> CreateFormControls(QWidget* Form, std::span<const TControlRow> Rows);
