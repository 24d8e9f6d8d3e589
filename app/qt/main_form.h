#pragma once

// The main window: five buttons over their actions, the base and target map type boxes, the
// twelve map check boxes and the status bar, made from the window's control table. A view of
// the window's model: the controls show the model's state and pass the user's events to it; the
// rules and the run are the model's.

#include <QWidget>
#include <array>
#include <optional>
#include <string>

#include "app/core/main_window_model.h"
#include "app/core/window_controls.h"
#include "app/qt/error_display.h"

class QCloseEvent;
class QShowEvent;
class TBrowseFolder;
class TMapBoxMenus;

class TForm1 : public QWidget, private TMainWindowView {
 public:
  explicit TForm1(QWidget* Parent = nullptr);
  ~TForm1() override;

  // The widget of a row of the window's table.
  QWidget* Control(TMainControl Row) const { return FControls[static_cast<std::size_t>(Row)]; }
  TMainWindowModel& Model() { return FModel; }
  const TMainWindowModel& Model() const { return FModel; }
  TMapBoxMenus& MapBoxMenus() { return *FMapBoxMenus; }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  void ConnectControls();
  bool KeyPressed(QObject* Watched, const QKeyEvent& Key);

  // TMainWindowView
  void StateChanged() override;
  void StatusChanged(bool PaintNow) override;
  void PaintWindow() override;
  void ProcessMessages() override;
  std::optional<std::string> PickFolder(const std::string& Start) override;
  void ShowAbout() override;
  void ShowViewer(const std::string& FileName) override;
  void RequestClose() override;
  void ShowError(const std::string& Message) override;
  TFocusTarget Focus() override;
  void SetFocus(TMainControl Target) override;

  TMainWindowModel FModel;
  std::array<QWidget*, MainControlCount> FControls{};  // owned through Qt's parent chain
  TBrowseFolder* FBrowseFolder;
  TMapBoxMenus* FMapBoxMenus;
};
