#pragma once
// The chart program started as a user starts it on the sample chart: its own start-up on the
// offscreen platform, in a home folder of its own, the chart open in the first chart window and
// the program's loop turned once.
#include <gtest/gtest.h>

#include <string>

#include "corvex/ostrel_view.h"
#include "corvex/ui/chart_view_maker.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ui/ostrel_app.h"
#include "corvex/ui/tests/corvex_home.h"
#include "platform/os/folders.h"

namespace vd::test {

// The sample chart the build makes ("sample" in the build tree).
inline std::string SampleChartPath() {
  return vd::os::ProgramFolder() + "/../../sample/Sample Chart.qct";
}

class SampleChartProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    app_.SetChartViewMaker(MakeChartViewWidget);
    ASSERT_TRUE(app_.InitInstance({"--no-splash", SampleChartPath()}));
    ASSERT_TRUE(ProcessEventsUntil([&] {
      COstrelView* v = view();
      return v && !v->GetChartPath().empty();
    }));
    DrainEvents();
  }
  void TearDown() override {
    if (app_.GetMainFrame()) frame().CloseFrame();
    app_.ExitInstance();
  }

  CMainFrame& frame() { return *app_.GetMainFrame(); }
  COstrelDoc& document() { return *app_.Document(); }
  COstrelView* view() {
    return app_.GetMainFrame() ? dynamic_cast<COstrelView*>(frame().ActiveChartView()) : nullptr;
  }

  CorvexHome home_;
  ScriptedAnswers answers_;
  vd::ui::ScopedResponder responder_{&answers_};
  COstrelApp app_;
};

}  // namespace vd::test
