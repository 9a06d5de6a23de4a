#include "overlays/ostrel_object.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <optional>
#include <unordered_map>

#include "app/app_common.h"
#include "core/ui/dialog_f1_help.h"
#include "core/ui/message_boxes.h"
#include "overlays/category.h"
#include "overlays/collection_index.h"
#include "overlays/mapped_object.h"
#include "overlays/overlay_archive.h"
#include "platform/os/clock.h"
#include "platform/os/files.h"
#include "platform/ui/message_box.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/window_messages.h"

const OverlayClass COstrelObject::kClass("COstrelObject", kOverlaySchema, nullptr, nullptr);

namespace {

COstrelObject* g_selected = nullptr;
bool g_notifications = true;
COstrelDocBase* g_current_document = nullptr;
uint64_t g_last_serial = 0;
std::optional<uint32_t> g_installation_id;
std::optional<int32_t> g_creation_time;  // set by CCreationTimeScope

// The program-wide tables below are never destroyed, so that objects still alive at exit may
// leave them.
OverlayUndoHook& UndoHookSlot() {
  static auto* hook = new OverlayUndoHook;
  return *hook;
}

void HoldId(COstrelDocBase* document, uint64_t id) {
  if (id != 0 && document) document->ObjectIds().Add(static_cast<uint32_t>(id));
}

void DropId(COstrelDocBase* document, uint64_t id) {
  if (id != 0 && document) document->ObjectIds().Remove(static_cast<uint32_t>(id));
}

void HoldTime(COstrelDocBase* document, int32_t time) {
  if (document) document->ObjectTimes().Add(static_cast<uint32_t>(time));
}

void DropTime(COstrelDocBase* document, int32_t time) {
  if (document) document->ObjectTimes().Remove(static_cast<uint32_t>(time));
}

// The view targets of the objects that have one.
struct ViewTarget {
  CLatLon position;
  float distance = -1.0f;
};
std::unordered_map<const COstrelObject*, ViewTarget>& ViewTargets() {
  static auto* targets = new std::unordered_map<const COstrelObject*, ViewTarget>;
  return *targets;
}

int32_t Now32() { return static_cast<int32_t>(static_cast<uint32_t>(vd::os::NowSeconds1970())); }

// A stable number for this machine that does not give its machine id away: a salted FNV-1a
// hash of /etc/machine-id, 0 when there is none.
uint32_t MachineInstallationId() {
  std::string machine_id;
  if (!vd::os::ReadWholeFile("/etc/machine-id", machine_id)) return 0;
  while (!machine_id.empty() && (machine_id.back() == '\n' || machine_id.back() == ' ')) {
    machine_id.pop_back();
  }
  if (machine_id.empty()) return 0;
  uint32_t hash = 2166136261u;
  for (const char c : "vardune overlay objects " + machine_id) {
    hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  }
  return hash;
}

}  // namespace

COstrelObject::COstrelObject()
    : created(g_creation_time ? *g_creation_time : Now32()),
      modified(created),
      document_(g_current_document),
      undo_stamp(UndoHookSlot().current_step ? UndoHookSlot().current_step() : 0),
      serial_(++g_last_serial) {
  HoldTime(document_, created);
}

const OverlayClass& COstrelObject::GetRuntimeClass() const { return kClass; }

COstrelObject::~COstrelObject() {
  if (g_selected == this) g_selected = nullptr;
  if (has_view_target_) ViewTargets().erase(this);
  if (document_) document_->ForgetCurrentObject(this);
  if (category_) category_->Release();
  DropId(document_, id_);
  DropTime(document_, created);
}

void CObjectTime::Changed(int32_t old) {
  // The field is an object's created time: the object is found from where the field lies in it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
  constexpr size_t kOffset = offsetof(COstrelObject, created);
#pragma GCC diagnostic pop
  const auto* object =
      reinterpret_cast<const COstrelObject*>(reinterpret_cast<const char*>(this) - kOffset);
  DropTime(object->document_, old);
  HoldTime(object->document_, value_);
}

