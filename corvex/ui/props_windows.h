#pragma once
// The open property windows of the document's objects: modeless, at most one per object. An
// object's window follows the document's change hints (refilled when its object changes by
// other means, closed when its object leaves the document) and goes when the user closes it.
// Each window holds a reference to its object for as long as it is open.
#include <QPointer>
#include <QWidget>
#include <functional>
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
  // has none. The windows follow this object's document from now on. Without `activate` the
  // window shows without taking the keyboard from the window the user works in. A given
  // `on_user_closed` runs when the user closes this window (OK or Cancel), not when the
  // window goes with its object.
  bool Show(COstrelObject* object, bool activate = true,
            std::function<void()> on_user_closed = {});
  // The open window of the object, null when none.
  CObjectPropsDialog* Find(const COstrelObject* object) const;
  size_t size() const { return entries_.size(); }
  // Hides the object's window now and deletes it from the event loop (a hint may come from
  // inside the window's own handler).
  void Close(const COstrelObject* object);
  // Closes every window (the document goes, or the program ends).
  void CloseAll();

  void OnDocumentHint(int hint, COstrelObject* object) override;
  void OnDocumentCleared() override { CloseAll(); }
  void OnDocumentDestroyed() override { document_ = nullptr; }

 private:
  struct Entry {
    COstrelObject* object = nullptr;  // one reference held
    std::unique_ptr<CObjectPropsDialog> dialog;
    std::function<void()> on_user_closed;
  };
  void ClosedByUser(const COstrelObject* object);
  // Deletes the windows closed since the event loop last turned.
  void DeleteClosed();
  void Follow(COstrelDoc* document);

  QPointer<QWidget> parent_;
  COstrelDoc* document_ = nullptr;
  std::vector<Entry> entries_;
  std::vector<Entry> closing_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
