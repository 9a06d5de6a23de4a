#include "corvex/ui/props_windows.h"

#include <QCoreApplication>
#include <algorithm>
#include <optional>

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

bool CPropsWindows::Show(COstrelObject* object, bool activate,
                         std::function<void()> on_user_closed) {
  if (!object) return false;
  for (Entry& entry : entries_) {
    if (entry.object != object) continue;
    if (on_user_closed) entry.on_user_closed = std::move(on_user_closed);
    entry.dialog->RefreshQuietly();
    if (QWidget* window = entry.dialog->widget()) {
      window->show();
      window->raise();
      if (activate) window->activateWindow();
    }
    return true;
  }
  std::unique_ptr<CObjectPropsDialog> dialog;
  {
    std::optional<CObjectPropsDialog::ShowInactive> quiet;
    if (!activate) quiet.emplace();
    dialog = CreateObjectPropsDialog(*object, parent_);
  }
  if (!dialog) return false;
  Follow(dynamic_cast<COstrelDoc*>(object->document()));
  object->AddRef();
  dialog->SetClosedHandler([this, object] { ClosedByUser(object); });
  entries_.push_back({object, std::move(dialog), std::move(on_user_closed)});
  return true;
}

void CPropsWindows::ClosedByUser(const COstrelObject* object) {
  std::function<void()> told;
  for (Entry& entry : entries_)
    if (entry.object == object) told = std::move(entry.on_user_closed);
  Close(object);
  if (told) told();
}

void CPropsWindows::Close(const COstrelObject* object) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const Entry& entry) { return entry.object == object; });
  if (it == entries_.end()) return;
  Entry entry = std::move(*it);
  entries_.erase(it);
  if (QWidget* window = entry.dialog->widget()) window->hide();
  // Deleted from the event loop: the window's own handler may be running below this call. A
  // window still waiting goes with the others when they all close (the document may go
  // before the loop turns again).
  closing_.push_back(std::move(entry));
  std::weak_ptr<int> alive = alive_;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [this, alive] {
        if (!alive.expired()) DeleteClosed();
      },
      Qt::QueuedConnection);
}

void CPropsWindows::DeleteClosed() {
  std::vector<Entry> closed = std::move(closing_);
  closing_.clear();
  for (Entry& entry : closed) {
    entry.dialog.reset();
    entry.object->Release();
  }
}

void CPropsWindows::CloseAll() {
  // The program may be ending: no event loop turns again, so these go now.
  std::vector<Entry> entries = std::move(entries_);
  entries_.clear();
  for (Entry& entry : entries) {
    entry.dialog.reset();
    entry.object->Release();
  }
  DeleteClosed();
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