void COstrelObject::Serialize(COverlayArchive& archive) {
  if (archive.IsStoring()) {
    archive.WriteString(name);
    archive.WriteInt32(created);
    archive.WriteInt32(modified);
    archive.WriteBool(locked);
    archive.WriteBool(visible);
    archive.WriteInt32(style);
    archive.WriteObject(category_);
    archive.WriteInt32(undo_stamp);
    archive.WriteInt32(redo_stamp);
    archive.WriteId(id_);
    return;
  }
  const uint16_t schema = archive.GetObjectSchema();
  archive.ReadString(name);
  created = archive.ReadInt32();
  modified = archive.ReadInt32();
  locked = archive.ReadBool();
  visible = archive.ReadBool();
  style = archive.ReadInt32();
  // Equal names share one category, whatever the file stored.
  if (schema >= 16) ReplaceCategory(archive.ReadSharedCategory());
  if (schema >= 24) {
    undo_stamp = archive.ReadInt32();
    redo_stamp = archive.ReadInt32();
  }
  if (schema >= 26) SetUniqueId(archive.ReadId());
  short_name = name;
  // Older files have no layer byte in the style.
  if (static_cast<uint32_t>(style) < 100) {
    style = static_cast<int32_t>(static_cast<uint32_t>(style) << 24);
  }
}

void COstrelObject::SetVisible(bool value) { visible = value; }

bool COstrelObject::GetBounds(double&, double&, double&, double&) const { return false; }

bool COstrelObject::IsExportable() const { return true; }

bool COstrelObject::CollectForExport(ObjectList& list) {
  if (CollectionIndex* index = CollectionIndex::Of(list)) return index->Add(this);
  if (std::find(list.begin(), list.end(), this) != list.end()) return false;
  list.push_back(this);
  return true;
}

bool COstrelObject::CollectForUndo(ObjectList& list) {
  return COstrelObject::CollectForExport(list);
}

void COstrelObject::Select(bool notify) {
  if (g_selected && g_selected != this) g_selected->Deselect();
  g_selected = this;
  if (notify) NotifyChange(kChangeSelected);
}

void COstrelObject::Deselect() {
  if (g_selected == this) g_selected = nullptr;
}

bool COstrelObject::IsSameObject(const COstrelObject& other) const {
  if (&other.GetRuntimeClass() != &GetRuntimeClass()) return false;
  if (id_ != 0 && id_ == other.id_) return true;
  return created == other.created && name == other.name;
}

int COstrelObject::Delete(bool ask) {
  if (ask) {
    if (locked) {
      FormatMessageBox(vd::ui::kMbIconInformation, "Object is locked");
      return kDeleteRefused;
    }
    if (category_ && !name.empty()) {
      const int answer = FormatMessageBox(vd::ui::kMbOkCancel | vd::ui::kMbIconQuestion,
                                          "Delete the %s: \"%s\"\nAre you sure?",
                                          CCategory::GetNameOr(category_).c_str(), name.c_str());
      if (answer != vd::ui::kIdOk) return answer;
      if (UndoHookSlot().save_for_object) UndoHookSlot().save_for_object(*this);
    }
  }
  NotifyChange(kChangeDeleted);
  ObjectList* list = document_ ? document_->GetObjectList() : nullptr;
  if (!list) return kDeleteNotInList;
  const auto entry = std::find(list->begin(), list->end(), this);
  if (entry == list->end()) return kDeleteNotInList;
  list->erase(entry);
  Release();
  return kDeleted;
}

void COstrelObject::SetLocked(bool value) {
  locked = value;
  NotifyChange(kChangeEditState);
}

bool COstrelObject::WriteGpx(std::string&) { return true; }

bool COstrelObject::WriteText(std::string&) { return true; }

bool COstrelObject::ReadText(std::string_view) { return true; }

void COstrelObject::PrepareView(CMappedObject&, COldQuickChart*, CRubberBand&) {}

