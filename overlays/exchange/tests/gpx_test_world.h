#pragma once
// What the exchange-file tests share: a document with its own profile and temp folder (undo
// steps land there), objects made in it, and reading a file back into it.
#include <algorithm>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "overlays/exchange/gpx_exchange.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace vd::test {

class GpxWorld {
 public:
  GpxWorld() {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    app.temp_folder = dir.path();
    app.document = &doc;
  }
  // Routes go first: a route that goes deletes the marks it leaves without a route, which
  // the document's plain release loop would not expect.
  ~GpxWorld() {
    std::vector<COstrelObject*> routes;
    for (COstrelObject* object : doc.objects) {
      if (object->IsKindOf(CObjRoute::kClass)) routes.push_back(object);
    }
    for (COstrelObject* route : routes) route->Delete(false);
    CObjRoute::SetCurrent(nullptr);
  }

  CObjWaypoint* Mark(const std::string& name, double lat, double lon) {
    return doc.AddMark(name, lat, lon);
  }
  CObjRoute* Route(const std::string& name, const std::vector<CObjWaypoint*>& marks) {
    return doc.AddRoute(name, marks);
  }
  CObjTrack* Track(const std::string& name) {
    CObjTrack* track = doc.Add(new CObjTrack);
    track->name = name;
    return track;
  }

  // Writes the bytes to a file of that name in the folder and reads it; the objects read join
  // the document. Fails the test when the import reports an error.
  ObjectList Read(const std::string& file_name, const std::string& bytes) {
    const std::string path = dir.File(file_name);
    EXPECT_TRUE(vd::os::SaveFileAtomically(path, bytes));
    return ReadPath(path);
  }
  ObjectList ReadPath(const std::string& path) {
    ObjectList read;
    const ExchangeRead result = ImportXmlTrackFile(path, read);
    EXPECT_EQ(result.error, "");
    doc.objects.insert(doc.objects.end(), read.begin(), read.end());
    return read;
  }

  template <class T>
  static std::vector<T*> OfClass(const ObjectList& list) {
    std::vector<T*> out;
    for (COstrelObject* object : list) {
      if (object->IsKindOf(T::kClass)) out.push_back(static_cast<T*>(object));
    }
    return out;
  }

  TempDir dir;
  FakeApp app;
  FakeDoc doc;
  CCurrentOwnerScope owner{&doc};
};

}  // namespace vd::test
