#pragma once
// Menu and tool-bar commands. The frame offers a command first to the active chart view, then
// to the document, then to itself, then to the application; the first target that knows the
// id handles it.
#include <string>

// What an update asks of a command's menu entry or button.
struct CCmdUI {
  bool enabled = false;
  bool checked = false;
  bool radio = false;  // one of a choice: shown with a radio mark, set or not
  std::string text;  // a new text for the entry; empty keeps the entry's own
};

class CCommandTarget {
 public:
  virtual ~CCommandTarget() = default;
  // Carries the command out; false when this target does not know the id.
  virtual bool OnCommand(int id) = 0;
  // Fills the entry's state; false when this target does not know the id.
  virtual bool OnUpdateCommand(int id, CCmdUI& ui) = 0;
};
