#pragma once

// The main window: five buttons over their actions, the base and target map type boxes, the
// twelve map check boxes and the status bar. It hosts the run of map jobs (TJobHost).

#include <QWidget>
#include <functional>
#include <string>

#include "app/core/job_host.h"
#include "app/core/map_catalogue.h"
#include "app/gui/error_display.h"

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

class TForm1 : public QWidget, public TJobHost {
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

  std::string MapFolder;
  bool Canceled = false;
  bool Closing = false;
  bool FirstShow = true;
  QCheckBox* MapCBoxes[FacetCount][MapScaleCount];

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
  // The item index of TrgCBox as the user sees it: -1 while its text is not the selected item's.
  int TrgItemIndex() const;

  // TJobHost
  std::string GetMapFolder() override;
  bool MapBoxEnabled(Facet F, MapScale S) override;
  bool MapBoxChecked(Facet F, MapScale S) override;
  MapType GetBaseMapType() override;
  MapType GetTrgMapType() override;
  bool GetCanceled() override;
  void SetCanceled(bool Value) override;
  bool GetClosing() override;
  void SetRunning(bool Running) override;
  void ShowStatus(const std::string& Text) override;
  void SetStatusText(const std::string& Text) override;
  void Repaint() override;
  void ProcessMessages() override;

  bool IsRunning() const { return FRunning; }
  std::string GetStatusText() const;

  // Replaces the message box that shows errors (an empty function restores the message box).
  // Returns the previous handler.
  static TErrorHandler SetErrorHandler(TErrorHandler Handler);

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  void CreateControls();
  void CreateActions();
  void UpdateMapCBoxes();
  void UpdateControls();
  void Guarded(void (TForm1::*Handler)());
  void ShowError(const QString& Message);

  bool FRunning = false;
  QWidget* FFocusBeforeRun = nullptr;  // the button that had the focus when the run began
};
