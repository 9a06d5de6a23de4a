#pragma once
// The open property windows of the document's objects: modeless, at most one per object. An
// object's window follows the document's change hints (refilled when its object changes by
// other means, closed when its object leaves the document) and goes when the user closes it.
// Each window holds a reference to its object for as long as it is open.
#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

#include "corvex/ostrel_doc.h"
#include "corvex/ui/object_props_dialog.h"

class CPropsWindows : public CDocHintListener {
 public:
  // Windows are made as children (tool windows) of `parent`.
  explicit CPropsWindows(QWidget* parent) : parent_(parent) {}
  ~CPropsWindows() override;
  CPropsWindows(const CPropsWindows&) = delete;
  CPropsWindows& operator=(const CPropsWindows&) = delete;

  // Opens the object's window, or raises the one already open; false when the object's kind
  // has none. The windows follow this object's document from now on.
  bool Show(COstrelObject* object);
  // The open window of the object, null when none.
  CObjectPropsDialog* Find(const COstrelObject* object) const;
  size_t size() const { return entries_.size(); }
  // Closes every window (the document goes, or the program ends).
  void CloseAll();

  void OnDocumentHint(int hint, COstrelObject* object) override;
  void OnDocumentCleared() override { CloseAll(); }
  void OnDocumentDestroyed() override { document_ = nullptr; }

 private:
  struct Entry {
    COstrelObject* object = nullptr;  // one reference held
    std::unique_ptr<CObjectPropsDialog> dialog;
  };
  // Hides the object's window now and deletes it from the event loop (a hint may come from
  // inside the window's own handler).
  void Close(const COstrelObject* object);
  void Follow(COstrelDoc* document);

  QPointer<QWidget> parent_;
  COstrelDoc* document_ = nullptr;
  std::vector<Entry> entries_;
};
