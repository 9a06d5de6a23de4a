#include "overlays/overlay_file.h"

#include <unistd.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "app/app_common.h"
#include "core/path_utils.h"
#include "core/ui/message_boxes.h"
#include "overlays/category.h"
#include "overlays/collection_index.h"
#include "overlays/icon_library.h"
#include "overlays/obj_icons.h"
#include "overlays/obj_waypoint.h"
#include "overlays/ostrel_object.h"
#include "overlays/overlay_archive.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "platform/ui/message_box.h"
#include "platform/ui/window_messages.h"

namespace {

std::string g_overlay_folder;

constexpr char kChartOutlineClass[] = "COldChartOutline";

// The judgement of DuplicateCheck once the match is known.
enum class Verdict { kImport, kImportReplacing, kSkip };

Verdict Judge(COstrelObject* match, COstrelObject& object) {
  if (!match) return Verdict::kImport;
  if (match->modified < object.modified) return Verdict::kImportReplacing;
  if (match->modified != object.modified) {
    const int answer = FormatMessageBox(
        vd::ui::kMbYesNo | vd::ui::kMbIconQuestion,
        "Vardune has a modified copy of \"%s\"\n\nDo you want to skip importing this "
        "%s?\n\nClick Yes to skip, No to import a duplicate",
        object.name.c_str(), CCategory::GetNameOr(object.category()).c_str());
    if (answer != vd::ui::kIdYes) {
      object.SetUniqueId(0);
      return Verdict::kImport;
    }
  }
  if (object.visible) match->SetVisible(true);
  return Verdict::kSkip;
}

bool CopyFile(const std::string& from, const std::string& to) {
  std::string bytes;
  return vd::os::ReadWholeFile(from, bytes) && vd::os::SaveFileAtomically(to, bytes);
}

std::string BackupPathOf(const std::string& path) { return GetFolderOfPath(path) + "/backup.vdo"; }

// Whether a mark of the list shows a custom icon (one whose image bytes travel in the file).
// None can while the library holds no such icon, which spares a look at every object.
bool UsesCustomIcons(const ObjectList& list) {
  const CIconLibrary& library = CIconLibrary::Get();
  bool stored_images = false;
  for (int slot = 0; slot < CIconLibrary::kSlotCount && !stored_images; ++slot) {
    stored_images = library.Entry(slot)->HasImage();
  }
  return stored_images && std::any_of(list.begin(), list.end(), [](const COstrelObject* object) {
           return object->IsKindOf(CObjWaypoint::kClass) &&
                  static_cast<const CObjWaypoint*>(object)->UsesCustomIcon();
         });
}

bool IsChartOutline(const COstrelObject& object) {
  const OverlayClass* outline = OverlayClass::Find(kChartOutlineClass);
  return outline && object.IsKindOf(*outline);
}

// The list of an overlay file appended to list. User files (not undo steps) drop their
// stamps and their icon tables, whose icons entered the library while they were read.
bool ReadObjects(const std::string& path, const std::string& link_folder, bool user_file,
                 ObjectList& list, std::string* error, const ProgressFn& progress = {}) {
  vd::os::File file;
  if (!file.Open(path, vd::os::File::Mode::Read)) {
    if (error) *error = "The file could not be opened.";
    return false;
  }
  const int64_t size = file.Size();
  ObjectList read;
  bool ok = true;
  {
    COverlayArchive archive(file, COverlayArchive::Mode::kLoad);
    archive.set_link_folder(link_folder);
    uint32_t count = 0;
    uint32_t i = 0;
    try {
      count = archive.ReadCount(2);  // a reference takes 2 bytes at least
      archive.ReserveObjects(count);
      ProgressSteps steps(progress, count);
      for (; i < count; ++i) {
        if (!steps(i)) {
          // Stopped by the user, who needs no word of it: nothing of the file is kept.
          ok = false;
          break;
        }
        COstrelObject* object = archive.ReadObject<COstrelObject>();
        if (!object || (user_file && object->IsKindOf(CObjIcons::kClass))) continue;
        if (user_file) object->undo_stamp = object->redo_stamp = 0;
        object->AddRef();
        read.push_back(object);
      }
      // A stopped load is let go unlinked, as a failed one is.
      if (ok) archive.FinishLoad();
    } catch (const COverlayArchiveException& e) {
      ok = false;
      // A record of a newer version was already shown as such.
      if (error && e.cause() != COverlayArchiveException::kBadSchema) {
        const uint64_t at = static_cast<uint64_t>(std::max<int64_t>(size, 0)) -
                            std::min<uint64_t>(archive.BytesLeft(), std::max<int64_t>(size, 0));
        *error = vd::os::FormatC("It is damaged or not an overlay file: %s near byte %llu of "
                                 "%lld, in object %u of %u.",
                                 e.what(), static_cast<unsigned long long>(at),
                                 static_cast<long long>(size), i + 1, count);
      }
    }
  }  // the archive drops its references (a failed load unlinked everything first): what no
     // list took is gone
  if (!ok) {
    for (COstrelObject* object : read) object->Release();
  }
  PurgeUnusedCategories();
  if (!ok) return false;
  if (user_file) CIconLibrary::Get().MergeDuplicateNames(read);
  list.splice(list.end(), read);
  return true;
}

}  // namespace

