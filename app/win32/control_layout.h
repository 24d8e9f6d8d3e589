#pragma once

// The main window's controls as one table: what each one is, where it sits (pixels at 96 DPI,
// relative to its parent) and in which order it is created, which is also the tab order.

#include <windows.h>

#include <span>

#include "app/core/map_catalogue.h"

// The controls' child-window identifiers.
enum TControlId : int {
  idPanel1 = 100,
  idFolderBtn,
  idMakeBtn,
  idCancelBtn,
  idAboutBtn,
  idQuitBtn,
  idBaseCBox,
  idLabel1,
  idTrgCBox,
  idLabel2,
  idFTGBox,
  idIGBox,
  idMGBox,
  idTkGBox,
  idStsBar,
  idMapCBox0 = 200,  // idMapCBox0 + Facet * MapScaleCount + MapScale
};

constexpr int MapCBoxId(Facet F, MapScale S) {
  return idMapCBox0 + F * MapScaleCount + S;
}

inline constexpr int FormClientWidth = 318;
inline constexpr int FormClientHeight = 187;

enum class TControlKind {
  Panel,
  Button,
  DropDownList,
  DropDown,
  Label,
  GroupBox,
  CheckBox,
  Status
};

struct TControlRow {
  int Id;
  int ParentId;  // 0: the window itself
  TControlKind Kind;
  const char* Caption;           // UTF-8
  int Left, Top, Width, Height;  // a label's size follows its text
};

std::span<const TControlRow> MainFormControls();

// Rect scaled from 96 DPI to Dpi.
RECT ScaledRect(const TControlRow& Row, UINT Dpi);
