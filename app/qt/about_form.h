#pragma once

// The About dialog: the program's name and revision and the maker's notice in a frame, and Ok.

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TAboutForm : public QDialog {
 public:
  explicit TAboutForm(QWidget* Owner);

  QFrame* Bevel1;
  QLabel* Label1;
  QLabel* Label2;
  QPushButton* Button1;
};
