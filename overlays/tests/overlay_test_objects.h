#pragma once
// Test doubles for overlay object tests: a document that records what its views are told, an
// application object with data panes, and two small object classes with an extent.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/app_common.h"
#include "app/shell_services.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "overlays/object_factory.h"
#include "overlays/overlay_archive.h"
#include "overlays/ostrel_object.h"
#include "platform/os/files.h"

namespace vd::test {

// What the views and panes were told, in order.
struct ChangeRecord {
  enum Receiver { kViews, kPane };
  Receiver receiver;
  int code;
  COstrelObject* object;
  friend bool operator==(const ChangeRecord&, const ChangeRecord&) = default;
};

class FakeDoc : public COstrelDocBase {
 public:
  ~FakeDoc() override {
    // The list's references, as the shell's document drops them.
    for (COstrelObject* object : ObjectList(objects)) object->Release();
  }
  void UpdateAllViews(COstrelViewBase*, int hint, COstrelObject* object) override {
    if (log) log->push_back({ChangeRecord::kViews, hint, object});
  }
  ObjectList* GetObjectList() override { return &objects; }
  void ForgetCurrentObject(COstrelObject* object) override {
    if (current_object == object) current_object = nullptr;
  }
  void ShowObjectPanes() override { ++panes_shown; }

  // Appends with the list's reference.
  template <class T>
  T* Add(T* object) {
    object->AddRef();
    objects.push_back(object);
    return object;
  }
  // A placed mark, and a route through marks with its editing ended, in the list.
  CObjWaypoint* AddMark(const std::string& name, double lat, double lon) {
    CObjWaypoint* mark = Add(new CObjWaypoint);
    mark->name = name;
    mark->position = {lat, lon};
    mark->being_placed = false;
    return mark;
  }
  CObjRoute* AddRoute(const std::string& name, const std::vector<CObjWaypoint*>& marks) {
    CObjRoute* route = Add(new CObjRoute);
    route->name = name;
    for (CObjWaypoint* mark : marks) route->LinkWaypoint(mark);
    route->EndEditing();
    return route;
  }

  ObjectList objects;
  COstrelObject* current_object = nullptr;
  int panes_shown = 0;
  std::vector<ChangeRecord>* log = nullptr;
};

class FakePane : public CDataWnd {
 public:
  void Update(COstrelObject* object, int hint) override {
    if (log) log->push_back({ChangeRecord::kPane, hint, object});
  }
  void DestroyWindow() override {}
  std::vector<ChangeRecord>* log = nullptr;
};

class FakeApp : public CAppCommon {
 public:
  COstrelDocBase* FindFirstDocument() override { return document; }
  COstrelDocBase* document = nullptr;
};

// A point-like object with an optional extent; counts deselections and destruction.
class TestMark : public COstrelObject {
 public:
  static const OverlayClass kClass;
  const OverlayClass& GetRuntimeClass() const override { return kClass; }
  ~TestMark() override {
    if (destroyed) *destroyed = true;
  }

  bool GetBounds(double& min_lat, double& max_lat, double& min_lon,
                 double& max_lon) const override {
    if (!has_bounds) return false;
    min_lat = south;
    max_lat = north;
    min_lon = west;
    max_lon = east;
    return true;
  }
  void Deselect() override {
    ++deselections;
    COstrelObject::Deselect();
  }
  void SetExtent(double s, double n, double w, double e) {
    has_bounds = true;
    south = s;
    north = n;
    west = w;
    east = e;
  }

  bool has_bounds = false;
  double south = 0, north = 0, west = 0, east = 0;
  int deselections = 0;
  bool* destroyed = nullptr;
};

class TestRoute : public TestMark {
 public:
  static const OverlayClass kClass;
  const OverlayClass& GetRuntimeClass() const override { return kClass; }
};

inline const OverlayClass TestMark::kClass("CTestMark", kOverlaySchema, &COstrelObject::kClass,
                                           &CreateArchiveObject<TestMark>);
inline const OverlayClass TestRoute::kClass("CTestRoute", kOverlaySchema, &TestMark::kClass,
                                            &CreateArchiveObject<TestRoute>);

// An application with one document, whose views and one data pane write to log; the document
// is the current one for objects made while the fixture lives.
struct OverlayWorld {
  OverlayWorld() : owner(&doc) {
    doc.log = &log;
    pane.log = &log;
    app.document = &doc;
    app.AddDataWindow(&pane);
    COstrelObject::SetNotificationsEnabled(true);
  }
  ~OverlayWorld() { app.RemoveDataWindow(&pane); }

  std::vector<ChangeRecord> log;
  FakeApp app;
  FakePane pane;
  FakeDoc doc;
  CCurrentOwnerScope owner;
};

// Installs an undo hook for its lifetime and then puts back the one it replaced: the program's
// history installs its own at start, which later tests of the same process rely on.
class ScopedUndoHook {
 public:
  explicit ScopedUndoHook(OverlayUndoHook hook) : previous_(COstrelObject::UndoHook()) {
    COstrelObject::SetUndoHook(std::move(hook));
  }
  ~ScopedUndoHook() { COstrelObject::SetUndoHook(std::move(previous_)); }
  ScopedUndoHook(const ScopedUndoHook&) = delete;
  ScopedUndoHook& operator=(const ScopedUndoHook&) = delete;

 private:
  OverlayUndoHook previous_;
};

// The bytes a storing archive writes to the file at `path` when `write` fills it.
inline std::string StoredArchive(const std::string& path,
                                 const std::function<void(COverlayArchive&)>& write) {
  {
    vd::os::File file;
    if (!file.Open(path, vd::os::File::Mode::CreateTruncate)) return {};
    COverlayArchive archive(file, COverlayArchive::Mode::kStore);
    write(archive);
    archive.Flush();
  }
  std::string bytes;
  vd::os::ReadWholeFile(path, bytes);
  return bytes;
}

}  // namespace vd::test
