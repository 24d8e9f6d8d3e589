#pragma once

// The main window: five buttons over their actions, the base and target map type boxes, the
// twelve map check boxes and the status bar. A view of the window's model: the controls show
// the model's state and pass the user's events to it; the rules and the run are the model's.

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "app/core/main_window_model.h"
#include "app/core/map_catalogue.h"
#include "app/qt/error_display.h"

class QAction;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QShowEvent;
class QStatusBar;
class TBrowseFolder;
class TMapBoxMenus;

class TForm1 : public QWidget, private TMainWindowView {
  // First: the published fields below refer to it.
  TMainWindowModel FModel;

 public:
  // Shows an error that reached an action handler; Owner is the window.
  using TErrorHandler = ::TErrorHandler;

  explicit TForm1(QWidget* Parent = nullptr);
  ~TForm1() override;

  // Controls, owned by the window through Qt's parent chain.
  QFrame* Panel1;
  QPushButton* FolderBtn;
  QPushButton* MakeBtn;
  QPushButton* CancelBtn;
  QPushButton* AboutBtn;
  QPushButton* QuitBtn;
  QComboBox* BaseCBox;
  QLabel* Label1;
  QComboBox* TrgCBox;
  QLabel* Label2;
  QGroupBox* FTGBox;
  QGroupBox* MGBox;
  QGroupBox* IGBox;
  QGroupBox* TkGBox;
  QCheckBox* FT1CBox;
  QCheckBox* FT2CBox;
  QCheckBox* FT4CBox;
  QCheckBox* I1CBox;
  QCheckBox* I2CBox;
  QCheckBox* I4CBox;
  QCheckBox* M1CBox;
  QCheckBox* M2CBox;
  QCheckBox* M4CBox;
  QCheckBox* Tk1CBox;
  QCheckBox* Tk2CBox;
  QCheckBox* Tk4CBox;
  QStatusBar* StsBar;

  QAction* OpenFolderAct;
  QAction* MakeAct;
  QAction* CancelAct;
  QAction* AboutAct;
  QAction* QuitAct;

  TBrowseFolder* BrowseFolder;
  // The context menus of the map check boxes.
  TMapBoxMenus* MapBoxMenus;

  // The model's settings under the window's published names.
  std::string& MapFolder;
  bool& Canceled;
  bool& Closing;
  bool& FirstShow;
  QCheckBox* MapCBoxes[FacetCount][MapScaleCount];

  TMainWindowModel& Model() { return FModel; }

  // Handlers. The action handlers are reached through the actions, which show any error they
  // raise and close the window after a run during which a close was requested; calling them
  // directly does neither.
  void FormCreate();
  void FormShow();
  void FormCloseQuery(bool& CanClose);
  void OpenFolderActExecute();
  void MakeActExecute();
  void CancelActExecute();
  void AboutActExecute();
  void QuitActExecute();
  void CBClick();
  void BaseCBoxSelect();

  bool CheckMakable();
  // The item index of TrgCBox as the user sees it: -1 once text was typed into it.
  int TrgItemIndex() const;
  MapType GetBaseMapType();
  MapType GetTrgMapType();
  void ShowStatus(const std::string& Text);
  void SetStatusText(const std::string& Text);
  bool IsRunning() const { return FModel.IsRunning(); }
  std::string GetStatusText() const;

  // Replaces the message box that shows errors (an empty function restores the message box).
  // Returns the previous handler.
  static TErrorHandler SetErrorHandler(TErrorHandler Handler);

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  void CreateControls();
  void CreateActions();
  void UpdateMapCBoxes();
  void UpdateControls();

  // TMainWindowView
  void StateChanged() override;
  void StatusChanged(bool PaintNow) override;
  void PaintWindow() override;
  void ProcessMessages() override;
  std::optional<std::string> PickFolder(const std::string& Start) override;
  void ShowAbout() override;
  void RequestClose() override;
  void ShowError(const std::string& Message) override;
  TFocusTarget Focus() override;
  void SetFocus(TFocusTarget Target) override;

  QWidget* FocusWidgetOf(TFocusTarget Target);
};
