#pragma once
// A chart frame: one chart view in a sub-window of the main frame's document area. The last
// chart frame can't be closed (its Close entry is greyed); the count of frames is kept for that.
#include <QMdiSubWindow>

#include "corvex/command_target.h"

class CDocView;
class COstrelDoc;

class CChildFrame : public QMdiSubWindow, public CCommandTarget {
 public:
  static constexpr int kCmdHelpManual = 32875;

  // content is the view's widget (the frame takes it over), view its chart view.
  CChildFrame(QWidget* content, CDocView* view, COstrelDoc* document);
  ~CChildFrame() override;

  // The number of chart frames that exist.
  static int Count();

  CDocView* view() const { return view_; }
  // Forgets the view once its widget is gone.
  void DetachView() { view_ = nullptr; }

  // The title: the view's chart path (set only when it differs).
  void UpdateFrameTitle();

  // CCommandTarget: Help Manual opens the help pages at their index.
  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, CCmdUI& ui) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Greys the Close entry of every frame when only one is left, enables it otherwise.
  static void UpdateCloseEntries();

  CDocView* view_;
  COstrelDoc* document_;
};
