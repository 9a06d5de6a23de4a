#pragma once
// The line controls that the route and track windows share: width, style and transparency
// combos, the colour button and "Save default style", bound to one object's line fields.
#include <cstdint>

#include "corvex/ui/object_props_dialog.h"

namespace vd::ui {
class DialogWindow;
}
class QBoxLayout;

struct LineStyleFields {
  uint32_t& colour;
  uint8_t& thickness;
  uint8_t& line_style;
  uint8_t& transparency;
};

class CLineStyleControls {
 public:
  static constexpr int kWidthCombo = 1101;
  static constexpr int kStyleCombo = 1102;
  static constexpr int kTransparencyCombo = 1103;
  static constexpr int kColourButton = 1104;  // "Choose..."
  static constexpr int kSaveDefault = 1105;   // "Save default style"

  // For template builders.
  static void Add(vd::ui::DialogWindow& dialog, QBoxLayout* layout);
  // Shows the fields in the combos.
  static void Show(vd::ui::DialogWindow& dialog, const LineStyleFields& fields);
  // Handles a command of these controls: stores the choice and sends code 2 for the object;
  // settings_prefix ("route" or "track") names the settings "Save default style" writes.
  // False for any other command.
  static bool OnCommand(vd::ui::DialogWindow& dialog, int id, COstrelObject& object,
                        const LineStyleFields& fields, const char* settings_prefix);
};
