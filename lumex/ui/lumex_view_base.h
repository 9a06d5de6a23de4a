#pragma once
// What the viewer's application and main frame ask of the 3D view. The GL view implements it;
// a program built without one opens an empty frame and makes none of these calls.
class QWidget;

// The state a toolbar button of the view's commands shows.
struct CLumexCommandState {
  bool enabled = true;
  bool checked = false;
  bool visible = true;
};

class CLumexViewBase {
 public:
  virtual ~CLumexViewBase() = default;

  // The view's window, shown as the frame's centre while the view lives (the view, or the
  // widget that is the view, goes first).
  virtual QWidget* widget() = 0;
  // Makes the rendering device for the window's current size; false when that failed (the
  // view has reported why).
  virtual bool CreateDevice() = 0;
  // Reads the start file "lumex.dat" of the temp folder and builds the scene around it.
  virtual void LoadPathFile() = 0;
  // Stops the view's timers and waits for its terrain thread.
  virtual void StopTerrainWorker() = 0;

  // The toolbar's commands (CMainFrame::kToolbarCommands).
  virtual void OnCommand(int id) = 0;
  virtual CLumexCommandState CommandState(int id) = 0;
};
