// Fuzz target: the routing server's directions reply (XML), rebuilt into a route by both
// overlay models: the document's route with its turn and intermediate marks, and the newer
// model's route of the mark manager.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_objects.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/quiet_responder.h"
#include "app/shell_services.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_route.h"
#include "overlays/model/overlay_route_online.h"
#include "overlays/obj_route.h"
#include "overlays/road_routing.h"

namespace {

// The document the old model's route lives in: its list holds the marks the reply adds.
class FuzzDoc : public COstrelDocBase {
 public:
  void UpdateAllViews(COstrelViewBase*, int, COstrelObject*) override {}
  ObjectList* GetObjectList() override { return &objects; }
  ObjectList objects;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  vd::fuzz::AnswerQuietly();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vd::fuzz::WriteInput("directions.xml", data, size);
  std::string error;
  {
    FuzzDoc doc;
    vd::fuzz::App().document = &doc;
    auto* route = new CObjRoute;
    route->AddRef();
    doc.objects.push_back(route);
    route->EndEditing();
    (void)ReadDirectionsReply(path, *route, error);
    vd::fuzz::ReleaseObjects(doc.objects);
    vd::fuzz::App().document = nullptr;
  }
  static CMarkManager* marks = new CMarkManager;
  COverlayRoute* route = marks->AddRoute(std::make_unique<COverlayRoute>());
  (void)ReadOverlayDirectionsReply(path, *route, error);
  marks->DeleteRoute(route);
  return 0;
}
