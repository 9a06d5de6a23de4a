#pragma once
// The start-up decisions of the chart program that touch only files and settings: the command
// line, the configuration document to open, the chart folders, and the folders seeded with the
// program's own files.
#include <string>
#include <vector>

#include "platform/os/profile_store.h"

// What the command line asks for.
struct CCommandLine {
  bool show_splash = true;      // "--no-splash" (or "/nologo") turns it off
  std::string config_document;  // a ".vdn" named on the command line
  std::string file_to_open;     // any other file, opened by its type after start-up
};
CCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The configuration document to open when none was named: the setting "default_vdn_file_6"
// when it names an existing file; otherwise data_folder + "/Vardune-6.vdn", first seeded from
// "Vardune.vdn" and then "Vardune-OS-5.vdn" of the data folder (a copy only when the target is
// still missing, so the older name wins), and stored in the setting.
std::string ChooseConfigDocument(vd::os::ProfileStore& profile, const std::string& data_folder);

// The chart folders (section "chart_dirs": "n_dirs", "dir00", ...; "update" asks once to add
// "runcd_install"); falls back on the older edition's list when there is none. Each folder once.
void LoadChartDirs(vd::os::ProfileStore& profile, std::vector<std::string>& list);
void SaveChartDirs(vd::os::ProfileStore& profile, const std::vector<std::string>& list);

// Copies every file (not folder) of source_folder into target_folder that is not there yet;
// true when at least one copy was made.
bool SeedFolder(const std::string& source_folder, const std::string& target_folder);
