#pragma once
// The pending-action callback: one program-wide {function, context} pair. Route creation sets
// it; the "Done" action fires it.
using NotifyFunction = void (*)(void* context);

void SetNotifyCallback(NotifyFunction function, void* context);
// Forgets the function.
void ClearNotifyCallback();
// Calls the function with its context when one is set.
void FireNotifyCallback();
// The context of the callback set, or null when no function is set.
void* NotifyCallbackContext();
