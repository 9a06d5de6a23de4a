#include "overlays/undo_ring.h"

#include <algorithm>

#include "app/app_common.h"
#include "overlays/ostrel_object.h"
#include "overlays/overlay_file.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"

namespace {

// Step files store links as they stand: a step must not depend on the folder of the last
// overlay file, which changes between saving and undoing it.
const std::string kAbsoluteLinks;

// Deletes without asking each object of the snapshot that is still in the document list (the
// deletion of one may have taken others with it).
void DeleteStillListed(const ObjectList& doomed, ObjectList& document_list) {
  for (COstrelObject* object : doomed) object->AddRef();
  for (COstrelObject* object : doomed) {
    if (std::find(document_list.begin(), document_list.end(), object) != document_list.end()) {
      object->Delete(false);
    }
  }
  for (COstrelObject* object : doomed) object->Release();
}

void BeginBulkChange() {
  if (COstrelObject* selected = COstrelObject::GetSelected(nullptr)) selected->Deselect();
  COstrelObject::SetNotificationsEnabled(false);
}

// A failed write leaves no file of that name, so that a step of an earlier run can't stand in.
// A link planted at the name is replaced, never written through.
void WriteStep(const std::string& path, const ObjectList& objects) {
  if (!WriteObjectsFile(path, kAbsoluteLinks, objects, vd::os::Links::kReplace))
    vd::os::RemoveFile(path);
}

// New objects carry the current step; a confirmed Delete saves a step first.
[[maybe_unused]] const bool g_hooks_installed = [] {
  COstrelObject::SetUndoHook({[] { return CUndoRing::Program().StepForNewObjects(); },
                              [](COstrelObject& object) { SaveUndoForObject(object); },
                              [](const ObjectList& list) { SaveUndoStep(list); }});
  return true;
}();

}  // namespace

CUndoRing::CUndoRing(std::string folder) : folder_(std::move(folder)) {}

CUndoRing& CUndoRing::Program() {
  static CUndoRing ring;
  return ring;
}

std::string CUndoRing::Folder() const {
  if (!folder_.empty()) return folder_;
  if (const CAppCommon* app = CAppCommon::Instance(); app && !app->temp_folder.empty()) {
    return app->temp_folder;
  }
  return vd::os::TempFolder();
}

std::string CUndoRing::UndoFile(int32_t step) const {
  return Folder() + "/undo" + std::to_string(step) + ".vdo";
}

std::string CUndoRing::RedoFile(int32_t step) const {
  return Folder() + "/redo" + std::to_string(step) + ".vdo";
}

void CUndoRing::SaveUndoStep(const ObjectList& list) {
  ObjectList collected;
  for (COstrelObject* object : list) {
    if (object) object->CollectForUndo(collected);
  }
  ++undo_step_;
  WriteStep(UndoFile(undo_step_), collected);
  for (COstrelObject* object : collected) object->undo_stamp = undo_step_;
  vd::os::RemoveFile(RedoFile(undo_step_));
  vd::os::RemoveFile(RedoFile(undo_step_ + 1));
  if (undo_step_ > kMaxUndoSteps) vd::os::RemoveFile(UndoFile(undo_step_ - kMaxUndoSteps));
}

bool CUndoRing::CanUndo() const {
  return undo_step_ != 0 && vd::os::FileExists(UndoFile(undo_step_));
}

bool CUndoRing::CanRedo() const {
  return redo_step_ != 0 && redo_step_ == undo_step_ + 1 &&
         vd::os::FileExists(RedoFile(redo_step_));
}

void CUndoRing::Undo(ObjectList& document_list) {
  if (undo_step_ == 0) return;
  BeginBulkChange();
  ObjectList restored;
  if (ReadObjectsFile(UndoFile(undo_step_), kAbsoluteLinks, restored)) {
    redo_step_ = undo_step_;
    ObjectList changed;
    for (COstrelObject* object : document_list) {
      if (object->undo_stamp == undo_step_) {
        object->CollectForUndo(changed);
      } else if (object->redo_stamp == redo_step_) {
        object->redo_stamp = 0;
      }
    }
    WriteStep(RedoFile(redo_step_), changed);
    for (COstrelObject* object : restored) object->redo_stamp = redo_step_;
    DeleteStillListed(changed, document_list);
    document_list.splice(document_list.end(), restored);
    --undo_step_;
  }
  RefreshAllOverlayViews();
}

void CUndoRing::Redo(ObjectList& document_list) {
  if (redo_step_ == 0 || redo_step_ != undo_step_ + 1) return;
  BeginBulkChange();
  const std::string file = RedoFile(redo_step_);
  ObjectList restored;
  if (ReadObjectsFile(file, kAbsoluteLinks, restored)) {
    ObjectList doomed;
    for (COstrelObject* object : document_list) {
      if (object->redo_stamp == redo_step_) doomed.push_back(object);
    }
    DeleteStillListed(doomed, document_list);
    document_list.splice(document_list.end(), restored);
    ++undo_step_;
    ++redo_step_;
    vd::os::RemoveFile(file);
  }
  RefreshAllOverlayViews();
}

CImportUndoStep::CImportUndoStep(CUndoRing& ring) : ring_(ring) { ++ring_.waiting_; }

CImportUndoStep::~CImportUndoStep() {
  if (waiting_) --ring_.waiting_;
}

void CImportUndoStep::Save() {
  if (!waiting_) return;
  waiting_ = false;
  --ring_.waiting_;
  ring_.SaveUndoStep(ObjectList{});
}

void SaveUndoStep(const ObjectList& list) { CUndoRing::Program().SaveUndoStep(list); }

void SaveUndoForObject(COstrelObject& object) { SaveUndoStep(ObjectList{&object}); }

void SaveUndoForPair(COstrelObject* a, COstrelObject* b) {
  ObjectList list;
  if (a) list.push_back(a);
  if (b) list.push_back(b);
  SaveUndoStep(list);
}

void SaveUndoEmpty() { SaveUndoStep(ObjectList{}); }

void SetVisibleWithUndo(bool visible, const ObjectList& list) {
  SaveUndoStep(list);
  for (COstrelObject* object : list) object->SetVisible(visible);
}

bool CanUndo() { return CUndoRing::Program().CanUndo(); }
bool CanRedo() { return CUndoRing::Program().CanRedo(); }
void Undo(ObjectList& document_list) { CUndoRing::Program().Undo(document_list); }
void Redo(ObjectList& document_list) { CUndoRing::Program().Redo(document_list); }
