#include "corvex/startup_files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/app_common.h"
#include "core/file_utils.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "platform/os/files.h"

namespace {

constexpr char kChartDirs[] = "chart_dirs";

std::string DirKey(int index) {
  char key[16];
  std::snprintf(key, sizeof key, "dir%02d", index);
  return key;
}

void AddOnce(std::vector<std::string>& list, const std::string& folder) {
  if (!folder.empty() && std::find(list.begin(), list.end(), folder) == list.end())
    list.push_back(folder);
}

// Reads one list of chart folders; returns how many folders it counted.
// With clear_update the one-time "update" request is cleared once served.
int ReadChartDirs(vd::os::ProfileStore& profile, const std::string& section,
                  std::vector<std::string>& list, bool clear_update) {
  int counted = 0;
  const int n = profile.GetInt(section, "n_dirs").value_or(0);
  for (int i = 0; i < n; ++i) {
    const std::string folder = profile.GetString(section, DirKey(i)).value_or("");
    if (folder.empty()) continue;
    AddOnce(list, folder);
    ++counted;
  }
  if (profile.GetInt(section, "update").value_or(0) != 0) {
    const std::string extra = profile.GetString(section, "runcd_install").value_or("");
    if (!extra.empty()) {
      AddOnce(list, extra);
      ++counted;
    }
    if (clear_update) profile.SetInt(section, "update", 0);
  }
  return counted;
}

}  // namespace

CCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CCommandLine line;
  for (const std::string& arg : args) {
    if (arg == "--no-splash" || arg == "/nologo" || arg == "-nologo") {
      line.show_splash = false;
    } else if (!arg.empty() && arg[0] != '-') {
      // A file named relative to where the program was started: a running program it is
      // handed to, and the setting the configuration path is stored in, start elsewhere.
      std::string path = arg;
      std::error_code error;
      if (arg.find("://") == std::string::npos && arg[0] != '/') {
        const std::filesystem::path absolute = std::filesystem::absolute(arg, error);
        if (!error) path = absolute.string();
      }
      if (PathHasExtension(arg, "vdn"))
        line.config_document = path;
      else
        line.file_to_open = path;
    }
  }
  return line;
}

std::string ChooseConfigDocument(vd::os::ProfileStore& profile, const std::string& data_folder) {
  const std::string stored =
      profile.GetString(vd::kSettingsSection, "default_vdn_file_6").value_or("");
  if (!stored.empty() && IsNotFolder(stored)) return stored;
  const std::string path = data_folder + "/Vardune-6.vdn";
  CreateDirectoryTree(data_folder);
  for (const char* older : {"/Vardune.vdn", "/Vardune-OS-5.vdn"}) {
    if (!FileExists(path) && IsNotFolder(data_folder + older))
      CopyFileBytes(data_folder + older, path);
  }
  profile.SetString(vd::kSettingsSection, "default_vdn_file_6", path);
  return path;
}

void LoadChartDirs(vd::os::ProfileStore& profile, std::vector<std::string>& list) {
  int counted = ReadChartDirs(profile, kChartDirs, list, true);
  if (counted == 0) {
    // The older edition's list is only read, never changed.
    vd::os::ProfileStore legacy(CAppCommon::kLegacyProfileKey);
    ReadChartDirs(legacy, kChartDirs, list, false);
  }
}

void SaveChartDirs(vd::os::ProfileStore& profile, const std::vector<std::string>& list) {
  profile.SetInt(kChartDirs, "n_dirs", static_cast<int32_t>(list.size()));
  for (size_t i = 0; i < list.size(); ++i)
    profile.SetString(kChartDirs, DirKey(static_cast<int>(i)), list[i]);
}

bool SeedFolder(const std::string& source_folder, const std::string& target_folder) {
  std::vector<vd::os::DirEntry> entries;
  if (!vd::os::ListFolder(source_folder, entries)) return false;
  bool copied = false;
  for (const auto& entry : entries) {
    if (entry.is_dir) continue;
    const std::string target = target_folder + "/" + entry.name;
    if (FileExists(target)) continue;
    if (!CreateDirectoryTree(target_folder)) return copied;
    copied = CopyFileBytes(source_folder + "/" + entry.name, target) || copied;
  }
  return copied;
}
