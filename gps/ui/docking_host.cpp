#include "gps/ui/docking_host.h"

namespace {
CDockingHost* g_host = nullptr;
}  // namespace

CDockingHost* GetDockingHost() { return g_host; }

CDockingHost* InstallDockingHost(CDockingHost* host) {
  CDockingHost* previous = g_host;
  g_host = host;
  return previous;
}
