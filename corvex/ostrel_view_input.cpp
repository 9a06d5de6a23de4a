// The chart view's mouse, wheel, key and timer input.
#include "corvex/ostrel_view.h"
#include "platform/ui/window_messages.h"

bool COstrelView::OnInputMessage(const vd::os::Message& message) {
  switch (message.msg) {
    case vd::ui::kWmMouseMove:
      last_mouse_ = {vd::ui::XFromLParam(message.lparam), vd::ui::YFromLParam(message.lparam)};
      return true;
    case vd::ui::kWmMouseWheel: {
      // One zoom step a message, at the mouse.
      const int delta = vd::ui::WheelDeltaFromWParam(message.wparam);
      anchor_ = last_mouse_;
      if (delta > 0) ZoomIn();
      if (delta < 0) ZoomOut();
      return true;
    }
    default:
      return false;
  }
}
