#pragma once
// The property window of a mark or route point: position, comment, short name, symbol and its
// colour, circle and alarm, linked file, and whether its symbol becomes the default of its kind.
#include <string>

#include "corvex/ui/object_props_dialog.h"
#include "overlays/obj_waypoint.h"

class CDlgMarkProps : public CObjectPropsDialog {
 public:
  static constexpr int kTemplate = 137;
  static constexpr int kPositionEdit = 1001;
  static constexpr int kCommentEdit = 1002;
  static constexpr int kShortNameEdit = 1003;
  static constexpr int kShowNameCheck = 1004;
  static constexpr int kSymbolCombo = 1005;
  static constexpr int kColourButton = 1006;  // "Color..."
  static constexpr int kColourBox = 1007;
  static constexpr int kRadiusEdit = 1008;
  static constexpr int kRadiusUnit = 1009;
  static constexpr int kCircleModeCombo = 1010;
  static constexpr int kLinkEdit = 1011;
  static constexpr int kBrowseButton = 1012;
  static constexpr int kMakeDefaultCheck = 1013;
  // The swatch of a symbol without a colour layer.
  static constexpr vd::ui::ColourRef kNoColourLayer = 0xDCDCDC;
  static constexpr double kNmPerMetre = 0.0005399568034557236;

  CDlgMarkProps(CObjWaypoint* mark, QWidget* parent);

  static void RegisterTemplate();
  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void Refresh() override;
  std::string HelpTopic() const override { return "Mark_Properties"; }

 protected:
  void OnControl(int id, int code) override;

 private:
  CObjWaypoint& mark() const { return *static_cast<CObjWaypoint*>(object()); }
  // The short name as typed, when the edit loses the focus.
  void ApplyShortName();
  void ApplyRadius();
  void ShowRadius(bool even_when_focused);
  void MakeDefault();
  bool IsDefaultSymbol() const;

  bool showing_radius_ = false;  // the radius edit is being filled, not typed in
};
