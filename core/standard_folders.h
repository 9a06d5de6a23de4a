#pragma once
// The folders the program finds its own files and the user's documents in. No trailing '/'.
#include <string>

// Folder of the running program, worked out once.
const std::string& GetProgramFolder();
// True when `path` is the program folder or lies inside it.
bool IsInProgramFolder(const std::string& path);
// The magnetic model coefficients shipped beside the program.
std::string GetMagneticModelFile();
// The user's documents folder + "/Vardune" + sub_path (which brings its own leading '/').
std::string GetDocumentsFolder(const std::string& sub_path = "");
// The user's local application data ($XDG_DATA_HOME, else ~/.local/share) + "/Vardune" +
// sub_path.
std::string GetLocalAppDataFolder(const std::string& sub_path = "");
// Where charts go unless the user chose a chart folder (the profile's "qct_dir"): the
// documents folder's "Charts".
std::string GetDefaultChartFolder();
// The system's temporary folder ($TMPDIR, else /tmp).
std::string GetTempFolder();
