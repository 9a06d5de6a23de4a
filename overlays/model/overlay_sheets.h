#pragma once
// How the newer model's objects open their action sheets (a long tap on a mark, route point or
// track): through the presenter the program installs. The model itself shows nothing; without a
// presenter a long tap opens no sheet.
class COverlayMark;
class CTrackSection;

class COverlaySheets {
 public:
  virtual ~COverlaySheets() = default;
  // The sheet of a free mark, or of a route point (its route's sheet); true when a row ran.
  virtual bool OpenMarkSheet(COverlayMark& mark) = 0;
  // The sheet of a track at the tapped section; true when a row ran.
  virtual bool OpenTrackSheet(CTrackSection& section) = 0;

  static COverlaySheets* Get();
  // Installs sheets (null: none); the caller keeps it alive while installed.
  static void Install(COverlaySheets* sheets);
};