void COstrelObject::Draw(vd::ui::Surface&, vd::ui::Graphics&, CMappedObject&, bool) {}

bool COstrelObject::HitTest(const vd::ui::Point& chart_point, CMappedObject& mapped,
                            int zoom_step) {
  return mapped.HitTest(chart_point, zoom_step);
}

bool COstrelObject::OnLButtonDown(const CLatLon&, CMappedObject*) {
  if (!IsSelected()) Select(true);
  return true;
}

bool COstrelObject::OnLButtonUp(const CLatLon&) { return false; }

bool COstrelObject::OnMouseMove(const CLatLon&) { return false; }

bool COstrelObject::OnDoubleClick(const CLatLon&) {
  if (document_) document_->ShowObjectPanes();
  if (COstrelObject* selected = GetSelected(document_)) {
    selected->Deselect();
    selected->Select(true);
  }
  return true;
}

bool COstrelObject::OnContextMenu(COstrelViewBase* view, const vd::ui::Point& client_point) {
  if (context_menu_id == 0 || !view) return false;
  if (!IsSelected()) Select(true);
  const std::unique_ptr<vd::ui::PopupMenu> menu = view->LoadContextMenu(context_menu_id);
  if (!menu) return false;
  OnInitPopupMenu(*menu);
  // The command chosen may delete this object: nothing of it is used afterwards.
  view->TrackContextMenu(*menu, client_point);
  return true;
}

bool COstrelObject::OnKeyDown(int) { return false; }

bool COstrelObject::GetStatusText(std::string&, const CLatLon&, CMappedObject*) { return false; }

void COstrelObject::CentreInView() {}

void COstrelObject::SetViewTarget(double lat, double lon, float distance) {
  ViewTargets()[this] = {{lat, lon}, distance};
  has_view_target_ = true;
  NotifyChange(kChangeViewTarget);
}

CLatLon COstrelObject::view_target() const {
  return has_view_target_ ? ViewTargets().at(this).position : CLatLon();
}

float COstrelObject::view_target_distance() const {
  return has_view_target_ ? ViewTargets().at(this).distance : -1.0f;
}

void COstrelObject::OnInitPopupMenu(vd::ui::PopupMenu&) {}

std::unique_ptr<CDialogF1Help> COstrelObject::CreatePropsDialog(QWidget*) { return nullptr; }

bool COstrelObject::MayBeHidden() const { return true; }

bool COstrelObject::IsSelectable() const { return true; }

void COstrelObject::DrawAtZoom(vd::ui::Surface& dc, vd::ui::Graphics& graphics,
                               CMappedObject& mapped, int, bool quick_draw) {
  Draw(dc, graphics, mapped, quick_draw);
}

bool COstrelObject::OnKeyDownAt(int key, const CLatLon&) { return OnKeyDown(key); }

bool COstrelObject::OnContextMenuAt(const CLatLon&, COstrelViewBase* view,
                                    const vd::ui::Point& client_point) {
  return OnContextMenu(view, client_point);
}

void COstrelObject::Release() {
  if (--ref_count_ <= 0) delete this;
}

void COstrelObject::NotifyChange(int code) {
  if (!document_) return;
  if (code == kChangeModified) modified = Now32();
  if (!g_notifications) return;
  document_->UpdateAllViews(nullptr, code, this);
  if (CAppCommon* app = CAppCommon::Instance()) app->BroadcastToDataWindows(this, code);
}

void COstrelObject::SetNotificationsEnabled(bool enabled) { g_notifications = enabled; }

bool COstrelObject::NotificationsEnabled() { return g_notifications; }

