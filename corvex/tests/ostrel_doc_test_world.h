#pragma once
// What the document tests run it in: an application object with data and temp folders of its
// own, a profile in a temporary folder, chart views and a frame host that only record what
// they are asked, and a responder that answers message boxes and file dialogs.
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_common.h"
#include "core/persistent_value.h"
#include "corvex/chart_view_link.h"
#include "corvex/ostrel_doc.h"
#include "gps/gps_params.h"
#include "platform/os/files.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/temp_dir.h"

namespace vd::test {

// A chart view that opens any path it is given and records what it is asked.
class FakeChartView : public CDocView {
 public:
  std::unique_ptr<vd::ui::PopupMenu> LoadContextMenu(int) override { return nullptr; }
  void TrackContextMenu(const vd::ui::PopupMenu&, const vd::ui::Point&) override {}

  std::string GetChartPath() const override { return placement.chart_path; }
  bool OpenChartFile(const std::string& path) override {
    ++opened;
    if (refuse_charts) return false;
    placement.chart_path = path;
    return true;
  }
  void ReloadChartFile() override { ++reloaded; }
  void CentreAt(double lat, double lon, double scale, int mode) override {
    placement.lat = lat;
    placement.lon = lon;
    placement.scale = scale;
    last_mode = mode;
    ++centred;
  }
  void CentreKeepingZoom(double lat, double lon) override {
    placement.lat = lat;
    placement.lon = lon;
    ++followed;
  }
  bool SetPositionMarker(double lat, double lon) override {
    marker = {lat, lon};
    return true;
  }
  bool IsLockedOn() const override { return placement.lock != 0; }
  bool GetPlacement(CViewPlacement& out) const override {
    if (placement.chart_path.empty()) return false;
    const CWindowPlacement window = out.window;
    out = placement;
    out.window = window;
    return true;
  }
  void OnUpdate(COstrelViewBase*, int hint, COstrelObject* object) override {
    updates.push_back({hint, object});
  }

  struct Update {
    int hint;
    COstrelObject* object;
  };
  CViewPlacement placement;  // chart path, centre, scale and lock
  bool refuse_charts = false;
  int opened = 0;
  int reloaded = 0;
  int centred = 0;
  int followed = 0;
  int last_mode = -1;
  std::pair<double, double> marker{0.0, 0.0};
  std::vector<Update> updates;
};

// Makes fake views in place of chart frames; a new view opens the document's pending
// placement, as a chart view does when it first shows.
class FakeFrameHost : public CChartFrameHost {
 public:
  explicit FakeFrameHost(COstrelDoc& doc) : doc_(doc) {}

  CDocView* CreateChartFrame() override {
    auto& view = views.emplace_back(std::make_unique<FakeChartView>());
    doc_.AddView(view.get());
    if (const CViewPlacement* pending = doc_.pending_placement()) {
      frames.push_back(pending->window);
      if (!pending->chart_path.empty()) {
        view->OpenChartFile(pending->chart_path);
        view->placement.lat = pending->lat;
        view->placement.lon = pending->lon;
        view->placement.scale = pending->scale;
        view->placement.lock = pending->lock;
        view->placement.reserved = pending->reserved;
      }
    } else {
      frames.emplace_back();
    }
    return view.get();
  }
  void ShowFrameOf(CDocView*) override { ++shown; }
  bool GetFramePlacement(const CDocView* view, CWindowPlacement& placement) const override {
    for (size_t i = 0; i < views.size(); ++i) {
      if (views[i].get() == view) {
        placement = frames[i];
        return true;
      }
    }
    return false;
  }
  void TileFrames() override { ++tiled; }
  void StopGPS() override { ++gps_stops; }
  void StartGPS(GPSParams& params) override { gps_started.push_back(params); }
  bool FindPlace(const std::string& index_path, double& lat, double& lon, std::string& name,
                 bool& create_mark) override {
    searched_index = index_path;
    if (!found) return false;
    lat = found->lat;
    lon = found->lon;
    name = "Harbour";
    create_mark = true;
    return true;
  }

