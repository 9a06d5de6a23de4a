#include "corvex/ui/props_dialog_factory.h"

#include "corvex/ui/dlg_current_position_props.h"
#include "corvex/ui/dlg_mark_props.h"
#include "corvex/ui/dlg_route_props.h"
#include "corvex/ui/dlg_text_props.h"
#include "corvex/ui/dlg_track_props.h"

std::unique_ptr<CObjectPropsDialog> CreateObjectPropsDialog(COstrelObject& object, QWidget* parent) {
  if (object.IsKindOf(CObjWaypoint::kClass))
    return std::make_unique<CDlgMarkProps>(static_cast<CObjWaypoint*>(&object), parent);
  if (object.IsKindOf(CObjRoute::kClass))
    return std::make_unique<CDlgRouteProps>(static_cast<CObjRoute*>(&object), parent);
  if (object.IsKindOf(CObjTrack::kClass))
    return std::make_unique<CDlgTrackProps>(static_cast<CObjTrack*>(&object), parent);
  if (object.IsKindOf(CObjText::kClass))
    return std::make_unique<CDlgTextProps>(static_cast<CObjText*>(&object), parent);
  if (object.IsKindOf(CObjCurrentPosition::kClass))
    return std::make_unique<CDlgCurrentPositionProps>(static_cast<CObjCurrentPosition*>(&object),
                                                      parent);
  return nullptr;
}
