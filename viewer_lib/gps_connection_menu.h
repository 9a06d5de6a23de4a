#pragma once
// The "GPS Connection" menu: one row per kind of data connection this program can make, the
// configured kind checked. Choosing a kind stores it in the setting "gps_connection_type",
// saves the settings and makes the current connection of that kind (the simulation first asks
// for the NMEA file to replay); the connection's status text goes to the status line. A last
// row starts the NMEA debug capture, or ends it and offers its file to the user.
//
// User-interface thread only.
#include <cstdint>
#include <memory>
#include <span>

#include "core/ui/action_sheet_menu.h"

class QWidget;

struct CDataSourceKind {
  const char* name;
  int32_t kind;
};

// The connection kinds of the program, newest first: "Simulation File" (74), "None" (70).
std::span<const CDataSourceKind> DataSourceKinds();

// The menu as it stands now.
std::unique_ptr<CActionSheetMenu> BuildGpsConnectionMenu();
// Shows the menu at the pointer over owner; true when a row ran.
bool ShowGpsConnectionMenu(QWidget* owner);

// What choosing the kind does; false when the user cancelled the simulation's file or the
// connection did not open.
bool ChooseDataConnectionKind(int32_t kind);