const std::string& CurrentOverlayFolder() { return g_overlay_folder; }

void SetCurrentOverlayFolderFromPath(const std::string& path) {
  g_overlay_folder = GetFolderOfPath(path) + "/";
}

bool ReadObjectsFile(const std::string& path, const std::string& link_folder, ObjectList& list) {
  return ReadObjects(path, link_folder, false, list, nullptr);
}

bool WriteObjectsFile(const std::string& path, const std::string& link_folder,
                      const ObjectList& list, vd::os::Links links) {
  vd::os::AtomicFileWriter writer;
  if (!writer.Open(path, links)) return false;
  try {
    COverlayArchive archive(writer.file(), COverlayArchive::Mode::kStore);
    archive.set_link_folder(link_folder);
    archive.WriteCount(static_cast<uint32_t>(list.size()));
    // Looking an object up in the archive's table waits for memory unless asked for ahead.
    constexpr int kAhead = 4;
    auto ahead = list.begin();
    for (int i = 0; i < kAhead && ahead != list.end(); ++i) archive.PrefetchObject(*ahead++);
    for (const COstrelObject* object : list) {
      if (ahead != list.end()) archive.PrefetchObject(*ahead++);
      archive.WriteObject(object);
    }
    archive.Flush();
  } catch (const COverlayArchiveException&) {
    return false;  // the writer removes its temporary file
  }
  return writer.Commit();
}

bool ReadOverlayFileObjects(const std::string& path, ObjectList& list, std::string* error,
                            const ProgressFn& progress) {
  if (error) error->clear();
  SetCurrentOverlayFolderFromPath(path);
  return ReadObjects(path, CurrentOverlayFolder(), true, list, error, progress);
}

bool SaveObjectsToOverlayFile(const std::string& path, const ObjectList& list,
                              bool always_add_icons) {
  SetCurrentOverlayFolderFromPath(path);
  if (!always_add_icons && !UsesCustomIcons(list)) {
    return WriteObjectsFile(path, CurrentOverlayFolder(), list);
  }

  // The icon table leads the file, so that a reader has the icons before the marks using them.
  COstrelDocBase* owner = nullptr;
  if (always_add_icons) {
    if (CAppCommon* app = CAppCommon::Instance()) owner = app->FindFirstDocument();
  } else {
    owner = list.front()->document();
  }
  COstrelObject* icons;
  {
    CCurrentOwnerScope scope(owner);
    icons = new CObjIcons;
  }
  icons->AddRef();
  ObjectList with_icons(list);
  with_icons.push_front(icons);
  const bool ok = WriteObjectsFile(path, CurrentOverlayFolder(), with_icons);
  icons->Release();
  return ok;
}

// ---- Duplicates ----

bool DuplicateCheck(COstrelObject& object, ObjectList& document_list) {
  const auto found =
      std::find_if(document_list.begin(), document_list.end(),
                   [&](COstrelObject* other) { return object.IsSameObject(*other); });
  COstrelObject* match = found == document_list.end() ? nullptr : *found;
  const Verdict verdict = Judge(match, object);
  if (verdict == Verdict::kImportReplacing) match->Delete(false);
  return verdict != Verdict::kSkip;
}

