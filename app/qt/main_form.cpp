#include "app/qt/main_form.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <utility>

#include "app/qt/about_form.h"
#include "app/qt/error_display.h"
#include "app/qt/frame_centring.h"
#include "app/qt/map_box_menus.h"
#include "browsefl/browse_folder_qt.h"

namespace {

constexpr int ClientWidth = 318;
constexpr int ClientHeight = 187;

QAction* NewAction(QObject* Owner, const char* Name, const char* Caption, const char* Hint,
                   bool Enabled) {
  auto* Act = new QAction(QString::fromUtf8(Caption), Owner);
  Act->setObjectName(QString::fromLatin1(Name));
  // The hint is kept with the action only: hint display is off, so no tooltip is set anywhere.
  Act->setStatusTip(QString::fromUtf8(Hint));
  Act->setEnabled(Enabled);
  return Act;
}

// A push button that shows an action's caption and enabled state and triggers it when clicked.
// The "&" of the caption gives the button its Alt accelerator. Space and Enter both press it
// while it has the focus (auto-default: outside a dialog, Qt leaves Enter to such buttons only).
QPushButton* NewActionButton(QWidget* Parent, const char* Name, QAction* Act, int Left, int Top,
                             int Width, int Height) {
  auto* Btn = new QPushButton(Act->text(), Parent);
  Btn->setObjectName(QString::fromLatin1(Name));
  Btn->setGeometry(Left, Top, Width, Height);
  Btn->setAutoDefault(true);
  Btn->setEnabled(Act->isEnabled());
  QObject::connect(Btn, &QPushButton::clicked, Act, &QAction::trigger);
  QObject::connect(Act, &QAction::changed, Btn, [Btn, Act] {
    Btn->setText(Act->text());
    Btn->setEnabled(Act->isEnabled());
  });
  return Btn;
}

QComboBox* NewTypeComboBox(QWidget* Parent, const char* Name, bool Editable, int CurrentItem,
                           int Top) {
  auto* Box = new QComboBox(Parent);
  Box->setObjectName(QString::fromLatin1(Name));
  Box->setGeometry(4, Top, 117, 20);
  if (Editable) {
    Box->setEditable(true);
    // Typed text stays text: it is never added to the items nor completed into one, and it
    // never selects one either (Qt would select an item whose text was typed exactly and report
    // that as the user's choice when the editing ends).
    Box->setInsertPolicy(QComboBox::NoInsert);
    Box->setCompleter(nullptr);
    QObject::disconnect(Box->lineEdit(), &QLineEdit::editingFinished, Box, nullptr);
    QObject::disconnect(Box->lineEdit(), &QLineEdit::returnPressed, Box, nullptr);
  }
  for (const char* Item : MapTypeItems) Box->addItem(QString::fromUtf8(Item));
  Box->setCurrentIndex(CurrentItem);
  return Box;
}

QLabel* NewLabel(QWidget* Parent, const char* Name, const char* Caption, int Left, int Top) {
  auto* Label = new QLabel(QString::fromUtf8(Caption), Parent);
  Label->setObjectName(QString::fromLatin1(Name));
  Label->move(Left, Top);
  Label->adjustSize();
  return Label;
}

QGroupBox* NewGroupBox(QWidget* Parent, const char* Name, const char* Caption, int Left, int Top) {
  auto* Box = new QGroupBox(QString::fromUtf8(Caption), Parent);
  Box->setObjectName(QString::fromLatin1(Name));
  Box->setGeometry(Left, Top, 153, 41);
  return Box;
}

QCheckBox* NewMapCheckBox(QGroupBox* Group, const char* Name, MapScale S) {
  static constexpr int Lefts[MapScaleCount] = {8, 60, 104};
  static constexpr int Widths[MapScaleCount] = {49, 41, 45};
  auto* Box = new QCheckBox(QString::fromUtf8(MapScaleTexts[S]), Group);
  Box->setObjectName(QString::fromLatin1(Name));
  Box->setGeometry(Lefts[S], 16, Widths[S], 17);
  return Box;
}

}  // namespace

