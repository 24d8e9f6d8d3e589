#include "app/core/window_controls.h"

#include <algorithm>
#include <cctype>

namespace {

using enum TControlKind;

constexpr int Form1 = 0;
constexpr int Panel1 = 1;
constexpr int FTGBox = 11;
constexpr int IGBox = 15;
constexpr int MGBox = 19;
constexpr int TkGBox = 23;

constexpr TControlRow MainRows[MainControlCount] = {
    {"Form1", -1, Form, "Veldrin for UO:SE", 0, {0, 0, 318, 187}, -1},
    {"Panel1", Form1, Panel, "", 0, {0, 0, 318, 29}, 0},
    {"FolderBtn", Panel1, Button, "Folder", 'F', {4, 4, 45, 21}, 0},
    {"MakeBtn", Panel1, Button, "Make", 'M', {52, 4, 45, 21}, 1},
    {"CancelBtn", Panel1, Button, "Cancel", 'C', {100, 4, 45, 21}, 2},
    {"AboutBtn", Panel1, Button, "About", 'A', {148, 4, 45, 21}, 3},
    {"QuitBtn", Panel1, Button, "Quit", 0, {266, 4, 47, 21}, 4},
    {"Label1", Form1, Label, "をベースにグリッドマップを作成して", 0, {128, 36, 0, 0}, -1},
    {"BaseCBox", Form1, DropDownList, "", 0, {4, 32, 117, 20}, 1},
    {"Label2", Form1, Label, "にグリッドマップを設定する", 0, {128, 60, 0, 0}, -1},
    {"TrgCBox", Form1, DropDown, "", 0, {4, 56, 117, 20}, 2},
    {"FTGBox", Form1, GroupBox, "フェルッカ＆トラメル", 0, {4, 80, 153, 41}, 3},
    {"FT1CBox", FTGBox, CheckBox, "等倍", 0, {8, 16, 49, 17}, 0},
    {"FT2CBox", FTGBox, CheckBox, "1/2", 0, {60, 16, 41, 17}, 1},
    {"FT4CBox", FTGBox, CheckBox, "1/4", 0, {104, 16, 45, 17}, 2},
    {"IGBox", Form1, GroupBox, "イルシェナー", 0, {4, 124, 153, 41}, 4},
    {"I1CBox", IGBox, CheckBox, "等倍", 0, {8, 16, 49, 17}, 0},
    {"I2CBox", IGBox, CheckBox, "1/2", 0, {60, 16, 41, 17}, 1},
    {"I4CBox", IGBox, CheckBox, "1/4", 0, {104, 16, 45, 17}, 2},
    {"MGBox", Form1, GroupBox, "マラス", 0, {160, 80, 153, 41}, 5},
    {"M1CBox", MGBox, CheckBox, "等倍", 0, {8, 16, 49, 17}, 0},
    {"M2CBox", MGBox, CheckBox, "1/2", 0, {60, 16, 41, 17}, 1},
    {"M4CBox", MGBox, CheckBox, "1/4", 0, {104, 16, 45, 17}, 2},
    {"TkGBox", Form1, GroupBox, "徳之島", 0, {160, 124, 153, 41}, 6},
    {"Tk1CBox", TkGBox, CheckBox, "等倍", 0, {8, 16, 49, 17}, 0},
    {"Tk2CBox", TkGBox, CheckBox, "1/2", 0, {60, 16, 41, 17}, 1},
    {"Tk4CBox", TkGBox, CheckBox, "1/4", 0, {104, 16, 45, 17}, 2},
    {"StsBar", Form1, Status, "", 0, {0, 168, 318, 19}, -1},
};

constexpr TControlRow AboutRows[AboutControlCount] = {
    {"AboutForm", -1, Form, "About Veldrin", 0, {0, 0, 254, 79}, -1},
    {"Bevel1", 0, Bevel, "", 0, {4, 4, 245, 37}, -1},
    {"Label1", 0, CentredLabel, "Veldrin for UO:SE rev " VELDRIN_VERSION, 0, {8, 8, 237, 12}, -1},
    {"Label2", 0, CentredLabel, "Copyright (C) the Veldrin developers", 0, {8, 24, 237, 12}, -1},
    {"Button1", 0, DefaultButton, "Ok", 0, {92, 48, 75, 25}, 0},
};

static_assert(MapCBoxControl(fcTokuno, msQuarter) == TMainControl::Tk4CBox);
static_assert(ActionButton(TWindowAction::Quit) == TMainControl::QuitBtn);

constexpr const char* Hints[WindowActionCount] = {
    "マップの存在するフォルダを選択", "グリッドマップ作成", "作成中止", "About Veldrin", "終了"};

void AddTabStops(std::span<const TControlRow> Rows, int Parent, std::vector<int>& Order) {
  std::vector<int> Children;
  for (int Row = 0; Row < static_cast<int>(Rows.size()); ++Row) {
    if (Rows[Row].Parent == Parent && Rows[Row].TabPosition >= 0) Children.push_back(Row);
  }
  std::stable_sort(Children.begin(), Children.end(),
                   [Rows](int A, int B) { return Rows[A].TabPosition < Rows[B].TabPosition; });
  for (const int Child : Children) {
    const auto Inside = std::find_if(Rows.begin(), Rows.end(), [Child](const TControlRow& Row) {
      return Row.Parent == Child && Row.TabPosition >= 0;
    });
    if (Inside == Rows.end()) {
      Order.push_back(Child);
    } else {
      AddTabStops(Rows, Child, Order);
    }
  }
}

}  // namespace

std::span<const TControlRow> MainFormControls() {
  return MainRows;
}

std::span<const TControlRow> AboutFormControls() {
  return AboutRows;
}

const TControlRow& ControlRow(TMainControl Control) {
  return MainRows[static_cast<int>(Control)];
}

const TControlRow& ControlRow(TAboutControl Control) {
  return AboutRows[static_cast<int>(Control)];
}

const char* ActionHint(TWindowAction Action) {
  return Hints[static_cast<int>(Action)];
}

std::string MarkedCaption(const TControlRow& Row) {
  std::string Caption = Row.Caption;
  if (Row.Accelerator == 0) return Caption;
  const auto Letter = std::find_if(Caption.begin(), Caption.end(), [&Row](char C) {
    return std::toupper(static_cast<unsigned char>(C)) == Row.Accelerator;
  });
  Caption.insert(Letter, '&');
  return Caption;
}

std::vector<int> TabOrder(std::span<const TControlRow> Rows) {
  std::vector<int> Order;
  AddTabStops(Rows, 0, Order);
  return Order;
}
