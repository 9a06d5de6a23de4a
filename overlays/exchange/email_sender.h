#pragma once
// Hands one file to the user's mail client as the attachment of a new message that the user
// completes and sends. The desktop's "xdg-email" opens the client's compose window; it is looked
// for in PATH once per sender, so a machine without it is not searched again. Without it the
// request has no effect and shows nothing. User-interface thread only.
#include <string>

class CEmailSender {
 public:
  // True when "xdg-email" was found (looked for on the first call only).
  bool IsAvailable();
  // Starts "xdg-email --attach <path>" (the path as given, as one argument; no shell) and
  // returns without waiting for the mail client. The file must stay until the client has
  // taken it, so it is not removed here. Nothing happens when not available.
  void SendFile(const std::string& path);

 private:
  bool tried_ = false;
  std::string program_;  // the full path of "xdg-email"; empty when absent
};