uint64_t COstrelObject::GetUniqueId() {
  if (id_ != 0) return id_;
  const uint32_t time = static_cast<uint32_t>(vd::os::NowSeconds1970());
  const uint32_t random = static_cast<uint32_t>(std::rand()) & 0x7FFF;
  // Objects made in the same second (an import, a bulk export) would share the time; the next
  // free value keeps each id unique in the document.
  uint32_t low = time ^ (random << 16);
  if (document_) {
    const IdMultiset& used = document_->ObjectIds();
    while (low == 0 || used.Contains(low)) ++low;
  } else if (low == 0) {
    low = 1;
  }
  SetUniqueId(static_cast<uint64_t>(InstallationId()) << 32 | low);
  return id_;
}

void COstrelObject::SetUniqueId(uint64_t id) {
  DropId(document_, id_);
  id_ = id;
  HoldId(document_, id_);
}

void COstrelObject::SetInstallationId(uint32_t id) { g_installation_id = id; }

uint32_t COstrelObject::InstallationId() {
  if (!g_installation_id) g_installation_id = MachineInstallationId();
  return *g_installation_id;
}

void COstrelObject::SetCategory(const std::string& category_name) {
  ReplaceCategory(CCategory::FindOrCreate(category_name));
}

void COstrelObject::SetCategory(CCategory* category) {
  if (category) category->AddRef();
  ReplaceCategory(category);
}

void COstrelObject::ReplaceCategory(CCategory* category) {
  CCategory* previous = category_;
  category_ = category;
  if (previous) previous->Release();
}

bool COstrelObject::IsSelected() const { return g_selected == this; }

COstrelObject* COstrelObject::GetSelected(const COstrelDocBase* document) {
  if (!g_selected || (document && g_selected->document_ != document)) return nullptr;
  return g_selected;
}

void COstrelObject::SetDocument(COstrelDocBase* document) {
  DropId(document_, id_);
  DropTime(document_, created);
  document_ = document;
  HoldId(document_, id_);
  HoldTime(document_, created);
}

COstrelDocBase* COstrelObject::CurrentDocument() { return g_current_document; }

void COstrelObject::SetCurrentDocument(COstrelDocBase* document) { g_current_document = document; }

void COstrelObject::SetUndoHook(OverlayUndoHook hook) { UndoHookSlot() = std::move(hook); }

const OverlayUndoHook& COstrelObject::UndoHook() { return UndoHookSlot(); }

int32_t COstrelObject::ShiftByZoom(int step) const {
  if (step < 0) return hit_tolerance >> std::min(-step, 31);
  const int64_t shifted = static_cast<int64_t>(hit_tolerance) << std::min(step, 31);
  return static_cast<int32_t>(std::clamp<int64_t>(shifted, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

void DeleteMarkedObjects(const ObjectList& list) {
  COstrelObject::SetNotificationsEnabled(false);
  for (COstrelObject* object : list) object->AddRef();
  for (COstrelObject* object : list) {
    COstrelDocBase* document = object->document();
    const ObjectList* owner = document ? document->GetObjectList() : nullptr;
    if (owner && std::find(owner->begin(), owner->end(), object) != owner->end()) {
      object->Delete(false);
    }
  }
  for (COstrelObject* object : list) object->Release();
  RefreshAllOverlayViews();
}

void RefreshAllOverlayViews() {
  COstrelObject::SetNotificationsEnabled(true);
  CAppCommon* app = CAppCommon::Instance();
  if (!app) return;
  if (COstrelDocBase* document = app->FindFirstDocument()) {
    document->UpdateAllViews(nullptr, 0, nullptr);
  }
  app->BroadcastToDataWindows(nullptr, 0);
}

CCurrentOwnerScope::CCurrentOwnerScope(COstrelDocBase* document)
    : previous_(COstrelObject::CurrentDocument()) {
  COstrelObject::SetCurrentDocument(document);
}

CCurrentOwnerScope::~CCurrentOwnerScope() { COstrelObject::SetCurrentDocument(previous_); }

CCreationTimeScope::CCreationTimeScope(int32_t time) : previous_(g_creation_time) {
  g_creation_time = time;
}

CCreationTimeScope::~CCreationTimeScope() { g_creation_time = previous_; }