TForm1::TForm1(QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      FModel(*this),
      MapFolder(FModel.MapFolder),
      Canceled(FModel.Canceled),
      Closing(FModel.Closing),
      FirstShow(FModel.FirstShow) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Veldrin for UO:SE"));
  setFixedSize(ClientWidth, ClientHeight);
  QPalette Colors = palette();
  Colors.setColor(QPalette::Window, Colors.color(QPalette::Button));
  setPalette(Colors);
  setAutoFillBackground(true);
  // The given family first; where it is missing, IPA P Gothic (proportional like it) or IPA
  // Gothic shows the Japanese texts instead of boxes.
  QFont Font;
  Font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                    QStringLiteral("IPAGothic")});
  Font.setPixelSize(12);
  setFont(Font);

  CreateActions();
  CreateControls();
  BrowseFolder = new TBrowseFolder(this);
  BrowseFolder->setObjectName(QStringLiteral("BrowseFolder"));
  BrowseFolder->SetTitle("UOAMのマップのあるフォルダを選択");

  if (QGuiApplication::primaryScreen() != nullptr) {
    CentreFrame(
        this, [] { return QGuiApplication::primaryScreen()->availableGeometry(); }, QMargins());
  }
  FormCreate();
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      connect(MapCBoxes[F][S], &QCheckBox::clicked, this,
              [this, F, S](bool Ticked) { FModel.BoxClicked(F, S, Ticked); });
    }
  }
  MapBoxMenus = new TMapBoxMenus(this, FModel, MapCBoxes);
  // Keys: the target box's text takes no Alt combinations, a map box opens its menu on
  // Shift+F10 as well.
  TrgCBox->installEventFilter(this);
  TrgCBox->lineEdit()->installEventFilter(this);
  for (const auto& Row : MapCBoxes) {
    for (QCheckBox* Box : Row) Box->installEventFilter(this);
  }
}

TForm1::~TForm1() = default;

void TForm1::CreateActions() {
  OpenFolderAct =
      NewAction(this, "OpenFolderAct", "&Folder", "マップの存在するフォルダを選択", true);
  MakeAct = NewAction(this, "MakeAct", "&Make", "グリッドマップ作成", false);
  CancelAct = NewAction(this, "CancelAct", "&Cancel", "作成中止", false);
  AboutAct = NewAction(this, "AboutAct", "&About", "About Veldrin", true);
  QuitAct = NewAction(this, "QuitAct", "Quit", "終了", true);

  const std::pair<QAction*, TWindowAction> Routes[] = {{OpenFolderAct, TWindowAction::Folder},
                                                       {MakeAct, TWindowAction::Make},
                                                       {CancelAct, TWindowAction::Cancel},
                                                       {AboutAct, TWindowAction::About},
                                                       {QuitAct, TWindowAction::Quit}};
  for (const auto& [Act, Action] : Routes) {
    connect(Act, &QAction::triggered, this, [this, Action = Action] { FModel.Execute(Action); });
  }
}

void TForm1::CreateControls() {
  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(0, 0, ClientWidth, 29);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(1);
  FolderBtn = NewActionButton(Panel1, "FolderBtn", OpenFolderAct, 4, 4, 45, 21);
  MakeBtn = NewActionButton(Panel1, "MakeBtn", MakeAct, 52, 4, 45, 21);
  CancelBtn = NewActionButton(Panel1, "CancelBtn", CancelAct, 100, 4, 45, 21);
  AboutBtn = NewActionButton(Panel1, "AboutBtn", AboutAct, 148, 4, 45, 21);
  QuitBtn = NewActionButton(Panel1, "QuitBtn", QuitAct, 266, 4, 47, 21);

  BaseCBox = NewTypeComboBox(this, "BaseCBox", false, 0, 32);
  Label1 = NewLabel(this, "Label1", "をベースにグリッドマップを作成して", 128, 36);
  TrgCBox = NewTypeComboBox(this, "TrgCBox", true, 2, 56);
  Label2 = NewLabel(this, "Label2", "にグリッドマップを設定する", 128, 60);
  connect(BaseCBox, &QComboBox::activated, this, [this](int Item) { FModel.BaseSelected(Item); });
  connect(TrgCBox, &QComboBox::activated, this, [this](int Item) { FModel.TrgSelected(Item); });
  connect(TrgCBox->lineEdit(), &QLineEdit::textEdited, this, [this] { FModel.TrgTextEdited(); });

  FTGBox = NewGroupBox(this, "FTGBox", "フェルッカ＆トラメル", 4, 80);
  MGBox = NewGroupBox(this, "MGBox", "マラス", 160, 80);
  IGBox = NewGroupBox(this, "IGBox", "イルシェナー", 4, 124);
  TkGBox = NewGroupBox(this, "TkGBox", "徳之島", 160, 124);
  FT1CBox = NewMapCheckBox(FTGBox, "FT1CBox", msFull);
  FT2CBox = NewMapCheckBox(FTGBox, "FT2CBox", msHalf);
  FT4CBox = NewMapCheckBox(FTGBox, "FT4CBox", msQuarter);
  M1CBox = NewMapCheckBox(MGBox, "M1CBox", msFull);
  M2CBox = NewMapCheckBox(MGBox, "M2CBox", msHalf);
  M4CBox = NewMapCheckBox(MGBox, "M4CBox", msQuarter);
  I1CBox = NewMapCheckBox(IGBox, "I1CBox", msFull);
  I2CBox = NewMapCheckBox(IGBox, "I2CBox", msHalf);
  I4CBox = NewMapCheckBox(IGBox, "I4CBox", msQuarter);
  Tk1CBox = NewMapCheckBox(TkGBox, "Tk1CBox", msFull);
  Tk2CBox = NewMapCheckBox(TkGBox, "Tk2CBox", msHalf);
  Tk4CBox = NewMapCheckBox(TkGBox, "Tk4CBox", msQuarter);

  StsBar = new QStatusBar(this);
  StsBar->setObjectName(QStringLiteral("StsBar"));
  StsBar->setSizeGripEnabled(false);
  StsBar->setGeometry(0, 168, ClientWidth, 19);

  QWidget* const TabOrder[] = {FolderBtn, MakeBtn, CancelBtn, AboutBtn, QuitBtn, BaseCBox, TrgCBox,
                               FT1CBox,   FT2CBox, FT4CBox,   I1CBox,   I2CBox,  I4CBox,   M1CBox,
                               M2CBox,    M4CBox,  Tk1CBox,   Tk2CBox,  Tk4CBox};
  for (std::size_t I = 1; I < std::size(TabOrder); ++I) {
    setTabOrder(TabOrder[I - 1], TabOrder[I]);
  }
}

