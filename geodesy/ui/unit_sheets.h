#pragma once
// The three small sheets that change the user's units in the units record
// (CDefaultUnits::Global()): "Units" (the unit system, and the other two sheets), "Position
// format" (every registered format) and "Bearings" (true or magnetic). The current choice of
// each sheet is ticked. Every choice goes through the record, which saves the settings and tells
// its listeners, so every formatter takes the new units at once.
//
// The settings group "Units" (CUnits::CUnitSettingsType) is registered with the program's
// settings groups when this library is linked; opening it shows the "Units" sheet.
#include <memory>

#include "core/global_settings_type.h"
#include "core/ui/action_sheet_menu.h"
#include "geodesy/units.h"

class CUnitSheets {
 public:
  // "Statute", "Nautical", "Metric", "Position format...", "Bearings..."; the system row whose
  // index equals the speed units is ticked.
  static std::unique_ptr<CActionSheetMenu> BuildUnitsSheet();
  // The registered formats, newest registration first; the selected one ticked.
  static std::unique_ptr<CActionSheetMenu> BuildPositionFormatSheet();
  // "True north", "Magnetic"; the current mode ticked.
  static std::unique_ptr<CActionSheetMenu> BuildBearingsSheet();

  // Shows the sheet at the pointer and runs the row chosen; false when none was.
  static bool Show(const CActionSheetMenu& sheet);
};

class CUnits::CUnitSettingsType : public CGlobalSettingsType {
 public:
  CUnitSettingsType() : CGlobalSettingsType("Units") {}
  // Shows the "Units" sheet.
  void OpenSheet() override;

  // The program's group (registered before main runs).
  static CUnitSettingsType& Group();
};
