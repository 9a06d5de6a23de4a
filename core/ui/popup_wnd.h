#pragma once
// A small borderless tip window showing one text near a point of its parent window, kept
// inside the work area of the screen it falls on: a one-pixel black frame round the text in
// 9-point Arial on a background colour of the owner's choice. A click on it hides it. The font
// and the background brush belong to the object for its whole life.
#include <QBrush>
#include <QFont>
#include <QPointer>
#include <QWidget>
#include <string>

#include "platform/ui/colour.h"
#include "platform/ui/geometry.h"

class CPopupWnd {
 public:
  // Frame and text margins, pixels.
  static constexpr int kMarginX = 3;
  static constexpr int kMarginY = 1;
  static constexpr int kFontPoints = 9;

  // Empty text, no window yet.
  explicit CPopupWnd(vd::ui::ColourRef background);
  // The window goes with the object.
  ~CPopupWnd();
  CPopupWnd(const CPopupWnd&) = delete;
  CPopupWnd& operator=(const CPopupWnd&) = delete;

  // Makes the hidden window, owned by the parent; false when there is no parent.
  bool Create(QWidget* parent);
  // Shows the text with its top-left corner at a client point of the parent (moved as needed
  // to stay in the work area), without taking the focus; the window is made when there is
  // none yet. An empty text hides the window.
  void ShowText(const std::string& text, vd::ui::Point client_point);
  // Hides the window if there is one.
  void Hide();

  // The window; null before Create (or once the parent, and the window with it, is gone).
  QWidget* window() const;
  const std::string& text() const { return text_; }

 private:
  class Window;

  QFont font_;
  QBrush brush_;
  QPointer<QWidget> parent_;
  QPointer<Window> window_;
  std::string text_;
};
