#pragma once
// Points every server the programs reach through a default-server setting at a loopback
// address, so that a test never sends a request, nor a name look-up, off the machine. A test
// with a server of its own gives its port; one without gives kNoServerPort, where nothing
// listens and a connection is refused at once. Writes the settings of the current profile.
#include <string>

#include "core/persistent_value.h"
#include "platform/os/profile_store.h"

namespace vd::test {

inline constexpr int kNoServerPort = 1;

inline void PointDefaultServersAt(int port) {
  const std::string host = "127.0.0.1:" + std::to_string(port);
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  profile.SetString(vd::kSettingsSection, "qc3_chunk_server", "http://" + host);
  profile.SetString(vd::kSettingsSection, "qcc_default_server", host);
  profile.SetString(vd::kSettingsSection, "map_store_server", "http://" + host);
  profile.SetString(vd::kSettingsSection, "offline_redirect_server", host);
}

}  // namespace vd::test