void TForm1::FormCreate() {
  QCheckBox* const Boxes[FacetCount][MapScaleCount] = {{FT1CBox, FT2CBox, FT4CBox},
                                                       {I1CBox, I2CBox, I4CBox},
                                                       {M1CBox, M2CBox, M4CBox},
                                                       {Tk1CBox, Tk2CBox, Tk4CBox}};
  for (int F = 0; F < FacetCount; ++F) {
    for (int S = 0; S < MapScaleCount; ++S) MapCBoxes[F][S] = Boxes[F][S];
  }
  Canceled = false;
  Closing = false;
  FirstShow = true;
  MapFolder = DefaultMapFolder();
}

void TForm1::FormShow() {
  FModel.FormShow();
}

void TForm1::FormCloseQuery(bool& CanClose) {
  FModel.CloseRequested();
  CanClose = true;
}

void TForm1::UpdateMapCBoxes() {
  FModel.UpdateMapCBoxes();
}

bool TForm1::CheckMakable() {
  return FModel.CheckMakable();
}

void TForm1::UpdateControls() {
  FModel.UpdateControls();
}

void TForm1::OpenFolderActExecute() {
  FModel.OpenFolderActExecute();
}

void TForm1::MakeActExecute() {
  FModel.MakeActExecute();
}

void TForm1::CancelActExecute() {
  FModel.CancelActExecute();
}

void TForm1::AboutActExecute() {
  FModel.AboutActExecute();
}

void TForm1::QuitActExecute() {
  FModel.QuitActExecute();
}

void TForm1::CBClick() {
  FModel.CBClick();
}

void TForm1::BaseCBoxSelect() {
  FModel.BaseCBoxSelect();
}

int TForm1::TrgItemIndex() const {
  return FModel.TrgItemIndex();
}

MapType TForm1::GetBaseMapType() {
  return FModel.GetBaseMapType();
}

MapType TForm1::GetTrgMapType() {
  return FModel.GetTrgMapType();
}

void TForm1::ShowStatus(const std::string& Text) {
  FModel.ShowStatus(Text);
}

void TForm1::SetStatusText(const std::string& Text) {
  FModel.SetStatusText(Text);
}

std::string TForm1::GetStatusText() const {
  return FModel.StatusText();
}

TForm1::TErrorHandler TForm1::SetErrorHandler(TErrorHandler Handler) {
  return ::SetErrorHandler(std::move(Handler));
}

