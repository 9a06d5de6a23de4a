#pragma once
// A plain window: a widget that is nothing but a NativeWindow. It takes the keyboard focus when
// clicked and reports mouse moves also while no button is down.
#include <QWidget>

#include "platform/ui/native_window.h"

namespace vd::ui {

class WindowWidget : public QWidget, public NativeWindow {
 public:
  explicit WindowWidget(QWidget* parent = nullptr);
  ~WindowWidget() override;
};

}  // namespace vd::ui
