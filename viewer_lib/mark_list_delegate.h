#pragma once
// The list of the mark manager's marks: live marks in the order of the sort setting, each row
// with the mark's name, its creation date and, once the own position is known, its distance
// and bearing from there. The list's sheet "Marks menu" deletes, saves, loads, locks, shows or
// hides all marks, makes them syncable or not, sorts and syncs; a row's sheet views or deletes
// its mark.
#include "core/listener.h"
#include "viewer_lib/overlay_list_delegate.h"

class CMarkListDelegate : public COverlayListDelegate, public Listener<COverlayObject> {
 public:
  CMarkListDelegate() = default;

  std::string GetTitle() const override { return "Marks"; }
  void Populate(std::vector<COverlayObject*>& list) override;
  void GetRowText(COverlayObject& object, COverlayListRow& row) override;
  // The mark becomes the current one, which the row sheet works on.
  void OnSelectRow(COverlayListView* view, COverlayObject* object) override;
  void OnTapRow(COverlayListView* view, COverlayObject* object) override {
    OnSelectRow(view, object);
  }
  void ShowListMenu(QWidget* window) override;
  void ShowRowMenu(QWidget* window, COverlayObject* object) override;

  // The sheets as ShowListMenu and ShowRowMenu show them.
  std::unique_ptr<CActionSheetMenu> BuildListMenu();
  // Titled with the mark's name: "Edit" (nothing yet), "View", "Delete".
  std::unique_ptr<CActionSheetMenu> BuildRowMenu(COverlayMark& mark);

  // A mark change sets needs_rebuild; the current mark going away stops being current.
  void OnEvent(COverlayObject& object) override;

  COverlayMark* current() const { return current_; }

 private:
  COverlayMark* current_ = nullptr;
};