  FakeChartView* view(size_t i) const { return views.at(i).get(); }

  std::vector<std::unique_ptr<FakeChartView>> views;
  std::vector<CWindowPlacement> frames;  // the placement each frame was made with
  int shown = 0;
  int tiled = 0;
  int gps_stops = 0;
  std::vector<GPSParams> gps_started;
  bool CanGpsTransfer(int, int) const override { return gps_can_transfer; }
  int GpsTransfer(int direction, int kind, ObjectList& objects) override {
    transfers.push_back({direction, kind, objects.size()});
    return gps_moves;
  }
  void ShowGpsError() override { ++gps_errors; }
  struct Transfer {
    int direction, kind;
    size_t objects;
    friend bool operator==(const Transfer&, const Transfer&) = default;
  };
  bool gps_can_transfer = true;
  int gps_moves = 1;
  int gps_errors = 0;
  std::vector<Transfer> transfers;
  std::optional<CViewPlacement> found;  // what the place search answers; none: cancelled
  std::string searched_index;

 private:
  COstrelDoc& doc_;
};

// Answers message boxes with `answer` and file dialogs with the queued paths (none: cancel),
// keeping what was asked.
struct DocResponder : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    boxes.push_back(request);
    return answer;
  }
  std::optional<std::string> ChooseFile(const vd::ui::FileDialogRequest& request) override {
    dialogs.push_back(request);
    if (files.empty()) return std::nullopt;
    std::string path = files.front();
    files.pop_front();
    return path;
  }
  bool Showed(const std::string& text) const {
    for (const auto& box : boxes) {
      if (box.text == text) return true;
    }
    return false;
  }

  int answer = vd::ui::kIdYes;
  std::deque<std::string> files;
  std::vector<vd::ui::MessageBoxRequest> boxes;
  std::vector<vd::ui::FileDialogRequest> dialogs;
};

class DocApp : public CAppCommon {
 public:
  COstrelDocBase* FindFirstDocument() override { return document; }
  COstrelDocBase* document = nullptr;
};

// Folders: root/data (data folder), root/temp (temp folder), root/profile (settings). The
// document is made on demand so that a test may prepare files and settings first.
struct DocWorld {
  DocWorld() : scope(&responder) {
    data = root.File("data");
    temp = root.File("temp");
    vd::os::MakeFolders(data);
    vd::os::MakeFolders(temp);
    vd::SetProfileLocation(vd::kDefaultProfileKey, root.File("profile"));
    app.data_folder = data;
    app.temp_folder = temp;
    COstrelObject::SetNotificationsEnabled(true);
  }
  ~DocWorld() {
    if (doc) {
      for (auto& view : host->views) doc->RemoveView(view.get());
    }
    host.reset();
    doc.reset();
  }

  COstrelDoc& Doc() {
    if (!doc) {
      doc = std::make_unique<COstrelDoc>();
      host = std::make_unique<FakeFrameHost>(*doc);
      doc->SetFrameHost(host.get());
      app.document = doc.get();
    }
    return *doc;
  }
  // The document is destroyed (as at program exit) and made anew.
  void Restart() {
    for (auto& view : host->views) doc->RemoveView(view.get());
    host.reset();
    app.document = nullptr;
    doc.reset();
  }
  vd::os::ProfileStore Profile() const { return vd::OpenAppProfile(); }
  std::string DataFile(const std::string& name) const { return data + "/" + name; }

  TempDir root;
  std::string data;
  std::string temp;
  DocResponder responder;
  vd::ui::ScopedResponder scope;
  DocApp app;
  std::unique_ptr<COstrelDoc> doc;
  std::unique_ptr<FakeFrameHost> host;
};

}  // namespace vd::test
