#include "geodesy/ui/unit_sheets.h"

#include <QCursor>
#include <QGuiApplication>

#include "geodesy/default_units.h"

namespace {

CUnits::CUnitSettingsType units_group;

uintptr_t Ticked(bool current) {
  return current ? CActionSheetMenu::kRowSelected : CActionSheetMenu::kRowShown;
}

void* AsArgument(int value) { return reinterpret_cast<void*>(static_cast<intptr_t>(value)); }
int FromArgument(void* argument) { return static_cast<int>(reinterpret_cast<intptr_t>(argument)); }

}  // namespace

std::unique_ptr<CActionSheetMenu> CUnitSheets::BuildUnitsSheet() {
  static const char* const kSystems[] = {"Statute", "Nautical", "Metric"};
  const CDefaultUnits& units = CDefaultUnits::Global();
  auto sheet = std::make_unique<CActionSheetMenu>("Units", nullptr, nullptr, 0);
  for (int kind = CDefaultUnits::kStatute; kind <= CDefaultUnits::kMetric; ++kind) {
    sheet->AddItem(
        kSystems[kind],
        [](void* argument) { CDefaultUnits::Global().ChooseUnitsSystem(FromArgument(argument)); },
        Ticked(units.speed_units == kind), AsArgument(kind));
  }
  sheet->AddItem("Position format...", [](void*) { Show(*BuildPositionFormatSheet()); },
                 CActionSheetMenu::kRowShown, nullptr);
  sheet->AddItem("Bearings...", [](void*) { Show(*BuildBearingsSheet()); },
                 CActionSheetMenu::kRowShown, nullptr);
  return sheet;
}

std::unique_ptr<CActionSheetMenu> CUnitSheets::BuildPositionFormatSheet() {
  const CDefaultUnits& units = CDefaultUnits::Global();
  auto sheet = std::make_unique<CActionSheetMenu>("Position format", nullptr, nullptr, 0);
  for (CUnits::PositionFormatType* format = CUnits::FirstPositionFormat(); format != nullptr;
       format = format->next()) {
    sheet->AddItem(
        format->name(),
        [](void* argument) {
          CDefaultUnits::Global().ChoosePositionFormat(
              static_cast<CUnits::PositionFormatType*>(argument));
        },
        Ticked(format == units.position_format), format);
  }
  return sheet;
}

std::unique_ptr<CActionSheetMenu> CUnitSheets::BuildBearingsSheet() {
  static const char* const kModes[] = {"True north", "Magnetic"};
  const CDefaultUnits& units = CDefaultUnits::Global();
  auto sheet = std::make_unique<CActionSheetMenu>("Bearings", nullptr, nullptr, 0);
  for (int mode = CDefaultUnits::kBearingsTrue; mode <= CDefaultUnits::kBearingsMagnetic; ++mode) {
    sheet->AddItem(
        kModes[mode],
        [](void* argument) { CDefaultUnits::Global().ChooseBearings(FromArgument(argument)); },
        Ticked(units.bearings == mode), AsArgument(mode));
  }
  return sheet;
}

bool CUnitSheets::Show(const CActionSheetMenu& sheet) {
  // Without a running application (headless use) the sheet has no pointer to open at.
  const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
  return sheet.Track(nullptr, gui ? QCursor::pos() : QPoint());
}

void CUnits::CUnitSettingsType::OpenSheet() { CUnitSheets::Show(*CUnitSheets::BuildUnitsSheet()); }

CUnits::CUnitSettingsType& CUnits::CUnitSettingsType::Group() { return units_group; }
