// The chart program.
#include <QApplication>

#include <string>
#include <vector>

#include "corvex/ui/chart_view_maker.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ui/ostrel_app.h"

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  QApplication::setApplicationName("Corvex");
  COstrelApp app;
  app.SetChartViewMaker(MakeChartViewWidget);
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!app.InitInstance(args)) return app.exit_code();
  QObject::connect(&qt, &QApplication::lastWindowClosed, &qt, &QApplication::quit);
  qt.exec();
  app.GetMainFrame()->CloseFrame();
  return app.ExitInstance();
}
