#pragma once
// The list of the AIS targets heard: targets with a kind and a position, those closing within
// twice the alarm limits first (nearest approach first), then the others by distance from the
// own position (by MMSI while there is none). Selecting a row selects the target and shows it
// with the water it covers in the next minutes of its speed vector.
#include "core/listener.h"
#include "viewer_lib/overlay_list_delegate.h"

class CAISTarget;
class CAISTargetManager;

class CAISListDelegate : public COverlayListDelegate, public Listener<CAISTarget> {
 public:
  // The targets of the program's AIS target manager.
  CAISListDelegate();

  std::string GetTitle() const override { return "AIS Vessels"; }
  void Populate(std::vector<COverlayObject*>& list) override;
  // Title: the name (the MMSI text without one), with " CPA %d m, %d min" while in CPA
  // warning; detail: kind, speed and navigation status, then the static information behind
  // the target's quoted name.
  void GetRowText(COverlayObject& object, COverlayListRow& row) override;
  void OnSelectRow(COverlayListView* view, COverlayObject* object) override;

  void OnEvent(CAISTarget&) override { needs_rebuild = true; }

  // Closing within twice the alarm time and twice the target's distance limit (the class B
  // limit for class B targets).
  static bool InCpaWarning(const CAISTarget& target);
  // The rectangle a selected target is shown in: its position widened by its speed vector's
  // reach along each axis (none while speed or course is unknown).
  static CGeoBounds ZoomRectangle(const CAISTarget& target);
  // The list order of a manager's targets.
  static void SortTargets(const CAISTargetManager& manager, std::vector<COverlayObject*>& out);

 private:
  CAISTargetManager& manager_;
};
