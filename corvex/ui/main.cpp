// The chart program.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <string>
#include <vector>

#include "corvex/ui/chart_view_maker.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ui/ostrel_app.h"

namespace {

// Written by the signal handler, read by the event loop.
int g_end_pipe[2] = {-1, -1};

void OnEndSignal(int) {
  const char byte = 0;
  [[maybe_unused]] const ssize_t written = write(g_end_pipe[1], &byte, 1);
}

// Ended from outside (log-out, shut-down, kill): the program is to close as when the user
// closes it, so that the document is saved first. A signal that comes during start-up waits in
// the pipe until the program's loop runs.
bool CatchEndSignals() {
  if (pipe2(g_end_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) sigaction(signal, &action, nullptr);
  return true;
}

void CloseOnEndSignals(QApplication& qt, CMainFrame& frame) {
  auto* notifier = new QSocketNotifier(g_end_pipe[0], QSocketNotifier::Read, &qt);
  QObject::connect(notifier, &QSocketNotifier::activated, &qt, [&frame] {
    char bytes[16];
    while (read(g_end_pipe[0], bytes, sizeof bytes) > 0) {
    }
    frame.CloseFrame();
  });
}

}  // namespace

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  QApplication::setApplicationName("Corvex");
  QGuiApplication::setDesktopFileName("corvex");  // its desktop entry
  COstrelApp app;
  app.SetChartViewMaker(MakeChartViewWidget);
  const bool catching = CatchEndSignals();
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!app.InitInstance(args)) return app.exit_code();
  QObject::connect(&qt, &QApplication::lastWindowClosed, &qt, &QApplication::quit);
  if (catching) CloseOnEndSignals(qt, *app.GetMainFrame());
  qt.exec();
  app.GetMainFrame()->CloseFrame();
  return app.ExitInstance();
}
