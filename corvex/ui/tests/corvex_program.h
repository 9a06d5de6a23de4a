#pragma once
// The chart program as main() starts it (its own start-up, main frame, document and views),
// without an event loop of its own: a test turns the loop with ProcessEventsUntil. Use it with
// a CorvexHome so that the program meets no settings of the user's.
#include <memory>
#include <string>
#include <vector>

#include "corvex/ostrel_doc.h"
#include "corvex/ui/chart_view_maker.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ui/ostrel_app.h"
#include "corvex/ui/tests/corvex_home.h"
#include "gps/gps_interface.h"

namespace vd::test {

// The program as main() runs it, without the event loop of its own.
class Program {
 public:
  explicit Program(std::vector<std::string> args = {"--no-splash"},
                   std::shared_ptr<GpsReaderClock> clock = nullptr) {
    app_ = std::make_unique<COstrelApp>();
    app_->SetChartViewMaker(MakeChartViewWidget);
    app_->gps_clock = std::move(clock);
    started_ = app_->InitInstance(args);
  }
  ~Program() { Quit(); }

  bool started() const { return started_; }
  COstrelApp& app() { return *app_; }
  CMainFrame& frame() { return *app_->GetMainFrame(); }
  COstrelDoc* document() { return app_->Document(); }

  // Closes the main window as the user does; false when the close was refused. When no chart
  // was shown, the saved configuration keeps an empty chart window (CorvexHome), so that the
  // next start in the home opens as this one did instead of offering the chart chooser.
  bool Quit() {
    if (!app_) return true;
    std::string config;
    bool chart_shown = false;
    if (COstrelDoc* doc = app_->Document()) {
      config = doc->GetPathName();
      for (const CDocView* view : doc->views()) chart_shown |= !view->GetChartPath().empty();
    }
    bool closed = !app_->GetMainFrame() || app_->GetMainFrame()->CloseFrame();
    if (closed) {
      app_->ExitInstance();
      app_.reset();
      if (!chart_shown && !config.empty()) CorvexHome::KeepEmptyView(config);
    }
    return closed;
  }

 private:
  std::unique_ptr<COstrelApp> app_;
  bool started_ = false;
};

}  // namespace vd::test
