#include "overlays/exchange/email_sender.h"

#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string_view>

#include "platform/os/environment.h"
#include "platform/os/process.h"

namespace {

constexpr char kMailProgram[] = "xdg-email";

// The first executable regular file of that name in the folders of PATH; "" when none.
std::string FindInPath(const std::string& name) {
  const std::optional<std::string> path = vd::os::GetEnv("PATH");
  if (!path) return {};
  std::string_view rest = *path;
  while (true) {
    const size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    // An empty entry stands for the current folder.
    const std::string candidate =
        (folder.empty() ? std::string(".") : std::string(folder)) + "/" + name;
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (colon == std::string_view::npos) return {};
    rest.remove_prefix(colon + 1);
  }
}

}  // namespace

bool CEmailSender::IsAvailable() {
  if (!tried_) {
    tried_ = true;
    program_ = FindInPath(kMailProgram);
  }
  return !program_.empty();
}

void CEmailSender::SendFile(const std::string& path) {
  if (!IsAvailable()) return;
  vd::os::Spawn(program_, {"--attach", path}, false);
}
