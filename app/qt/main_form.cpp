#include "app/qt/main_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <algorithm>

#include "app/qt/about_form.h"
#include "app/qt/error_display.h"
#include "app/qt/form_controls.h"
#include "app/qt/frame_centring.h"
#include "app/qt/map_box_menus.h"
#include "app/qt/map_viewer.h"
#include "browsefl/browse_folder_qt.h"

namespace {

using enum TMainControl;

QComboBox* Combo(QWidget* Control) {
  return static_cast<QComboBox*>(Control);
}

QCheckBox* Check(QWidget* Control) {
  return static_cast<QCheckBox*>(Control);
}

}  // namespace

TForm1::TForm1(QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      FModel(*this) {
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

  const std::vector<QWidget*> Controls = CreateFormControls(this, MainFormControls());
  std::copy(Controls.begin(), Controls.end(), FControls.begin());
  FBrowseFolder = new TBrowseFolder(this);
  FBrowseFolder->setObjectName(QStringLiteral("BrowseFolder"));
  FBrowseFolder->SetTitle("UOAMのマップのあるフォルダを選択");

  if (QGuiApplication::primaryScreen() != nullptr) {
    CentreFrame(
        this, [] { return QGuiApplication::primaryScreen()->availableGeometry(); }, QMargins());
  }
  ConnectControls();
  StateChanged();
}

TForm1::~TForm1() = default;

void TForm1::ConnectControls() {
  for (int A = 0; A < WindowActionCount; ++A) {
    const auto Action = static_cast<TWindowAction>(A);
    connect(static_cast<QPushButton*>(Control(ActionButton(Action))), &QPushButton::clicked, this,
            [this, Action] { FModel.Execute(Action); });
  }
  QCheckBox* Boxes[FacetCount][MapScaleCount];
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      Boxes[F][S] = Check(Control(MapCBoxControl(F, S)));
      connect(Boxes[F][S], &QCheckBox::clicked, this,
              [this, F, S](bool Ticked) { FModel.BoxClicked(F, S, Ticked); });
    }
  }
  FMapBoxMenus = new TMapBoxMenus(this, FModel, Boxes);
  QComboBox* const Trg = Combo(Control(TrgCBox));
  connect(Combo(Control(BaseCBox)), &QComboBox::activated, this,
          [this](int Item) { FModel.BaseSelected(Item); });
  connect(Trg, &QComboBox::activated, this, [this](int Item) { FModel.TrgSelected(Item); });
  connect(Trg->lineEdit(), &QLineEdit::textEdited, this, [this] { FModel.TrgTextEdited(); });
  // Every key of the window passes here first: Alt letters, Escape and Shift+F10.
  for (QWidget* Each : FControls) Each->installEventFilter(this);
  Trg->lineEdit()->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == this && Event->type() == QEvent::WindowActivate) FModel.Activated();
  if (Watched == this && Event->type() == QEvent::WindowDeactivate) FModel.Deactivated();
  if (Event->type() != QEvent::KeyPress) return false;
  return KeyPressed(Watched, *static_cast<QKeyEvent*>(Event));
}

bool TForm1::KeyPressed(QObject* Watched, const QKeyEvent& Key) {
  // An Alt combination is the letter of an action or of none: the model acts on it, and it is
  // used up, never typed (typed text would make the target type X-ray unseen). Ctrl+Alt is
  // AltGr on Windows, which types; keys without text (Alt+Down opens the list) pass.
  const Qt::KeyboardModifiers Mods = Key.modifiers();
  if (Mods.testFlag(Qt::AltModifier) && !Mods.testFlag(Qt::ControlModifier) &&
      !Key.text().isEmpty() && Key.text().front().isPrint()) {
    if (Key.text().front().isLetter()) {
      FModel.AcceleratorPressed(static_cast<char>(Key.text().front().toLatin1()));
    }
    return true;
  }
  if (Key.key() == Qt::Key_Escape && Mods == Qt::NoModifier) {
    FModel.EscapePressed();
    return true;
  }
  // Shift+F10 asks for the focused box's context menu, as the menu key does.
  auto* Box = qobject_cast<QCheckBox*>(Watched);
  if (Box != nullptr && Key.key() == Qt::Key_F10 && Mods == Qt::ShiftModifier) {
    const QPoint Centre = Box->rect().center();
    QContextMenuEvent Request(QContextMenuEvent::Keyboard, Centre, Box->mapToGlobal(Centre));
    QCoreApplication::sendEvent(Box, &Request);
    return true;
  }
  return false;
}

void TForm1::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  if (!Event->spontaneous()) FModel.FormShow();
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
  for (int A = 0; A < WindowActionCount; ++A) {
    const auto Action = static_cast<TWindowAction>(A);
    Control(ActionButton(Action))->setEnabled(FModel.ActionEnabled(Action));
  }
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      QCheckBox* const Box = Check(Control(MapCBoxControl(F, S)));
      Box->setEnabled(FModel.BoxEnabled(F, S));
      Box->setChecked(FModel.BoxTicked(F, S));
    }
  }
  Combo(Control(BaseCBox))->setCurrentIndex(FModel.BaseItemIndex());
  // Typed text (no item) stays as typed.
  if (FModel.TrgItemIndex() >= 0) Combo(Control(TrgCBox))->setCurrentIndex(FModel.TrgItemIndex());
  StatusChanged(false);
}

void TForm1::StatusChanged(bool PaintNow) {
  auto* const Bar = static_cast<QStatusBar*>(Control(StsBar));
  const QString Text = QString::fromStdString(FModel.StatusText());
  if (Bar->currentMessage() != Text) Bar->showMessage(Text);
  // Shown at once, only the status bar is painted: the whole window, every control with its
  // Japanese text, would cost a run far more than the job's own work between two status texts;
  // anything else pending is painted at the next event processing.
  if (PaintNow) Bar->repaint();
}

void TForm1::PaintWindow() {
  repaint();
}

void TForm1::ProcessMessages() {
  QCoreApplication::processEvents();
}

std::optional<std::string> TForm1::PickFolder(const std::string& Start) {
  FBrowseFolder->SetStartFolder(Start);
  if (!FBrowseFolder->Execute()) return std::nullopt;
  return FBrowseFolder->GetFolder();
}

void TForm1::ShowAbout() {
  TAboutForm AboutForm(this);
  AboutForm.exec();
}

void TForm1::ShowViewer(const std::string& FileName) {
  // A viewer left open does not keep the program running once the main window has closed.
  TMapViewer::Show(FileName, this)->setAttribute(Qt::WA_QuitOnClose, false);
}

void TForm1::RequestClose() {
  close();
}

void TForm1::ShowError(const std::string& Message) {
  ShowErrorMessage(this, QString::fromStdString(Message));
}

TFocusTarget TForm1::Focus() {
  // The target box's text field is a widget of its own inside the box.
  for (QWidget* Focused = focusWidget(); Focused != nullptr; Focused = Focused->parentWidget()) {
    const auto Found = std::find(FControls.begin(), FControls.end(), Focused);
    if (Found != FControls.end()) return static_cast<TMainControl>(Found - FControls.begin());
  }
  return std::nullopt;
}

void TForm1::SetFocus(TMainControl Target) {
  Control(Target)->setFocus(Qt::OtherFocusReason);
}
