#pragma once
// The viewer's top-level window "Vardune 3D World": the 3D view in its centre, the "Standard"
// toolbar of the view's commands, no menu bar. It listens as kLumexWindowClass, so that a
// viewer started later hands over to it (the user message: the start file is read again) and
// the chart program closes it (the close message). Its placement is kept in the profile.
#include <QMainWindow>
#include <QSize>
#include <memory>
#include <utility>

#include "platform/os/ipc_channel.h"
#include "platform/os/message_queue.h"

class CLumexApp;
class CLumexViewBase;
class QAction;
class QToolBar;

inline constexpr char kLumexWindowClass[] = "LUMEXV2MainWnd";
inline constexpr char kLumexWindowTitle[] = "Vardune 3D World";

// Where the viewer keeps its settings, and its placement there.
inline constexpr char kLumexProfileKey[] = "Software\\Vardune\\lumex_v2\\lumex";
inline constexpr char kPlacementSection[] = "Settings";
inline constexpr char kPlacementValue[] = "windowplacement";

// The window's size at its first start (no placement stored): three quarters of the screen's
// work area each way; it opens in the middle of that area.
QSize FirstWindowSize(const QSize& work_area);

// The toolbar's image set for a display scale factor (1.0 at 96 dpi).
struct CToolbarImages {
  int resource = 0;
  int icon_size = 0;
  int large_icon_size = 0;
  bool operator==(const CToolbarImages&) const = default;
};
CToolbarImages ToolbarImagesFor(float display_scale);
// The name of a toolbar command's picture (vd::ui::DrawToolbarImage); "" for none.
const char* ToolbarPicture(int id);

// The application's commands: the About box and the help page.
inline constexpr int kCmdLumexAbout = 57664;
inline constexpr int kCmdLumexHelp = 32775;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  // The toolbar: command id and tip.
  static constexpr std::pair<int, const char*> kToolbarCommands[] = {
      {32771, "View around a fixed point"},
      {32773, "Move in (+)"},
      {32774, "Move out (-)"},
      {32778, "Adjust the lighting direction"},
      {32784, "Play path fly-through"},
      {32787, "Pause fly-through"},
      {32788, "Step forward along path"},
      {32789, "Step back along path"},
      {32790, "Go back to the default viewpoint"},
      {32791, "Rebuild the terrain model"},
      {32796, "Terrain model busy rebuilding"},
      {32792, "Narrower field of view"},
      {32793, "Wider field of view"},
      {32794, "Create a video output file"},
      {32795, "Set 3D parameters"},
      {32797, "Place the map and 3D windows side-by-side"},
      {32798, "Place the map window below the 3D window"},
  };
  // The application's commands at the toolbar's end.
  static constexpr std::pair<int, const char*> kAppCommands[] = {
      {kCmdLumexHelp, "Read the online help"},
      {kCmdLumexAbout, "About Lumex"},
  };
  // File/Print, reached by its key.
  static constexpr int kFilePrint = 57607;
  static constexpr int kMoveIn = 32773;
  static constexpr int kMoveOut = 32774;
  // How often the toolbar takes the view's command states.
  static constexpr int kCommandUpdateMs = 250;

  explicit CMainFrame(CLumexApp& app);
  ~CMainFrame() override;

  // Places the window as stored, builds the toolbar for the display scale and starts
  // listening. False when another viewer already listens.
  bool Create();
  // The view's widget becomes the centre; the view is to be destroyed before the frame.
  void SetView(CLumexViewBase* view);
  QToolBar* toolbar() const { return toolbar_; }
  // The toolbar's buttons take the view's command states.
  void UpdateCommandStates();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The messages of other programs: the hand-over and the close.
  intptr_t HandleOtherProgram(const vd::os::Message& message);
  void RestorePlacement();
  void SavePlacement();
  void BuildToolbar();

  CLumexApp& app_;
  CLumexViewBase* view_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  std::unique_ptr<vd::os::MessageWindow> inbox_;
  vd::os::IpcServer server_;
  bool closed_ = false;
};
