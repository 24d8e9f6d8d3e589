#include "app/win32/control_layout.h"

#include "app/win32/window_font.h"

namespace {

using enum TControlKind;

constexpr TControlRow Controls[] = {
    {idPanel1, 0, Panel, "", 0, 0, 318, 29},
    {idFolderBtn, idPanel1, Button, "&Folder", 4, 4, 45, 21},
    {idMakeBtn, idPanel1, Button, "&Make", 52, 4, 45, 21},
    {idCancelBtn, idPanel1, Button, "&Cancel", 100, 4, 45, 21},
    {idAboutBtn, idPanel1, Button, "&About", 148, 4, 45, 21},
    {idQuitBtn, idPanel1, Button, "Quit", 266, 4, 47, 21},
    // Each label before its box: a screen reader names a box by the text made before it.
    {idLabel1, 0, Label, "をベースにグリッドマップを作成して", 128, 36, 0, 0},
    {idBaseCBox, 0, DropDownList, "", 4, 32, 117, 20},
    {idLabel2, 0, Label, "にグリッドマップを設定する", 128, 60, 0, 0},
    {idTrgCBox, 0, DropDown, "", 4, 56, 117, 20},
    {idFTGBox, 0, GroupBox, "フェルッカ＆トラメル", 4, 80, 153, 41},
    {MapCBoxId(0, 0), idFTGBox, CheckBox, "等倍", 8, 16, 49, 17},
    {MapCBoxId(0, 1), idFTGBox, CheckBox, "1/2", 60, 16, 41, 17},
    {MapCBoxId(0, 2), idFTGBox, CheckBox, "1/4", 104, 16, 45, 17},
    {idIGBox, 0, GroupBox, "イルシェナー", 4, 124, 153, 41},
    {MapCBoxId(1, 0), idIGBox, CheckBox, "等倍", 8, 16, 49, 17},
    {MapCBoxId(1, 1), idIGBox, CheckBox, "1/2", 60, 16, 41, 17},
    {MapCBoxId(1, 2), idIGBox, CheckBox, "1/4", 104, 16, 45, 17},
    {idMGBox, 0, GroupBox, "マラス", 160, 80, 153, 41},
    {MapCBoxId(2, 0), idMGBox, CheckBox, "等倍", 8, 16, 49, 17},
    {MapCBoxId(2, 1), idMGBox, CheckBox, "1/2", 60, 16, 41, 17},
    {MapCBoxId(2, 2), idMGBox, CheckBox, "1/4", 104, 16, 45, 17},
    {idTkGBox, 0, GroupBox, "徳之島", 160, 124, 153, 41},
    {MapCBoxId(3, 0), idTkGBox, CheckBox, "等倍", 8, 16, 49, 17},
    {MapCBoxId(3, 1), idTkGBox, CheckBox, "1/2", 60, 16, 41, 17},
    {MapCBoxId(3, 2), idTkGBox, CheckBox, "1/4", 104, 16, 45, 17},
    {idStsBar, 0, Status, "", 0, 168, 318, 19},
};

}  // namespace

std::span<const TControlRow> MainFormControls() {
  return Controls;
}

RECT ScaledRect(const TControlRow& Row, UINT Dpi) {
  const int Left = ScaleForDpi(Row.Left, Dpi);
  const int Top = ScaleForDpi(Row.Top, Dpi);
  return {Left, Top, Left + ScaleForDpi(Row.Width, Dpi), Top + ScaleForDpi(Row.Height, Dpi)};
}
