#pragma once
// The 3D viewer's application: start-up with its single-instance hand-over, the main frame,
// the document and its view, and shutdown.
//
// One viewer runs per user: a viewer started while another listens tells that one to read the
// start file again (the chart program wrote a new one before starting this) and ends.
#include <functional>
#include <memory>

#include "lumex/ui/lumex_doc.h"
#include "lumex/ui/lumex_view_base.h"
#include "viewer_lib/newer_generation.h"

class CMainFrame;

class CLumexApp {
 public:
  using ViewFactory = std::function<std::unique_ptr<CLumexViewBase>(CLumexDoc& document)>;

  // Without a factory the frame opens without a view.
  explicit CLumexApp(ViewFactory make_view);
  ~CLumexApp();
  CLumexApp(const CLumexApp&) = delete;
  CLumexApp& operator=(const CLumexApp&) = delete;

  // Start-up; needs the Qt application. False when the program is to end at once: it handed
  // over to a viewer already running (or could not make its window).
  bool InitInstance();
  // Shutdown after the event loop: the view goes, then the frame.
  void ExitInstance();

  // The view of the document; null when there is none.
  CLumexViewBase* GetView() const { return view_.get(); }
  CMainFrame* main_frame() const { return frame_.get(); }
  // The newer library generation (its managers, settings groups and list delegates); null
  // outside the program's run.
  CNewerGeneration* newer_generation() const { return newer_generation_.get(); }

  // Opens the help page of the 3D view, from the chart program's folder ($CORVEX_PROGDIR);
  // false when it can't be shown.
  bool OnHelp();
  // The About box: the program's name, version and notice.
  void OnAppAbout();
  // The application's commands (About, help); false for another id.
  bool OnCommand(int id);

  // True while the main frame is the active window.
  bool active = false;
  // True from the end of start-up until the frame closes; the view stops work that must not
  // run during shutdown when it is cleared.
  bool running = false;
  // (horizontal + vertical logical dpi of the screen) / 192: 1.0 at 96 dpi.
  float display_scale = 1.0f;

 private:
  // Tells the viewer listening as the main window's class to read the start file again;
  // false when none answered.
  static bool HandOver();

  ViewFactory make_view_;
  CLumexDoc document_;
  std::unique_ptr<CNewerGeneration> newer_generation_;
  std::unique_ptr<CMainFrame> frame_;
  std::unique_ptr<CLumexViewBase> view_;  // destroyed before the frame that shows it
};
