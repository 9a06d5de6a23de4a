#include "core/standard_folders.h"

#include "core/persistent_value.h"
#include "platform/os/environment.h"
#include "platform/os/folders.h"
#include "platform/os/profile_store.h"

const std::string& GetProgramFolder() {
  static const std::string folder = vd::os::ProgramFolder();
  return folder;
}

bool IsInProgramFolder(const std::string& path) {
  const std::string& folder = GetProgramFolder();
  if (path.compare(0, folder.size(), folder) != 0) return false;
  // "/opt/vd" must not claim "/opt/vdx/file".
  return path.size() == folder.size() || path[folder.size()] == '/' || folder == "/";
}

std::string GetMagneticModelFile() { return GetProgramFolder() + "/WMM_COF.txt"; }

std::string GetDocumentsFolder(const std::string& sub_path) {
  return vd::os::DocumentsFolder() + "/Vardune" + sub_path;
}

std::string GetTempFolder() { return vd::os::SystemTempFolder(); }

std::string GetLocalAppDataFolder(const std::string& sub_path) {
  std::string base = vd::os::GetEnv("XDG_DATA_HOME").value_or("");
  if (base.empty() || base[0] != '/') base = vd::os::HomeFolder() + "/.local/share";
  return base + "/Vardune" + sub_path;
}

std::string GetDefaultChartFolder() {
  const std::string chosen =
      vd::OpenAppProfile().GetString(vd::kSettingsSection, "qct_dir").value_or("");
  return chosen.empty() ? GetDocumentsFolder("/Charts") : chosen;
}
