#pragma once
// The marks' way to the desktop in the running program: the defaults (bell, documents and web
// addresses handed to the desktop, programs started without a shell, help pages), and the
// desktop's icon for a linked file's type, which a mark with the "File icon" symbol shows.
#include <optional>
#include <string>

#include "overlays/obj_waypoint.h"

class CDesktopWaypointShell : public WaypointShell {
 public:
  // The large (32 x 32) icon the desktop shows for the file's type; for a file that is not
  // there (or a web address) the icon of a plain file. Nothing when the desktop has none.
  std::optional<vd::ui::Image> FileIcon(const std::string& path) override;
};
