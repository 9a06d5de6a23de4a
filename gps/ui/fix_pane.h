#pragma once
// The base of the panes that show one GPS-fed position object (the own vessel): at most one
// pane of each class, bound to its object, closed when the object is deleted.
#include <string>

#include "gps/ui/data_pane.h"

class CObjCurrentPosition;

class CFixPane : public CDataPane {
 public:
  using CDataPane::CDataPane;

  // 1 for the object destroys the pane; 2 for the object calls OnObjectChanged.
  void Update(COstrelObject* object, int hint) override;

  CObjCurrentPosition* object() const { return object_; }

 protected:
  // A change (code 2) of the bound object.
  virtual void OnObjectChanged() {}

  // The pane of class Pane, rebound to the object (and refreshed when that changed it) and
  // shown; else a new one for the object with the title. Null when no pane could be shown.
  template <class Pane>
  static Pane* ShowFor(CObjCurrentPosition* object, const std::string& title);

 private:
  void Bind(CObjCurrentPosition* object, bool refresh);

  CObjCurrentPosition* object_ = nullptr;
};

template <class Pane>
Pane* CFixPane::ShowFor(CObjCurrentPosition* object, const std::string& title) {
  if (object == nullptr) return nullptr;
  Pane* pane = FindNextDataWnd<Pane>();
  if (pane != nullptr) {
    pane->Bind(object, pane->object_ != object);
  } else {
    pane = new Pane;
    pane->Bind(object, true);
    if (!pane->CreatePane(title, nullptr)) {
      pane->DestroyWindow();
      return nullptr;
    }
  }
  pane->ShowPane();
  return pane;
}
