#include "app/qt/about_form.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "app/qt/frame_centring.h"

namespace {

// 12 pixels high, or higher where a line of the font or a glyph of the text reaches further
// below the top (the text hangs from it), so that no descender is cut off.
QLabel* NewCentredLabel(QWidget* Parent, const char* Name, const char* Caption, int Top) {
  auto* Label = new QLabel(QString::fromUtf8(Caption), Parent);
  Label->setObjectName(QString::fromLatin1(Name));
  Label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  const QFontMetrics Metrics = Label->fontMetrics();
  const int GlyphsBottom = Metrics.ascent() + Metrics.tightBoundingRect(Label->text()).bottom() + 1;
  Label->setGeometry(8, Top, 237, std::max({12, Metrics.height(), GlyphsBottom}));
  return Label;
}

}  // namespace

TAboutForm::TAboutForm(QWidget* Owner)
    : QDialog(Owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
  // A dialog is a window of its own and does not inherit its owner's font by itself.
  if (Owner != nullptr) setFont(Owner->font());
  setObjectName(QStringLiteral("AboutForm"));
  setWindowTitle(QStringLiteral("About Veldrin"));
  setFixedSize(254, 79);
  setModal(true);
  // Centred on the owner's frame; until the dialog is shown the owner's frame stands in for
  // its own.
  if (Owner != nullptr) {
    QWidget* const OwnerWindow = Owner->window();
    CentreFrame(
        this, [OwnerWindow] { return OwnerWindow->frameGeometry(); }, FrameMargins(OwnerWindow));
  }

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setGeometry(4, 4, 245, 37);
  Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Label1 = NewCentredLabel(this, "Label1", "Veldrin for UO:SE rev " VELDRIN_VERSION, 8);
  Label2 = NewCentredLabel(this, "Label2", "Copyright (C) the Veldrin developers", 24);

  Button1 = new QPushButton(QStringLiteral("Ok"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(92, 48, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}
