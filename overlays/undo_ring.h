#pragma once
// The edit history of the overlay objects: undo and redo steps kept as overlay files
// "undo<N>.vdo" and "redo<N>.vdo" in the temp folder, at most 10 undo steps on disk.
//
// A step file holds the objects as they were before an edit, with their undo and redo stamps;
// an object of the document whose undo stamp is N was saved (or made) by step N, so undoing N
// swaps those objects for the file's. Step files are written to a temporary name and renamed,
// and a step is read in full before anything of the document changes: an undo or redo whose
// file is missing or damaged changes nothing. Links in step files are stored absolute.
//
// The program has one history (CUndoRing::Program()); the free functions below work on it.
// User-interface thread only.
#include <cstdint>
#include <string>

#include "app/shell_services.h"

class COstrelObject;

class CUndoRing {
 public:
  static constexpr int32_t kMaxUndoSteps = 10;

  // Steps in `folder`; an empty folder means the program's temp folder (CAppCommon's, else
  // vd::os::TempFolder()).
  explicit CUndoRing(std::string folder = "");

  // The program's history, which also stamps new objects and saves the undo step of a
  // confirmed Delete (COstrelObject::SetUndoHook).
  static CUndoRing& Program();

  void set_folder(std::string folder) { folder_ = std::move(folder); }
  std::string Folder() const;
  std::string UndoFile(int32_t step) const;
  std::string RedoFile(int32_t step) const;

  // U and R: the current undo step and the next redo step; both 0 at start.
  int32_t undo_step() const { return undo_step_; }
  int32_t redo_step() const { return redo_step_; }
  // The step new objects carry: the current one, or the next while an import's step waits
  // (CImportUndoStep).
  int32_t StepForNewObjects() const { return undo_step_ + (waiting_ > 0 ? 1 : 0); }

  // Saves a new undo step holding the objects of the list and what an edit of them changes
  // (CollectForUndo), stamps them with it, and drops the redo steps it invalidates and the
  // undo step that falls out of the ring.
  void SaveUndoStep(const ObjectList& list);
  bool CanUndo() const;
  bool CanRedo() const;
  // Both work on the document's object list, with notifications off, and end with
  // RefreshAllOverlayViews.
  void Undo(ObjectList& document_list);
  void Redo(ObjectList& document_list);

 private:
  friend class CImportUndoStep;

  std::string folder_;
  int32_t undo_step_ = 0;
  int32_t redo_step_ = 0;
  int waiting_ = 0;  // import steps not yet saved
};

// The undo step of an import that only adds objects, saved only when the import is done: the
// objects made meanwhile carry the number the step will have, so undoing it removes them. An
// import that is cancelled or fails before it has objects drops it unsaved, and the undo and
// redo steps stay as they were.
class CImportUndoStep {
 public:
  explicit CImportUndoStep(CUndoRing& ring = CUndoRing::Program());
  ~CImportUndoStep();
  CImportUndoStep(const CImportUndoStep&) = delete;
  CImportUndoStep& operator=(const CImportUndoStep&) = delete;

  // Saves the step (SaveUndoEmpty); once only.
  void Save();

 private:
  CUndoRing& ring_;
  bool waiting_ = true;
};

void SaveUndoStep(const ObjectList& list);
void SaveUndoForObject(COstrelObject& object);
// Either may be null.
void SaveUndoForPair(COstrelObject* a, COstrelObject* b);
// A step without objects (imports that only add objects save theirs through CImportUndoStep).
void SaveUndoEmpty();
// Saves an undo step for the list, then shows or hides its objects.
void SetVisibleWithUndo(bool visible, const ObjectList& list);
bool CanUndo();
bool CanRedo();
void Undo(ObjectList& document_list);
void Redo(ObjectList& document_list);
