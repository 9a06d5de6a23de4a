#include "corvex/ui/props_windows.h"

#include <QCoreApplication>
#include <algorithm>

#include "corvex/ui/props_dialog_factory.h"
#include "overlays/ostrel_object.h"
#include "platform/ui/dialog_window.h"

CPropsWindows::~CPropsWindows() {
  CloseAll();
  if (document_) document_->RemoveHintListener(this);
}

void CPropsWindows::Follow(COstrelDoc* document) {
  if (document == document_) return;
  if (document_) document_->RemoveHintListener(this);
  document_ = document;
  if (document_) document_->AddHintListener(this);
}

CObjectPropsDialog* CPropsWindows::Find(const COstrelObject* object) const {
  for (const Entry& entry : entries_)
    if (entry.object == object) return entry.dialog.get();
  return nullptr;
}

bool CPropsWindows::Show(COstrelObject* object) {
  if (!object) return false;
  if (CObjectPropsDialog* open = Find(object)) {
    open->RefreshQuietly();
    if (QWidget* window = open->widget()) {
      window->show();
      window->raise();
      window->activateWindow();
    }
    return true;
  }
  std::unique_ptr<CObjectPropsDialog> dialog = CreateObjectPropsDialog(*object, parent_);
  if (!dialog) return false;
  Follow(dynamic_cast<COstrelDoc*>(object->document()));
  object->AddRef();
  dialog->SetClosedHandler([this, object] { Close(object); });
  entries_.push_back({object, std::move(dialog)});
  return true;
}

void CPropsWindows::Close(const COstrelObject* object) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const Entry& entry) { return entry.object == object; });
  if (it == entries_.end()) return;
  Entry entry = std::move(*it);
  entries_.erase(it);
  if (QWidget* window = entry.dialog->widget()) window->hide();
  // Deleted from the event loop: the window's own handler may be running below this call.
  CObjectPropsDialog* dialog = entry.dialog.release();
  COstrelObject* held = entry.object;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [dialog, held] {
        delete dialog;
        held->Release();
      },
      Qt::QueuedConnection);
}

void CPropsWindows::CloseAll() {
  // The program may be ending: no event loop turns again, so these go now.
  std::vector<Entry> entries = std::move(entries_);
  entries_.clear();
  for (Entry& entry : entries) {
    entry.dialog.reset();
    entry.object->Release();
  }
}

void CPropsWindows::OnDocumentHint(int hint, COstrelObject* object) {
  if (entries_.empty()) return;
  if (!object || hint > kChangeDisplay) {
    // Anything may have changed: windows of objects that left the document close, the others
    // are refilled.
    ObjectList* list = document_ ? document_->GetObjectList() : nullptr;
    std::vector<const COstrelObject*> gone;
    for (const Entry& entry : entries_) {
      if (!list || std::find(list->begin(), list->end(), entry.object) == list->end())
        gone.push_back(entry.object);
    }
    for (const COstrelObject* doomed : gone) Close(doomed);
    for (Entry& entry : entries_) entry.dialog->RefreshQuietly();
    return;
  }
  if (hint == kChangeDeleted) {
    Close(object);
    return;
  }
  if (hint == kChangeSelected || hint == kChangeViewTarget) return;
  if (CObjectPropsDialog* open = Find(object)) open->RefreshQuietly();
}
