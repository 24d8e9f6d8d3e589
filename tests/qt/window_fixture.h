#pragma once

// A main window over a fresh temporary folder, with functions that act as the user does: ticking
// boxes with the mouse, choosing combo-box items with the keyboard, pressing buttons.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "app/core/map_catalogue.h"
#include "app/core/window_controls.h"
#include "app/qt/main_form.h"
#include "browsefl/browse_folder_qt.h"
#include "qt_test_application.h"
#include "support/temp_dir.h"

// The window's controls by their rows, as the widgets they are.
using enum TMainControl;
template <typename T = QWidget>
T* Widget(const TForm1& W, TMainControl Row) {
  return static_cast<T*>(W.Control(Row));
}
inline QPushButton* Btn(const TForm1& W, TMainControl Row) {
  return Widget<QPushButton>(W, Row);
}
inline QCheckBox* Box(const TForm1& W, TMainControl Row) {
  return Widget<QCheckBox>(W, Row);
}
inline QComboBox* Combo(const TForm1& W, TMainControl Row) {
  return Widget<QComboBox>(W, Row);
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string Folder() const { return Dir.Path().string(); }
  // Writes a small valid 8-bit base file (8 pixels wide, Height rows) for the map.
  void WriteBase(Facet F, MapType T, MapScale S, int Height = 16) const;
  // Whether the folder has a file of that name.
  bool TargetExists(const char* Name) const;

  // Creates the window with MapFolder set to the temporary folder and shows it.
  TForm1& ShowWindow();
  // The same, then makes it the active window, so that keys go where its focus is.
  TForm1& ShowActiveWindow();
  // Felucca & Trammel, Ilshenar and Malas at full size in the folder, and the window shown with
  // their three boxes ticked: a run of three maps.
  TForm1& ShowWithThreeMapsTicked();

  static void Tick(QCheckBox* Box);
  static void Choose(QComboBox* Box, int Item);
  static void Press(QPushButton* Button);

  // Whether the four actions a run switches are in the idle state (Make as given).
  void ExpectIdleActions(bool MakeEnabled) const;

  testsupport::TTempDir Dir;
  std::unique_ptr<TForm1> Form;
  std::vector<QString> Errors;  // messages of the errors the window showed

 private:
  ::TErrorHandler FSavedHandler;
};
