#include "app/qt/about_form.h"

#include <QPushButton>

#include "app/qt/form_controls.h"
#include "app/qt/frame_centring.h"

TAboutForm::TAboutForm(QWidget* Owner)
    : QDialog(Owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
  // A dialog is a window of its own and does not inherit its owner's font by itself.
  if (Owner != nullptr) setFont(Owner->font());
  setModal(true);
  FControls = CreateFormControls(this, AboutFormControls());
  // Centred on the owner's frame; until the dialog is shown the owner's frame stands in for
  // its own.
  if (Owner != nullptr) {
    QWidget* const OwnerWindow = Owner->window();
    CentreFrame(
        this, [OwnerWindow] { return OwnerWindow->frameGeometry(); }, FrameMargins(OwnerWindow));
  }
  connect(static_cast<QPushButton*>(Control(TAboutControl::Button1)), &QPushButton::clicked, this,
          &QDialog::accept);
}