uint64_t DuplicateIndex::NameKey(const COstrelObject& object) {
  return std::hash<std::string>()(object.name) ^
         (static_cast<uint64_t>(static_cast<uint32_t>(object.created)) * 0x9E3779B97F4A7C15ull);
}

DuplicateIndex::DuplicateIndex(const ObjectList& document_list) {
  known_.reserve(document_list.size());
  candidates_.reserve(2 * document_list.size());
  for (COstrelObject* object : document_list) Add(*object);
}

bool DuplicateIndex::HoldsKeysAlone(const COstrelObject& object, COstrelDocBase& document) {
  return object.document() == &document &&
         document.ObjectTimes().Count(static_cast<uint32_t>(object.created)) == 1 &&
         (object.id() == 0 || document.ObjectIds().Count(static_cast<uint32_t>(object.id())) == 1);
}

DuplicateIndex::Sharing DuplicateIndex::SharedKeys(const ObjectList& document_list,
                                                   const ObjectList& checked) {
  // The document whose list it is counts the keys of all its objects. When the checked objects
  // belong to it and they alone hold each of their times and low id halves, no object of the
  // list holds one.
  COstrelDocBase* document = checked.empty() ? nullptr : checked.front()->document();
  if (!document || document->GetObjectList() != &document_list) return Sharing::kMay;
  // Mostly each checked object holds its keys alone (an import's objects have times and ids of
  // their own): a look at each key's count tells, without gathering the keys.
  bool alone = true;
  for (const COstrelObject* object : checked) {
    if (object->document() != document) return Sharing::kMay;
    alone = alone && HoldsKeysAlone(*object, *document);
  }
  if (alone) return Sharing::kNone;
  // Else a key is held by as many objects as there are checked ones holding it, or by more.
  std::vector<uint32_t> times;
  std::vector<uint32_t> id_halves;
  times.reserve(checked.size());
  id_halves.reserve(checked.size());
  for (const COstrelObject* object : checked) {
    if (object->id() != 0) id_halves.push_back(static_cast<uint32_t>(object->id()));
    times.push_back(static_cast<uint32_t>(static_cast<int32_t>(object->created)));
  }
  const auto held_elsewhere = [](std::vector<uint32_t>& keys, const IdMultiset& held) {
    std::sort(keys.begin(), keys.end());
    for (auto run = keys.begin(); run != keys.end();) {
      auto run_end = run;
      while (run_end != keys.end() && *run_end == *run) ++run_end;
      if (held.Count(*run) > static_cast<uint32_t>(run_end - run)) return true;
      run = run_end;
    }
    return false;
  };
  return held_elsewhere(times, document->ObjectTimes()) ||
                 held_elsewhere(id_halves, document->ObjectIds())
             ? Sharing::kMay
             : Sharing::kAmongThem;
}

