#pragma once

// The controls of the main window and of the About dialog, described once for every toolkit:
// what each one is, where it sits, its text, its Alt letter and its place in the tab order. A
// window creates its controls from its table, in the table's order: a label comes before the box
// it names, as a screen reader names a box by the text made before it. Row 0 is the window
// itself (its caption and client size).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/core/map_catalogue.h"

enum class TControlKind : std::uint8_t {
  Form,
  Panel,
  Button,
  DefaultButton,  // pressed by Enter wherever the focus is
  DropDownList,   // a combo box that takes no typing
  DropDown,       // a combo box that also takes typed text
  Label,
  CentredLabel,  // of fixed size, its text centred; at least as high as the font's line
  GroupBox,
  CheckBox,
  Bevel,  // a lowered frame
  Status
};

// Pixels at 96 DPI in the parent's client area.
struct TRect96 {
  int Left, Top, Width, Height;
};

struct TControlRow {
  const char* Name;  // as the controls are known: "FolderBtn"
  int Parent;        // row of the parent; -1 for the window's own row
  TControlKind Kind;
  const char* Caption;  // UTF-8, without a mark for the Alt letter
  char Accelerator;     // the Alt letter (upper case), 0 for none
  TRect96 Rect;         // a label's size (0 x 0) follows its text
  int TabPosition;      // place among the parent's tab stops; -1: none
};

// The main window's rows, in table order.
enum class TMainControl : std::uint8_t {
  Form1,
  Panel1,
  FolderBtn,
  MakeBtn,
  CancelBtn,
  AboutBtn,
  QuitBtn,
  Label1,
  BaseCBox,
  Label2,
  TrgCBox,
  FTGBox,
  FT1CBox,
  FT2CBox,
  FT4CBox,
  IGBox,
  I1CBox,
  I2CBox,
  I4CBox,
  MGBox,
  M1CBox,
  M2CBox,
  M4CBox,
  TkGBox,
  Tk1CBox,
  Tk2CBox,
  Tk4CBox,
  StsBar
};
inline constexpr int MainControlCount = 28;

// The About dialog's rows, in table order.
enum class TAboutControl : std::uint8_t { AboutForm, Bevel1, Label1, Label2, Button1 };
inline constexpr int AboutControlCount = 5;

// The window's actions, in the order of their buttons.
enum class TWindowAction : std::uint8_t { Folder, Make, Cancel, About, Quit };
inline constexpr int WindowActionCount = 5;

std::span<const TControlRow> MainFormControls();
std::span<const TControlRow> AboutFormControls();
const TControlRow& ControlRow(TMainControl Control);
const TControlRow& ControlRow(TAboutControl Control);

// The check box of map (F, S): each group box is followed by its three boxes, the groups in the
// order of the worlds.
constexpr TMainControl MapCBoxControl(Facet F, MapScale S) {
  return static_cast<TMainControl>(static_cast<int>(TMainControl::FT1CBox) +
                                   F * (MapScaleCount + 1) + S);
}
constexpr TMainControl ActionButton(TWindowAction Action) {
  return static_cast<TMainControl>(static_cast<int>(TMainControl::FolderBtn) +
                                   static_cast<int>(Action));
}
// The hint stored with an action; no window shows it.
const char* ActionHint(TWindowAction Action);

// The caption with "&" before its Alt letter, as both toolkits mark it ("&Folder").
std::string MarkedCaption(const TControlRow& Row);
// The rows that take the keyboard focus, in tab order: the tab stops of the window, each
// container's own in its place.
std::vector<int> TabOrder(std::span<const TControlRow> Rows);
