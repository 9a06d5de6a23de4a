#pragma once
// What the common services ask of the application shell and of the docking data panes. The
// shell's document and the panes implement these; the common services and the overlays only
// call them.
class COstrelObject;  // an overlay object
class COstrelView;    // a chart view

// The program's document.
class COstrelDoc {
 public:
  virtual ~COstrelDoc() = default;

  // Tells every view of the document of a change; hint is an overlay change code, object the
  // object concerned or null, sender the view that made the change or null.
  virtual void UpdateAllViews(COstrelView* sender, int hint, COstrelObject* object) = 0;
};

// A docking data pane. Each pane joins the application's list when it is created
// (CAppCommon::AddDataWindow) and leaves it when its window is destroyed
// (CAppCommon::RemoveDataWindow).
class CDataWnd {
 public:
  virtual ~CDataWnd() = default;

  // A change of an overlay object (null: anything may have changed); hint is the change code.
  virtual void Update(COstrelObject* object, int hint) = 0;
  // Destroys the pane's window; the pane leaves the application's list.
  virtual void DestroyWindow() = 0;
};