DuplicateIndex::DuplicateIndex(const ObjectList& document_list, const ObjectList& checked) {
  // A match has an equal non-zero id or an equal created time: other objects never match.
  // The checked objects join the index as they are let in.
  switch (SharedKeys(document_list, checked)) {
    case Sharing::kNone:
      matchless_ = checked.front()->document();
      matchless_changes_ = KeyChanges(*matchless_);
      noted_.reserve(checked.size());
      return;
    case Sharing::kAmongThem:
      known_.reserve(checked.size());
      candidates_.reserve(2 * checked.size());
      return;
    case Sharing::kMay:
      known_.reserve(checked.size());
      candidates_.reserve(2 * checked.size());
      break;
  }

  // A bit per hash of those keys turns most objects of the list away with one test; only the
  // rest are looked up. The list is far larger than what is checked against it, so its walk
  // asks for the objects' first bytes (times and id) a few objects ahead.
  std::unordered_set<uint64_t> ids;
  std::unordered_set<int32_t> times;
  ids.reserve(checked.size());
  times.reserve(checked.size());
  // 2^(64 - shift) bits: about 16 per key (each checked object gives two), from 1024 bits up
  // to 2 MB.
  int filter_shift = 64 - 10;
  while ((uint64_t{1} << (64 - filter_shift)) < 32 * checked.size() && filter_shift > 64 - 24) {
    --filter_shift;
  }
  std::vector<uint64_t> filter(size_t{1} << (64 - filter_shift - 6));
  const auto bit = [filter_shift](uint64_t key) {
    return (key * 0x9E3779B97F4A7C15ull) >> filter_shift;
  };
  const auto set_bit = [&](uint64_t key) {
    filter[bit(key) >> 6] |= uint64_t{1} << (bit(key) & 63);
  };
  const auto has_bit = [&](uint64_t key) {
    return ((filter[bit(key) >> 6] >> (bit(key) & 63)) & 1) != 0;
  };
  // Times stay apart from the ids of this installation; a bit shared by chance costs a lookup.
  constexpr uint64_t kTimeKey = uint64_t{1} << 63;
  for (const COstrelObject* object : checked) {
    if (object->id() != 0) {
      ids.insert(object->id());
      set_bit(object->id());
    }
    times.insert(object->created);
    set_bit(kTimeKey | static_cast<uint32_t>(object->created));
  }
  const auto prefetch = [](const COstrelObject* object) {
    // The id and the times lead the object.
    __builtin_prefetch(&object->created);
  };
  constexpr int kAhead = 8;
  auto ahead = document_list.begin();
  for (int i = 0; i < kAhead && ahead != document_list.end(); ++i) prefetch(*ahead++);
  for (COstrelObject* object : document_list) {
    if (ahead != document_list.end()) prefetch(*ahead++);
    const uint64_t id = object->id();
    const bool time_may_match = has_bit(kTimeKey | static_cast<uint32_t>(object->created));
    const bool id_may_match = id != 0 && has_bit(id);
    if ((time_may_match && times.contains(object->created)) ||
        (id_may_match && ids.contains(id))) {
      Add(*object);
    }
  }
}

DuplicateIndex::~DuplicateIndex() {
  for (const COstrelObject* object : known_) const_cast<COstrelObject*>(object)->Release();
}

void DuplicateIndex::KeepKeys() {
  matchless_ = nullptr;
  std::vector<COstrelObject*> noted;
  noted.swap(noted_);
  for (COstrelObject* object : noted) Add(*object);
}

uint64_t DuplicateIndex::KeyChanges(COstrelDocBase& document) {
  return document.ObjectTimes().changes() + document.ObjectIds().changes();
}

bool DuplicateIndex::Contains(const COstrelObject& object) {
  if (matchless_) KeepKeys();
  return known_.contains(&object);
}

void DuplicateIndex::Add(COstrelObject& object) {
  if (matchless_) {
    // An object of the document that has kept its keys since the checked objects each held
    // theirs alone shares none with them; nor does one that holds its keys alone now. Either
    // can match one of them later only when some object's keys change, which Check sees.
    if (object.document() == matchless_ &&
        (KeyChanges(*matchless_) == matchless_changes_ || HoldsKeysAlone(object, *matchless_))) {
      noted_.push_back(&object);
      return;
    }
    KeepKeys();
  }
  if (!known_.insert(&object).second) return;
  object.AddRef();
  const Candidate candidate{&object, next_++};
  if (object.id() != 0) candidates_.emplace(object.id(), candidate);
  candidates_.emplace(NameKey(object), candidate);
}

void DuplicateIndex::Remove(COstrelObject& object) {
  if (known_.erase(&object) == 0) return;
  const auto drop = [&](uint64_t key) {
    const auto [first, last] = candidates_.equal_range(key);
    const auto it = std::find_if(first, last,
                                 [&](const auto& entry) { return entry.second.object == &object; });
    if (it != last) candidates_.erase(it);
  };
  if (object.id() != 0) drop(object.id());
  drop(NameKey(object));
  object.Release();
}

COstrelObject* DuplicateIndex::FindMatch(const COstrelObject& object) const {
  const Candidate* best = nullptr;
  const auto consider = [&](uint64_t key) {
    const auto [first, last] = candidates_.equal_range(key);
    for (auto it = first; it != last; ++it) {
      if ((!best || it->second.position < best->position) &&
          object.IsSameObject(*it->second.object)) {
        best = &it->second;
      }
    }
  };
  if (object.id() != 0) consider(object.id());
  consider(NameKey(object));
  return best ? best->object : nullptr;
}

