#pragma once

// What a run of map jobs needs of the program that hosts it (the window or the command line).
// The run reads these at the moments the job rules say (boxes when the loop reaches them, the
// base type at a job's start, the target type at its saving step), so a host may change them
// while a run processes its pending events.

#include <string>

#include "app/core/map_catalogue.h"

class TJobHost {
 public:
  virtual ~TJobHost() = default;

  virtual std::string GetMapFolder() = 0;
  virtual bool MapBoxEnabled(Facet F, MapScale S) = 0;
  virtual bool MapBoxChecked(Facet F, MapScale S) = 0;
  virtual MapType GetBaseMapType() = 0;
  virtual MapType GetTrgMapType() = 0;

  virtual bool GetCanceled() = 0;
  virtual void SetCanceled(bool Value) = 0;
  virtual bool GetClosing() = 0;

  // Running: Folder, Make and About disabled, Cancel enabled. Idle: the reverse (Make enabled
  // whatever the boxes show).
  virtual void SetRunning(bool Running) = 0;
  // Sets the status text and repaints at once.
  virtual void ShowStatus(const std::string& Text) = 0;
  // Sets the status text; the repaint may wait.
  virtual void SetStatusText(const std::string& Text) = 0;
  // A warning about the whole run that the user must get to read, shown like a stage text; a
  // window keeps it on screen for a while as the run goes on.
  virtual void ShowNotice(const std::string& Text) { ShowStatus(Text); }
  virtual void Repaint() = 0;
  // The map's reduction and saving begin (true), which no interrupt stops, or are over (false,
  // also when they failed). A window holds back the end of the user's session meanwhile.
  virtual void FinishingMap(bool /*Begun*/) {}
  // Lets the host act on everything pending (Cancel, close requests, box changes) and returns.
  virtual void ProcessMessages() = 0;
};
