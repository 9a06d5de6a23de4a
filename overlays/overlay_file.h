#pragma once
// Overlay files (".vdo"): one list of overlay objects in the overlay archive (overlay_archive.h),
// the count and then one object reference per object. The same form holds the user-data file
// and the undo and redo steps (undo_ring.h). Also the merging of imported objects into a
// document and the file rules of the user-data file.
//
// Saves go to a temporary file in the target's folder, synced and renamed over the target; the
// target is untouched until then. User-interface thread only.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/shell_services.h"
#include "core/work_progress.h"
#include "platform/os/files.h"

class COstrelObject;

// The folder (with a trailing '/') of the last overlay or tagged text file read or written;
// empty at start. Relative links stored with objects resolve against it.
const std::string& CurrentOverlayFolder();
// Takes the folder of path (GetFolderOfPath) with a trailing '/'.
void SetCurrentOverlayFolderFromPath(const std::string& path);

// Appends the objects of an overlay file to list, each with one reference and its undo and redo
// stamps 0, and makes the file's folder the current overlay folder. False when the file cannot
// be read or is malformed (a record newer than this program also shows kNewerVersionMessage);
// list is then unchanged, and error (when given) says why for the user: what failed and
// where, or nothing when the user was already told (a newer version's record). progress, when
// given, hears of the objects read and may stop the reading: false then, list unchanged and
// error empty.
bool ReadOverlayFileObjects(const std::string& path, ObjectList& list,
                            std::string* error = nullptr, const ProgressFn& progress = {});
// Writes the list as an overlay file and makes its folder the current overlay folder. False on
// any error, the target then as it was.
bool SaveObjectsToOverlayFile(const std::string& path, const ObjectList& list,
                              bool always_add_icons);

// The reader and writer under both, also used for undo and redo steps: the objects keep the
// stamps they were stored with, links in records are relative to link_folder (stored as they
// stand when it is empty), and the current overlay folder does not change. A file written with
// Links::kReplace replaces a symbolic link at its path instead of writing through it.
bool ReadObjectsFile(const std::string& path, const std::string& link_folder, ObjectList& list);
bool WriteObjectsFile(const std::string& path, const std::string& link_folder,
                      const ObjectList& list, vd::os::Links links = vd::os::Links::kFollow);

// Whether an imported object is to be added to the document (true), given the first object of
// the document list that it IsSameObject. With no such object: true. An older copy in the
// document is deleted without asking: true. A newer copy: the user is asked whether to skip the
// import; any answer but Yes clears the imported object's id and gives true. Otherwise (equal
// times, or Yes) the copy is shown when the imported object is visible: false.
bool DuplicateCheck(COstrelObject& object, ObjectList& document_list);

// DuplicateCheck for many objects against one document list, each check costing about as much
// as the objects that share its id or its created time and name. It knows the objects of the
// list when made and those given with Add; every object it knows holds a reference until the
// index is gone. Matching relies on IsSameObject of every class requiring an equal non-zero id
// or equal created times and names.
class DuplicateIndex {
 public:
  explicit DuplicateIndex(const ObjectList& document_list);
  // Knows only the objects of the list that may match one of checked, for an index that only
  // checks those (and objects given with Add): making it reads each object of the list once
  // but costs about as much as checked.
  // When checked belong to the document whose list it is, and no other object of the document
  // holds their times and ids (COstrelDocBase::ObjectTimes, ObjectIds), the list is not read.
  // When moreover each of them holds its keys alone, nothing can match: the index keeps no
  // keys for as long as every object given with Add holds its keys alone as well.
  DuplicateIndex(const ObjectList& document_list, const ObjectList& checked);
  ~DuplicateIndex();
  DuplicateIndex(const DuplicateIndex&) = delete;
  DuplicateIndex& operator=(const DuplicateIndex&) = delete;

