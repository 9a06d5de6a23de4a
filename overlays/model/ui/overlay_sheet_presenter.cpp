#include "overlays/model/ui/overlay_sheet_presenter.h"

#include "overlays/model/overlay_mark.h"
#include "overlays/model/ui/mark_action_sheet.h"
#include "overlays/model/ui/route_action_sheet.h"
#include "overlays/model/ui/track_action_sheet.h"

bool COverlaySheetPresenter::OpenMarkSheet(COverlayMark& mark) {
  return mark.parent != nullptr ? CRouteActionSheet::Open(mark) : CMarkActionSheet::Open(mark);
}

bool COverlaySheetPresenter::OpenTrackSheet(CTrackSection& section) {
  return CTrackActionSheet::Open(section);
}

COverlaySheetPresenter& COverlaySheetPresenter::Global() {
  static COverlaySheetPresenter presenter;
  return presenter;
}
