#include "app/qt/form_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <algorithm>

namespace {

QComboBox* NewTypeComboBox(QWidget* Parent, bool Editable) {
  auto* Box = new QComboBox(Parent);
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
  return Box;
}

QPushButton* NewButton(QWidget* Parent, const TControlRow& Row) {
  auto* Button = new QPushButton(QString::fromStdString(MarkedCaption(Row)), Parent);
  Button->setShortcut(QKeySequence());
  if (Row.Kind == TControlKind::DefaultButton) {
    Button->setDefault(true);
  } else {
    // Space and Enter both press it while it has the focus (outside a dialog, Qt leaves Enter
    // to auto-default buttons only).
    Button->setAutoDefault(true);
  }
  return Button;
}

QWidget* NewControl(QWidget* Parent, const TControlRow& Row) {
  const QString Caption = QString::fromUtf8(Row.Caption);
  switch (Row.Kind) {
    case TControlKind::Panel:
    case TControlKind::Bevel: {
      auto* Frame = new QFrame(Parent);
      Frame->setFrameStyle((Row.Kind == TControlKind::Panel ? QFrame::Panel : QFrame::Box) |
                           QFrame::Sunken);
      return Frame;
    }
    case TControlKind::Button:
    case TControlKind::DefaultButton:
      return NewButton(Parent, Row);
    case TControlKind::DropDownList:
    case TControlKind::DropDown:
      return NewTypeComboBox(Parent, Row.Kind == TControlKind::DropDown);
    case TControlKind::Label:
    case TControlKind::CentredLabel: {
      auto* Label = new QLabel(Caption, Parent);
      if (Row.Kind == TControlKind::CentredLabel) {
        Label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
      }
      return Label;
    }
    case TControlKind::GroupBox:
      return new QGroupBox(Caption, Parent);
    case TControlKind::CheckBox:
      return new QCheckBox(Caption, Parent);
    case TControlKind::Status: {
      auto* Bar = new QStatusBar(Parent);
      Bar->setSizeGripEnabled(false);
      return Bar;
    }
    case TControlKind::Form:
      break;
  }
  return new QWidget(Parent);
}

// A label sized to its text; a centred one as high as its font's line or its glyphs reach
// below the top (the text hangs from it) where that is more, so that no descender is cut off.
void Place(QWidget* Control, const TControlRow& Row) {
  const TRect96& R = Row.Rect;
  if (Row.Kind == TControlKind::Label) {
    Control->move(R.Left, R.Top);
    Control->adjustSize();
  } else if (Row.Kind == TControlKind::CentredLabel) {
    const QFontMetrics Metrics = Control->fontMetrics();
    const QString Text = static_cast<QLabel*>(Control)->text();
    const int GlyphsBottom = Metrics.ascent() + Metrics.tightBoundingRect(Text).bottom() + 1;
    Control->setGeometry(R.Left, R.Top, R.Width,
                         std::max({R.Height, Metrics.height(), GlyphsBottom}));
  } else {
    Control->setGeometry(R.Left, R.Top, R.Width, R.Height);
  }
}

}  // namespace

std::vector<QWidget*> CreateFormControls(QWidget* Form, std::span<const TControlRow> Rows) {
  std::vector<QWidget*> Controls{Form};
  Form->setObjectName(QString::fromLatin1(Rows[0].Name));
  Form->setWindowTitle(QString::fromUtf8(Rows[0].Caption));
  Form->setFixedSize(Rows[0].Rect.Width, Rows[0].Rect.Height);
  for (const TControlRow& Row : Rows.subspan(1)) {
    QWidget* Control = NewControl(Controls[static_cast<std::size_t>(Row.Parent)], Row);
    Control->setObjectName(QString::fromLatin1(Row.Name));
    Place(Control, Row);
    Controls.push_back(Control);
  }
  const std::vector<int> Order = TabOrder(Rows);
  for (std::size_t I = 1; I < Order.size(); ++I) {
    QWidget::setTabOrder(Controls[static_cast<std::size_t>(Order[I - 1])],
                         Controls[static_cast<std::size_t>(Order[I])]);
  }
  return Controls;
}
