#include "overlays/model/notify_callback.h"

namespace {

struct Callback {
  NotifyFunction function = nullptr;
  void* context = nullptr;
};
Callback pending;

}  // namespace

void SetNotifyCallback(NotifyFunction function, void* context) { pending = {function, context}; }

void ClearNotifyCallback() { pending.function = nullptr; }

void FireNotifyCallback() {
  // The function may set a new callback or clear this one.
  const Callback called = pending;
  if (called.function != nullptr) called.function(called.context);
}

void* NotifyCallbackContext() { return pending.function != nullptr ? pending.context : nullptr; }
