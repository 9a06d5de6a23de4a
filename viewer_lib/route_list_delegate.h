#pragma once
// The list of the mark manager's routes: live routes in the order of the sort setting, each row
// with the route's name, length and number of points. The list's sheet "Routes menu" deletes,
// saves, loads, locks, shows or hides all routes, makes them syncable or not, sorts and syncs;
// a row's sheet views or deletes its route.
#include "core/listener.h"
#include "viewer_lib/overlay_list_delegate.h"

class CRouteListDelegate : public COverlayListDelegate, public Listener<COverlayObject> {
 public:
  CRouteListDelegate() = default;

  std::string GetTitle() const override { return "Routes"; }
  void Populate(std::vector<COverlayObject*>& list) override;
  void GetRowText(COverlayObject& object, COverlayListRow& row) override;
  void OnSelectRow(COverlayListView* view, COverlayObject* object) override;
  void OnTapRow(COverlayListView* view, COverlayObject* object) override {
    OnSelectRow(view, object);
  }
  void ShowListMenu(QWidget* window) override;
  void ShowRowMenu(QWidget* window, COverlayObject* object) override;

  std::unique_ptr<CActionSheetMenu> BuildListMenu();
  std::unique_ptr<CActionSheetMenu> BuildRowMenu(COverlayRoute& route);

  // A route change sets needs_rebuild; the current route going away stops being current.
  void OnEvent(COverlayObject& object) override;

  COverlayRoute* current() const { return current_; }

 private:
  COverlayRoute* current_ = nullptr;
};