bool DuplicateIndex::Check(COstrelObject& object) {
  // No object of the list shares a key with the checked ones while the keys stay as they were,
  // nor any object of the document with one that holds its keys alone. Else the objects that
  // may now share one were appended meanwhile, given with Add.
  if (matchless_) {
    if (KeyChanges(*matchless_) == matchless_changes_ || HoldsKeysAlone(object, *matchless_)) {
      return true;
    }
    KeepKeys();
  }
  COstrelObject* match = FindMatch(object);
  const Verdict verdict = Judge(match, object);
  if (verdict == Verdict::kImportReplacing) {
    match->AddRef();  // alive until it has left the index
    match->Delete(false);
    Remove(*match);
    match->Release();
  }
  return verdict != Verdict::kSkip;
}

void MergeImportedObjects(ObjectList& document_list, ObjectList& imported) {
  DuplicateIndex index(document_list, imported);
  // Collections into the document ask a set instead of searching the document: the imported
  // objects are not in it until collected.
  const ObjectSet fresh(imported.begin(), imported.end());
  CollectionIndex collection(document_list, fresh);
  // Adds the object and what it needs, and tells the index of everything appended.
  const auto add = [&](COstrelObject& object) {
    const bool was_empty = document_list.empty();
    auto last = was_empty ? document_list.end() : std::prev(document_list.end());
    object.CollectForExport(document_list);
    for (auto it = was_empty ? document_list.begin() : std::next(last); it != document_list.end();
         ++it) {
      index.Add(**it);
    }
  };
  ObjectList refused;
  while (!imported.empty()) {
    COstrelObject* object = imported.front();
    imported.pop_front();
    if (collection.Contains(object)) {
      // Brought in with an object before it (a route's mark, which is not exportable on its
      // own): the imported list's reference is now the document list's, and the object is
      // not its own duplicate.
    } else if (!object->IsExportable()) {
      object->Release();
    } else if (index.Check(*object)) {
      add(*object);
    } else {
      refused.push_back(object);
    }
  }
  for (COstrelObject* object : refused) {
    add(*object);
    object->Delete(false);
  }
}

// ---- The user-data file ----

std::string UserDataFilePath(const std::string& data_folder) {
  return data_folder + "/userdata-Vardune-6.vdo";
}

bool SeedUserDataFile(const std::string& data_folder) {
  const std::string target = UserDataFilePath(data_folder);
  if (vd::os::FileExists(target)) return false;
  for (const char* older : {"/userdata-Vardune.vdo", "/userdata-Vardune-OS-5.vdo"}) {
    const std::string source = data_folder + older;
    if (vd::os::FileExists(source)) return CopyFile(source, target);
  }
  return false;
}

void KeepOlderUserDataFile(const std::string& path, bool seeded) {
  const int schema = OlderSchemaRead();
  if (seeded || schema <= 0) return;
  CopyFile(path, GetFolderOfPath(path) + "/" + GetFileTitleOfPath(path) + "_v" +
                     std::to_string(schema) + ".vdo");
}

bool LoadUserDataFile(const std::string& path, ObjectList& list) {
  if (path.empty()) return true;
  if (ReadOverlayFileObjects(path, list)) return true;
  const std::string backup = BackupPathOf(path);
  if (::access(backup.c_str(), R_OK) != 0) return false;
  // Renaming over an older ".corrupt" replaces it; a missing file leaves nothing to keep.
  vd::os::RenameFile(path, path + ".corrupt");
  if (!vd::os::RenameFile(backup, path)) return false;
  FormatMessageBox(vd::ui::kMbIconInformation,
                   "Restored file from backup...\n\n\"%s\" could not be read, so its backup "
                   "took its place. The damaged file is kept as \"%s.corrupt\".",
                   path.c_str(), path.c_str());
  return ReadOverlayFileObjects(path, list);
}

bool SaveUserDataFile(const std::string& path, const ObjectList& document_list,
                      bool always_add_icons) {
  ObjectList kept;
  for (COstrelObject* object : document_list) {
    if (IsChartOutline(*object) || object->name.empty() || object->name.front() == ':') continue;
    kept.push_back(object);
  }
  // A copy, not a move: the user-data file stays in place whatever becomes of the save.
  if (::access(path.c_str(), W_OK) == 0) CopyFile(path, BackupPathOf(path));
  return SaveObjectsToOverlayFile(path, kept, always_add_icons);
}
