#pragma once

// The About dialog: the program's name and revision and the maker's notice in a frame, and Ok;
// made from the dialog's control table.

#include <QDialog>
#include <vector>

#include "app/core/window_controls.h"

class TAboutForm : public QDialog {
 public:
  explicit TAboutForm(QWidget* Owner);

  // The widget of a row of the dialog's table.
  QWidget* Control(TAboutControl Row) const { return FControls[static_cast<std::size_t>(Row)]; }

 private:
  std::vector<QWidget*> FControls;  // owned through Qt's parent chain
};