bool TForm1::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() != QEvent::KeyPress) return false;
  const auto* Key = static_cast<QKeyEvent*>(Event);
  if (Watched == TrgCBox || Watched == TrgCBox->lineEdit()) {
    // An Alt combination that reaches the text is the letter of an action that did not act
    // (disabled) or of none: it is used up, never typed (typed text would make the target type
    // X-ray unseen). Ctrl+Alt is AltGr on Windows, which types; keys without text (Alt+Down
    // opens the list) pass.
    const Qt::KeyboardModifiers Mods = Key->modifiers();
    if (!Mods.testFlag(Qt::AltModifier) || Mods.testFlag(Qt::ControlModifier) ||
        Key->text().isEmpty() || !Key->text().front().isPrint()) {
      return false;
    }
    if (Key->text().front().isLetter()) {
      FModel.AcceleratorPressed(static_cast<char>(Key->text().front().toLatin1()));
    }
    return true;
  }
  // Shift+F10 asks for the focused box's context menu, as the menu key does.
  if (Key->key() == Qt::Key_F10 && Key->modifiers() == Qt::ShiftModifier) {
    auto* Box = static_cast<QWidget*>(Watched);
    const QPoint Centre = Box->rect().center();
    QContextMenuEvent Request(QContextMenuEvent::Keyboard, Centre, Box->mapToGlobal(Centre));
    QCoreApplication::sendEvent(Box, &Request);
    return true;
  }
  return false;
}

void TForm1::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  if (!Event->spontaneous()) FormShow();
}

void TForm1::closeEvent(QCloseEvent* Event) {
  if (FModel.CloseRequested()) {
    Event->accept();
  } else {
    Event->ignore();
  }
}

// ---- the model's view ---------------------------------------------------------------------------

void TForm1::StateChanged() {
  QAction* const Actions[WindowActionCount] = {OpenFolderAct, MakeAct, CancelAct, AboutAct,
                                               QuitAct};
  for (int A = 0; A < WindowActionCount; ++A) {
    Actions[A]->setEnabled(FModel.ActionEnabled(static_cast<TWindowAction>(A)));
  }
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      MapCBoxes[F][S]->setEnabled(FModel.BoxEnabled(F, S));
      MapCBoxes[F][S]->setChecked(FModel.BoxTicked(F, S));
    }
  }
  StatusChanged(false);
}

void TForm1::StatusChanged(bool PaintNow) {
  const QString Text = QString::fromStdString(FModel.StatusText());
  if (StsBar->currentMessage() != Text) StsBar->showMessage(Text);
  // Shown at once, only the status bar is painted: the whole window, every control with its
  // Japanese text, would cost a run far more than the job's own work between two status texts;
  // anything else pending is painted at the next event processing.
  if (PaintNow) StsBar->repaint();
}

void TForm1::PaintWindow() {
  repaint();
}

void TForm1::ProcessMessages() {
  QCoreApplication::processEvents();
}

std::optional<std::string> TForm1::PickFolder(const std::string& Start) {
  BrowseFolder->SetStartFolder(Start);
  if (!BrowseFolder->Execute()) return std::nullopt;
  return BrowseFolder->GetFolder();
}

void TForm1::ShowAbout() {
  TAboutForm AboutForm(this);
  AboutForm.exec();
}

void TForm1::RequestClose() {
  close();
}

void TForm1::ShowError(const std::string& Message) {
  ShowErrorMessage(this, QString::fromStdString(Message));
}

QWidget* TForm1::FocusWidgetOf(TFocusTarget Target) {
  switch (Target) {
    case TFocusTarget::Window:
      return this;
    case TFocusTarget::FolderBtn:
      return FolderBtn;
    case TFocusTarget::MakeBtn:
      return MakeBtn;
    case TFocusTarget::CancelBtn:
      return CancelBtn;
    case TFocusTarget::AboutBtn:
      return AboutBtn;
    case TFocusTarget::QuitBtn:
      return QuitBtn;
    case TFocusTarget::Other:
      break;
  }
  return nullptr;
}

TFocusTarget TForm1::Focus() {
  QWidget* const Focused = focusWidget();
  for (const TFocusTarget Target :
       {TFocusTarget::Window, TFocusTarget::FolderBtn, TFocusTarget::MakeBtn,
        TFocusTarget::CancelBtn, TFocusTarget::AboutBtn, TFocusTarget::QuitBtn}) {
    if (Focused != nullptr && Focused == FocusWidgetOf(Target)) return Target;
  }
  return TFocusTarget::Other;
}

void TForm1::SetFocus(TFocusTarget Target) {
  if (QWidget* Widget = FocusWidgetOf(Target)) Widget->setFocus(Qt::OtherFocusReason);
}