  // An object appended to the document list. It stays there while the index lives, unless the
  // index deletes it (a match an import replaces).
  void Add(COstrelObject& object);
  // The object was given with Add or is one of the list the index knows.
  bool Contains(const COstrelObject& object);
  // DuplicateCheck(object, the document list).
  bool Check(COstrelObject& object);

 private:
  enum class Sharing {
    kMay,        // an object of the list may share a time or a low id half with one of checked
    kAmongThem,  // none does, but checked objects may share one among themselves
    kNone,       // each checked object holds its keys alone in the document
  };
  static Sharing SharedKeys(const ObjectList& document_list, const ObjectList& checked);
  // No other object of the document holds the object's created time or its id's low half.
  static bool HoldsKeysAlone(const COstrelObject& object, COstrelDocBase& document);
  // Leaves the mode where nothing can match: the objects given with Add so far join the keys.
  void KeepKeys();
  // Sum of the changes of the document's tables of keys.
  static uint64_t KeyChanges(COstrelDocBase& document);

  struct Candidate {
    COstrelObject* object;
    uint64_t position;  // in the list
  };
  // Keys of an object: its id when it has one, and a hash of its created time and name. A
  // key shared by chance only adds a candidate that IsSameObject turns down.
  static uint64_t NameKey(const COstrelObject& object);

  COstrelObject* FindMatch(const COstrelObject& object) const;
  void Remove(COstrelObject& object);

  std::unordered_set<const COstrelObject*> known_;
  std::unordered_multimap<uint64_t, Candidate> candidates_;
  uint64_t next_ = 0;
  // While set, no object the index checks or was given shares a key with another object of
  // this document: Check lets every object in, and Add only notes the object. While the
  // document's tables of keys stay as they were then (matchless_changes_), no object of the
  // document has changed its keys or come or gone, so this still holds without a look.
  COstrelDocBase* matchless_ = nullptr;
  uint64_t matchless_changes_ = 0;
  // Given with Add meanwhile; each is in the document list, which holds it (only a match
  // deletes an object, and none is found meanwhile).
  std::vector<COstrelObject*> noted_;
};

// Empties imported from its head into the document list: each exportable object that
// DuplicateCheck lets in adds itself and what it needs (CollectForExport); each it refuses is
// added the same way afterwards and deleted without asking. Objects that are not exportable
// are released. An object that another one already brought into the document stays there.
// The cost grows with the imported objects, hardly with the document's.
void MergeImportedObjects(ObjectList& document_list, ObjectList& imported);

// ---- The user-data file ----
// data_folder + "/userdata-Vardune-6.vdo".
std::string UserDataFilePath(const std::string& data_folder);
// Start-up: when the user-data file is missing, copies there the first existing of the older
// editions' "userdata-Vardune.vdo" and "userdata-Vardune-OS-5.vdo" of the data folder; true
// when it did.
bool SeedUserDataFile(const std::string& data_folder);
// Start-up, after the user-data file was loaded: when the load read records of an older schema
// (OlderSchemaRead) and the file was not just seeded, keeps a copy of it as
// "<folder>/<title>_v<schema>.vdo" before it is ever rewritten.
void KeepOlderUserDataFile(const std::string& path, bool seeded);
// The file rules of COstrelDoc::LoadUserData: appends the file's objects to list as
// ReadOverlayFileObjects. When that fails and "backup.vdo" of the file's folder can be read,
// the file becomes "<path>.corrupt", the backup takes its name, "Restored file from backup..."
// is shown and the load runs again. An empty path gives true.
bool LoadUserDataFile(const std::string& path, ObjectList& list);
// The file rules of COstrelDoc::SaveUserData: writes the document's objects that are not chart
// outlines and whose name is neither empty nor begins with ':' (transient objects). A writable
// existing file is first copied to "backup.vdo" of its folder.
bool SaveUserDataFile(const std::string& path, const ObjectList& document_list,
                      bool always_add_icons);
