#include "platform/ui/window_widget.h"

namespace vd::ui {

WindowWidget::WindowWidget(QWidget* parent) : QWidget(parent), NativeWindow(this) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
}

WindowWidget::~WindowWidget() { DestroyedByOwner(); }

}  // namespace vd::ui
